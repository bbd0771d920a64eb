// Every example of examples/ runs as a user runs it: each data file there, and the data file that
// a generator NAME.py writes on standard output when NAME itself is not in the folder. A run must
// end with status 0, write only finite numbers into its result files and no warning but those
// the table below allows it; the long ones run their first steps only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

namespace fs = std::filesystem;

const std::string kDir = OLVU_EXAMPLES_DIR;

/// What the test knows of an example beyond its data file. An example missing from the table
/// runs all its steps and may write no warning.
struct Known {
  const char* name;
  int steps;                                     ///< steps to run (0: all)
  std::vector<std::string> warnings;             ///< texts within the warnings it may write
  void (*check)(const Folder&, const Outcome&);  ///< further checks of its run, or null
};

void CylinderForces(const Folder& dir, const Outcome& r);

const Known kKnown[] = {
    // Its pressure floats in the closed cavity, as its comment says; 20 of its 481 steps.
    {"cavity64", 20, {"Fluid Domain: Pressure not fixed in any point"}, nullptr},
    // The benchmark has no gravity; 2 of its 400 steps.
    {"cylinder", 2, {"Null gravity vector found. Is it correct?"}, CylinderForces},
    // The tank starts at rest with no current and its pressure set by the surface, as its comment
    // says; one period of its three.
    {"standing_wave",
     40,
     {"Fluid Domain: Pressure not fixed in any point", "Null velocity found everywhere",
      "Free surface reference taken at Y = 0.75", "Null OX velocity found in transpiration free surface"},
     nullptr},
    // The wall law fixes k and epsilon at the wall nodes, which stand at its limit y+ 30, and the
    // channel needs minimum ratios below 1, as its comment says; 100 of its 5000 steps.
    {"channel_turbulent",
     100,
     {"Kinetic_Energy not fixed in any point", "Turbulence variable not fixed in any point",
      "Too low Epsilon_MinRatio found", "Too low KEnergy_MinRatio found",
      "Yplus Fix law of the wall may not work for yplus <= 30"},
     nullptr},
};

// The cylinder's body set, and its drag after the first step (an unconverged linear solve had it
// at 10^12): c_D = 500 (pressure + viscous force x) = 68.89 on the line of time 0, where the inflow
// profile meets the still cylinder at once; 5.58 when steady.
void CylinderForces(const Folder& dir, const Outcome& r) {
  EXPECT_NE(r.out.find("Area/Length of Cylinder = 0.31415\n"), std::string::npos);
  const std::string forces = dir.read("cylinder.for");
  const auto at = forces.find("\n0\t\"Cylinder\"\t");
  ASSERT_NE(at, std::string::npos) << forces;
  std::istringstream line(forces.substr(at + 1));
  std::string time, name;
  double f[12];
  line >> time >> name;
  for (double& v : f) line >> v;
  ASSERT_TRUE(line) << forces;
  EXPECT_NEAR(500 * (f[0] + f[6]), 68.89, 0.3);
}

/// Generators that take a mesh size and need the gmsh program: run by hand (their figures are in
/// their comments), not here.
const char* const kByHand[] = {"cylinder3d"};

/// The examples' names: the data files of the folder and the outputs of generators without one.
std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(kDir)) {
    if (!e.is_regular_file()) continue;
    const fs::path p = e.path();
    if (p.extension() == ".py") {
      const bool byHand = std::find(std::begin(kByHand), std::end(kByHand), p.stem().string()) != std::end(kByHand);
      if (!byHand && !fs::exists(p.parent_path() / p.stem())) names.push_back(p.stem().string());
    } else if (ReadFile(p.string()).rfind("OLVU_", 0) == 0) {
      names.push_back(p.filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// The output of examples/NAME.py (exit status in `status`).
std::string Generated(const Folder& dir, const std::string& name, int& status) {
  const std::string command = "python3 '" + kDir + "/" + name + ".py' > '" + dir.path(name + ".gen") + "'";
  status = std::system(command.c_str());
  return dir.read(name + ".gen");
}

/// The data file with its step count cut to `steps` (0: as it is); `last` receives the count.
std::string CutSteps(std::string data, int steps, int& last) {
  last = -1;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t end = std::min(data.find('\n', at), data.size());
    const std::size_t key = data.find("Number_of_Steps", at);
    if (data[at] != '!' && key < end) {
      const std::size_t from = data.find_first_not_of(' ', key + 15), to = data.find_first_not_of("0123456789", from);
      last = std::stoi(data.substr(from, to - from));
      if (steps > 0 && steps < last) data.replace(from, to - from, std::to_string(last = steps));
      return data;
    }
    at = end + 1;
  }
  return data;
}

/// The banner of the last of `steps` steps, "STEP = n, TIME = t" ("t" left out when the increment
/// is not a constant number of seconds), as the end of a line or followed by its reason.
bool ReachesStep(const std::string& out, const std::string& data, int steps) {
  std::string line = "\nSTEP = " + std::to_string(steps) + ", TIME = ";
  const std::size_t key = data.find("Time_Increment \""), from = key + 16, to = data.find('"', from);
  const std::string text = key == std::string::npos ? "" : data.substr(from, to - from);
  char* end = nullptr;
  const double dt = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || data.compare(to + 1, 4, " [s]") != 0)
    return out.find(line) != std::string::npos;
  double time = 0;  // summed step by step, as the run sums it
  for (int i = 0; i < steps; ++i) time += dt;
  std::ostringstream s;
  s << line << time;
  return out.find(s.str() + ":") != std::string::npos || out.find(s.str() + "\n") != std::string::npos;
}

/// The first line of every warning of a .war text.
std::vector<std::string> Warnings(const std::string& war) {
  std::vector<std::string> out;
  std::istringstream in(WithoutHeapNotes(war));
  for (std::string line; std::getline(in, line);)
    if (line.rfind("\t***  WARNING! LEVEL ", 0) == 0 || line == "\t***       WARNING!       ***") {
      std::getline(in, line);
      out.push_back(line.rfind(" -->\t", 0) == 0 ? line.substr(5) : line);
    }
  return out;
}

/// The words of a text that read as numbers but are not finite ("nan", "-inf", ...).
std::vector<std::string> NonFinite(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    char* end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (end == word.c_str() + word.size() && !std::isfinite(v)) out.push_back(word);
  }
  return out;
}

// Runs one example and checks what every run must show.
void RunsCleanly(const std::string& name) {
  const auto known = std::find_if(std::begin(kKnown), std::end(kKnown), [&](const Known& k) { return name == k.name; });
  const bool isKnown = known != std::end(kKnown);
  Folder dir;
  std::string data = ReadFile(kDir + "/" + name);
  if (data.empty()) {
    int status = 0;
    data = Generated(dir, name, status);
    ASSERT_EQ(status, 0) << name << ".py";
  }
  int steps = 0;
  dir.write(name, CutSteps(data, isKnown ? known->steps : 0, steps));
  ASSERT_GT(steps, 0) << "no Number_of_Steps";
  std::vector<std::string> args{"-name", name};
  if (data.rfind("OLVU_3D", 0) == 0) args.push_back("-3D");
  const Outcome r = dir.olvu(args);
  ASSERT_EQ(r.status, 0) << dir.read(name + ".err");
  EXPECT_TRUE(ReachesStep(r.out, data, steps) || r.out.find(": Steady State Found.") != std::string::npos)
      << r.out.substr(r.out.size() - std::min<std::size_t>(r.out.size(), 2000));
  EXPECT_NE(dir.read(name + ".res").find("Result "), std::string::npos);
  for (const char* ext : {".res", ".for", ".mov"}) {
    const std::vector<std::string> bad = NonFinite(dir.read(name + ext));
    EXPECT_TRUE(bad.empty()) << name << ext << " holds " << bad.front();
  }
  for (const std::string& w : Warnings(dir.read(name + ".war"))) {
    const bool allowed = isKnown && std::any_of(known->warnings.begin(), known->warnings.end(),
                                                [&](const std::string& a) { return w.find(a) != std::string::npos; });
    EXPECT_TRUE(allowed) << "unexpected warning: " << w;
  }
  if (isKnown && known->check) known->check(dir, r);
}

TEST(Examples, EachRunsCleanly) {
  const std::vector<std::string> names = ExampleNames();
  ASSERT_FALSE(names.empty()) << kDir;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    RunsCleanly(name);
  }
}

TEST(Examples, GeneratorsWriteTheDataFilesBesideThem) {
  // A generated data file kept in the folder is the one its generator writes today.
  for (const auto& e : fs::directory_iterator(kDir)) {
    const fs::path p = e.path();
    if (p.extension() != ".py" || !fs::exists(p.parent_path() / p.stem())) continue;
    const std::string name = p.stem().string();
    SCOPED_TRACE(name);
    Folder dir;
    int status = 0;
    const std::string generated = Generated(dir, name, status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(generated == ReadFile((p.parent_path() / p.stem()).string()))
        << "examples/" << name << " differs from what " << name << ".py writes";
  }
}

}  // namespace
}  // namespace olvu_test
