// The accumulators of a categorical predictor against the target: a weighted two-way table
// for a categorical target (chi-square tests, Cramer's V, lambda), the target's moments per
// predictor category for a continuous one (one-way F test).
#ifndef FSRANK_ACCUM_CAT_PAIR_ACCUM_H
#define FSRANK_ACCUM_CAT_PAIR_ACCUM_H

#include "accum/accum_common.h"
#include "accum/accumulator.h"
#include "accum/maps.h"

class FSCatPCatTAccum final : public IFSPredTargetAccum {
 public:
  FSCatPCatTAccum() = default;

  void AddValue(double x, double target, double weight, int) override {
    if (!IsUsableWeight(weight)) return;
    const int p = TruncateToCategory(x);
    const int u = TruncateToCategory(target);
    TrackConstantCategory(fbConstant, fnFirstCategory, p);
    fmPredCategories.Add(p, weight);
    fmTargetCategories.Add(u, weight);
    fmPairs.Add(p, u, weight);
    fdProcessed += weight;
    fnUnweightedValid += 1;
  }
  void AddMissing(double weight) override {
    if (!IsUsableWeight(weight)) return;
    fdProcessed += weight;
    fdMissing += weight;
  }
  void AddValueNoTarget(double, double, bool) override {}
  bool IsAllMissing() const override { return fdMissing == fdProcessed; }
  bool IsConstant() const override { return fbConstant; }
  int Screen(const FSSettings* settings) const override;
  int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const override;
  void FinishPass() override {}
  // Pearson and Likelihood: p-value, statistic, degrees of freedom; Cramer: V and X2; Lambda:
  // lambda of the target given the predictor and the number of predictor categories.
  void ComputeCriterion(int criterion, const CriterionContext& context, double& value,
                        double& tieBreak1, double& tieBreak2, double& extra1,
                        double& extra2) const override;
  bool GetStats(int criterion, const CriterionContext& context, double& a, double& b, double& c,
                double& d) const override;
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
  const FSMapICnt& GetPredCategories() const { return fmPredCategories; }
  const FSMapICnt& GetTargetCategories() const { return fmTargetCategories; }
  const FSMapPiCnt& GetPairs() const { return fmPairs; }

 private:
  // The record pass keeps these fields in its own layout while it runs and writes them back.
  friend class FSRecordKernels;
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double ValidWeight() const { return fdProcessed - fdMissing; }
  // Pearson's X2 over every cell of the table in the documented order, polling the cancel
  // check (NaN when cancelled); with exact tails, over the occupied cells only.
  double ChiSquare(const CriterionContext& context) const;
  double OccupiedCellsChiSquare() const;
  double LikelihoodRatio() const;
  // value, statistic and degrees of freedom of a chi-square test of the statistic stat().
  template <class Statistic>
  void ChiSquareTest(Statistic stat, TailMode tails, double& value, double& statistic,
                     double& df) const;
  void CramerV(const CriterionContext& context, double& value, double& tieBreak1) const;
  void LambdaTargetGivenPred(double& value, double& tieBreak1) const;

  double fdProcessed = 0.0;
  int fnUnweightedValid = 0;
  double fdMissing = 0.0;
  int fnFirstCategory = -1;
  bool fbConstant = true;
  FSMapICnt fmPredCategories;
  FSMapICnt fmTargetCategories;
  FSMapPiCnt fmPairs;
};

class FSCatPContTAccum final : public IFSPredTargetAccum {
 public:
  FSCatPContTAccum() = default;

  void AddValue(double x, double target, double weight, int) override {
    if (!IsUsableWeight(weight)) return;
    const int p = TruncateToCategory(x);
    TrackConstantCategory(fbConstant, fnFirstCategory, p);
    fmPredCategories.Add(p, weight);
    fmTargetStats.Add(p, target, weight);
    const double valid = fdProcessed - fdMissing;
    fnUnweightedValid += 1;
    fdTargetMean = (weight / (valid + weight)) * (target - fdTargetMean) + fdTargetMean;
    fdProcessed += weight;
  }
  void AddMissing(double weight) override {
    if (!IsUsableWeight(weight)) return;
    fdProcessed += weight;
    fdMissing += weight;
  }
  void AddValueNoTarget(double, double, bool) override {}
  bool IsAllMissing() const override { return fdMissing == fdProcessed; }
  bool IsConstant() const override { return fbConstant; }
  int Screen(const FSSettings* settings) const override;
  int ScreenAll(const FSSettings* settings, std::vector<int>& reasons) const override;
  // The target's variance within each predictor category.
  void FinishPass() override;
  // FStat (and TStat): the F test of the target across the predictor categories.
  void ComputeCriterion(int criterion, const CriterionContext& context, double& value,
                        double& tieBreak1, double& tieBreak2, double& extra1,
                        double& extra2) const override;
  bool GetStats(int criterion, const CriterionContext& context, double& a, double& b, double& c,
                double& d) const override;
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
  double GetTargetMean() const { return fdTargetMean; }
  const FSMapICnt& GetPredCategories() const { return fmPredCategories; }
  const FSMapIStat& GetTargetStats() const { return fmTargetStats; }

 private:
  // The record pass keeps these fields in its own layout while it runs and writes them back.
  friend class FSRecordKernels;
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double fdProcessed = 0.0;
  int fnUnweightedValid = 0;
  double fdMissing = 0.0;
  int fnFirstCategory = -1;
  bool fbConstant = true;
  double fdTargetMean = 0.0;
  FSMapICnt fmPredCategories;
  FSMapIStat fmTargetStats;
};

#endif  // FSRANK_ACCUM_CAT_PAIR_ACCUM_H
