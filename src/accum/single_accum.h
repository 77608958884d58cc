// The accumulators of the pass without a target: one predictor alone, categorical or
// continuous. They answer the all-missing, constancy and screening questions; they have no
// ranking criteria.
#ifndef FSRANK_ACCUM_SINGLE_ACCUM_H
#define FSRANK_ACCUM_SINGLE_ACCUM_H

#include "accum/predictor_accum.h"

class FSCatAccum final : public FSCatPredictorAccum {
 public:
  FSCatAccum() = default;

  void AddValue(double, double, double, int) override {}
  void AddValueNoTarget(double x, double weight, bool keep) override {
    if (!IsUsableWeight(weight)) return;
    AddValid(TruncateToCategory(x), weight, keep);
  }
  void FinishPass() override {}
  void ComputeCriterion(int, const CriterionContext&, double&, double&, double&, double&,
                        double&) const override {}
  bool GetStats(int, const CriterionContext&, double&, double&, double&, double&) const override {
    return false;
  }
  // The binary chunk (returns its bytes) and the XML object at level 2 (returns its elements).
  int WriteObject(std::ostream& stream) const override;
  int ReadObject(std::istream& stream) override;
  int WriteObjectXML(std::ostream& stream) const override;
  int ReadObjectXML(std::ifstream& stream) override;
  void Display(std::ostream& os) const override;
  bool Merge(const IFSPredTargetAccum& other) override;

 private:
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);
};

class FSContAccum final : public FSContPredictorAccum {
 public:
  FSContAccum() = default;

  void AddValue(double, double, double, int) override {}
  void AddValueNoTarget(double x, double weight, bool keep) override {
    if (!IsUsableWeight(weight)) return;
    if (keep) AddWeightedMoments(x, weight, ValidWeight(), fdPredMean, fdSecondMoment);
    AddValid(x, weight);
  }
  // The variance of the valid values, once there is more than one unit of valid weight.
  void FinishPass() override;
  void ComputeCriterion(int, const CriterionContext&, double&, double&, double&, double&,
                        double&) const override {}
  bool GetStats(int, const CriterionContext&, double&, double&, double&, double&) const override {
    return false;
  }
  // The binary chunk (returns its bytes) and the XML object at level 2 (returns its elements).
  int WriteObject(std::ostream& stream) const override;
  int ReadObject(std::istream& stream) override;
  int WriteObjectXML(std::ostream& stream) const override;
  int ReadObjectXML(std::ifstream& stream) override;
  void Display(std::ostream& os) const override;
  bool Merge(const IFSPredTargetAccum& other) override;

  double GetSecondMoment() const { return fdSecondMoment; }
  double GetVariance() const { return fdVariance; }
  double PredStdDev() const override;

 private:
  // The stored fields, in chunk order, for the four persistence directions.
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  double fdSecondMoment = 0.0;
  double fdVariance = 0.0;
};

#endif  // FSRANK_ACCUM_SINGLE_ACCUM_H
