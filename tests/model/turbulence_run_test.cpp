// Whole runs with the eddy-viscosity models: the algebraic models on a linear shear flow against
// their formulas, and every model keyword through a channel run with finite fields inside their
// clamps.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "tests/model/channelrun.h"

namespace {

using olvu_test::Folder;
using olvu_test::GridKind;
using olvu_test::GridLayout;
using olvu_test::FlowRun;
using olvu_test::LastBlock;
using olvu_test::Line;
using olvu_test::Velocity;

// The rectangle 3 x 4 of 8 x 8 cells (two 3-4-5 right triangles each) with u = 2 y imposed on its
// boundary and given inside at the start, k = 0.04 and l = 0.05: one step of the model `word`.
FlowRun Shear(const std::string& word) {
  FlowRun f;
  f.grid.kind = GridKind::Tri3;
  f.grid.nx = f.grid.ny = 8, f.grid.lx = 3, f.grid.ly = 4;
  f.grid.flags = "Solve_NavierStokes " + word + " TVscMaximum 1e6";
  f.grid.initial =
      "Function VelocityX \"2*Y\" [m/s];\nFunction EddyKineticEnergy \"0.04\" [m2/s2];\nFunction EddyLength \"0.05\" [m];\n";
  f.grid.properties = "Function Density \"1\" [Kg/m3];\nFunction Viscosity \"0.1\" [Kg/m.s];\n";
  f.steps = 1;
  const GridLayout g = f.grid;
  f.condition = [g](int i, int j, int) {
    if (i != 0 && j != 0 && i != g.nx && j != g.ny) return std::string();
    return Line(g.Id(i, j), Velocity(2.0 * g.ly * j / g.ny));
  };
  return f;
}

TEST(TurbulenceRun, AlgebraicModelsGiveTheirFormulaOnALinearShear) {
  // |S| = du/dy = 2 everywhere (the nodal gradient of a linear field is exact). Every triangle has
  // the edges 0.375, 0.5 and 0.625, so the nodal size h is their mean 0.5 everywhere; no wall is
  // near. Both values print exactly in the result file's six figures.
  const double S = 2, h = 0.5;
  const struct {
    const char* word;
    double nut;
  } cases[] = {{"Solve_Smagorinsky", S * (0.17 * h) * (0.17 * h)}, {"Solve_Mixing_Length", 0.05 * 0.05 * S}};
  for (const auto& c : cases) {
    Folder dir;
    std::string res;
    const auto r = Shear(c.word).Run(dir, res);
    ASSERT_EQ(r.status, 0) << c.word << "\n" << r.err;
    const auto nut = LastBlock(res, "EDDY_VISCO");
    ASSERT_EQ(nut.size(), 81u) << c.word;
    for (const auto& [node, v] : nut) EXPECT_NEAR(v[0], c.nut, 1e-6 * c.nut) << c.word << " node " << node;
  }
}

TEST(TurbulenceRun, EveryModelRunsAChannelWithFieldsInsideTheirClamps) {
  // Ratios of the clamps to the largest initial value of each field.
  const double kMax = 10, tMax = 100;
  const double k0 = 0.01, l0 = 0.05, nut0 = l0 * std::sqrt(k0);
  const char* models[] = {"Solve_Kinetic_Energy", "Solve_Kinetic_Energy_2L", "Solve_Smagorinsky",
                          "Solve_Mixing_Length",  "Solve_K_Omega",           "Solve_K_Omega_SST",
                          "Solve_K_KT",           "Solve_Spalart_Allmaras",  "Solve_Baldwin_Lomax",
                          "Solve_K_Epsilon",      "Solve_K_Epsilon_2L",      "Solve_K_Epsilon_LS",
                          "Solve_K_Epsilon_LB"};
  for (const char* model : models) {
    std::ostringstream flags;
    flags << model << " KenrMinimum 0.01 KenrMaximum " << kMax << " EpslMinimum 0.01 EpslMaximum " << kMax
          << " OmegMinimum 0.01 OmegMaximum " << kMax << " KtauMinimum 0.01 KtauMaximum " << kMax
          << " TVscMinimum 0.01 TVscMaximum " << tMax;
    FlowRun f = olvu_test::Channel(1, "0", flags.str(), 20, 6);
    f.steps = 8;
    f.dt = "0.1";
    f.grid.initial = "Function EddyKineticEnergy \"" + std::to_string(k0) + "\" [m2/s2];\nFunction EddyLength \"" +
                     std::to_string(l0) + "\" [m];\n";
    Folder dir;
    std::string res;
    const auto r = f.Run(dir, res);
    ASSERT_EQ(r.status, 0) << model << "\n" << r.err << dir.read("flow.dat.err");
    const auto nut = LastBlock(res, "EDDY_VISCO");
    ASSERT_FALSE(nut.empty()) << model;
    for (const auto& [node, v] : nut) {
      ASSERT_TRUE(std::isfinite(v[0])) << model << " node " << node;
      EXPECT_GE(v[0], 0.01 * nut0 * (1 - 1e-9)) << model << " node " << node;
      EXPECT_LE(v[0], tMax * nut0 * (1 + 1e-9) + 1e-14) << model << " node " << node;
    }
    for (const char* block : {"EDDY_ENERGY", "EPSILON", "OMEGA"})
      for (const auto& [node, v] : LastBlock(res, block)) {
        ASSERT_TRUE(std::isfinite(v[0])) << model << " " << block << " node " << node;
        EXPECT_GT(v[0], 0) << model << " " << block << " node " << node;
      }
    for (const auto& [node, v] : LastBlock(res, "EDDY_ENERGY"))
      EXPECT_LE(v[0], kMax * k0 * (1 + 1e-9) + 1e-14) << model << " node " << node;
    const auto vel = LastBlock(res, "VELOCITY");
    for (const auto& [node, v] : vel) ASSERT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1])) << model;
  }
}

}  // namespace
