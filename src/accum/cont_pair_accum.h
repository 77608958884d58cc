// The accumulators of a continuous predictor against the target: the predictor's moments per
// target category for a categorical target (one-way F test), co-moments for a continuous one
// (correlation and its t test).
#ifndef FSRANK_ACCUM_CONT_PAIR_ACCUM_H
#define FSRANK_ACCUM_CONT_PAIR_ACCUM_H

#include "accum/maps.h"
#include "accum/predictor_accum.h"
#include "fsrank/missing.h"

class FSContPCatTAccum final : public FSContPredictorAccum {
 public:
  FSContPCatTAccum() = default;

  void AddValue(double x, double target, double weight, int) override {
    if (!IsUsableWeight(weight)) return;
    fmPredStats.Add(TruncateToCategory(target), x, weight);
    fdPredMean = (weight / (ValidWeight() + weight)) * (x - fdPredMean) + fdPredMean;
    AddValid(x, weight);
  }
  void AddValueNoTarget(double, double, bool) override {}
  // The predictor's variance within each target category.
  void FinishPass() override;
  // FStat, and Pearson and Likelihood in a mixed set: the F test of the predictor across the
  // target categories; the second tie-break is N under FStat and -N under the other two, so
  // that the larger N comes first under either sort direction.
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

  void SettleTables() override { fmPredStats.Settle(); }
  const FSMapIStat& GetPredStats() const { return fmPredStats; }
  // Pooled from the per-category statistics.
  double PredStdDev() const override;

 private:
  // The record pass keeps these fields in its own layout while it runs and writes them back.
  friend class FSRecordKernels;
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  FSMapIStat fmPredStats;
};

class FSContPContTAccum final : public FSContPredictorAccum {
 public:
  FSContPContTAccum() = default;

  void AddValue(double x, double target, double weight, int) override {
    if (!IsUsableWeight(weight)) return;
    // Weighted one-pass updates of both means, both sums of squares and the co-moment; each
    // sum grows by W w / (W + w) times the product of the deviations from the old means.
    const double valid = ValidWeight();
    const double wn = valid + weight;
    const double g = weight / wn;
    const double h = wn / weight;
    const double dx = (x - fdPredMean) * g;
    fdPredMean = dx + fdPredMean;
    const double s = (h * dx) * valid;
    fdPredSecondMoment = dx * s + fdPredSecondMoment;
    const double dy = g * (target - fdTargetMean);
    fdTargetMean = fdTargetMean + dy;
    fdTargetSecondMoment = (valid * (h * dy)) * dy + fdTargetSecondMoment;
    fdCrossProduct = dy * s + fdCrossProduct;
    AddValid(x, weight);
  }
  void AddValueNoTarget(double, double, bool) override {}
  // Both variances and the correlation (missing unless both variances are positive).
  void FinishPass() override;
  // FStat and TStat: the two-sided p-value of the t test of the correlation.
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

  double GetPredSecondMoment() const { return fdPredSecondMoment; }
  double GetTargetMean() const { return fdTargetMean; }
  double GetTargetSecondMoment() const { return fdTargetSecondMoment; }
  double GetCrossProduct() const { return fdCrossProduct; }
  double GetPredVariance() const { return fdPredVariance; }
  double GetTargetVariance() const { return fdTargetVariance; }
  double GetCorrelation() const { return fdCorrelation; }
  double PredStdDev() const override;

 private:
  // The record pass keeps these fields in its own layout while it runs and writes them back.
  friend class FSRecordKernels;
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double fdPredSecondMoment = 0.0;
  double fdTargetMean = 0.0;
  double fdTargetSecondMoment = 0.0;
  double fdCrossProduct = 0.0;
  double fdPredVariance = gMissingValue;
  double fdTargetVariance = gMissingValue;
  double fdCorrelation = gMissingValue;
};

#endif  // FSRANK_ACCUM_CONT_PAIR_ACCUM_H
