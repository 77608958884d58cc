// The saved forms of the accumulators: one field list per class for the binary chunk and the
// XML object, in both directions. Nested maps are saved by their own persistence. The
// unweighted valid count of the categorical-predictor classes is not listed: the engine saves
// it after the whole state (FSPredictorSet::WriteAdditions), where older readers do not look;
// until then it keeps the value of the freshly constructed object the reader runs on.
#include <fstream>
#include <ostream>

#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/single_accum.h"
#include "persist/binary_fields.h"
#include "persist/state_fields.h"

using NQFeatureXML::FSXMLFieldReader;
using NQFeatureXML::FSXMLFieldWriter;

namespace {

// Accumulators stand at level 2 wherever they are nested.
constexpr int kAccumLevel = 2;

}  // namespace

// The four directions of one accumulator class. xmlReadAdjust is added to the element count
// of its XML reader: the two continuous-predictor classes without a target map report one
// element fewer when reading than when writing, and callers add these counts up as they are.
#define FSRANK_ACCUM_PERSISTENCE(Class, xmlReadAdjust)    \
  int Class::WriteObject(std::ostream& stream) const {    \
    FSBinaryFieldWriter io(stream);                       \
    Fields(io, *this);                                    \
    return io.Bytes();                                    \
  }                                                       \
  int Class::ReadObject(std::istream& stream) {           \
    FSBinaryFieldReader io(stream, #Class);               \
    Fields(io, *this);                                    \
    return io.Bytes();                                    \
  }                                                       \
  int Class::WriteObjectXML(std::ostream& stream) const { \
    FSXMLFieldWriter io(stream, #Class, kAccumLevel);     \
    Fields(io, *this);                                    \
    return io.Count();                                    \
  }                                                       \
  int Class::ReadObjectXML(std::ifstream& stream) {       \
    FSXMLFieldReader io(stream, #Class);                  \
    Fields(io, *this);                                    \
    return io.Count() + (xmlReadAdjust);                  \
  }

// ---------------------------------------------------------------------------------------------
// The fields that follow the tag of every chunk: 24 bytes for a categorical predictor (its
// category table is nested where each class places it), 36 for a continuous one.

template <class IO, class Self>
void FSCatPredictorAccum::CommonFields(IO& io, Self& self) {
  io.Field(self.fdProcessed);
  io.Field(self.fdMissing);
  io.Field(self.fnFirstCategory);
  io.Field(self.fbConstant);
}

template <class IO, class Self>
void FSContPredictorAccum::CommonFields(IO& io, Self& self) {
  io.Field(self.fdProcessed);
  io.Field(self.fdMissing);
  io.Field(self.fdFirstValue);
  io.Field(self.fbConstant);
  io.Field(self.fdPredMean);
}

// ---------------------------------------------------------------------------------------------
// FSCatAccum: 29 bytes and the category map.

template <class IO, class Self>
void FSCatAccum::Fields(IO& io, Self& self) {
  io.Tag("CAPRE");
  CommonFields(io, self);
  io.Nested(self.fmPredCategories);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSCatAccum, 0)

// ---------------------------------------------------------------------------------------------
// FSContAccum: 57 bytes.

template <class IO, class Self>
void FSContAccum::Fields(IO& io, Self& self) {
  io.Tag("COPRE");
  CommonFields(io, self);
  io.Field(self.fdSecondMoment);
  io.Field(self.fdVariance);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSContAccum, -1)

// ---------------------------------------------------------------------------------------------
// FSCatPCatTAccum: 29 bytes, the predictor and target category maps and the pair map.

template <class IO, class Self>
void FSCatPCatTAccum::Fields(IO& io, Self& self) {
  io.Tag("CAPRA");
  CommonFields(io, self);
  io.Nested(self.fmPredCategories);
  io.Nested(self.fmTargetCategories);
  io.Nested(self.fmPairs);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSCatPCatTAccum, 0)

// ---------------------------------------------------------------------------------------------
// FSCatPContTAccum: 37 bytes, the predictor category map and the target statistics per
// category (their variances as stored).

template <class IO, class Self>
void FSCatPContTAccum::Fields(IO& io, Self& self) {
  io.Tag("CAPCO");
  CommonFields(io, self);
  io.Field(self.fdTargetMean);
  io.Nested(self.fmPredCategories);
  io.Nested(self.fmTargetStats);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSCatPContTAccum, 0)

// ---------------------------------------------------------------------------------------------
// FSContPCatTAccum: 41 bytes and the predictor statistics per target category (their
// variances as stored).

template <class IO, class Self>
void FSContPCatTAccum::Fields(IO& io, Self& self) {
  io.Tag("COPRA");
  CommonFields(io, self);
  io.Nested(self.fmPredStats);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSContPCatTAccum, 0)

// ---------------------------------------------------------------------------------------------
// FSContPContTAccum: 73 bytes. The variances and the correlation are not stored: a reader
// recomputes them from the stored sums once the whole object is read.

template <class IO, class Self>
void FSContPContTAccum::Fields(IO& io, Self& self) {
  io.Tag("COPCO");
  CommonFields(io, self);
  io.Field(self.fdPredSecondMoment);
  io.Field(self.fdTargetMean);
  io.Field(self.fdTargetSecondMoment);
  io.Field(self.fdCrossProduct);
  io.End();
  if constexpr (IO::kReads) self.FinishPass();
}

FSRANK_ACCUM_PERSISTENCE(FSContPContTAccum, -1)

#undef FSRANK_ACCUM_PERSISTENCE
