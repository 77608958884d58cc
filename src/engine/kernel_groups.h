// The predictor groups of the record kernels (see record_kernels.h): each holds the state of its
// accumulators in a layout made for the loop while the pass runs. The continuous groups are in
// cont_kernel_groups.cpp, the categorical ones in cat_kernel_groups.cpp; record_kernels.cpp
// sorts the predictors into them and feeds them records.
#ifndef FSRANK_ENGINE_KERNEL_GROUPS_H
#define FSRANK_ENGINE_KERNEL_GROUPS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "accum/accum_common.h"
#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/maps.h"
#include "engine/kernel_lanes.h"
#include "engine/pass_util.h"
#include "engine/record_kernels.h"
#include "fsrank/missing.h"

namespace fskernels {

// How often the reference lane is chosen again, in records.
constexpr int kReferenceRefresh = 1024;

// Target categories of the continuous predictors that the group holds before handing its
// predictors to the generic loop.
constexpr int kMaxTargetSlots = 256;

// The tables hold a map's entries while the pass runs; the map itself keeps no storage then.
template <class Entry>
void Drop(std::vector<Entry>& entries) {
  std::vector<Entry>().swap(entries);
}

inline bool IsInvalid(double x, bool categorical) {
  return NQMV::IsMissing(x) || (categorical && fsengine::TruncatesToMinusOne(x));
}

}  // namespace fskernels

// ---------------------------------------------------------------------------------------------
// What the two groups of continuous predictors share: the columns, the lanes' state that does
// not depend on the target, and the choice of the reference lane.

struct FSRecordKernels::LaneGroup {
  std::vector<int> columns;
  bool consecutive = false;
  int n = 0;
  int ref = 0;
  int refresh = fskernels::kReferenceRefresh;
  bool tracking = false;
  bool shared = true;            // every lane began with the same processed weight: the
  double sharedProcessed = 0.0;  // lanes add w to it at every record, so they keep sharing it
  std::vector<double> buffer, processed, missing, first;
  std::vector<std::int64_t> constant;

  void Init();
  template <class Accum>
  void LoadCommon(std::size_t i, const Accum& a);
  // After LoadCommon of every lane.
  void ShareProcessed();
  // After every record.
  void EndRecord(double w);
  template <class Accum>
  void StoreCommon(std::size_t i, Accum& a) const;
  // The lanes for one record: the values of consecutive columns are read in place, the others
  // gathered.
  fskernels::LaneState Prepare(const double* values);
};

// Continuous predictors, continuous target.
struct FSRecordKernels::ContContGroup : FSRecordKernels::LaneGroup {
  std::vector<FSContPContTAccum*> accums;
  fskernels::ContContFn kernel = nullptr;
  std::vector<double> mean, m2, tmean, tm2, cross;

  void Load();
  void Store() const;
  bool Add(const double* values, double y, double w);
};

// Continuous predictors, categorical target.
struct FSRecordKernels::ContCatGroup : FSRecordKernels::LaneGroup {
  // The statistics of one target category, one lane per predictor.
  struct Category {
    int key;
    std::vector<double> weight, mean, sumSq, variance;
    std::vector<std::int64_t> present;
  };

  std::vector<FSContPCatTAccum*> accums;
  fskernels::ContCatFn kernel = nullptr;
  std::vector<double> mean;
  std::vector<Category> categories;
  std::vector<int> smallIndex;  // category of keys 0 to 255, -1 while there is none

  // The index of key's category, created when new; -1 when there are too many.
  int Find(int key);
  // False when the accumulators' maps cannot be held here (nothing changed in them).
  bool Load();
  // Writes the state back and frees the category arrays: the group is done.
  void Store();
  bool Add(const double* values, int category, double w);
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
  void LoadCommon(int col, const Accum& a);
};

struct FSRecordKernels::CatGroup {
  long long records = 0;   // records added in this pass
  bool shared = true;      // every slot began with the same processed weight
  double processed = 0.0;  // that weight, running

  template <class Slot>
  void ShareProcessed(const std::vector<Slot>& slots);
  template <class Accum>
  void StoreCommon(const CatSlot& s, Accum& a) const;
  // The end of a record for every slot.
  template <class Slot>
  void EndRecord(std::vector<Slot>& slots, double w);
  // Hands slot i back to its accumulator and to the generic loop.
  template <class Group, class Slot>
  static void Release(Group& group, std::vector<Slot>& slots, std::size_t i,
                      std::vector<Predictor>& generic);
  // One record through every slot of group: a missing value is counted on its slot; a
  // category the slot's table cannot grow to hands the slot back (Release) and its value, with
  // target, to its accumulator; any other category updates the constancy and goes to
  // add(slot, category). Then the end of the record; true when some slot had a valid value.
  template <class Group, class Add>
  static bool AddRecord(Group& group, const double* values, double target, double w,
                        std::vector<Predictor>& generic, Add add);
};

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
  static void Resize(Slot& s, int capacity, int oldTcap, int tcap);
  static bool Fits(int capacity, int tcap);
  // Takes every accumulator whose maps can be held densely; the rest go to generic.
  void Load(const std::vector<Predictor>& predictors, std::vector<Predictor>& generic);
  void Store(const Slot& s) const;
  // Writes every slot back, freeing each table once written: the group is done.
  void Store();
  // Makes room for target category u; the slots that cannot follow are released.
  void PrepareTarget(int u, std::vector<Predictor>& generic);
  // Makes room for predictor category p in s; false when p is out of the dense range.
  bool Grow(Slot& s, int p) const;
  bool Add(const double* values, double t, int u, double w, std::vector<Predictor>& generic);
};

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

  void Load(const std::vector<Predictor>& predictors, std::vector<Predictor>& generic);
  void Store(const Slot& s) const;
  // Writes every slot back, freeing each table once written: the group is done.
  void Store();
  static bool Grow(Slot& s, int p);
  bool Add(const double* values, double y, double w, std::vector<Predictor>& generic);
};

#endif  // FSRANK_ENGINE_KERNEL_GROUPS_H
