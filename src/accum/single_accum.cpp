#include "accum/single_accum.h"

#include <cmath>

#include "accum/screening_rules.h"

// ---------------------------------------------------------------------------------------------
// FSCatAccum

int FSCatAccum::Screen(const FSSettings* settings) const {
  return ScreenCategorical(settings, {fdProcessed, fdMissing, &fmCategories, fnUnweightedValid});
}

int FSCatAccum::ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const {
  return ScreenAllCategorical(settings, {fdProcessed, fdMissing, &fmCategories, fnUnweightedValid},
                              reasons);
}

void FSCatAccum::Display(std::ostream& os) const {
  os << "\nStart of FSCatAccum display\n\n";
  os << "Number of variable categories = " << fmCategories.Size() << '\n';
  os << "Number of processed cases = " << fdProcessed << '\n';
  os << "Number of unweighted valid cases = " << fnUnweightedValid << '\n';
  os << "Number of missing cases = " << fdMissing << '\n';
  os << "The first non-missing category = " << fnFirstCategory << '\n';
  os << (fbConstant ? "This is constant\n" : "This is not constant\n");
  os << "\nCase counts of predictor categories:\n";
  fmCategories.Display(os);
  os << "\nEnd of FSCatAccum display\n";
}

// ---------------------------------------------------------------------------------------------
// FSContAccum

int FSContAccum::Screen(const FSSettings* settings) const {
  return ScreenContinuous(settings, {fdProcessed, fdMissing, fdMean, std::sqrt(fdVariance)});
}

int FSContAccum::ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const {
  return ScreenAllContinuous(settings, {fdProcessed, fdMissing, fdMean, std::sqrt(fdVariance)},
                             reasons);
}

void FSContAccum::FinishPass() {
  const double n = fdProcessed - fdMissing;
  if (n > 1.0) fdVariance = fdSecondMoment / (n - 1.0);
}

void FSContAccum::Display(std::ostream& os) const {
  os << "\nStart of FSContAccum display\n\n";
  os << "Number of processed cases = " << fdProcessed << '\n';
  os << "Number of missing cases = " << fdMissing << '\n';
  os << "The first non-missing value = " << fdFirstValue << '\n';
  os << (fbConstant ? "This is constant\n" : "This is not constant\n");
  os << "\nMean = " << fdMean << '\n';
  os << "\nSecond moment = " << fdSecondMoment << '\n';
  os << "\nVariance = " << fdVariance << '\n';
  os << "\nEnd of FSContAccum display\n";
}
