#include "fsrank/progress.h"

#include "fsrank/missing.h"

ProgressReport::~ProgressReport() = default;

FSReporter::FSReporter(int records, int predictors, double elapsedSeconds)
    : fnRecords(records), fnPredictors(predictors), fdElapsed(elapsedSeconds) {}

FSReporter::~FSReporter() = default;

void FSReporter::SetNRecords(int n, double elapsedSeconds) {
  fnRecords = n;
  fnPredictors = -1;
  fdElapsed = elapsedSeconds;
}

void FSReporter::SetNPredictors(int n, double elapsedSeconds) {
  fnPredictors = n;
  fnRecords = -1;
  fdElapsed = elapsedSeconds;
}

int FSReporter::DiscreteMeasure(const std::string& name) {
  if (name == "records") return fnRecords;
  if (name == "predictors") return fnPredictors;
  return -1;
}

double FSReporter::ScaleMeasure(const std::string& name) {
  return name == "elapsedTime" ? fdElapsed : NQMV::Missing();
}
