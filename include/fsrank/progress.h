// Progress reports sent to the host's listener, and the host's callback interfaces for progress
// and cancellation.
#ifndef FSRANK_PROGRESS_H
#define FSRANK_PROGRESS_H

#include <string>

#include "fsrank/export.h"

class FSRANK_API ProgressReport {
 public:
  virtual ~ProgressReport();
  virtual int DiscreteMeasure(const std::string& name) = 0;
  virtual double ScaleMeasure(const std::string& name) = 0;
};

// The report of a data pass ("records") or of a predictor loop ("predictors"), with the
// engine's elapsed processor time ("elapsedTime", seconds).
class FSRANK_API FSReporter : public ProgressReport {
 public:
  FSReporter(int records, int predictors, double elapsedSeconds);
  FSReporter(const FSReporter&) = default;
  FSReporter& operator=(const FSReporter&) = default;
  ~FSReporter() override;

  void SetNRecords(int n, double elapsedSeconds);
  void SetNPredictors(int n, double elapsedSeconds);
  // "records" or "predictors"; -1 for any other name and for the measure not being reported.
  int DiscreteMeasure(const std::string& name) override;
  // "elapsedTime"; the missing value for any other name.
  double ScaleMeasure(const std::string& name) override;

 private:
  int fnRecords;
  int fnPredictors;
  double fdElapsed;
};

// Implemented by the host; polled by long operations. Once it has answered true it is not
// asked again by the same algorithm.
class NQQueryCancel {
 public:
  virtual ~NQQueryCancel() = default;
  virtual bool IsCancelRequested() = 0;
};

// Implemented by the host; told every (skip count + 1) records or predictors. It cannot stop
// the operation (cancellation goes through NQQueryCancel or IFSAlgorithm::Cancel).
class ProgressListener {
 public:
  virtual ~ProgressListener() = default;
  virtual void OnProgress(ProgressReport& report) = 0;
};

#endif  // FSRANK_PROGRESS_H
