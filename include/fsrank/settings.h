// The configuration a host builds before creating an algorithm: predictors and their types,
// the target, special columns, weights, screening thresholds, ranking criteria, progress and
// cancellation. The algorithm keeps a pointer to it and reads it at every operation.
#ifndef FSRANK_SETTINGS_H
#define FSRANK_SETTINGS_H

#include <initializer_list>
#include <iosfwd>
#include <ostream>
#include <vector>

#include "fsrank/enums.h"
#include "fsrank/export.h"
#include "fsrank/progress.h"

class FSRANK_API FSSettings {
 public:
  // No predictors, set type 3 (unrecognised), categorical target, every criterion off.
  FSSettings();
  // n predictors all of one type; a negative n is taken as 0.
  FSSettings(int nPredictors, bool allCategorical, bool catTarget);
  FSSettings(const std::vector<bool>& predictorTypes, bool catTarget);
  FSSettings(const FSSettings&) = default;
  FSSettings& operator=(const FSSettings&) = default;
  ~FSSettings();

  // Predictors and their types (true = categorical).
  int GetNPredictors() const { return fnPredictors; }
  bool IsCatPredictor(int i) const;
  int GetNCatPredictors() const { return fnCatPredictors; }
  const std::vector<bool>& GetPredictorTypes() const { return fvPredictorTypes; }
  // Appends one predictor, or count of them (nothing when count < 1 or the total would pass
  // the int range).
  void AddPredictor(bool categorical);
  void AddPredictors(int count, bool categorical);
  void SetPredictorType(int index, bool categorical);
  void SetPredictorType(int from, int to, bool categorical);
  int GetTypeAllPredictors() const { return feSetType; }

  // Target.
  void SetTargetType(bool categorical);
  bool IsCatTarget() const { return fbCatTarget; }
  void SetTargetPosition(int position);  // negative: no target (-1)
  int GetTargetPosition() const { return fnTargetPosition; }

  // Ranking criteria, kept valid for the target and set types.
  const std::vector<bool>& GetCriteria() const { return fvCriteria; }
  // A criterion outside 0 to 5 is never on.
  bool GetCriterion(NQFSCommon::RankCriteria c) const;
  // True when the flag now has the requested value; false when the request is refused (also
  // for a criterion outside 0 to 5).
  bool SetCriterion(NQFSCommon::RankCriteria c, bool on);
  void SetDefaultCriteria();
  void AdjustCriteria();

  // Special columns (-1 = none). Negative values are ignored.
  void SetCaseIDPosition(int position);
  int GetCaseIDPosition() const { return fnCaseIDPosition; }
  void SetWeightPosition(int position);
  int GetWeightPosition() const { return fnWeightPosition; }
  void SetWeightConv(NQFSCommon::WeightToFreq conversion) { feWeightConv = conversion; }
  NQFSCommon::WeightToFreq GetWeightConv() const {
    return static_cast<NQFSCommon::WeightToFreq>(feWeightConv);
  }

  // Screening thresholds: percentages in 0 to 100 (stored as fractions), minimums >= 0.
  // Values outside the range, and NaN, are ignored.
  void SetMaxPctMiss(double percent);
  double GetMaxPctMiss() const { return fdMaxMiss * 100.0; }
  void SetMaxPctSingle(double percent);
  double GetMaxPctSingle() const { return fdMaxSingle * 100.0; }
  void SetMaxNCatAsPct(double percent);
  double GetMaxNCatAsPct() const { return fdMaxNCat * 100.0; }
  void SetMinVariation(double v);
  double GetMinVariation() const { return fdMinVariation; }
  void SetMinStddev(double v);
  double GetMinStddev() const { return fdMinStddev; }

  // Screening switches.
  void SetFlagDeleteIfManyMiss(bool on) { fbDeleteManyMiss = on; }
  bool GetFlagDeleteIfManyMiss() const { return fbDeleteManyMiss; }
  void SetFlagDeleteIfManySingle(bool on) { fbDeleteManySingle = on; }
  bool GetFlagDeleteIfManySingle() const { return fbDeleteManySingle; }
  void SetFlagDeleteIfManyCategories(bool on) { fbDeleteManyCategories = on; }
  bool GetFlagDeleteIfManyCategories() const { return fbDeleteManyCategories; }
  void SetFlagDeleteIfSmallVariation(bool on) { fbDeleteSmallVariation = on; }
  bool GetFlagDeleteIfSmallVariation() const { return fbDeleteSmallVariation; }
  void SetFlagDeleteIfSmallStddev(bool on) { fbDeleteSmallStddev = on; }
  bool GetFlagDeleteIfSmallStddev() const { return fbDeleteSmallStddev; }

  // P-values as upper tails computed directly (off by default). Off, every test's p-value is
  // formed as 1 minus its lower-tail probability, which rounds to exactly 0 below about 1e-16,
  // and a test without any spread (or a degree of freedom that is not positive) may report 0.
  // On, the chi-square, F and t p-values are their upper tails computed directly, accurate to
  // about 1e-13 relative down to the smallest normal double (about 2.2e-308; below it 0, and
  // the lists rank such predictors by the statistic, as they do any tie); a test that is not
  // defined gives the missing value. The flag is not saved with the state: a state restored
  // from a file starts with it off, and a host sets it again through GetSettings().
  void SetFlagExactTails(bool on) { fbExactTails = on; }
  bool GetFlagExactTails() const { return fbExactTails; }

  // Input form: false = one record per case, true = transactions.
  void SetFlagTrInput(bool on) { fbTrInput = on; }
  bool GetFlagTrInput() const { return fbTrInput; }

  // Progress: the listener is told every (skip + 1) records or predictors. Negative ignored.
  void SetNSkippedRecordReports(int n);
  int GetNSkippedRecordReports() const { return fnSkipRecords; }
  void SetNSkippedPredictorReports(int n);
  int GetNSkippedPredictorReports() const { return fnSkipPredictors; }
  void SetProgressListener(ProgressListener* listener) { fpListener = listener; }
  ProgressListener* GetProgressListener() const { return fpListener; }
  void SetCancelPointer(NQQueryCancel* cancel) { fpCancel = cancel; }
  NQQueryCancel* GetCancelPointer() const { return fpCancel; }

  // A suggested number of best predictors for n (or for all predictors when n <= 0):
  // min(m, max(30, 2 sqrt(m))), rounded half up.
  int GetNBestPredictors(int n) const;

  // A readable dump of every field, framed by "Start of FSSettings display" and
  // "End of FSSettings display".
  void Display(std::ostream& os) const;

  // Persistence: the "FSSet" binary chunk of 133 + 4n bytes (n predictors) and the
  // "FSSettings" XML object of n + 27 values. The readers take the stored values as they are,
  // without recomputing or checking them; the two host pointers and the exact-tails flag are not
  // stored and keep what the object held. A reader that meets anything else than what the writer
  // produced writes "Error reading FSSettings!\n" to the standard error stream and throws a new
  // NQFeature::IOException by pointer.
  // Bytes written / consumed: 133 + 4n.
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream);
  // Elements written / read: n + 29 (the object's start and end lines and its values).
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::ifstream& stream);

 private:
  friend struct FSSettingsFields;

  void InitCommon();
  void RecomputeSetType();
  int CountCriteria(std::initializer_list<NQFSCommon::RankCriteria> criteria) const;

  int fnPredictors;
  std::vector<bool> fvPredictorTypes;
  int fnCatPredictors;
  int feSetType;
  bool fbCatTarget;
  std::vector<bool> fvCriteria;
  ProgressListener* fpListener;
  NQQueryCancel* fpCancel;
  int fnSkipRecords;
  int fnSkipPredictors;
  bool fbTrInput;
  int fnTargetPosition;
  int fnCaseIDPosition;
  int fnWeightPosition;
  int feWeightConv;
  double fdMaxMiss;
  bool fbDeleteManyMiss;
  double fdMaxSingle;
  bool fbDeleteManySingle;
  double fdMaxNCat;
  bool fbDeleteManyCategories;
  double fdMinVariation;
  bool fbDeleteSmallVariation;
  double fdMinStddev;
  bool fbDeleteSmallStddev;
  bool fbExactTails;
};

#endif  // FSRANK_SETTINGS_H
