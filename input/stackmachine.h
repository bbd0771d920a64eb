// The stack machine that runs a compiled InstructionList.
//
// One switch over the compact program, no call per instruction; the top of
// the stack lives in a register. The cases are the rows of the opcode table
// (input/opcodes.h) by their evaluation form. What differs between the
// evaluation forms (which codes they accept, where t, x or F(n) come from,
// the wording of some messages) is given by an environment class at compile
// time, so every form is its own tight loop. A domain form adds the values
// at a node (the NODE rows) through Env::node.
//
// An environment provides:
//   static constexpr CodeSet accepted;            codes the form evaluates
//   [[noreturn]] static void refuse(int code);    the form's message for others
//   static constexpr const char* acos_error;      its acos message
//   static constexpr const char* sqrt_error;      its sqrt message
//   double var[4];                                time, iteration, increment, step
//   double x(), y(), z();
//   double F(int n), dF(int n);                   table functions
//   double node(const MachineOp&, const InstructionList&);  NODE rows it accepts
#pragma once

#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundation/assert.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/compiler.h"

namespace olvu_machine {

/// A fatal evaluation error with the given text.
[[noreturn, gnu::cold, gnu::noinline]] inline void Fail(const char* text) { OLVU_FATAL(text << "\n"); }

/// The fatal stop of a list that leaves the stack unbalanced.
[[noreturn, gnu::cold, gnu::noinline]] inline void Unbalanced() { Fail("Unbalanced function evaluation"); }

/// The fatal stop of a marker that has no meaning at run time.
[[noreturn, gnu::cold, gnu::noinline]] inline void WrongSyntax(int code) {
  OLVU_FATAL("Wrong function syntaxis found evaluating instruction " << ValidCode(code) << "\n");
}

/// The fatal stop of an integer conversion out of range.
[[noreturn, gnu::cold, gnu::noinline]] inline void OutOfRange(const char* what) {
  OLVU_FATAL("Function evaluation error: " << what << " out of integer range error\n");
}

/// Integer part of v + 0.5 as F(n), mod and div read it; out of int range is fatal.
inline int RoundIndex(double v, const char* what) {
  const double r = std::trunc(v + 0.5);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) OutOfRange(what);
  return int(r);
}

/// Integer part of b as a seed of the system generator; out of int range is fatal.
inline unsigned SeedOf(double b) {
  const double r = std::trunc(b);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) OutOfRange("srand(x)");
  return unsigned(int(r));
}

/// (integer part of a + 0.5) remainder (integer part of b + 0.5), sign of the dividend.
inline double ModOf(double a, double b) {
  const int m = RoundIndex(b, "int(a) mod int(x)");
  if (m == 0) Fail("Function evaluation error: int(a) mod int(x) with int(x)==0 error");
  const int ia = RoundIndex(a, "int(a) mod int(x)");
  return double((long long)ia % m);
}

/// n! of the integer part of b; infinite past 170! (no loop for large arguments).
inline double Factorial(double b) {
  if (std::isnan(b)) OutOfRange("fact(x)");
  const double n = std::trunc(b);
  if (n < 0) Fail("Function evaluation error: fact(x) with x<0 error");
  if (n > 170) return HUGE_VAL;
  double f = 1;
  for (int i = 2; i <= int(n); ++i) f *= i;
  return f;
}

/// Piecewise-linear lookup of v in a table of pairs with ascending x.
inline double Lookup(const MachineTable& tb, double v) {
  const double* p = tb.xy;
  const int k = tb.npairs;
  if (v <= p[0]) return p[1];
  if (v >= p[2 * (k - 1)]) return p[2 * (k - 1) + 1];
  for (int i = 1; i < k; ++i) {
    const double xi = p[2 * i];
    if (v <= xi) {
      const double x0 = p[2 * i - 2], y0 = p[2 * i - 1];
      return y0 + (p[2 * i + 1] - y0) * (v - x0) / (xi - x0);
    }
  }
  Fail("Function evaluation error: Wrong data list found in Interpolate");
}

/// a op b for the binary code C, as its row in the opcode table says.
template <int C>
inline double Binary(double a, double b) {
#define OLVU_OP_BINARY(c, v, n, w, s, k, x) \
  if constexpr (C == v) return (x);
  OLVU_OPCODES(OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_BINARY,
               OLVU_OP_SKIP, OLVU_OP_SKIP)
#undef OLVU_OP_BINARY
}

/// Runs the program of `list` in `env` on the stack `base` (list.depth() + 2
/// entries); Guard checks the depth before every step.
template <class Env, bool Guard>
inline double Run(const InstructionList& list, Env& env, double* const base) {
  OLVU_ASSERT_SERIAL("A user function");
  static_assert(Env::accepted.has(Number_Code) && Env::accepted.has(Pi_Code) && Env::accepted.has(Infinite_Code),
                "fused constant operands need every form to accept constants");
  const MachineOp* const prog = list.program();
  // The top entry is `top`; the entries below it are base[1] .. sp[-1] (base[0]
  // takes the undefined top of an empty stack), so the depth is sp - base.
  double* sp = base;
  double top = 0;

  // Operand of a fused step: var[slot] is time, iteration, increment or step.
  auto variable = [&](int slot) -> double {
    if constexpr (!(Env::accepted.has(T_Code) && Env::accepted.has(It_Code) && Env::accepted.has(Dt_Code) &&
                    Env::accepted.has(Step_Code))) {
      constexpr int codes[4] = {T_Code, It_Code, Dt_Code, Step_Code};
      if (!Env::accepted.has(codes[slot])) Env::refuse(codes[slot]);
    }
    return env.var[slot];
  };

  // One case per row of the opcode table, by its evaluation form.
#define OLVU_ACCEPT(c) \
  if constexpr (!Env::accepted.has(c)) Env::refuse(c)
#define OLVU_OP_MARKER(c, v, n, w, s) \
  case v:                             \
    WrongSyntax(v);
#define OLVU_OP_REFUSED(c, v, n, w, s, p) \
  case v:                                 \
    Env::refuse(v);
#define OLVU_OP_PUSH(c, v, n, w, s, x) \
  case v:                              \
    OLVU_ACCEPT(v);                    \
    else {                             \
      *sp++ = top;                     \
      top = (x);                       \
    }                                  \
    break;
#define OLVU_OP_VAR(c, v, n, w, s, x) OLVU_OP_PUSH(c, v, n, w, s, env.var[x])
#define OLVU_OP_UNARY(c, v, n, w, s, x) \
  case v:                               \
    OLVU_ACCEPT(v);                     \
    else {                              \
      const double b = top;             \
      top = (x);                        \
    }                                   \
    break;
#define OLVU_OP_BINARY(c, v, n, w, s, k, x)      \
  case v:                                        \
    OLVU_ACCEPT(v);                              \
    else {                                       \
      top = Binary<v>(sp[-1], top);              \
      --sp;                                      \
    }                                            \
    break;                                       \
  case FusedConst_Base + v:                      \
    OLVU_ACCEPT(v);                              \
    else top = Binary<v>(top, op.val);           \
    break;                                       \
  case FusedVariable_Base + v:                   \
    OLVU_ACCEPT(v);                              \
    else top = Binary<v>(top, variable(op.arg)); \
    break;                                       \
  case FusedConstVar_Base + v:                   \
    OLVU_ACCEPT(v);                              \
    else {                                       \
      *sp++ = top;                               \
      top = Binary<v>(op.val, variable(op.arg)); \
    }                                            \
    break;                                       \
  case FusedVarConst_Base + v:                   \
    OLVU_ACCEPT(v);                              \
    else {                                       \
      *sp++ = top;                               \
      top = Binary<v>(variable(op.arg), op.val); \
    }                                            \
    break;
#define OLVU_OP_NODE(c, v, n, w, s)         \
  case v:                                   \
    if constexpr (Env::accepted.has(v)) {   \
      *sp++ = top;                          \
      top = env.node(op, list);             \
    } else {                                \
      Env::refuse(v);                       \
    }                                       \
    break;
#define OLVU_BRANCH1(r, slot)                                       \
  case FusedIf_Base + 6 * slot + (r - GT_Code):                     \
  case FusedElif_Base + 6 * slot + (r - GT_Code):                   \
    if (Binary<r>(variable(slot), op.val) == 0) ip = prog + op.arg; \
    break;
#define OLVU_BRANCH(r) OLVU_BRANCH1(r, 0) OLVU_BRANCH1(r, 1) OLVU_BRANCH1(r, 2) OLVU_BRANCH1(r, 3)
// A branch on the condition popped from the stack.
#define OLVU_POP_BRANCH(c)               \
  case c:                                \
    OLVU_ACCEPT(c);                      \
    else {                               \
      const double cond = top;           \
      top = *--sp;                       \
      if (cond == 0) ip = prog + op.arg; \
    }                                    \
    break;

  for (const MachineOp* ip = prog;;) {
    const MachineOp& op = *ip++;
    if constexpr (Guard) {
      if (op.code != Eval_Code && sp - base < StackNeeds(op.code)) Unbalanced();
    }
    switch (op.code) {
      case Halt_Code:
        if (sp - base != 1) Unbalanced();
        return top;

      OLVU_OPCODES(OLVU_OP_MARKER, OLVU_OP_REFUSED, OLVU_OP_PUSH, OLVU_OP_VAR, OLVU_OP_PUSH, OLVU_OP_UNARY,
                   OLVU_OP_BINARY, OLVU_OP_SKIP, OLVU_OP_NODE)

      OLVU_BRANCH(GT_Code)
      OLVU_BRANCH(LT_Code)
      OLVU_BRANCH(GE_Code)
      OLVU_BRANCH(LE_Code)
      OLVU_BRANCH(EQ_Code)
      OLVU_BRANCH(NE_Code)

      // The CONTROL rows.
      case Eval_Code:
        // One entry: nothing; two: the top becomes the only entry.
        OLVU_ACCEPT(Eval_Code);
        else if (sp - base == 2) sp = base + 1;
        else if (sp - base != 1) Fail("Wrong eval use");
        break;
      OLVU_POP_BRANCH(If_Code)
      OLVU_POP_BRANCH(Elif_Code)
      case Else_Code:
        OLVU_ACCEPT(Else_Code);
        else ip = prog + op.arg;
        break;
      case Endif_Code:
        OLVU_ACCEPT(Endif_Code);
        break;

      default:
        Env::refuse(op.code);
    }
  }
#undef OLVU_ACCEPT
#undef OLVU_OP_MARKER
#undef OLVU_OP_REFUSED
#undef OLVU_OP_PUSH
#undef OLVU_OP_VAR
#undef OLVU_OP_UNARY
#undef OLVU_OP_BINARY
#undef OLVU_OP_NODE
#undef OLVU_BRANCH
#undef OLVU_BRANCH1
#undef OLVU_POP_BRANCH
}

/// Entries of the stack that an evaluation keeps in its own frame.
inline constexpr int LocalStack = 128;

/// Runs a list deeper than a frame holds on a stack of the thread, grown to
/// the deepest list met, so no evaluation allocates once it has grown.
template <class Env, bool Guard>
[[gnu::noinline, gnu::cold]] double RunDeep(const InstructionList& list, Env& env) {
  // An evaluation never starts another one, so one stack per thread serves all.
  thread_local std::vector<double> deep;
  if (deep.size() < std::size_t(list.depth()) + 2) deep.resize(std::size_t(list.depth()) + 2);
  return Run<Env, Guard>(list, env, deep.data());
}

/// The guarded run, kept out of line: only hand-built lists need it.
template <class Env>
[[gnu::noinline, gnu::cold]] double RunGuarded(const InstructionList& list, Env& env) {
  if (list.depth() + 2 > LocalStack) return RunDeep<Env, true>(list, env);
  double stack[LocalStack];
  return Run<Env, true>(list, env, stack);
}

/// Runs the prepared `list` in `env`; the stack belongs to this evaluation.
template <class Env>
inline double RunMachine(const InstructionList& list, Env& env) {
  if (!list.safe()) [[unlikely]]
    return RunGuarded(list, env);
  if (list.depth() + 2 > LocalStack) [[unlikely]]
    return RunDeep<Env, false>(list, env);
  double stack[LocalStack];
  return Run<Env, false>(list, env, stack);
}

}  // namespace olvu_machine
