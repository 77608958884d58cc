// libFuzzer target: the input as a binary state file, restored and used (restore_exercise.h).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "restore_exercise.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fsfuzz::SilenceReaderMessages();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string scratch = "/tmp/fsrank_fuzz_binary_" + std::to_string(getpid());
  fsfuzz::RestoreAndExercise(data, size, fsfuzz::Form::Binary, scratch);
  return 0;
}
