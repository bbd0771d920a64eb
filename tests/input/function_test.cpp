#include "input/function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "foundation/declarations.h"
#include "input/compiler.h"
#include "input/input.h"
#include "input/line.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

InstructionList* CompileText(const char* text) {
  Line line(text, 1);
  Compiler c;
  return c.compileFrom(line.FirstWord());
}

std::unique_ptr<Function> Make(const char* text) { return std::make_unique<Function>(CompileText(text)); }

// Value at time t (it 2, dt 0.5, step 7), without a table.
double At(const char* text, double t = 0) { return Make(text)->evaluate(t, 2, 0.5, 7, nullptr); }

// The fatal report of body run in a child without a file name.
std::string Fatal(const std::function<void()>& body) {
  auto r = RunInChild(body);
  EXPECT_EQ(r.status, 1);
  return r.err;
}

std::string TimeError(const char* text, double t) {
  return Fatal([=] { At(text, t); });
}

std::string Report(const std::string& m) { return "\n\n" + m + "\n"; }

}  // namespace

// Evaluation keeps its stack and last value in the function: checked builds stop a thread of a
// team that evaluates.
TEST(FunctionValues, EvaluationStopsInsideAParallelRegion) {
  const std::unique_ptr<Function> f = Make("2 * t");
  olvu_test::ExpectStopInParallelRegion([&] { (void)f->evaluate(1.0, 2, 0.5, 7, nullptr); }, "A user function");
}

TEST(FunctionValues, OperatorsAsTheLanguageDefinesThem) {
  EXPECT_EQ(At("-2^2"), -4);
  EXPECT_EQ(At("2^3^2"), 64);
  EXPECT_EQ(At("2^(-2)"), 0.25);
  EXPECT_EQ(At("7 mod 2"), 1);
  EXPECT_EQ(At("-7 mod 2"), -1);  // the sign applies to the whole term: -(7 mod 2)
  EXPECT_EQ(At("(-7) mod 2"), 0);  // -7 + 0.5 truncates to -6
  EXPECT_EQ(At("7 div 2"), 4);
  EXPECT_EQ(At("7 rdiv 2"), 3);
  EXPECT_EQ(At("7 rmod 2"), 0.5);
  EXPECT_EQ(At("fac(3.9)"), 6);
  EXPECT_EQ(At("fac(0)"), 1);
  EXPECT_EQ(At("2 e 3"), 2000);
  EXPECT_DOUBLE_EQ(At("2E-3"), 0.002);
  EXPECT_DOUBLE_EQ(At("1.5e-3"), 0.0015);
  EXPECT_EQ(At("int(-2.7)"), -2);
  EXPECT_EQ(At("3 min 2 + (2 max 5)"), 7);
  EXPECT_EQ(At("~(0) + ~(3)"), 1);
  EXPECT_EQ(At("(1 | 0) + (1 & 0) + (2 >= 2) + (2 ~= 2)"), 2);
  EXPECT_EQ(At("sqrt(0)"), 0);
  EXPECT_EQ(At("ln(0)"), -HUGE_VAL);
  EXPECT_EQ(At("infinite"), 1e100);
  EXPECT_DOUBLE_EQ(At("exp(1)"), 2.718281828459045);
  EXPECT_DOUBLE_EQ(At("asinh(1) + acosh(2) + atanh(0.5)"), std::asinh(1.0) + std::acosh(2.0) + std::atanh(0.5));
  EXPECT_EQ(At("t + it + dt + step", 1), 1 + 2 + 0.5 + 7);
  Max_Velocity = 3.5;
  EXPECT_EQ(At("maxV"), 3.5);
}

TEST(FunctionValues, DivisionByALiteralIsExact) {
  for (double t : {3.7, -1e-308, 1e308, 0.1}) {
    EXPECT_EQ(At("t/8", t), t / 8);
    EXPECT_EQ(At("t/0.25", t), t / 0.25);
    EXPECT_EQ(At("t/3", t), t / 3);
    EXPECT_EQ(At("(t+0)/(-2)", t), t / -2);
  }
  EXPECT_EQ(TimeError("t/0", 1), Report("Function evaluation error: a/x with x==0 error"));
}

TEST(FunctionValues, FactorialOfALargeArgumentIsInfinite) {
  EXPECT_NEAR(At("fac(170)"), std::tgamma(171.0), 1e-12 * std::tgamma(171.0));
  EXPECT_EQ(At("fac(171)"), HUGE_VAL);
  EXPECT_EQ(At("fac(1e300)"), HUGE_VAL);
}

TEST(FunctionValues, InterpolateOnItsTableAndOutsideIt) {
  const char* f = "Interpolate(#0 0 10 5#t)";
  EXPECT_EQ(At(f, -3), 0);
  EXPECT_EQ(At(f, 0), 0);
  EXPECT_EQ(At(f, 5), 2.5);
  EXPECT_EQ(At(f, 10), 5);
  EXPECT_EQ(At(f, 12), 5);
  EXPECT_EQ(At("Interpolate(#0 1 1 3 3 -1#t)", 2), 1);
}

TEST(FunctionValues, ConditionalChainEvaluatesOneBranch) {
  const char* f = "if (t > 1) then 1 elif (t > 0) then 2 else 3 endif";
  EXPECT_EQ(At(f, 0), 3);
  EXPECT_EQ(At(f, 0.5), 2);
  EXPECT_EQ(At(f, 2), 1);
  // Nested conditionals in skipped and taken branches.
  const char* g = "(if (t>1) then (if (t>2) then 10 else 20 endif) else (if (t>0) then 30 else 40 endif) endif) + 1";
  EXPECT_EQ(At(g, 3), 11);
  EXPECT_EQ(At(g, 1.5), 21);
  EXPECT_EQ(At(g, 0.5), 31);
  EXPECT_EQ(At(g, -1), 41);
  // Conditions on each variable and relation (read as one step by the machine).
  const char* h = "if (it>=3) then 1 elif (dt~=0.5) then 2 elif (step=7) then 3 elif (t<=-1) then 4 else 5 endif";
  EXPECT_EQ(Make(h)->evaluate(0, 3, 0.5, 7, nullptr), 1);
  EXPECT_EQ(Make(h)->evaluate(0, 2, 0.4, 7, nullptr), 2);
  EXPECT_EQ(Make(h)->evaluate(0, 2, 0.5, 7, nullptr), 3);
  EXPECT_EQ(Make(h)->evaluate(-1, 2, 0.5, 6, nullptr), 4);
  EXPECT_EQ(Make(h)->evaluate(0, 2, 0.5, 6, nullptr), 5);
  EXPECT_EQ(At("(if (t>1) then 1 else 0 endif) + (if (t<1) then 10 else 0 endif)", 0.5), 10);
  // A skipped branch is not evaluated, so its errors do not arise.
  EXPECT_EQ(At("if (t) then 1/t else 0 endif", 0), 0);
}

TEST(FunctionValues, ValueAndChangeAcrossEvaluations) {
  auto f = Make("t");
  EXPECT_EQ(f->evaluate(2, 0, 0, 1, nullptr), 2);
  EXPECT_EQ(f->value(), 2);
  EXPECT_EQ(f->dvalue(), 2);
  f->evaluate(3, 0, 0, 2, nullptr);
  EXPECT_EQ(f->dvalue(), 1);
  FuncData d;
  d.t = 2.5;
  EXPECT_EQ(f->evaluate(&d), 2.5);
  EXPECT_EQ(f->dvalue(), -0.5);
  std::ostringstream os;
  os << *f;
  EXPECT_EQ(os.str(), "val=2.5, dval=-0.5\n");
}

TEST(FunctionValues, PointFormReadsTheRecord) {
  auto f = Make("t + 10*it + 100*dt");
  FuncData d;
  d.t = 1;
  d.it = 2;
  d.dt = 3;
  EXPECT_EQ(f->evaluate(&d), 321);
  double out = 0;
  EXPECT_EQ(f->IFupdate(&d, out, 0), 0);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(f->IFupdate(&d, out, 1), 1);
  EXPECT_EQ(out, 321);
}

TEST(FunctionValues, UnitsFactorScalesResultsNotTheStoredValue) {
  UFunction f(CompileText("t"), 1000);
  EXPECT_EQ(f.evaluate(2, 0, 0, 1), 2000);
  EXPECT_EQ(f.value(), 2000);
  EXPECT_EQ(f.dvalue(), 2000);
  EXPECT_EQ(f.Function::value(), 2);
  UFunction c(CompileText("2*3"), 10);
  EXPECT_EQ(c.evaluate(5, 0, 0, 1), 60);
  EXPECT_EQ(c.dvalue(), 60);
  c.evaluate(6, 0, 0, 2);
  EXPECT_EQ(c.dvalue(), 0);
}

TEST(FunctionClassification, ConstantAndTemporalAnswers) {
  auto twoPi = Make("2*pi");
  EXPECT_EQ(twoPi->Initialised(), 0);
  EXPECT_EQ(twoPi->isConstant(), 1);
  // Deciding evaluated it once: the value is there before any evaluation.
  EXPECT_DOUBLE_EQ(twoPi->value(), 2 * 3.141592653589793);
  EXPECT_EQ(twoPi->dvalue(), 0);
  EXPECT_EQ(twoPi->isTemporal(), 0);
  EXPECT_EQ(twoPi->Initialised(), 1);
  EXPECT_DOUBLE_EQ(twoPi->evaluate(1, 0, 0, 1, nullptr), 2 * 3.141592653589793);
  EXPECT_DOUBLE_EQ(twoPi->dvalue(), 2 * 3.141592653589793);
  twoPi->evaluate(2, 0, 0, 2, nullptr);
  EXPECT_EQ(twoPi->dvalue(), 0);

  auto mx = Make("2 max 3");
  EXPECT_EQ(mx->isConstant(), 0);
  EXPECT_EQ(mx->isTemporal(), 1);
  auto table = Make("Interpolate(#0 0 1 1#0.5)");
  EXPECT_EQ(table->isConstant(), 0);
  EXPECT_EQ(table->isTemporal(), 0);
  auto fn = Make("2*F(1)");
  EXPECT_EQ(fn->isConstant(), 0);
  EXPECT_EQ(fn->isTemporal(), 0);
  EXPECT_EQ(Make("step")->isTemporal(), 1);
  EXPECT_EQ(Make("maxV")->isConstant(), 0);
  EXPECT_EQ(Make("0*1")->isNull(), 1);
  EXPECT_EQ(Make("0*t")->isNull(), 0);
  EXPECT_EQ(Make("t")->isVariable(DofType::Pressure), 0);
  // A decided temporal answer makes the function non-constant at once.
  auto t = Make("t");
  EXPECT_EQ(t->isTemporal(), 1);
  EXPECT_EQ(t->isConstant(), 0);
}

TEST(FunctionEvaluation, StackNeverOverflows) {
  std::string text = "t";
  for (int i = 0; i < 300; ++i) text = "1+(" + text + ")";
  EXPECT_EQ(At(text.c_str(), 0.5), 300.5);
}

TEST(FunctionEvaluation, ConstFunctionsEvaluateWithoutChangingState) {
  const std::unique_ptr<const Function> f = Make("t*10 + it + dt");
  FuncData d;
  d.t = 2;
  d.it = 3;
  d.dt = 0.5;
  EXPECT_EQ(f->valueAt(d), 23.5);
  d.t = 1;
  EXPECT_EQ(f->valueAt(d), 13.5);
  // A list deeper than an evaluation frame holds runs as well from a const function.
  std::string text = "t";
  for (int i = 0; i < 300; ++i) text = "1+(" + text + ")";
  const std::unique_ptr<const Function> deep = Make(text.c_str());
  EXPECT_EQ(deep->valueAt(d), 301);
}

TEST(FunctionEvaluation, HandBuiltListsAreChecked) {
  auto two = [] {
    auto* l = new InstructionList;
    l->append(new aNumber(1));
    l->append(new aNumber(2));
    return l;
  };
  EXPECT_EQ(Fatal([&] { Function(two()).evaluate(0, 0, 0, 0, nullptr); }), Report("Unbalanced function evaluation"));
  EXPECT_EQ(Fatal([] {
              auto* l = new InstructionList;
              l->append(new aNumber(1));
              l->append(new Instruction(Mul_Code));
              Function(l).evaluate(0, 0, 0, 0, nullptr);
            }),
            Report("Unbalanced function evaluation"));
  // Code 11 keeps one entry, or the top of two.
  InstructionList* l = two();
  l->append(new Instruction(Eval_Code));
  FuncData d;
  EXPECT_EQ(Function(l).evaluate(&d), 2);
  EXPECT_EQ(Fatal([&] {
              InstructionList* m = two();
              m->append(new aNumber(3));
              m->append(new Instruction(Eval_Code));
              Function(m).evaluate(&d);
            }),
            Report("Wrong eval use"));
  EXPECT_EQ(Fatal([] {
              auto* m = new InstructionList;
              m->append(new Instruction(Then_Code));
              Function(m).evaluate(0, 0, 0, 0, nullptr);
            }),
            Report("Wrong function syntaxis found evaluating instruction then"));
}

TEST(FunctionErrors, EvaluationErrorsHaveTheirExactTexts) {
  EXPECT_EQ(TimeError("sqrt(t)", -1), Report("Function evaluation error: sqrt(x) with x==0 error"));
  EXPECT_EQ(TimeError("sqrt(-1)", 0), Report("sqrt(x) with x==0 error"));
  EXPECT_EQ(TimeError("acos(t)", 2), Report("FFunction evaluation error: acos(x) with abs(x)>1 error"));
  EXPECT_EQ(TimeError("acos(2)", 0), Report("Function evaluation error: acos(x) with abs(x)>1 error"));
  EXPECT_EQ(TimeError("asin(t)", -2), Report("Function evaluation error: asin(x) with abs(x)>1 error"));
  EXPECT_EQ(TimeError("ln(t)", -1), Report("Function evaluation error: ln(x) with x<0 error"));
  EXPECT_EQ(TimeError("log(t)", -1), Report("Function evaluation error: log(x) with x<0 error"));
  EXPECT_EQ(TimeError("1/t", 0), Report("Function evaluation error: a/x with x==0 error"));
  EXPECT_EQ(TimeError("3 mod t", 0.2), Report("Function evaluation error: int(a) mod int(x) with int(x)==0 error"));
  EXPECT_EQ(TimeError("3 div t", 0), Report("Function evaluation error: a div x with x==0 error"));
  EXPECT_EQ(TimeError("3 rmod t", 0), Report("Function evaluation error: a rmod x with x==0 error"));
  EXPECT_EQ(TimeError("3 rdiv t", 0), Report("Function evaluation error: a rdiv x with x==0 error"));
  EXPECT_EQ(TimeError("fac(t)", -1), Report("Function evaluation error: fact(x) with x<0 error"));
  EXPECT_EQ(TimeError("Interpolate(#0 0 2 1 1 2#t)", std::nan("")),
            Report("Function evaluation error: Wrong data list found in Interpolate"));
}

TEST(FunctionErrors, IntegerConversionsAreRangeChecked) {
  EXPECT_EQ(TimeError("t mod 2", 1e20), Report("Function evaluation error: int(a) mod int(x) out of integer range error"));
  EXPECT_EQ(TimeError("2 mod t", -1e10), Report("Function evaluation error: int(a) mod int(x) out of integer range error"));
  EXPECT_EQ(TimeError("t div 1", 1e20), Report("Function evaluation error: a div x out of integer range error"));
  EXPECT_EQ(TimeError("srand(t)", 1e20), Report("Function evaluation error: srand(x) out of integer range error"));
  EXPECT_EQ(TimeError("fac(t)", std::nan("")), Report("Function evaluation error: fact(x) out of integer range error"));
  EXPECT_EQ(Fatal([] { Make("F(t)")->evaluate(1e20, 0, 0, 0, nullptr); }),
            Report("Function evaluation error: F(x) out of integer range error"));
  EXPECT_EQ(Fatal([] { Make("F(t)")->evaluate(1, 0, 0, 0, nullptr); }),
            Report("Function evaluation error: F(n) used without a function table"));
  // Inside the range the conversions hold.
  EXPECT_EQ(At("t mod 7", 2147483647.0), 1);
  EXPECT_EQ(At("srand(5) - srand(5)"), 0);
}

TEST(FunctionErrors, EachFormRefusesCodesItCannotEvaluate) {
  EXPECT_EQ(Fatal([] { UFunction(CompileText("F(1)+t"), 1).evaluate(0, 0, 0, 1); }),
            Report("Function evaluation: Can not evaluate instruction F(.)"));
  EXPECT_EQ(Fatal([] {
              FuncData d;
              Make("t+step")->evaluate(&d);
            }),
            Report("Function error: Can not evaluate instruction Current Step"));
  EXPECT_EQ(Fatal([] {
              FuncData d;
              Make("t+maxV")->evaluate(&d);
            }),
            Report("Function error: Can not evaluate instruction Velocity Maximum"));
  EXPECT_EQ(Fatal([] {
              FuncData d;
              Make("if (step<1) then 1 else 2 endif")->evaluate(&d);
            }),
            Report("Function error: Can not evaluate instruction Current Step"));
  EXPECT_EQ(Fatal([] { Make("2*t")->evaluate_constant(); }),
            Report("Constant Function evaluation error: Can not evaluate instruction t"));
  EXPECT_EQ(Fatal([] { Make("xrot(1)")->isConstant(); }),
            Report("Constant Function evaluation error: Can not evaluate instruction X Rotation"));
  EXPECT_EQ(Fatal([] { Make("rhoc(t)")->evaluate(0, 0, 0, 0, nullptr); }),
            Report("Function evaluation: Can not evaluate instruction Rho_c"));
}

// Expressions generated with their values by an independent evaluator
// (tests/input/data/gen_expr_reference.py, Python's math module).
TEST(FunctionDifferential, AgreesWithIndependentEvaluator) {
  std::ifstream in(OLVU_TEST_DATA_DIR "/expr_reference.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string text, t, it, dt, step, value;
    std::getline(fields, text, '\t');
    fields >> t >> it >> dt >> step >> value;
    auto f = Make(text.c_str());
    const double got = f->evaluate(std::stod(t), std::stod(it), std::stod(dt), std::stoi(step), nullptr);
    const double want = std::stod(value);
    ASSERT_NEAR(got, want, 1e-12 * std::fabs(want) + 1e-300) << text << " at t=" << t;
    ++n;
  }
  EXPECT_EQ(n, 3000);
}

namespace {

// Fatal report of reading the first card of text with `read`, in a child.
std::string CardError(const std::string& text, const std::function<void(Input&)>& read) {
  auto r = RunInChild(
      [&] {
        Input in("case.dat");
        in.ReadLine();
        read(in);
      },
      [&](const std::string& dir) { olvu_test::WriteFile(dir + "/case.dat", text); });
  EXPECT_EQ(r.status, 1) << text;
  return r.err;
}

}  // namespace

TEST(FunctionGetter, CompilesTheTextAfterTheKeyword) {
  const std::string path = testing::TempDir() + "function_getter.dat";
  olvu_test::WriteFile(path,
                       "Ramp \"if (step<10) then 0.01*step else 0.1 endif\";\n"
                       "Speed \"2*t\" [Km/hour] Steps 3;\n"
                       "Count \"t+1\" Other;\n");
  Input in(path.c_str());
  in.ReadLine();
  std::unique_ptr<Function> ramp(in.GetFunc("RAMP"));
  EXPECT_DOUBLE_EQ(ramp->evaluate(0, 0, 0, 4, nullptr), 0.04);
  EXPECT_EQ(ramp->evaluate(0, 0, 0, 12, nullptr), 0.1);
  in.ReadLine();
  std::unique_ptr<UFunction> speed(in.GetFunc("Speed", Velocity));
  EXPECT_DOUBLE_EQ(speed->factor, 1000.0 / 3600.0);
  EXPECT_DOUBLE_EQ(speed->evaluate(3.6, 0, 0, 1), 2.0);
  EXPECT_EQ(in.GetInt("Steps"), 3);
  in.ReadLine();
  // Without units the factor is 1 and the next word stays for its own reader.
  std::unique_ptr<UFunction> count(in.GetFunc("Count", Magnitude(-1)));
  EXPECT_EQ(count->factor, 1);
  EXPECT_EQ(in.Exist("Other"), 1);
}

TEST(FunctionGetter, ErrorsOfTheCardAndOfTheText) {
  auto plain = [](Input& in) { in.GetFunc("Speed"); };
  auto timed = [](Input& in) { in.GetFunc("Speed", Velocity); };
  EXPECT_EQ(CardError("Velocity \"t\";\n", plain), Report("Function Speed not found."));
  EXPECT_EQ(CardError("Speed;\n", plain), Report("Input file error: Cannot read function Speed"));
  EXPECT_EQ(CardError("Speed \"2*t\";\n", timed), Report("You must specify units for function Speed"));
  EXPECT_EQ(CardError("Speed \"2*t\" 5;\n", timed), Report("You must specify units for function Speed"));
  // The text is compiled before any units are looked at.
  EXPECT_EQ(CardError("Speed \"sin t\";\n", timed),
            Report("Function  compiler error: \"(\" expected after function_name"));
  EXPECT_EQ(CardError("Speed \"t t\" [m/s];\n", plain), Report("Function  compiler error: Instruction \"t\" can not be compiled"));
}
