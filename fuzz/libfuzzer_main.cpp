// libFuzzer entry of a fuzz target. The system's fatal stop ends the process
// with std::exit; linked with --wrap=exit, an exit while an input runs
// becomes an exception caught here, so the stack unwinds (nothing leaks) and
// the fuzzer goes on with the next input: a fatal stop is a clean end.
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_target.h"

namespace {

struct FatalStop {};

bool running = false;

}  // namespace

extern "C" [[noreturn]] void __real_exit(int status);

extern "C" [[noreturn]] void __wrap_exit(int status) {
  if (running) throw FatalStop{};
  __real_exit(status);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  running = true;
  try {
    olvu_fuzz::FuzzOne(data, size);
  } catch (const FatalStop&) {
  }
  running = false;
  return 0;
}
