// The host doubles every test folder shares; they see only the exported interface, so that host
// tests (linked against libfsrank.so) use them as well as unit tests: an in-memory record
// iterator that counts how it is called, a listener that records what it hears, and a cancel
// object that says yes from its k-th question on.
#ifndef FSRANK_TESTS_COMMON_HOSTS_H
#define FSRANK_TESTS_COMMON_HOSTS_H

#include <cstddef>
#include <vector>

#include "fsrank/fsrank.h"

namespace testhosts {

using Rows = std::vector<std::vector<double>>;

// Hands out its rows in order; a row becomes a Record of exactly its size.
class RowIterator : public NQCommon::RecordIterator {
 public:
  explicit RowIterator(const Rows& rows) {
    for (const std::vector<double>& row : rows) {
      fRecords.emplace_back(static_cast<int>(row.size()));
      for (std::size_t j = 0; j < row.size(); ++j)
        fRecords.back()[static_cast<int>(j)] = row[j];
    }
  }
  bool Next() override { return ++nextCalls, ++fPos < fRecords.size(); }
  NQCommon::Record* GetRecord() override {
    ++getCalls;
    return fPos < fRecords.size() ? &fRecords[fPos] : nullptr;
  }
  int nextCalls = 0, getCalls = 0;

 private:
  std::vector<NQCommon::Record> fRecords;
  std::size_t fPos = static_cast<std::size_t>(-1);
};

class RecordingListener : public ProgressListener {
 public:
  void OnProgress(ProgressReport& report) override {
    records.push_back(report.DiscreteMeasure("records"));
    predictors.push_back(report.DiscreteMeasure("predictors"));
    elapsed.push_back(report.ScaleMeasure("elapsedTime"));
  }
  std::vector<int> records, predictors;
  std::vector<double> elapsed;
};

// Answers true from its k-th question on (k = 1: at once).
class CancelAt : public NQQueryCancel {
 public:
  explicit CancelAt(int k) : fnAt(k) {}
  bool IsCancelRequested() override { return ++asked >= fnAt; }
  int asked = 0;

 private:
  int fnAt;
};

}  // namespace testhosts

#endif  // FSRANK_TESTS_COMMON_HOSTS_H
