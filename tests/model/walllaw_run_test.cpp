// Runs of the program with wall-law walls: laminar and turbulent channels driven by a body force
// between two wall-law walls (slip speed and wall force against the momentum balance and against
// the stress applied), and the laws' own messages reached through a body set's card.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/channelrun.h"

namespace olvu_test {
namespace {

// Columns of the last force line, split at tabs.
std::vector<std::string> LastForces(const std::string& table) {
  std::vector<std::string> out;
  std::istringstream in(table.substr(table.rfind('\n', table.size() - 2) + 1));
  for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
  return out;
}

// Node values of the last block `name` of column i of the channel, bottom to top.
std::vector<double> Column(const WallChannel& c, const std::string& res, const std::string& name, int i) {
  const auto b = LastBlock(res, name);
  std::vector<double> out;
  for (std::size_t j = 0; j < c.ys.size(); ++j) out.push_back(b.at(c.Id(i, int(j)))[0]);
  return out;
}

TEST(WallLawRuns, WallLawsHoldTheLaminarChannelAtTheirSlipSpeed) {
  // Steady state: each wall carries the body force of its half, tau_w = rho u*^2 = rho f delta,
  // u* = sqrt(f delta) = sqrt(0.5); the wall speed is where the law puts u*: sqrt(tau_w / (rho Cw))
  // = sqrt(10) for Cw 0.05, u+(30) u* at y+ 30, u+(Delta u* / nu) u* at a distance Delta (y+ 14,
  // the buffer layer); "OldLawOfTheWall" gives the same stress. The parabola f (delta^2 - y'^2) /
  // (2 nu) rides on it (1.25 at the middle). Water density, so the force table's rho counts;
  // height 1 in 8 rows, 2 columns; 120 steps of 0.5 s against the wall's time scale of 3 s.
  // The .for viscous force (per body: name, pressure force, pressure moment, viscous force) is
  // the wall stress applied, WALL_LAW_TRACTION times the wall length, and so the drive.
  const double delta = 0.5, ustar = std::sqrt(1.0 * delta);
  const struct {
    const char* wall;
    const char* general;
    double slip;
  } cases[] = {{"Cw_U2Wall Cw 0.05", "", std::sqrt(10.0)},
               {"YplusWall Yplus 30", "", ReichardtUplus(30) * ustar},
               {"YplusWall Yplus 30", "OldLawOfTheWall", ReichardtUplus(30) * ustar},
               {"DeltaWall Delta 2 [m]", "", ReichardtUplus(2 * ustar / 0.1) * ustar}};
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.wall) + " " + k.general);
    WallChannel c;
    c.steps = 120;
    c.rho = 1000;
    c.wall = k.wall;
    c.general = k.general;
    for (int j = 0; j <= 8; ++j) c.ys.push_back(j / 8.0);
    Folder dir;
    dir.write("wall.dat", c.Text());
    const Outcome r = dir.olvu({"-name", "wall.dat"});
    ASSERT_EQ(r.status, 0) << dir.read("wall.dat.err");
    const std::string res = dir.read("wall.dat.res");
    for (int i = 0; i <= c.nx; ++i) {
      const std::vector<double> u = Column(c, res, "VELOCITY", i);
      for (double w : {u.front(), u.back()}) EXPECT_NEAR(w, k.slip, 0.01 * k.slip) << i;
      EXPECT_NEAR(u[4], k.slip + c.f * delta * delta / (2 * c.nu), 0.01 * k.slip);
    }
    const std::vector<std::string> f = LastForces(dir.read("wall.dat.for"));
    ASSERT_GE(f.size(), 27u);
    ASSERT_EQ(f[14], "\"Top\"");
    const double bottom = std::stod(f[8]), top = std::stod(f[21]), drive = c.rho * c.f * c.lx * 2 * delta;
    EXPECT_NEAR(bottom + top, drive, 0.005 * drive);
    const std::vector<double> tau = Column(c, res, "WALL_LAW_TRACTION", 1);
    EXPECT_NEAR(bottom, tau.front() * c.lx, 0.005 * bottom);
    EXPECT_NEAR(top, tau.back() * c.lx, 0.005 * top);
  }
}

TEST(WallLawRuns, TurbulentChannelForceIsTheAppliedWallStress) {
  // The k-epsilon channel at Re_tau 2000 (21 nodes across, steps of 2 s) to its steady state with
  // the wall node at y+ 30 by each law: a fixed y+ 30, the fixed distance 30 nu / u_tau, and the
  // fixed y+ with "OldLawOfTheWall". The force table's viscous force of each wall is the stress
  // applied there (WALL_LAW_TRACTION) times the wall length, both walls carry the drive, and the
  // wall node runs at u_tau u+(30).
  const struct {
    bool delta;  // the distance law instead of the y+ law
    const char* general;
  } cases[] = {{false, ""}, {true, ""}, {false, "OldLawOfTheWall"}};
  for (const auto& k : cases) {
    WallFunctionChannel t("Solve_K_Epsilon", 2000, 10, "2");
    std::ostringstream wall;
    wall.precision(17);
    wall << "DeltaWall Delta " << t.offset << " [m]";
    if (k.delta) t.c.wall = wall.str();
    t.c.general = k.general;
    SCOPED_TRACE(t.c.wall + " " + k.general);
    Folder dir;
    dir.write("ch.dat", t.c.Text());
    const Outcome r = dir.olvu({"-name", "ch.dat"});
    ASSERT_EQ(r.status, 0) << dir.read("ch.dat.err");
    const std::string res = dir.read("ch.dat.res"), forces = dir.read("ch.dat.for");
    const ChannelFigures g = t.Measure(res, forces, r.out);
    EXPECT_GT(g.steadyStep, 0);
    EXPECT_NEAR(g.balance, 1, 0.005);
    const std::vector<std::string> f = LastForces(forces);
    ASSERT_GE(f.size(), 27u);
    const std::vector<double> tau = Column(t.c, res, "WALL_LAW_TRACTION", 1), u = Column(t.c, res, "VELOCITY", 1);
    EXPECT_NEAR(std::stod(f[8]), tau.front() * t.c.lx, 0.005 * tau.front() * t.c.lx);
    EXPECT_NEAR(std::stod(f[21]), tau.back() * t.c.lx, 0.005 * tau.back() * t.c.lx);
    for (double w : {u.front(), u.back()}) EXPECT_NEAR(w, t.utau * ReichardtUplus(30), 0.01 * t.utau * ReichardtUplus(30));
  }
}

TEST(WallLawRuns, AFluidAtRestHasNoWallStressAndNoWallOffset) {
  // No drive, no flow: u* is 0, so is the stress, and the wall distance is the plain distance
  // from the wall (no y+ to place the wall node at). Height 1 in 4 rows.
  WallChannel c;
  c.steps = 2;
  c.f = 0;
  c.wall = "YplusWall Yplus 30";
  c.ys = {0, 0.25, 0.5, 0.75, 1};
  Folder dir;
  dir.write("wall.dat", c.Text());
  const Outcome r = dir.olvu({"-name", "wall.dat"});
  ASSERT_EQ(r.status, 0) << dir.read("wall.dat.err");
  const std::string res = dir.read("wall.dat.res");
  const std::vector<double> y = Column(c, res, "DISTANCE", 1), tau = Column(c, res, "WALL_LAW_TRACTION", 1);
  for (std::size_t j = 0; j < c.ys.size(); ++j) {
    EXPECT_NEAR(y[j], 0.5 - std::fabs(c.ys[j] - 0.5), 1e-12) << j;
    EXPECT_EQ(tau[j], 0.0) << j;
  }
  const std::vector<std::string> f = LastForces(dir.read("wall.dat.for"));
  ASSERT_GE(f.size(), 27u);
  EXPECT_EQ(std::stod(f[8]), 0.0);
}

TEST(WallLawRuns, EachLawReadsTheBodyCardAndNamesTheBody) {
  const struct {
    const char* wall;
    const char* message;
  } cases[] = {
      {"YplusWall Yplus 0", "FixYplusWallLaw, body Bottom: Yplus value out of range (y+ > 0 needed)"},
      {"DeltaWall Delta 0 [m]", "FixDeltaWallLaw, body Bottom: Delta value out of range (d > 0 needed)"},
      {"RoughWall Delta 1 [m] Roughness -1 [m]", "RoughWallLaw, body Bottom: Roughness out of range (k > 0 needed)"},
      {"Cw_U2Wall Cw -1", "StressWallLaw, body Bottom: Cw value out of range (Cw >= 0 needed)"},
      {"Scho_Wall Yplus 0", "SchoenherrWallLaw, body Bottom: Yplus value out of range (y+ > 0 needed)"},
      {"ITTC_Wall Cw 0.075 Yplus 20", "ITTCWallLaw, body Bottom: Yplus value out of range (y+ > 30 needed)"},
  };
  for (const auto& k : cases) {
    WallChannel c;
    c.steps = 1;
    c.ys = {0, 0.5, 1};
    c.wall = k.wall;
    Folder dir;
    dir.write("wall.dat", c.Text());
    EXPECT_EQ(dir.olvu({"-name", "wall.dat"}).status, 1) << k.wall;
    EXPECT_EQ(dir.read("wall.dat.err"), ErrFile(std::string(k.message) + "\n")) << k.wall;
  }
}

}  // namespace
}  // namespace olvu_test
