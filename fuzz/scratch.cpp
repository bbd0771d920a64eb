#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_target.h"

namespace olvu_fuzz {

void WriteScratch(const char* name, const std::string& bytes) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

}  // namespace olvu_fuzz
