// Runs of moving bodies against their equations of motion: a spring-mounted square in a light
// fluid and in a fluid of its own density, a torsion spring, the initial placement beside fixed
// walls, a prescribed body under both time schemes, restarts that go on as the unbroken run,
// and body data that is no finite number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/bodycases.h"

namespace olvu_test {
namespace {

constexpr double kPi = 3.141592653589793;

// Twice the mean spacing of the crossings of y through `centre` (linear between the lines).
double Period(const std::vector<double>& t, const std::vector<double>& y, double centre) {
  std::vector<double> at;
  for (std::size_t k = 1; k < y.size(); ++k) {
    const double a = y[k - 1] - centre, b = y[k] - centre;
    if ((a < 0) != (b < 0)) at.push_back(t[k - 1] + (t[k] - t[k - 1]) * a / (a - b));
  }
  return at.size() < 2 ? NAN : 2 * (at.back() - at.front()) / double(at.size() - 1);
}

// The largest |y - centre| over each run of `span` lines.
std::vector<double> Swings(const std::vector<double>& y, double centre, std::size_t span) {
  std::vector<double> out;
  for (std::size_t k = 0; k + span <= y.size(); k += span) {
    double m = 0;
    for (std::size_t i = k; i < k + span; ++i) m = std::max(m, std::fabs(y[i] - centre));
    out.push_back(m);
  }
  return out;
}

// Runs `data` as c.dat in `dir` (with the words `extra`), expecting success.
void RunOk(const Folder& dir, const std::string& data, const std::vector<std::string>& extra = {}) {
  dir.write("c.dat", data);
  std::vector<std::string> args{"-name", "c.dat"};
  args.insert(args.end(), extra.begin(), extra.end());
  const Outcome r = dir.olvu(args);
  ASSERT_EQ(r.status, 0) << dir.read("c.dat.err");
}

TEST(BodyMotion, SpringMassInALightFluidKeepsItsPeriodAndAmplitude) {
  // m = 1 kg on K = 10 N/m under gravity -0.5, released at the spring's rest: it swings about
  // the static offset -m g / K = -0.05 with the amplitude 0.05 and the period 2 pi sqrt(m / K) =
  // 1.98692 s. Fluid density 1e-6; 10 x 10 cells, dt 0.05, 200 steps (five periods). The step
  // is the symplectic one (the spring pulls from the step's start), whose period 2 pi dt /
  // acos(1 - K dt^2 / 2 m) = 1.98475 s is 0.1 % short; measured 1.98484 s, amplitude 0.05016.
  for (int iterations : {1, 10}) {
    SCOPED_TRACE(iterations);
    SquareInBox s;
    s.steps = 200, s.iterations = iterations, s.gravity = "-0.5";
    s.card = "Displacement_OY 1 DOY \"0\" [m] Springs 10 0 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
    Folder dir;
    RunOk(dir, s.Text());
    const std::string mov = dir.read("c.dat.mov");
    const std::vector<double> t = MovementColumn(mov, 0), y = MovementColumn(mov, 3);
    ASSERT_EQ(y.size(), 200u);
    const double offset = -0.05, period = 2 * kPi * std::sqrt(0.1);
    EXPECT_NEAR(Period(t, y, offset), period, 0.01 * period);
    const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
    EXPECT_NEAR(0.5 * (*lo + *hi), offset, 0.02 * 0.05);
    for (double a : Swings(y, offset, 20)) EXPECT_NEAR(a, 0.05, 0.02 * 0.05);  // each half period
  }
}

TEST(BodyMotion, SpringMassInAFluidOfItsOwnDensitySwingsSlowerAndSettles) {
  // The same square in a fluid of its own density (25 kg/m3, viscosity 0.005), released 0.05
  // from rest: buoyancy holds its weight, the fluid it drives adds its mass (more than the
  // body's own in this box), so it swings slower than 2 pi sqrt(m / K) (3.39 s against 1.99 s
  // on 5 x 5 cells, dt 0.1) and dies out. Every step converges within 20 coupled iterations
  // (velocity and pressure norms 1e-3; 3 to 14 taken), the first of them an explicit step the
  // added mass overshoots; no swing grows over ten periods.
  SquareInBox s;
  s.n = 5, s.steps = 340, s.dt = "0.1", s.iterations = 20, s.rho = "25", s.mu = "0.005", s.gravity = "-0.5";
  s.tolerance = "1e-3";
  s.card = "Displacement_OY 1 DOY \"0.05\" [m] Springs 10 0 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
  Folder dir;
  RunOk(dir, s.Text());
  EXPECT_EQ(Count(dir.read("c.dat.war"), "iterations may be necessary"), 0);
  const std::string mov = dir.read("c.dat.mov");
  const std::vector<double> t = MovementColumn(mov, 0), y = MovementColumn(mov, 3);
  ASSERT_EQ(y.size(), 340u);
  const double period = Period(t, y, 0);
  EXPECT_GT(period, 1.1 * 2 * kPi * std::sqrt(0.1)) << period;
  const std::vector<double> swings = Swings(y, 0, std::size_t(period / 0.1));
  ASSERT_GE(swings.size(), 9u);
  for (std::size_t k = 1; k < swings.size(); ++k) EXPECT_LE(swings[k], swings[k - 1]) << k;
  EXPECT_LT(swings.back(), 0.5 * swings.front());
  // Every solver a user may name for the momentum and the pressure: the first three periods
  // alike to 1e-6 m, each step converged.
  const char* pairs[][2] = {
      {"GMRes Preconditioner ILU", "ConjugateGradient Preconditioner IC"},
      {"StabBiConjugateGradient Preconditioner Diagonal", "ConjugateGradient Preconditioner Diagonal"},
      {"BiConjugateGradient Preconditioner None", "GMRes Preconditioner ILU"},
      {"SquaredConjugateGradient Preconditioner IC", "ConjugateGradient Preconditioner None"}};
  s.steps = 100;
  for (const auto& p : pairs) {
    SCOPED_TRACE(std::string(p[0]) + " / " + p[1]);
    const std::string cards = std::string("NonSymmetric Momentum Max_Iter 300 Tolerance 1e-10 Solver ") + p[0] +
                              ";\nSymmetric Pressure Max_Iter 300 Tolerance 1e-10 Solver " + p[1] + ";\n";
    Folder other;
    RunOk(other, Replace(s.Text(), "ElmSets;\nSet 1", cards + "ElmSets;\nSet 1"));
    const std::string war = other.read("c.dat.war");
    EXPECT_EQ(Count(war, "iterations may be necessary") + Count(war, "Not Solved"), 0);
    const std::vector<double> z = MovementColumn(other.read("c.dat.mov"), 3);
    ASSERT_EQ(z.size(), 100u);
    for (std::size_t k = 0; k < z.size(); ++k) EXPECT_NEAR(z[k], y[k], 1e-6) << k;
  }
}

TEST(BodyMotion, TorsionSpringTurnsTheBodyWithItsPeriod) {
  // The square free to turn (inertia I = m r^2 = 1/150 kg m2) on a torsion spring K_R = 0.1 N m
  // per radian, released at 0.1 rad: period 2 pi sqrt(I / K_R) = 1.62231 s within 1 % with one
  // coupled iteration a step (dt 0.02, 160 steps); measured 1.6219 s.
  SquareInBox s;
  s.steps = 160, s.dt = "0.02", s.rho = "1", s.mu = "0.001";
  s.card = "Rotation_OZ 1 ROZ \"0.1\" [rad] Springs 0 0.1 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
  Folder dir;
  RunOk(dir, s.Text());
  const std::string mov = dir.read("c.dat.mov");
  const std::vector<double> t = MovementColumn(mov, 0), a = MovementColumn(mov, 7);
  ASSERT_EQ(a.size(), 160u);
  const double period = 2 * kPi * std::sqrt(0.04 / 6 / 0.1);
  EXPECT_NEAR(Period(t, a, 0), period, 0.01 * period);
  EXPECT_NEAR(*std::max_element(a.begin(), a.end()), 0.1 * 180 / kPi, 0.02 * 0.1 * 180 / kPi);
}

// The numbers of node `id`'s row in the block `name` at `time` of a result file (empty when none).
std::vector<double> ResultRow(const std::string& res, const std::string& name, const std::string& time,
                              int id) {
  std::vector<double> out;
  const auto at = res.find("Result \"" + name + "\" \"" + (name == "MESH DEFORMATION" ? "VINTARO" : "QUELMA") +
                           "\" " + time + " ");
  if (at == std::string::npos) return out;
  const std::string key = "\n\t" + std::to_string(id) + "\t";
  const auto row = res.find(key, at);
  if (row == std::string::npos || row > res.find("End Values", at)) return out;
  std::istringstream in(res.substr(row + key.size(), res.find('\n', row + 1) - row - key.size()));
  for (double v; in >> v;) out.push_back(v);
  return out;
}

TEST(BodyMotion, InitialPlacementKeepsTheFixedWallVelocities) {
  // The initial velocity u = X, the box walls held at rest: the square's initial placement
  // (0.05 up) evaluates the initial data again on the moved mesh, and the walls keep u = 0.
  SquareInBox s;
  s.steps = 1, s.out = 1, s.rho = "1", s.mu = "0.01";
  s.initial = "Function VelocityX \"X\" [m/s];\n";
  s.card = "Displacement_OY 1 DOY \"0.05\" [m]";
  Folder dir;
  RunOk(dir, s.Text());
  const std::string res = dir.read("c.dat.res");
  for (int i = 0; i <= s.n; ++i)
    for (int id : {s.Id(i, 0), s.Id(i, s.n), s.Id(0, i), s.Id(s.n, i)}) {
      const std::vector<double> u = ResultRow(res, "VELOCITY", "0.05", id);
      ASSERT_GE(u.size(), 2u) << id;
      EXPECT_EQ(u[0], 0.0) << id;
      EXPECT_EQ(u[1], 0.0) << id;
    }
}

TEST(BodyMotion, PrescribedBodyIsAtItsPlaceUnderEitherScheme) {
  // DOX = 0.1 t, dt 0.1, five steps: the movement table, the mesh displacement of the result
  // file at the body's nodes and the restart file's coordinates put it at 0.1 t, to 1e-9.
  for (const char* scheme : {"Backward_Euler", "Crank_Nicolson"}) {
    SCOPED_TRACE(scheme);
    SquareInBox s;
    s.steps = 5, s.out = 1, s.dt = "0.1", s.iterations = 2, s.rho = "1", s.mu = "0.01", s.scheme = scheme;
    s.card = "Displacement_OX 2 DOX \"0.1*t\" [m]";
    Folder dir;
    RunOk(dir, s.Text());
    const std::vector<double> x = MovementColumn(dir.read("c.dat.mov"), 2);
    ASSERT_EQ(x.size(), 5u);
    const std::string res = dir.read("c.dat.res");
    const int corner = s.Id(s.Lo(), s.Lo());
    for (int n = 1; n <= 5; ++n) {
      EXPECT_NEAR(x[std::size_t(n - 1)], 0.01 * n, 1e-9) << n;
      std::ostringstream time;
      time << 0.1 * n;
      const std::vector<double> d = ResultRow(res, "MESH DEFORMATION", time.str(), corner);
      ASSERT_EQ(d.size(), 3u) << n;
      EXPECT_NEAR(d[0], 0.01 * n, 1e-9) << n;
      EXPECT_EQ(d[1], 0.0);
    }
    const std::vector<double> xyz = RestartVector(dir.read("c.dat.rst"), "_MCoord_");
    ASSERT_EQ(xyz.size(), 3u * unsigned(s.Ids().back()));
    EXPECT_NEAR(xyz[3 * std::size_t(corner - 1)], 0.4 + 0.05, 1e-9);
    EXPECT_NEAR(xyz[3 * std::size_t(corner - 1) + 1], 0.4, 1e-12);
  }
}

// The time of a result block's first line: the word after its fourth quote.
std::string TimeOf(const std::string& line) {
  std::size_t q = 0;
  for (int k = 0; k < 4; ++k) q = line.find('"', q) + 1;
  std::istringstream in(line.substr(q));
  std::string t;
  in >> t;
  return t;
}

// The result blocks of a result file at its last time, in file order.
std::vector<std::string> LastBlocks(const std::string& res) {
  std::vector<std::string> heads, out;
  for (auto b = res.find("\nResult \""); b != std::string::npos; b = res.find("\nResult \"", b + 1))
    heads.push_back(res.substr(b, res.find('\n', b + 1) - b));
  if (heads.empty()) return out;
  const std::string last = TimeOf(heads.back());
  for (auto b = res.find("\nResult \""); b != std::string::npos; b = res.find("\nResult \"", b + 1)) {
    const std::string head = res.substr(b, res.find('\n', b + 1) - b);
    if (TimeOf(head) == last && head.find("INITIAL DATA") == std::string::npos)
      out.push_back(res.substr(b, res.find("End Values", b) - b));
  }
  return out;
}

// The last `n` lines of a table.
std::string Tail(const std::string& table, int n) {
  auto at = table.size();
  for (int k = 0; k < n && at != std::string::npos && at > 0; ++k) at = table.rfind('\n', at - 1);
  return at == std::string::npos ? table : table.substr(at);
}

TEST(BodyMotion, RestartGoesOnAsTheUnbrokenRun) {
  // Each case runs 2N steps at once, and N steps, then "Restart" to 2N: the same movement and
  // force lines, sink-and-trim table and last result blocks, to the last printed digit.
  struct Case {
    const char* what;
    std::string whole, first, second;  // the data of 2N steps, of N steps, of the restart
    int n;
    bool threeD;
  };
  auto square = [](SquareInBox s, int n) {
    s.out = n, s.steps = 2 * n;
    const std::string whole = s.Text();
    s.steps = n;
    const std::string first = s.Text();
    s.steps = 2 * n, s.restart = true;
    return Case{"", whole, first, s.Text(), n, false};
  };
  SquareInBox spring;
  spring.iterations = 3, spring.rho = "25", spring.mu = "0.005", spring.gravity = "-0.5";
  spring.card = "Displacement_OY 1 DOY \"0.05\" [m] Springs 10 0 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
  SquareInBox turning;
  turning.dt = "0.02", turning.rho = "1", turning.mu = "0.01";
  turning.card = "Rotation_OZ 1 ROZ \"0.1\" [rad] Springs 0 0.1 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
  SquareInBox prescribed;
  prescribed.dt = "0.5", prescribed.iterations = 2, prescribed.rho = "1", prescribed.mu = "0.01";
  prescribed.card = "Displacement_OY 2 DOY \"0.01*t\" [m]";
  SquareInBox byAllData;
  byAllData.n = 4, byAllData.dt = "0.5", byAllData.iterations = 3, byAllData.rho = "1", byAllData.mu = "0.1";
  byAllData.body = false, byAllData.deformY = "0.002*t*X";
  FloatingBox floating;
  floating.dt = "0.05", floating.iterations = 2, floating.held = true, floating.out = 3, floating.steps = 6;
  floating.body = " Displacement_OZ 1 DOZ \"0.05\" [m] Rotation_OY 1 ROY \"0.02\" [rad]";
  Case cases[] = {square(spring, 5), square(turning, 5), square(prescribed, 3), square(byAllData, 3),
                  {"", floating.Text(), "", "", 3, true}};
  floating.steps = 3;
  cases[4].first = floating.Text();
  floating.steps = 6, floating.restart = true;
  cases[4].second = floating.Text();
  const char* names[] = {"spring in a fluid of its density", "torsion spring", "prescribed body",
                         "ByAllData without bodies", "floating box with sink and trim"};
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(names[k]);
    const std::vector<std::string> extra = c.threeD ? std::vector<std::string>{"-3D"} : std::vector<std::string>{};
    Folder whole, split;
    RunOk(whole, c.whole, extra);
    RunOk(split, c.first, extra);
    RunOk(split, c.second, extra);
    for (const char* ext : {"c.dat.mov", "c.dat.for"}) {
      EXPECT_EQ(Tail(split.read(ext), c.n), Tail(whole.read(ext), c.n)) << ext;
      EXPECT_EQ(Count(split.read(ext), "\n"), c.n) << ext;
    }
    EXPECT_EQ(split.read("c.dat.sat"), whole.read("c.dat.sat"));
    const std::vector<std::string> a = LastBlocks(whole.read("c.dat.res")), b = LastBlocks(split.read("c.dat.res"));
    EXPECT_GE(a.size(), 8u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(Count(split.read("c.dat.war"), "holds no state"), 0);
  }
  // A restart file without the bodies' entries: the body starts from its data, with a notice.
  Folder old;
  RunOk(old, cases[0].first);
  const std::string saved = old.read("c.dat.rst");
  std::istringstream in(saved);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("\t_MBody_", 0) == 0 || line.rfind("\t_MDist_", 0) == 0 || line.rfind("\t_MCoord_", 0) == 0) {
      std::getline(in, line);
      continue;
    }
    kept += line + "\n";
  }
  old.write("c.dat.rst", kept);
  RunOk(old, cases[0].second);
  EXPECT_NE(old.read("c.dat.war").find(" -->\tRestart file holds no state of body Square: it starts from its data.\n"),
            std::string::npos);
  EXPECT_EQ(Count(old.read("c.dat.mov"), "\n"), 5);
  // A body state of another length, or of no moving body of the data, is a restart fault.
  const auto head = saved.find("\t_MBody_ Square\t\tlen = ");
  ASSERT_NE(head, std::string::npos);
  const int n = std::stoi(saved.substr(head + 23));
  const struct {
    std::string from, to, message;
  } faults[] = {{"_MBody_ Square\t\tlen = " + std::to_string(n), "_MBody_ Square\t\tlen = " + std::to_string(n - 1),
                 "Restart data error. Wrong entry _MBody_ Square: " + std::to_string(n - 1) +
                     " values where the body has " + std::to_string(n) + "."},
                {"_MBody_ Square", "_MBody_ Circle", "Restart data error. Wrong body name Circle."}};
  for (const auto& f : faults) {
    old.write("c.dat.rst", Replace(saved, f.from, f.to));
    old.write("c.dat", cases[0].second);
    EXPECT_EQ(old.olvu({"-name", "c.dat"}).status, 1) << f.to;
    EXPECT_EQ(old.read("c.dat.err"), ErrFile(f.message + "\n"));
  }
}

TEST(BodyMotion, BodyDataThatIsNoFiniteNumberEndsTheRun) {
  // Read at the start, or a centre that leaves the doubles at t = 0.1 (step 2): exit 1 with the
  // set and the keyword, the restart file of step 1 intact.
  const struct {
    const char* what;
    std::string from, to, message;
  } cases[] = {
      {"centre", "GOX \"0.5\"", "GOX \"log(0)\"", "Square Error: Wrong Center_of_Gravity GOX data"},
      {"late centre", "GOY \"0.5\"", "GOY \"0.5+exp(1e5*(t-0.08))\"", "Square Error: Wrong Center_of_Gravity GOY data"},
      {"centre text", "GOX \"0.5\"", "GOX \"0.5+(\"",
       "Function Square Center_of_Gravity GOX compiler error: expression code missing"},
      {"mass", "Mass 1 [Kg]", "Mass 1e999 [Kg]", "Square Error: Wrong Mass data"},
      {"mass text", "Mass 1 [Kg]", "Mass one [Kg]", "Square Error: Wrong Mass data"},
      {"radius", "Radii_of_Gyration 0.08164965809277261", "Radii_of_Gyration 1e999",
       "Square Error: Wrong Radii_of_Gyration data"},
      {"spring", "Springs 10", "Springs -1e999", "Square Error: Wrong Springs data"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    SquareInBox s;
    s.steps = 3, s.out = 1;
    s.card = "Displacement_OY 1 DOY \"0\" [m] Springs 10 0 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]";
    Folder dir;
    const std::string text = s.Text();
    ASSERT_NE(text.find(k.from), std::string::npos);
    dir.write("c.dat", Replace(text, k.from, k.to));
    EXPECT_EQ(dir.olvu({"-name", "c.dat"}).status, 1);
    EXPECT_EQ(dir.read("c.dat.err"), ErrFile(k.message + "\n"));
    const std::string rst = dir.read("c.dat.rst");
    if (std::string(k.what) == "late centre") {
      EXPECT_EQ(rst.rfind("Problem;\nCurrent_Step = 1 ,", 0), 0u) << rst.substr(0, 60);
      EXPECT_NE(rst.find("\nEndFluid;\nEndProblem;\n"), std::string::npos);
    } else {
      EXPECT_EQ(rst, "");
    }
  }
}

}  // namespace
}  // namespace olvu_test
