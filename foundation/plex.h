// Named sparse table of pointers indexed from 1, stored in chunks on a ring
// ordered by index, with a cached current chunk. A sorted array of the chunks
// lets a lookup far from the current chunk bisect instead of walking the ring.
#pragma once

#include <algorithm>
#include <climits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/assert.h"
#include "foundation/error.h"

/// Named sparse 1-based table of pointers to T; never owns what it points to.
template <class T>
class Plex {
 public:
  /// A run of chunksize slots on the ring.
  struct Chunk {
    std::unique_ptr<T*[]> items;  ///< slot k holds index lo + k
    int lo;       ///< first index of the chunk
    int hi;       ///< last index of the chunk
    Chunk* next;  ///< chunk of the next higher range; from the highest back to head
    Chunk* prev;  ///< chunk of the next lower range; from head to the highest
  };

  Chunk* head;      ///< chunk with the lowest range, kept for the table's life (owned by the chunk array)
  int chunksize;    ///< slots per chunk
  mutable Chunk* current;  ///< the chunk located last (a lookup cache, moved by const lookups too)
  int low = 0;      ///< lowest occupied index; 0 when empty
  int high = 0;     ///< highest index in use; 0 when empty
  int count = 0;    ///< stores minus removals since construction
  std::string name; ///< the table's name, used in every message

  /// Empty table with a copy of name.
  Plex(int chunksize, const char* name) : chunksize(chunksize), name(name ? name : "") {
    if (chunksize <= 0) OLVU_FATAL("Invalid ructor specification in Plex " << this->name << "\n");
    init();
  }
  /// Empty table named "Type".
  explicit Plex(int chunksize) : chunksize(chunksize) {
    if (chunksize <= 0) OLVU_FATAL("Invalid ructor specification in Plex\n");
    init();
    name = "Type";
  }
  Plex(const Plex&) = delete;
  Plex& operator=(const Plex&) = delete;
  ~Plex() = default;

  /// Makes the chunk of i current, creating it empty if absent; fatal outside [low, high].
  void cache(int i) {
    if (i >= current->lo && i <= current->hi && i >= low && i <= high) return;
    locate(i);
  }

  /// The pointer at i; fatal if the slot is empty.
  T* get_at(int i) { return lookup(i); }
  /// The pointer at i of a const table; fatal if the slot is empty.
  const T* get_at(int i) const { return lookup(i); }

  /// The next occupied entry above i, with i moved there; null and i = 0 past the end.
  T* next(int& i) { return step_up(i); }
  /// As next, on a const table.
  const T* next(int& i) const { return step_up(i); }

  /// The next occupied entry below i, with i moved there; null and i = 0 past the start.
  T* prev(int& i) { return step_down(i); }
  /// As prev, on a const table.
  const T* prev(int& i) const { return step_down(i); }

  /// Stores p at i; fatal if i already holds a pointer and p is not null.
  void set_at(int i, T* p) { store(i, p, true); }
  /// Stores p at i, overwriting.
  void put_at(int i, T* p) { store(i, p, false); }
  /// The same as put_at.
  void replace(int i, T* p) { store(i, p, false); }
  /// Stores p at high + 1 and gives that index.
  int append(T* p) {
    if (high == INT_MAX) OLVU_FATAL("Invalid Plex " << name << " index " << (long long)high + 1 << "\n");
    ++high;
    set_at(high, p);
    return high;
  }
  /// Empties slot i, keeping low, high and count in step.
  void remove_at(int i);
  /// 1 if index i holds no pointer, else 0.
  int free(int i) const {
    if (i < low || i > high) return 1;
    if (i <= 0) OLVU_FATAL("Invalid Plex " << name << " index " << i << "\n");  // index 0 of an empty table
    Chunk* c = find(i);
    return !c || c->items[i - c->lo] == nullptr;
  }
  /// Empties the table, keeping only head; count is kept.
  void clear();
  /// Replaces the name.
  void rename(const char* n) { name = n ? n : ""; }

 private:
  // The chunk of index i starts at chunksize * ((i - 1) / chunksize) + 1.
  int chunk_lo(int i) const { return chunksize * ((i - 1) / chunksize) + 1; }
  // Last index of a chunk, kept representable near INT_MAX.
  int chunk_hi(int lo) const {
    long long hi = (long long)lo + chunksize - 1;
    return hi > INT_MAX ? INT_MAX : (int)hi;
  }

  void init() {
    chunks.push_back({1, make_chunk(1)});
    head = current = chunks[0].chunk.get();
    head->next = head->prev = head;
  }

  std::unique_ptr<Chunk> make_chunk(int lo) {
    return std::make_unique<Chunk>(Chunk{std::make_unique<T*[]>(chunksize), lo, chunk_hi(lo), nullptr, nullptr});
  }

  // Releases every chunk but head and resets the table to empty.
  void empty();

  // Every chunk of the ring by ascending first index, owning it; the index is kept
  // beside the pointer so bisection stays inside this array.
  struct Entry {
    int lo;
    std::unique_ptr<Chunk> chunk;
  };
  std::vector<Entry> chunks;

  // The pointer at i, or the fatal report of an empty or invalid index.
  T* lookup(int i) const {
    OLVU_ASSERT_SERIAL("Plex " << name);
    Chunk* c = current;
    if (i >= c->lo && i <= c->hi) {
      // Occupied slots always lie inside [low, high], so a hit needs no range test.
      if (T* p = c->items[i - c->lo]) {
        OLVU_ASSERT(i >= low && i <= high, "Plex " << name << " index " << i << " outside " << low << ".." << high);
        return p;
      }
    }
    return get_far(i);
  }

  // The next occupied entry above i; the current chunk is scanned inline.
  T* step_up(int& i) const {
    OLVU_ASSERT_SERIAL("Plex " << name);
    Chunk* c = current;
    if (i >= c->lo && i < c->hi && i < high) {
      T** it = c->items.get();
      for (int k = i + 1 - c->lo, e = c->hi - c->lo; k <= e; ++k)
        if (it[k]) {
          i = c->lo + k;
          return it[k];
        }
      i = c->hi;
    }
    return next_far(i);
  }

  // The chunk holding index i, made current; null when i is outside [low, high]
  // or in a gap no chunk covers. Never creates a chunk.
  Chunk* find(int i) const;
  // The chunk of the lowest range above i (one exists while i < high).
  Chunk* chunk_above(int i) const {
    return std::upper_bound(chunks.begin(), chunks.end(), i, [](int v, const Entry& e) { return v < e.lo; })->chunk.get();
  }

  [[gnu::noinline]] void locate(int i);
  [[gnu::noinline]] T* get_far(int i) const;
  [[gnu::noinline]] T* next_far(int& i) const;
  T* step_down(int& i) const;
  void store(int i, T* p, bool unique);
};

template <class T>
typename Plex<T>::Chunk* Plex<T>::find(int i) const {
  OLVU_ASSERT_SERIAL("Plex " << name);
  if (i <= 0 || i < low || i > high) return nullptr;
  if (i >= current->lo && i <= current->hi) return current;
  // Runs of neighbouring indices mostly step to an adjacent chunk.
  for (Chunk* k : {current->next, current->prev})
    if (i >= k->lo && i <= k->hi) return current = k;
  // Chunks start at multiples of chunksize, so in a table without gaps the
  // chunk of i is found by arithmetic; bisection serves the sparse tables.
  const long long guess = (long long)(i - 1) / chunksize - (long long)(chunks[0].lo - 1) / chunksize;
  if (guess >= 0 && guess < (long long)chunks.size() && chunks[guess].lo == chunk_lo(i))
    return current = chunks[guess].chunk.get();
  auto above = std::upper_bound(chunks.begin(), chunks.end(), i, [](int v, const Entry& e) { return v < e.lo; });
  if (above != chunks.begin() && i <= above[-1].chunk->hi) return current = above[-1].chunk.get();
  return nullptr;
}

template <class T>
void Plex<T>::locate(int i) {
  if (i <= 0 || i < low || i > high) OLVU_FATAL("Invalid Plex " << name << " index " << i << "\n");
  if (find(i)) return;
  auto above = std::upper_bound(chunks.begin(), chunks.end(), i, [](int v, const Entry& e) { return v < e.lo; });
  // A new chunk goes between its lower and higher neighbours; below all others it becomes head.
  std::unique_ptr<Chunk> made = make_chunk(chunk_lo(i));
  Chunk* c = made.get();
  Chunk* k = above == chunks.begin() ? head->prev : above[-1].chunk.get();
  c->prev = k;
  c->next = k->next;
  k->next->prev = c;
  k->next = c;
  if (above == chunks.begin()) head = c;
  chunks.insert(above, {c->lo, std::move(made)});
  current = c;
}

template <class T>
T* Plex<T>::get_far(int i) const {
  if (i <= 0 || i < low || i > high) OLVU_FATAL("Invalid Plex " << name << " index " << i << "\n");
  Chunk* c = find(i);
  T* p = c ? c->items[i - c->lo] : nullptr;
  if (!p) OLVU_FATAL("Do not exist index " << i << " in Plex " << name << "\n");
  return p;
}

template <class T>
T* Plex<T>::next_far(int& i) const {
  if (low == 0 || i >= high) {
    i = 0;
    return nullptr;
  }
  if (i < low) {
    i = low;
    return lookup(low);
  }
  Chunk* k = find(i);
  bool scanFromLo = false;
  if (!k) {  // i lies in a gap: the scan starts at the first slot of the chunk above
    k = current = chunk_above(i);
    i = k->lo;
    scanFromLo = true;
  }
  for (;;) {
    if (scanFromLo) {
      scanFromLo = false;
    } else if (i == k->hi) {
      if (k->next == head) {  // back at the start of the ring
        i = 0;
        return nullptr;
      }
      k = k->next;
      current = k;
      i = k->lo;
    } else {
      ++i;
    }
    T** it = k->items.get();
    while (i < k->hi && !it[i - k->lo]) ++i;
    if (T* p = it[i - k->lo]) return p;
  }
}

template <class T>
T* Plex<T>::step_down(int& i) const {
  OLVU_ASSERT_SERIAL("Plex " << name);
  if (low == 0 || i <= low) {
    i = 0;
    return nullptr;
  }
  if (i > high) {
    i = high;
    return lookup(high);
  }
  Chunk* k = find(i);
  bool scanFromHi = false;
  if (!k) {  // i lies in a gap: the scan starts at the last slot of the chunk below
    auto above = std::upper_bound(chunks.begin(), chunks.end(), i, [](int v, const Entry& e) { return v < e.lo; });
    k = current = above[-1].chunk.get();
    i = k->hi;
    scanFromHi = true;
  }
  for (;;) {
    if (scanFromHi) {
      scanFromHi = false;
    } else if (i == k->lo) {
      if (k == head) {  // back at the end of the ring
        i = 0;
        return nullptr;
      }
      k = k->prev;
      current = k;
      i = k->hi;
    } else {
      --i;
    }
    T** it = k->items.get();
    while (i > k->lo && !it[i - k->lo]) --i;
    if (T* p = it[i - k->lo]) return p;
  }
}

template <class T>
void Plex<T>::store(int i, T* p, bool unique) {
  if (i <= 0) OLVU_FATAL("Invalid Plex " << name << " index " << i << "\n");
  if (low == 0) {
    low = high = i;
    current->lo = chunks[0].lo = chunk_lo(i);
    current->hi = chunk_hi(current->lo);
  } else if (i > high) {
    high = i;
  } else if (i < low) {
    low = i;
  }
  ++count;
  cache(i);
  T*& slot = current->items[i - current->lo];
  if (unique && p && slot) OLVU_FATAL("Repeated index " << i << " in Plex " << name << "\n");
  slot = p;
  if (!p && i == low) {
    next(low);
    if (low == 0) empty();
  }
}

template <class T>
void Plex<T>::remove_at(int i) {
  cache(i);
  current->items[i - current->lo] = nullptr;
  if (i == low) {
    next(low);
    if (low == 0) empty();
  } else if (i == high) {
    prev(high);
  }
  --count;
}

template <class T>
void Plex<T>::empty() {
  // head has the lowest range, so it is the first entry; the others go with the rest of the array.
  chunks.resize(1);
  head->next = head->prev = head;
  for (int k = 0; k < chunksize; ++k) head->items[k] = nullptr;
  low = high = 0;
  current = head;
}

template <class T>
void Plex<T>::clear() {
  empty();
}

/// Deletes every entry of a table that owns its entries, then empties it.
template <class T>
void DeleteEntries(Plex<T>& t) {
  int i = 0;
  while (T* p = t.next(i)) delete p;
  t.clear();
}

/// A Plex that owns its entries: each joins it through Adopt, which takes it over, and every
/// entry is deleted with the table (or by DeleteAll). Its users see the Plex; `Entry` is T[]
/// for a table of arrays (a name table of char[]).
template <class T, class Entry = T>
class OwningPlex : public Plex<T> {
 public:
  using Plex<T>::Plex;
  ~OwningPlex() { DeleteAll(); }

  /// Takes p into index i (a taken index is the table's fatal error) and gives its entry.
  T* Adopt(int i, std::unique_ptr<Entry> p) {
    this->set_at(i, p.get());
    return p.release();
  }
  /// Takes p into the next index (high + 1) and gives that index.
  int Adopt(std::unique_ptr<Entry> p) {
    const int i = this->append(p.get());
    p.release();
    return i;
  }
  /// Deletes every entry, then empties the table.
  void DeleteAll() {
    int i = 0;
    while (T* p = this->next(i)) std::default_delete<Entry>()(p);
    this->clear();
  }
};

/// Prints the table: a title line, then every entry's PrintTo(out, 0, 0) followed by a tab.
template <class T>
  requires requires(const T& e, std::ostream& o) { e.PrintTo(o, 0, 0); }
std::ostream& operator<<(std::ostream& out, const Plex<T>& table) {
  out << "*** Plex " << table.name << " ***\n";
  int i = 0;
  while (const T* e = table.next(i)) {
    e->PrintTo(out, 0, 0);
    out << "\t";
  }
  return out;
}
