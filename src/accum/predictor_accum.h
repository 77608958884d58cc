// What the accumulators of one kind of predictor keep alike, whether they read it alone or
// against the target: the processed and missing weights, the predictor's constancy and first
// valid category or value, and what follows from those alone (all-missing, constancy,
// screening). Each accumulator class derives from the base of its predictor's kind and adds
// what it summarises besides.
#ifndef FSRANK_ACCUM_PREDICTOR_ACCUM_H
#define FSRANK_ACCUM_PREDICTOR_ACCUM_H

#include <ostream>
#include <vector>

#include "accum/accum_common.h"
#include "accum/accumulator.h"
#include "accum/maps.h"
#include "fsrank/missing.h"

// Either kind: the weights and the constancy flag.
class FSPredictorAccum : public IFSPredTargetAccum {
 public:
  void AddMissing(double weight) final {
    if (!IsUsableWeight(weight)) return;
    fdProcessed += weight;
    fdMissing += weight;
  }
  bool IsAllMissing() const final { return fdMissing == fdProcessed; }
  bool IsConstant() const final { return fbConstant; }

  double GetProcessed() const { return fdProcessed; }
  double GetMissing() const { return fdMissing; }

 protected:
  double ValidWeight() const { return fdProcessed - fdMissing; }

  double fdProcessed = 0.0;
  double fdMissing = 0.0;
  bool fbConstant = true;
};

// A categorical predictor: also its unweighted number of valid cases and its category table,
// which the screening rules read.
class FSCatPredictorAccum : public FSPredictorAccum {
 public:
  int Screen(const FSSettings* settings) const final;
  int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const final;
  bool IsCategorical() const final { return true; }
  int GetUnweightedValid() const final { return fnUnweightedValid; }
  void SetUnweightedValid(int count) final { fnUnweightedValid = count; }
  void SettleTables() override { fmPredCategories.Settle(); }

  int GetFirstCategory() const { return fnFirstCategory; }
  const FSMapICnt& GetPredCategories() const { return fmPredCategories; }

 protected:
  // One valid case of category with a usable weight; keep false leaves it out of the category
  // table.
  void AddValid(int category, double weight, bool keep) {
    TrackConstantCategory(fbConstant, fnFirstCategory, category);
    if (keep) fmPredCategories.Add(category, weight);
    fdProcessed += weight;
    fnUnweightedValid += 1;
  }
  // The stored fields that start every chunk after its tag: processed, missing, first
  // category, constancy (the table is nested where each class places it).
  template <class IO, class Self>
  static void CommonFields(IO& io, Self& self);
  // Merging: b's weights, count, constancy and category table, b's part after this one's;
  // whatever the class combines by the weights goes before this, while they are still apart.
  void MergeCommon(const FSCatPredictorAccum& b);
  // The display lines of the weights, the count and the constancy; firstName names the first
  // valid category.
  void DisplayCommon(std::ostream& os, const char* firstName) const;

  int fnUnweightedValid = 0;
  int fnFirstCategory = -1;
  FSMapICnt fmPredCategories;
};

// A continuous predictor: also its weighted mean, which the screening rules read with the
// standard deviation that each class derives in its own way.
class FSContPredictorAccum : public FSPredictorAccum {
 public:
  int Screen(const FSSettings* settings) const final;
  int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const final;
  bool IsCategorical() const final { return false; }

  double GetFirstValue() const { return fdFirstValue; }
  double GetPredMean() const { return fdPredMean; }
  // The predictor's standard deviation that the screening rules test.
  virtual double PredStdDev() const = 0;

 protected:
  // One valid value with a usable weight, once the class has added it to its own sums.
  void AddValid(double x, double weight) {
    TrackConstantValue(fbConstant, fdFirstValue, x);
    fdProcessed = fdProcessed + weight;
  }
  // The stored fields that start every chunk after its tag: processed, missing, first value,
  // constancy, mean.
  template <class IO, class Self>
  static void CommonFields(IO& io, Self& self);
  // Merging: b's weights and constancy, b's part after this one's. The mean is the class's to
  // combine (alone or with a spread), before this, while the weights are still apart.
  void MergeCommon(const FSContPredictorAccum& b);
  // The display lines of the weights and the constancy; firstName names the first valid value.
  void DisplayCommon(std::ostream& os, const char* firstName) const;

  double fdFirstValue = gMissingValue;
  double fdPredMean = 0.0;
};

#endif  // FSRANK_ACCUM_PREDICTOR_ACCUM_H
