// libFuzzer target of the fsrank program: the input as a wide data file, read row by row, in
// blocks and through the data source (csv_reader_exercise.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "csv_reader_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fsfuzz::ExerciseCsvReader(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
