// Packed upper Hessenberg matrix of the restarted GMRES.
#pragma once

#include <ostream>
#include <vector>

/// Upper Hessenberg matrix of m columns in packed storage: with layout 0 entry (k, i), 0-based,
/// is at i(i+1)/2 + k, so the subdiagonal (i+1, i) shares its place with (0, i+1), which GMRES
/// writes only after (i+1, i) has been rotated away; layout 1 counts from 1.
class HMatrix {
 public:
  /// m columns (below 1 is fatal), packed storage of m(m+1)/2 + 1 values set to 0.
  explicit HMatrix(int m, int layout = 0);
  HMatrix(const HMatrix&) = delete;
  HMatrix& operator=(const HMatrix&) = delete;

  /// Entry (k, i) in the numbering of the layout.
  double& operator()(int k, int i) { return values[Index(k, i)]; }
  /// Entry (k, i) in the numbering of the layout.
  double operator()(int k, int i) const { return values[Index(k, i)]; }
  /// Number of columns.
  int columns() const { return m; }
  /// Listing of rows 1..m, entries below the diagonal shown as 0.
  void printTo(std::ostream& os) const;

 private:
  long Index(int k, int i) const {
    return layout == 0 ? static_cast<long>(i) * (i + 1) / 2 + k : static_cast<long>(i - 1) * i / 2 + k - 1;
  }
  int m;           ///< number of columns
  int layout;      ///< 0: 0-based packed columns; 1: 1-based
  std::vector<double> values;  ///< packed entries
};

/// Writes the listing of printTo.
std::ostream& operator<<(std::ostream& os, const HMatrix& h);
