// Growable int array addressed from 1, in a ring of fixed-size chunks.
#pragma once

#include <ostream>

#include "foundation/chunkring.h"

/// One chunk of an IntPlex.
using IntChunk = RingChunk<int>;

/// Append-only int array; positions 1 .. nextPos - 1 are filled.
class IntPlex : public ChunkRing<int> {
 public:
  /// Empty array with chunks of chunkSize values.
  explicit IntPlex(int chunkSize) : ChunkRing<int>(chunkSize) {}
  /// Makes the chunk holding position p cached; fatal outside the array.
  void cache(int p);
};

/// Writes every value followed by a tab, with "\n\t" before each position that is a multiple of 12.
std::ostream& operator<<(std::ostream& out, IntPlex& values);
