// Functions of a domain evaluated at the nodes of the 3 x 3 cavity with known fields:
// coordinates, time, derivatives, neighbourhoods, materials, node values, their caching and
// every compile and evaluation fault.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <memory>
#include <vector>
#include <string>

#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/line.h"
#include "tests/model/fluidcase.h"
#include "tests/support/child.h"

namespace {

using olvu_test::FluidCase;
using olvu_test::RunInChild;
using olvu_test::WriteFile;

const std::string kCavity = OLVU_TEST_DATA_DIR "/cavity.dat";

std::string Report(const std::string& m) { return "\n\n" + m + "\n"; }

// The cavity with Vx = X and Vy = -Y, and a reader of function cards.
struct Fields : ::testing::Test {
  FluidCase c{kCavity};
  FluidDomain& d = *c.fluid;
  void SetUp() override {
    for (int k = 1; k <= 9; ++k) {
      d.Var(VelX)(c.Local(k)) = (*c.all.get_at(k))(1);
      d.Var(VelY)(c.Local(k)) = -(*c.all.get_at(k))(2);
    }
  }
  // The function of text, compiled in the domain.
  std::unique_ptr<FluidFunction> F(const std::string& text) {
    // One file per process: the tests run in parallel.
    const std::string path = testing::TempDir() + "fluid_function_" + std::to_string(getpid()) + ".dat";
    WriteFile(path, "F \"" + text + "\";\n");
    Input in(path.c_str());
    in.ReadLine();
    return std::unique_ptr<FluidFunction>(in.GetFluidFunc("F", &d, Magnitude(-1)));
  }
  // Its value at problem node k.
  double At(const std::string& text, int k) { return F(text)->evaluate(int(c.Local(k))); }
};

TEST_F(Fields, PlaceTimeAndNodeValues) {
  Total_Time = 3;
  EXPECT_DOUBLE_EQ(At("t*2 + X", 3), 7);
  EXPECT_DOUBLE_EQ(At("Y", 8), 1);
  EXPECT_DOUBLE_EQ(At("Vx", 6), 1);
  EXPECT_DOUBLE_EQ(At("Vx(3) + Vy(9)", 1), 0);  // values at problem nodes 3 and 9
  EXPECT_EQ(At("NX + NY + NZ", 5), 0);          // no body normal at the node
  Total_Time = 0;
}

TEST_F(Fields, DerivativesOfALinearFieldAreExact) {
  for (int k = 1; k <= 9; ++k) {
    EXPECT_NEAR(At("Dx(Vx)", k), 1, 1e-12) << k;
    EXPECT_NEAR(At("Dy(Vx)", k), 0, 1e-12) << k;
    EXPECT_NEAR(At("Dy(Vy)", k), -1, 1e-12) << k;
    EXPECT_NEAR(At("Dz(Vx)", k), 0, 1e-12) << k;  // two dimensions
    // Strain rate of (x, -y): no divergence, e:e = 2, determinant 0.
    EXPECT_NEAR(At("IE1", k), 0, 1e-12);
    EXPECT_NEAR(At("IE2", k), 2, 1e-12);
    EXPECT_NEAR(At("IE3", k), 0, 1e-12);
  }
}

TEST_F(Fields, NeighbourhoodsAveragesAndMaterials) {
  EXPECT_DOUBLE_EQ(At("MaxS(Vx)", 5), 1);
  EXPECT_DOUBLE_EQ(At("MinS(Vx)", 5), 0);
  EXPECT_DOUBLE_EQ(At("MaxS(Vx)", 1), 0.5);  // node 1 sees nodes 2, 4 and 5
  EXPECT_DOUBLE_EQ(At("MedS(Vx)", 1), 0.25);
  EXPECT_NEAR(At("Aver(Vx)", 5), 0.5, 1e-14);  // the centre's neighbourhood is point-symmetric
  EXPECT_NEAR(At("Aver(Dn) + 1", 7), 1, 1e-14);
  EXPECT_EQ(At("Mat(Left)", 1), 1);
  EXPECT_EQ(At("Mat(Left)", 3), 0);
  EXPECT_EQ(At("Mat(Right)", 5), 1);
}

TEST_F(Fields, GlobalExtremaAreCachedPerTime) {
  auto f = F("MaxVar(Vx) + MinVar(Vy)");
  Total_Time = 1;
  EXPECT_DOUBLE_EQ(f->evaluate(1), 1 - 1);
  d.Var(VelX) *= 2.0;
  EXPECT_DOUBLE_EQ(f->evaluate(1), 0);  // the same time: the cached extremum
  Total_Time = 2;
  EXPECT_DOUBLE_EQ(f->evaluate(1), 1);
  Total_Time = 0;
}

TEST_F(Fields, TemporalAndConstantAnswers) {
  EXPECT_EQ(F("2*3")->isTemporal(), 0);
  EXPECT_EQ(F("X")->isTemporal(), 0);  // the mesh does not move
  EXPECT_EQ(F("Vx")->isTemporal(), 1);
  EXPECT_EQ(F("t")->isTemporal(), 1);
  auto k = F("Dx(Vx)");
  EXPECT_EQ(k->readsFields(), 1);
  // The masked update: the first call fills every entry, later ones only the marked entries.
  auto v = F("Vx + 10");
  ReaVec out(9);
  BitVec mask(9);
  mask.assign(2, 1);
  v->update(out, mask);
  EXPECT_DOUBLE_EQ(out(c.Local(2)), 10.5);
  EXPECT_DOUBLE_EQ(out(c.Local(3)), 11);
  ASSERT_EQ(c.Local(2), 2u);
  d.Var(VelX) = 0.0;
  v->update(out, mask);
  EXPECT_DOUBLE_EQ(out(c.Local(2)), 10);  // marked: refreshed
  EXPECT_DOUBLE_EQ(out(c.Local(3)), 11);  // not marked: kept
}

// The fatal report of compiling and evaluating `text` at domain node 1 of the cavity.
std::string Fault(const std::string& text) {
  auto r = RunInChild(
      [text] {
        Verbose_Off = 2;
        FluidCase c(kCavity);
        WriteFile("f.dat", "Fn \"" + text + "\";\n");
        Input in("f.dat");
        in.ReadLine();
        std::unique_ptr<FluidFunction> f(in.GetFluidFunc("Fn", c.fluid.get(), Magnitude(-1)));
        f->evaluate(1);
      });
  EXPECT_EQ(r.status, 1) << text;
  return r.err;
}

TEST(FluidFunctionFaults, CompileAndEvaluationMessages) {
  EXPECT_EQ(Fault("Vx(0)"), Report("Function Fn compiler error: one integer >0 expected after Vx"));
  EXPECT_EQ(Fault("Dx(Foo)"),
            Report("Function Fn compiler error: Only variables are allowed in Dx, Dy, Dz operators. Found Foo."));
  EXPECT_EQ(Fault("MinS Vx"), Report("Function Fn compiler error: \"(\" expected after MaxS"));
  EXPECT_EQ(Fault("Dy Vx"), Report("Function Fn compiler error: \"(\" expected after Dy"));
  EXPECT_EQ(Fault("Foo + 1"), Report("Function Fn compiler error: Unknown or not available instruction Foo."));
  EXPECT_EQ(Fault("Tm + 1"), Report("Function Fn error: One (or more) function variables can not be used"));
  EXPECT_EQ(Fault("Dx(Tm)"), Report("Function Fn error: One (or more) function variables can not be used in Dx()"));
  EXPECT_EQ(Fault("Mat(Nope)"), Report("Function Fn error: Unknown material Nope"));
}

TEST(FluidFunctionTables, CheckedValuesAndNumberedDefinitions) {
  auto wrong = RunInChild([] {
    Verbose_Off = 2;
    FluidCase c(kCavity);
    WriteFile("t.dat", "Function Density \"0.5-2*Y\" [Kg/m3];\nEnd;\n");
    Input in("t.dat");
    FluidFuncTbl t(3, nullptr, c.fluid.get());
    t.readFrom(&in, "End", "");
    if (t.value(int(DofType::Density), 1, 0.0, 1) != 0.5) std::exit(3);
    t.value(int(DofType::Density), 3, 0.0, 1);  // domain node 3 is problem node 4, Y = 0.5
  });
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, Report("Wrong Density value found in node 3.\n\tCheck material data."));

  auto load = [](const std::string& text) {
    return RunInChild([text] {
      Verbose_Off = 2;
      FluidCase c(kCavity);
      WriteFile("t.dat", text);
      Input in("t.dat");
      FluidFuncTbl t(3, nullptr, c.fluid.get());
      t.loadFrom(&in, "EndBlock", "Left");
      std::printf("%s|%g\n", t.Name(5), t.value(5, 1, 0.0, 0));
    });
  };
  auto good = load("F(5) = 300 + 2*X;\nUnits 1 [Gt] Name Hot;\nEndBlock;\n");
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out, "Hot|300\n");
  EXPECT_EQ(load("F(5) = 300;\nName Hot;\n").err, Report("Units not defined in function Hot"));
  EXPECT_EQ(load("F(5) = 300;\nOther;\n").err, Report("Units not defined in function Temp_Field Left"));
  EXPECT_EQ(load("F(5 6) = 1;\n").err, Report("Verify fluidfunction number"));
  EXPECT_EQ(load("F(5) = 1;\nUnits 1 [Gt];\nF(5) = 2;\n").err,
            Report("Repeated index 5 in Plex Fluid domain functions names"));
}

}  // namespace

namespace {

// A domain of n nodes on a line, with coordinates and two fields, and no matrices.
class LineDomain : public FunctionDomain {
 public:
  explicit LineDomain(int n) : vx(unsigned(n)), tm(unsigned(n)), n_(n) {
    for (int k = 1; k <= n; ++k) {
      auto p = std::make_unique<ReaVec>(3u);
      (*p)(1) = 0.01 * k, (*p)(2) = 1 - 0.003 * k;
      coords_.push_back(p.get());
      points_.push_back(std::move(p));
      vx(unsigned(k)) = std::sin(0.1 * k);
      tm(unsigned(k)) = 280 + k;
    }
  }
  ReaVec* GiveVector(const char* name) override {
    return std::string(name) == "Vx" ? &vx : std::string(name) == "Tm" ? &tm : nullptr;
  }
  int GiveMaterialIndex(const char*) override { return -1; }
  const BitVec* MaterialNodes(int) override { return nullptr; }
  DomainView View() override {
    DomainView v;
    v.nodes = n_;
    v.coords = coords_.data();
    return v;
  }
  ReaVec vx, tm;

 private:
  int n_;
  std::vector<const ReaVec*> coords_;
  std::vector<std::unique_ptr<ReaVec>> points_;
};

}  // namespace

// Long fills run over blocks of nodes: they must give what node-by-node evaluation gives, for
// straight-line programs (blocks) and programs with branches (node by node), gathered or not.
TEST(FluidFunctionBlocks, BlocksGiveTheNodeByNodeValues) {
  LineDomain d(203);
  Total_Time = 0.5;
  for (const char* text : {"0.001*exp(-0.02*(Tm-300)) + 0.0001*Vx*Vx", "X*t - Y/2 + (Vx max 0.2)",
                           "if (Vx > 0) then Tm else -X endif", "sqrt(abs(Vx)) * 3 + t*2"}) {
    SCOPED_TRACE(text);
    Line line(text, 1);
    FluidCompiler c(&d);
    FluidFunction f(c.compileFrom(line.FirstWord()), &d, 2.5, "F");
    ReaVec all(203u);
    f.fill(all);
    std::vector<int> nodes;
    std::vector<double> w;
    for (int k = 203; k >= 1; k -= 2) nodes.push_back(k), w.push_back(0.5);
    ReaVec sum(203u, 0.0);
    f.addWeighted(sum, nodes.data(), w.data(), int(nodes.size()));
    for (int k = 1; k <= 203; ++k) {
      const double one = f.evaluate(k);
      EXPECT_DOUBLE_EQ(all(unsigned(k)), one) << k;
      EXPECT_DOUBLE_EQ(sum(unsigned(k)), k % 2 ? 0.5 * one : 0.0) << k;
    }
  }
  Total_Time = 0;
}
