// Fixed-capacity min-heap of item pointers keyed by a double.
#pragma once

#include <memory>
#include <utility>

#include "foundation/error.h"

/// Min-heap of pointers to T keyed by a double; items stay in their slots, only slot numbers move.
template <class T>
class HeapList {
 public:
  /// Empty heap with room for size items (size >= 1).
  explicit HeapList(int size) : size(size) {
    if (size <= 0) OLVU_FATAL("Invalid HeapList size specification\n");
    items = std::make_unique<T*[]>(size);
    keys = std::make_unique<double[]>(size);
    heap = std::make_unique<int[]>(size);
    freeSlots = std::make_unique<int[]>(size);
    for (int s = 0; s < size; ++s) {
      items[s] = nullptr;
      keys[s] = 1e100;
      heap[s] = 0;
    }
  }
  HeapList(const HeapList&) = delete;
  HeapList& operator=(const HeapList&) = delete;

  /// Inserts item with its key; fatal when the heap is full.
  void add(T* item, double key) {
    if (count >= size) OLVU_FATAL("Cannot append item in a full HeapList. Size = " << size << "\n");
    int slot = used < size ? used : freeSlots[--nfree];
    items[slot] = item;
    keys[slot] = key;
    heap[count] = slot;
    if (key > maxval) maxval = key;
    int p = count;
    while (p > 0) {
      int q = (p + 1) / 2 - 1;
      if (!(keys[heap[q]] > keys[heap[p]])) break;
      std::swap(heap[p], heap[q]);
      p = q;
    }
    minval = keys[heap[0]];
    ++count;
    if (used < size) ++used;  // only whether fresh slots remain matters
  }

  /// Removes the item on top; fatal when the heap is empty.
  void rm_top() {
    if (count == 0) OLVU_FATAL("HeapList is empty\n");
    --count;
    int s = heap[0];
    keys[s] = 1e100;
    items[s] = nullptr;
    freeSlots[nfree++] = s;
    heap[0] = heap[count];
    int p = 0;
    for (int l = 1; l < count; l = 2 * p + 1) {
      int c = (l + 1 == count || keys[heap[l]] < keys[heap[l + 1]]) ? l : l + 1;
      if (!(keys[heap[c]] < keys[heap[p]])) break;
      std::swap(heap[p], heap[c]);
      p = c;
    }
    minval = count ? keys[heap[0]] : maxval;
  }

  /// The item of smallest key; null when empty.
  T* top_elm() const { return count ? items[heap[0]] : nullptr; }
  /// Key of the item on top (the largest key ever added once the heap is empty).
  double min_val() const { return minval; }
  /// Number of items in the heap.
  int n_elem() const { return count; }

 private:
  std::unique_ptr<T*[]> items;     ///< item of each slot; null marks a free slot
  std::unique_ptr<double[]> keys;  ///< key of each slot; 1e100 when free
  std::unique_ptr<int[]> heap;     ///< binary heap of slot numbers, top at 0
  std::unique_ptr<int[]> freeSlots; ///< stack of slots freed by rm_top
  double maxval = -1e100;          ///< largest key ever added
  double minval = 1e100;           ///< key of the item on top
  int size;                        ///< number of slots
  int count = 0;                   ///< items in the heap
  int used = 0;                    ///< additions ever made, counted up to size
  int nfree = 0;                   ///< entries of freeSlots
};
