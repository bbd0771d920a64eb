// Runs of the program with wall-law walls: a laminar channel driven by a body force between two
// walls whose stress is Cw U^2 (slip speed and wall force against the momentum balance), and the
// laws' own messages reached through a body set's card.
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

TEST(WallLawRuns, StressWallsHoldTheLaminarChannelAtItsSlipSpeed) {
  // Steady state: the walls carry the body force, Cw U_s^2 = f delta, so U_s = sqrt(f delta / Cw)
  // = sqrt(10), and the parabola f (delta^2 - y'^2) / (2 nu) rides on it (1.25 at the middle).
  // Height 1 in 8 rows, 2 columns; 120 steps of 0.5 s against the wall's time scale of 3 s.
  WallChannel c;
  c.steps = 120;
  for (int j = 0; j <= 8; ++j) c.ys.push_back(j / 8.0);
  const double delta = 0.5, slip = std::sqrt(c.f * delta / 0.05);
  Folder dir;
  dir.write("wall.dat", c.Text());
  const Outcome r = dir.olvu({"-name", "wall.dat"});
  ASSERT_EQ(r.status, 0) << dir.read("wall.dat.err");
  const auto v = LastBlock(dir.read("wall.dat.res"), "VELOCITY");
  for (int i = 0; i <= c.nx; ++i)
    for (int j : {0, 8}) EXPECT_NEAR(v.at(c.Id(i, j))[0], slip, 0.01 * slip) << i << " " << j;
  EXPECT_NEAR(v.at(c.Id(1, 4))[0], slip + c.f * delta * delta / (2 * c.nu), 0.01 * slip);
  // The force on the walls (name, then pressure force, pressure moment, viscous force per body).
  const std::vector<std::string> f = LastForces(dir.read("wall.dat.for"));
  ASSERT_GE(f.size(), 27u);
  ASSERT_EQ(f[14], "\"Top\"");
  const double force = std::stod(f[8]) + std::stod(f[21]), volume = c.lx * 2 * delta;
  EXPECT_NEAR(force, c.f * volume, 0.005 * c.f * volume);
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
