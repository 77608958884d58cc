// The record pass's inner loop, by accumulator class (see record_kernels.h).
//
// The continuous kernels are written once with the compiler's generic vector types (four
// doubles) and compiled twice: for the portable baseline (two SSE2 halves on x86-64) and, where
// the processor has it, for AVX2. Lanes never mix: each lane runs exactly the scalar update of
// its accumulator, and lanes of missing values keep their old state by selection, not by
// arithmetic. Contraction into fused multiply-adds stays off, as everywhere in the library.
#include "engine/record_kernels.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "accum/accum_common.h"
#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/maps.h"
#include "engine/pass_util.h"
#include "fsrank/missing.h"

#define FSRANK_INLINE inline __attribute__((always_inline))
#if defined(__x86_64__) || defined(__i386__)
#define FSRANK_HAVE_AVX2_PATH 1
#define FSRANK_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace {

// ---------------------------------------------------------------------------------------------
// Four lanes of doubles, and masks of the same shape (all bits set in a lane that is true).

constexpr int kLanes = 4;
typedef double VD __attribute__((vector_size(32)));
typedef std::int64_t VI __attribute__((vector_size(32)));

FSRANK_INLINE void Load(VD& v, const double* p) {
  std::memcpy(&v, p, sizeof v);
}
FSRANK_INLINE void Load(VI& v, const std::int64_t* p) {
  std::memcpy(&v, p, sizeof v);
}
FSRANK_INLINE void Put(double* p, const VD& v) {
  std::memcpy(p, &v, sizeof v);
}
FSRANK_INLINE void Put(std::int64_t* p, const VI& v) {
  std::memcpy(p, &v, sizeof v);
}
// Lanes of a where m is set, of b elsewhere: a selection of bits, no arithmetic.
#define FSRANK_PICK(m, a, b) ((VD)(((VI)(a) & (m)) | ((VI)(b) & ~(m))))
#define FSRANK_PICK_MASK(m, a, b) (((a) & (m)) | ((b) & ~(m)))

// Whether all or any lanes of a mask are set: with the sign bits where the instruction set
// has them, lane by lane elsewhere.
struct PortableMasks {
  static FSRANK_INLINE int Bits(const VI& m) {
    return static_cast<int>((m[0] & 1) | (m[1] & 2) | (m[2] & 4) | (m[3] & 8));
  }
};
#if defined(__SSE2__)
struct Sse2Masks {
  static FSRANK_INLINE int Bits(const VI& m) {
    __m128d lo, hi;
    std::memcpy(&lo, &m, sizeof lo);
    std::memcpy(&hi, reinterpret_cast<const char*>(&m) + sizeof lo, sizeof hi);
    return _mm_movemask_pd(lo) | (_mm_movemask_pd(hi) << 2);
  }
};
using BaselineMasks = Sse2Masks;
#else
using BaselineMasks = PortableMasks;
#endif
#ifdef FSRANK_HAVE_AVX2_PATH
struct Avx2Masks {
  static FSRANK_TARGET_AVX2 FSRANK_INLINE int Bits(const VI& m) {
    __m256d v;
    std::memcpy(&v, &m, sizeof v);
    return _mm256_movemask_pd(v);
  }
};
#endif

int Padded(int n) {
  return (n + kLanes - 1) / kLanes * kLanes;
}

// What both continuous kernels share: where a block's values come from, and the per-lane
// state that does not depend on the target.
struct LaneState {
  const double* values;  // the record's values of blocks 0 to direct - 1 (consecutive columns)
  const double* buffer;  // the values of the other blocks, gathered
  int direct;
  int blocks;
  int ref;            // the lane whose valid weight gives the shared divisions
  bool* tracking;     // some lane is still constant (else constancy needs no more work)
  double* processed;  // null when every lane has the processed weight processedValue
  double processedValue;
  double* missing;
  double* first;
  std::int64_t* constant;
};

// Constancy of a block's lanes, once the kernels have run their arithmetic.
FSRANK_INLINE void TrackBlock(const LaneState& s, int o, const VD& x, const VI& valid, VI& still) {
  const VD mvv = {gMissingValue, gMissingValue, gMissingValue, gMissingValue};
  VD first;
  VI cons;
  Load(first, s.first + o);
  Load(cons, s.constant + o);
  const VI track = cons & valid;
  const VI noFirst = (VI)(first == mvv);
  const VI compare = track & ~noFirst;
  const VI next = FSRANK_PICK_MASK(compare, (VI)(x == first), cons);
  Put(s.first + o, FSRANK_PICK(track & noFirst, x, first));
  Put(s.constant + o, next);
  still |= next;
}

// ---------------------------------------------------------------------------------------------
// The lanes of the two kernels (the kernels themselves are in record_lanes.inc).

// Continuous predictor, continuous target: the state of FSContPContTAccum.
struct ContContLanes {
  LaneState s;
  double* mean;
  double* m2;
  double* tmean;
  double* tm2;
  double* cross;
};

// Continuous predictor, categorical target: the state of FSContPCatTAccum; the statistics of
// the record's target category sit in one array per category.
struct ContCatLanes {
  LaneState s;
  double* mean;
  double* cw;  // the target category's weight, mean and sum of squares per lane
  double* cmean;
  double* csum;
  std::int64_t* present;  // the lane's map has the category
};

// The two compilations of the kernels.
using ContContFn = bool (*)(const ContContLanes&, double, double);
using ContCatFn = bool (*)(const ContCatLanes&, double);

namespace baseline {
using Masks = BaselineMasks;
#include "engine/record_lanes.inc"
}  // namespace baseline

#ifdef FSRANK_HAVE_AVX2_PATH
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {
using Masks = Avx2Masks;
#include "engine/record_lanes.inc"
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

#undef FSRANK_PICK
#undef FSRANK_PICK_MASK

bool CpuHasAvx2() {
#ifdef FSRANK_HAVE_AVX2_PATH
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

std::atomic<int>& ChosenIsa() {
  static std::atomic<int> isa(static_cast<int>(FSRecordKernels::BestIsa()));
  return isa;
}

bool UsingAvx2() {
  return ChosenIsa().load(std::memory_order_relaxed) ==
         static_cast<int>(FSRecordKernels::Isa::Avx2);
}

ContContFn PickContCont() {
#ifdef FSRANK_HAVE_AVX2_PATH
  if (UsingAvx2()) return avx2::ContCont;
#endif
  return baseline::ContCont;
}

ContCatFn PickContCat() {
#ifdef FSRANK_HAVE_AVX2_PATH
  if (UsingAvx2()) return avx2::ContCat;
#endif
  return baseline::ContCat;
}

// ---------------------------------------------------------------------------------------------
// Shared pieces of the lane groups.

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

// How often the reference lane is chosen again, in records.
constexpr int kReferenceRefresh = 1024;

// ---------------------------------------------------------------------------------------------
// Dense category tables of the categorical predictors.

constexpr int kMaxDenseCategory = 4096;  // predictor categories 0 to 4095
constexpr int kMaxDenseTarget = 256;     // target categories 0 to 255
constexpr int kMaxDenseCells = 1 << 14;  // cells of a predictor's pair rows
constexpr int kMaxTargetSlots = 256;     // target categories of the continuous predictors

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

// The tables hold a map's entries while the pass runs; the map itself keeps no storage then.
template <class Entry>
void Drop(std::vector<Entry>& entries) {
  std::vector<Entry>().swap(entries);
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

bool IsInvalid(double x, bool categorical) {
  return NQMV::IsMissing(x) || (categorical && fsengine::TruncatesToMinusOne(x));
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
// What the two groups of continuous predictors share: the columns, the lanes' state that does
// not depend on the target, and the choice of the reference lane.

struct FSRecordKernels::LaneGroup {
  std::vector<int> columns;
  bool consecutive = false;
  int n = 0;
  int ref = 0;
  int refresh = kReferenceRefresh;
  bool tracking = false;
  bool shared = true;            // every lane began with the same processed weight: the
  double sharedProcessed = 0.0;  // lanes add w to it at every record, so they keep sharing it
  std::vector<double> buffer, processed, missing, first;
  std::vector<std::int64_t> constant;

  void Init() {
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
  void LoadCommon(std::size_t i, const Accum& a) {
    processed[i] = a.fdProcessed;
    missing[i] = a.fdMissing;
    first[i] = a.fdFirstValue;
    constant[i] = a.fbConstant ? -1 : 0;
    tracking = tracking || a.fbConstant;
  }

  // After LoadCommon of every lane.
  void ShareProcessed() {
    shared = true;
    for (int i = 1; i < n; ++i) {
      shared = shared && std::memcmp(&processed[static_cast<std::size_t>(i)], &processed[0],
                                     sizeof(double)) == 0;
    }
    sharedProcessed = processed[0];
  }

  // After every record.
  void EndRecord(double w) {
    if (shared) sharedProcessed += w;
  }

  template <class Accum>
  void StoreCommon(std::size_t i, Accum& a) const {
    a.fdProcessed = shared ? sharedProcessed : processed[i];
    a.fdMissing = missing[i];
    a.fdFirstValue = first[i];
    a.fbConstant = constant[i] != 0;
  }

  // The lanes for one record: the values of consecutive columns are read in place, the others
  // gathered.
  LaneState Prepare(const double* values) {
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
    return LaneState{consecutive ? values + columns[0] : nullptr,
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
};

// ---------------------------------------------------------------------------------------------
// Continuous predictors, continuous target.

struct FSRecordKernels::ContContGroup : FSRecordKernels::LaneGroup {
  std::vector<FSContPContTAccum*> accums;
  ContContFn kernel = baseline::ContCont;
  std::vector<double> mean, m2, tmean, tm2, cross;

  void Load() {
    Init();
    kernel = PickContCont();
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

  void Store() const {
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

  bool Add(const double* values, double y, double w) {
    const ContContLanes lanes{Prepare(values), mean.data(), m2.data(),
                              tmean.data(),    tm2.data(),  cross.data()};
    const bool any = kernel(lanes, y, w);
    EndRecord(w);
    return any;
  }
};

// ---------------------------------------------------------------------------------------------
// Continuous predictors, categorical target.

struct FSRecordKernels::ContCatGroup : FSRecordKernels::LaneGroup {
  // The statistics of one target category, one lane per predictor.
  struct Category {
    int key;
    std::vector<double> weight, mean, sumSq, variance;
    std::vector<std::int64_t> present;
  };

  std::vector<FSContPCatTAccum*> accums;
  ContCatFn kernel = baseline::ContCat;
  std::vector<double> mean;
  std::vector<Category> categories;
  std::vector<int> smallIndex;  // category of keys 0 to 255, -1 while there is none

  // The index of key's category, created when new; -1 when there are too many.
  int Find(int key) {
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

  // False when the accumulators' maps cannot be held here (nothing changed in them).
  bool Load() {
    Init();
    kernel = PickContCat();
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

  // Writes the state back and frees the category arrays: the group is done.
  void Store() {
    std::vector<std::size_t> order(categories.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
      return categories[a].key < categories[b].key;
    });
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

  bool Add(const double* values, int category, double w) {
    Category& c = categories[static_cast<std::size_t>(category)];
    const ContCatLanes lanes{Prepare(values), mean.data(),    c.weight.data(),
                             c.mean.data(),   c.sumSq.data(), c.present.data()};
    const bool any = kernel(lanes, w);
    EndRecord(w);
    return any;
  }
};

// ---------------------------------------------------------------------------------------------
// What the two groups of categorical predictors share. A slot keeps its predictor's counts and
// flags itself while the pass runs. Two quantities are the group's: every predictor adds w to
// its processed weight at every record, valid or missing, so predictors that began the pass
// with the same weight keep the same running sum; and the number of valid values of a
// predictor is the number of records less its missing values.

struct FSRecordKernels::CatSlot {
  // What the loop reads for every value.
  double limit = 0.0;  // values in (-1, limit) truncate to a dense category
  int column = 0;
  int first = -1;
  bool constant = true;
  // The rest.
  int capacity = 0;  // dense categories 0 to capacity - 1
  double missing = 0.0;
  long long missingCount = 0;  // missing values in this pass
  int validBefore = 0;         // the unweighted valid count when the pass began
  double processed = 0.0;      // the processed weight, when it is not the group's

  template <class Accum>
  void LoadCommon(int col, const Accum& a) {
    column = col;
    constant = a.fbConstant;
    first = a.fnFirstCategory;
    missing = a.fdMissing;
    validBefore = a.fnUnweightedValid;
    processed = a.fdProcessed;
  }
};

struct FSRecordKernels::CatGroup {
  long long records = 0;   // records added in this pass
  bool shared = true;      // every slot began with the same processed weight
  double processed = 0.0;  // that weight, running

  template <class Slot>
  void ShareProcessed(const std::vector<Slot>& slots) {
    shared = true;
    for (const Slot& s : slots)
      shared = shared && std::memcmp(&s.processed, &slots[0].processed, sizeof(double)) == 0;
    if (!slots.empty()) processed = slots[0].processed;
  }

  template <class Accum>
  void StoreCommon(const CatSlot& s, Accum& a) const {
    a.fdProcessed = shared ? processed : s.processed;
    a.fdMissing = s.missing;
    a.fnFirstCategory = s.first;
    a.fbConstant = s.constant;
    a.fnUnweightedValid = static_cast<int>(s.validBefore + (records - s.missingCount));
  }

  // The end of a record for every slot.
  template <class Slot>
  void EndRecord(std::vector<Slot>& slots, double w) {
    ++records;
    if (shared) {
      processed += w;
    } else {
      for (Slot& s : slots)
        s.processed += w;
    }
  }

  // Hands slot i back to its accumulator and to the generic loop.
  template <class Group, class Slot>
  static void Release(Group& group, std::vector<Slot>& slots, std::size_t i,
                      std::vector<Predictor>& generic) {
    group.Store(slots[i]);
    generic.push_back({slots[i].accum, slots[i].column, true});
    slots[i] = std::move(slots.back());
    slots.pop_back();
  }
};

// ---------------------------------------------------------------------------------------------
// Categorical predictors, categorical target. A slot's tables lie in one array: the target
// categories, then one row per predictor category holding the predictor category's weight and
// its pairs with the target categories (1 + targetCapacity cells a row).

struct FSRecordKernels::CatCatGroup : FSRecordKernels::CatGroup {
  struct Slot : CatSlot {
    FSCatPCatTAccum* accum = nullptr;
    double* target = nullptr;  // into cells
    double* rows = nullptr;
    std::vector<double> cells;
  };

  std::vector<Slot> slots;
  int targetCapacity = 1;

  int Width() const { return 1 + targetCapacity; }

  // Gives s room for capacity predictor and tcap target categories, keeping its counts (laid
  // out for oldTcap target categories).
  static void Resize(Slot& s, int capacity, int oldTcap, int tcap) {
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

  static bool Fits(int capacity, int tcap) { return capacity * (1 + tcap) <= kMaxDenseCells; }

  // Takes every accumulator whose maps can be held densely; the rest go to generic.
  void Load(const std::vector<Predictor>& predictors, std::vector<Predictor>& generic) {
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

  void Store(const Slot& s) const {
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

  // Writes every slot back, freeing each table once written: the group is done.
  void Store() {
    for (Slot& s : slots) {
      Store(s);
      Drop(s.cells);
    }
  }

  // Makes room for target category u; the slots that cannot follow are released.
  void PrepareTarget(int u, std::vector<Predictor>& generic) {
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

  // Makes room for predictor category p in s; false when p is out of the dense range.
  bool Grow(Slot& s, int p) const {
    if (p < 0 || p >= kMaxDenseCategory) return false;
    const int capacity = std::min(Grown(s.capacity, p + 1), kMaxDenseCategory);
    if (!Fits(capacity, targetCapacity)) return false;
    Resize(s, capacity, targetCapacity, targetCapacity);
    return true;
  }

  bool Add(const double* values, double t, int u, double w, std::vector<Predictor>& generic) {
    bool any = false;
    const int width = Width();
    for (std::size_t i = 0; i < slots.size();) {
      Slot& s = slots[i];
      const double x = values[s.column];
      int p;
      const DenseValue kind = ClassifyDense(s, x, w, p);
      if (kind == DenseValue::kMissing) {
        ++i;
        continue;
      }
      if (kind == DenseValue::kOutside && !Grow(s, p)) {
        FSCatPCatTAccum* a = s.accum;
        Release(*this, slots, i, generic);
        a->AddValue(x, t, w, 1);
        any = true;
        continue;
      }
      any = true;
      TrackConstantCategory(s.constant, s.first, p);
      double* row = s.rows + p * width;
      row[0] += w;
      row[1 + u] += w;
      s.target[u] += w;
      ++i;
    }
    EndRecord(slots, w);
    return any;
  }
};

// ---------------------------------------------------------------------------------------------
// Categorical predictors, continuous target: predictor weights and the target's statistics
// indexed by predictor category.

struct FSRecordKernels::CatContGroup : FSRecordKernels::CatGroup {
  // A predictor category's weight and the target's statistics in it (absent: weight 0).
  struct Row {
    double pred = 0.0;
    CategoryStat stat;
  };
  struct Slot : CatSlot {
    FSCatPContTAccum* accum = nullptr;
    double targetMean = 0.0;
    std::vector<Row> rows;
  };

  std::vector<Slot> slots;

  void Load(const std::vector<Predictor>& predictors, std::vector<Predictor>& generic) {
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

  void Store(const Slot& s) const {
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

  // Writes every slot back, freeing each table once written: the group is done.
  void Store() {
    for (Slot& s : slots) {
      Store(s);
      Drop(s.rows);
    }
  }

  static bool Grow(Slot& s, int p) {
    if (p < 0 || p >= kMaxDenseCategory) return false;
    s.capacity = std::min(Grown(s.capacity, p + 1), kMaxDenseCategory);
    s.limit = s.capacity;
    s.rows.resize(static_cast<std::size_t>(s.capacity), Row());
    return true;
  }

  bool Add(const double* values, double y, double w, std::vector<Predictor>& generic) {
    bool any = false;
    const bool unit = w == 1.0;
    // w / (W + w) for the last valid weight W seen in this record.
    bool cached = false;
    double cachedValid = 0.0;
    double cachedG = 0.0;
    for (std::size_t i = 0; i < slots.size();) {
      Slot& s = slots[i];
      const double x = values[s.column];
      int p;
      const DenseValue kind = ClassifyDense(s, x, w, p);
      if (kind == DenseValue::kMissing) {
        ++i;
        continue;
      }
      if (kind == DenseValue::kOutside && !Grow(s, p)) {
        FSCatPContTAccum* a = s.accum;
        Release(*this, slots, i, generic);
        a->AddValue(x, y, w, 1);
        any = true;
        continue;
      }
      any = true;
      TrackConstantCategory(s.constant, s.first, p);
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
      ++i;
    }
    EndRecord(slots, w);
    return any;
  }
};

// ---------------------------------------------------------------------------------------------

FSRecordKernels::Isa FSRecordKernels::BestIsa() {
  static const bool avx2 = CpuHasAvx2();
  return avx2 ? Isa::Avx2 : Isa::Baseline;
}

bool FSRecordKernels::UseIsa(Isa isa) {
  if (isa == Isa::Avx2 && BestIsa() != Isa::Avx2) return false;
  ChosenIsa().store(static_cast<int>(isa), std::memory_order_relaxed);
  return true;
}

FSRecordKernels::FSRecordKernels(const std::vector<Predictor>& predictors) {
  auto contCont = std::make_unique<ContContGroup>();
  auto contCat = std::make_unique<ContCatGroup>();
  std::vector<Predictor> catCat, catCont;
  for (const Predictor& p : predictors) {
    IFSPredTargetAccum* a = p.accum;
    if (!p.categorical) {
      if (auto* cc = dynamic_cast<FSContPContTAccum*>(a)) {
        contCont->accums.push_back(cc);
        contCont->columns.push_back(p.column);
        continue;
      }
      if (auto* ct = dynamic_cast<FSContPCatTAccum*>(a)) {
        contCat->accums.push_back(ct);
        contCat->columns.push_back(p.column);
        continue;
      }
    } else {
      if (dynamic_cast<FSCatPCatTAccum*>(a) != nullptr) {
        catCat.push_back(p);
        continue;
      }
      if (dynamic_cast<FSCatPContTAccum*>(a) != nullptr) {
        catCont.push_back(p);
        continue;
      }
    }
    fvGeneric.push_back(p);
  }
  if (!contCont->accums.empty()) {
    contCont->Load();
    fpContCont = std::move(contCont);
  }
  if (!contCat->accums.empty()) {
    if (contCat->Load()) {
      fpContCat = std::move(contCat);
    } else {
      for (std::size_t i = 0; i < contCat->accums.size(); ++i)
        fvGeneric.push_back({contCat->accums[i], contCat->columns[i], false});
    }
  }
  if (!catCat.empty()) {
    fpCatCat = std::make_unique<CatCatGroup>();
    fpCatCat->Load(catCat, fvGeneric);
  }
  if (!catCont.empty()) {
    fpCatCont = std::make_unique<CatContGroup>();
    fpCatCont->Load(catCont, fvGeneric);
  }
}

FSRecordKernels::~FSRecordKernels() = default;

bool FSRecordKernels::AddGeneric(const double* values, double target, double w) {
  bool any = false;
  for (const Predictor& p : fvGeneric) {
    const double x = values[p.column];
    if (IsInvalid(x, p.categorical)) {
      p.accum->AddMissing(w);
    } else {
      any = true;
      p.accum->AddValue(x, target, w, 1);
    }
  }
  return any;
}

bool FSRecordKernels::AddRecord(const double* values, double target, double w) {
  bool any = false;
  // Groups that cannot take this record's target category hand their predictors over first,
  // so that the generic loop below feeds them this record.
  int category = 0;
  int contCatIndex = -1;
  if (fpContCat != nullptr || fpCatCat != nullptr) {
    category = TruncateToCategory(target);
    if (fpContCat != nullptr) {
      contCatIndex = fpContCat->Find(category);
      if (contCatIndex < 0) {
        fpContCat->Store();
        for (std::size_t i = 0; i < fpContCat->accums.size(); ++i)
          fvGeneric.push_back({fpContCat->accums[i], fpContCat->columns[i], false});
        fpContCat.reset();
      }
    }
    if (fpCatCat != nullptr) fpCatCat->PrepareTarget(category, fvGeneric);
  }

  if (!fvGeneric.empty()) any = AddGeneric(values, target, w);
  if (fpContCont != nullptr) any = fpContCont->Add(values, target, w) || any;
  if (fpContCat != nullptr) any = fpContCat->Add(values, contCatIndex, w) || any;
  if (fpCatCat != nullptr) any = fpCatCat->Add(values, target, category, w, fvGeneric) || any;
  if (fpCatCont != nullptr) any = fpCatCont->Add(values, target, w, fvGeneric) || any;
  return any;
}

void FSRecordKernels::Flush() {
  if (fpContCont != nullptr) fpContCont->Store();
  if (fpContCat != nullptr) fpContCat->Store();
  if (fpCatCat != nullptr) fpCatCat->Store();
  if (fpCatCont != nullptr) fpCatCont->Store();
  fpContCont.reset();
  fpContCat.reset();
  fpCatCat.reset();
  fpCatCont.reset();
  fvGeneric.clear();
}
