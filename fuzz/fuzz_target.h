// The entry every fuzz target defines: one input through one reader. The
// libFuzzer driver and the corpus replay call it; the system's fatal stop is
// a clean end of an input in both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace olvu_fuzz {

/// Runs one input; it may end the run with the system's fatal stop.
void FuzzOne(const std::uint8_t* data, std::size_t size);

/// The input as text (bytes after a NUL are kept; readers of C strings stop there).
inline std::string Text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

/// Writes bytes to the file name in the working directory (fatal to the harness when it cannot).
void WriteScratch(const char* name, const std::string& bytes);

}  // namespace olvu_fuzz
