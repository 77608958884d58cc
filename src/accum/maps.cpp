#include "accum/maps.h"

#include <algorithm>
#include <climits>

namespace {

// The frame shared by the four map displays; entryLine writes one entry without its newline.
template <class Table, class EntryLine>
void DisplayTable(std::ostream& os, const char* name, const Table& table, EntryLine entryLine) {
  os << "\nStart of " << name << " display\n\n";
  os << "Map size = " << table.Size() << '\n';
  for (const auto& entry : table.Entries()) {
    entryLine(entry);
    os << '\n';
  }
  os << "\nEnd of " << name << " display\n";
}

}  // namespace

void FSMapICnt::Display(std::ostream& os) const {
  DisplayTable(os, "FSMapICnt", fmTable, [&os](const std::pair<int, double>& e) {
    os << "Key = " << e.first << ", Value = " << e.second;
  });
}

bool FSMapIPCnt::Find(int key, std::pair<int, double>& out) const {
  const std::pair<int, double>* value = fmTable.Find(key);
  if (value == nullptr) return false;
  out = *value;
  return true;
}

int FSMapIPCnt::MaxCount() const {
  int most = 0;
  for (const auto& entry : fmTable.Entries())
    most = std::max(most, entry.second.first);
  return most;
}

bool FSMapIPCnt::MergeFits(const FSMapIPCnt& other) const {
  const auto& mine = fmTable.Entries();
  const auto& theirs = other.fmTable.Entries();
  auto at = mine.begin();
  for (const auto& entry : theirs) {
    at = std::lower_bound(at, mine.end(), entry.first,
                          [](const auto& e, int key) { return e.first < key; });
    const int count = at != mine.end() && at->first == entry.first ? at->second.first : 0;
    if (static_cast<long long>(count) + entry.second.first > INT_MAX) return false;
  }
  return true;
}

void FSMapIPCnt::Display(std::ostream& os) const {
  DisplayTable(os, "FSMapIPCnt", fmTable, [&os](const std::pair<int, std::pair<int, double>>& e) {
    os << "Key = " << e.first << ", Value = ( " << e.second.first << ", " << e.second.second
       << " )";
  });
}

void FSMapIStat::Display(std::ostream& os) const {
  DisplayTable(os, "FSMapIStat", fmTable, [&os](const std::pair<int, CategoryStat>& e) {
    const CategoryStat& s = e.second;
    os << "Key = " << e.first << ", Value = ( " << s.weight << ", " << s.mean << ", " << s.sumSq
       << ", " << s.variance << " )";
  });
}

bool FSMapPiCnt::Find(int first, int second, double& out) const {
  const double* weight = fmTable.Find(Key(first, second));
  if (weight == nullptr) return false;
  out = *weight;
  return true;
}

void FSMapPiCnt::Display(std::ostream& os) const {
  DisplayTable(os, "FSMapPiCnt", fmTable, [&os](const std::pair<Key, double>& e) {
    os << "Key = (" << e.first.first << "," << e.first.second << ") Value = " << e.second;
  });
}
