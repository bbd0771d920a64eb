#include "input/units.h"

#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/error.h"
#include "tests/input/reader_support.h"

using olvu_test::ExpectFatalIn;

namespace {

const Units& Si() {
  static const Units u("[m]", "[s]", "[Kg]");
  return u;
}

double F(const char* word, Magnitude m) { return Si().GetTransFact(word, m); }

std::string Written(const Units& u, Magnitude m) {
  std::ostringstream o;
  u.WriteUnits(&o, &Si(), m);
  return o.str();
}

}  // namespace

TEST(Units, SymbolsAgainstExactDefinitions) {
  // Exact definitions of the international yard and pound, nautical mile, standard
  // atmosphere, bar, international table calorie, poise and stokes.
  EXPECT_DOUBLE_EQ(F("[in]", Length), 0.0254);
  EXPECT_DOUBLE_EQ(F("[ft]", Length), 12 * 0.0254);
  EXPECT_DOUBLE_EQ(F("[yd]", Length), 36 * 0.0254);
  EXPECT_DOUBLE_EQ(F("[mi]", Length), 5280 * 12 * 0.0254);
  EXPECT_DOUBLE_EQ(F("[Nmi]", Length), 1852);
  EXPECT_DOUBLE_EQ(F("[lb]", Mass), 0.45359237);
  EXPECT_DOUBLE_EQ(F("[oz]", Mass), 0.45359237 / 16);
  EXPECT_DOUBLE_EQ(F("[ton]", Mass), 2000 * 0.45359237);
  EXPECT_DOUBLE_EQ(F("[atm]", Pressure), 101325);
  EXPECT_DOUBLE_EQ(F("[bar]", Pressure), 1e5);
  EXPECT_DOUBLE_EQ(F("[cal]", Energy), 4.1868);
  EXPECT_DOUBLE_EQ(F("[P]", Viscosity), 0.1);
  EXPECT_DOUBLE_EQ(F("[St]", KinematicViscosity), 1e-4);
  EXPECT_DOUBLE_EQ(F("[mi/hour]", Velocity), 0.44704);
  EXPECT_DOUBLE_EQ(F("[Km/hour]", Velocity), 1 / 3.6);
  EXPECT_DOUBLE_EQ(F("[cP]", Viscosity), 1e-3);
  EXPECT_DOUBLE_EQ(F("[mPa.s]", Viscosity), 1e-3);
  EXPECT_DOUBLE_EQ(F("[gal]", Volume), 231 * 0.0254 * 0.0254 * 0.0254);
  EXPECT_DOUBLE_EQ(F("[acre]", Area), 4840 * 0.9144 * 0.9144);
  EXPECT_DOUBLE_EQ(F("[G]", Acceleration), 9.80665);
  EXPECT_DOUBLE_EQ(F("[Kp]", Force), 9.80665);
  EXPECT_NEAR(F("[lbf]", Force), 0.45359237 * 9.80665, 1e-6);
  EXPECT_NEAR(F("[psi]", Pressure), 0.45359237 * 9.80665 / (0.0254 * 0.0254), 1e-2);
  EXPECT_NEAR(F("[mmHg]", Pressure), 101325.0 / 760, 1e-3);
  EXPECT_NEAR(F("[knot]", Velocity), 1852.0 / 3600, 1e-13);
  EXPECT_NEAR(F("[deg]", Angle), 3.14159265358979 / 180, 1e-13);
  EXPECT_NEAR(F("[hp]", Potency), 745.69987, 1e-4);
  // The table's own sizes where they differ from today's definitions.
  EXPECT_DOUBLE_EQ(F("[c]", Velocity), 299792500);
  EXPECT_DOUBLE_EQ(F("[imp]", Volume), 1.20095);
}

TEST(Units, WordsPrefixesExponentsAndProducts) {
  EXPECT_DOUBLE_EQ(F("[cm2]", Area), 1e-4);
  EXPECT_DOUBLE_EQ(F("[Kg/m.s2]", Pressure), 1);
  EXPECT_DOUBLE_EQ(F("[Kg/m3]", Density), 1);
  EXPECT_DOUBLE_EQ(F("[g/cc]", Density), 1000);
  EXPECT_DOUBLE_EQ(F("[1.5.m]", Length), 5);
  EXPECT_DOUBLE_EQ(F("[1000.m]", Length), 1000);
  EXPECT_DOUBLE_EQ(F("[m02]", Area), 1);
  EXPECT_DOUBLE_EQ(F("[m/s2]", Acceleration), 1);
  EXPECT_DOUBLE_EQ(F("[m/s.s]", Acceleration), 1);
  EXPECT_DOUBLE_EQ(F("[Khz]", Frequency), 1000);
  EXPECT_DOUBLE_EQ(F("[/s]", Frequency), 1);
  EXPECT_DOUBLE_EQ(F("[min]", Time), 60);  // the symbol wins over milli-inch
  EXPECT_DOUBLE_EQ(F("[cc]", Volume), 1e-6);
  EXPECT_DOUBLE_EQ(F("[Pa]", Pressure), 1);
  EXPECT_DOUBLE_EQ(F("[MPa]", Tension), 1e6);
  EXPECT_DOUBLE_EQ(F("[Gt]", Temperature), 1);
  EXPECT_DOUBLE_EQ(F("[]", Undimensional), 1);
  EXPECT_DOUBLE_EQ(F("[%]", Undimensional), 0.01);
  EXPECT_DOUBLE_EQ(F("[ppmC]", Undimensional), 1e-6);
  EXPECT_DOUBLE_EQ(F("Steps", Undimensional), 1);  // not a units word: unchecked
  EXPECT_DOUBLE_EQ(F("anything", Magnitude(-1)), 1);
  EXPECT_DOUBLE_EQ(F("[m.]", Length), 1);
  EXPECT_DOUBLE_EQ(F("[U99999999999]", Undimensional), 1);  // a pure number takes any power
  EXPECT_EQ(Si().UtoDF("m/s/s", 5).factor, 0);
  EXPECT_EQ(Si().PSEtoDF("0", 1).factor, 0);
  EXPECT_EQ(Si().PStoDF("xm", 2).factor, 0);
  DimFactor d = Si().UtoDF("Km/hour", 7);
  EXPECT_EQ(d.exp[0], 1);
  EXPECT_EQ(d.exp[1], -1);
  EXPECT_DOUBLE_EQ(d.factor, 1000.0 / 3600);
}

TEST(Units, SystemsConvertReciprocally) {
  Units kmh("[Km]", "[hour]", "[Kg]");
  EXPECT_DOUBLE_EQ(kmh.Record(Velocity).factor, 1000.0 / 3600);
  EXPECT_DOUBLE_EQ(kmh.GetTransFact("[m/s]", Velocity), 3.6);
  EXPECT_DOUBLE_EQ(kmh.GetTransFact("[deg]", Angle), 0.01745329251994);
  EXPECT_DOUBLE_EQ(kmh.GetTransFact("[Gt]", Temperature), 1);
  Units sized(1000, 3600, 1);
  for (int m = 1; m < NMagnitudes; ++m) {
    SCOPED_TRACE(MagnitudeNames[m]);
    double there = kmh.GetTransFact(&Si(), Magnitude(m));
    double back = Si().GetTransFact(&kmh, Magnitude(m));
    EXPECT_NEAR(there * back, 1, 1e-12);
    EXPECT_DOUBLE_EQ(sized.Record(Magnitude(m)).factor, kmh.Record(Magnitude(m)).factor);
  }
  EXPECT_EQ(kmh.GetTransFact(&Si(), Undimensional), 1);
  EXPECT_EQ(kmh.GetTransFact(&Si(), Magnitude(-1)), 1);
  EXPECT_EQ(kmh.BaseName(0), "Km");
  EXPECT_EQ(sized.BaseName(0), "m");
  Units longNames("[1000.Nmi]", "[month]", "[Kg]");  // base names of any length
  EXPECT_EQ(longNames.BaseName(0), "1000.Nmi");
  EXPECT_EQ(longNames.BaseName(1), "month");
  EXPECT_DOUBLE_EQ(longNames.Record(Length).factor, 1852000);
}

TEST(Units, WrittenUnits) {
  EXPECT_EQ(Written(Si(), Pressure), "1 x Kg/m.s2");
  EXPECT_EQ(Written(Si(), HeatConductivity), "1 x m.Kg/s3.Gt");
  EXPECT_EQ(Written(Si(), Frequency), "1 x /s");
  EXPECT_EQ(Written(Si(), Viscosity), "1 x Kg/m.s");
  EXPECT_EQ(Written(Si(), Inertia), "1 x m4");
  EXPECT_EQ(Written(Si(), Undimensional), "");
  EXPECT_EQ(Written(Si(), Magnitude(-1)), "");
  EXPECT_EQ(Written(Units("[Km]", "[hour]", "[Kg]"), Velocity), "0.277778 x Km/hour");
}

TEST(Units, CheckUnitsAcceptsGoodWords) {
  EXPECT_EQ(Si().CheckUnits("[Km/hour]", Velocity), 1);
  EXPECT_EQ(Si().CheckUnits("plain", Undimensional), 1);
  EXPECT_EQ(Si().CheckUnits("[m", Magnitude(-1)), 1);
}

TEST(Units, MalformedWordsEndTheRunWithTheirMessages) {
  ExpectFatalIn([] { Units u("[s]", "[s]", "[Kg]"); },
              "\"[s]\" has not \"Length\" Dimensions.\nWrong units definition.\n");
  ExpectFatalIn([] { F("m", Length); },
              "\"m\" is not a unit symbol of any type.\nWrong units definition.\n");
  ExpectFatalIn([] { F("[m", Length); },
              "\"[m\" is not a unit symbol of any type.\nWrong units definition.\n");
  ExpectFatalIn([] { F("[", Length); },
              "\"[\" is not a unit symbol of any type.\nWrong units definition.\n");
  const std::string wrong[][2] = {
      {"[kg]", "Mass"},       {"[km]", "Length"},          {"[Hz]", "Frequency"},
      {"[KHz]", "Frequency"}, {"[m0]", "Length"},          {"[m/s/s]", "Acceleration"},
      {"[ppm]", "Undimensional"}, {"[s-1]", "Frequency"},  {"[m]", "Area"},
      {"[m99999999999]", "Length"},
      // sizes beyond a double are no sizes
      {"[e1000]", "Undimensional"}, {"[e1000/e1000]", "Undimensional"},
      {"[" + std::string(400, '9') + ".m]", "Length"}};
  for (auto& w : wrong) {
    std::string word = w[0];
    Magnitude m = To_Magnitude(w[1].c_str());
    ExpectFatalIn([&] { F(word.c_str(), m); }, "\"" + word + "\" has not \"" + w[1] +
                                                 "\" Dimensions.\nWrong units definition.\n");
  }
  ExpectFatalIn([] { Si().CheckUnits("m", Length); }, "Units syntax is [UNITS]\n");
  ExpectFatalIn([] { Si().CheckUnits("[kg]", Mass); }, "Wrong dimension found\n");
}

TEST(Units, ExponentSumsStayInsideInt) {
  // Each term is within its limit; 800 of them add up past an int.
  std::string word = "[W1000000";
  for (int i = 1; i < 800; ++i) word += ".W1000000";
  word += "]";
  ExpectFatalIn([&] { F(word.c_str(), Potency); },
                "\"" + word + "\" has not \"Potency\" Dimensions.\nWrong units definition.\n");
  EXPECT_DOUBLE_EQ(F("[W2.W3/W5]", Undimensional), 1);
}
