// The accumulators of the pass without a target: one predictor alone, categorical or
// continuous. They answer the all-missing, constancy and screening questions; they have no
// ranking criteria.
#ifndef FSRANK_ACCUM_SINGLE_ACCUM_H
#define FSRANK_ACCUM_SINGLE_ACCUM_H

#include "accum/accum_common.h"
#include "accum/accumulator.h"
#include "accum/maps.h"
#include "fsrank/missing.h"

class FSCatAccum final : public IFSPredTargetAccum {
 public:
  FSCatAccum() = default;

  void AddValue(double, double, double, int) override {}
  void AddMissing(double weight) override {
    if (!IsUsableWeight(weight)) return;
    fdProcessed += weight;
    fdMissing += weight;
  }
  void AddValueNoTarget(double x, double weight, bool keep) override {
    if (!IsUsableWeight(weight)) return;
    const int category = TruncateToCategory(x);
    TrackConstantCategory(fbConstant, fnFirstCategory, category);
    if (keep) fmCategories.Add(category, weight);
    fdProcessed += weight;
    fnUnweightedValid += 1;
  }
  bool IsAllMissing() const override { return fdMissing == fdProcessed; }
  bool IsConstant() const override { return fbConstant; }
  int Screen(const FSSettings* settings) const override;
  int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const override;
  void FinishPass() override {}
  void ComputeCriterion(int, const CriterionContext&, double&, double&, double&, double&,
                        double&) const override {}
  bool GetStats(int, const CriterionContext&, double&, double&, double&, double&) const override {
    return false;
  }
  bool IsCategorical() const override { return true; }
  // The binary chunk (returns its bytes) and the XML object at level 2 (returns its elements).
  int WriteObject(std::ostream& stream) const override;
  int ReadObject(std::istream& stream) override;
  int WriteObjectXML(std::ostream& stream) const override;
  int ReadObjectXML(std::ifstream& stream) override;
  void Display(std::ostream& os) const override;
  bool Merge(const IFSPredTargetAccum& other) override;

  double GetProcessed() const { return fdProcessed; }
  int GetUnweightedValid() const override { return fnUnweightedValid; }
  void SetUnweightedValid(int count) override { fnUnweightedValid = count; }
  double GetMissing() const { return fdMissing; }
  int GetFirstCategory() const { return fnFirstCategory; }
  const FSMapICnt& GetCategories() const { return fmCategories; }

 private:
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double fdProcessed = 0.0;
  int fnUnweightedValid = 0;
  double fdMissing = 0.0;
  int fnFirstCategory = -1;
  bool fbConstant = true;
  FSMapICnt fmCategories;
};

class FSContAccum final : public IFSPredTargetAccum {
 public:
  FSContAccum() = default;

  void AddValue(double, double, double, int) override {}
  void AddMissing(double weight) override {
    if (!IsUsableWeight(weight)) return;
    fdProcessed += weight;
    fdMissing += weight;
  }
  void AddValueNoTarget(double x, double weight, bool keep) override {
    if (!IsUsableWeight(weight)) return;
    TrackConstantValue(fbConstant, fdFirstValue, x);
    if (keep) AddWeightedMoments(x, weight, fdProcessed - fdMissing, fdMean, fdSecondMoment);
    fdProcessed = fdProcessed + weight;
  }
  bool IsAllMissing() const override { return fdMissing == fdProcessed; }
  bool IsConstant() const override { return fbConstant; }
  int Screen(const FSSettings* settings) const override;
  int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const override;
  // The variance of the valid values, once there is more than one unit of valid weight.
  void FinishPass() override;
  void ComputeCriterion(int, const CriterionContext&, double&, double&, double&, double&,
                        double&) const override {}
  bool GetStats(int, const CriterionContext&, double&, double&, double&, double&) const override {
    return false;
  }
  bool IsCategorical() const override { return false; }
  // The binary chunk (returns its bytes) and the XML object at level 2 (returns its elements).
  int WriteObject(std::ostream& stream) const override;
  int ReadObject(std::istream& stream) override;
  int WriteObjectXML(std::ostream& stream) const override;
  int ReadObjectXML(std::ifstream& stream) override;
  void Display(std::ostream& os) const override;
  bool Merge(const IFSPredTargetAccum& other) override;

  double GetProcessed() const { return fdProcessed; }
  double GetMissing() const { return fdMissing; }
  double GetFirstValue() const { return fdFirstValue; }
  double GetMean() const { return fdMean; }
  double GetSecondMoment() const { return fdSecondMoment; }
  double GetVariance() const { return fdVariance; }

 private:
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double fdProcessed = 0.0;
  double fdMissing = 0.0;
  double fdFirstValue = gMissingValue;
  bool fbConstant = true;
  double fdMean = 0.0;
  double fdSecondMoment = 0.0;
  double fdVariance = 0.0;
};

#endif  // FSRANK_ACCUM_SINGLE_ACCUM_H
