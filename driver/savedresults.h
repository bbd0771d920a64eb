// Reader of a saved result file (.res.bak): its result blocks one after the other, each with its
// name, its time and its node lines, for the tools that rebuild a restart or average results.
#pragma once

#include <istream>
#include <string>
#include <vector>

/// The result blocks of a saved result file, read in file order.
class SavedResults {
 public:
  /// Reads the blocks of `in` (borrowed), which stands at the start of the file.
  explicit SavedResults(std::istream& in) : in_(in) {}

  /// Moves to the next "Result" word and reads the block's name; false at end of file.
  bool Next();
  /// Name of the current block as written, without its quotes ("VELOCITY").
  const std::string& Name() const { return name_; }
  /// True when the current block is called exactly `name`.
  bool Is(const char* name) const { return name_ == name; }
  /// The block's time: the first number after its name (fatal when the file ends first).
  double Time();
  /// Reads the block's node lines, `n` values each, numbered 1, 2, 3 ... into `values`: the
  /// values of node i are entries n (i - 1) to n i - 1. Returns the count of nodes.
  int Values(int n, std::vector<double>& values);

 private:
  std::istream& in_;  ///< the saved result file
  std::string name_;  ///< name of the current block
};
