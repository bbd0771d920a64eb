// The eight tools run by the real program: unit and function checks, the mesh writers, the
// restart rebuilt from a saved result file and the averages of saved results.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

// Standard error of a fatal error when no data-file name is set.
std::string Stderr(const std::string& message) { return "\n\n" + message; }

// The cavity (3x3 nodes, eight triangles) with `steps` steps.
std::string Cavity(int steps) {
  return Replace(DataFile("cavity"), "Number_of_Steps 2", "Number_of_Steps " + std::to_string(steps));
}

// A saved result file of the cavity's nine nodes: one block per (name, time, values-per-node text).
struct Block {
  std::string name;
  std::string time;
  std::vector<std::string> lines;  // node lines without their number
};
std::string SavedFile(const std::vector<Block>& blocks) {
  std::string s = "Qor Post Results File 1.0\n";
  for (const Block& b : blocks) {
    s += "Result \"" + b.name + "\" \"QUELMA\" " + b.time + " Scalar OnNodes\nValues\n";
    for (std::size_t i = 0; i < b.lines.size(); ++i) s += "\t" + std::to_string(i + 1) + "\t" + b.lines[i] + "\n";
    s += "End Values\n";
  }
  return s;
}
std::vector<std::string> Nodes(std::initializer_list<const char*> v) { return {v.begin(), v.end()}; }

// The values 1 to 9 at nodes 1 to 9.
const std::vector<std::string> kOneToNine = Nodes({"1", "2", "3", "4", "5", "6", "7", "8", "9"});
// A velocity of 0 at nodes 1 to 9.
const std::vector<std::string> kStill(9, "0 0 0");

TEST(Tools, CheckUnitsNeedsNoDataFileAndStopsOnAWrongUnit) {
  Folder dir;
  Outcome r = dir.olvu({"-tool", "Check_Units", "[m/s]", "Velocity"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(WithoutHeapNotes(r.err), "");
  r = dir.olvu({"-tool", "check_units", "[Km/hour]", "velocity"});
  EXPECT_EQ(r.status, 0);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case faults[] = {
      {{"-tool", "Check_Units", "[s]", "Length"}, "Wrong dimension found\n"},
      {{"-tool", "Check_Units", "m", "Velocity"}, "Units syntax is [UNITS]\n"},
      {{"-tool", "Check_Units", "[m]"}, "Tool Check_Units needs 2 arguments\n"},
      {{"-tool", "Check_Function"}, "Tool Check_Function needs 1 arguments\n"},
      {{"-tool", "Check_Function", "sin(t)+"}, "Function  compiler error: expression code missing\n"},
      {{"-tool", "Check_Function", ""}, "Function  compiler error: empty function\n"},
      {{"-tool", "Foo"}, "Tool type Foo not implemented\n"},
  };
  for (const Case& c : faults) {
    SCOPED_TRACE(c.message);
    r = dir.olvu(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(WithoutHeapNotes(r.err), Stderr(c.message));
  }
}

TEST(Tools, CheckFunctionAcceptsTheFluidNamesAndTheDataFileQuotes) {
  Folder dir;
  Outcome r = dir.olvu({"-tool", "Check_Function", "sin(t)*Vx + Dx(Pr) - 2*X"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  r = dir.olvu({"-tool", "Check_Function", "\"if (t > 1) then 2 else 3 endif\""});
  EXPECT_EQ(r.status, 0);
  r = dir.olvu({"-tool", "Check_Function", "\"sin(t)+\""});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(WithoutHeapNotes(r.err), Stderr("Function  compiler error: expression code missing\n"));
}

TEST(Tools, ToolsThatReadTheDataFileNeedIt) {
  Folder dir;
  // The words after the tool name all belong to the tool, "-name" too.
  Outcome r = dir.olvu({"-tool", "Write_Mesh", "-name", "box"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(dir.exists("box.out.msh"));
  for (const char* tool : {"Sink_and_Trim", "Write_Mesh", "Create_Rst", "Write_Average"}) {
    r = dir.olvu({"-name", "box", "-tool", tool});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("box.err"), ErrFile("Cannot find input file \"box\"\n"));
    EXPECT_FALSE(dir.exists("box.res"));
  }
}

TEST(Tools, SinkAndTrimOpensTheDataFileAndDoesNothingElse) {
  Folder dir;
  dir.write("cavity", Cavity(2));
  const Outcome r = dir.olvu({"-name", "cavity", "-tool", "Sink_and_Trim"});
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(dir.exists("cavity.res"));
  EXPECT_FALSE(dir.exists("cavity.sat"));
  EXPECT_FALSE(dir.exists("cavity.err"));
}

const char kCavityMesh[] =
    "MESH    dimension = 3 ElemType Triangle  Nnode = 3\n"
    "Coordinates\n"
    "    1              0              0              0\n"
    "    2            0.5              0              0\n"
    "    3              1              0              0\n"
    "    4              0            0.5              0\n"
    "    5            0.5            0.5              0\n"
    "    6              1            0.5              0\n"
    "    7              0              1              0\n"
    "    8            0.5              1              0\n"
    "    9              1              1              0\n"
    "end coordinates\n"
    "\n"
    "Elements\n"
    "    1                1              2              5\n"
    "    2                1              5              4\n"
    "    3                2              3              6\n"
    "    4                2              6              5\n"
    "    5                4              5              8\n"
    "    6                4              8              7\n"
    "    7                5              6              9\n"
    "    8                5              9              8\n"
    "end elements\n";

TEST(Tools, WriteMeshWritesTheCavitySet) {
  for (const char* tool : {"Write_Mesh", "Interpolate_Rst"}) {
    SCOPED_TRACE(tool);
    Folder dir;
    dir.write("cavity", Cavity(2));
    dir.write("cavity.out.msh", "an older mesh that is replaced\n");
    const Outcome r = dir.olvu({"-name", "cavity", "-tool", tool});
    ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
    EXPECT_EQ(r.out, "\nfluid\nSuccess !!!\n");
    EXPECT_EQ(dir.read("cavity.out.msh"), kCavityMesh);
    // A mesh tool runs no set-up: the results of an earlier run stay.
    EXPECT_FALSE(dir.exists("cavity.res"));
  }
}

// Node lines of the two-set file, coordinates as written (in millimetres, not converted).
std::string SetsNode(int n) {
  const char* lines[] = {"",
                         "    1              0              0              0\n",
                         "    2              1              0              0\n",
                         "    3              2              0              0\n",
                         "    4              0              1              0\n",
                         "    5              1              1              0\n",
                         "    6              2              1              0\n"};
  return lines[n];
}

TEST(Tools, MeshWritersChooseTheSetsByTheirTypeWord) {
  Folder dir;
  dir.write("sets", DataFile("tools/sets"));
  Outcome r = dir.olvu({"-name", "sets", "-tool", "Write_Mesh"});
  ASSERT_EQ(r.status, 0) << dir.read("sets.err");
  EXPECT_EQ(r.out, "\nfluid\nfluid\nbody\nSuccess !!!\n");
  const std::string head = "MESH    dimension = 3 ElemType Triangle  Nnode = 3\nCoordinates\n";
  EXPECT_EQ(dir.read("sets.out.msh"),
            head + SetsNode(1) + SetsNode(2) + SetsNode(4) + SetsNode(5) +
                "end coordinates\n\nElements\n"
                "    1                1              2              5\n"
                "    2                1              5              4\n"
                "end elements\n" +
                head + SetsNode(2) + SetsNode(3) + SetsNode(5) + SetsNode(6) +
                "end coordinates\n\nElements\n"
                "    3                2              3              6\n"
                "    4                2              6              5\n"
                "end elements\n");

  // Only the boundary set; every set's type word is listed.
  r = dir.olvu({"-name", "sets", "-tool", "Write_BoundMesh"});
  ASSERT_EQ(r.status, 0) << dir.read("sets.err");
  EXPECT_EQ(r.out, "\nfluid\nfluid\nbody\nSuccess !!!\n");
  EXPECT_EQ(dir.read("sets.out.msh"),
            "MESH    dimension = 3 ElemType Linear  Nnode = 2\nCoordinates\n" + SetsNode(1) + SetsNode(2) +
                SetsNode(3) +
                "end coordinates\n\nElements\n"
                "    1                1              2\n"
                "    2                2              3\n"
                "end elements\n");
}

// One element set as a mesh file lists it: element type, nodes per element and the element lines
// (number and nodes).
struct SetLines {
  std::string elmType;
  int nnode = 0;
  std::vector<std::vector<long>> elements;
  bool operator==(const SetLines&) const = default;
};

std::string Lower(std::string w) {
  for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return w;
}

// The words of a line that follow `key` (any case), one each.
std::string After(const std::string& line, const std::string& key) {
  std::istringstream in(line);
  for (std::string w; in >> w;)
    if (Lower(w) == Lower(key) && in >> w) return Lower(w);
  return "";
}

// Reads the element lines up to the line `end`: the first `count` numbers of each (all when 0).
std::vector<std::vector<long>> ElementLines(std::istream& in, const std::string& end, int count) {
  std::vector<std::vector<long>> lines;
  for (std::string line; std::getline(in, line) && Lower(line) != end;) {
    std::istringstream words(line);
    std::vector<long> e;
    for (long v; (count == 0 || static_cast<int>(e.size()) < count) && words >> v;) e.push_back(v);
    if (!e.empty()) lines.push_back(e);
  }
  return lines;
}

// The sets of a text whose set lines start with `start` ("Set ..." in a data file, "MESH ..." in a
// mesh file): `header` reads a set line (false: a set to skip), then its "Elements" ... "End
// Elements" block gives the element lines, of 1 + nnode numbers (every number with `whole`).
template <class Header>
std::vector<SetLines> Sets(const std::string& text, const char* start, bool whole, Header header) {
  std::vector<SetLines> sets;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(start, 0) != 0) continue;
    SetLines s;
    const bool wanted = header(line, s);
    while (std::getline(in, line) && Lower(line) != "elements") {
    }
    s.elements = ElementLines(in, "end elements", whole ? 0 : 1 + s.nnode);
    if (wanted) sets.push_back(s);
  }
  return sets;
}

// The sets of a data file whose type is one of `types` ("Set ... Type T ElmType E NNode n").
std::vector<SetLines> DataSets(const std::string& data, const std::set<std::string>& types) {
  return Sets(data, "Set ", false, [&](const std::string& line, SetLines& s) {
    s.elmType = After(line, "ElmType"), s.nnode = std::stoi(After(line, "NNode"));
    return types.count(After(line, "Type")) > 0;
  });
}

// The sets of a mesh file ("MESH ... ElemType E  Nnode = n").
std::vector<SetLines> MeshSets(const std::string& mesh) {
  return Sets(mesh, "MESH ", true, [](const std::string& line, SetLines& s) {
    s.elmType = After(line, "ElemType"), s.nnode = std::stoi(line.substr(line.rfind('=') + 1));
    return true;
  });
}

TEST(Tools, MeshWritersWriteTheSetsOfEveryExample) {
  struct Tool {
    const char* name;
    std::set<std::string> types;
  };
  const Tool tools[] = {{"Write_Mesh", {"fluid", "solid"}},
                        {"Interpolate_Rst", {"fluid", "solid"}},
                        {"Write_BoundMesh", {"body", "wbody", "frees"}}};
  int examples = 0, nothing = 0;  // nothing: runs with no set to write
  for (const auto& e : std::filesystem::directory_iterator(OLVU_EXAMPLES_DIR)) {
    const std::string data = ReadFile(e.path().string());
    if (!e.is_regular_file() || data.rfind("OLVU_", 0) != 0) continue;
    ++examples;
    const std::string name = e.path().filename().string();
    Folder dir;
    dir.write(name, data);
    for (const Tool& t : tools) {
      SCOPED_TRACE(name + " " + t.name);
      const std::string before = dir.read(name + ".out.msh");
      const Outcome r = dir.olvu({"-name", name, "-tool", t.name});
      ASSERT_EQ(r.status, 0) << dir.read(name + ".err");
      const std::vector<SetLines> expected = DataSets(data, t.types);
      if (expected.empty()) {
        // A tool with nothing to write says so and leaves the mesh file as it was.
        const std::string kinds = t.types.count("body") ? "Body, WBody or FreeS" : "Fluid or Solid";
        EXPECT_TRUE(r.out.ends_with("\nNo " + kinds + " set in " + name + ": " + name + ".out.msh not written\n"))
            << r.out;
        EXPECT_EQ(dir.read(name + ".out.msh"), before);
        ++nothing;
        continue;
      }
      EXPECT_TRUE(r.out.ends_with("\nSuccess !!!\n")) << r.out;
      const std::vector<SetLines> written = MeshSets(dir.read(name + ".out.msh"));
      EXPECT_EQ(written.size(), expected.size());
      EXPECT_TRUE(written == expected);
    }
  }
  EXPECT_GE(examples, 5);
  EXPECT_GE(nothing, 1);  // the cavity has no boundary set
}

TEST(Tools, AMeshFileThatCannotBeOpenedIsFatal) {
  Folder dir;
  dir.write("cavity", Cavity(2));
  std::filesystem::create_directory(dir.path("cavity.out.msh"));
  const Outcome r = dir.olvu({"-name", "cavity", "-tool", "Write_Mesh"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("cavity.err"), ErrFile("Cannot open output file \"cavity.out.msh\"\n"));
}

TEST(Tools, MeshWritersStopOnAMissingNodeBlock) {
  Folder dir;
  dir.write("none", "OLVU_2D;\nProblemDefinition;\n");
  Outcome r = dir.olvu({"-name", "none", "-tool", "Write_Mesh"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("none.err"), ErrFile("Wrong node data in Write_Mesh tool\n"));
  r = dir.olvu({"-name", "none", "-tool", "Write_BoundMesh"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("none.err"), ErrFile("Wrong node data in Write_BoundMesh tool\n"));

  dir.write("none", "OLVU_2D;\nNodes;\n");
  r = dir.olvu({"-name", "none", "-tool", "Write_Mesh"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("none.err"), ErrFile("error: list of nodes does not contain any node\n"));
}

// The node lines of every block called `name` of a result file, without their times.
std::vector<std::string> BlockValues(const std::string& res, const std::string& name) {
  std::vector<std::string> blocks;
  std::istringstream in(res);
  std::string line, current;
  bool inside = false, values = false;
  while (std::getline(in, line)) {
    if (line.rfind("Result \"" + name + "\" ", 0) == 0) {
      inside = true;
      values = false;
      current.clear();
    } else if (inside && line == "Values") {
      values = true;
    } else if (inside && line == "End Values") {
      blocks.push_back(current);
      inside = false;
    } else if (inside && values) {
      current += line + "\n";
    }
  }
  return blocks;
}

TEST(Tools, CreateRstRebuildsARestartThatContinuesTheRun) {
  Folder dir;
  // The uninterrupted run: 6 steps.
  dir.write("cavity", Cavity(6));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  const std::string uninterrupted = dir.read("cavity.res");

  // 3 steps, the results saved, the restart file lost and rebuilt.
  dir.write("cavity", Cavity(3));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  dir.write("cavity.res.bak", dir.read("cavity.res"));
  std::filesystem::remove(dir.path("cavity.rst"));
  Outcome r = dir.olvu({"-name", "cavity", "-tool", "Create_Rst"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  const std::string rst = dir.read("cavity.rst");
  EXPECT_EQ(rst.rfind("Problem;\nCurrent_Step = 0 ,\tTotal_Time = 0 ,\tTime_Increment = 0.1;\n", 0), 0u) << rst;
  EXPECT_EQ(rst.substr(rst.size() - 12), "EndProblem;\n");
  // The set-up has emptied the result file and written its header.
  EXPECT_EQ(dir.read("cavity.res"), "Qor Post Results File 1.0\n");

  // The rebuilt restart resumes at step 1 from the saved fields: 3 more steps give the fields of
  // steps 4 to 6 of the uninterrupted run.
  dir.write("cavity", Replace(Cavity(3), "Max_Iterations 3", "Max_Iterations 3 Restart"));
  r = dir.olvu({"-name", "cavity"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  const std::string continued = dir.read("cavity.res");
  for (const char* field : {"VELOCITY", "PRESSURE"}) {
    SCOPED_TRACE(field);
    const std::vector<std::string> a = BlockValues(uninterrupted, field), b = BlockValues(continued, field);
    ASSERT_EQ(a.size(), 7u);
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.back(), a.back());
  }
}

// The cavity with its centre renumbered 10: node 5 is in the node list but in no element set, so
// the result blocks skip it.
std::string CavityWithIdleNode(int steps) {
  std::string s = Replace(Cavity(steps), "  5  0.5 0.5 0.0\n", "  5  3.0 3.0 0.0\n");
  s = Replace(s, "  9  1.0 1.0 0.0\n", "  9  1.0 1.0 0.0\n 10  0.5 0.5 0.0\n");
  const auto from = s.find("Elements\n"), to = s.find("End Elements");
  return s.substr(0, from) +
         "Elements\n  1  1 2 10\n  2  1 10 4\n  3  2 3 6\n  4  2 6 10\n"
         "  5  4 10 8\n  6  4 8 7\n  7  10 6 9\n  8  10 9 8\n" +
         s.substr(to);
}

TEST(Tools, CreateRstAndWriteAverageReadBlocksThatSkipANodeInNoSet) {
  Folder dir;
  dir.write("cavity", CavityWithIdleNode(2));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  const std::string res = dir.read("cavity.res");
  const std::vector<std::string> velocity = BlockValues(res, "VELOCITY");
  ASSERT_FALSE(velocity.empty());
  EXPECT_EQ(velocity.back().find("\t5\t"), std::string::npos) << velocity.back();
  EXPECT_NE(velocity.back().find("\t10\t"), std::string::npos) << velocity.back();

  // The rebuilt restart is the run's own but for its step and time, and for the stabilisation
  // parameter of the last solve, which no block the tool reads holds (it is last).
  const std::string own = Replace(dir.read("cavity.rst"), "Current_Step = 2 ,\tTotal_Time = 0.2 ,", "Current_Step = 0 ,\tTotal_Time = 0 ,");
  dir.write("cavity.res.bak", res);
  Outcome r = dir.olvu({"-name", "cavity", "-tool", "Create_Rst"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  auto fields = [](const std::string& rst) { return rst.substr(0, rst.find("\t_TauV_")); };
  EXPECT_EQ(fields(dir.read("cavity.rst")), fields(own));

  // Pressure i at node i, and 5 at node 10 where the centre now is: the cavity's values 1 to 9 at
  // their lumped-mass weights average 120 / 24 = 5 as for the plain cavity; node 5 has no weight.
  std::string saved = "Qor Post Results File 1.0\nResult \"PRESSURE\" \"QUELMA\" 0.5 Scalar OnNodes\nValues\n";
  for (int node : {1, 2, 3, 4, 6, 7, 8, 9, 10}) {
    const int value = node == 10 ? 5 : node;
    saved += "\t" + std::to_string(node) + "\t" + std::to_string(value) + "\n";
  }
  saved += "End Values\n";
  dir.write("cavity.res.bak", saved);
  r = dir.olvu({"-name", "cavity", "-tool", "Write_Average"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out, "\n********** RUNNING OLVU 2D **********\nThreads: 1\nTime 0.5 - Pressure 5\n");
}

TEST(Tools, SavedFileIsOpenedBeforeAnyOutputIsEmptied) {
  Folder dir;
  dir.write("cavity", Cavity(2));
  dir.write("cavity.res", "results of an earlier run\n");
  dir.write("cavity.rst", "restart of an earlier run\n");
  Outcome r;
  for (const char* tool : {"Create_Rst", "Write_Average"}) {
    SCOPED_TRACE(tool);
    r = dir.olvu({"-name", "cavity", "-tool", tool});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile("Cannot find input file \"cavity.res.bak\"\n"));
    EXPECT_EQ(dir.read("cavity.res"), "results of an earlier run\n");
    EXPECT_EQ(dir.read("cavity.rst"), "restart of an earlier run\n");
  }

  // A broken VELOCITY block (node 4 twice) is read, and refused, before the set-up.
  dir.write("cavity.res.bak", Replace(SavedFile({{"VELOCITY", "0.1", kStill}}), "\t3\t0 0 0\n", "\t4\t0 0 0\n"));
  r = dir.olvu({"-name", "cavity", "-tool", "Create_Rst"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("cavity.err"), ErrFile("Nodes must have increasing indexes. See index 4\n"));
  EXPECT_EQ(dir.read("cavity.res"), "results of an earlier run\n");
  EXPECT_EQ(dir.read("cavity.rst"), "restart of an earlier run\n");
}

TEST(Tools, ARecordWithTooFewOrTooManyValuesStopsBeforeAnyOutputIsEmptied) {
  Folder dir;
  dir.write("cavity", Cavity(2));
  const char* const earlier[] = {"cavity.res", "cavity.rst", "cavity.for", "cavity.mov", "cavity.war"};
  for (const char* file : earlier) dir.write(file, std::string("earlier ") + file + "\n");
  struct Case {
    const char* tool;
    Block block;
    std::string stop;  // node 5's line up to the byte where the reader stops
    std::string tail;  // the rest of that line
    std::string message;
  };
  const std::string tooFew = "Wrong values in record 5", increasing = "Nodes must have increasing indexes. See index 1\n";
  const Case cases[] = {
      // The short record must not take node 6's number as its Y velocity.
      {"Create_Rst", {"VELOCITY", "0.1", kStill}, "\t5\t0.00723755", "\n", tooFew},
      {"Create_Rst", {"VELOCITY", "0.1", kStill}, "\t5\t0 0 0 ", "0.5\n", tooFew},
      {"Create_Rst", {"PRESSURE", "0.1", kOneToNine}, "\t5\t1\t", "2\n", tooFew},
      {"Write_Average", {"PRESSURE", "0.1", kOneToNine}, "\t5", "\n", tooFew},
      {"Write_Average", {"TEMPERATURE", "0.1", kOneToNine}, "\t5\t5 ", "-1e-3\n", tooFew},
      // A broken block after a good one: nothing is averaged.
      {"Write_Average", {"PRESSURE", "0.1", kOneToNine}, "\t5\t5", "\n\t1\t1\n", increasing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stop + c.tail);
    const std::string line = "\t5\t" + c.block.lines[4] + "\n";
    const std::string saved = Replace(SavedFile({{"PRESSURE", "0", std::vector<std::string>(9, "0")}, c.block}), line, c.stop + c.tail);
    dir.write("cavity.res.bak", saved);
    const Outcome r = dir.olvu({"-name", "cavity", "-tool", c.tool});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("Time"), std::string::npos) << r.out;
    const std::size_t byte = saved.rfind(c.stop) + c.stop.size();
    EXPECT_EQ(dir.read("cavity.err"),
              ErrFile(c.message == tooFew ? tooFew + " at byte " + std::to_string(byte) +
                                                " of the saved result file \"cavity.res.bak\"\n"
                                          : c.message));
    // Kept whole; the warning file may gain the heap notes, which depend on the allocator.
    for (const char* file : earlier)
      EXPECT_EQ(WithoutHeapNotes(dir.read(file)), std::string("earlier ") + file + "\n") << file;
  }
}

TEST(Tools, CreateRstTakesTheFieldsByTheirExactNames) {
  Folder dir;
  dir.write("cavity", Cavity(2));
  // Blocks whose names only begin with a field's name are not read: their broken node lists
  // would otherwise stop the tool. A later block of a field replaces an earlier one.
  std::vector<std::string> broken = Nodes({"1 1 1", "2 2 2"});
  const std::string saved = Replace(SavedFile({{"VELOCITY", "0", Nodes({"1 0 0", "1 0 0", "1 0 0", "1 0 0", "1 0 0",
                                                                          "1 0 0", "1 0 0", "1 0 0", "1 0 0"})},
                                                {"VELOCITY_STRESS_TENSOR", "0", broken},
                                                {"PRESSURE", "0", kOneToNine},
                                                {"PRESSURE_GRADIENT", "0", broken},
                                                {"TEMPERATURE_GRADIENT", "0", broken},
                                                {"PRESSURE", "0.1", kOneToNine}}),
                                    "\t2\t2 2 2\n", "\t5\t2 2 2\n");
  dir.write("cavity.res.bak", saved);
  const Outcome r = dir.olvu({"-name", "cavity", "-tool", "Create_Rst"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out, "\n********** RUNNING OLVU 2D **********\nThreads: 1\n");
  EXPECT_FALSE(dir.exists("cavity.err"));
}

TEST(Tools, WriteAverageWritesOneLinePerPressureOrTemperatureBlock) {
  Folder dir;
  dir.write("cavity", Cavity(2));
  // Lumped-mass weights of the cavity's nodes are proportional to the count of triangles at each
  // node (2 3 1 3 6 3 1 3 2): the values 1 to 9 average 120 / 24 = 5.
  dir.write("cavity.res.bak", SavedFile({{"PRESSURE", "0.5", kOneToNine},
                                         {"PRESSURE_GRADIENT", "0.5", kOneToNine},
                                         {"VELOCITY", "0.5", kOneToNine},
                                         {"TEMPERATURE", "1e-05", kOneToNine},
                                         {"PRESSURE", "1", Nodes({"0", "0", "1", "0", "0", "0", "0", "0", "0"})}}));
  const Outcome r = dir.olvu({"-name", "cavity", "-tool", "Write_Average"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out,
            "\n********** RUNNING OLVU 2D **********\nThreads: 1\n"
            "Time 0.5 - Pressure 5\n"
            "Time 1e-05 - Temperature 5\n"
            "Time 1 - Pressure 0.0416667\n");
  // The notice comes after the set-up that empties the warning file, so it stays.
  EXPECT_NE(dir.read("cavity.war").find("Resuls are deleted. Need to be read from *.res.bak\n"), std::string::npos);
}

// The cavity with its nodes at x = scale (0, 0.5, 1) + shift, y = scale (0, 0.5, 1).
std::string MovedCavity(double scale, double shift) {
  std::string nodes;
  for (int i = 0; i < 9; ++i) {
    std::ostringstream line;
    line << "  " << i + 1 << "  " << scale * 0.5 * (i % 3) + shift << " " << scale * 0.5 * (i / 3) << " 0\n";
    nodes += line.str();
  }
  const std::string cavity = Cavity(2);
  const auto from = cavity.find("Nodes;\n") + 7, to = cavity.find("FluidDefinition");
  return cavity.substr(0, from) + nodes + cavity.substr(to);
}

TEST(Tools, WriteAverageLeavesOutTheNodesAtOrBeyondXEqual9Point8) {
  Folder dir;
  // The cavity ten times as large: the nodes at x = 10 (3, 6, 9) are left out, 81 / 18 = 4.5.
  dir.write("cavity", MovedCavity(10, 0));
  dir.write("cavity.res.bak", SavedFile({{"PRESSURE", "0", kOneToNine}}));
  Outcome r = dir.olvu({"-name", "cavity", "-tool", "Write_Average"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out, "\n********** RUNNING OLVU 2D **********\nThreads: 1\nTime 0 - Pressure 4.5\n");

  // Every node at x >= 10: no weight at all, the average is 0/0.
  dir.write("cavity", MovedCavity(1, 10));
  r = dir.olvu({"-name", "cavity", "-tool", "Write_Average"});
  ASSERT_EQ(r.status, 0) << dir.read("cavity.err");
  EXPECT_EQ(r.out, "\n********** RUNNING OLVU 2D **********\nThreads: 1\nTime 0 - Pressure nan\n");
}

}  // namespace
}  // namespace olvu_test
