// The per-category tables of the accumulators and of the engine's target counts. Each is one
// contiguous array kept in ascending key order, searched by binary search; every key occurs at
// most once. A small table grows by insertion at the sorted position. A large one that meets
// keys out of order holds the new keys apart (hashed) and merges them in once they are as many
// as the sorted ones, so a table of n categories costs O(n log n) to build in any key order,
// not O(n^2); the weights are summed per key in record order either way.
#ifndef FSRANK_ACCUM_MAPS_H
#define FSRANK_ACCUM_MAPS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <iterator>
#include <ostream>
#include <utility>
#include <vector>

#include "accum/accum_common.h"

// The bits of a table key that its hash mixes.
inline std::uint64_t TableKeyBits(int key) {
  return static_cast<std::uint32_t>(key);
}
inline std::uint64_t TableKeyBits(const std::pair<int, int>& key) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(key.first)) << 32) |
         static_cast<std::uint32_t>(key.second);
}

// The sorted array behind the four maps. Keys are compared with == and <, so an int key
// compares as a signed integer and a pair of ints lexicographically, first member first.
// Every reader sees the keys held apart merged in first. The engine settles every table when
// a data pass ends (Settle), so that the reads of a finished algorithm change nothing and may
// run on several threads at once; a table that still holds keys apart (only while a pass
// runs) merges them in at its first read, which is then for one thread alone.
template <class Key, class Value>
class FSSortedTable {
 public:
  using Entry = std::pair<Key, Value>;

  // Below this many entries a new key is inserted in place (at most this many moves).
  static constexpr int kDirectInsertLimit = 512;

  int Size() const {
    SettleHeld();
    return static_cast<int>(fvEntries.size());
  }

  // Merges the keys held apart into the sorted array (nothing when there are none).
  void Settle() { SettleHeld(); }
  const Entry& operator[](int i) const {
    SettleHeld();
    return fvEntries[static_cast<size_t>(i)];
  }
  Entry& operator[](int i) {
    SettleHeld();
    return fvEntries[static_cast<size_t>(i)];
  }

  // Binary search: true with pos at the key when present; otherwise false with pos at the
  // insertion position, before the first larger key (0 for the front, Size() for the end).
  bool Search(const Key& key, int& pos) const {
    SettleHeld();
    return SearchSorted(key, pos);
  }

  // The value stored under key, or null when the key is absent.
  const Value* Find(const Key& key) const {
    int pos = 0;
    return Search(key, pos) ? &fvEntries[static_cast<size_t>(pos)].second : nullptr;
  }

  // The value under key when present (found = true); otherwise a new entry (key, initial)
  // (found = false). Returns the stored value, valid until the next insertion.
  Value& FindOrInsert(const Key& key, const Value& initial, bool& found) {
    int pos = 0;
    found = SearchSorted(key, pos);
    if (found) return fvEntries[static_cast<size_t>(pos)].second;
    const int size = static_cast<int>(fvEntries.size());
    if (!fvHeld.empty()) {
      int& slot = HeldSlot(key);
      if (slot != 0) {
        found = true;
        return fvHeld[static_cast<size_t>(slot - 1)].second;
      }
    }
    if (pos == size || (fvHeld.empty() && size < kDirectInsertLimit)) {
      fvEntries.insert(fvEntries.begin() + pos, Entry(key, initial));
      return fvEntries[static_cast<size_t>(pos)].second;
    }
    return Hold(key, initial);
  }

  // Adds other's entries key by key in one ordered sweep of both arrays: a key of both gets
  // combine(mine, theirs), a key of other alone enters with its value. Keys stay ascending.
  template <class Combine>
  void MergeFrom(const FSSortedTable& other, Combine combine) {
    SettleHeld();
    other.SettleHeld();
    if (other.fvEntries.empty()) return;
    if (fvEntries.empty()) {
      fvEntries = other.fvEntries;
      return;
    }
    // Parts of one data set mostly hold the same keys: then the entries combine in place.
    if (fvEntries.size() == other.fvEntries.size() &&
        std::equal(fvEntries.begin(), fvEntries.end(), other.fvEntries.begin(),
                   [](const Entry& a, const Entry& b) { return a.first == b.first; })) {
      for (std::size_t i = 0; i < fvEntries.size(); ++i)
        combine(fvEntries[i].second, other.fvEntries[i].second);
      return;
    }
    std::vector<Entry> merged;
    merged.reserve(fvEntries.size() + other.fvEntries.size());
    auto mine = fvEntries.begin();
    auto theirs = other.fvEntries.begin();
    while (mine != fvEntries.end() || theirs != other.fvEntries.end()) {
      if (theirs == other.fvEntries.end() ||
          (mine != fvEntries.end() && mine->first < theirs->first)) {
        merged.push_back(*mine++);
      } else if (mine == fvEntries.end() || theirs->first < mine->first) {
        merged.push_back(*theirs++);
      } else {
        merged.push_back(*mine++);
        combine(merged.back().second, theirs->second);
        ++theirs;
      }
    }
    fvEntries.swap(merged);
  }

  const std::vector<Entry>& Entries() const {
    SettleHeld();
    return fvEntries;
  }
  // The entries themselves, for a reader that restores them as stored, without sorting.
  std::vector<Entry>& MutableEntries() {
    SettleHeld();
    return fvEntries;
  }

 private:
  bool SearchSorted(const Key& key, int& pos) const {
    int lo = 0;
    int hi = static_cast<int>(fvEntries.size()) - 1;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      const Key& k = fvEntries[static_cast<size_t>(mid)].first;
      if (k == key) {
        pos = mid;
        return true;
      }
      if (key < k) {
        hi = mid - 1;
      } else {
        lo = mid + 1;
      }
    }
    pos = lo;
    return false;
  }

  // The slot of key in the open-addressing index of the held keys (1 + position, 0 free).
  int& HeldSlot(const Key& key) const {
    const size_t mask = fvSlots.size() - 1;
    size_t i = static_cast<size_t>((TableKeyBits(key) * 0x9E3779B97F4A7C15ULL) >> fnShift);
    while (fvSlots[i] != 0 && !(fvHeld[static_cast<size_t>(fvSlots[i] - 1)].first == key))
      i = (i + 1) & mask;
    return fvSlots[i];
  }

  // Holds a new key apart; merges the held keys in once they are as many as the sorted ones.
  Value& Hold(const Key& key, const Value& initial) {
    if (2 * (fvHeld.size() + 1) > fvSlots.size()) {
      size_t slots = 64;
      fnShift = 58;
      while (slots < 4 * (fvHeld.size() + 1)) {
        slots *= 2;
        --fnShift;
      }
      fvSlots.assign(slots, 0);
      for (size_t i = 0; i < fvHeld.size(); ++i)
        HeldSlot(fvHeld[i].first) = static_cast<int>(i + 1);
    }
    fvHeld.emplace_back(key, initial);
    HeldSlot(key) = static_cast<int>(fvHeld.size());
    if (fvHeld.size() < fvEntries.size()) return fvHeld.back().second;
    SettleHeld();
    int pos = 0;
    SearchSorted(key, pos);
    return fvEntries[static_cast<size_t>(pos)].second;
  }

  void SettleHeld() const {
    if (fvHeld.empty()) return;
    const auto byKey = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    std::sort(fvHeld.begin(), fvHeld.end(), byKey);
    std::vector<Entry> merged;
    merged.reserve(fvEntries.size() + fvHeld.size());
    std::merge(fvEntries.begin(), fvEntries.end(), fvHeld.begin(), fvHeld.end(),
               std::back_inserter(merged), byKey);
    fvEntries.swap(merged);
    fvHeld.clear();
    std::fill(fvSlots.begin(), fvSlots.end(), 0);
  }

  mutable std::vector<Entry> fvEntries;  // ascending keys
  mutable std::vector<Entry> fvHeld;     // new keys in arrival order, none of fvEntries
  mutable std::vector<int> fvSlots;      // index of fvHeld, a power of two in size
  int fnShift = 64;
};

// Category to summed weight.
class FSMapICnt {
 public:
  // Adds w under key: true when the key was present (its weight grows by w), false when it
  // entered with weight w. The weight is not tested; callers test it first.
  bool Add(int key, double w) {
    bool found = false;
    double& weight = fmTable.FindOrInsert(key, w, found);
    if (found) weight += w;
    return found;
  }
  int Size() const { return fmTable.Size(); }
  // Merges in the keys a pass held apart (FSSortedTable).
  void Settle() { fmTable.Settle(); }
  std::pair<int, double> At(int i) const { return fmTable[i]; }
  // Adds other's weights key by key.
  void Merge(const FSMapICnt& other) {
    fmTable.MergeFrom(other.fmTable, [](double& mine, double theirs) { mine += theirs; });
  }
  void Display(std::ostream& os) const;

  // Persistence: the binary chunk (returns its bytes) and the XML object at level 3 (returns
  // its elements). Readers replace the entries by the stored ones, kept in stored order
  // without searching or sorting (meant for a freshly constructed map).
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream);
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::istream& stream);

 private:
  // The record pass keeps the entries in its own dense layout while it runs.
  friend class FSRecordKernels;
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  FSSortedTable<int, double> fmTable;
};

// Category to (number of cases, summed weight): the engine's target category counts.
class FSMapIPCnt {
 public:
  // Counts one case of weight w under key: true when the key was present, false when new.
  bool Add(int key, double w) {
    bool found = false;
    std::pair<int, double>& value = fmTable.FindOrInsert(key, std::pair<int, double>(1, w), found);
    if (found) {
      value.first += 1;
      value.second += w;
    }
    return found;
  }
  // (count, weight) of key into out; false and out untouched when the key is absent.
  bool Find(int key, std::pair<int, double>& out) const;
  int Size() const { return fmTable.Size(); }
  // Merges in the keys a pass held apart (FSSortedTable).
  void Settle() { fmTable.Settle(); }
  std::pair<int, std::pair<int, double>> At(int i) const { return fmTable[i]; }
  // The largest count of any key (0 when empty).
  int MaxCount() const;
  // Whether Merge(other) keeps every key's count within the int range.
  bool MergeFits(const FSMapIPCnt& other) const;
  // Adds other's counts and weights key by key.
  void Merge(const FSMapIPCnt& other) {
    fmTable.MergeFrom(other.fmTable,
                      [](std::pair<int, double>& mine, const std::pair<int, double>& theirs) {
                        mine.first += theirs.first;
                        mine.second += theirs.second;
                      });
  }
  void Display(std::ostream& os) const;

  // Persistence: the binary chunk (returns its bytes) and the XML object at level 3 (returns
  // its elements). Readers replace the entries by the stored ones, kept in stored order
  // without searching or sorting (meant for a freshly constructed map).
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream);
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::istream& stream);

 private:
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  FSSortedTable<int, std::pair<int, double>> fmTable;
};

// Weighted statistics of one variable within one category.
struct CategoryStat {
  double weight = 0.0;    // sum of weights
  double mean = 0.0;      // weighted mean
  double sumSq = 0.0;     // weighted sum of squared deviations from the mean
  double variance = 0.0;  // set by the owning accumulator's FinishPass
};

// Adds the value x with weight w (> 0) to the statistics of a category that already has some:
// with n its weight before, n' = n + w, d = (x - mean) (w / n'), sumSq += d (((n' / w) d) n),
// weight = n', mean += d. The variance is left as it is. A caller that knows w is 1 may say so:
// n' / 1 is n' exactly, and a division is saved.
inline void AddToCategoryStat(CategoryStat& s, double x, double w, bool unitWeight = false) {
  const double n = s.weight;
  const double n1 = n + w;
  const double d = (x - s.mean) * (w / n1);
  const double r = unitWeight ? n1 : n1 / w;
  s.sumSq = s.sumSq + d * ((r * d) * n);
  s.weight = n1;
  s.mean = s.mean + d;
}

// The statistics of two disjoint sets of cases combined into those of their union
// (CombineMoments, a's part first). The variance is derived (the owner's FinishPass sets it)
// and is not combined.
inline void CombineCategoryStats(CategoryStat& a, const CategoryStat& b) {
  CombineMoments(a.weight, a.mean, a.sumSq, b.weight, b.mean, b.sumSq);
  a.weight = a.weight + b.weight;
}

// Category to the weighted statistics of a variable over the cases of that category.
class FSMapIStat {
 public:
  // Adds the value x with weight w to the statistics of key. A weight that is not > 0 (NaN
  // included) changes nothing and gives false. A known key is updated by the weighted
  // one-pass rule and gives true; a new key enters as (w, x, 0, 0) and gives false.
  bool Add(int key, double x, double w) {
    if (!(w > 0.0)) return false;
    bool found = false;
    CategoryStat initial;
    initial.weight = w;
    initial.mean = x;
    CategoryStat& s = fmTable.FindOrInsert(key, initial, found);
    if (found) AddToCategoryStat(s, x, w);
    return found;
  }
  int Size() const { return fmTable.Size(); }
  // Merges in the keys a pass held apart (FSSortedTable).
  void Settle() { fmTable.Settle(); }
  // Combines other's statistics key by key (CombineCategoryStats, this map's part first).
  void Merge(const FSMapIStat& other) {
    fmTable.MergeFrom(other.fmTable, [](CategoryStat& mine, const CategoryStat& theirs) {
      CombineCategoryStats(mine, theirs);
    });
  }
  // The stored entry: the owner sets the variances through it.
  std::pair<int, CategoryStat>& At(int i) { return fmTable[i]; }
  const std::pair<int, CategoryStat>& At(int i) const { return fmTable[i]; }
  void Display(std::ostream& os) const;

  // Persistence: the binary chunk (returns its bytes) and the XML object at level 3 (returns
  // its elements). Readers replace the entries by the stored ones, kept in stored order
  // without searching or sorting (meant for a freshly constructed map).
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream);
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::istream& stream);

 private:
  // The record pass keeps the entries in its own dense layout while it runs.
  friend class FSRecordKernels;
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  FSSortedTable<int, CategoryStat> fmTable;
};

// (predictor category, target category) to summed weight: the occurring cells of a cross table.
class FSMapPiCnt {
 public:
  using Key = std::pair<int, int>;

  bool Add(int first, int second, double w) {
    bool found = false;
    double& weight = fmTable.FindOrInsert(Key(first, second), w, found);
    if (found) weight += w;
    return found;
  }
  // The weight of (first, second) into out; false and out untouched when the pair is absent.
  bool Find(int first, int second, double& out) const;
  int Size() const { return fmTable.Size(); }
  // Merges in the keys a pass held apart (FSSortedTable).
  void Settle() { fmTable.Settle(); }
  // The entry at position i, in ascending pair order.
  std::pair<Key, double> At(int i) const { return fmTable[i]; }
  // Adds other's weights cell by cell.
  void Merge(const FSMapPiCnt& other) {
    fmTable.MergeFrom(other.fmTable, [](double& mine, double theirs) { mine += theirs; });
  }
  void Display(std::ostream& os) const;

  // Persistence: the binary chunk (returns its bytes) and the XML object at level 3 (returns
  // its elements). Readers replace the entries by the stored ones, kept in stored order
  // without searching or sorting (meant for a freshly constructed map).
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream);
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::istream& stream);

 private:
  // The record pass keeps the entries in its own dense layout while it runs.
  friend class FSRecordKernels;
  template <class IO, class Self>
  static void Fields(IO& io, Self& self);

  FSSortedTable<Key, double> fmTable;
};

#endif  // FSRANK_ACCUM_MAPS_H
