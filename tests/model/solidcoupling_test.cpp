// The solid domain's sends over the coupling link, seen by a test peer: which steps send, the
// frame layout and values, and the faults of a peer that breaks off.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>

#include "tests/driver/run_olvu.h"
#include "tests/support/peer.h"

namespace olvu_test {
namespace {

// Conduction in the unit square of nine nodes, with `coupling` on the solid card, `steps` steps
// of 0.1 s, and problem nodes 10 to `nodes` lying in no domain.
std::string Slab(const std::string& coupling, int steps, int nodes = 10) {
  std::string t =
      "OLVU_2D;\nProblemDefinition;\n"
      "GeneralData Number_of_Steps " + std::to_string(steps) +
      " Time_Increment \"0.1\" [s] OutPut_Step 100 Max_Iterations 1;\n"
      "PhysicalData Gravity 0 -9.81 0 [m/s2];\n"
      "Nodes;\n"
      "  1  0.0 0.0 0.0\n  2  0.5 0.0 0.0\n  3  1.0 0.0 0.0\n"
      "  4  0.0 0.5 0.0\n  5  0.5 0.5 0.0\n  6  1.0 0.5 0.0\n"
      "  7  0.0 1.0 0.0\n  8  0.5 1.0 0.0\n  9  1.0 1.0 0.0\n";
  for (int k = 10; k <= nodes; ++k) t += "  " + std::to_string(k) + "  2.0 2.0 0.0\n";
  t += "SolidDefinition Solve_Temperature " + coupling +
       " Integration_Scheme Backward_Euler;\n"
       "InitialDataFunctions;\nEndInitialDataFunctions;\n"
       "ElmSets;\n"
       "Set 1 Type Solid ElmType Triangle NNode 3 Name Wall;\n"
       "PhysicalPropertiesFunctions;\n"
       "Function SolidDensity \"1000\" [Kg/m3];\n"
       "Function SpecificHeat \"1\" [J/Kg.Gt];\n"
       "Function ConductivityXX \"3\" [W/m.Gt];\n"
       "Function ConductivityXY \"0\" [W/m.Gt];\n"
       "Function ConductivityYY \"3\" [W/m.Gt];\n"
       "Function MechanicalStrain \"X+10*Y\";\n"
       "EndPhysicalPropertiesFunctions;\n"
       "Elements\n"
       "  1  1 2 5\n  2  1 5 4\n  3  2 3 6\n  4  2 6 5\n"
       "  5  4 5 8\n  6  4 8 7\n  7  5 6 9\n  8  5 9 8\n"
       "End Elements\nEndElmSets;\n"
       "Boundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n"
       "Node 1 Temp 1;\nNode 3 Temp 0;\n"
       "EndBoundary;\n"
       "TotalDefinition;\nToleranceData TemConvergenceNorm 1e-12;\nElmSets;\nEndElmSets;\nEndProblem;\n";
  return t;
}

// What the peer saw of one run against the program: the handshake, every byte after it and the
// whole frames among them.
struct Exchange {
  Outcome run;
  std::string handshake, bytes;
  std::vector<Frame> frames;
};

// Runs the program on `data` linked to a peer that holds the port, answers the handshake and
// serves frames with `reply`, stopping after `stopAt` bytes when positive.
Exchange RunLinked(const Folder& dir, const std::string& data, const std::string& reply = std::string(16, '\0'),
                   std::size_t stopAt = 0) {
  dir.write("slab", data);
  PeerListener listener;
  Exchange e;
  std::thread peer([&] {
    PeerSocket s = listener.accept();
    e.handshake = s.receive(16);
    s.send(std::string(16, '\0'));
    e.frames = ServeFrames(s, e.bytes, reply, stopAt);
  });
  e.run = dir.olvu({"-coupling", std::to_string(listener.port()), "60000", "-name", "slab"});
  peer.join();
  return e;
}

TEST(SolidCoupling, SendsTheStrainAtTheCouplingSteps) {
  const struct {
    const char* coupling;
    std::vector<int> steps;  // steps that send
  } cases[] = {
      {"Solve_Kelvarid Coupling_Type Step_By_Step Coupling_Step 2", {2, 4}},
      {"Solve_Kelvarid Coupling_Type Steady_State Coupling_Step 2", {5}},
      {"Solve_Kelvarid Coupling_Type Step_By_Step Coupling_Step 0", {}},
      {"Coupling_Type Step_By_Step Coupling_Step 1", {}},  // no "Solve_Kelvarid"
  };
  const int n = 10;  // nine solid nodes and one outside
  for (const auto& c : cases) {
    SCOPED_TRACE(c.coupling);
    Folder dir;
    const Exchange e = RunLinked(dir, Slab(c.coupling, 5));
    ASSERT_EQ(e.run.status, 0) << dir.read("slab.err");
    EXPECT_EQ(e.handshake, std::string(16, '\0'));
    EXPECT_EQ(e.bytes.size(), c.steps.size() * (16 + 8 * n));  // nothing beyond the frames
    ASSERT_EQ(e.frames.size(), c.steps.size());
    for (std::size_t f = 0; f < e.frames.size(); ++f) {
      EXPECT_EQ(e.frames[f].code, 2);
      EXPECT_NEAR(e.frames[f].value, 0.1 * c.steps[f], 1e-12);
      ASSERT_EQ(e.frames[f].count, n);
      for (int k = 0; k < 9; ++k)  // X + 10 Y at node k + 1 of the 3 x 3 grid
        EXPECT_NEAR(e.frames[f].values[std::size_t(k)], 0.5 * (k % 3) + 5.0 * (k / 3), 1e-12) << k + 1;
      EXPECT_EQ(e.frames[f].values[9], 0.0);
    }
    const std::string war = dir.read("slab.war"), sent = " -->\tKelvarid information sent successfully !\n";
    std::size_t notices = 0;
    for (auto at = war.find(sent); at != std::string::npos; at = war.find(sent, at + 1)) ++notices;
    EXPECT_EQ(notices, c.steps.size());
    const bool none = std::string(c.coupling).find("Coupling_Step 0") != std::string::npos;
    EXPECT_EQ(war.find("Kelvarid coupling type set to None. Kelvarid won't be solved.") != std::string::npos, none);
  }
}

TEST(SolidCoupling, PeerThatBreaksOffEndsTheRunWithItsMessage) {
  const int n = 200000;
  const std::size_t frame = 16 + 8 * std::size_t(n);
  const std::string data = Slab("Solve_Kelvarid Coupling_Type Step_By_Step Coupling_Step 1", 2, n);
  const struct {
    const char* what;
    std::string reply;
    std::size_t stopAt;
    std::vector<std::string> messages;  // any one of them
  } cases[] = {
      {"closes before the confirmation", "", frame, {"Failed to read confirm data"}},
      {"short confirmation, then closes", std::string(8, '\0'), frame, {"Failed to read confirm data"}},
      // Where the write stands when the peer goes decides which step notices it.
      {"closes in the middle of the frame", "", frame / 2,
       {"Failed to write data", "Failed to flush data", "Failed to read confirm data"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    const Exchange e = RunLinked(dir, data, c.reply, c.stopAt);
    EXPECT_EQ(e.run.status, 1);  // an exit, not a signal
    EXPECT_EQ(e.bytes.size(), c.stopAt);
    const std::string err = dir.read("slab.err");
    bool known = false;
    for (const std::string& m : c.messages) known = known || err == ErrFile(m + "\n");
    EXPECT_TRUE(known) << err;
  }
}

}  // namespace
}  // namespace olvu_test
