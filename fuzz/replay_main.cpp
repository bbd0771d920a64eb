// Replay of a fuzz target's corpus: each file (in name order, at most a
// given count) runs in a child process, where the system's fatal stop is a
// clean end. A signal, another exit status or a sanitizer report fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"
#include "tests/support/child.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [MAX_INPUTS]\n", argv[0]);
    return 2;
  }
  const std::size_t most = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(argv[1]))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  if (files.size() > most) files.resize(most);
  int failed = 0;
  for (const auto& path : files) {
    const std::string bytes = olvu_test::ReadFile(path.string());
    auto r = olvu_test::RunInChild([&] {
      olvu_fuzz::FuzzOne(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    });
    const bool report = r.err.find("Sanitizer") != std::string::npos || r.err.find("runtime error") != std::string::npos;
    if (r.signaled || (r.status != 0 && r.status != 1) || report) {
      ++failed;
      std::fprintf(stderr, "%s: status %d%s\n%s\n", path.c_str(), r.status, r.signaled ? " (signal)" : "",
                   r.err.c_str());
    }
  }
  std::printf("%zu inputs, %d failed\n", files.size(), failed);
  return failed ? 1 : 0;
}
