#include "domain/resultblock.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "foundation/declarations.h"
#include "input/units.h"

namespace {

// The first non-finite value written since it was last taken; blocks are written on one thread.
bool HasNonFinite = false;
NonFiniteResult FirstNonFinite;

}  // namespace

char* FormatGeneral(char* s, char* end, double v) {
  return std::to_chars(s, end, v, std::chars_format::general, 6).ptr;
}

ResultBlock::ResultBlock(std::ostream& out, const char* name, const char* label, double time, ResultKind kind,
                         const char* components)
    : out_(out), name_(name), time_(time) {
  Text("Result \"");
  Text(name);
  Text("\" \"");
  Text(label);
  Text("\" ");
  Number(time);
  Text(kind == ResultKind::Scalar ? " Scalar OnNodes\n" : kind == ResultKind::Vector ? " Vector OnNodes\n"
                                                                                     : " Matrix OnNodes\n");
  if (components) {
    Text("ComponentNames ");
    Text(components);
    Text("\n");
  }
  Text("Values\n");
}

ResultBlock::~ResultBlock() {
  Text("End Values\n");
  Flush();
}

void ResultBlock::Write(int node, const double* v, int n) {
  Room();
  char* p = buf_ + used_;
  char* const end = buf_ + kSize;
  *p++ = '\t';
  p = std::to_chars(p, end, node).ptr;
  for (int k = 0; k < n; ++k) {
    *p++ = '\t';
    if (!std::isfinite(v[k])) [[unlikely]]
      NoteNonFinite(node, v[k]);
    p = FormatGeneral(p, end, v[k]);
  }
  *p++ = '\n';
  used_ = static_cast<int>(p - buf_);
}

void ResultBlock::NoteNonFinite(int node, double v) const {
  if (HasNonFinite) return;
  HasNonFinite = true;
  FirstNonFinite = NonFiniteResult{name_, time_, node, v};
}

bool ResultBlock::TakeNonFinite(NonFiniteResult& first) {
  if (!HasNonFinite) return false;
  first = FirstNonFinite;
  HasNonFinite = false;
  return true;
}

void ResultBlock::Text(const char* s) {
  // Names and labels may be longer than a line's room: write them through in pieces.
  std::size_t n = std::strlen(s);
  while (n > 0) {
    Room();
    const std::size_t room = static_cast<std::size_t>(kSize - kLine - used_) + 1;
    const std::size_t k = n < room ? n : room;
    std::memcpy(buf_ + used_, s, k);
    used_ += static_cast<int>(k);
    s += k;
    n -= k;
  }
}

void ResultBlock::Number(double v) {
  Room();
  used_ = static_cast<int>(FormatGeneral(buf_ + used_, buf_ + kSize, v) - buf_);
}

void ResultBlock::Flush() {
  out_.write(buf_, used_);
  used_ = 0;
}

double OutputFactor(Magnitude m) {
  return ExternalUnits && InternalUnits ? ExternalUnits->GetTransFact(InternalUnits, m) : 1.0;
}
