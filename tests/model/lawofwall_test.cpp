// Wall laws: the friction velocity of each law against an independent evaluation of its own
// equation, the wall stresses, and the fatal texts of bad data and bad calls.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "flow/lawofwall.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "tests/foundation/vec_support.h"
#include "tests/input/reader_support.h"

namespace {

// Reichardt's u+ at y+, written out here apart from the law.
double Uplus(double y) {
  return 7.8 * (1 - std::exp(-y / 11) - (y / 11) * std::exp(-0.33 * y)) + 2.5 * std::log(1 + 0.41 * y);
}

// A body set named "Hull" over the given points (the law reads its name and extent).
class Hull : public Mesh {
 public:
  explicit Hull(const std::vector<std::array<double, 3>>& points) : Mesh(10, 10, 3, Linear, 2) {
    int n = 0;
    for (const auto& p : points) {
      auto nd = std::make_unique<Node>(3);
      for (unsigned c = 0; c < 3; ++c) (*nd)[c] = p[c];
      nd->num[0] = ++n;
      addNode(nd.get());
      nodes_.push_back(std::move(nd));
    }
  }
  const char* Name() override { return "Hull"; }

 private:
  std::vector<std::unique_ptr<Node>> nodes_;
};

// A reader on the one card `card` (written to law.dat in the working directory).
std::unique_ptr<Input> Card(const std::string& card) {
  std::ofstream("law.dat") << card << ";\n";
  auto in = std::make_unique<Input>("law.dat");
  in->SetDefaultUnitsConverser();
  in->ReadLine();
  return in;
}

enum class Kind { Rough, Yplus, Stress, Delta, ITTC, Schoenherr };

std::unique_ptr<WallLaw> Make(Kind k, Mesh* owner, Input* in) {
  switch (k) {
    case Kind::Rough: return std::make_unique<RoughWallLaw>(owner, in);
    case Kind::Yplus: return std::make_unique<FixYplusWallLaw>(owner, in);
    case Kind::Stress: return std::make_unique<StressWallLaw>(owner, in);
    case Kind::Delta: return std::make_unique<FixDeltaWallLaw>(owner, in);
    case Kind::ITTC: return std::make_unique<ITTCWallLaw>(owner, in);
    case Kind::Schoenherr: return std::make_unique<SchoenherrWallLaw>(owner, in);
  }
  return nullptr;
}

// Root of g on [a, b] by bisection (g changes sign there).
double Bisect(const std::function<double(double)>& g, double a, double b) {
  for (int i = 0; i < 200; ++i) {
    const double m = 0.5 * (a + b);
    (g(a) < 0) == (g(m) < 0) ? a = m : b = m;
  }
  return 0.5 * (a + b);
}

TEST(WallLaws, FrictionVelocityIsTheRootOfEachLawsEquation) {
  Hull hull({{0, 0, 0}, {2, 0, 0}, {2, 0.5, 0}});
  const double nu = 1e-6;
  // Reichardt's profile at a fixed distance: U built from a chosen u* at y+ 30 and 100.
  for (double yplus : {30.0, 100.0}) {
    const double ustar = 0.05, delta = yplus * nu / ustar;
    const double U = ustar * Uplus(yplus);
    Max_Velocity = U;
    auto in = Card("Body DeltaWall Delta " + std::to_string(delta) + " [m]");
    FixDeltaWallLaw law(&hull, in.get());
    law.Limits(2.5 * Max_Velocity, 1e-14);
    EXPECT_NEAR(law.Solve(nu, U), ustar, 2e-4 * ustar) << "y+ " << yplus;
    EXPECT_DOUBLE_EQ(law.Give_y(), delta);
    auto in2 = Card("Body YplusWall Yplus " + std::to_string(yplus));
    FixYplusWallLaw fixed(&hull, in2.get());
    EXPECT_NEAR(fixed.Solve(nu, U), ustar, 1e-12) << "y+ " << yplus;
  }
  // Fully rough wall (k+ above 25): u+ = ln(Delta / k) / 0.41 + 8.4.
  {
    Max_Velocity = 5;
    auto in = Card("Body RoughWall Delta 0.01 [m] Roughness 0.001 [m]");
    RoughWallLaw law(&hull, in.get());
    law.Limits(2.5 * Max_Velocity, 1e-14);
    const double expected = 5 / (std::log(10.0) / 0.41 + 8.4);
    EXPECT_GT(0.001 * expected / nu, 25);
    EXPECT_NEAR(law.Solve(nu, 5), expected, 1e-4 * expected);
  }
  // ITTC line over the body's length along the mean flow (2), on both sides of Re = 1000.
  {
    Reference_Velocity.resize(3, 0.0);
    Reference_Velocity[0] = 3;
    Max_Velocity = 1;
    auto in = Card("Body ITTC_Wall Cw 0.075 Yplus 100");
    ITTCWallLaw law(&hull, in.get());
    EXPECT_DOUBLE_EQ(law.Solve(1e-3, 0.4), 0.4 / 100);  // Re 800
    const double t = std::tanh(0.2);                     // Re 2000
    EXPECT_NEAR(law.Solve(1e-3, 1.0), t * std::sqrt(0.075) / (std::log10(2000.0) - 2) + (1 - t) / 100, 1e-15);
    EXPECT_EQ(law.Solve(1e-3, 0.0005), 0.0);  // below 0.001 Max_Velocity
  }
  // Schoenherr's line at Re = U (D / 2) / nu, D the body's diagonal (2 here): the published
  // figures and a bisection of 1 / sqrt(Cf) = 4.13 log10(Re Cf).
  Hull plate({{0, 0, 0}, {2, 0, 0}});
  const double figures[3][2] = {{1e6, 0.004413}, {1e7, 0.002937}, {1e8, 0.002074}};
  for (const auto& f : figures) {
    const double re = f[0], U = re * nu;
    Max_Velocity = U;
    auto in = Card("Body Scho_Wall Yplus 50");
    SchoenherrWallLaw law(&plate, in.get());
    law.Limits(2.5 * Max_Velocity, 1e-14);
    const double ustar = law.Solve(nu, U);
    const double cf = 2 * ustar * ustar / (U * U);
    const double root = Bisect([re](double c) { return 1 / std::sqrt(c) - 4.13 * std::log10(re * c); }, 1e-4, 0.1);
    EXPECT_NEAR(cf, root, 1e-5 * root) << "Re " << re;
    EXPECT_NEAR(cf, f[1], 0.6e-6) << "Re " << re;
  }
}

TEST(WallLaws, StressIsTheWallShearStressOfTheProfile) {
  // tau_w = u*^2 for the u* the law finds at the node: the speed U then sits at u+ = U / sqrt(tau_w)
  // on the law's own profile, Reichardt's at the fixed y+ or at y+ = Delta u* / nu (the log layer,
  // the buffer layer and the viscous sublayer); the other laws give u*^2 too, and a fluid at rest
  // no stress.
  Hull hull({{0, 0, 0}, {1, 0, 0}});
  Reference_Velocity.resize(3, 0.0);
  Reference_Velocity[0] = 1;
  const double nu = 1e-6, U = 1;
  Max_Velocity = U;
  struct Case {
    Kind kind;
    std::string card;
    double yplus;  // of the profile check; 0 for u*^2 alone
  };
  const double ustar = U / Uplus(50);  // y+ 50 at this u* for a distance of 50 nu / u*
  const Case cases[] = {
      {Kind::Yplus, "Yplus 30", 30},
      {Kind::Yplus, "Yplus 300", 300},
      {Kind::Delta, "Delta " + std::to_string(50 * nu / ustar) + " [m]", -1},
      {Kind::Delta, "Delta 2.5e-7 [m]", -1},  // y+ 0.5, in the viscous sublayer
      {Kind::Rough, "Delta 0.001 [m] Roughness 1e-5 [m]", 0},
      {Kind::Schoenherr, "Yplus 50", 0},
      {Kind::ITTC, "Cw 0.075 Yplus 50", 0},
      {Kind::Stress, "Cw 0.003", 0},
  };
  for (const Case& c : cases) {
    auto in = Card("Body " + c.card);
    auto law = Make(c.kind, &hull, in.get());
    law->Limits(2.5 * Max_Velocity, 1e-14);
    const double t = law->Solve(nu, U), tau = law->CalcStress(nu, t);
    ASSERT_GT(t, 0) << c.card;
    EXPECT_DOUBLE_EQ(tau, t * t) << c.card;
    // The distance laws' y+ follows from their u*: Delta u* / nu.
    const double yplus = c.yplus < 0 ? law->Give_y() * std::sqrt(tau) / nu : c.yplus;
    if (yplus != 0) {
      EXPECT_NEAR(U / std::sqrt(tau), Uplus(yplus), 2e-4 * Uplus(yplus)) << c.card;
    }
    EXPECT_EQ(law->CalcStress(nu, law->Solve(nu, 0)), 0.0) << c.card;
  }
  WallLaw plain(&hull);
  EXPECT_EQ(plain.Solve(nu, 3), 0.0);
  EXPECT_EQ(plain.CalcStress(nu, 0), 0.0);
}

TEST(WallLaws, BadDataAndBadCallsEndWithTheLawsMessage) {
  struct Case {
    Kind kind;
    std::string card;
    int call;  // 0 construction only, 1 Solve with U < 0, 2 Limits with lo > hi
    std::string message;
  };
  const Case cases[] = {
      {Kind::Rough, "Delta 0", 0, "RoughWallLaw, body Hull: Delta value out of range (d > 0 needed)\n"},
      {Kind::Rough, "Delta 1 [m] Roughness 0", 0, "RoughWallLaw, body Hull: Roughness out of range (k > 0 needed)\n"},
      {Kind::Delta, "Delta -1 [m]", 0, "FixDeltaWallLaw, body Hull: Delta value out of range (d > 0 needed)\n"},
      {Kind::Yplus, "Yplus 0", 0, "FixYplusWallLaw, body Hull: Yplus value out of range (y+ > 0 needed)\n"},
      {Kind::Schoenherr, "Yplus 0", 0, "SchoenherrWallLaw, body Hull: Yplus value out of range (y+ > 0 needed)\n"},
      {Kind::ITTC, "Cw 0.075 Yplus 30", 0, "ITTCWallLaw, body Hull: Yplus value out of range (y+ > 30 needed)\n"},
      {Kind::ITTC, "Cw -1 Yplus 100", 0, "ITTCWallLaw, body Hull: Cw value out of range (Cw >= 0 needed)\n"},
      {Kind::Stress, "Cw -1", 0, "StressWallLaw, body Hull: Cw value out of range (Cw >= 0 needed)\n"},
      {Kind::Rough, "Delta 1 [m]", 1, "RoughWallLaw, body Hull: Wrong call to Solve(). \n"},
      {Kind::Yplus, "Yplus 50", 1, "FixYplusWallLaw, body Hull: Wrong call to Solve(). \n"},
      {Kind::Stress, "Cw 0.1", 1, "StressWallLaw, body Hull: Wrong call to Solve(). \n"},
      {Kind::Delta, "Delta 1 [m]", 1, "FixDeltaWallLaw, body Hull: Wrong call to Solve(). \n"},
      {Kind::ITTC, "Cw 0.1 Yplus 50", 1, "ITTCWallLaw: Wrong call to Solve()\n"},
      {Kind::Schoenherr, "Yplus 50", 1, "SchoenherrWallLaw: Wrong call to Solve()\n"},
      {Kind::Rough, "Delta 1 [m]", 2, "Wrong Limits\n"},
      {Kind::Delta, "Delta 1 [m]", 2, "Wrong Limits\n"},
  };
  for (const Case& c : cases) {
    olvu_test::ExpectFatalOn(
        "Body " + c.card + ";\n",
        [&c](Input& in) {
          in.SetDefaultUnitsConverser();
          in.ReadLine();
          Hull hull({{0, 0, 0}, {1, 0, 0}});
          auto law = Make(c.kind, &hull, &in);
          if (c.call == 1) law->Solve(1e-6, -1);
          if (c.call == 2) law->Limits(1e-14, 1);
        },
        c.message);
  }
}

TEST(WallLaws, LowYplusIsWarnedAndTheLawStillUsed) {
  for (Kind k : {Kind::Yplus, Kind::Schoenherr}) {
    auto r = olvu_test::RunOnData("Body Yplus 20;\n", [k](Input& in) {
      in.ReadLine();
      Hull hull({{0, 0, 0}, {1, 0, 0}});
      Max_Velocity = 1;
      auto law = Make(k, &hull, &in);
      if (!(law->Solve(1e-6, 1) > 0)) std::exit(3);
    });
    EXPECT_EQ(r.status, 0);
    const std::string what = k == Kind::Yplus ? "Yplus Fix" : "Schoenherr";
    EXPECT_NE(r.file("case.war").find(what + " law of the wall may not work for yplus <= 30.\n\tCheck Hull data."),
              std::string::npos)
        << r.file("case.war");
  }
}

TEST(WallLaws, FrictionVelocityPerNodeAllocatesNothing) {
  // A sweep over 200 wall nodes of every law, the nonlinear ones' root finding included, after
  // the construction and the search interval.
  Hull hull({{0, 0, 0}, {2, 0, 0}, {2, 0.5, 0}});
  Max_Velocity = 3;
  Reference_Velocity.resize(3, 0.0);
  Reference_Velocity[0] = 1;
  const struct {
    Kind kind;
    const char* card;
  } laws[] = {{Kind::Rough, "Delta 0.001 [m] Roughness 1e-5 [m]"}, {Kind::Yplus, "Yplus 50"},
              {Kind::Stress, "Cw 0.003"}, {Kind::Delta, "Delta 0.001 [m]"}, {Kind::ITTC, "Cw 0.075 Yplus 50"},
              {Kind::Schoenherr, "Yplus 50"}};
  for (const auto& l : laws) {
    auto in = Card(std::string("Body ") + l.card);
    auto law = Make(l.kind, &hull, in.get());
    law->Limits(2.5 * Max_Velocity, 1e-14);
    double sum = 0;
    olvu_test::AllocCounter counter;
    for (int n = 0; n < 200; ++n) {
      const double ustar = law->Solve(1e-6, 0.01 + 0.015 * n);
      sum += law->CalcStress(1e-6, ustar);
    }
    EXPECT_EQ(counter.count(), 0) << l.card;
    EXPECT_GT(sum, 0) << l.card;
  }
}

}  // namespace
