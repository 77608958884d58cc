#include "accum/cat_pair_accum.h"

#include <algorithm>
#include <cmath>

#include "accum/anova.h"
#include "fsrank/enums.h"
#include "fsrank/missing.h"
#include "stats/distributions.h"

namespace {

// The full-table loop polls the cancel check once per this many cells (a few milliseconds).
constexpr int kCellsPerCancelCheck = 1 << 20;

// The observed weights o_ij of the cells of the table, read in row-major ascending order
// (predictor category, then target category) with 0 for a pair that never occurred. The
// stored pairs are in that same order, so one forward cursor over them finds every cell
// without a search per cell and without a dense table.
class CellReader {
 public:
  explicit CellReader(const FSMapPiCnt& pairs) : fPairs(pairs), fnSize(pairs.Size()) {}
  double Next(int predCategory, int targetCategory) {
    const FSMapPiCnt::Key key(predCategory, targetCategory);
    while (fnPos < fnSize && fPairs.At(fnPos).first < key)
      ++fnPos;
    if (fnPos < fnSize && fPairs.At(fnPos).first == key) return fPairs.At(fnPos).second;
    return 0.0;
  }

 private:
  const FSMapPiCnt& fPairs;
  int fnSize;
  int fnPos = 0;
};

// The occupied cells of the table, row by row: for each predictor category in ascending
// order, the stored pairs of that category whose target category is in the table, with the
// target category's weight. The cells come in the order in which the full-table loops meet
// them, so a sum over them equals, bit for bit, the full-table sum of the same terms that
// skips the empty cells.
class OccupiedCells {
 public:
  OccupiedCells(const FSMapPiCnt& pairs, const FSMapICnt& targets)
      : fPairs(pairs), fTargets(targets), fnSize(pairs.Size()) {}
  // Moves to the row of predCategory; false when it has no more cell.
  template <class Visit>
  void Row(int predCategory, Visit visit) {
    while (fnPos < fnSize && fPairs.At(fnPos).first.first < predCategory)
      ++fnPos;
    for (; fnPos < fnSize && fPairs.At(fnPos).first.first == predCategory; ++fnPos) {
      const std::pair<FSMapPiCnt::Key, double> cell = fPairs.At(fnPos);
      double b = 0.0;
      if (FindTarget(cell.first.second, b)) visit(cell.second, b);
    }
  }

 private:
  bool FindTarget(int key, double& weight) const {
    int lo = 0;
    int hi = fTargets.Size() - 1;
    while (lo <= hi) {
      const int mid = lo + (hi - lo) / 2;
      const std::pair<int, double> entry = fTargets.At(mid);
      if (entry.first == key) {
        weight = entry.second;
        return true;
      }
      if (entry.first < key) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
      }
    }
    return false;
  }

  const FSMapPiCnt& fPairs;
  const FSMapICnt& fTargets;
  int fnSize;
  int fnPos = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// FSCatPCatTAccum

// Pearson's X2 = sum over all r x c cells of (o - E)^2 / E, E = b_j a_i / N.
double FSCatPCatTAccum::ChiSquare(const CriterionContext& context) const {
  if (context.tails == TailMode::Exact) return OccupiedCellsChiSquare();
  const double n = ValidWeight();
  const int r = fmPredCategories.Size();
  const int c = fmTargetCategories.Size();
  CellReader cells(fmPairs);
  double x2 = 0.0;
  int uncheckedCells = 0;
  for (int i = 0; i < r; ++i) {
    const std::pair<int, double> a = fmPredCategories.At(i);
    for (int j = 0; j < c; ++j) {
      const std::pair<int, double> b = fmTargetCategories.At(j);
      const double o = cells.Next(a.first, b.first);
      const double e = (b.second * a.second) / n;
      const double diff = o - e;
      x2 = x2 + (diff * diff) / e;
      if (++uncheckedCells == kCellsPerCancelCheck) {
        uncheckedCells = 0;
        if (context.Cancelled()) return std::nan("");
      }
    }
  }
  return x2;
}

// The same X2 from the occupied cells: an empty cell adds its E, so the empty cells of row i
// add a_i (B - B_i) / N, B the total target weight and B_i that of the row's occupied cells.
double FSCatPCatTAccum::OccupiedCellsChiSquare() const {
  const double n = ValidWeight();
  double targetTotal = 0.0;
  for (int j = 0; j < fmTargetCategories.Size(); ++j)
    targetTotal += fmTargetCategories.At(j).second;
  OccupiedCells cells(fmPairs, fmTargetCategories);
  double x2 = 0.0;
  for (int i = 0; i < fmPredCategories.Size(); ++i) {
    const std::pair<int, double> a = fmPredCategories.At(i);
    double occupiedTarget = 0.0;
    double rowSum = 0.0;
    cells.Row(a.first, [&](double o, double b) {
      const double e = (b * a.second) / n;
      const double diff = o - e;
      rowSum += (diff * diff) / e;
      occupiedTarget += b;
    });
    x2 += rowSum + (a.second * std::max(0.0, targetTotal - occupiedTarget)) / n;
  }
  return x2;
}

// G2 = 2 sum over the occurring cells of o ln(o / E).
double FSCatPCatTAccum::LikelihoodRatio() const {
  const double n = ValidWeight();
  OccupiedCells cells(fmPairs, fmTargetCategories);
  double s = 0.0;
  for (int i = 0; i < fmPredCategories.Size(); ++i) {
    const std::pair<int, double> a = fmPredCategories.At(i);
    cells.Row(a.first, [&](double o, double b) {
      if (o > 0.0) {
        const double e = (b * a.second) / n;
        s = s + o * std::log(o / e);
      }
    });
  }
  return s + s;
}

template <class Statistic>
void FSCatPCatTAccum::ChiSquareTest(Statistic stat, TailMode tails, double& value,
                                    double& statistic, double& df) const {
  const int r = fmPredCategories.Size();
  const int c = fmTargetCategories.Size();
  if (tails == TailMode::Exact && (c <= 1 || r <= 1)) return;  // no degree of freedom
  if (c <= 1 || r <= 1) {
    // Without two categories on each side there is nothing to test.
    value = 1.0;
    statistic = 0.0;
    df = 0.0;
    return;
  }
  const double dof = static_cast<double>((static_cast<long long>(c) - 1) * (r - 1));
  const double x = stat();
  if (tails == TailMode::Exact) {
    value = ChiSquareUpper(x, dof);
    if (NQMV::IsMissing(value)) return;
  } else {
    const double q = ChiSquareCdf(x, dof);
    if (NQMV::IsMissing(q)) return;
    value = 1.0 - q;
  }
  statistic = x;
  df = dof;
}

void FSCatPCatTAccum::CramerV(const CriterionContext& context, double& value,
                              double& tieBreak1) const {
  const int r = fmPredCategories.Size();
  const int c = fmTargetCategories.Size();
  if (c <= 1 || r <= 1) return;
  const double x2 = ChiSquare(context);
  if (std::isnan(x2)) return;
  const int k = std::min(r, c);
  const double d = ValidWeight() * static_cast<double>(k - 1);
  tieBreak1 = x2;
  if (d > 0.0) value = std::sqrt(x2 / d);
}

// Goodman and Kruskal's lambda with the target dependent: (S - bmax) / (N - bmax), S the sum
// over predictor categories of their largest cell, bmax the largest target category. An empty
// cell (0) is never a row's largest, so the occupied cells decide.
void FSCatPCatTAccum::LambdaTargetGivenPred(double& value, double& tieBreak1) const {
  const double n = ValidWeight();
  const int r = fmPredCategories.Size();
  const int c = fmTargetCategories.Size();
  double bmax = 0.0;
  if (r > 0) {
    for (int j = 0; j < c; ++j) {
      const double b = fmTargetCategories.At(j).second;
      if (b > bmax) bmax = b;
    }
  }
  OccupiedCells cells(fmPairs, fmTargetCategories);
  double s = 0.0;
  for (int i = 0; i < r; ++i) {
    double rowMax = 0.0;
    cells.Row(fmPredCategories.At(i).first, [&](double o, double) {
      if (o > rowMax) rowMax = o;
    });
    s = s + rowMax;
  }
  tieBreak1 = static_cast<double>(r);
  if (n - bmax > 0.0) value = (s - bmax) / (n - bmax);
}

void FSCatPCatTAccum::ComputeCriterion(int criterion, const CriterionContext& context,
                                       double& value, double& tieBreak1, double& tieBreak2,
                                       double& extra1, double& extra2) const {
  value = tieBreak1 = tieBreak2 = extra1 = extra2 = gMissingValue;
  switch (criterion) {
    case NQFSCommon::Pearson:
      ChiSquareTest([this, &context] { return ChiSquare(context); }, context.tails, value,
                    tieBreak1, tieBreak2);
      break;
    case NQFSCommon::Likelihood:
      ChiSquareTest([this] { return LikelihoodRatio(); }, context.tails, value, tieBreak1,
                    tieBreak2);
      break;
    case NQFSCommon::Cramer:
      CramerV(context, value, tieBreak1);
      break;
    case NQFSCommon::Lambda:
      LambdaTargetGivenPred(value, tieBreak1);
      break;
    default:
      break;
  }
  // A cancelled table loop leaves nothing half computed.
  if (context.Cancelled()) value = tieBreak1 = tieBreak2 = extra1 = extra2 = gMissingValue;
}

bool FSCatPCatTAccum::GetStats(int criterion, const CriterionContext& context, double& a, double& b,
                               double& c, double& d) const {
  a = b = c = d = gMissingValue;
  if (criterion < NQFSCommon::Pearson || criterion > NQFSCommon::Lambda) return false;
  double value, tieBreak1, tieBreak2, extra1, extra2;
  ComputeCriterion(criterion, context, value, tieBreak1, tieBreak2, extra1, extra2);
  a = value;
  if (criterion == NQFSCommon::Pearson || criterion == NQFSCommon::Likelihood) {
    b = tieBreak1;
    c = tieBreak2;
  }
  return true;
}

void FSCatPCatTAccum::Display(std::ostream& os) const {
  os << "\nStart of FSCatPCatTAccum display\n\n";
  os << "Number of predictor categories = " << fmPredCategories.Size() << '\n';
  os << "Number of target categories = " << fmTargetCategories.Size() << '\n';
  DisplayCommon(os, "predictor category");
  os << "\nCase counts of predictor categories:\n";
  fmPredCategories.Display(os);
  os << "\nCase counts of target categories:\n";
  fmTargetCategories.Display(os);
  os << "\nCase counts of pairs of predictor and target categories:\n";
  fmPairs.Display(os);
  os << "\nEnd of FSCatPCatTAccum display\n";
}

// ---------------------------------------------------------------------------------------------
// FSCatPContTAccum

void FSCatPContTAccum::FinishPass() {
  FinishCategoryVariances(fmTargetStats);
}

void FSCatPContTAccum::ComputeCriterion(int criterion, const CriterionContext& context,
                                        double& value, double& tieBreak1, double& tieBreak2,
                                        double& extra1, double& extra2) const {
  value = tieBreak1 = tieBreak2 = extra1 = extra2 = gMissingValue;
  if (criterion != NQFSCommon::FStat && criterion != NQFSCommon::TStat) return;
  const double n = ValidWeight();
  tieBreak2 = n;
  OneWayFTest(fmTargetStats, fdTargetMean, n, context.tails, value, tieBreak1, extra1, extra2);
}

bool FSCatPContTAccum::GetStats(int criterion, const CriterionContext& context, double& a,
                                double& b, double& c, double& d) const {
  return OneWayFStats(*this, criterion, context, a, b, c, d);
}

void FSCatPContTAccum::Display(std::ostream& os) const {
  os << "\nStart of FSCatPContTAccum display\n\n";
  DisplayCommon(os, "predictor category");
  os << "Grand mean of the target = " << fdTargetMean << '\n';
  os << "Number of predictor categories = " << fmPredCategories.Size() << '\n';
  os << "\nCase counts of predictor categories:\n";
  fmPredCategories.Display(os);
  os << "\nTarget statistics for predictor categories:\n";
  fmTargetStats.Display(os);
  os << "\nEnd of FSCatPContTAccum display\n";
}
