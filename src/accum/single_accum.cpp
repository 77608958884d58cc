#include "accum/single_accum.h"

#include <cmath>

// ---------------------------------------------------------------------------------------------
// FSCatAccum

void FSCatAccum::Display(std::ostream& os) const {
  os << "\nStart of FSCatAccum display\n\n";
  os << "Number of variable categories = " << fmPredCategories.Size() << '\n';
  DisplayCommon(os, "category");
  os << "\nCase counts of predictor categories:\n";
  fmPredCategories.Display(os);
  os << "\nEnd of FSCatAccum display\n";
}

// ---------------------------------------------------------------------------------------------
// FSContAccum

double FSContAccum::PredStdDev() const {
  return std::sqrt(fdVariance);
}

void FSContAccum::FinishPass() {
  const double n = ValidWeight();
  if (n > 1.0) fdVariance = fdSecondMoment / (n - 1.0);
}

void FSContAccum::Display(std::ostream& os) const {
  os << "\nStart of FSContAccum display\n\n";
  DisplayCommon(os, "value");
  os << "\nMean = " << fdPredMean << '\n';
  os << "\nSecond moment = " << fdSecondMoment << '\n';
  os << "\nVariance = " << fdVariance << '\n';
  os << "\nEnd of FSContAccum display\n";
}
