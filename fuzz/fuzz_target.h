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

/// A file of the working directory holding an input, removed however the input ends.
class ScratchFile {
 public:
  /// Writes bytes to the file name (the harness aborts when it cannot).
  ScratchFile(const char* name, const std::string& bytes);
  /// Removes the file.
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  /// The file name.
  const char* name() const { return name_; }

 private:
  const char* name_;  ///< the file name
};

}  // namespace olvu_fuzz
