#include "core/progress_ticker.h"

double SecondsSince(std::clock_t start) {
  const std::clock_t now = std::clock();
  const long long ticks = static_cast<long long>(now - start);
  const long long millis = ticks * 1000 / static_cast<long long>(CLOCKS_PER_SEC);
  return static_cast<double>(millis) / 1000.0;
}

FSProgressTicker::FSProgressTicker(ProgressListener* listener, int skip, Measure measure,
                                   double elapsedBefore)
    : fpListener(listener),
      fnSkip(skip < 0 ? 0 : skip),
      fnCountdown(fnSkip),
      fMeasure(measure),
      fdElapsedBefore(elapsedBefore),
      fStart(std::clock()),
      fReport(measure == Measure::Records ? 0 : -1, measure == Measure::Records ? -1 : 0, 0.0) {}

void FSProgressTicker::Report(int count) {
  const double elapsed = fdElapsedBefore + SecondsSince(fStart);
  if (fMeasure == Measure::Records) {
    fReport.SetNRecords(count, elapsed);
  } else {
    fReport.SetNPredictors(count, elapsed);
  }
  fpListener->OnProgress(fReport);
}
