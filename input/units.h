// A system of units (length, time, mass) and the parser of bracketed units
// words such as [Km/hour] or [Kg/m.s2], with their dimension checks.
#pragma once

#include <ostream>
#include <string>

#include "input/types.h"

/// Dimensions (powers of length, time, mass, angle, temperature) and a size in reference units.
struct DimFactor {
  int exp[5] = {0, 0, 0, 0, 0};  ///< length, time, mass, angle, temperature
  double factor = 1;             ///< size in "m", "s", "Kg", "rad", "Gt"; 0 marks an unreadable word
};

/// One magnitude of a unit system: its name, its dimensions and the size of its unit.
struct MagnitudeRecord {
  const char* name = nullptr;  ///< the magnitude's word (not owned)
  int exp[5] = {0, 0, 0, 0, 0};  ///< length, time, mass, angle, temperature
  double factor = 1;           ///< size of this system's unit in reference units
};

/// A unit system fixed by its length, time and mass units.
class Units {
 public:
  /// System from three bracketed words, e.g. "[m]", "[s]", "[Kg]" (fatal when malformed).
  Units(const char* length, const char* time, const char* mass);
  /// System from the sizes of its base units in reference units.
  Units(double length, double time, double mass);

  /// Factor that turns a value written in word into this system's unit of m (1 for m = -1).
  double GetTransFact(const char* word, Magnitude m) const;
  /// Factor that turns a value written in word into this system's unit of the word's own
  /// dimension, whatever magnitude that is ("[%]" 0.01, "[Km]" 1000 in metres); fatal when the
  /// word is no units word.
  double GetTransFact(const char* word) const;
  /// Factor that turns a value in other's unit of m into this system's (1 for m = -1 or 0).
  double GetTransFact(const Units* other, Magnitude m) const;
  /// 1 when word is an acceptable units word for m (fatal with its own messages otherwise).
  int CheckUnits(const char* word, Magnitude m) const;
  /// Writes this system's unit of m, e.g. "1 x Kg/m.s2" (nothing for m = -1 or 0).
  void WriteUnits(std::ostream* os, const Units* other, Magnitude m) const;

  /// The record of magnitude m (0-59).
  const MagnitudeRecord& Record(Magnitude m) const { return rec_[m]; }
  /// Base-unit name: 0 length, 1 time, 2 mass, 3 angle, 4 temperature.
  const std::string& BaseName(int i) const { return base_[i]; }

  /// One table symbol (no prefix).
  DimFactor StoDF(const char* s, int n) const;
  /// A symbol with an optional one-letter prefix.
  DimFactor PStoDF(const char* s, int n) const;
  /// A term with an optional trailing integer exponent.
  DimFactor PSEtoDF(const char* s, int n) const;
  /// A '.'-separated product of terms.
  DimFactor GtoDF(const char* s, int n) const;
  /// Numerator, optional '/', denominator.
  DimFactor UtoDF(const char* s, int n) const;

 private:
  /// Names and exponents of the 60 records, factors from fL, fT, fM.
  void Build(double fL, double fT, double fM);
  /// Checks word for m: 0 ok, 1 syntax error, 2 dimension error; factor through f.
  int Parse(const char* word, Magnitude m, double& f) const;

  MagnitudeRecord rec_[NMagnitudes];  ///< the magnitudes, indexed by value
  std::string base_[5];  ///< length, time, mass, angle, temperature unit names
};
