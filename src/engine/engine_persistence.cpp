// The saved forms of the predictor set and its sort records: the "PRSET" binary chunk with its
// nested "FSPRS" records and the "FSPredictorSet" XML object with its nested "FSPredSort"
// objects, one field list per class for both forms and both directions.
//
// A saved state is input like any other: it may be damaged or made up. Beyond the tag, value
// and count checks of the field layer, the reader accepts only an engine that the engine's own
// operations could have left behind, so that no later data pass, screening, ranking, query,
// export or display can index outside a vector, replace an object without freeing it, or run
// over the settings' predictors with another count:
//  - the predictor count n is the settings' (or 0 in a released engine, state 0);
//  - the set type is 0 to 3, the state 0 to 7, the number sorted by SortBest and the record
//    counts not negative (the counts only grow, and passes and merges add to them);
//  - deleted indices are strictly ascending within [0, n), each with a reason 1 to 7;
//  - accumulator slots: none while memory is not allocated (nor target counts, which the next
//    pass would replace), exactly n once it is; a slot holding an accumulator (codes 1 to 6)
//    has the code the writer derives from these settings for that predictor, and a deleted
//    predictor has none. Other codes leave the slot empty, as an unknown code always did;
//  - each criterion has at most n sort records, for predictors within [0, n), none twice;
//  - each rank and value vector is empty or has n entries; a rank is -1 or within [0, n).
// A violation fails like a damaged value: "Error reading FSPredictorSet!\n" and an
// IOException. Every count is checked before anything is made for it, so what a reader
// allocates is bounded by the settings' predictor count and the size of the input.
#include <algorithm>
#include <cstddef>
#include <fstream>
#include <ostream>
#include <vector>

#include "accum/accumulator.h"
#include "accum/cat_pair_accum.h"
#include "accum/cont_pair_accum.h"
#include "accum/maps.h"
#include "accum/single_accum.h"
#include "engine/predictor_set.h"
#include "persist/binary_fields.h"
#include "persist/state_fields.h"

using NQFeatureXML::FSXMLFieldReader;
using NQFeatureXML::FSXMLFieldWriter;
using NQFSCommon::kNumCriteria;

namespace {

constexpr char kEngineTag[] = "PRSET";
constexpr char kEngineName[] = "FSPredictorSet";
constexpr int kEngineLevel = 1;
constexpr char kAdditionsTag[] = "EXTRA";
constexpr char kAdditionsName[] = "FSStateExtra";
constexpr char kSortTag[] = "FSPRS";
constexpr char kSortName[] = "FSPredSort";
constexpr int kSortLevel = 2;

// A nested object through its own writer or reader. The accumulators and the sort records
// take the file stream itself, which the field layer does not hold, so the engine passes it.
template <class T>
void Object(FSBinaryFieldWriter& io, std::ostream& stream, const T& object) {
  io.AddNested(object.WriteObject(stream));
}
template <class T>
void Object(FSBinaryFieldReader& io, std::istream& stream, T& object) {
  io.AddNested(object.ReadObject(stream));
}
template <class T>
void Object(FSXMLFieldWriter& io, std::ostream& stream, const T& object) {
  io.AddNested(object.WriteObjectXML(stream));
}
template <class T>
void Object(FSXMLFieldReader& io, std::ifstream& stream, T& object) {
  io.AddNested(object.ReadObjectXML(stream));
}

// Fails the reader unless ok.
template <class IO>
void Require(const IO& io, bool ok) {
  if (!ok) io.Fail();
}

// The accumulator type code of a slot: 4, 5 or 6 for no target, a categorical or a
// continuous target, 3 less for a categorical predictor; 0 for an empty slot.
int TypeCode(const FSSettings* settings, bool categorical) {
  int code = 4;
  if (settings != nullptr && settings->GetTargetPosition() >= 0) {
    code = settings->IsCatTarget() ? 5 : 6;
  }
  return categorical ? code - 3 : code;
}

IFSPredTargetAccum* NewAccumulator(int code) {
  switch (code) {
    case 1:
      return new FSCatAccum();
    case 2:
      return new FSCatPCatTAccum();
    case 3:
      return new FSCatPContTAccum();
    case 4:
      return new FSContAccum();
    case 5:
      return new FSContPCatTAccum();
    default:
      return new FSContPContTAccum();
  }
}

// The record fields, shared by the chunk and the XML object.
template <class IO, class Self>
void SortRecordFields(IO& io, Self& record) {
  io.Tag(kSortTag);
  io.Field(record.fdValue);
  io.Field(record.fdTieBreak1);
  io.Field(record.fdTieBreak2);
  io.Field(record.fnIndex);
  io.End();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FSPredSort

int FSPredSort::WriteObject(std::ostream& stream) const {
  FSBinaryFieldWriter io(stream);
  SortRecordFields(io, *this);
  return io.Bytes();
}

int FSPredSort::ReadObject(std::istream& stream) {
  FSBinaryFieldReader io(stream, kSortName);
  SortRecordFields(io, *this);
  return io.Bytes();
}

int FSPredSort::WriteObjectXML(std::ostream& stream) const {
  FSXMLFieldWriter io(stream, kSortName, kSortLevel);
  SortRecordFields(io, *this);
  return io.Count();
}

int FSPredSort::ReadObjectXML(std::ifstream& stream) {
  FSXMLFieldReader io(stream, kSortName);
  SortRecordFields(io, *this);
  return io.Count();
}

// ---------------------------------------------------------------------------------------------
// FSPredictorSet

// Friend of FSPredictorSet: the field list shared by the four directions. Self is
// const FSPredictorSet for the writers and FSPredictorSet for the readers; stream is the one
// the nested accumulators and records take.
struct FSPredictorSetFields {
  template <class IO, class Self, class Stream>
  static void Fields(IO& io, Self& e, Stream& stream) {
    const FSSettings* settings = e.fpSettings;
    io.Tag(kEngineTag);
    io.Field(e.fnPredictors);
    io.Field(e.fnBestSorted);
    io.Field(e.fdElapsedSeconds);
    io.Field(e.feSetType);
    io.Field(e.feStatus);
    io.Field(e.fbMemoryAllocated);
    io.Field(e.fbPassCompleted);
    io.Field(e.fbNoValidData);
    io.Field(e.fbNoValidWeight);
    io.Field(e.fdWeightedValid);
    io.Field(e.fdWeightedExcluded);
    io.Field(e.fnValid);
    io.Field(e.fnExcluded);
    const int n = e.fnPredictors;
    if constexpr (IO::kReads) {
      const int settingsN = settings != nullptr ? settings->GetNPredictors() : 0;
      Require(io, n == settingsN || (n == 0 && e.feStatus == EngineReleased));
      Require(io, e.feSetType >= 0 && e.feSetType <= NQFSCommon::kSetTypeUnrecognized);
      Require(io, e.feStatus >= EngineReleased && e.feStatus <= EngineRanked);
      Require(io, e.fnBestSorted >= 0);
      Require(io, e.fnValid >= 0 && e.fnExcluded >= 0);
    }

    // The deleted predictors: their count and indices, then as many reasons without a count.
    io.Vector(e.fvIndicesDel);
    if constexpr (IO::kReads) e.fvReasonsDel.assign(e.fvIndicesDel.size(), ReasonNone);
    for (std::size_t k = 0; k < e.fvIndicesDel.size(); ++k) {
      io.Field(e.fvReasonsDel[k]);
      if constexpr (IO::kReads) {
        const int index = e.fvIndicesDel[k];
        Require(io, index >= 0 && index < n && (k == 0 || e.fvIndicesDel[k - 1] < index));
        Require(io, e.fvReasonsDel[k] >= ReasonAllMissing && e.fvReasonsDel[k] <= ReasonSmallVar);
      }
    }

    // The accumulator slots: their count, then each slot's type code and, for an accumulator,
    // its own chunk. A slot is added before its accumulator is made, so that whatever was made
    // belongs to the engine even when its reading fails.
    int slots = static_cast<int>(e.fvpAccum.size());
    io.Field(slots);
    if constexpr (IO::kReads) {
      Require(io, slots == (e.fbMemoryAllocated ? n : 0));
      e.fvpAccum.reserve(static_cast<std::size_t>(slots));
    }
    for (int i = 0; i < slots; ++i) {
      const std::size_t slot = static_cast<std::size_t>(i);
      int code = 0;
      if constexpr (!IO::kReads) {
        if (e.fvpAccum[slot] != nullptr) {
          code = TypeCode(settings, e.fvpAccum[slot]->IsCategorical());
        }
      }
      io.Field(code);
      if constexpr (IO::kReads) {
        e.fvpAccum.push_back(nullptr);
        if (code < 1 || code > 6) continue;
        Require(io, code == TypeCode(settings, settings->IsCatPredictor(i)) &&
                        !std::binary_search(e.fvIndicesDel.begin(), e.fvIndicesDel.end(), i));
        e.fvpAccum[slot] = NewAccumulator(code);
      }
      if (e.fvpAccum[slot] != nullptr) Object(io, stream, *e.fvpAccum[slot]);
    }

    // The target category counts, when present.
    int present = e.fpTargetCounts != nullptr ? 1 : 0;
    io.Field(present);
    if constexpr (IO::kReads) {
      if (present == 1) {
        Require(io, e.fbMemoryAllocated);
        e.fpTargetCounts = new FSMapIPCnt();
      }
    }
    if (e.fpTargetCounts != nullptr) Object(io, stream, *e.fpTargetCounts);

    // The sort records of each criterion.
    for (int c = 0; c < kNumCriteria; ++c) {
      auto& list = e.*kSortLists[c];
      int records = static_cast<int>(list.size());
      io.Field(records);
      std::vector<bool> seen;
      if constexpr (IO::kReads) {
        Require(io, records >= 0 && records <= n);
        list.reserve(static_cast<std::size_t>(records));
        seen.assign(static_cast<std::size_t>(n), false);
      }
      for (int j = 0; j < records; ++j) {
        if constexpr (IO::kReads) {
          list.push_back(nullptr);
          list.back() = new FSPredSort();
        }
        Object(io, stream, *list[static_cast<std::size_t>(j)]);
        if constexpr (IO::kReads) {
          const int index = list.back()->fnIndex;
          Require(io, index >= 0 && index < n && !seen[static_cast<std::size_t>(index)]);
          seen[static_cast<std::size_t>(index)] = true;
        }
      }
    }

    // Ranks, then criterion values, of each criterion.
    for (int c = 0; c < kNumCriteria; ++c) {
      io.Vector(e.fvRanks[static_cast<std::size_t>(c)]);
      if constexpr (IO::kReads) {
        const std::vector<int>& ranks = e.fvRanks[static_cast<std::size_t>(c)];
        Require(io, ranks.empty() || ranks.size() == static_cast<std::size_t>(n));
        for (int rank : ranks)
          Require(io, rank >= -1 && rank < n);
      }
    }
    for (int c = 0; c < kNumCriteria; ++c) {
      io.Vector(e.fvValues[static_cast<std::size_t>(c)]);
      if constexpr (IO::kReads) {
        const std::size_t size = e.fvValues[static_cast<std::size_t>(c)].size();
        Require(io, size == 0 || size == static_cast<std::size_t>(n));
      }
    }
    io.End();
  }

  // Reads into a released engine for the given settings; a failure releases it again before
  // the exception goes on, so that no half-read engine is ever left to be used.
  template <class IO, class Stream>
  static void Read(FSPredictorSet& e, IO& io, Stream& stream, FSSettings* settings) {
    e.Release();
    e.fpSettings = settings;
    try {
      Fields(io, e, stream);
    } catch (...) {
      e.Release();
      throw;
    }
  }

 private:
  static constexpr std::vector<FSPredSort*> FSPredictorSet::*kSortLists[kNumCriteria] = {
      &FSPredictorSet::fvpSortPearson, &FSPredictorSet::fvpSortLikelihood,
      &FSPredictorSet::fvpSortCramer,  &FSPredictorSet::fvpSortLambda,
      &FSPredictorSet::fvpSortFStat,   &FSPredictorSet::fvpSortTStat};
};

int FSPredictorSet::WriteObject(std::ostream& stream) const {
  FSBinaryFieldWriter io(stream);
  FSPredictorSetFields::Fields(io, *this, stream);
  return io.Bytes();
}

int FSPredictorSet::ReadObject(std::istream& stream, FSSettings* settings) {
  FSBinaryFieldReader io(stream, kEngineName);
  FSPredictorSetFields::Read(*this, io, stream, settings);
  return io.Bytes();
}

int FSPredictorSet::WriteObjectXML(std::ostream& stream) const {
  FSXMLFieldWriter io(stream, kEngineName, kEngineLevel);
  FSPredictorSetFields::Fields(io, *this, stream);
  return io.Count();
}

int FSPredictorSet::ReadObjectXML(std::ifstream& stream, FSSettings* settings) {
  FSXMLFieldReader io(stream, kEngineName);
  FSPredictorSetFields::Read(*this, io, stream, settings);
  return io.Count();
}

// ---------------------------------------------------------------------------------------------
// The additions after the whole state

namespace {

// The unweighted valid count of each accumulator slot; empty when all are 0.
std::vector<int> UnweightedCounts(const std::vector<IFSPredTargetAccum*>& slots) {
  std::vector<int> counts;
  bool any = false;
  for (const IFSPredTargetAccum* accum : slots) {
    counts.push_back(accum != nullptr ? accum->GetUnweightedValid() : 0);
    any = any || counts.back() != 0;
  }
  if (!any) counts.clear();
  return counts;
}

// Whether the stored counts fit the accumulators: one per slot, none negative, and none but 0
// where no categorical predictor's accumulator is.
bool CountsFit(const std::vector<int>& counts, const std::vector<IFSPredTargetAccum*>& slots) {
  if (counts.size() != slots.size()) return false;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const bool categorical = slots[i] != nullptr && slots[i]->IsCategorical();
    if (counts[i] < 0 || (counts[i] > 0 && !categorical)) return false;
  }
  return true;
}

void SetCounts(const std::vector<int>& counts, const std::vector<IFSPredTargetAccum*>& slots) {
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (slots[i] != nullptr) slots[i]->SetUnweightedValid(counts[i]);
  }
}

}  // namespace

int FSPredictorSet::WriteAdditions(std::ostream& stream) const {
  const std::vector<int> counts = UnweightedCounts(fvpAccum);
  if (counts.empty()) return 0;
  FSBinaryWriter out(stream);
  out.WriteTag(kAdditionsTag);
  out.WriteCount(kBinaryIntBytes * (counts.size() + 1));
  out.Vector(counts);
  return out.Bytes();
}

void FSPredictorSet::ReadAdditions(std::istream& stream) {
  if (!ReadOptionalTag(stream, kAdditionsTag, kAdditionsName)) return;
  FSBinaryReader in(stream, kAdditionsName);
  const int length = in.ReadCount(1);
  std::vector<int> counts;
  in.Vector(counts);
  const long long known = static_cast<long long>(kBinaryIntBytes) * (counts.size() + 1);
  if (known > length || !CountsFit(counts, fvpAccum)) in.Fail();
  in.SkipPadding(static_cast<int>(length - known));
  SetCounts(counts, fvpAccum);
}

int FSPredictorSet::WriteAdditionsXML(std::ostream& stream) const {
  const std::vector<int> counts = UnweightedCounts(fvpAccum);
  if (counts.empty()) return 0;
  FSXMLFieldWriter io(stream, kAdditionsName, 0);
  io.Tag(kAdditionsTag);
  io.Vector(counts);
  io.End();
  return io.Count();
}

void FSPredictorSet::ReadAdditionsXML(std::ifstream& stream) {
  if (!NQFeatureXML::NextIsObjBegin(stream, kAdditionsName)) return;
  FSXMLFieldReader io(stream, kAdditionsName);
  std::vector<int> counts;
  io.Tag(kAdditionsTag);
  io.Vector(counts);
  io.End();
  if (!CountsFit(counts, fvpAccum)) io.Fail();
  SetCounts(counts, fvpAccum);
}
