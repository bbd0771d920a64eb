#include "driver/savedresults.h"

#include <algorithm>

#include "domain/fluiddomain.h"
#include "foundation/error.h"
#include "foundation/intvec.h"
#include "foundation/reavec.h"
#include "mesh/mesh.h"
#include "mesh/textscan.h"

std::string Unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

SavedResults::SavedResults(std::istream& in, const std::string& file) : in_(in) {
  if (!file.empty()) file_ = std::make_unique<StreamName>(in, "the saved result file \"" + file + "\"");
}

bool SavedResults::Next() {
  // The header line's "Results" also matches: its name ("File") is simply none of the fields.
  // The program writes these files: their words are cut at white space alone.
  if (!SeekLowerWord(in_, "result", kPlainWords)) return false;
  SkipSeparators(in_);
  name_ = Unquoted(ReadWord(in_));
  return true;
}

double SavedResults::Time() {
  SkipToDigit(in_);
  double t = 0;
  if (ScanReal(in_, t) != kScanOk)
    OLVU_FATAL("Wrong time of result " << name_ << " in " << FileOf(in_, "saved result file") << "\n");
  return t;
}

int SavedResults::Values(int n, SavedField& field) {
  FindLowerWord(in_, "values", kPlainWords);
  ReadReaVecFromAscii(in_, n, field.nodes, field.values);
  return static_cast<int>(field.nodes.size());
}

void RestoreField(FluidDomain& fluid, const IntVec& globalToLocal, const SavedField& saved,
                  std::initializer_list<int> ids, double factor, const ReaVec* density) {
  if (saved.nodes.empty()) return;
  for (int id : ids)
    if (fluid.Var(id).length() != static_cast<unsigned>(fluid.numNodes)) return;
  const std::size_t n = ids.size();
  const int last = static_cast<int>(globalToLocal.length());
  for (std::size_t e = 0; e < saved.nodes.size(); ++e) {
    const int i = saved.nodes[e];
    if (i > last) break;  // the numbers increase: the rest lie beyond the problem's nodes too
    const int j = globalToLocal(static_cast<unsigned>(i));
    if (j <= 0) continue;
    double f = factor;
    if (density) f *= (*density)(static_cast<unsigned>(j));
    // A node without density shows 0 pressure whatever it holds: 0 is its value.
    const double* v = &saved.values[e * n];
    std::size_t k = 0;
    for (int id : ids) {
      fluid.Var(id)(static_cast<unsigned>(j)) = f != 0 ? v[k] / f : 0.0;
      ++k;
    }
  }
}
