#include "accum/predictor_accum.h"

#include "accum/screening_rules.h"

// ---------------------------------------------------------------------------------------------
// FSCatPredictorAccum

int FSCatPredictorAccum::Screen(const FSSettings* settings) const {
  return ScreenCategorical(settings,
                           {fdProcessed, fdMissing, &fmPredCategories, fnUnweightedValid});
}

int FSCatPredictorAccum::ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const {
  return ScreenAllCategorical(
      settings, {fdProcessed, fdMissing, &fmPredCategories, fnUnweightedValid}, reasons);
}

void FSCatPredictorAccum::DisplayCommon(std::ostream& os, const char* firstName) const {
  os << "Number of processed cases = " << fdProcessed << '\n';
  os << "Number of unweighted valid cases = " << fnUnweightedValid << '\n';
  os << "Number of missing cases = " << fdMissing << '\n';
  os << "The first non-missing " << firstName << " = " << fnFirstCategory << '\n';
  os << (fbConstant ? "This is constant\n" : "This is not constant\n");
}

// ---------------------------------------------------------------------------------------------
// FSContPredictorAccum

int FSContPredictorAccum::Screen(const FSSettings* settings) const {
  return ScreenContinuous(settings, {fdProcessed, fdMissing, fdPredMean, PredStdDev()});
}

int FSContPredictorAccum::ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const {
  return ScreenAllContinuous(settings, {fdProcessed, fdMissing, fdPredMean, PredStdDev()}, reasons);
}

void FSContPredictorAccum::DisplayCommon(std::ostream& os, const char* firstName) const {
  os << "Number of processed cases = " << fdProcessed << '\n';
  os << "Number of missing cases = " << fdMissing << '\n';
  os << "The first non-missing " << firstName << " = " << fdFirstValue << '\n';
  os << (fbConstant ? "This is constant\n" : "This is not constant\n");
}
