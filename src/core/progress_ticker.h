// The progress protocol shared by the data passes and the predictor loops: a countdown that
// reports after every (skip + 1) counted items, and the engine's processor-clock timing.
#ifndef FSRANK_CORE_PROGRESS_TICKER_H
#define FSRANK_CORE_PROGRESS_TICKER_H

#include <ctime>

#include "fsrank/progress.h"

// Processor time since start, in seconds, counted in whole milliseconds.
double SecondsSince(std::clock_t start);

class FSProgressTicker {
 public:
  enum class Measure { Records, Predictors };

  // elapsedBefore: the engine's total from earlier operations, added to every report.
  FSProgressTicker(ProgressListener* listener, int skip, Measure measure, double elapsedBefore);

  // Call after each counted item with the 1-based count so far. Without a listener nothing
  // is counted and nothing is sent.
  void Tick(int count) {
    if (fpListener == nullptr) return;
    if (fnCountdown != 0) {
      --fnCountdown;
      return;
    }
    fnCountdown = fnSkip;
    Report(count);
  }

  std::clock_t Start() const { return fStart; }
  double Elapsed() const { return SecondsSince(fStart); }

 private:
  void Report(int count);

  ProgressListener* fpListener;
  int fnSkip;
  int fnCountdown;
  Measure fMeasure;
  double fdElapsedBefore;
  std::clock_t fStart;
  FSReporter fReport;
};

#endif  // FSRANK_CORE_PROGRESS_TICKER_H
