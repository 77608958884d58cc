// libFuzzer target of the fsrank program: the input as the column description saved next to a state
// (tool_readers_exercise.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "tool_readers_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fsfuzz::ExerciseSidecar(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
