# Fails when libfsrank.so exports an internal class or misses a public one.
execute_process(COMMAND nm -DC --defined-only ${LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
foreach(public FSSettings:: NQFeature::NQStatus:: NQCommon::Record:: FSReporter:: NQFSSelect::)
  string(FIND "${symbols}" "${public}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "public symbol family ${public} is not exported")
  endif()
endforeach()
foreach(internal FSCancelState FSProgressTicker SecondsSince FSPredictorSet FSMapICnt FSMapIPCnt
        FSMapIStat FSMapPiCnt IFSPredTargetAccum FSCatAccum FSContAccum FSCatPCatTAccum
        FSCatPContTAccum FSContPCatTAccum FSContPContTAccum FSPredSort NQFeatureXML
        ChiSquareCdf FCdf TCdf IncompleteGamma IncompleteBeta LogGamma XMLObjectFrame)
  string(REGEX MATCH "[ :]${internal}[:( <]" hit "${symbols}")
  if(hit)
    message(FATAL_ERROR "internal symbol ${internal} is exported")
  endif()
endforeach()
