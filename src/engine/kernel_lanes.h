// The vector side of the continuous kernels: the state they read and write, lane by lane, and
// the choice between their two compilations (the kernels themselves are in record_lanes.inc,
// compiled by kernel_lanes.cpp).
#ifndef FSRANK_ENGINE_KERNEL_LANES_H
#define FSRANK_ENGINE_KERNEL_LANES_H

#include <cstdint>

namespace fskernels {

// Doubles a vector of the kernels holds; the lane arrays are padded to a multiple of it.
constexpr int kLanes = 4;

inline int Padded(int n) {
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

// One record through every lane; true when some lane's value was valid.
using ContContFn = bool (*)(const ContContLanes&, double y, double w);
using ContCatFn = bool (*)(const ContCatLanes&, double w);

// The compilation of the kernels for the instruction set chosen now (FSRecordKernels::UseIsa).
ContContFn PickContCont();
ContCatFn PickContCat();

}  // namespace fskernels

#endif  // FSRANK_ENGINE_KERNEL_LANES_H
