#include "driver/savedresults.h"

#include "foundation/error.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "mesh/mesh.h"
#include "mesh/textscan.h"

bool SavedResults::Next() {
  // The header line's "Results" also matches: its name ("File") is simply none of the fields.
  if (!SeekLowerWord(in_, "result")) return false;
  SkipSeparators(in_);
  name_ = ReadWord(in_);
  if (name_.size() >= 2 && name_.front() == '"' && name_.back() == '"') name_ = name_.substr(1, name_.size() - 2);
  return true;
}

double SavedResults::Time() {
  SkipToDigit(in_);
  double t = 0;
  if (ScanReal(in_, t) != kScanOk) OLVU_FATAL("Wrong time of result " << name_ << " in saved result file\n");
  return t;
}

int SavedResults::Values(int n, std::vector<double>& values) {
  FindLowerWord(in_, "values");
  Plex<ReaVec> table(100, "Saved Values");
  ReadReaVecFromAscii(in_, &table, n);
  // The list reader has checked that the entries run 1, 2, 3 ... without a gap.
  const int count = table.high;
  values.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(n), 0.0);
  int i = 0;
  while (ReaVec* v = table.next(i)) {
    const std::size_t at = static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n);
    for (int k = 0; k < n; ++k) values[at + static_cast<std::size_t>(k)] = (*v)(static_cast<unsigned>(k + 1));
    delete v;
  }
  return count;
}
