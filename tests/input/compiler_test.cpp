#include "input/compiler.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/reavec.h"
#include "input/line.h"
#include "tests/support/child.h"

using olvu_test::RunInChild;

namespace {

std::unique_ptr<InstructionList> Compile(const char* text, Compiler* c = nullptr) {
  Line line(text, 1);
  Compiler plain;
  return std::unique_ptr<InstructionList>((c ? c : &plain)->compileFrom(line.FirstWord()));
}

std::vector<int> Codes(const char* text) {
  auto list = Compile(text);
  std::vector<int> codes;
  list->reset();
  while (Instruction* i = list->next()) codes.push_back(i->code);
  return codes;
}

// The whole fatal report of compiling text in a child without a file name.
std::string CompileError(const char* text) {
  auto r = RunInChild([text] { Compile(text); });
  EXPECT_EQ(r.status, 1) << text;
  return r.err;
}

std::string Msg(const std::string& m) { return "\n\nFunction  compiler error: " + m + "\n"; }

}  // namespace

TEST(Compiler, PostfixOrderOfOperatorsAndFunctions) {
  EXPECT_EQ(Codes("2*t+1"), (std::vector<int>{Number_Code, T_Code, Mul_Code, Number_Code, Add_Code}));
  EXPECT_EQ(Codes("-t^2"), (std::vector<int>{T_Code, Number_Code, Pow_Code, Chsgn_Code}));
  EXPECT_EQ(Codes("sin(t)*2"), (std::vector<int>{T_Code, Sin_Code, Number_Code, Mul_Code}));
  EXPECT_EQ(Codes("3e-2"), (std::vector<int>{Number_Code, Number_Code, ExpMinus_Code}));
  EXPECT_EQ(Codes("2 e 3"), (std::vector<int>{Number_Code, Number_Code, ExpPlus_Code}));
  EXPECT_EQ(Codes("2E+3"), (std::vector<int>{Number_Code, Number_Code, ExpPlus_Code}));
  // Only the first term carries a sign; a leading + is dropped.
  EXPECT_EQ(Codes("+t-1"), (std::vector<int>{T_Code, Number_Code, Sub_Code}));
  EXPECT_EQ(Codes("t max 2 min it"), (std::vector<int>{T_Code, Number_Code, Max_Code, It_Code, Min_Code}));
  EXPECT_EQ(Codes("t>1 & t<=2 | ~(dt)"),
            (std::vector<int>{T_Code, Number_Code, GT_Code, T_Code, Number_Code, LE_Code, And_Code, Dt_Code, Not_Code,
                              Or_Code}));
  EXPECT_EQ(Codes("F(2) + dF(step)"), (std::vector<int>{Number_Code, F_Code, Step_Code, DF_Code, Add_Code}));
}

TEST(Compiler, RelationsJoinAFollowingEqualsOnlyWhenBare) {
  EXPECT_EQ(Codes("t < =1"), (std::vector<int>{T_Code, Number_Code, LE_Code}));
  EXPECT_EQ(Codes("t>=1"), (std::vector<int>{T_Code, Number_Code, GE_Code}));
  EXPECT_EQ(Codes("t~=1"), (std::vector<int>{T_Code, Number_Code, NE_Code}));
  EXPECT_EQ(Codes("t = 1"), (std::vector<int>{T_Code, Number_Code, EQ_Code}));
  // "<3" carries its number, so the following "=" is not taken in.
  auto list = Compile("t <3");
  EXPECT_EQ(list->count(), 3);
  EXPECT_EQ(list->at(2)->code, LT_Code);
  EXPECT_DOUBLE_EQ(static_cast<aNumber*>(list->at(1))->value, 3);
}

TEST(Compiler, ConditionalLayoutPutsAnElseBeforeEachElif) {
  EXPECT_EQ(Codes("if (t>1) then 1 elif (t>0) then 2 else 3 endif"),
            (std::vector<int>{T_Code, Number_Code, GT_Code, If_Code, Number_Code, Else_Code, T_Code, Number_Code,
                              GT_Code, Elif_Code, Number_Code, Else_Code, Number_Code, Endif_Code}));
  // Branches may hold conditionals; a conditional condition needs its own parentheses.
  EXPECT_EQ(Codes("if ((if (t) then 1 else 0 endif)) then if (it) then 2 else 3 endif else 4 endif"),
            (std::vector<int>{T_Code, If_Code, Number_Code, Else_Code, Number_Code, Endif_Code, If_Code, It_Code, If_Code,
                              Number_Code, Else_Code, Number_Code, Endif_Code, Else_Code, Number_Code, Endif_Code}));
}

TEST(Compiler, InterpolateOwnsItsTable) {
  auto list = Compile("Interpolate(#0 0 10 5#t)");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->at(0)->code, T_Code);
  auto* ip = static_cast<Interpolate*>(list->at(1));
  ASSERT_EQ(ip->code, Interpolate_Code);
  ASSERT_EQ(ip->table->length(), 4u);
  EXPECT_DOUBLE_EQ((*ip->table)(3), 10);
  EXPECT_DOUBLE_EQ((*ip->table)(4), 5);
}

TEST(Compiler, KeywordsMatchInAnyCase) {
  EXPECT_EQ(Codes("SIN(T)*Pi"), (std::vector<int>{T_Code, Sin_Code, Pi_Code, Mul_Code}));
  EXPECT_EQ(Codes("IF (T) THEN 1 ELSE 2 ENDIF").back(), Endif_Code);
  EXPECT_EQ(Codes("STEP + MAXV + Infinite + RAND").size(), 7u);
}

TEST(Compiler, NumbersOfTheStartWordAreTheFirstOperand) {
  Line line("x 4 * t", 1);
  Compiler c;
  std::unique_ptr<InstructionList> list(c.compileFrom(line.FirstWord()->next));
  ASSERT_EQ(list->count(), 3);
  EXPECT_DOUBLE_EQ(static_cast<aNumber*>(list->at(0))->value, 4);
  // Every word and number read is marked, for the card's unmarked-terms check.
  EXPECT_EQ(line.FirstWord()->next->first->used, 1);
  EXPECT_EQ(line.FirstWord()->next->next->NotUsed(), 0);
}

TEST(Compiler, PrintedNamesOfCodes) {
  std::ostringstream os;
  os << ValidCode(6) << "|" << ValidCode(8) << "|" << ValidCode(59) << "|" << ValidCode(84) << "|" << ValidCode(92)
     << "|" << ValidCode(93) << "|" << ValidCode(-1);
  EXPECT_EQ(os.str(),
            "(.)e10-(.)|\"Unknown Instruction\"|Minimum [(.)min(.)]|Material Index|Y Rotation|"
            "\"Unknown Instruction\"|\"Unknown Instruction\"");
}

TEST(Compiler, NameGivenWithReadInfoPrefixesMessages) {
  auto r = RunInChild([] {
    Compiler c;
    c.readInfo("Density");
    EXPECT_STREQ(c.Info(), "Density");
    Compile("sin t", &c);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\nFunction Density compiler error: \"(\" expected after function_name\n");
}

TEST(CompilerErrors, SyntaxErrorsHaveTheirExactTexts) {
  EXPECT_EQ(CompileError("sin t"), Msg("\"(\" expected after function_name"));
  EXPECT_EQ(CompileError("sin(t"), Msg("\")\" expected after function_name(..."));
  EXPECT_EQ(CompileError("(t+1"), Msg("Unbalanced parenthesis found"));
  EXPECT_EQ(CompileError("t+"), Msg("expression code missing"));
  EXPECT_EQ(CompileError(""), Msg("expression code missing"));
  EXPECT_EQ(CompileError("2^-2"), Msg("Syntax error - in function"));
  EXPECT_EQ(CompileError("*t"), Msg("Syntax error * in function"));
  EXPECT_EQ(CompileError("3 4"), Msg("Consecutive numbers error in function"));
  EXPECT_EQ(CompileError("t t"), Msg("Instruction \"t\" can not be compiled"));
  EXPECT_EQ(CompileError("t + velocity"), Msg("Cannot compile instruction velocity"));
  EXPECT_EQ(CompileError("x"), Msg("Cannot compile instruction x"));
}

TEST(CompilerErrors, LeftoverWordsAfterACompleteExpressionAreRefused) {
  EXPECT_EQ(CompileError("if (t>1) then 1 else 2 endif * 3"), Msg("Instruction \"*\" can not be compiled"));
  EXPECT_EQ(CompileError("(t) 3"), Msg("Instruction \"\"Unknown Instruction\"\" can not be compiled"));
}

TEST(CompilerErrors, ConditionalErrors) {
  EXPECT_EQ(CompileError("if t then 1 else 2 endif"), Msg("\"(\" expected after if"));
  EXPECT_EQ(CompileError("if (t then 1 else 2 endif"), Msg("\")\" expected after if(..."));
  EXPECT_EQ(CompileError("if (t) 1 else 2 endif"), Msg("\"then\" expected after if(...)"));
  EXPECT_EQ(CompileError("if (t>1) then 1 endif"), "\n\nFunction compiler error: \"else\" missing\n");
  EXPECT_EQ(CompileError("if (t>1) then 1 else 2"), Msg("\"endif\" missing"));
  EXPECT_EQ(CompileError("if (t>1) then 1 elif (t) then 2"), Msg("\"endif\" missing"));
  EXPECT_EQ(CompileError("if (t>1) then 1 elif t then 2 else 3 endif"), Msg("\"(\" expected after elif"));
  EXPECT_EQ(CompileError("if (t>1) then 1 elif (t then 2 else 3 endif"), Msg("\")\" expected after elif(..."));
  EXPECT_EQ(CompileError("if (t>1) then 1 elif (t) 2 else 3 endif"), Msg("\"then\" expected after elif(...)"));
}

TEST(CompilerErrors, InterpolateErrors) {
  EXPECT_EQ(CompileError("Interpolate t"), Msg("\"(#\" expected after Interpolate"));
  EXPECT_EQ(CompileError("Interpolate(#0 0 1#t)"), Msg("Interpolate needs par number of points"));
  EXPECT_EQ(CompileError("Interpolate(#0 0#t)"), Msg("Interpolate needs at least 2 points"));
  EXPECT_EQ(CompileError("Interpolate(0 0 1 1)"), Msg("\"#\" expected after Interpolate(#data..."));
  EXPECT_EQ(CompileError("Interpolate(#0 0 1 1#t"), Msg("\")\" expected after Interpolate(#data#func..."));
  // A number on the Interpolate word itself is not dropped.
  EXPECT_EQ(CompileError("Interpolate 3(#0 0 1 1#t)"), Msg("Consecutive numbers error in function"));
}

TEST(InstructionList, StackIsSizedForTheDeepestPath) {
  // 1+(1+(1+(...))) keeps one entry per open level: far more than 30.
  std::string text = "t";
  for (int i = 0; i < 200; ++i) text = "1+(" + text + ")";
  auto list = Compile(text.c_str());
  EXPECT_TRUE(list->safe());
  // Lists built by hand that can run short of operands are run with checks.
  InstructionList bad;
  bad.append(new aNumber(1));
  bad.append(new Instruction(Add_Code));
  bad.prepare();
  EXPECT_FALSE(bad.safe());
}

TEST(CompilerErrors, NestingHasALimit) {
  // Far deeper than the limit: refused with a message instead of overflowing the stack.
  std::string deep = std::string(50000, '(') + "t" + std::string(50000, ')');
  EXPECT_EQ(CompileError(deep.c_str()), Msg("Expression nested deeper than 1000 levels"));
  std::string fn = "t";
  for (int i = 0; i < 1200; ++i) fn = "sin(" + fn + ")";
  EXPECT_EQ(CompileError(fn.c_str()), Msg("Expression nested deeper than 1000 levels"));
  // Just inside the limit compiles.
  std::string inside = std::string(998, '(') + "t" + std::string(998, ')');
  EXPECT_EQ(Codes(inside.c_str()), (std::vector<int>{T_Code}));
}

TEST(OpcodeTable, EveryBaseWordCompilesToItsRow) {
  // The compiler reads its vocabulary and grammar from the table: every call
  // word takes one argument, every infix word two, every operand word none.
  for (const OpInfo& op : Opcodes) {
    if (!op.word) continue;
    std::string text;
    if (op.syntax == Syntax::Call) text = std::string(op.word) + "(1)";
    else if (op.syntax >= Syntax::OrOp) text = std::string("1 ") + op.word + " 2";
    else if (op.syntax == Syntax::Operand) text = op.word;
    else continue;
    EXPECT_EQ(Codes(text.c_str()).back(), op.code) << text;
  }
  // Node words belong to the compilers of a domain, not to the base vocabulary.
  EXPECT_EQ(CompileError("NX"), Msg("Cannot compile instruction NX"));
}

TEST(OpcodeTable, StackSignaturesFollowTheForms) {
  for (const OpInfo& op : Opcodes) {
    EXPECT_EQ(StackNeeds(op.code), op.pops) << op.name;
    EXPECT_EQ(StackEffect(op.code), op.push) << op.name;
    if (op.form == Form::Binary) {
      EXPECT_EQ(op.push, -1) << op.name;
    }
    if (op.form == Form::Const || op.form == Form::Var || op.form == Form::Push || op.form == Form::Node) {
      EXPECT_EQ(op.push, 1) << op.name;
    }
  }
  // Fused steps: K joined to its operator reads the top, a joined push adds one.
  EXPECT_EQ(StackNeeds(FusedConst_Base + Add_Code), 1);
  EXPECT_EQ(StackEffect(FusedConst_Base + Add_Code), 0);
  EXPECT_EQ(StackEffect(FusedConstVar_Base + Mul_Code), 1);
  EXPECT_EQ(StackEffect(FusedIf_Base), 0);
}
