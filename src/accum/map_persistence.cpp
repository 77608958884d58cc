// The saved forms of the four maps: a tag, the entry count and the entries in key order, one
// field list per map for the binary chunk and the XML object in both directions.
#include <istream>
#include <ostream>
#include <utility>
#include <vector>

#include "accum/maps.h"
#include "persist/binary_fields.h"
#include "persist/state_fields.h"

using NQFeatureXML::FSXMLFieldReader;
using NQFeatureXML::FSXMLFieldWriter;

namespace {

// Maps stand at level 3 wherever they are nested.
constexpr int kMapLevel = 3;

// FSMapICnt and FSMapIPCnt share their tag; only the entry size tells their chunks apart.
constexpr char kCountTag[] = "FSMII";

// The entries of a table: read-only for the writers, modifiable for the readers.
template <class Key, class Value>
const std::vector<std::pair<Key, Value>>& EntriesOf(const FSSortedTable<Key, Value>& table) {
  return table.Entries();
}
template <class Key, class Value>
std::vector<std::pair<Key, Value>>& EntriesOf(FSSortedTable<Key, Value>& table) {
  return table.MutableEntries();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FSMapICnt: int key, double weight (12 bytes an entry).

template <class IO, class Self>
void FSMapICnt::Fields(IO& io, Self& self) {
  io.Tag(kCountTag);
  io.Sequence(EntriesOf(self.fmTable), 12, [](auto& entryIO, auto& e) {
    entryIO.Field(e.first);
    entryIO.Field(e.second);
  });
  io.End();
}

// ---------------------------------------------------------------------------------------------
// FSMapIPCnt: int key, int count, 4 padding bytes (binary only), double weight (20 bytes an
// entry). A negative count, which no pass makes, is refused: later passes and merges add to
// the counts and rely on them being within 0 to the int range.

template <class IO, class Self>
void FSMapIPCnt::Fields(IO& io, Self& self) {
  io.Tag(kCountTag);
  io.Sequence(EntriesOf(self.fmTable), 20, [](auto& entryIO, auto& e) {
    entryIO.Field(e.first);
    entryIO.Field(e.second.first);
    if constexpr (IO::kReads) {
      if (e.second.first < 0) entryIO.Fail();
    }
    entryIO.Padding(4);
    entryIO.Field(e.second.second);
  });
  io.End();
}

// ---------------------------------------------------------------------------------------------
// FSMapIStat: int key, double weight, mean, sum of squares, variance (36 bytes an entry).

template <class IO, class Self>
void FSMapIStat::Fields(IO& io, Self& self) {
  io.Tag("FSMIS");
  io.Sequence(EntriesOf(self.fmTable), 36, [](auto& entryIO, auto& e) {
    entryIO.Field(e.first);
    entryIO.Field(e.second.weight);
    entryIO.Field(e.second.mean);
    entryIO.Field(e.second.sumSq);
    entryIO.Field(e.second.variance);
  });
  io.End();
}

// ---------------------------------------------------------------------------------------------
// FSMapPiCnt: int first, int second, double weight (16 bytes an entry).

template <class IO, class Self>
void FSMapPiCnt::Fields(IO& io, Self& self) {
  io.Tag("FSMPI");
  io.Sequence(EntriesOf(self.fmTable), 16, [](auto& entryIO, auto& e) {
    entryIO.Field(e.first.first);
    entryIO.Field(e.first.second);
    entryIO.Field(e.second);
  });
  io.End();
}

// ---------------------------------------------------------------------------------------------
// The four directions of each map.

// A map reader counts one element more than its writer once the map has entries (its count
// value is counted twice), which is what callers add up.
#define FSRANK_MAP_PERSISTENCE(Map)                     \
  int Map::WriteObject(std::ostream& stream) const {    \
    FSBinaryFieldWriter io(stream);                     \
    Fields(io, *this);                                  \
    return io.Bytes();                                  \
  }                                                     \
  int Map::ReadObject(std::istream& stream) {           \
    FSBinaryFieldReader io(stream, #Map);               \
    Fields(io, *this);                                  \
    return io.Bytes();                                  \
  }                                                     \
  int Map::WriteObjectXML(std::ostream& stream) const { \
    FSXMLFieldWriter io(stream, #Map, kMapLevel);       \
    Fields(io, *this);                                  \
    return io.Count();                                  \
  }                                                     \
  int Map::ReadObjectXML(std::istream& stream) {        \
    FSXMLFieldReader io(stream, #Map);                  \
    Fields(io, *this);                                  \
    return io.Count() + (Size() > 0 ? 1 : 0);           \
  }

FSRANK_MAP_PERSISTENCE(FSMapICnt)
FSRANK_MAP_PERSISTENCE(FSMapIPCnt)
FSRANK_MAP_PERSISTENCE(FSMapIStat)
FSRANK_MAP_PERSISTENCE(FSMapPiCnt)

#undef FSRANK_MAP_PERSISTENCE
