// The record pass's inner loop: sorts the predictors into the groups of kernel_groups.h and
// feeds every record to each group, and to the generic loop the predictors no group takes.
#include "engine/record_kernels.h"

#include <memory>
#include <utility>

#include "engine/kernel_groups.h"

using fskernels::IsInvalid;

FSRecordKernels::FSRecordKernels(const std::vector<Predictor>& predictors) {
  auto contCont = std::make_unique<ContContGroup>();
  auto contCat = std::make_unique<ContCatGroup>();
  std::vector<Predictor> catCat, catCont;
  for (const Predictor& p : predictors) {
    IFSPredTargetAccum* a = p.accum;
    if (!p.categorical) {
      if (auto* cc = dynamic_cast<FSContPContTAccum*>(a)) {
        contCont->accums.push_back(cc);
        contCont->columns.push_back(p.column);
        continue;
      }
      if (auto* ct = dynamic_cast<FSContPCatTAccum*>(a)) {
        contCat->accums.push_back(ct);
        contCat->columns.push_back(p.column);
        continue;
      }
    } else {
      if (dynamic_cast<FSCatPCatTAccum*>(a) != nullptr) {
        catCat.push_back(p);
        continue;
      }
      if (dynamic_cast<FSCatPContTAccum*>(a) != nullptr) {
        catCont.push_back(p);
        continue;
      }
    }
    fvGeneric.push_back(p);
  }
  if (!contCont->accums.empty()) {
    contCont->Load();
    fpContCont = std::move(contCont);
  }
  if (!contCat->accums.empty()) {
    if (contCat->Load()) {
      fpContCat = std::move(contCat);
    } else {
      for (std::size_t i = 0; i < contCat->accums.size(); ++i)
        fvGeneric.push_back({contCat->accums[i], contCat->columns[i], false});
    }
  }
  if (!catCat.empty()) {
    fpCatCat = std::make_unique<CatCatGroup>();
    fpCatCat->Load(catCat, fvGeneric);
  }
  if (!catCont.empty()) {
    fpCatCont = std::make_unique<CatContGroup>();
    fpCatCont->Load(catCont, fvGeneric);
  }
}

FSRecordKernels::~FSRecordKernels() = default;

bool FSRecordKernels::AddGeneric(const double* values, double target, double w) {
  bool any = false;
  for (const Predictor& p : fvGeneric) {
    const double x = values[p.column];
    if (IsInvalid(x, p.categorical)) {
      p.accum->AddMissing(w);
    } else {
      any = true;
      p.accum->AddValue(x, target, w, 1);
    }
  }
  return any;
}

bool FSRecordKernels::AddRecord(const double* values, double target, double w) {
  bool any = false;
  // Groups that cannot take this record's target category hand their predictors over first,
  // so that the generic loop below feeds them this record.
  int category = 0;
  int contCatIndex = -1;
  if (fpContCat != nullptr || fpCatCat != nullptr) {
    category = TruncateToCategory(target);
    if (fpContCat != nullptr) {
      contCatIndex = fpContCat->Find(category);
      if (contCatIndex < 0) {
        fpContCat->Store();
        for (std::size_t i = 0; i < fpContCat->accums.size(); ++i)
          fvGeneric.push_back({fpContCat->accums[i], fpContCat->columns[i], false});
        fpContCat.reset();
      }
    }
    if (fpCatCat != nullptr) fpCatCat->PrepareTarget(category, fvGeneric);
  }

  if (!fvGeneric.empty()) any = AddGeneric(values, target, w);
  if (fpContCont != nullptr) any = fpContCont->Add(values, target, w) || any;
  if (fpContCat != nullptr) any = fpContCat->Add(values, contCatIndex, w) || any;
  if (fpCatCat != nullptr) any = fpCatCat->Add(values, target, category, w, fvGeneric) || any;
  if (fpCatCont != nullptr) any = fpCatCont->Add(values, target, w, fvGeneric) || any;
  return any;
}

void FSRecordKernels::Flush() {
  if (fpContCont != nullptr) fpContCont->Store();
  if (fpContCat != nullptr) fpContCat->Store();
  if (fpCatCat != nullptr) fpCatCat->Store();
  if (fpCatCont != nullptr) fpCatCont->Store();
  fpContCont.reset();
  fpContCat.reset();
  fpCatCat.reset();
  fpCatCont.reset();
  fvGeneric.clear();
}
