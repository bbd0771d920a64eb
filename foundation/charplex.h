// Growable character buffer addressed from 1, in a ring of fixed-size chunks.
#pragma once

#include <ostream>

#include "foundation/chunkring.h"

/// One chunk of a CharPlex.
using CharChunk = RingChunk<char>;

/// Append-only character buffer; positions 1 .. nextPos - 1 are filled.
class CharPlex : public ChunkRing<char> {
 public:
  /// Empty buffer with chunks of chunkSize characters.
  explicit CharPlex(int chunkSize) : ChunkRing<char>(chunkSize) {}
  /// Makes the chunk holding position p cached; fatal outside the buffer.
  void cache(int p);
};

/// Writes the buffer's characters in order.
std::ostream& operator<<(std::ostream& out, CharPlex& buffer);
