// A data record (an owned row of doubles) and the host's source of records.
#ifndef FSRANK_RECORD_H
#define FSRANK_RECORD_H

#include "fsrank/export.h"

namespace NQCommon {

class FSRANK_API Record {
 public:
  // n values, all 0.0; a negative n gives one value. An allocation failure is absorbed: the
  // record then has size 0 and no values.
  explicit Record(int n = 2);
  Record(const Record& other);
  Record& operator=(const Record& other);
  ~Record();

  int Size() const { return fnSize; }
  double* GetAll() { return fpValues; }
  const double* GetAll() const { return fpValues; }
  // No bounds check: i must lie in 0 to Size() - 1.
  double& operator[](int i) { return fpValues[i]; }
  double operator[](int i) const { return fpValues[i]; }

  // Changes the number of values. The same size keeps everything and returns true; otherwise
  // the values are unspecified afterwards. False (record unchanged) when allocation fails.
  bool Resize(int n);

 private:
  double* fpValues;
  int fnSize;
};

// Implemented by the host. The library calls Next() before the first record and after each
// record it processed, reads GetRecord() until the next Next(), never rewinds and never frees
// the record. A null record ends the pass.
class RecordIterator {
 public:
  virtual ~RecordIterator() = default;
  virtual bool Next() = 0;
  virtual Record* GetRecord() = 0;
};

}  // namespace NQCommon

#endif  // FSRANK_RECORD_H
