// Append-only buffer of values addressed from 1, kept in a ring of fixed-size
// chunks so it grows without copying; the common part of CharPlex and IntPlex.
#pragma once

#include <climits>

#include "foundation/error.h"

/// One run of consecutive positions of a ChunkRing.
template <class V>
struct RingChunk {
  V* data;         ///< the values (owned)
  int lo;          ///< first position held
  int hi;          ///< one past the last position filled
  int limit;       ///< one past the last position the chunk can hold
  RingChunk* next; ///< next chunk; the last leads back to the first
  RingChunk* prev; ///< previous chunk; the first leads to the last

  /// A ring of one over storage, holding positions from first up to limit.
  RingChunk(V* storage, int first, int limit)
      : data(storage), lo(first), hi(first), limit(limit), next(this), prev(this) {}
  ~RingChunk() { delete[] data; }
  RingChunk(const RingChunk&) = delete;
  RingChunk& operator=(const RingChunk&) = delete;

  /// Moves the range to start at first, keeping the capacity, and empties the chunk.
  void clear(int first) {
    limit = first + (limit - lo);
    lo = hi = first;
  }
};

/// Append-only ring of chunks of V, positions from 1.
template <class V>
class ChunkRing {
 public:
  using Chunk = RingChunk<V>;

  Chunk* head;     ///< first chunk of the ring
  int nextPos = 1; ///< position the next value gets
  int chunkSize;   ///< values per new chunk
  Chunk* cached;   ///< the chunk used last

  /// Empty buffer whose chunks hold chunkSize values.
  explicit ChunkRing(int chunkSize) : chunkSize(chunkSize) {
    if (chunkSize <= 0) OLVU_FATAL("Invalid ructor specification\n");
    head = cached = make_chunk(1);
  }
  ~ChunkRing() {
    drop_tail();
    delete head;
  }
  ChunkRing(const ChunkRing&) = delete;
  ChunkRing& operator=(const ChunkRing&) = delete;

  /// Appends v at nextPos.
  void add(V v) {
    Chunk* last = head->prev;
    if (last->hi == last->limit) {
      if (last == head && head->hi == head->lo) {
        head->clear(nextPos);
      } else {
        if (nextPos > INT_MAX - chunkSize) OLVU_FATAL("Not space available on heap\n");
        Chunk* c = make_chunk(nextPos);
        c->prev = last;
        c->next = head;
        last->next = c;
        head->prev = c;
        last = c;
      }
    }
    last->data[last->hi - last->lo] = v;
    ++last->hi;
    cached = last;
    ++nextPos;
  }

  /// Drops everything but the first chunk and restarts at position 1; the first chunk's capacity, or 0 when empty.
  int clear() {
    if (nextPos == 1) return 0;
    drop_tail();
    head->clear(1);
    cached = head;
    nextPos = 1;
    return head->limit - head->lo;
  }

 protected:
  /// Makes the chunk holding position p cached; false when p is outside 1 .. nextPos - 1.
  bool locate(int p) {
    Chunk* k = cached;
    while (p >= k->hi) {
      if (k->next == head) return false;
      k = k->next;
    }
    while (p < k->lo) {
      if (k == head) return false;
      k = k->prev;
    }
    cached = k;
    return true;
  }

 private:
  Chunk* make_chunk(int first) {
    return new Chunk(new V[chunkSize], first, first + chunkSize);
  }

  // Frees every chunk but head.
  void drop_tail() {
    for (Chunk* c = head->next; c != head;) {
      Chunk* n = c->next;
      delete c;
      c = n;
    }
    head->next = head->prev = head;
  }
};
