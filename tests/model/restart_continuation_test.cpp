// Restarts that continue the unbroken run, over every kind of problem the tests build: each kind
// runs 2N steps at once, and N steps then "Restart" to 2N. Every result block after step N, every
// line of the force, movement and sink-and-trim tables and every entry of the last restart file
// agree to 1e-9 of the largest value of their block, column or entry, and every block of the
// restarted run's first output is the unbroken run's of step N, at its time. A new kind of
// problem joins the table when it is built. The restored entries that stand for nothing end the
// run.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"
#include "tests/model/bodycases.h"
#include "tests/model/channelrun.h"
#include "tests/model/restartrun.h"
#include "tests/model/slab.h"

namespace olvu_test {
namespace {

// The composite wall of fluid on [0, 1] x [0, 1] beside a solid plate on [1, 2] x [0, 1], 8 x 2
// cells of two triangles, in contact through an interface of conductance 2: the fluid held at
// 1 on its left, the plate at 0 on its right. With `flow` a lid at u = 1 stirs the fluid.
std::string FluidBesideSolid(bool flow) {
  const int nx = 8, ny = 2;
  auto id = [&](int i, int j) { return 1 + i + (nx + 1) * j; };
  std::ostringstream s;
  s << "OLVU_2D;\nProblemDefinition;\nGeneralData Number_of_Steps 4 Time_Increment \"0.1\" [s] OutPut_Step 2 "
       "Max_Iterations 10;\nPhysicalData Gravity 0 -9.81 0 [m/s2] Pres_Origin 1 1 0 [m];\nNodes;\n";
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) s << id(i, j) << " " << 0.25 * i << " " << 0.5 * j << " 0\n";
  auto cells = [&](int from, int to) {
    int e = 0;
    for (int j = 0; j < ny; ++j)
      for (int i = from; i < to; ++i) {
        s << ++e << " " << id(i, j) << " " << id(i + 1, j) << " " << id(i + 1, j + 1) << "\n";
        s << ++e << " " << id(i, j) << " " << id(i + 1, j + 1) << " " << id(i, j + 1) << "\n";
      }
  };
  s << "FluidDefinition " << (flow ? "Solve_NavierStokes " : "") << "Solve_Temperature Integration_Scheme "
    << "Backward_Euler;\nInitialDataFunctions;\nEndInitialDataFunctions;\nElmSets;\nSet 1 Type Fluid ElmType "
       "Triangle NNode 3 Name Water;\nPhysicalPropertiesFunctions;\nFunction Density \"1\" [Kg/m3];\nFunction "
       "Viscosity \"0.01\" [Kg/m.s];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\nFunction Conductivity \"0.05\" "
       "[W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n";
  cells(0, 4);
  s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
  for (int j = 0; j <= ny; ++j) s << "Node " << id(0, j) << " Temp 1;\n";
  if (flow) {
    for (int i = 0; i <= 4; ++i)
      for (int j = 0; j <= ny; ++j)
        if (i == 0 || i == 4 || j == 0 || j == ny) s << "Node " << id(i, j) << " Velc " << (j == ny && i < 4) << " 0 0;\n";
    s << "Node " << id(2, 0) << " Pres 0;\n";
  }
  s << "EndBoundary;\nSolidDefinition Solve_Temperature Integration_Scheme Backward_Euler;\nInitialDataFunctions;\n"
       "EndInitialDataFunctions;\nElmSets;\nSet 2 Type Solid ElmType Triangle NNode 3 Name Plate;\n"
       "PhysicalPropertiesFunctions;\nFunction SolidDensity \"2\" [Kg/m3];\nFunction SpecificHeat \"1\" [J/Kg.Gt];\n"
       "Function ConductivityXX \"0.1\" [W/m.Gt];\nFunction ConductivityXY \"0\" [W/m.Gt];\nFunction ConductivityYY "
       "\"0.1\" [W/m.Gt];\nEndPhysicalPropertiesFunctions;\nElements\n";
  cells(4, nx);
  s << "End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n";
  for (int j = 0; j <= ny; ++j) s << "Node " << id(nx, j) << " Temp 0;\n";
  s << "EndBoundary;\nTotalDefinition;\nToleranceData VelConvergenceNorm 1e-8 PreConvergenceNorm 1e-8 "
       "TemConvergenceNorm 1e-10;\nElmSets;\nSet 3 Type Interface ElmType Linear NNode 2 Name Contact Rest_Tem \"2\" "
       "[W/m2.Gt];\nElements\n";
  for (int j = 0; j < ny; ++j) s << j + 1 << " " << id(4, j) << " " << id(4, j + 1) << "\n";
  s << "End Elements\nEndElmSets;\nEndProblem;\n";
  return s.str();
}

// The lid cavity of 4 x 4 triangle pairs, heated by its lid at 1 over its bottom at 0.
std::string HeatedCavity() {
  FlowRun f = LidCavity(4, "Solve_NavierStokes Solve_Temperature", 4, "0.1");
  f.grid.properties += "Function SpecificHeat \"1\" [J/Kg.Gt];\nFunction Conductivity \"0.02\" [W/m.Gt];\n";
  const auto velocity = f.condition;
  const GridLayout g = f.grid;
  f.condition = [velocity, g](int i, int j, int k) {
    std::string c = velocity(i, j, k);
    if (j == g.ny || j == 0) c += Line(g.Id(i, j), j == 0 ? "Temp 0" : "Temp 1");
    return c;
  };
  return f.Text();
}

// The Phi channel: "Scalar" with its volume kept (or not) beside a second Phi problem "Dye".
std::string PhiChannel(bool conserve) {
  const std::string t = DataFile("restart_phi.dat");
  return conserve ? t : Replace(t, "Volume_Conservation 1", "Volume_Conservation 0");
}

// The Phi channel carrying a species made by its set as well, with a source growing upwards.
std::string SpeciesChannel() {
  std::string t = Replace(PhiChannel(true), "Solve_PhiProblems", "Solve_PhiProblems Solve_Concentration");
  t = Replace(t, "VariableInitialData 1", "SpeciesInitialData 1 \"0\";\nVariableInitialData 1");
  return Replace(t, "Name Channel;\n",
                 "Name Channel;\nSpeciesProperties;\nF1 \"1\" F2 \"0.01\" [m2/s] F3 \"0\" [1/s] F4 \"Y\" [1/s] F5 \"0\" "
                 "[s];\nEndSpeciesProperties;\n");
}

// The channel between two y+ 30 wall-law walls with the turbulence model `model`.
std::string TurbulentChannel(const std::string& model) {
  return Replace(DataFile("restart_kepsilon.dat"), "Solve_K_Epsilon", model);
}

// Heat conducted across that channel, held at 1 at a bottom node and 0 at a top one, with no flow
// solved: the y+ walls give no first-node distance.
std::string HeatBetweenWallLaws() {
  std::string t = std::regex_replace(DataFile("restart_kepsilon.dat"), std::regex("FluidDefinition [^;]*;"),
                                     "FluidDefinition Solve_Temperature Integration_Scheme Backward_Euler;");
  t = Replace(t, "Function AccelerationX \"0.00516\" [m/s2];",
              "Function SpecificHeat \"1\" [J/Kg.Gt];\nFunction Conductivity \"0.01\" [W/m.Gt];");
  return Replace(Replace(t, "Node 1 Pres 0;", "Node 1 Temp 1;"), "Node 40 Pres 0;", "Node 40 Temp 0;");
}

// The square body of the body runs: in a light fluid on a spring, turning freely, or prescribed.
std::string Square(const std::string& card, const std::string& rho, const std::string& mu, const std::string& dt,
                   int iterations) {
  SquareInBox s;
  s.rho = rho, s.mu = mu, s.dt = dt, s.iterations = iterations, s.card = card, s.gravity = "-0.5";
  return s.Text();
}

// The floating box with an automatic mass, free to heave and pitch from an initial offset.
std::string Floating() {
  FloatingBox f;
  f.dt = "0.05", f.iterations = 2, f.held = true, f.steps = 6;
  f.body = " Displacement_OZ 1 DOZ \"0.05\" [m] Rotation_OY 1 ROY \"0.02\" [rad]";
  return f.Text();
}

// The water slab with a cosine wave on its free surface, plane or in three dimensions.
std::string WaterSlab(bool plane) {
  Slab s(plane ? 4 : 2, plane ? 2 : 1, 4, 0.05, plane);
  s.amplitude = 0.01;
  return s.Text();
}

struct Kind {
  const char* name;
  std::function<std::string()> data;  // its steps and output step are set by the comparison
  int n;                              // the restart follows step n of 2n
  bool threeD = false;
};

// The cavity at steps of 10 s, far longer than the flow takes to cross it, whose lid speeds up by
// 0.1 m/s a step: its iterations go on in pseudo-steps from the second step, whose length the
// crossing time of that step set; a restart goes on with it, not with that of its own first step.
std::string GrowingLidAtLongSteps() {
  FlowRun f = LidCavity(4, "Solve_NavierStokes", 4, "10");
  f.grid.initial = "Function VelocityX \"0.01*t*Y\" [m/s];\n";
  const GridLayout g = f.grid;
  f.condition = [g](int i, int j, int) {
    if (i == 0 || i == g.nx || j == 0) return Line(g.Id(i, j), Velocity(0));
    if (j == g.ny) return Line(g.Id(i, j), "TVel 1 1 0 1 1 0");
    return std::string();
  };
  f.iterations = 30;
  return f.Text();
}

const Kind kKinds[] = {
    {"LaminarFlow", [] { return LidCavity(4, "Solve_NavierStokes", 4, "0.1").Text(); }, 2},
    {"LongStepsOfAGrowingLid", GrowingLidAtLongSteps, 2},
    {"LaminarFlowCrankNicolson",
     [] {
       FlowRun f = LidCavity(4, "Solve_NavierStokes", 4, "0.1");
       f.grid.scheme = "Crank_Nicolson";
       return f.Text();
     },
     2},
    // The increment a function of the previous one ("it") and of the time run ("dt").
    {"TimeIncrementOfThePreviousOne",
     [] { return LidCavity(4, "Solve_NavierStokes", 4, "0.05+0.5*it+0.1*dt").Text(); }, 2},
    {"HeatInAFlowingFluid", HeatedCavity, 2},
    {"HeatInFluidAndSolid", [] { return FluidBesideSolid(false); }, 2},
    {"FluidWithASolid", [] { return FluidBesideSolid(true); }, 2},
    {"PhiWithVolumeConservation", [] { return PhiChannel(true); }, 3},
    {"PhiWithoutVolumeConservation", [] { return PhiChannel(false); }, 3},
    {"Species", SpeciesChannel, 3},
    {"KEpsilon", [] { return TurbulentChannel("Solve_K_Epsilon"); }, 3},
    {"KOmega", [] { return TurbulentChannel("Solve_K_Omega"); }, 3},
    {"KOmegaSST", [] { return TurbulentChannel("Solve_K_Omega_SST"); }, 3},
    {"SpalartAllmaras", [] { return TurbulentChannel("Solve_Spalart_Allmaras"); }, 3},
    {"KKTau", [] { return TurbulentChannel("Solve_K_KT"); }, 3},
    {"HeatBetweenWallLaws", HeatBetweenWallLaws, 3},
    // Walls of a fixed first-node distance, smooth and rough: each wall law's solve starts from
    // the friction velocity its last one found.
    {"KOmegaSSTWithDeltaAndRoughWalls", [] { return DataFile("restart_sstch.dat"); }, 20},
    {"SpringBodyByBodies",
     [] {
       return Square("Displacement_OY 1 DOY \"0.05\" [m] Springs 10 0 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]",
                     "25", "0.005", "0.05", 3);
     },
     3},
    {"FreeRotation", [] { return Square("Rotation_OZ 1 ROZ \"0.1\" [rad]", "1", "0.01", "0.02", 2); }, 3},
    {"PrescribedBody", [] { return Square("Displacement_OY 2 DOY \"0.01*t\" [m]", "1", "0.01", "0.5", 2); }, 3},
    {"FloatingBoxWithSinkAndTrim", Floating, 3, true},
    // The floating box on a free surface, one iteration a step: the surface's matrices stand where
    // the data put the nodes, in the restarted run as in the unbroken one.
    {"FloatingBoxOnAFreeSurface", [] { return DataFile("restart_floatbox.dat"); }, 5, true},
    {"ByAllDataWithAFunctionEverySecondStep", [] { return DataFile("restart_deform.dat"); }, 3},
    {"ByAllDataWithAFunctionEveryStep",
     [] { return Replace(DataFile("restart_deform.dat"), "UpdateMeshEvery 2", "UpdateMeshEvery 1"); }, 3},
    {"FreeSurfacePlane", [] { return WaterSlab(true); }, 2},
    {"FreeSurfaceSlab", [] { return WaterSlab(false); }, 2, true},
};

void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

class RestartContinues : public ::testing::TestWithParam<Kind> {};

TEST_P(RestartContinues, AsTheUnbrokenRun) {
  const Kind& k = GetParam();
  const RestartComparison r = CompareRestart(k.data(), k.n, k.threeD);
  ASSERT_EQ(r.failed, "");
  EXPECT_LE(r.largest, 1e-9) << r.where;
  EXPECT_GT(r.compared, 2 * k.n);  // blocks, both tables' lines and restart entries
  // The restored state comes first, at the time of step N.
  EXPECT_EQ(r.firstTime, r.restartTime);
  EXPECT_FALSE(r.earlierBlocks);
  RecordProperty("largest", std::to_string(r.largest));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RestartContinues, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

TEST(RestartContinuation, OneChangedValueOfTheRestartFileShows) {
  // The comparison sees a restart that does not continue: one velocity of the laminar cavity's
  // restart file made larger by a thousandth.
  const RestartComparison r =
      CompareRestart(LidCavity(4, "Solve_NavierStokes", 4, "0.1").Text(), 2, false, [](const std::string& rst) {
        std::istringstream in(rst);
        std::string out;
        for (std::string line; std::getline(in, line);) {
          out += line + "\n";
          if (line.rfind("\t_VeltX_", 0) != 0 || !std::getline(in, line)) continue;
          std::istringstream values(line);
          std::ostringstream changed;
          changed.precision(17);
          int k = 0;
          for (double v; values >> v; ++k) changed << (k == 12 ? v * 1.001 : v) << " ";
          out += changed.str() + "\n";
        }
        return out;
      });
  ASSERT_EQ(r.failed, "");
  EXPECT_GT(r.largest, 1e-7) << r.where;
}

// `rst` with value k (from 0) of its entry `key` (the text before "len") made `value`, every value
// when k is -2, or with the entry's length made `value` when k is -1. A value "*f" multiplies the
// value by f, "+f" adds f to it.
std::string WithValue(const std::string& rst, const std::string& key, int k, const std::string& value) {
  std::istringstream in(rst);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("\t" + key + "len = ", 0) != 0 && line.rfind("\t" + key + "\tlen = ", 0) != 0) {
      out += line + "\n";
      continue;
    }
    std::string values;
    std::getline(in, values);
    std::istringstream v(values);
    std::vector<std::string> words;
    for (std::string w; v >> w;) words.push_back(w);
    auto changed = [&value](const std::string& w) {
      if (value[0] != '*' && value[0] != '+') return value;
      const double x = std::stod(w), f = std::stod(value.substr(1));
      std::ostringstream out;
      out.precision(17);
      out << (value[0] == '*' ? x * f : x + f);
      return out.str();
    };
    if (k == -1) {
      words.resize(std::stoul(value));
      line = line.substr(0, line.find("len = ") + 6) + value + ";";
    } else {
      for (std::size_t i = 0; i < words.size(); ++i)
        if (k == -2 || i == std::size_t(k)) words[i] = changed(words[i]);
    }
    out += line + "\n";
    for (const std::string& w : words) out += w + " ";
    out += "\n";
  }
  return out;
}

// `message` with each "{i}" made value i (from 0) of `was`, and "{*}" value k of `now` (the first
// when every value changed), as the program's messages write them.
std::string Filled(std::string message, const std::vector<double>& was, const std::vector<double>& now, int k) {
  for (std::size_t at; (at = message.find('{')) != std::string::npos;) {
    const std::size_t end = message.find('}', at);
    const std::string index = message.substr(at + 1, end - at - 1);
    std::ostringstream v;
    v << (index == "*" ? now.at(std::size_t(k < 0 ? 0 : k)) : was.at(std::stoul(index)));
    message.replace(at, end - at + 1, v.str());
  }
  return message;
}

TEST(RestartContinuation, RestoredValuesThatStandForNothingEndTheRun) {
  // The spring-mounted square's distances and coordinates, the k-epsilon channel's extremes,
  // wall distances (at its y+ walls the one the restored wall-law factor and velocity give),
  // wall-law factors and stabilisation parameter, the wall distances and vorticity of an SST
  // channel whose laws fix the first-node distance, and the pseudo-step of a cavity at long
  // steps: each changed value or
  // count ends the restart with its message, the restart file as it was. A "{i}" of a message
  // stands for value i of the changed entry as the run wrote it, "{*}" for the changed value.
  const std::string square =
      Square("Displacement_OY 1 DOY \"0.05\" [m] Springs 10 0 0.5 0.5 0.5 0.5 KD_Units [N/m] KR_Units [N/rad]", "25",
             "0.005", "0.05", 3);
  const std::string channel = TurbulentChannel("Solve_K_Epsilon");
  const std::string walls = DataFile("restart_sstch.dat");  // wall laws 0.01 from the walls
  const std::string lid = GrowingLidAtLongSteps();           // in pseudo-steps at its second step
  // An entry that gives another count of values than the domain has: the reader's message, then
  // the entry, the domain and both counts.
  auto count = [](const std::string& entry, int expected) {
    return "Wrong data found in Restart file. Cannot restart.\n\tEntry " + entry + " of Fluid Domain: " +
           std::to_string(expected) + " values expected, " + std::to_string(expected - 1) + " found.\n";
  };
  // A wall distance other than the node's distance to the walls plus the first-node distance of
  // its wall law, or of its nearest wall node; at a y+ wall node, with what an older file holds.
  auto distance = [](const std::string& node, const std::string& walls, const std::string& law) {
    return "Restart data error. Wrong _WDist_ entry of Fluid Domain: the distance of node " + node +
           " is not its distance to the walls " + walls + " plus the first-node distance " + law + ".\n";
  };
  auto yplus = [&distance](const std::string& node) {
    return distance(node, "0", "{0} that its wall law gives the restored _WFact_ and velocity") +
           "\tA file of an older program holds the distance of its last step's start: without the entry it reads "
           "with a notice, and its first step builds the distance from the mesh and the restored wall-law factors.\n";
  };
  // A stabilisation parameter no step of the channel gives (its diagonal 1.00125 over 1e-9, halved).
  auto tau = [](const std::string& node) {
    return "Restart data error. Wrong _TauV_ entry of Fluid Domain: the stabilisation parameter of node " + node +
           " lies outside those a step gives, 0 to 5.00625e+08.\n";
  };
  const struct {
    const char* what;
    const std::string& data;
    std::string key;
    int k;
    std::string value, message;
  } cases[] = {
      {"negative distance", square, "_MDist_", 3, "-1",
       "Restart data error. Wrong _MDist_ entry of Fluid Domain: the distance of node 4 (-1) is no distance.\n"},
      {"distances of too few nodes", square, "_MDist_", -1, "119", count("_MDist_", 120)},
      {"node off its place", square, "_MCoord_", 1, "0.25",
       "Restart data error. Wrong _MCoord_ entry of Fluid Domain: node 1 lies at 0.25 along axis 2, not where its data "
       "coordinate 0 and the accumulated mesh displacement 0 put it.\n"},
      {"node beyond the doubles' range", square, "_MCoord_", 0, "1e308",
       "Restart data error. Wrong _MCoord_ entry of Fluid Domain: node 1 lies at 1e+308 along axis 1, not where its "
       "data coordinate 0 and the accumulated mesh displacement 0 put it.\n"},
      {"coordinates of too few nodes", square, "_MCoord_", -1, "359", count("_MCoord_", 360)},
      {"negative extreme", channel, "_Refs_", 0, "-1",
       "Restart data error. Wrong _Refs_ entry: value 1 (-1) is no size of a field.\n"},
      {"extremes of another count", channel, "_Refs_", -1, "7", count("_Refs_", 8)},
      {"wall distances of too few nodes", channel, "_WDist_", -1, "41", count("_WDist_", 42)},
      {"wall-law factors of too few nodes", channel, "_WFact_", -1, "41", count("_WFact_", 42)},
      {"wall node beyond its law's distance", walls, "_WDist_", 0, "0.0100001",
       distance("1 (0.0100001)", "0", "0.01 of its wall law")},
      {"node a million times further", walls, "_WDist_", 3, "30000",
       distance("4 (30000)", "0.02", "0.01 at its nearest wall node 1")},
      {"node at the wall", walls, "_WDist_", 3, "0", distance("4 (0)", "0.02", "0.01 at its nearest wall node 1")},
      {"every node a metre further", walls, "_WDist_", -2, "+1", distance("1 (1.01)", "0", "0.01 of its wall law")},
      {"node at a y+ wall", channel, "_WDist_", 3, "0", distance("4 (0)", "0.02", "{0} at its nearest wall node 1")},
      {"y+ wall node a metre further", channel, "_WDist_", 0, "+1", yplus("1 ({*})")},
      {"y+ wall node at the wall", channel, "_WDist_", 0, "0", yplus("1 (0)")},
      {"every node a metre further from y+ walls", channel, "_WDist_", -2, "+1", yplus("1 ({*})")},
      {"stabilisation parameter a hundred orders larger", channel, "_TauV_", 0, "*1e100", tau("1 ({*})")},
      {"negative stabilisation parameter", channel, "_TauV_", 0, "*-1", tau("1 ({*})")},
      {"vorticity a million times larger", walls, "_Vort_", 0, "*1e6",
       "Restart data error. Wrong _Vort_ entry of Fluid Domain: the vorticity of node 1 ({*}) is not that of the "
       "restored velocity, {0}.\n\tA file of an older program holds the vorticity of its last step's start: without "
       "the entry it reads with a notice, and the vorticity is rebuilt from the restored velocity.\n"},
      {"a word inside a vector", channel, "_TauV_", 4, "nan",
       "Wrong data found in GetAsciiReaVec.\n\tVector length = 42 and found 4 in file before \"nan\", which cannot be "
       "read as a number.\n\tValues of the card: _TauV_\tlen = 42;\n"},
      {"negative wall-law factor", channel, "_WFact_", 0, "-1",
       "Restart data error. Wrong _WFact_ entry: the value of node 1 (-1) is negative.\n"},
      {"negative pseudo-step", lid, "_PStep_", 0, "-1",
       "Restart data error. Wrong _PStep_ entry of Fluid Domain: the pseudo-step (-1) is no time increment.\n"},
      {"pseudo-step of no time", lid, "_PStep_", 0, "0",
       "Restart data error. Wrong _PStep_ entry of Fluid Domain: the pseudo-step (0) is no time increment.\n"},
      {"negative friction velocity", channel, "_WLaw_", 1, "-1",
       "Restart data error. Wrong _WLaw_ entry of Fluid Domain: the friction velocity of Top (-1) is negative.\n"},
  };
  std::map<const std::string*, std::string> written;  // the two-step run's restart file of each data
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    std::string& saved = written[&c.data];
    if (saved.empty()) {
      dir.write("c.dat", std::regex_replace(c.data, std::regex("Number_of_Steps +[0-9]+"), "Number_of_Steps 2"));
      ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
      saved = dir.read("c.dat.rst");
    }
    const std::string rst = WithValue(saved, c.key, c.k, c.value);
    ASSERT_NE(rst, saved);
    dir.write("c.dat.rst", rst);
    dir.write("c.dat", Replace(std::regex_replace(c.data, std::regex("Number_of_Steps +[0-9]+"), "Number_of_Steps 4"),
                               "GeneralData ", "GeneralData Restart "));
    EXPECT_EQ(dir.olvu({"-name", "c.dat"}).status, 1);
    const std::string message =
        Filled(c.message, restart_detail::Entries(saved)[c.key], restart_detail::Entries(rst)[c.key], c.k);
    EXPECT_EQ(dir.read("c.dat.err"), ErrFile(message));
    EXPECT_EQ(dir.read("c.dat.rst"), rst);
  }
}

TEST(RestartContinuation, AFileWithoutEntriesReadsWithANoticeForEach) {
  // The k-epsilon channel's restart file without the extremes, the wall-law state, the
  // stabilisation parameter and the step's increment, as an older program wrote it, the SST
  // channel's without its vorticity, and the plane water slab's without its free surface's
  // elevation: the restart runs, and says what it lacked. The vorticity rebuilt from the restored
  // velocity is the one the run it continues kept.
  const struct {
    const char* what;
    std::string data;
    std::vector<std::string> removed;  // the entries taken out, by the start of their first line
    bool increment;                    // the step's increment taken out too
    std::vector<std::string> notices;
    const char* rebuilt = nullptr;     // a block the first results show as the run before ended it
  } cases[] = {
      {"older file", TurbulentChannel("Solve_K_Epsilon"),
       {"\t_Refs_", "\t_WDist_", "\t_WFact_", "\t_WLaw_", "\t_TauV_"},
       true,
       {"Fluid Domain: Restart file holds no entry _Refs_ (an older file): the turbulence limits are set from the "
        "restored fields\n",
        "Fluid Domain: Restart file holds no entry _WDist_ (an older file): the run starts it as its set-up gives it\n",
        "Fluid Domain: Restart file holds no entry _WFact_ (an older file): the run starts it as its set-up gives it\n",
        "Fluid Domain: Restart file holds no entry _WLaw_ (an older file): the wall laws start as their set-up gives "
        "them\n",
        "Fluid Domain: Restart file holds no entry _TauV_ (an older file): the first results show it as the set-up "
        "gives it\n",
        "Restart file holds no Time_Increment (an older file): the first restarted step takes the set-up's increment "
        "as the previous one\n"}},
      {"older vorticity", TurbulentChannel("Solve_K_Omega_SST"),
       {"\t_Vort_"},
       false,
       {"Fluid Domain: Restart file holds no entry _Vort_ (an older file): it is rebuilt from the restored velocity\n"},
       "VORTICITY"},
      {"free surface without its elevation", WaterSlab(true), {"\t_Beta_t_ 2\t"}, false,
       {"Fluid Domain: Restart file holds no entry _Beta_t_ 2: the run starts it as its set-up gives it\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder dir;
    dir.write("c.dat", std::regex_replace(c.data, std::regex("Number_of_Steps +[0-9]+"), "Number_of_Steps 2"));
    ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
    std::istringstream in(dir.read("c.dat.rst"));
    std::string lacking;
    for (std::string line; std::getline(in, line);) {
      if (std::any_of(c.removed.begin(), c.removed.end(), [&line](const std::string& r) { return line.rfind(r, 0) == 0; })) {
        std::getline(in, line);
        continue;
      }
      const auto increment = line.find(" ,\tTime_Increment = ");
      if (c.increment && increment != std::string::npos) line = line.substr(0, increment) + ";";
      lacking += line + "\n";
    }
    ASSERT_NE(lacking, dir.read("c.dat.rst"));
    const std::vector<restart_detail::Block> before = restart_detail::Blocks(dir.read("c.dat.res"));
    dir.write("c.dat.rst", lacking);
    dir.write("c.dat", Replace(std::regex_replace(c.data, std::regex("Number_of_Steps +[0-9]+"), "Number_of_Steps 4"),
                               "GeneralData ", "GeneralData Restart "));
    ASSERT_EQ(dir.olvu({"-name", "c.dat"}).status, 0) << dir.read("c.dat.err");
    const std::string war = dir.read("c.dat.war");
    for (const std::string& notice : c.notices) EXPECT_NE(war.find(notice), std::string::npos) << notice << war;
    if (!c.rebuilt) continue;
    auto named = [&c](const restart_detail::Block& b) { return b.name == c.rebuilt; };
    const std::vector<restart_detail::Block> after = restart_detail::Blocks(dir.read("c.dat.res"));
    const auto last = std::find_if(before.rbegin(), before.rend(), named);
    const auto first = std::find_if(after.begin(), after.end(), named);
    ASSERT_TRUE(last != before.rend() && first != after.end());
    EXPECT_EQ(first->time, last->time);
    EXPECT_EQ(first->values, last->values);
  }
}

}  // namespace
}  // namespace olvu_test
