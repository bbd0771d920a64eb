// Runs of spring-mounted bodies at steps far longer than their swing, of motion that grows
// without bound, of springs without the units of their constants, and of force and movement
// lines that would hold a number that is not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/bodycases.h"

namespace olvu_test {
namespace {

constexpr double kDegrees = 57.29577951308232;

// The square on a torsion spring K_R = 666.7 N m / rad (I = 1/150 kg m2: omega dt = 15.8 at dt
// 0.05) in a fluid of its own density 25 under g = -10, its centre of gravity 0.05 left of its
// centre of buoyancy: the buoyancy moment rho g A 0.05 = 0.5 N m turns it to M / K_R.
SquareInBox StiffTorsion() {
  SquareInBox s;
  s.steps = 8, s.iterations = 30, s.rho = "25", s.mu = "0.005", s.gravity = "-10", s.tolerance = "1e-3";
  s.card = "Rotation_OZ 1 ROZ \"0\" [rad] Springs 0 666.7 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
  return s;
}

// The data of `s` with the centre of gravity at x = `x`.
std::string Centred(const SquareInBox& s, const std::string& x) {
  return Replace(s.Text(), "GOX \"0.5\"", "GOX \"" + x + "\"");
}

TEST(BodySprings, StiffSpringsSettleAtTheirStaticDeflection) {
  // 10 x 10 cells, dt 0.05, up to 30 coupled iterations a step (norms 1e-3). The torsion spring
  // above (omega dt = 15.8), and a spring K = 40000 N/m (omega dt = 10) holding the 1 kg square
  // against its weight in a fluid of density 1e-6 (g = -10: m g / K = 2.5e-4 m). Each stays
  // within twice its deflection, settles within 5 % of it from step 3 on (measured: within
  // 0.03 %), and every step converges, none in the one iteration that first moves its body.
  struct Case {
    const char* what;
    std::string data;
    int column;
    double deflection;
  };
  SquareInBox hanging = StiffTorsion();
  hanging.rho = "1e-6", hanging.mu = "1e-9";
  hanging.card = "Displacement_OY 1 DOY \"0\" [m] Springs 40000 0 0.5 0.5 0.5 0.5 KD_Units [N/m]";
  const Case cases[] = {{"torsion", Centred(StiffTorsion(), "0.45"), 7, kDegrees * 0.5 / 666.7},
                        {"translation", hanging.Text(), 3, -10 / 40000.0}};
  std::vector<double> torsion;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Folder dir;
    dir.write("c.dat", k.data);
    ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
    const std::vector<double> y = MovementColumn(dir.read("c.dat.mov"), k.column);
    ASSERT_EQ(y.size(), 8u);
    for (std::size_t n = 0; n < y.size(); ++n) {
      EXPECT_LT(std::fabs(y[n]), 2 * std::fabs(k.deflection)) << n;
      if (n >= 2) {
        EXPECT_NEAR(y[n], k.deflection, 0.05 * std::fabs(k.deflection)) << n;
      }
    }
    const std::string war = dir.read("c.dat.war");
    EXPECT_EQ(Count(war, "Converged after 1 iterations"), 0);
    EXPECT_EQ(Count(war, "iterations may be necessary"), 0);
    if (torsion.empty()) torsion = y;
  }
  // Every solver a user may name for the momentum and the pressure: the torsion spring's
  // rotations alike to 1e-4 of its deflection.
  const char* pairs[][2] = {
      {"GMRes Preconditioner ILU", "ConjugateGradient Preconditioner IC"},
      {"StabBiConjugateGradient Preconditioner Diagonal", "ConjugateGradient Preconditioner Diagonal"},
      {"BiConjugateGradient Preconditioner None", "GMRes Preconditioner ILU"},
      {"SquaredConjugateGradient Preconditioner IC", "ConjugateGradient Preconditioner None"}};
  for (const auto& p : pairs) {
    SCOPED_TRACE(std::string(p[0]) + " / " + p[1]);
    const std::string cards = std::string("NonSymmetric Momentum Max_Iter 300 Tolerance 1e-10 Solver ") + p[0] +
                              ";\nSymmetric Pressure Max_Iter 300 Tolerance 1e-10 Solver " + p[1] + ";\n";
    Folder dir;
    dir.write("c.dat", Replace(cases[0].data, "ElmSets;\nSet 1", cards + "ElmSets;\nSet 1"));
    ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
    EXPECT_EQ(Count(dir.read("c.dat.war"), "Not Solved"), 0);
    const std::vector<double> y = MovementColumn(dir.read("c.dat.mov"), 7);
    ASSERT_EQ(y.size(), torsion.size());
    for (std::size_t n = 0; n < y.size(); ++n) EXPECT_NEAR(y[n], torsion[n], 1e-4 * cases[0].deflection) << n;
  }
}

TEST(BodySprings, MotionThatGrowsWithoutBoundEndsTheRun) {
  // A 0.01 kg square in a fluid of density 25 (it moves 100 times its mass of fluid) with one
  // coupled iteration a step: each step's movement answers the last one's, 25 to 70 times larger
  // and of the other sign, from a start by g = -1e-4. Free to rise, in the box whose walls hold
  // the mesh, it crosses the whole fluid (extent 1.41421) at step 4; free to turn, the mesh
  // turning with it (no wall held), it turns more than half a turn at step 5. Exit 1 with the
  // message, the lines and the restart file of the steps before kept.
  const struct {
    const char* what;
    std::string from, to, message;
    int step;
  } cases[] = {
      {"rising", "", "", "Body movement diverged in Square: a translation of ", 4},
      {"turning", " DMesh Fix_Null;", " DMesh No_Fix;", "Body movement diverged in Square: a rotation of ", 5},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    SquareInBox s;
    s.steps = 8, s.out = 1, s.mass = "0.01", s.rho = "25", s.mu = "0.005", s.gravity = "-0.0001";
    s.card = std::string(k.what) == "rising" ? "Displacement_OY 1 DOY \"0\" [m]" : "Rotation_OZ 1 ROZ \"0\" [rad]";
    std::string text = Centred(s, std::string(k.what) == "rising" ? "0.5" : "0.45");
    if (!k.from.empty()) text = Replace(text, k.from, k.to);
    Folder dir;
    dir.write("c.dat", text);
    EXPECT_EQ(dir.olvu({"-name", "c.dat"}).status, 1);
    const std::string err = dir.read("c.dat.err");
    EXPECT_EQ(err.rfind(ErrFile(k.message), 0), 0u) << err;
    EXPECT_NE(err.find("\n\tReduce the time increment or review the body data\n"), std::string::npos) << err;
    EXPECT_EQ(Count(dir.read("c.dat.mov"), "\n"), k.step - 1);
    EXPECT_EQ(dir.read("c.dat.rst").rfind("Problem;\nCurrent_Step = " + std::to_string(k.step - 1) + " ,", 0), 0u);
  }
}

TEST(BodySprings, SpringConstantsNeedTheirUnits) {
  // A non-zero constant without its unit would be taken as nothing: refused at reading, naming
  // the set and the keyword; zero constants need no unit.
  const struct {
    const char* springs;
    const char* message;
  } cases[] = {
      {"Springs 10 0 0.5 0.5 0.5 0.5 KR_Units [N/rad]", "Square Error: Springs with a non-zero KD need KD_Units"},
      {"Springs 0 0.1 0.5 0.5 0.5 0.5 KD_Units [N/m]", "Square Error: Springs with a non-zero KR need KR_Units"},
      {"Springs 0 0 0.5 0.5 0.5 0.5 10 0 0.5 0.5 0.5 0.5 KR_Units [N/rad]",
       "Square Error: Springs with a non-zero KD need KD_Units"},
      {"Springs 0 0 0.5 0.5 0.5 0.5", nullptr},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.springs);
    SquareInBox s;
    s.steps = 2, s.out = 1;
    s.card = std::string("Displacement_OY 1 DOY \"0\" [m] Rotation_OZ 1 ROZ \"0\" [rad] ") + k.springs;
    Folder dir;
    dir.write("c.dat", s.Text());
    const Outcome r = dir.olvu({"-name", "c.dat"});
    if (!k.message) {
      EXPECT_EQ(r.status, 0) << dir.read("c.dat.err");
      EXPECT_EQ(Count(dir.read("c.dat.mov"), "\n"), 2);
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("c.dat.err"), ErrFile(std::string(k.message) + "\n"));
    EXPECT_EQ(dir.read("c.dat.rst"), "");
  }
}

TEST(BodySprings, ASpringCardOfPartSpringsIsRefusedOrTrimmed) {
  // A spring is KD, KR, the anchor and the body point: 6 numbers in 2D, 8 in 3D. Fewer than one
  // spring: exit 1 naming the set, the count given and the count a spring needs, nothing written.
  // Numbers left over after whole springs: a warning of how many, and the run that of the whole
  // springs alone (the same movement table), the spring pulling the body.
  SquareInBox square;
  square.steps = 2, square.out = 1;
  FloatingBox box;
  const struct {
    bool plane;
    const char* springs;
    const char* whole;  ///< the whole springs of `springs`, or null when it holds none
    std::string message;
  } cases[] = {
      {true, "40000 0 0.5 0.6 0.5", nullptr,
       "Square Error: Springs has 5 values; a spring needs 6 (KD KR Ax Ay Bx By)"},
      {true, "40000", nullptr, "Square Error: Springs has 1 value; a spring needs 6 (KD KR Ax Ay Bx By)"},
      {true, "40000 0 0.5 0.6 0.5 0.5 7", "40000 0 0.5 0.6 0.5 0.5",
       "Square: the last 1 of the 7 Springs values ignored: a spring needs 6 (KD KR Ax Ay Bx By)"},
      {true, "40000 0 0.5 0.6 0.5 0.5 0 0 1 1 1 1 7 7 7 7 7", "40000 0 0.5 0.6 0.5 0.5 0 0 1 1 1 1",
       "Square: the last 5 of the 17 Springs values ignored: a spring needs 6 (KD KR Ax Ay Bx By)"},
      {false, "40000 0 3 1.5 1 3 1.5", nullptr,
       "BOX Error: Springs has 7 values; a spring needs 8 (KD KR Ax Ay Az Bx By Bz)"},
      {false, "40000 0 3 1.5 1 3 1.5 0.75 0.5", "40000 0 3 1.5 1 3 1.5 0.75",
       "BOX: the last 1 of the 9 Springs values ignored: a spring needs 8 (KD KR Ax Ay Az Bx By Bz)"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.springs);
    auto run = [&](const std::string& springs, Folder& dir) {
      const std::string card = std::string(k.plane ? "Displacement_OY 1 DOY" : " Displacement_OZ 1 DOZ") +
                               " \"0\" [m] Springs " + springs + " KD_Units [N/m]";
      (k.plane ? square.card : box.body) = card;
      dir.write("c.dat", k.plane ? square.Text() : box.Text());
      std::vector<std::string> args{"-name", "c.dat"};
      if (!k.plane) args.push_back("-3D");
      return dir.olvu(args).status;
    };
    Folder dir;
    const int status = run(k.springs, dir);
    if (!k.whole) {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(dir.read("c.dat.err"), ErrFile(k.message + "\n"));
      EXPECT_EQ(dir.read("c.dat.rst"), "");
      continue;
    }
    ASSERT_EQ(status, 0) << dir.read("c.dat.err");
    EXPECT_EQ(Count(dir.read("c.dat.war"), k.message + "\n"), 1) << dir.read("c.dat.war");
    Folder alone;
    ASSERT_EQ(run(k.whole, alone), 0) << alone.read("c.dat.err");
    EXPECT_EQ(dir.read("c.dat.mov"), alone.read("c.dat.mov"));
    EXPECT_NE(MovementColumn(dir.read("c.dat.mov"), k.plane ? 3 : 4).back(), 0.0);
  }
}

TEST(BodySprings, ALineThatWouldHoldANonFiniteNumberEndsTheRun) {
  // A centre of gravity that jumps to 1e308 (finite) at t = 0.15: the buoyancy of 10 N on the
  // square has a moment about it beyond the doubles, which ends the run in step 3 before its
  // outputs. A placement by 1e307 rad (the mesh turning with the body, moved every other step):
  // the first movement line in degrees is beyond the doubles, and only that line is not written.
  // Exit 1 naming the table, the body and the line's time; the lines before it kept.
  SquareInBox centre = StiffTorsion();
  centre.steps = 4, centre.out = 1;
  SquareInBox turned = centre;
  turned.card = "Rotation_OZ 2 ROZ \"1e307\" [rad]";
  const struct {
    const char* what;
    std::string data, line;
    int forLines, movLines, rstStep;
  } cases[] = {
      {"centre", Replace(centre.Text(), "GOZ \"0\"", "GOZ \"1e308*(t>0.12)\""),
       "inf in \".for\" for body Square, time 0.1.\n", 2, 2, 2},
      {"placement",
       Replace(Replace(turned.Text(), " DMesh Fix_Null;", " DMesh No_Fix;"), "MeshDeformationType ByBodies",
               "MeshDeformationType ByBodies UpdateMeshEvery 2"),
       "inf in \".mov\" for body Square, time 0.05.\n", 1, 0, 1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Folder dir;
    dir.write("c.dat", k.data);
    EXPECT_EQ(dir.olvu({"-name", "c.dat"}).status, 1);
    const std::string err = dir.read("c.dat.err");
    EXPECT_EQ(err.rfind(ErrFile("Non-finite result found: " + k.line), 0), 0u) << err;
    EXPECT_EQ(Count(dir.read("c.dat.for"), "\n"), k.forLines);
    EXPECT_EQ(Count(dir.read("c.dat.mov"), "\n"), k.movLines);
    for (const char* table : {"c.dat.for", "c.dat.mov"}) EXPECT_EQ(Count(dir.read(table), "inf"), 0) << table;
    EXPECT_EQ(dir.read("c.dat.rst").rfind("Problem;\nCurrent_Step = " + std::to_string(k.rstStep) + " ,", 0), 0u);
  }
}

// `rst` with value `index` (from 1) of the body state of Square set to `value`.
std::string WithBodyValue(const std::string& rst, int index, const std::string& value) {
  const std::string head = "\t_MBody_ Square\t\tlen = ";
  const auto at = rst.find('\n', rst.find(head)) + 1, end = rst.find('\n', at);
  std::istringstream in(rst.substr(at, end - at));
  std::string line, word;
  for (int k = 1; in >> word; ++k) line += " " + (k == index ? value : word);
  return rst.substr(0, at) + line + rst.substr(end);
}

TEST(BodySprings, RestoredBodyStateIsCheckedAsTheCardsValues) {
  // The torsion spring's state after 2 steps, one value changed, restarted to 4 steps: exit 1
  // naming the entry and the set (a centre of 1e308 is a centre the card accepts: the first force
  // line of the restarted run ends it), the restart file left as it was, no line written: refused
  // while the restart file is read, the run leaves the tables of the run before it.
  SquareInBox s = StiffTorsion();
  s.steps = 2, s.out = 1;
  Folder dir;
  dir.write("c.dat", Centred(s, "0.45"));
  ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
  const std::string saved = dir.read("c.dat.rst");
  const std::string forces = dir.read("c.dat.for"), moves = dir.read("c.dat.mov");
  s.steps = 4, s.restart = true;
  const std::string again = Centred(s, "0.45");
  const std::string entry = "Restart data error. Wrong entry _MBody_ Square: ";
  const struct {
    const char* what;
    int index;  // centre 1-3, step movement 4-9, totals 10-15, velocities 16-21, inertia 22-30, mass 31
    const char* value;
    std::string message;
  } cases[] = {
      {"mass -1e308", 31, "-1e308", entry + "the mass -1e+308 is below 1e-14."},
      {"mass -0", 31, "-0", entry + "the mass -0 is below 1e-14."},
      {"mass 1e-300", 31, "1e-300", entry + "the mass 1e-300 is below 1e-14."},
      {"rotation 1e308", 15, "1e308", entry + "the total rotation 1e+308 rad is no finite number of degrees."},
      // No number of the file's form: the reader of the restart file stops first, naming the entry.
      {"velocity nan", 18, "nan",
       "Wrong data found in GetAsciiReaVec.\n\tVector length = 34 and found 17 in file before \"nan\", which cannot be "
       "read as a number.\n\tValues of the card: _MBody_ Square\t\tlen = 34;\n"},
      {"inertia -1e999", 30, "-1e999",
       "Wrong data found in GetAsciiReaVec.\n\tVector length = 34 and found 29 in file before \"-1e999\", which cannot "
       "be read as a number.\n\tValues of the card: _MBody_ Square\t\tlen = 34;\n"},
      {"centre 1e308", 3, "1e308", "Non-finite result found: inf in \".for\" for body Square, time 0.1."},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    const std::string rst = WithBodyValue(saved, k.index, k.value);
    ASSERT_NE(rst, saved);
    dir.write("c.dat.rst", rst);
    dir.write("c.dat", again);
    EXPECT_EQ(dir.olvu({"-name", "c.dat"}).status, 1);
    const std::string err = dir.read("c.dat.err");
    EXPECT_EQ(err.rfind(ErrFile(k.message), 0), 0u) << err;
    EXPECT_EQ(dir.read("c.dat.rst"), rst);
    const bool read = k.message.rfind("Non-finite", 0) != 0;  // refused before the tables are emptied
    EXPECT_EQ(dir.read("c.dat.for"), read ? forces : "");
    EXPECT_EQ(dir.read("c.dat.mov"), read ? moves : "");
  }
}

}  // namespace
}  // namespace olvu_test
