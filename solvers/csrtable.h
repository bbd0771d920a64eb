// Compressed-row table: rows of values in one flat array, each row filled in order.
#pragma once

#include <type_traits>
#include <vector>

#include "foundation/error.h"

/// Compressed-row table of values: row pointers, entries and a free-entry marker.
/// Rows and columns are numbered from `base()` (1 for node tables); raw arrays are 0-based.
template <class T>
class CSR {
 public:
  /// Table of `nrows` rows whose lengths are lengths[0 .. nrows-1], every entry free.
  CSR(int nrows, const int* lengths, T free_mark = T(), int base = 1)
      : base_(base), free_(free_mark) {
    if (nrows < 0) OLVU_FATAL("Wrong CSR dimension\n");
    row_ptr_.assign(nrows + 1, 0);
    for (int i = 0; i < nrows; ++i) {
      if (lengths[i] < 0) OLVU_FATAL("Wrong CSR dimension\n");
      row_ptr_[i + 1] = row_ptr_[i] + lengths[i];
    }
    if (row_ptr_[nrows] < 1) OLVU_FATAL("CSR size must be greater than 0\n");
    entries_.assign(row_ptr_[nrows], free_mark);
    fill_.assign(nrows, 0);
  }

  /// Number of rows.
  int nrows() const { return static_cast<int>(row_ptr_.size()) - 1; }
  /// Number of the first row and of the first column.
  int base() const { return base_; }
  /// Number of entries (free ones included).
  int nnz() const { return row_ptr_.back(); }
  /// The marker of a free entry.
  T free_mark() const { return free_; }
  /// Row pointers, nrows+1 entries, 0-based.
  const int* row_ptr() const { return row_ptr_.data(); }
  /// All entries in row order.
  const T* entries() const { return entries_.data(); }
  T* entries() { return entries_.data(); }
  /// Length of row r (numbered from base()).
  int row_size(int r) const { return row_ptr_[r - base_ + 1] - row_ptr_[r - base_]; }
  /// First entry of row r (numbered from base()).
  const T* row(int r) const { return entries_.data() + row_ptr_[r - base_]; }

  /// Puts v into the first free place of row r (numbered from base()).
  void add(int r, T v) {
    const int i = r - base_;
    if (fill_[i] == row_ptr_[i + 1] - row_ptr_[i])
      OLVU_FATAL("Wrong Row " << r << " definition: Row lenght " << fill_[i] << "\n");
    entries_[row_ptr_[i] + fill_[i]++] = v;
  }

  /// Declares every row full after its entries were written through entries().
  void mark_filled() {
    for (int i = 0; i < nrows(); ++i) fill_[i] = row_ptr_[i + 1] - row_ptr_[i];
  }

  /// True when every entry is filled and, for an integer table, names a column base .. base+nrows-1.
  bool valid() const {
    if (nrows() < 1 || row_ptr_[0] != 0) return false;
    for (int i = 0; i < nrows(); ++i)
      if (row_ptr_[i + 1] < row_ptr_[i]) return false;
    for (const T& e : entries_) {
      if (e == free_) return false;
      if constexpr (std::is_integral_v<T>)
        if (e < base_ || e >= base_ + nrows()) return false;
    }
    return true;
  }

 private:
  int base_;
  T free_;
  std::vector<int> row_ptr_;
  std::vector<T> entries_;
  std::vector<int> fill_;  // entries already placed in each row
};
