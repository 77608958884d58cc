// The accumulators of a categorical predictor against the target: a weighted two-way table
// for a categorical target (chi-square tests, Cramer's V, lambda), the target's moments per
// predictor category for a continuous one (one-way F test).
#ifndef FSRANK_ACCUM_CAT_PAIR_ACCUM_H
#define FSRANK_ACCUM_CAT_PAIR_ACCUM_H

#include "accum/maps.h"
#include "accum/predictor_accum.h"

class FSCatPCatTAccum final : public FSCatPredictorAccum {
 public:
  FSCatPCatTAccum() = default;

  void AddValue(double x, double target, double weight, int) override {
    if (!IsUsableWeight(weight)) return;
    const int p = TruncateToCategory(x);
    const int u = TruncateToCategory(target);
    fmTargetCategories.Add(u, weight);
    fmPairs.Add(p, u, weight);
    AddValid(p, weight, true);
  }
  void AddValueNoTarget(double, double, bool) override {}
  void FinishPass() override {}
  // Pearson and Likelihood: p-value, statistic, degrees of freedom; Cramer: V and X2; Lambda:
  // lambda of the target given the predictor and the number of predictor categories.
  void ComputeCriterion(int criterion, const CriterionContext& context, double& value,
                        double& tieBreak1, double& tieBreak2, double& extra1,
                        double& extra2) const override;
  bool GetStats(int criterion, const CriterionContext& context, double& a, double& b, double& c,
                double& d) const override;
  // The binary chunk (returns its bytes) and the XML object at level 2 (returns its elements).
  int WriteObject(std::ostream& stream) const override;
  int ReadObject(std::istream& stream) override;
  int WriteObjectXML(std::ostream& stream) const override;
  int ReadObjectXML(std::ifstream& stream) override;
  void Display(std::ostream& os) const override;
  bool Merge(const IFSPredTargetAccum& other) override;

  void SettleTables() override {
    FSCatPredictorAccum::SettleTables();
    fmTargetCategories.Settle();
    fmPairs.Settle();
  }
  const FSMapICnt& GetTargetCategories() const { return fmTargetCategories; }
  const FSMapPiCnt& GetPairs() const { return fmPairs; }

 private:
  // The record pass keeps these fields in its own layout while it runs and writes them back.
  friend class FSRecordKernels;
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

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

  FSMapICnt fmTargetCategories;
  FSMapPiCnt fmPairs;
};

class FSCatPContTAccum final : public FSCatPredictorAccum {
 public:
  FSCatPContTAccum() = default;

  void AddValue(double x, double target, double weight, int) override {
    if (!IsUsableWeight(weight)) return;
    const int p = TruncateToCategory(x);
    fmTargetStats.Add(p, target, weight);
    fdTargetMean = (weight / (ValidWeight() + weight)) * (target - fdTargetMean) + fdTargetMean;
    AddValid(p, weight, true);
  }
  void AddValueNoTarget(double, double, bool) override {}
  // The target's variance within each predictor category.
  void FinishPass() override;
  // FStat (and TStat): the F test of the target across the predictor categories.
  void ComputeCriterion(int criterion, const CriterionContext& context, double& value,
                        double& tieBreak1, double& tieBreak2, double& extra1,
                        double& extra2) const override;
  bool GetStats(int criterion, const CriterionContext& context, double& a, double& b, double& c,
                double& d) const override;
  // The binary chunk (returns its bytes) and the XML object at level 2 (returns its elements).
  int WriteObject(std::ostream& stream) const override;
  int ReadObject(std::istream& stream) override;
  int WriteObjectXML(std::ostream& stream) const override;
  int ReadObjectXML(std::ifstream& stream) override;
  void Display(std::ostream& os) const override;
  bool Merge(const IFSPredTargetAccum& other) override;

  double GetTargetMean() const { return fdTargetMean; }
  void SettleTables() override {
    FSCatPredictorAccum::SettleTables();
    fmTargetStats.Settle();
  }
  const FSMapIStat& GetTargetStats() const { return fmTargetStats; }

 private:
  // The record pass keeps these fields in its own layout while it runs and writes them back.
  friend class FSRecordKernels;
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double fdTargetMean = 0.0;
  FSMapIStat fmTargetStats;
};

#endif  // FSRANK_ACCUM_CAT_PAIR_ACCUM_H
