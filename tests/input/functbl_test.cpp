#include "input/functbl.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/reavec.h"
#include "input/input.h"
#include "input/line.h"
#include "input/units.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

// A data file in the test's temporary directory.
std::string DataFile(const std::string& name, const std::string& text) {
  std::string path = testing::TempDir() + name;
  olvu_test::WriteFile(path, text);
  return path;
}

// Loads `cards` definition cards of `path` into tbl.
void LoadCards(FuncTbl& tbl, Input& in, int cards) {
  for (int i = 0; i < cards; ++i) {
    in.ReadMathLine();
    tbl.loadFrom(&in);
  }
}

// Fatal report of loading the cards of text into a FuncTbl, in a child.
std::string LoadError(const std::string& text) {
  auto r = RunInChild(
      [] {
        Input in("case.dat");
        FuncTbl tbl(3);
        for (;;) {
          in.ReadMathLine();
          tbl.loadFrom(&in);
        }
      },
      [&](const std::string& dir) { olvu_test::WriteFile(dir + "/case.dat", text); });
  EXPECT_EQ(r.status, 1) << text;
  return r.err;
}

std::string Report(const std::string& m) { return "\n\n" + m + "\n"; }

std::vector<int> CheckCodes(const char* text) {
  Line line(text, 1);
  CompilerCheck c;
  std::unique_ptr<InstructionList> list(c.compileFrom(line.FirstWord()));
  std::vector<int> codes;
  list->reset();
  while (Instruction* i = list->next()) codes.push_back(i->code);
  return codes;
}

std::string CheckError(const char* text) {
  auto r = RunInChild([text] { CheckCodes(text); });
  EXPECT_EQ(r.status, 1) << text;
  return r.err;
}

}  // namespace

TEST(FuncTbl, DefinitionCardsReferToEachOtherInIndexOrder) {
  Input in(DataFile("functbl_order.dat",
                    "F(1) = t;\n f(2) = 2*F(1) + F(0) + dF(0);\n F ( 3 ) = 5;\n F(5)=dF(1)*step;\n").c_str());
  FuncTbl tbl(3);
  LoadCards(tbl, in, 4);
  tbl.evaluate(2, 0, 0, 1);
  EXPECT_EQ(tbl.value(1), 2);
  EXPECT_EQ(tbl.value(2), 6);
  EXPECT_EQ(tbl.value(5), 2);
  tbl.evaluate(3, 0, 0, 4);
  EXPECT_EQ(tbl.value(2), 8);
  EXPECT_EQ(tbl.dvalue(2), 2);
  EXPECT_EQ(tbl.value(5), 4);
  EXPECT_EQ(tbl.value(0), 1);
  EXPECT_EQ(tbl.dvalue(0), 1);

  EXPECT_EQ(tbl.isConstant(3), 1);
  EXPECT_EQ(tbl.isConstant(2), 0);  // F(n) is evaluated each time
  EXPECT_EQ(tbl.isTemporal(1), 1);
  EXPECT_EQ(tbl.isTemporal(3), 0);
  EXPECT_EQ(tbl.exists(3), 1);
  EXPECT_EQ(tbl.exists(4), 0);
  EXPECT_EQ(tbl.Func(4), nullptr);
  EXPECT_EQ(tbl.isConstant(4), 1);
  EXPECT_EQ(tbl.isTemporal(4), 0);
  EXPECT_EQ(tbl.isVariable(4, DofType::Pressure), 1);
  EXPECT_EQ(tbl.isVariable(1, DofType::Pressure), 0);
  FuncData d;
  d.t = 4;
  EXPECT_EQ(tbl.value(1, &d, 7.5), 4);
  EXPECT_EQ(tbl.value(4, &d, 7.5), 7.5);
  tbl.clear();
  EXPECT_EQ(tbl.exists(1), 0);
}

TEST(FuncTbl, VectorValuesFollowTheTemporalAnswer) {
  Input in(DataFile("functbl_vector.dat", "F(1) = t*it;\nF(2) = 5;\n").c_str());
  FuncTbl tbl(2);
  LoadCards(tbl, in, 2);
  ReaVec x(3, 0.0), other(2, 0.0), res(3, -1.0);
  tbl.value(1, 2, 3, 0, x, x, x, other, res, 0);
  EXPECT_EQ(res(1), 6);
  EXPECT_EQ(res(3), 6);
  tbl.value(2, 1, 0, 0, x, x, x, x, res, 0);  // not temporal: kept at t > 0
  EXPECT_EQ(res(2), 6);
  tbl.value(2, 0, 0, 0, x, x, x, x, res, 0);
  EXPECT_EQ(res(2), 5);
  tbl.value(9, 1, 0, 0, x, x, x, x, res, 2.5);
  EXPECT_EQ(res(1), 2.5);
  EXPECT_EQ(res(3), 2.5);
  auto r = RunInChild([&] {
    ReaVec empty;
    tbl.value(1, 0, 0, 0, x, x, x, x, empty, 0);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Report("FuncTbl::value res vector is not correct"));
}

TEST(FuncTbl, DefinitionErrors) {
  EXPECT_EQ(LoadError("F(1) = t;\nF(1) = 2;\n"), Report("Repeated index 1 in Plex Type"));
  EXPECT_EQ(LoadError("G(1) = t;\n"), Report("In function definition the first word must be \"F\". G?"));
  EXPECT_EQ(LoadError("F = t;\n"), Report("\"(\" missing in function definition. =?"));
  EXPECT_EQ(LoadError("F(1 2) = t;\n"), Report("Verify function number"));
  EXPECT_EQ(LoadError("F() = t;\n"), Report("Verify function number"));
  EXPECT_EQ(LoadError("F(1 = t;\n"), Report("\")\" missing in function definition. =?"));
  EXPECT_EQ(LoadError("F(1) t;\n"), Report("\"=\" missing in function definition. t?"));
  EXPECT_EQ(LoadError("F(1);\n"), Report("\")\" must be followed by a word"));
  EXPECT_EQ(LoadError("F(1) = sin t;\n"), Report("Function  compiler error: \"(\" expected after function_name"));
}

TEST(FuncTbl, MissingFunctionIsThePlexMessage) {
  Input in(DataFile("functbl_missing.dat", "F(2) = F(4);\n").c_str());
  auto r = RunInChild([&] {
    FuncTbl tbl(2);
    LoadCards(tbl, in, 1);
    tbl.evaluate(0, 0, 0, 1);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Report("Invalid Plex Type index 4"));
}

TEST(UnitsFuncTbl, BlockOfDefinitionsWithUnitsCards) {
  Input in(DataFile("functbl_units.dat",
                    "F(13) = t;\nUnits 2 [mm] Name Wave;\n"
                    "F(7) = 3;\nUnits 1 [m2/s2];\n"
                    "End;\nNext;\n").c_str());
  UnitsFuncTbl tbl(3, in.GiveUnits());
  tbl.loadFrom(&in, nullptr);
  EXPECT_STREQ(tbl.Name(13), "Wave");
  EXPECT_STREQ(tbl.Name(7), "Function_7");
  tbl.evaluate(1.5, 0, 0, 1);
  EXPECT_DOUBLE_EQ(tbl.value(13), 1.5 * 0.002);
  EXPECT_DOUBLE_EQ(tbl.dvalue(13), 1.5 * 0.002);
  EXPECT_EQ(tbl.value(7), 3);
  FuncData d;
  d.t = 4;
  EXPECT_DOUBLE_EQ(tbl.value(13, &d, 0), 4 * 0.002);
  EXPECT_EQ(tbl.value(0), 1);
  // The end card was consumed: the next card is the one after it.
  in.ReadLine();
  EXPECT_STREQ(in.FirstWord(), "Next");
}

TEST(UnitsFuncTbl, ClearedTableReadsTheSameBlockAgain) {
  const std::string block = "F(7) = t;\nUnits 1 [m2/s2] Name Wave;\nEnd;\n";
  Input in(DataFile("functbl_reload.dat", block + "F(7) = 2*t;\nUnits 3 [m2/s2];\nEnd;\n").c_str());
  UnitsFuncTbl tbl(3, in.GiveUnits());
  tbl.loadFrom(&in, nullptr);
  tbl.clear();
  tbl.loadFrom(&in, nullptr);
  EXPECT_STREQ(tbl.Name(7), "Function_7");
  tbl.evaluate(2, 0, 0, 1);
  EXPECT_EQ(tbl.value(7), 12);
}

TEST(UnitsFuncTbl, FunctionWithoutFactorIsUnscaled) {
  Input in(DataFile("functbl_nofactor.dat", "F(4) = 2*t;\n").c_str());
  UnitsFuncTbl tbl(3, in.GiveUnits());
  in.ReadMathLine();
  tbl.loadFrom(&in);
  tbl.evaluate(3, 0, 0, 1);
  EXPECT_EQ(tbl.value(4), 6);
  EXPECT_EQ(tbl.Name(4), nullptr);
}

TEST(UnitsFuncTbl, UnitsCardErrors) {
  auto load = [](const std::string& text) {
    auto r = RunInChild(
        [] {
          Input in("case.dat");
          UnitsFuncTbl tbl(3, in.GiveUnits());
          tbl.loadFrom(&in, nullptr);
        },
        [&](const std::string& dir) { olvu_test::WriteFile(dir + "/case.dat", text); });
    EXPECT_EQ(r.status, 1);
    return r.err;
  };
  // The message names the number even when the card gives a name.
  EXPECT_EQ(load("F(7) = t;\nName Speed;\nEnd;\n"), Report("Units not defined in function 7"));
  EXPECT_EQ(load("F(7) = t;\nF(8) = t;\nEnd;\n"), Report("Units not defined in function 7"));
  EXPECT_EQ(load("F(7 8) = t;\n"), Report("Verify function number"));
}

TEST(CompilerCheck, AcceptsTheFluidNamesWithoutADomain) {
  EXPECT_EQ(CheckCodes("Vx + sp3*Ph_2 - KVs"),
            (std::vector<int>{Variable_Code, Variable_Code, Variable_Code, Mul_Code, Add_Code, Variable_Code,
                              Sub_Code}));
  EXPECT_EQ(CheckCodes("X*NY + z"), (std::vector<int>{X_Code, NY_Code, Mul_Code, Z_Code, Add_Code}));
  EXPECT_EQ(CheckCodes("Dx(Pr) + MaxS(Tm_) + MinVar(Kzz) + Aver(Sp_1)"),
            (std::vector<int>{DX_Code, MaxS_Code, Add_Code, MinVar_Code, Add_Code, Aver_Code, Add_Code}));
  EXPECT_EQ(CheckCodes("Vx(3) * 2"), (std::vector<int>{PntVariable_Code, Number_Code, Mul_Code}));
  // The remaining node words and operators, in any case.
  EXPECT_EQ(CheckCodes("nx - Y - NZ + dy(Vx) - DZ(Vy) + maxvar(Pr) - MinS(Tm) + MedS(Dn)"),
            (std::vector<int>{NX_Code, Y_Code, Sub_Code, NZ_Code, Sub_Code, DY_Code, Add_Code, DZ_Code, Sub_Code,
                              MaxVar_Code, Add_Code, MinS_Code, Sub_Code, MedS_Code, Add_Code}));
  Line line("Mat(steel) * t", 1);
  CompilerCheck c;
  std::unique_ptr<InstructionList> list(c.compileFrom(line.FirstWord()));
  auto* mat = static_cast<anIMaterial*>(list->at(0));
  ASSERT_EQ(mat->code, IMaterial_Code);
  EXPECT_EQ(mat->index, -1);
  EXPECT_EQ(mat->name, "steel");
}

TEST(CompilerCheck, CheckerErrors) {
  auto msg = [](const std::string& m) { return Report("Function  compiler error: " + m); };
  EXPECT_EQ(CheckError("Sp_0 + 1"), msg("Wrong Variable index 0"));
  EXPECT_EQ(CheckError("Ph0"), msg("Wrong Variable index 0"));
  EXPECT_EQ(CheckError("IE1"), msg("Unknown variable IE1"));
  EXPECT_EQ(CheckError("ie3 + 1"), msg("Unknown variable ie3"));
  EXPECT_EQ(CheckError("Dx(Velocity)"), msg("Unknown variable Velocity"));
  EXPECT_EQ(CheckError("Dx Pr"), msg("\"(\" expected after Dx"));
  EXPECT_EQ(CheckError("MinS(Pr t"), msg("\")\" expected at the end of MinS"));
  EXPECT_EQ(CheckError("Mat steel"), msg("\"(\" expected after Mat"));
  EXPECT_EQ(CheckError("Mat(steel"), msg("\")\" expected at the end of Mat"));
  EXPECT_EQ(CheckError("Vx(t)"), msg("one integer expected after Vx"));
  EXPECT_EQ(CheckError("Vx(1 2)"), msg("one integer expected after Vx"));
  EXPECT_EQ(CheckError("Vx(3 + t"), msg("\"(.)\" expected after Vx"));
  // Numbers inside an operator's parentheses are refused, not dropped.
  EXPECT_EQ(CheckError("Dx(Pr 3)"), msg("\")\" expected at the end of Dx"));
  EXPECT_EQ(CheckError("Aver(2 Pr)"), msg("\")\" expected at the end of Aver"));
  EXPECT_EQ(CheckError("Dx 3(Pr)"), msg("\"(\" expected after Dx"));
  EXPECT_EQ(CheckError("Mat(steel 2)"), msg("\")\" expected at the end of Mat"));
  EXPECT_EQ(CheckError("Vx 3(2)"), msg("Instruction \"\"Unknown Instruction\"\" can not be compiled"));
}
