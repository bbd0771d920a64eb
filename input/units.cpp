#include "input/units.h"

#include <cmath>
#include <cstring>

#include "foundation/error.h"

namespace {

/// Powers of length, time, mass, angle and temperature of each magnitude.
const int Exponents[NMagnitudes][5] = {
    {0, 0, 0, 0, 0},   {1, 0, 0, 0, 0},   {0, 1, 0, 0, 0},   {0, 0, 1, 0, 0},
    {0, 0, 0, 1, 0},   {0, 0, 0, 0, 1},   {2, 0, 0, 0, 0},   {3, 0, 0, 0, 0},
    {4, 0, 0, 0, 0},   {2, 0, 1, 0, 0},   {1, -1, 0, 0, 0},  {1, -2, 0, 0, 0},
    {-3, 0, 1, 0, 0},  {-1, -1, 1, 0, 0}, {2, -1, 0, 0, 0},  {1, -2, 1, 0, 0},
    {0, -2, 1, 0, 0},  {1, -2, 1, -1, 0}, {-1, -2, 1, 0, 0}, {-1, -2, 1, 0, 0},
    {-2, -2, 1, 0, 0}, {2, -2, 1, 0, 0},  {1, -2, 1, -1, 0}, {2, -2, 1, 0, 0},
    {0, -2, 1, 0, 0},  {-1, -2, 1, 0, 0}, {2, -3, 1, 0, 0},  {0, -3, 1, 0, 0},
    {-1, -3, 1, 0, 0}, {0, -1, 0, 0, 0},  {0, -1, 0, 1, 0},  {0, -1, 0, 1, 0},
    {0, -2, 0, 1, 0},  {0, -1, 1, 0, 0},  {1, -1, 1, -1, 0}, {1, 0, 0, 0, -1},
    {-1, 0, 0, 0, 1},  {0, 0, 0, 0, -1},  {0, -3, 1, 0, -1}, {2, -2, 0, 0, -1},
    {1, -3, 1, 0, -1}, {0, -3, 1, 0, -1}, {2, -2, 0, 0, 0},  {2, -2, 0, 0, 0},
    {2, -1, 0, 0, 0},  {0, -1, 0, 0, 0},  {2, -3, 0, 0, 0},  {3, -1, 0, 0, 0},
    {-4, -1, 1, 0, 0}, {-2, 2, 0, 0, 0},  {-1, -3, 1, 0, -1}, {0, -3, 1, 0, -1},
    {-3, 0, 0, 0, 0},  {-1, -1, 0, 0, 0}, {-3, -1, 0, 0, 0}, {-2, -1, 0, 0, 0},
    {2, -1, 0, 0, 0},  {0, -1, 0, 0, 0},  {0, 1, 0, 0, 0},   {1, -1, 0, 0, 0}};

/// One unit symbol: its text (case-sensitive), the magnitude it measures and its size.
struct Symbol {
  const char* text;
  Magnitude kind;
  double factor;
};

const Symbol SMF[75] = {
    {"", Undimensional, 1},
    {"%", Undimensional, 0.01},
    {"%o", Undimensional, 0.001},
    {"pi", Undimensional, 3.14159265358979},
    {"e", Undimensional, 2.71828182845905},
    {"ppmC", Undimensional, 1e-06},
    {"ppbC", Undimensional, 1e-09},
    {"U", Undimensional, 1},
    {"C", Undimensional, 1},
    {"m", Length, 1},
    {"A", Length, 1e-10},
    {"in", Length, 0.0254},
    {"pica", Length, 0.00423333333333},
    {"ft", Length, 0.3048},
    {"yd", Length, 0.9144},
    {"mi", Length, 1609.344},
    {"leg", Length, 4828.032},
    {"Nmi", Length, 1852},
    {"au", Length, 149597870000},
    {"s", Time, 1},
    {"min", Time, 60},
    {"hour", Time, 3600},
    {"day", Time, 86400},
    {"week", Time, 604800},
    {"month", Time, 2629743.831288},
    {"year", Time, 31556925.975456},
    {"Kg", Mass, 1},
    {"g", Mass, 0.001},
    {"qui", Mass, 100},
    {"lb", Mass, 0.45359237},
    {"ton", Mass, 907.18474},
    {"oz", Mass, 0.028349523125},
    {"amu", Mass, 1.66044e-27},
    {"rad", Angle, 1},
    {"deg", Angle, 0.01745329251994},
    {"grad", Angle, 0.01570796326795},
    {"turn", Angle, 6.28318530717959},
    {"Gt", Temperature, 1},
    {"ha", Area, 10000},
    {"acre", Area, 4046.8564224},
    {"barn", Area, 1e-28},
    {"are", Area, 100},
    {"lt", Volume, 0.001},
    {"gal", Volume, 0.003785411784},
    {"brgal", Volume, 0.00454609929488},
    {"imp", Volume, 1.20095},
    {"pt", Volume, 0.001892705892},
    {"qt", Volume, 0.000946352946},
    {"cc", Volume, 1e-06},
    {"knot", Velocity, 0.51444444444444},
    {"nudo", Velocity, 0.51444444444444},
    {"mach", Velocity, 331.46},
    {"c", Velocity, 299792500},
    {"G", Acceleration, 9.80665},
    {"N", Force, 1},
    {"dn", Force, 1e-05},
    {"Kp", Force, 9.80665},
    {"lbf", Force, 4.448222},
    {"tonf", Force, 8896.443230521},
    {"Pa", Tension, 1},
    {"mmHg", Tension, 133.322},
    {"atm", Tension, 101325},
    {"bar", Tension, 100000},
    {"psi", Tension, 6894.7578895157},
    {"J", Energy, 1},
    {"erg", Energy, 1e-07},
    {"cal", Energy, 4.1868},
    {"btu", Energy, 1055.06},
    {"W", Potency, 1},
    {"hp", Potency, 745.6999},
    {"hz", Frequency, 1},
    {"ppm", Density, 1e-06},
    {"ppb", Density, 1e-09},
    {"St", KinematicViscosity, 0.0001},
    {"P", Viscosity, 0.1}};

/// Factor of a one-letter prefix, 0 when the letter is none.
double Prefix(char c) {
  switch (c) {
    case 'D': return 10;
    case 'H': return 100;
    case 'K': return 1000;
    case 'M': return 1e6;
    case 'G': return 1e9;
    case 'T': return 1e12;
    case 'E': return 1e15;
    case 'P': return 1e18;
    case 'd': return 0.1;
    case 'c': return 0.01;
    case 'm': return 0.001;
    case 'u': return 1e-6;
    case 'n': return 1e-9;
    case 'p': return 1e-12;
    case 'f': return 1e-15;
    case 'a': return 1e-18;
    default: return 0;
  }
}

DimFactor Unreadable() {
  DimFactor d;
  d.factor = 0;
  return d;
}

/// Exponents at most this large keep exponent products far inside int.
constexpr double MaxExponent = 1000000;
/// Sums of the exponents of a product at most this large, so that a quotient
/// of two of them stays inside int however many terms each has.
constexpr long long MaxExponentSum = 100000000;

}  // namespace

Units::Units(const char* length, const char* time, const char* mass) {
  Build(1, 1, 1);
  double fL = GetTransFact(length, Length);
  double fT = GetTransFact(time, Time);
  double fM = GetTransFact(mass, Mass);
  Build(fL, fT, fM);
  const char* words[3] = {length, time, mass};
  for (int i = 0; i < 3; ++i) {
    const char* w = words[i] + 1;  // checked above: the word is "[...]"
    base_[i].assign(w, std::strcspn(w, "]"));
  }
  base_[3] = "rad";
  base_[4] = "Gt";
}

Units::Units(double length, double time, double mass) {
  Build(length, time, mass);
  base_[0] = "m";
  base_[1] = "s";
  base_[2] = "Kg";
  base_[3] = "rad";
  base_[4] = "Gt";
}

void Units::Build(double fL, double fT, double fM) {
  for (int i = 0; i < NMagnitudes; ++i) {
    MagnitudeRecord& r = rec_[i];
    r.name = MagnitudeNames[i];
    for (int k = 0; k < 5; ++k) r.exp[k] = Exponents[i][k];
    r.factor = std::pow(fL, r.exp[0]) * std::pow(fT, r.exp[1]) * std::pow(fM, r.exp[2]);
  }
}

DimFactor Units::StoDF(const char* s, int n) const {
  for (const Symbol& sym : SMF) {
    if (int(std::strlen(sym.text)) == n && std::memcmp(sym.text, s, n) == 0) {
      DimFactor d;
      for (int k = 0; k < 5; ++k) d.exp[k] = Exponents[sym.kind][k];
      d.factor = sym.factor;
      return d;
    }
  }
  return Unreadable();
}

DimFactor Units::PStoDF(const char* s, int n) const {
  DimFactor d = StoDF(s, n);
  if (d.factor == 0 && n > 1) {
    d = StoDF(s + 1, n - 1);
    d.factor *= Prefix(s[0]);
  }
  return d;
}

DimFactor Units::PSEtoDF(const char* s, int n) const {
  int k = n;
  while (k > 0 && s[k - 1] >= '0' && s[k - 1] <= '9') --k;
  double e = 1;
  if (k < n) {
    e = 0;
    for (int i = k; i < n; ++i) e = 10 * e + (s[i] - '0');
  }
  if (e <= 0) return Unreadable();
  if (k == 0) {  // nothing but digits: a pure number
    DimFactor d;
    d.factor = e;
    return d;
  }
  DimFactor d = PStoDF(s, k);
  bool pure = true;  // a pure number may take any power; a dimension stays inside int
  for (int x : d.exp) pure = pure && x == 0;
  if (!pure) {
    if (e > MaxExponent) return Unreadable();  // no magnitude has such a power
    for (int& x : d.exp) x *= int(e);
  }
  d.factor = std::pow(d.factor, e);
  return d;
}

DimFactor Units::GtoDF(const char* s, int n) const {
  DimFactor d;
  int start = 0;
  while (start < n) {
    int dot = start + 1;
    while (dot < n && s[dot] != '.') ++dot;
    DimFactor t = PSEtoDF(s + start, dot - start);
    for (int k = 0; k < 5; ++k) {
      const long long sum = (long long)d.exp[k] + t.exp[k];
      if (sum > MaxExponentSum || sum < -MaxExponentSum) return Unreadable();
      d.exp[k] = int(sum);
    }
    d.factor *= t.factor;
    start = dot + 1;
  }
  return d;
}

DimFactor Units::UtoDF(const char* s, int n) const {
  const void* slash = std::memchr(s, '/', n);
  if (!slash) return GtoDF(s, n);
  int k = int(static_cast<const char*>(slash) - s);
  DimFactor num = GtoDF(s, k);
  DimFactor den = GtoDF(s + k + 1, n - k - 1);
  if (den.factor == 0) return Unreadable();
  for (int i = 0; i < 5; ++i) num.exp[i] -= den.exp[i];
  num.factor /= den.factor;
  return num;
}

int Units::Parse(const char* word, Magnitude m, double& f) const {
  f = 1;
  if (m == Magnitude(-1)) return 0;
  if (word[0] != '[' && m == Undimensional) return 0;
  int n = int(std::strlen(word));
  if (n < 2 || word[0] != '[' || word[n - 1] != ']') return 1;
  DimFactor d = UtoDF(word + 1, n - 2);
  f = d.factor / rec_[m].factor;
  if (f == 0 || !std::isfinite(f)) return 2;  // a size beyond a double is no size
  for (int k = 0; k < 5; ++k)
    if (d.exp[k] != rec_[m].exp[k]) return 2;
  return 0;
}

double Units::GetTransFact(const char* word, Magnitude m) const {
  double f;
  switch (Parse(word, m, f)) {
    case 1:
      OLVU_FATAL("\"" << word << "\" is not a unit symbol of any type.\nWrong units definition.\n");
    case 2:
      OLVU_FATAL("\"" << word << "\" has not \"" << rec_[m].name
                      << "\" Dimensions.\nWrong units definition.\n");
  }
  return f;
}

double Units::GetTransFact(const char* word) const {
  const int n = int(std::strlen(word));
  double f = 0;
  if (n >= 2 && word[0] == '[' && word[n - 1] == ']') {
    const DimFactor d = UtoDF(word + 1, n - 2);
    // This system's unit of the word's dimension, from its length, time and mass units.
    f = d.factor / (std::pow(rec_[Length].factor, d.exp[0]) * std::pow(rec_[Time].factor, d.exp[1]) *
                    std::pow(rec_[Mass].factor, d.exp[2]));
  }
  if (f == 0 || !std::isfinite(f))
    OLVU_FATAL("\"" << word << "\" is not a unit symbol of any type.\nWrong units definition.\n");
  return f;
}

double Units::GetTransFact(const Units* other, Magnitude m) const {
  if (m == Magnitude(-1) || m == Undimensional) return 1;
  return other->rec_[m].factor / rec_[m].factor;
}

int Units::CheckUnits(const char* word, Magnitude m) const {
  double f;
  switch (Parse(word, m, f)) {
    case 1: OLVU_FATAL("Units syntax is [UNITS]\n");
    case 2: OLVU_FATAL("Wrong dimension found\n");
  }
  return 1;
}

void Units::WriteUnits(std::ostream* os, const Units*, Magnitude m) const {
  if (m == Magnitude(-1) || m == Undimensional) return;
  const MagnitudeRecord& r = rec_[m];
  *os << r.factor << " x ";
  bool first = true;
  for (int k = 0; k < 5; ++k) {
    if (r.exp[k] <= 0) continue;
    if (!first) *os << ".";
    first = false;
    *os << base_[k];
    if (r.exp[k] > 1) *os << r.exp[k];
  }
  bool slash = false;
  for (int k = 0; k < 5; ++k) {
    if (r.exp[k] >= 0) continue;
    *os << (slash ? "." : "/");
    slash = true;
    *os << base_[k];
    if (r.exp[k] < -1) *os << -r.exp[k];
  }
}
