// What the fuzz targets and the regression replay test do with one input, as a host would:
// write it to a scratch file, restore it in one form and, when the restore succeeds, use the
// algorithm every way a host can. A state the restore accepts must never fail later, so
// besides the sanitizers' checks a few invariants abort the process when broken:
//  - every predictor index handed out is a predictor of the settings, every rank and value
//    vector is empty or one entry per predictor;
//  - what was restored saves again, and that save restores (both forms), the binary one to the
//    same bytes.
// Only <fsrank/fsrank.h>: the library is used exactly as a host uses it.
#ifndef FSRANK_FUZZ_RESTORE_EXERCISE_H
#define FSRANK_FUZZ_RESTORE_EXERCISE_H

#include <fsrank/fsrank.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace fsfuzz {

enum class Form { Binary, XML };

// The readers' messages on std::cerr would drown the fuzzer's own output (which it writes
// through C stdio, as the sanitizers do, so that stays).
inline void SilenceReaderMessages() {
  struct Discard : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
  };
  static Discard discard;
  std::cerr.rdbuf(&discard);
}

// Aborts when an invariant is broken, so that the fuzzer keeps the input.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

// A new file each time: truncating one that holds data can make the file system flush it.
inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::remove(path.c_str());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The restore of the file at path in one form; null on failure.
inline IFSAlgorithm* RestoreFile(const std::string& path, Form form) {
  FSFactory factory;
  if (form == Form::Binary) {
    std::fstream in(path, std::ios::in | std::ios::binary);
    return factory.RestoreFSAlgorithmFromBinary(in);
  }
  std::ifstream in(path, std::ios::in | std::ios::binary);
  return factory.RestoreFSAlgorithmFromXML(in);
}

// Hands out rows of doubles, one record each (for the seed generator and the tests).
class RowIterator : public NQCommon::RecordIterator {
 public:
  explicit RowIterator(const std::vector<std::vector<double>>& rows) : fRows(rows) {}
  bool Next() override {
    if (fnNext >= fRows.size()) return false;
    const std::vector<double>& row = fRows[fnNext++];
    fRecord.Resize(static_cast<int>(row.size()));
    for (std::size_t i = 0; i < row.size(); ++i)
      fRecord[static_cast<int>(i)] = row[i];
    return true;
  }
  NQCommon::Record* GetRecord() override { return &fRecord; }

 private:
  const std::vector<std::vector<double>>& fRows;
  std::size_t fnNext = 0;
  NQCommon::Record fRecord;
};

// A few records of varied values and missing values, wide enough for the settings' columns
// when they are plausible (a record that is too short is refused by the pass, which is fine).
class SmallIterator : public NQCommon::RecordIterator {
 public:
  SmallIterator(int width, int count) : fRecord(width), fnCount(count) {}
  bool Next() override {
    if (fnDone >= fnCount) return false;
    ++fnDone;
    for (int i = 0; i < fRecord.Size(); ++i) {
      const int v = (fnDone * 7 + i * 3) % 5;
      fRecord[i] = v == 4 ? gMissingValue : static_cast<double>(v);
    }
    return true;
  }
  NQCommon::Record* GetRecord() override { return &fRecord; }

 private:
  NQCommon::Record fRecord;
  int fnCount;
  int fnDone = 0;
};

inline void CheckResults(IFSAlgorithm& a) {
  const int n = a.GetSettings()->GetNPredictors();
  std::ostringstream sink;
  a.Display(sink);
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    const auto criterion = static_cast<NQFSCommon::RankCriteria>(c);
    const std::size_t ranks = a.GetRanks(criterion).size();
    const std::size_t values = a.GetCriterionValues(criterion).size();
    Check(ranks == 0 || ranks == static_cast<std::size_t>(n));
    Check(values == 0 || values == static_cast<std::size_t>(n));
    for (int top : {0, 3}) {
      std::vector<int> indices;
      std::vector<double> topValues;
      a.GetTopPredictors(criterion, indices, topValues, top);
      for (int index : indices)
        Check(index >= 0 && index < n);
    }
    for (int i = -1; i <= n; ++i) {
      double s1, s2, s3, s4;
      a.GetPredictorStats(c, i, s1, s2, s3, s4);
    }
    a.ExportOneXML(sink, criterion, 0);
  }
  for (int index : a.GetIndicesDelPred())
    Check(index >= 0 && index < n);
  Check(a.GetReasonsDelPred().size() == a.GetIndicesDelPred().size());
  const int categories = a.GetNTargetCategories();
  for (int k = -1; k <= categories; ++k) {
    int category = 0;
    std::pair<int, double> counts;
    a.GetTargetCategoryInfo(k, category, counts);
  }
  double wv = 0.0, we = 0.0;
  int nv = 0, ne = 0;
  a.GetNValidNExcluded(wv, we, nv, ne);
  a.ExportAllXML(sink);
}

// Saves a in both forms and restores each save; the binary save must come back to the same
// bytes.
inline void CheckSavesRestore(IFSAlgorithm& a, const std::string& scratch) {
  const std::string path = scratch + ".again";
  std::remove(path.c_str());
  {
    std::fstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    a.SaveState(out);
  }
  const std::string saved = ReadFile(path);
  IFSAlgorithm* binary = RestoreFile(path, Form::Binary);
  Check(binary != nullptr);
  std::remove(path.c_str());
  {
    std::fstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    binary->SaveState(out);
  }
  Check(ReadFile(path) == saved);
  delete binary;

  std::ostringstream xml;
  a.SaveStateXML(xml);
  WriteFile(path, xml.str());
  IFSAlgorithm* fromXml = RestoreFile(path, Form::XML);
  Check(fromXml != nullptr);
  delete fromXml;
  std::remove(path.c_str());
}

// Runs one input; true when it restored.
inline bool RestoreAndExercise(const std::uint8_t* data, std::size_t size, Form form,
                               const std::string& scratch) {
  WriteFile(scratch, std::string(reinterpret_cast<const char*>(data), size));
  IFSAlgorithm* a = RestoreFile(scratch, form);
  if (a == nullptr) return false;
  Check(a->GetSettings() != nullptr);
  Check(a->GetSettings()->GetProgressListener() == nullptr);
  Check(a->GetSettings()->GetCancelPointer() == nullptr);
  CheckResults(*a);
  CheckSavesRestore(*a, scratch);

  // Everything a host may do next: screen, rank, another data pass, rank again.
  const int n = a->GetSettings()->GetNPredictors();
  const int width = n + 4 < 512 ? n + 4 : 512;
  a->CheckPredAllMissConst();
  a->ScreenPredictors();
  a->SortAndRank(0);
  CheckResults(*a);
  SmallIterator more(width, 6);
  a->Accumulate(more, -1);
  a->SortAndRank(2);
  CheckResults(*a);
  SmallIterator noTarget(width, 4);
  std::vector<int> flagged;
  std::vector<std::vector<int>> reasons;
  a->CheckPredictorsNoTarget(noTarget, flagged, reasons, -1);
  for (int index : flagged)
    Check(index >= 0 && index < n);
  CheckResults(*a);
  delete a;
  return true;
}

}  // namespace fsfuzz

#endif  // FSRANK_FUZZ_RESTORE_EXERCISE_H
