// Reader of a saved result file (.res.bak): its result blocks one after the other, each with its
// name, its time and its node lines, for the tools that rebuild a restart or average results.
#pragma once

#include <initializer_list>
#include <istream>
#include <string>
#include <vector>

class FluidDomain;
class IntVec;
class ReaVec;

/// `text` without one pair of enclosing double quotes (unchanged when it has none).
std::string Unquoted(const std::string& text);

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

/// The last saved block of one field: `n` values per problem node, for nodes 1 to `count`.
struct SavedField {
  int count = 0;               ///< nodes of the block (0: no block saved)
  std::vector<double> values;  ///< the values of node i at n (i - 1) to n i - 1
};

/// Stores `saved` into the nodal vectors `ids` of `fluid` (one vector per value of a node), node i
/// at its domain number `globalToLocal`(i), converted back to internal units: divided by `factor`
/// and, when `density` is given, by the node's density. Nodes outside the domain are skipped, and
/// nothing is stored when one of the vectors is not in use (not sized to the domain).
void RestoreField(FluidDomain& fluid, const IntVec& globalToLocal, const SavedField& saved,
                  std::initializer_list<int> ids, double factor, const ReaVec* density);
