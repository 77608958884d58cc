// The continuous kernels of the record pass and the choice of their instruction set.
//
// The kernels are written once with the compiler's generic vector types (four doubles) and
// compiled twice: for the portable baseline (two SSE2 halves on x86-64) and, where the
// processor has it, for AVX2. Lanes never mix: each lane runs exactly the scalar update of its
// accumulator, and lanes of missing values keep their old state by selection, not by
// arithmetic. Contraction into fused multiply-adds stays off, as everywhere in the library.
#include "engine/kernel_lanes.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "engine/record_kernels.h"
#include "fsrank/missing.h"

#define FSRANK_INLINE inline __attribute__((always_inline))
#if defined(__x86_64__) || defined(__i386__)
#define FSRANK_HAVE_AVX2_PATH 1
#define FSRANK_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace fskernels {
namespace {

// ---------------------------------------------------------------------------------------------
// Four lanes of doubles, and masks of the same shape (all bits set in a lane that is true).

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
// The two compilations of the kernels.

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

}  // namespace

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

}  // namespace fskernels

FSRecordKernels::Isa FSRecordKernels::BestIsa() {
  static const bool avx2 = fskernels::CpuHasAvx2();
  return avx2 ? Isa::Avx2 : Isa::Baseline;
}

bool FSRecordKernels::UseIsa(Isa isa) {
  if (isa == Isa::Avx2 && BestIsa() != Isa::Avx2) return false;
  fskernels::ChosenIsa().store(static_cast<int>(isa), std::memory_order_relaxed);
  return true;
}
