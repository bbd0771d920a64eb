// Time integrators, scatter through index vectors and the text forms of ReaVec.
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "foundation/error.h"
#include "foundation/reavec.h"
#include "foundation/vecloop.h"

// ---------------------------------------------------------------- time integrators

void ReaVec::integrate_Euler(const ReaVec& r, double dt) {
  double* t = data;
  const double* q = r.data;
  Each(n, [=](unsigned i) { t[i] += dt * q[i]; });
}

void ReaVec::integrate_FIC(ReaVec& prev, const ReaVec& r, double dt) {
  const double c43 = 1.3333333333333333, c13 = 0.3333333333333333, c23 = 0.6666666666666666 * dt;
  double *t = data, *p = prev.data;
  const double* q = r.data;
  Each(n, [=](unsigned i) {
    double old = t[i];
    t[i] = c43 * old - c13 * p[i] + c23 * q[i];
    p[i] = old;
  });
}

void ReaVec::integrate_AB2(const ReaVec& rprev, const ReaVec& r, double dt) {
  const double h = dt / 2;
  double* t = data;
  const double *q0 = rprev.data, *q = r.data;
  Each(n, [=](unsigned i) { t[i] += h * (3 * q[i] - q0[i]); });
}

void ReaVec::integrate_AB3(const ReaVec& r2, const ReaVec& r1, const ReaVec& r, double dt) {
  const double h = 0.08333333333333333 * dt;
  double* t = data;
  const double *q2 = r2.data, *q1 = r1.data, *q = r.data;
  Each(n, [=](unsigned i) { t[i] += h * (23 * q[i] - 16 * q1[i] + 5 * q2[i]); });
}

// ---------------------------------------------------------------- scatter

// Ends the run unless idx covers src and every target lies inside a vector of n entries.
static void CheckScatter(const IntVec& idx, const ReaVec& src, unsigned n) {
  unsigned m = src.length();
  if (idx.length() < m) OLVU_FATAL("Different lenght vectors " << idx.length() << " != " << m << "\n");
  for (unsigned i = 0; i < m; i++)
    if (idx[i] > 0 && static_cast<unsigned>(idx[i]) > n) OLVU_FATAL("Index " << idx[i] << " out of range.\n");
}

void ReaVec::map(const IntVec& idx, const ReaVec& src, double f) {
  CheckScatter(idx, src, n);
  const double* s = src.data;
  const double g = 1 - f;
  for (unsigned i = 0, m = src.n; i < m; i++) {
    int j = idx[i];
    if (j <= 0) continue;
    data[j - 1] = f == 1 ? s[i] : f * s[i] + g * data[j - 1];
  }
}

void ReaVec::add_map(const IntVec& idx, const ReaVec& src) {
  CheckScatter(idx, src, n);
  const double* s = src.data;
  for (unsigned i = 0, m = src.n; i < m; i++) {
    int j = idx[i];
    if (j > 0) data[j - 1] += s[i];
  }
}

// ---------------------------------------------------------------- text form

// Scientific, upper-case exponent; returns the entry field width (precision + width + 7)
// and clears the pending width so it applies to no other item.
static int EntryFormat(std::ostream& out) {
  int w = static_cast<int>(out.precision() + out.width() + 7);
  out.width(0);
  out.setf(std::ios::scientific, std::ios::floatfield);
  out.setf(std::ios::uppercase);
  return w;
}

// One entry, sign-aligned: " " before a zero or positive value, then the value in width w.
static void WriteEntry(std::ostream& out, double v, int w) {
  if (!(v < 0)) out << ' ';
  out.width(w);
  out << v;
}

std::ostream& operator<<(std::ostream& out, const ReaVec& a) {
  if (a.null()) return out << "\t operator << (Zero size vector)\n";
  std::ios_base::fmtflags flags = out.flags();
  int w = EntryFormat(out);
  const double* p = a.GivePointer();
  for (unsigned i = 0, m = a.length(); i < m; i++) WriteEntry(out, p[i], w);
  out.flush();
  out.flags(flags);
  return out;
}

void ReaVec::PrintTo(std::ostream& out) const { PrintTo(out, 1.0); }

void ReaVec::PrintTo(std::ostream& out, double s) const {
  if (n == 0) OLVU_FATAL("Can not PrintTo (Zero size vector)\n\n");
  int w = EntryFormat(out);
  out << n << "\n";
  for (unsigned i = 0; i < n; i++) WriteEntry(out, s == 1 ? data[i] : data[i] * s, w);
  out << "\n";
}

void ReaVec::WriteAscii(std::ostream& out, const char* name, int precision) const {
  if (n == 0) OLVU_FATAL("Can not WriteAscii (Zero size vector)\n\n");
  out.precision(static_cast<std::streamsize>(static_cast<unsigned>(precision) & 0xffffu));
  int w = EntryFormat(out);
  if (name) out << name << "\t";
  out << "len = " << n << ";\n";
  // The entries as WriteEntry writes them, formatted into a buffer of our own: a formatted-stream
  // call per value would cost several times the formatting itself.
  const int digits = static_cast<int>(out.precision());
  char buf[1 << 16];
  int used = 0;
  char token[400];
  for (unsigned i = 0; i < n; i++) {
    const double v = data[i];
    char* t = token;
    if (!(v < 0)) *t++ = ' ';
    const std::to_chars_result r = std::to_chars(t, token + sizeof token - 2, v, std::chars_format::scientific,
                                                 digits > 300 ? 300 : digits);
    const int len = r.ec == std::errc() ? static_cast<int>(r.ptr - t) : 0;
    if (std::isfinite(v)) {
      // The exponent mark is the only letter of a finite value.
      for (int k = len - 1; k > 0; --k)
        if (t[k] == 'e') {
          t[k] = 'E';
          break;
        }
    } else {
      for (int k = 0; k < len; ++k) t[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[k])));
    }
    if (used + w + len + 4 > static_cast<int>(sizeof buf)) {
      out.write(buf, used);
      used = 0;
    }
    if (t != token) buf[used++] = ' ';
    for (int k = len; k < w; ++k) buf[used++] = ' ';
    std::memcpy(buf + used, t, static_cast<std::size_t>(len));
    used += len;
    buf[used++] = ' ';
  }
  out.write(buf, used);
  out << "\n";
}

namespace {

// Characters of the stream not read yet (LLONG_MAX when it cannot tell).
long long RemainingOf(std::istream& in) {
  if (!in.good()) return 0;  // an ended or failed stream holds no more values
  const std::streampos here = in.tellg();
  if (here == std::streampos(-1)) return LLONG_MAX;
  in.seekg(0, std::ios::end);
  const std::streampos end = in.tellg();
  in.seekg(here);
  return end == std::streampos(-1) ? LLONG_MAX : (long long)(end - here);
}

}  // namespace

void ReaVec::ReadAscii(std::istream& in, const char* name, int resize) {
  const char* what = name ? name : "(unnamed)";
  long long count = -1;
  bool ok = static_cast<bool>(in >> count) && count >= 0 && count <= static_cast<long long>(UINT_MAX);
  if (ok) {
    // The count ends at a blank, a ";" or the end of the text ("3.5" is no count).
    int next = in.peek();
    ok = next == std::char_traits<char>::eof() || next == ';' || std::isspace(next);
    in.clear(in.rdstate() & ~std::ios::eofbit);
  }
  if (!ok) OLVU_FATAL("Wrong data found in ReadAscii of vector " << what << ": no valid length found\n");
  unsigned m = static_cast<unsigned>(count);
  // The count may carry the ";" that WriteAscii puts after it.
  in >> std::ws;
  if (in.peek() == ';') in.get();
  if (m != n) {
    if (!resize) OLVU_FATAL("Wrong data found in ReadAscii\n");
    // A count the rest of the text cannot hold (each value takes a character
    // and a separator) is a short list: report it before taking storage for it.
    if (m > (1u << 20) && RemainingOf(in) < 2LL * m - 1) {
      double skipped;
      unsigned i = 0;
      while (in >> skipped) ++i;
      OLVU_FATAL("Wrong data found in ReadAscii of vector " << what << ": expected " << m << " values, read " << i
                                                               << "\n");
    }
    // Through the virtual resize, so a pool vector takes its new array from the pool.
    this->resize(0);
    this->resize(m);
  }
  for (unsigned i = 0; i < m; i++)
    if (!(in >> data[i]))
      OLVU_FATAL("Wrong data found in ReadAscii of vector " << what << ": expected " << m << " values, read "
                                                               << i << "\n");
}

std::istream& operator>>(std::istream& in, ReaVec& a) {
  double* p = a.GivePointer();
  for (unsigned i = 0, m = a.length(); i < m && in; i++) in >> p[i];
  return in;
}
