// A mesh node: a point (its coordinates are the vector entries) with three
// integer numbering slots, shared by every mesh, element and domain.
#pragma once

#include <istream>
#include <ostream>

#include "foundation/reavec.h"

/// A point with its coordinates and three numberings: slot 0 the problem-wide number,
/// slot 1 the fluid-domain number, slot 2 the solid-domain number (all 0 at creation).
class Node : public ReaVec {
 public:
  int num[3] = {0, 0, 0};  ///< numbering slots, indexed by slot

  /// Node at the origin with ncoord coordinates (the problem's nodes have three).
  explicit Node(unsigned ncoord);

  /// Number of the node in numbering slot `slot` (0, 1 or 2).
  int Num(int slot = 0) const { return num[slot]; }

  /// Reads one node line (number, then the coordinates); the rest of the line is dropped.
  /// Returns 0, with only white space consumed, when the next token is not an integer;
  /// a coordinate that cannot be read ends the run.
  int ReadFromAscii(std::istream& in);
};

/// Reads one node line into nd (Node::ReadFromAscii).
std::istream& operator>>(std::istream& in, Node& nd);
/// Writes one node line: the number in width 5, each coordinate in width 15.
std::ostream& operator<<(std::ostream& out, const Node& nd);
/// Squared Euclidean distance over x, y, z (both nodes have three coordinates).
double dist2(const Node* a, const Node* b);
