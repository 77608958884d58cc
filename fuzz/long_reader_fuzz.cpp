// libFuzzer target of the fsrank program: the input as a long-form data file
// (tool_readers_exercise.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "tool_readers_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fsfuzz::ExerciseLongReader(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
