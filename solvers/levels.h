// Level scheduling of sparse triangular solves and factorisations: the rows grouped so that
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
