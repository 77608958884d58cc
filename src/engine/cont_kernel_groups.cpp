// The groups of continuous predictors: the lanes' state in structure-of-arrays form, loaded from
// the accumulators when the pass begins and stored back when it ends; the kernels in
// kernel_lanes.cpp run the arithmetic of every record.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>

#include "engine/kernel_groups.h"

using fskernels::Drop;
using fskernels::kLanes;
using fskernels::kMaxTargetSlots;
using fskernels::kReferenceRefresh;
using fskernels::Padded;

namespace {

// True when columns are consecutive, so that a record's values can be copied in one piece.
bool Consecutive(const std::vector<int>& columns) {
  for (std::size_t i = 1; i < columns.size(); ++i) {
    if (columns[i] != columns[0] + static_cast<int>(i)) return false;
  }
  return true;
}

// The lane with the least missing weight: it has the valid weight that most lanes share
// (every lane without a missing value has the same one).
int ReferenceLane(const std::vector<double>& missing, int n) {
  int ref = 0;
  for (int i = 1; i < n; ++i) {
    if (missing[static_cast<std::size_t>(i)] < missing[static_cast<std::size_t>(ref)]) ref = i;
  }
  return ref;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// What both groups share.

void FSRecordKernels::LaneGroup::Init() {
  n = static_cast<int>(columns.size());
  const std::size_t size = static_cast<std::size_t>(Padded(n));
  consecutive = Consecutive(columns);
  buffer.assign(size, gMissingValue);  // lanes past the last predictor stay missing
  processed.assign(size, 0.0);
  missing.assign(size, 0.0);
  first.assign(size, gMissingValue);
  constant.assign(size, 0);
}

template <class Accum>
void FSRecordKernels::LaneGroup::LoadCommon(std::size_t i, const Accum& a) {
  processed[i] = a.fdProcessed;
  missing[i] = a.fdMissing;
  first[i] = a.fdFirstValue;
  constant[i] = a.fbConstant ? -1 : 0;
  tracking = tracking || a.fbConstant;
}

void FSRecordKernels::LaneGroup::ShareProcessed() {
  shared = true;
  for (int i = 1; i < n; ++i) {
    shared = shared && std::memcmp(&processed[static_cast<std::size_t>(i)], &processed[0],
                                   sizeof(double)) == 0;
  }
  sharedProcessed = processed[0];
}

void FSRecordKernels::LaneGroup::EndRecord(double w) {
  if (shared) sharedProcessed += w;
}

template <class Accum>
void FSRecordKernels::LaneGroup::StoreCommon(std::size_t i, Accum& a) const {
  a.fdProcessed = shared ? sharedProcessed : processed[i];
  a.fdMissing = missing[i];
  a.fdFirstValue = first[i];
  a.fbConstant = constant[i] != 0;
}

fskernels::LaneState FSRecordKernels::LaneGroup::Prepare(const double* values) {
  if (--refresh == 0) {
    refresh = kReferenceRefresh;
    ref = ReferenceLane(missing, n);
  }
  int direct = 0;
  int from = 0;
  if (consecutive) {
    direct = n / kLanes;
    from = direct * kLanes;
  }
  for (int i = from; i < n; ++i)
    buffer[static_cast<std::size_t>(i)] = values[columns[static_cast<std::size_t>(i)]];
  return fskernels::LaneState{consecutive ? values + columns[0] : nullptr,
                              buffer.data(),
                              direct,
                              Padded(n) / kLanes,
                              ref,
                              &tracking,
                              shared ? nullptr : processed.data(),
                              sharedProcessed,
                              missing.data(),
                              first.data(),
                              constant.data()};
}

// ---------------------------------------------------------------------------------------------
// Continuous predictors, continuous target.

void FSRecordKernels::ContContGroup::Load() {
  Init();
  kernel = fskernels::PickContCont();
  const std::size_t size = static_cast<std::size_t>(Padded(n));
  for (std::vector<double>* v : {&mean, &m2, &tmean, &tm2, &cross})
    v->assign(size, 0.0);
  for (std::size_t i = 0; i < accums.size(); ++i) {
    const FSContPContTAccum& a = *accums[i];
    LoadCommon(i, a);
    mean[i] = a.fdPredMean;
    m2[i] = a.fdPredSecondMoment;
    tmean[i] = a.fdTargetMean;
    tm2[i] = a.fdTargetSecondMoment;
    cross[i] = a.fdCrossProduct;
  }
  ShareProcessed();
  ref = ReferenceLane(missing, n);
}

void FSRecordKernels::ContContGroup::Store() const {
  for (std::size_t i = 0; i < accums.size(); ++i) {
    FSContPContTAccum& a = *accums[i];
    StoreCommon(i, a);
    a.fdPredMean = mean[i];
    a.fdPredSecondMoment = m2[i];
    a.fdTargetMean = tmean[i];
    a.fdTargetSecondMoment = tm2[i];
    a.fdCrossProduct = cross[i];
  }
}

bool FSRecordKernels::ContContGroup::Add(const double* values, double y, double w) {
  const fskernels::ContContLanes lanes{Prepare(values), mean.data(), m2.data(),
                                       tmean.data(),    tm2.data(),  cross.data()};
  const bool any = kernel(lanes, y, w);
  EndRecord(w);
  return any;
}

// ---------------------------------------------------------------------------------------------
// Continuous predictors, categorical target.

int FSRecordKernels::ContCatGroup::Find(int key) {
  if (key >= 0 && key < static_cast<int>(smallIndex.size())) {
    const int c = smallIndex[static_cast<std::size_t>(key)];
    if (c >= 0) return c;
  } else {
    for (std::size_t c = 0; c < categories.size(); ++c) {
      if (categories[c].key == key) return static_cast<int>(c);
    }
  }
  if (static_cast<int>(categories.size()) >= kMaxTargetSlots) return -1;
  const std::size_t size = static_cast<std::size_t>(Padded(n));
  Category c;
  c.key = key;
  c.weight.assign(size, 0.0);
  c.mean.assign(size, 0.0);
  c.sumSq.assign(size, 0.0);
  c.variance.assign(size, 0.0);
  c.present.assign(size, 0);
  categories.push_back(std::move(c));
  const int index = static_cast<int>(categories.size()) - 1;
  if (key >= 0 && key < static_cast<int>(smallIndex.size()))
    smallIndex[static_cast<std::size_t>(key)] = index;
  return index;
}

bool FSRecordKernels::ContCatGroup::Load() {
  Init();
  kernel = fskernels::PickContCat();
  smallIndex.assign(kMaxTargetSlots, -1);
  mean.assign(static_cast<std::size_t>(Padded(n)), 0.0);
  for (std::size_t i = 0; i < accums.size(); ++i) {
    const FSContPCatTAccum& a = *accums[i];
    LoadCommon(i, a);
    mean[i] = a.fdPredMean;
    int previous = 0;
    bool start = true;
    for (const std::pair<int, CategoryStat>& e : a.fmPredStats.fmTable.Entries()) {
      if (!start && e.first <= previous) return false;
      start = false;
      previous = e.first;
      const int c = Find(e.first);
      if (c < 0) return false;
      Category& cat = categories[static_cast<std::size_t>(c)];
      cat.weight[i] = e.second.weight;
      cat.mean[i] = e.second.mean;
      cat.sumSq[i] = e.second.sumSq;
      cat.variance[i] = e.second.variance;
      cat.present[i] = -1;
    }
  }
  for (FSContPCatTAccum* a : accums)
    Drop(a->fmPredStats.fmTable.MutableEntries());
  ShareProcessed();
  ref = ReferenceLane(missing, n);
  return true;
}

void FSRecordKernels::ContCatGroup::Store() {
  std::vector<std::size_t> order(categories.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [this](std::size_t a, std::size_t b) { return categories[a].key < categories[b].key; });
  for (std::size_t i = 0; i < accums.size(); ++i) {
    FSContPCatTAccum& a = *accums[i];
    StoreCommon(i, a);
    a.fdPredMean = mean[i];
    std::vector<std::pair<int, CategoryStat>>& entries = a.fmPredStats.fmTable.MutableEntries();
    std::size_t count = 0;
    for (const Category& cat : categories)
      count += cat.present[i] != 0 ? 1 : 0;
    Drop(entries);
    entries.reserve(count);
    for (std::size_t c : order) {
      const Category& cat = categories[c];
      if (cat.present[i] == 0) continue;
      CategoryStat s;
      s.weight = cat.weight[i];
      s.mean = cat.mean[i];
      s.sumSq = cat.sumSq[i];
      s.variance = cat.variance[i];
      entries.emplace_back(cat.key, s);
    }
  }
  std::vector<Category>().swap(categories);
}

bool FSRecordKernels::ContCatGroup::Add(const double* values, int category, double w) {
  Category& c = categories[static_cast<std::size_t>(category)];
  const fskernels::ContCatLanes lanes{Prepare(values), mean.data(),    c.weight.data(),
                                      c.mean.data(),   c.sumSq.data(), c.present.data()};
  const bool any = kernel(lanes, w);
  EndRecord(w);
  return any;
}
