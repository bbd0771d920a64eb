// Level scheduling of sparse triangular solves: the rows grouped so that
// each row depends only on rows of earlier levels, and the rule for when forking them pays.
#pragma once

#include <vector>

/// The rows of a triangle in levels: row rows[k], k in ptr[l] .. ptr[l+1]-1, lies in level l,
/// and each row's off-diagonal columns are rows of earlier levels. Rows increase within a level.
struct SolveLevels {
  std::vector<int> ptr;   ///< start of each level in rows, levels + 1 entries (empty: none found)
  std::vector<int> rows;  ///< the rows, level after level
  /// Number of levels.
  int count() const { return ptr.empty() ? 0 : static_cast<int>(ptr.size()) - 1; }
  /// True when forking each level over the threads pays (see LevelsPay).
  bool pay() const;
};

/// A triangle copied in the order of its levels, so that the rows of a level lie side by side
/// and a forked solve streams through them: position p holds row levels.rows[p], its entries in
/// their order, their columns as positions.
struct LevelTriangle {
  SolveLevels levels;          ///< levels of the rows (ptr indexes positions)
  std::vector<int> ptr;        ///< start of each position's entries
  std::vector<int> col;        ///< column of each entry, as a position
  std::vector<int> src;        ///< where each entry's value lies in the factor's values
  std::vector<double> val;     ///< the values, taken by Refresh
  std::vector<int> neighbour;  ///< position of the row solved just before in row order, -1 for the first
};

/// Levels and copied pattern of the n-row square triangle with row starts pntr and columns indx
/// (see FindLevels), whose entry k takes its value from entry src[k] of the factor's values
/// (from entry offset + k without src).
void Arrange(LevelTriangle& t, int n, const int* pntr, const int* indx, const int* src, int offset, bool forward);
/// Takes the triangle's values from the factor's values, forked.
void Refresh(LevelTriangle& t, const double* values);

/// Levels of the n-row triangle with row starts pntr and columns indx (0-based): row i depends
/// on its columns j below i (forward) or above i (backward); the diagonal and columns from n on
/// are no dependencies.
void FindLevels(SolveLevels& lv, int n, const int* pntr, const int* indx, bool forward);

/// Average rows a level must hold for a forked level solve to pay, as a share of ThreadedMin():
/// each level costs a join of the threads (about a microsecond), a row some nanoseconds.
inline constexpr int kLevelRowsShare = 32;

/// True when n rows in `levels` levels are worth solving level by level: several threads, n at
/// least ThreadedMin() and on average ThreadedMin() / kLevelRowsShare rows per level.
bool LevelsPay(int n, int levels);
