#include "fsrank/settings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

using NQFSCommon::AllCategorical;
using NQFSCommon::AllContinuous;
using NQFSCommon::Cramer;
using NQFSCommon::FStat;
using NQFSCommon::Lambda;
using NQFSCommon::Likelihood;
using NQFSCommon::Mixed;
using NQFSCommon::Pearson;
using NQFSCommon::RankCriteria;
using NQFSCommon::TStat;

namespace {

bool IsValidCriterion(int c) {
  return c >= 0 && c < NQFSCommon::kNumCriteria;
}

// A percentage in [0, 100] (NaN fails both comparisons).
bool IsPercent(double p) {
  return p >= 0.0 && p <= 100.0;
}

// A restored state brings its categorical count as stored, not recomputed from the types;
// changes of the types move it by saturating steps, so that no stored value can overflow it.
void AddSaturated(int& count, long long delta) {
  count = static_cast<int>(std::clamp<long long>(count + delta, INT_MIN, INT_MAX));
}

}  // namespace

FSSettings::FSSettings()
    : fnPredictors(0),
      fnCatPredictors(0),
      feSetType(NQFSCommon::kSetTypeUnrecognized),
      fbCatTarget(true) {
  InitCommon();
}

FSSettings::FSSettings(int nPredictors, bool allCategorical, bool catTarget)
    : fnPredictors(nPredictors < 0 ? 0 : nPredictors),
      fvPredictorTypes(static_cast<size_t>(fnPredictors), allCategorical),
      fnCatPredictors(allCategorical ? fnPredictors : 0),
      feSetType(allCategorical ? AllCategorical : AllContinuous),
      fbCatTarget(catTarget) {
  InitCommon();
}

FSSettings::FSSettings(const std::vector<bool>& predictorTypes, bool catTarget)
    : fnPredictors(static_cast<int>(predictorTypes.size())),
      fvPredictorTypes(predictorTypes),
      fnCatPredictors(0),
      feSetType(AllCategorical),
      fbCatTarget(catTarget) {
  for (bool categorical : fvPredictorTypes)
    fnCatPredictors += categorical ? 1 : 0;
  // An empty type vector counts as all categorical.
  if (fnPredictors > 0) RecomputeSetType();
  InitCommon();
}

FSSettings::~FSSettings() = default;

void FSSettings::InitCommon() {
  fvCriteria.assign(NQFSCommon::kNumCriteria, false);
  SetDefaultCriteria();
  fpListener = nullptr;
  fpCancel = nullptr;
  fnSkipRecords = 99;
  fnSkipPredictors = 99;
  fbTrInput = false;
  fnTargetPosition = 0;
  fnCaseIDPosition = -1;
  fnWeightPosition = -1;
  feWeightConv = NQFSCommon::WeightRound;
  fdMaxMiss = 0.7;
  fbDeleteManyMiss = true;
  fdMaxSingle = 0.95;
  fbDeleteManySingle = true;
  fdMaxNCat = 0.9;
  fbDeleteManyCategories = true;
  fdMinVariation = 0.001;
  fbDeleteSmallVariation = true;
  fdMinStddev = 0.0;
  fbDeleteSmallStddev = true;
  fbExactTails = false;
}

void FSSettings::RecomputeSetType() {
  if (fnCatPredictors == fnPredictors) {
    feSetType = AllCategorical;
  } else if (fnCatPredictors == 0) {
    feSetType = AllContinuous;
  } else {
    feSetType = Mixed;
  }
}

bool FSSettings::IsCatPredictor(int i) const {
  if (i < 0 || i >= fnPredictors) return false;
  return fvPredictorTypes[static_cast<size_t>(i)];
}

void FSSettings::AddPredictor(bool categorical) {
  AddPredictors(1, categorical);
}

void FSSettings::AddPredictors(int count, bool categorical) {
  if (count < 1 || count > INT_MAX - fnPredictors) return;
  fvPredictorTypes.insert(fvPredictorTypes.end(), static_cast<size_t>(count), categorical);
  fnPredictors += count;
  if (categorical) AddSaturated(fnCatPredictors, count);
  if (fnPredictors == count) {
    feSetType = categorical ? AllCategorical : AllContinuous;
    SetDefaultCriteria();
  } else if ((feSetType == AllCategorical && !categorical) ||
             (feSetType == AllContinuous && categorical)) {
    feSetType = Mixed;
    AdjustCriteria();
  }
}

void FSSettings::SetPredictorType(int index, bool categorical) {
  if (index < 0 || index >= fnPredictors) return;
  std::vector<bool>::reference slot = fvPredictorTypes[static_cast<size_t>(index)];
  if (slot == categorical) return;
  slot = categorical;
  AddSaturated(fnCatPredictors, categorical ? 1 : -1);
  const int before = feSetType;
  RecomputeSetType();
  if (feSetType != before) AdjustCriteria();
}

void FSSettings::SetPredictorType(int from, int to, bool categorical) {
  if (from < 0 || from > to || to >= fnPredictors) return;
  for (int i = from; i <= to; ++i)
    SetPredictorType(i, categorical);
}

void FSSettings::SetTargetType(bool categorical) {
  if (fbCatTarget == categorical) return;
  fbCatTarget = categorical;
  AdjustCriteria();
}

void FSSettings::SetTargetPosition(int position) {
  fnTargetPosition = position < 0 ? -1 : position;
}

bool FSSettings::GetCriterion(RankCriteria c) const {
  return IsValidCriterion(c) && fvCriteria[static_cast<size_t>(c)];
}

int FSSettings::CountCriteria(std::initializer_list<RankCriteria> criteria) const {
  int n = 0;
  for (RankCriteria c : criteria)
    n += fvCriteria[static_cast<size_t>(c)] ? 1 : 0;
  return n;
}

void FSSettings::SetDefaultCriteria() {
  fvCriteria.assign(NQFSCommon::kNumCriteria, false);
  auto on = [this](RankCriteria c) { fvCriteria[static_cast<size_t>(c)] = true; };
  if (fbCatTarget) {
    switch (feSetType) {
      case AllCategorical:
        on(Pearson), on(Likelihood), on(Cramer), on(Lambda);
        break;
      case AllContinuous:
        on(FStat);
        break;
      case Mixed:
        on(Pearson), on(Likelihood), on(FStat);
        break;
      default:
        break;
    }
  } else {
    switch (feSetType) {
      case AllCategorical:
        on(FStat);
        break;
      case AllContinuous:
        on(TStat);
        break;
      case Mixed:
        on(FStat), on(TStat);
        break;
      default:
        break;
    }
  }
}

void FSSettings::AdjustCriteria() {
  auto set = [this](RankCriteria c, bool v) { fvCriteria[static_cast<size_t>(c)] = v; };
  if (fbCatTarget) {
    set(TStat, false);
    switch (feSetType) {
      case AllCategorical:
        set(FStat, false);
        if (CountCriteria({Pearson, Likelihood, Cramer, Lambda}) == 0) {
          set(Pearson, true), set(Likelihood, true), set(Cramer, true), set(Lambda, true);
        }
        break;
      case AllContinuous:
        set(Pearson, false), set(Likelihood, false), set(Cramer, false), set(Lambda, false);
        set(FStat, true);
        break;
      case Mixed:
        set(Cramer, false), set(Lambda, false);
        set(FStat, true);
        if (CountCriteria({Pearson, Likelihood}) == 0) set(Pearson, true), set(Likelihood, true);
        break;
      default:
        break;
    }
  } else {
    set(Pearson, false), set(Likelihood, false), set(Cramer, false), set(Lambda, false);
    switch (feSetType) {
      case AllCategorical:
        set(FStat, true), set(TStat, false);
        break;
      case AllContinuous:
        set(FStat, false), set(TStat, true);
        break;
      case Mixed:
        set(FStat, true), set(TStat, true);
        break;
      default:
        break;
    }
  }
}

bool FSSettings::SetCriterion(RankCriteria c, bool on) {
  if (!IsValidCriterion(c)) return false;
  std::vector<bool>::reference flag = fvCriteria[static_cast<size_t>(c)];
  if (flag == on) return true;
  const bool chiFamily = c == Pearson || c == Likelihood || c == Cramer || c == Lambda;
  bool refuse = false;
  if (on) {
    if (fbCatTarget) {
      refuse = c == TStat || (feSetType == AllCategorical && c == FStat) ||
               (feSetType == AllContinuous && c != FStat) ||
               (feSetType == Mixed && (c == Cramer || c == Lambda));
    } else {
      refuse = (feSetType == AllCategorical && c != FStat) ||
               (feSetType == AllContinuous && c != TStat) ||
               (feSetType == Mixed && c != FStat && c != TStat);
    }
  } else {
    if (fbCatTarget) {
      if (c == FStat) {
        refuse = feSetType != AllCategorical;
      } else if (chiFamily && feSetType != AllContinuous) {
        refuse = CountCriteria({Pearson, Likelihood, Cramer, Lambda}) < 2;
      }
    } else {
      refuse = (c == FStat && feSetType == AllCategorical) ||
               (c == TStat && feSetType == AllContinuous) ||
               (feSetType == Mixed && (c == FStat || c == TStat));
    }
  }
  if (refuse) return false;
  flag = on;
  return true;
}

void FSSettings::SetCaseIDPosition(int position) {
  if (position >= 0) fnCaseIDPosition = position;
}

void FSSettings::SetWeightPosition(int position) {
  if (position >= 0) fnWeightPosition = position;
}

void FSSettings::SetMaxPctMiss(double percent) {
  if (IsPercent(percent)) fdMaxMiss = percent / 100.0;
}

void FSSettings::SetMaxPctSingle(double percent) {
  if (IsPercent(percent)) fdMaxSingle = percent / 100.0;
}

void FSSettings::SetMaxNCatAsPct(double percent) {
  if (IsPercent(percent)) fdMaxNCat = percent / 100.0;
}

void FSSettings::SetMinVariation(double v) {
  if (v >= 0.0) fdMinVariation = v;
}

void FSSettings::SetMinStddev(double v) {
  if (v >= 0.0) fdMinStddev = v;
}

void FSSettings::SetNSkippedRecordReports(int n) {
  if (n >= 0) fnSkipRecords = n;
}

void FSSettings::SetNSkippedPredictorReports(int n) {
  if (n >= 0) fnSkipPredictors = n;
}

int FSSettings::GetNBestPredictors(int n) const {
  const double m = n > 0 ? static_cast<double>(n) : static_cast<double>(fnPredictors);
  const double twoRoot = 2.0 * std::sqrt(m);
  const double cap = twoRoot >= 30.0 ? twoRoot : 30.0;
  return static_cast<int>((m < cap ? m : cap) + 0.5);
}
