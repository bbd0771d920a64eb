#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_target.h"

namespace olvu_fuzz {

ScratchFile::ScratchFile(const char* name, const std::string& bytes) : name_(name) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

ScratchFile::~ScratchFile() { std::remove(name_); }

}  // namespace olvu_fuzz
