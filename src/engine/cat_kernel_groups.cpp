// The groups of categorical predictors: dense category tables indexed by category in place of
// the accumulators' sorted maps while the pass runs, turned back into the maps when it ends or
// when a predictor's categories leave the dense range.
#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/kernel_groups.h"

using fskernels::Drop;
using fskernels::IsInvalid;

namespace {

constexpr int kMaxDenseCategory = 4096;  // predictor categories 0 to 4095
constexpr int kMaxDenseTarget = 256;     // target categories 0 to 255
constexpr int kMaxDenseCells = 1 << 14;  // cells of a predictor's pair rows

// Room for categories 0 to needed - 1, growing by a quarter at least: the tables stay close to
// the categories in use (they are what the loop walks through), and grow seldom.
int Grown(int current, int needed) {
  return std::max({needed, current + current / 4, 1});
}

// A count map can be held densely when its keys ascend within [0, limit) and every weight is
// positive (a positive weight is what tells a present category from an absent one).
bool DenseCounts(const std::vector<std::pair<int, double>>& entries, int limit, int& end) {
  int previous = -1;
  for (const std::pair<int, double>& e : entries) {
    if (e.first <= previous || e.first >= limit || !(e.second > 0.0)) return false;
    previous = e.first;
  }
  end = previous + 1;
  return true;
}

bool DensePairs(const std::vector<std::pair<std::pair<int, int>, double>>& entries, int& end,
                int& targetEnd) {
  std::pair<int, int> previous(-1, -1);
  for (const std::pair<std::pair<int, int>, double>& e : entries) {
    const std::pair<int, int>& k = e.first;
    if (!(previous < k) || k.first < 0 || k.first >= kMaxDenseCategory || k.second < 0 ||
        k.second >= kMaxDenseTarget || !(e.second > 0.0)) {
      return false;
    }
    previous = k;
    end = std::max(end, k.first + 1);
    targetEnd = std::max(targetEnd, k.second + 1);
  }
  return true;
}

bool DenseStats(const std::vector<std::pair<int, CategoryStat>>& entries, int& end) {
  int previous = -1;
  for (const std::pair<int, CategoryStat>& e : entries) {
    if (e.first <= previous || e.first >= kMaxDenseCategory || !(e.second.weight > 0.0)) {
      return false;
    }
    previous = e.first;
  }
  end = previous + 1;
  return true;
}

// Replaces entries by the categories of a dense count table (every stride-th cell), exactly
// sized.
void StoreCounts(const double* dense, int size, int stride,
                 std::vector<std::pair<int, double>>& entries) {
  std::size_t count = 0;
  for (int k = 0; k < size; ++k)
    count += dense[k * stride] > 0.0 ? 1 : 0;
  Drop(entries);
  entries.reserve(count);
  for (int k = 0; k < size; ++k) {
    if (dense[k * stride] > 0.0) entries.emplace_back(k, dense[k * stride]);
  }
}

// How a categorical value meets a dense category table: a category inside the table (the common
// case, one range test), a missing or invalid value (counted on the slot), or a category
// outside the table that the caller must grow the table for or hand to the accumulator.
enum class DenseValue { kInside, kMissing, kOutside };

template <class Slot>
DenseValue ClassifyDense(Slot& s, double x, double w, int& p) {
  if (x > -1.0 && x < s.limit) {
    p = static_cast<int>(x);
    return DenseValue::kInside;
  }
  if (IsInvalid(x, true)) {
    s.missing += w;
    ++s.missingCount;
    return DenseValue::kMissing;
  }
  p = TruncateToCategory(x);
  return DenseValue::kOutside;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// What both groups share.

template <class Accum>
void FSRecordKernels::CatSlot::LoadCommon(int col, const Accum& a) {
  column = col;
  constant = a.fbConstant;
  first = a.fnFirstCategory;
  missing = a.fdMissing;
  validBefore = a.fnUnweightedValid;
  processed = a.fdProcessed;
}

template <class Slot>
void FSRecordKernels::CatGroup::ShareProcessed(const std::vector<Slot>& slots) {
  shared = true;
  for (const Slot& s : slots)
    shared = shared && std::memcmp(&s.processed, &slots[0].processed, sizeof(double)) == 0;
  if (!slots.empty()) processed = slots[0].processed;
}

template <class Accum>
void FSRecordKernels::CatGroup::StoreCommon(const CatSlot& s, Accum& a) const {
  a.fdProcessed = shared ? processed : s.processed;
  a.fdMissing = s.missing;
  a.fnFirstCategory = s.first;
  a.fbConstant = s.constant;
  a.fnUnweightedValid = static_cast<int>(s.validBefore + (records - s.missingCount));
}

template <class Slot>
void FSRecordKernels::CatGroup::EndRecord(std::vector<Slot>& slots, double w) {
  ++records;
  if (shared) {
    processed += w;
  } else {
    for (Slot& s : slots)
      s.processed += w;
  }
}

template <class Group, class Slot>
void FSRecordKernels::CatGroup::Release(Group& group, std::vector<Slot>& slots, std::size_t i,
                                        std::vector<Predictor>& generic) {
  group.Store(slots[i]);
  generic.push_back({slots[i].accum, slots[i].column, true});
  slots[i] = std::move(slots.back());
  slots.pop_back();
}

template <class Group, class Add>
bool FSRecordKernels::CatGroup::AddRecord(Group& group, const double* values, double target,
                                          double w, std::vector<Predictor>& generic, Add add) {
  bool any = false;
  for (std::size_t i = 0; i < group.slots.size();) {
    auto& s = group.slots[i];
    const double x = values[s.column];
    int p;
    const DenseValue kind = ClassifyDense(s, x, w, p);
    if (kind == DenseValue::kMissing) {
      ++i;
      continue;
    }
    if (kind == DenseValue::kOutside && !group.Grow(s, p)) {
      auto* a = s.accum;
      Release(group, group.slots, i, generic);
      a->AddValue(x, target, w, 1);
      any = true;
      continue;
    }
    any = true;
    TrackConstantCategory(s.constant, s.first, p);
    add(s, p);
    ++i;
  }
  group.EndRecord(group.slots, w);
  return any;
}

// ---------------------------------------------------------------------------------------------
// Categorical predictors, categorical target.

void FSRecordKernels::CatCatGroup::Resize(Slot& s, int capacity, int oldTcap, int tcap) {
  std::vector<double> cells(static_cast<std::size_t>(tcap + capacity * (1 + tcap)), 0.0);
  double* target = cells.data();
  double* rows = target + tcap;
  if (!s.cells.empty()) {
    std::copy(s.target, s.target + oldTcap, target);
    for (int p = 0; p < s.capacity; ++p) {
      const double* from = s.rows + p * (1 + oldTcap);
      std::copy(from, from + 1 + oldTcap, rows + p * (1 + tcap));
    }
  }
  s.cells.swap(cells);
  s.capacity = capacity;
  s.limit = capacity;
  s.target = target;
  s.rows = rows;
}

bool FSRecordKernels::CatCatGroup::Fits(int capacity, int tcap) {
  return capacity * (1 + tcap) <= kMaxDenseCells;
}

void FSRecordKernels::CatCatGroup::Load(const std::vector<Predictor>& predictors,
                                        std::vector<Predictor>& generic) {
  std::vector<std::pair<Predictor, int>> dense;  // with the end of its predictor categories
  int targetEnd = 0;
  for (const Predictor& p : predictors) {
    const FSCatPCatTAccum& a = *static_cast<const FSCatPCatTAccum*>(p.accum);
    int predEnd = 0, tEnd = 0, pairEnd = 0, pairTargetEnd = 0;
    if (DenseCounts(a.fmPredCategories.fmTable.Entries(), kMaxDenseCategory, predEnd) &&
        DenseCounts(a.fmTargetCategories.fmTable.Entries(), kMaxDenseTarget, tEnd) &&
        DensePairs(a.fmPairs.fmTable.Entries(), pairEnd, pairTargetEnd)) {
      dense.emplace_back(p, std::max(predEnd, pairEnd));
      targetEnd = std::max({targetEnd, tEnd, pairTargetEnd});
    } else {
      generic.push_back(p);
    }
  }
  targetCapacity = std::max(targetEnd, 1);
  for (const std::pair<Predictor, int>& d : dense) {
    const int capacity = std::max(d.second, 1);
    if (!Fits(capacity, targetCapacity)) {
      generic.push_back(d.first);
      continue;
    }
    Slot s;
    s.accum = static_cast<FSCatPCatTAccum*>(d.first.accum);
    s.LoadCommon(d.first.column, *s.accum);
    Resize(s, capacity, 0, targetCapacity);
    const int width = Width();
    for (const std::pair<int, double>& e : s.accum->fmPredCategories.fmTable.Entries())
      s.rows[e.first * width] = e.second;
    for (const std::pair<int, double>& e : s.accum->fmTargetCategories.fmTable.Entries())
      s.target[e.first] = e.second;
    for (const std::pair<std::pair<int, int>, double>& e : s.accum->fmPairs.fmTable.Entries())
      s.rows[e.first.first * width + 1 + e.first.second] = e.second;
    Drop(s.accum->fmPredCategories.fmTable.MutableEntries());
    Drop(s.accum->fmTargetCategories.fmTable.MutableEntries());
    Drop(s.accum->fmPairs.fmTable.MutableEntries());
    slots.push_back(std::move(s));
  }
  ShareProcessed(slots);
}

void FSRecordKernels::CatCatGroup::Store(const Slot& s) const {
  StoreCommon(s, *s.accum);
  const int width = Width();
  StoreCounts(s.rows, s.capacity, width, s.accum->fmPredCategories.fmTable.MutableEntries());
  StoreCounts(s.target, targetCapacity, 1, s.accum->fmTargetCategories.fmTable.MutableEntries());
  std::vector<std::pair<std::pair<int, int>, double>>& pairs =
      s.accum->fmPairs.fmTable.MutableEntries();
  std::size_t count = 0;
  for (int p = 0; p < s.capacity; ++p) {
    for (int u = 0; u < targetCapacity; ++u)
      count += s.rows[p * width + 1 + u] > 0.0 ? 1 : 0;
  }
  Drop(pairs);
  pairs.reserve(count);
  for (int p = 0; p < s.capacity; ++p) {
    for (int u = 0; u < targetCapacity; ++u) {
      const double weight = s.rows[p * width + 1 + u];
      if (weight > 0.0) pairs.emplace_back(std::make_pair(p, u), weight);
    }
  }
}

void FSRecordKernels::CatCatGroup::Store() {
  for (Slot& s : slots) {
    Store(s);
    Drop(s.cells);
  }
}

void FSRecordKernels::CatCatGroup::PrepareTarget(int u, std::vector<Predictor>& generic) {
  if (u >= 0 && u < targetCapacity) return;
  if (u < 0 || u >= kMaxDenseTarget) {
    while (!slots.empty())
      Release(*this, slots, slots.size() - 1, generic);
    return;
  }
  const int tcap = std::min(Grown(targetCapacity, u + 1), kMaxDenseTarget);
  for (std::size_t i = 0; i < slots.size();) {
    if (!Fits(slots[i].capacity, tcap)) {
      Release(*this, slots, i, generic);
      continue;
    }
    Resize(slots[i], slots[i].capacity, targetCapacity, tcap);
    ++i;
  }
  targetCapacity = tcap;
}

bool FSRecordKernels::CatCatGroup::Grow(Slot& s, int p) const {
  if (p < 0 || p >= kMaxDenseCategory) return false;
  const int capacity = std::min(Grown(s.capacity, p + 1), kMaxDenseCategory);
  if (!Fits(capacity, targetCapacity)) return false;
  Resize(s, capacity, targetCapacity, targetCapacity);
  return true;
}

bool FSRecordKernels::CatCatGroup::Add(const double* values, double t, int u, double w,
                                       std::vector<Predictor>& generic) {
  const int width = Width();
  return AddRecord(*this, values, t, w, generic, [&](Slot& s, int p) {
    double* row = s.rows + p * width;
    row[0] += w;
    row[1 + u] += w;
    s.target[u] += w;
  });
}
// ---------------------------------------------------------------------------------------------
// Categorical predictors, continuous target.

void FSRecordKernels::CatContGroup::Load(const std::vector<Predictor>& predictors,
                                         std::vector<Predictor>& generic) {
  for (const Predictor& p : predictors) {
    FSCatPContTAccum* a = static_cast<FSCatPContTAccum*>(p.accum);
    int predEnd = 0, statEnd = 0;
    if (!DenseCounts(a->fmPredCategories.fmTable.Entries(), kMaxDenseCategory, predEnd) ||
        !DenseStats(a->fmTargetStats.fmTable.Entries(), statEnd)) {
      generic.push_back(p);
      continue;
    }
    Slot s;
    s.accum = a;
    s.LoadCommon(p.column, *a);
    s.targetMean = a->fdTargetMean;
    s.capacity = std::max({predEnd, statEnd, 1});
    s.limit = s.capacity;
    s.rows.assign(static_cast<std::size_t>(s.capacity), Row());
    for (const std::pair<int, double>& e : a->fmPredCategories.fmTable.Entries())
      s.rows[static_cast<std::size_t>(e.first)].pred = e.second;
    for (const std::pair<int, CategoryStat>& e : a->fmTargetStats.fmTable.Entries())
      s.rows[static_cast<std::size_t>(e.first)].stat = e.second;
    Drop(a->fmPredCategories.fmTable.MutableEntries());
    Drop(a->fmTargetStats.fmTable.MutableEntries());
    slots.push_back(std::move(s));
  }
  ShareProcessed(slots);
}

void FSRecordKernels::CatContGroup::Store(const Slot& s) const {
  StoreCommon(s, *s.accum);
  s.accum->fdTargetMean = s.targetMean;
  std::vector<std::pair<int, double>>& pred = s.accum->fmPredCategories.fmTable.MutableEntries();
  std::vector<std::pair<int, CategoryStat>>& stats =
      s.accum->fmTargetStats.fmTable.MutableEntries();
  std::size_t predCount = 0, statCount = 0;
  for (const Row& r : s.rows) {
    predCount += r.pred > 0.0 ? 1 : 0;
    statCount += r.stat.weight > 0.0 ? 1 : 0;
  }
  Drop(pred);
  Drop(stats);
  pred.reserve(predCount);
  stats.reserve(statCount);
  for (std::size_t k = 0; k < s.rows.size(); ++k) {
    const Row& r = s.rows[k];
    if (r.pred > 0.0) pred.emplace_back(static_cast<int>(k), r.pred);
    if (r.stat.weight > 0.0) stats.emplace_back(static_cast<int>(k), r.stat);
  }
}

void FSRecordKernels::CatContGroup::Store() {
  for (Slot& s : slots) {
    Store(s);
    Drop(s.rows);
  }
}

bool FSRecordKernels::CatContGroup::Grow(Slot& s, int p) {
  if (p < 0 || p >= kMaxDenseCategory) return false;
  s.capacity = std::min(Grown(s.capacity, p + 1), kMaxDenseCategory);
  s.limit = s.capacity;
  s.rows.resize(static_cast<std::size_t>(s.capacity), Row());
  return true;
}

bool FSRecordKernels::CatContGroup::Add(const double* values, double y, double w,
                                        std::vector<Predictor>& generic) {
  const bool unit = w == 1.0;
  // w / (W + w) for the last valid weight W seen in this record.
  bool cached = false;
  double cachedValid = 0.0;
  double cachedG = 0.0;
  return AddRecord(*this, values, y, w, generic, [&](Slot& s, int p) {
    Row& row = s.rows[static_cast<std::size_t>(p)];
    row.pred += w;
    CategoryStat& stat = row.stat;
    if (stat.weight > 0.0) {
      AddToCategoryStat(stat, y, w, unit);
    } else {
      stat.weight = w;
      stat.mean = y;
      stat.sumSq = 0.0;
      stat.variance = 0.0;
    }
    const double valid = (shared ? processed : s.processed) - s.missing;
    if (!cached || !(valid == cachedValid)) {
      cached = true;
      cachedValid = valid;
      cachedG = w / (valid + w);
    }
    s.targetMean = cachedG * (y - s.targetMean) + s.targetMean;
  });
}
