#include "fsrank/record.h"

#include <cstddef>
#include <new>

namespace NQCommon {

Record::Record(int n) : fpValues(nullptr), fnSize(n < 0 ? 1 : n) {
  if (fnSize == 0) return;
  fpValues = new (std::nothrow) double[static_cast<size_t>(fnSize)];
  if (fpValues == nullptr) {
    fnSize = 0;
    return;
  }
  for (int i = 0; i < fnSize; ++i)
    fpValues[i] = 0.0;
}

Record::Record(const Record& other) : fpValues(nullptr), fnSize(0) {
  if (other.fnSize < 1) return;
  fpValues = new double[static_cast<size_t>(other.fnSize)];
  fnSize = other.fnSize;
  for (int i = 0; i < fnSize; ++i)
    fpValues[i] = other.fpValues[i];
}

Record& Record::operator=(const Record& other) {
  if (this == &other) return *this;
  if (fnSize != other.fnSize) {
    double* fresh = other.fnSize > 0 ? new double[static_cast<size_t>(other.fnSize)] : nullptr;
    delete[] fpValues;
    fpValues = fresh;
    fnSize = other.fnSize > 0 ? other.fnSize : 0;
  }
  for (int i = 0; i < fnSize; ++i)
    fpValues[i] = other.fpValues[i];
  return *this;
}

Record::~Record() {
  delete[] fpValues;
}

bool Record::Resize(int n) {
  if (n == fnSize) return true;
  const int size = n > 0 ? n : 0;
  double* fresh = nullptr;
  if (size > 0) {
    fresh = new (std::nothrow) double[static_cast<size_t>(size)];
    if (fresh == nullptr) return false;
  }
  delete[] fpValues;
  fpValues = fresh;
  fnSize = size;
  return true;
}

}  // namespace NQCommon
