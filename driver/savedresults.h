// Reader of a saved result file (.res.bak): its result blocks one after the other, each with its
// name, its time and its node lines, for the tools that rebuild a restart or average results.
#pragma once

#include <initializer_list>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "mesh/textscan.h"

class FluidDomain;
class IntVec;
class ReaVec;

/// `text` without one pair of enclosing double quotes (unchanged when it has none).
std::string Unquoted(const std::string& text);

/// One saved block of a field: `n` values for each node it lists.
struct SavedField {
  std::vector<int> nodes;      ///< problem-wide numbers of the listed nodes, increasing (empty: no block)
  std::vector<double> values;  ///< the values of nodes[e] at n e to n e + n - 1
};

/// The result blocks of a saved result file, read in file order.
class SavedResults {
 public:
  /// Reads the blocks of `in` (borrowed), which stands at the start of the file; `file`, when
  /// given, is named in the messages of a fault in it.
  explicit SavedResults(std::istream& in, const std::string& file = "");

  /// Moves to the next "Result" word and reads the block's name; false at end of file.
  bool Next();
  /// Name of the current block as written, without its quotes ("VELOCITY").
  const std::string& Name() const { return name_; }
  /// True when the current block is called exactly `name`.
  bool Is(const char* name) const { return name_ == name; }
  /// The block's time: the first number after its name (fatal when the file ends first).
  double Time();
  /// Reads the block's node lines, `n` values each, into `field`. The node numbers must increase
  /// but may skip the nodes of no domain, which a result block leaves out. Returns the count of lines.
  int Values(int n, SavedField& field);

 private:
  std::istream& in_;  ///< the saved result file
  std::unique_ptr<StreamName> file_;  ///< its name in messages (null: not given)
  std::string name_;  ///< name of the current block
};

/// Stores `saved` into the nodal vectors `ids` of `fluid` (one vector per value of a node), node i
/// at its domain number `globalToLocal`(i), converted back to internal units: divided by `factor`
/// and, when `density` is given, by the node's density. Nodes outside the domain are skipped, nodes
/// the block does not list keep their values, and nothing is stored when one of the vectors is not
/// in use (not sized to the domain).
void RestoreField(FluidDomain& fluid, const IntVec& globalToLocal, const SavedField& saved,
                  std::initializer_list<int> ids, double factor, const ReaVec* density);
