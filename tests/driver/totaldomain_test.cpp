// The total domain over no fluid or solid domain: its inner-iteration counts, tolerance table and
// convergence test, run in a child process on a small total-definition block.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>

#include "driver/totaldomain.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/input.h"
#include "tests/support/child.h"

namespace olvu_test {
namespace {

// Runs body on a total domain read from the total-definition card `card` and its tolerance card.
ChildResult OnTotal(const std::string& card, const std::string& tolerance,
                    const std::function<void(TotalDomain&)>& body) {
  return RunInChild(
      [&] {
        MemoryControlOn("case");
        Input in("case.dat");
        in.ReadCard("TotalDefinition");
        Plex<Node> nodes(10, "nodes");
        TotalDomain total(nullptr, nullptr, &nodes, &in);
        body(total);
      },
      [&](const std::string& dir) {
        WriteFile(dir + "/case.dat", card + ";\n" + tolerance + ";\nElmSets;\nEndElmSets;\n");
      });
}

TEST(TotalDomain, InnerCountsAndToleranceTable) {
  const ChildResult r = OnTotal("TotalDefinition VC_Inner_Iterations 2 TM_Inner_Iterations 0",
                                "ToleranceData PreConvergenceNorm 5 TemConvergenceNorm 1e-4", [](TotalDomain& t) {
                                  for (int k = 0; k < 6; ++k) std::cout << t.InnerIterations(k) << " ";
                                  for (unsigned k : {0u, 1u, 2u, 3u, 4u, 11u, 21u, 22u}) std::cout << VarTolerance[k] << " ";
                                  std::cout << VarIncrRatio.length() << " " << VarIncrRatio[5] << " "
                                            << VarDenominat[5] << " " << MinValue[3] << " " << MaxValue[3] << " "
                                            << MedValue[3] << " " << t.PhiCount() << t.SpeciesCount();
                                });
  EXPECT_EQ(r.status, 0);
  // Absent counts are 1 and a count of 0 stays 0; absent norms are 1e-10, the other entries 0.001,
  // and a norm above 1 is capped.
  EXPECT_EQ(r.out, "\n2 1 1 0 1 1 1e-10 1 0.0001 0.001 1e-10 1e-10 1e-10 0.001 23 1e+100 1e-14 1e+100 -1e+100 1 00");
}

TEST(TotalDomain, ConvergenceRatiosAreFormedPrintedAndJudgedInOrder) {
  const ChildResult r = OnTotal("TotalDefinition", "ToleranceData VelConvergenceNorm 1e-3 PreConvergenceNorm 1e-3 "
                                                   "TemConvergenceNorm 1e-3",
                                [](TotalDomain& t) {
                                  Fluid_Volume = 2;
                                  // A velocity ratio of 3 is printed, stored as 1 and fails.
                                  VarIncrement[0] = 3;
                                  VarDenominat[0] = 1;
                                  std::cout << t.HasConverged() << " " << VarIncrRatio[0] << " " << AverVelocity << "\n";
                                  // Ratios (1e-4, 5e-5, 0) pass; the factor is about 0.2.
                                  VarIncrement[0] = 1e-4;
                                  VarIncrement[1] = 5e-5;
                                  VarDenominat[1] = 1;
                                  VarIncrement[2] = 0;
                                  VarDenominat[2] = 1;
                                  std::cout << t.HasConverged() << " " << AutoFact_Time_Increment << "\n";
                                  // A ratio equal to its tolerance passes.
                                  VarIncrement[0] = 1e-3;
                                  std::cout << t.HasConverged() << "\n";
                                  // The pressure fails: the temperature is not reached.
                                  VarIncrement[1] = 1;
                                  std::cout << t.HasConverged() << "\n";
                                });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "\nVarIncrRatio(Vel) 3\n0 1 1.5\n"
            "VarIncrRatio(Vel) 0.0001\nVarIncrRatio(Pre) 5e-05\nVarIncrRatio(Tem) 0\n"
            "AutoFact_Time_Increment 0.2\t0.1\t0\nAutoFact_Time_Increment 0.2\n1 0.2\n"
            "VarIncrRatio(Vel) 0.001\nVarIncrRatio(Pre) 5e-05\nVarIncrRatio(Tem) 0\n"
            "AutoFact_Time_Increment 2\t0.1\t0\nAutoFact_Time_Increment 1\n1\n"
            "VarIncrRatio(Vel) 0.001\nVarIncrRatio(Pre) 1\n0\n");
}

TEST(TotalDomain, RatiosThatAreNotFiniteStopTheRun) {
  struct Case {
    unsigned entry;
    double increment;
    const char* message;
  };
  for (const Case& c : {Case{0, 0, "Fluid nonlinear algorithm diverged\n"},
                        Case{1, std::numeric_limits<double>::infinity(), "Fluid nonlinear algorithm diverged\n"},
                        Case{2, std::nan(""), "Temperature solver diverged\n"}}) {
    const ChildResult r = OnTotal("TotalDefinition", "ToleranceData", [&](TotalDomain& t) {
      VarIncrement = 0.0;
      VarDenominat = 1.0;
      VarTolerance = 1.0;
      VarIncrement[c.entry] = c.increment;
      if (c.entry == 0) VarDenominat[0] = 0;  // 0/0
      t.HasConverged();
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.file("case.err"), std::string(kErrBanner) + c.message);
  }
}

TEST(TotalDomain, SteadyStateNeedsEveryRatioBelowTheThreshold) {
  // Without domains the threshold is 0: ratios of 0 are not below it.
  const ChildResult r = OnTotal("TotalDefinition", "ToleranceData", [](TotalDomain& t) {
    VarIncrRatio = 0.0;
    std::cout << t.CheckSteadyState();
  });
  EXPECT_EQ(r.out, "\n0");
}

}  // namespace
}  // namespace olvu_test
