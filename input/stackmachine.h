// The stack machine that runs a compiled InstructionList.
//
// One switch over the compact program, no call per instruction; the top of
// the stack lives in a register. What differs between the evaluation forms
// (which codes they accept, where t, x or F(n) come from, the wording of some
// messages) is given by an environment class at compile time, so every form
// is its own tight loop. A fluid-domain form adds its operands through
// Env::operand.
//
// An environment provides:
//   static constexpr CodeSet accepted;            codes the form evaluates
//   static constexpr bool extended;               true when it has operand()
//   [[noreturn]] static void refuse(int code);    the form's message for others
//   static constexpr const char* acos_error;      its acos message
//   static constexpr const char* sqrt_error;      its sqrt message
//   double var[4];                                time, iteration, increment, step
//   double x(), y(), z();
//   double F(int n), dF(int n);                   table functions
//   double operand(const MachineOp&, InstructionList&);  codes 67-84
#pragma once

#include <cmath>
#include <cstdlib>

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

/// a op b for the binary code C.
template <int C>
inline double Binary(double a, double b) {
  if constexpr (C == ExpMinus_Code) return a * std::pow(10.0, -b);
  if constexpr (C == ExpPlus_Code) return a * std::pow(10.0, b);
  if constexpr (C == Pow_Code) return std::pow(a, b);
  if constexpr (C == Mul_Code) return a * b;
  if constexpr (C == Div_Code) {
    if (b == 0) Fail("Function evaluation error: a/x with x==0 error");
    return a / b;
  }
  if constexpr (C == Mod_Code) return ModOf(a, b);
  if constexpr (C == IDiv_Code) {
    if (b == 0) Fail("Function evaluation error: a div x with x==0 error");
    return double(RoundIndex(a / b, "a div x"));
  }
  if constexpr (C == RMod_Code) {
    if (b == 0) Fail("Function evaluation error: a rmod x with x==0 error");
    const double q = a / b;
    return q - std::trunc(q);
  }
  if constexpr (C == RDiv_Code) {
    if (b == 0) Fail("Function evaluation error: a rdiv x with x==0 error");
    return std::trunc(a / b);
  }
  if constexpr (C == GT_Code) return a > b ? 1.0 : 0.0;
  if constexpr (C == LT_Code) return a < b ? 1.0 : 0.0;
  if constexpr (C == GE_Code) return a >= b ? 1.0 : 0.0;
  if constexpr (C == LE_Code) return a <= b ? 1.0 : 0.0;
  if constexpr (C == EQ_Code) return a == b ? 1.0 : 0.0;
  if constexpr (C == NE_Code) return a != b ? 1.0 : 0.0;
  if constexpr (C == Or_Code) return (a != 0 || b != 0) ? 1.0 : 0.0;
  if constexpr (C == And_Code) return (a != 0 && b != 0) ? 1.0 : 0.0;
  if constexpr (C == Add_Code) return a + b;
  if constexpr (C == Sub_Code) return a - b;
  if constexpr (C == Min_Code) return b < a ? b : a;
  if constexpr (C == Max_Code) return b > a ? b : a;
}

/// Runs the program of `list` in `env`; Guard checks the depth before every step.
template <class Env, bool Guard>
inline double Run(InstructionList& list, Env& env) {
  static_assert(Env::accepted.has(Number_Code) && Env::accepted.has(Pi_Code) && Env::accepted.has(Infinite_Code),
                "fused constant operands need every form to accept constants");
  const MachineOp* const prog = list.program();
  double* const base = list.stack();
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

#define OLVU_ACCEPT(c) \
  if constexpr (!Env::accepted.has(c)) Env::refuse(c)
#define OLVU_PUSH(c, expr) \
  case c:                  \
    OLVU_ACCEPT(c);        \
    else {                 \
      *sp++ = top;         \
      top = (expr);        \
    }                      \
    break;
#define OLVU_UNARY(c, expr) \
  case c:                   \
    OLVU_ACCEPT(c);         \
    else {                  \
      const double b = top; \
      top = (expr);         \
    }                       \
    break;
#define OLVU_BINARY(c)                                \
  case c:                                             \
    OLVU_ACCEPT(c);                                   \
    else {                                            \
      top = Binary<c>(sp[-1], top);                   \
      --sp;                                           \
    }                                                 \
    break;                                            \
  case FusedConst_Base + c:                           \
    OLVU_ACCEPT(c);                                   \
    else top = Binary<c>(top, op.val);                \
    break;                                            \
  case FusedVariable_Base + c:                        \
    OLVU_ACCEPT(c);                                   \
    else top = Binary<c>(top, variable(op.arg));      \
    break;                                            \
  case FusedConstVar_Base + c:                        \
    OLVU_ACCEPT(c);                                   \
    else {                                            \
      *sp++ = top;                                    \
      top = Binary<c>(op.val, variable(op.arg));      \
    }                                                 \
    break;                                            \
  case FusedVarConst_Base + c:                        \
    OLVU_ACCEPT(c);                                   \
    else {                                            \
      *sp++ = top;                                    \
      top = Binary<c>(variable(op.arg), op.val);      \
    }                                                 \
    break;

#define OLVU_BRANCH1(r, slot)                                                         \
  case FusedIf_Base + 6 * slot + (r - GT_Code):                                       \
  case FusedElif_Base + 6 * slot + (r - GT_Code):                                     \
    if (Binary<r>(variable(slot), op.val) == 0) ip = prog + op.arg;                   \
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

      OLVU_PUSH(Pi_Code, 3.141592653589793)
      OLVU_PUSH(Infinite_Code, 1e100)
      OLVU_PUSH(MaxV_Code, Max_Velocity)
      OLVU_PUSH(Number_Code, op.val)
      OLVU_PUSH(Rand_Code, double(std::rand()))
      OLVU_PUSH(T_Code, env.var[0])
      OLVU_PUSH(It_Code, env.var[1])
      OLVU_PUSH(Dt_Code, env.var[2])
      OLVU_PUSH(X_Code, env.x())
      OLVU_PUSH(Y_Code, env.y())
      OLVU_PUSH(Z_Code, env.z())
      OLVU_PUSH(Step_Code, env.var[3])

      OLVU_UNARY(Exp_Code, std::pow(2.718281828459045, b))
      OLVU_UNARY(F_Code, env.F(RoundIndex(b, "F(x)")))
      OLVU_UNARY(DF_Code, env.dF(RoundIndex(b, "dF(x)")))
      OLVU_UNARY(Interpolate_Code, Lookup(list.tables()[op.arg], b))
      OLVU_UNARY(Sqrt_Code, b < 0 ? (Fail(Env::sqrt_error), 0.0) : std::sqrt(b))
      OLVU_UNARY(Sin_Code, std::sin(b))
      OLVU_UNARY(Cos_Code, std::cos(b))
      OLVU_UNARY(Tan_Code, std::tan(b))
      OLVU_UNARY(Asin_Code,
                 std::fabs(b) > 1 ? (Fail("Function evaluation error: asin(x) with abs(x)>1 error"), 0.0) : std::asin(b))
      OLVU_UNARY(Acos_Code, std::fabs(b) > 1 ? (Fail(Env::acos_error), 0.0) : std::acos(b))
      OLVU_UNARY(Atan_Code, std::atan(b))
      OLVU_UNARY(Sinh_Code, std::sinh(b))
      OLVU_UNARY(Cosh_Code, std::cosh(b))
      OLVU_UNARY(Tanh_Code, std::tanh(b))
      OLVU_UNARY(Asinh_Code, std::asinh(b))
      OLVU_UNARY(Acosh_Code, std::acosh(b))
      OLVU_UNARY(Atanh_Code, std::atanh(b))
      OLVU_UNARY(Chsgn_Code, -b)
      OLVU_UNARY(Abs_Code, std::fabs(b))
      OLVU_UNARY(Ln_Code, b < 0 ? (Fail("Function evaluation error: ln(x) with x<0 error"), 0.0) : std::log(b))
      OLVU_UNARY(Log_Code, b < 0 ? (Fail("Function evaluation error: log(x) with x<0 error"), 0.0) : std::log10(b))
      OLVU_UNARY(Fac_Code, Factorial(b))
      OLVU_UNARY(Srand_Code, (std::srand(SeedOf(b)), double(std::rand())))
      OLVU_UNARY(Int_Code, std::trunc(b))
      OLVU_UNARY(Not_Code, b == 0 ? 1.0 : 0.0)

      OLVU_BINARY(ExpMinus_Code)
      OLVU_BINARY(ExpPlus_Code)
      OLVU_BINARY(Pow_Code)
      OLVU_BINARY(Mul_Code)
      OLVU_BINARY(Div_Code)
      OLVU_BINARY(Mod_Code)
      OLVU_BINARY(IDiv_Code)
      OLVU_BINARY(RMod_Code)
      OLVU_BINARY(RDiv_Code)
      OLVU_BINARY(GT_Code)
      OLVU_BINARY(LT_Code)
      OLVU_BINARY(GE_Code)
      OLVU_BINARY(LE_Code)
      OLVU_BINARY(EQ_Code)
      OLVU_BINARY(NE_Code)
      OLVU_BINARY(Or_Code)
      OLVU_BINARY(And_Code)
      OLVU_BINARY(Add_Code)
      OLVU_BINARY(Sub_Code)
      OLVU_BINARY(Min_Code)
      OLVU_BINARY(Max_Code)

      OLVU_BRANCH(GT_Code)
      OLVU_BRANCH(LT_Code)
      OLVU_BRANCH(GE_Code)
      OLVU_BRANCH(LE_Code)
      OLVU_BRANCH(EQ_Code)
      OLVU_BRANCH(NE_Code)

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

      case Open_Code:
      case Close_Code:
      case Then_Code:
      case Comma_Code:
        WrongSyntax(op.code);

      default:
        if constexpr (Env::extended) {
          if (op.code >= NX_Code && op.code <= IMaterial_Code && Env::accepted.has(op.code)) {
            *sp++ = top;
            top = env.operand(op, list);
            break;
          }
        }
        Env::refuse(op.code);
    }
  }
#undef OLVU_ACCEPT
#undef OLVU_PUSH
#undef OLVU_UNARY
#undef OLVU_BINARY
#undef OLVU_BRANCH
#undef OLVU_BRANCH1
#undef OLVU_POP_BRANCH
}

/// The guarded run, kept out of line: only hand-built lists need it.
template <class Env>
[[gnu::noinline, gnu::cold]] double RunGuarded(InstructionList& list, Env& env) {
  return Run<Env, true>(list, env);
}

/// Runs `list` in `env`, guarding the stack only for lists that need it.
template <class Env>
inline double RunMachine(InstructionList& list, Env& env) {
  list.prepare();
  return list.safe() ? Run<Env, false>(list, env) : RunGuarded(list, env);
}

}  // namespace olvu_machine
