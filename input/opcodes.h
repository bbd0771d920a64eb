// The opcodes of the function language in one table: per opcode its code,
// its name in messages, the word that spells it, its place in the grammar,
// its stack signature and how the stack machine evaluates it. The compiler,
// the stack-depth analysis, the program builder and the evaluator all read
// this table, so a new opcode is one row here.
//
// Every row is a call of the macro of its evaluation form:
//   MARKER (code, value, name, word, syntax)               no run-time meaning
//   REFUSED(code, value, name, word, syntax, pops)         parsed, never evaluated
//   CONST  (code, value, name, word, syntax, x)            pushes the constant x
//   VAR    (code, value, name, word, syntax, slot)         pushes env.var[slot]
//   PUSH   (code, value, name, word, syntax, x)            pushes the expression x
//   UNARY  (code, value, name, word, syntax, x)            the top b becomes x
//   BINARY (code, value, name, word, syntax, comm, x)      a b become x
//   CONTROL(code, value, name, word, syntax, pops, push)   branches, run by hand
//   NODE   (code, value, name, word, syntax)               pushes env.node(op, list)
// The stack signature (entries taken, change of depth) follows from the form.
// Value expressions may read `env` (the evaluation environment), `op` (the
// program step), `list` (the compiled list), `a` and `b` (the operands), and
// `Env` (the environment's type, for its messages).
//
// NODE rows are the values that only exist at a node of a domain (normals,
// invariants, field variables, their neighbourhood operators, materials):
// the evaluator hands them to the environment, which knows the node and
// reads the instruction list.at(op.arg) for the data the compiler attached.
// A new node operand is a NODE row with its word and syntax; the evaluation
// environment of the domain says how to compute it.
//
// A new opcode takes the next free code (93-98; 99 on are the machine's own)
// and one row in code order; NCodes grows with it.
#pragma once

#include <strings.h>

#include <cstdint>
#include <initializer_list>
#include <utility>

/// Place of an opcode in the grammar.
enum class Syntax : std::uint8_t {
  Keyword,       ///< brackets, if/then/elif/else/endif, "," and "#": read by the grammar itself
  Operand,       ///< stands alone
  Call,          ///< written name(expr)
  Special,       ///< word read apart by the compiler (Interpolate)
  Internal,      ///< made by the compiler, never written (change of sign)
  NodeWord,      ///< operand word of a node (coordinates, normals, invariants)
  NodeVariable,  ///< field variable name, or name(n) for the value at node n
  NodeOperator,  ///< word "(" field variable ")"
  NodeMaterial,  ///< "Mat" "(" material name ")"
  OrOp,          ///< infix |
  AndOp,         ///< infix &
  RelOp,         ///< infix relations
  AddOp,         ///< infix + and -
  MulOp,         ///< infix products, quotients, min, max, powers of ten
  PowOp,         ///< infix ^
};

/// How the stack machine evaluates an opcode.
enum class Form : std::uint8_t { Marker, Refused, Const, Var, Push, Unary, Binary, Control, Node };

// clang-format off
#define OLVU_OPCODES(MARKER, REFUSED, CONST, VAR, PUSH, UNARY, BINARY, CONTROL, NODE)                          \
  MARKER (Open_Code,         0, "(",                     "(",        Keyword)                                 \
  MARKER (Close_Code,        1, ")",                     ")",        Keyword)                                 \
  CONST  (Pi_Code,           2, "pi",                    "pi",       Operand, 3.141592653589793)              \
  UNARY  (Exp_Code,          3, "exp(.)",                "exp",      Call, std::pow(2.718281828459045, b))    \
  CONST  (Infinite_Code,     4, "inf",                   "infinite", Operand, 1e100)                          \
  PUSH   (MaxV_Code,         5, "Velocity Maximum",      "maxV",     Operand, Max_Velocity)                   \
  BINARY (ExpMinus_Code,     6, "(.)e10-(.)",            nullptr,    MulOp, false, a * std::pow(10.0, -b))    \
  BINARY (ExpPlus_Code,      7, "(.)e10+(.)",            nullptr,    MulOp, false, a * std::pow(10.0, b))     \
  CONST  (Number_Code,       8, "\"Unknown Instruction\"", nullptr,  Operand, op.val)                         \
  UNARY  (F_Code,            9, "F(.)",                  "F",        Call, env.F(RoundIndex(b, "F(x)")))      \
  UNARY  (DF_Code,          10, "\"Unknown Instruction\"", "dF",     Call, env.dF(RoundIndex(b, "dF(x)")))    \
  CONTROL(Eval_Code,        11, "\"Unknown Instruction\"", nullptr,  Call, 0, 0)                              \
  UNARY  (Interpolate_Code, 12, "interpolate",           nullptr,    Special, Lookup(list.tables()[op.arg], b)) \
  UNARY  (Sqrt_Code,        13, "sqrt(.)",               "sqrt",     Call, b < 0 ? (Fail(Env::sqrt_error), 0.0) : std::sqrt(b)) \
  UNARY  (Sin_Code,         14, "sin(.)",                "sin",      Call, std::sin(b))                       \
  UNARY  (Cos_Code,         15, "cos(.)",                "cos",      Call, std::cos(b))                       \
  UNARY  (Tan_Code,         16, "tan(.)",                "tan",      Call, std::tan(b))                       \
  UNARY  (Asin_Code,        17, "asin(.)",               "asin",     Call,                                    \
          std::fabs(b) > 1 ? (Fail("Function evaluation error: asin(x) with abs(x)>1 error"), 0.0) : std::asin(b)) \
  UNARY  (Acos_Code,        18, "acos(.)",               "acos",     Call,                                    \
          std::fabs(b) > 1 ? (Fail(Env::acos_error), 0.0) : std::acos(b))                                        \
  UNARY  (Atan_Code,        19, "atan(.)",               "atan",     Call, std::atan(b))                      \
  UNARY  (Sinh_Code,        20, "sinh(.)",               "sinh",     Call, std::sinh(b))                      \
  UNARY  (Cosh_Code,        21, "cosh(.)",               "cosh",     Call, std::cosh(b))                      \
  UNARY  (Tanh_Code,        22, "tanh(.)",               "tanh",     Call, std::tanh(b))                      \
  UNARY  (Asinh_Code,       23, "asinh(.)",              "asinh",    Call, std::asinh(b))                     \
  UNARY  (Acosh_Code,       24, "acosh(.)",              "acosh",    Call, std::acosh(b))                     \
  UNARY  (Atanh_Code,       25, "atanh(.)",              "atanh",    Call, std::atanh(b))                     \
  UNARY  (Chsgn_Code,       26, "chsgn(.)",              nullptr,    Internal, -b)                            \
  UNARY  (Abs_Code,         27, "abs(.)",                "abs",      Call, std::fabs(b))                      \
  UNARY  (Ln_Code,          28, "ln(.)",                 "ln",       Call,                                    \
          b < 0 ? (Fail("Function evaluation error: ln(x) with x<0 error"), 0.0) : std::log(b))                  \
  UNARY  (Log_Code,         29, "log(.)",                "log",      Call,                                    \
          b < 0 ? (Fail("Function evaluation error: log(x) with x<0 error"), 0.0) : std::log10(b))               \
  UNARY  (Fac_Code,         30, "fac(.)",                "fac",      Call, Factorial(b))                      \
  UNARY  (Srand_Code,       31, "srand(.)",              "srand",    Call, (std::srand(SeedOf(b)), double(std::rand()))) \
  PUSH   (Rand_Code,        32, "rand",                  "rand",     Operand, double(std::rand()))            \
  CONTROL(If_Code,          33, "if",                    "if",       Keyword, 1, -1)                          \
  MARKER (Then_Code,        34, "then",                  "then",     Keyword)                                 \
  CONTROL(Elif_Code,        35, "elif",                  "elif",     Keyword, 1, -1)                          \
  CONTROL(Else_Code,        36, "else",                  "else",     Keyword, 0, 0)                           \
  CONTROL(Endif_Code,       37, "endif",                 "endif",    Keyword, 0, 0)                           \
  BINARY (Pow_Code,         38, "^",                     "^",        PowOp, false, std::pow(a, b))            \
  BINARY (Mul_Code,         39, "*",                     "*",        MulOp, true, a * b)                      \
  BINARY (Div_Code,         40, "/",                     "/",        MulOp, false,                            \
          b == 0 ? (Fail("Function evaluation error: a/x with x==0 error"), 0.0) : a / b)                        \
  BINARY (Mod_Code,         41, "(.)mod(.)",             "mod",      MulOp, false, ModOf(a, b))               \
  BINARY (IDiv_Code,        42, "(.)div(.)",             "div",      MulOp, false,                            \
          b == 0 ? (Fail("Function evaluation error: a div x with x==0 error"), 0.0)                             \
                 : double(RoundIndex(a / b, "a div x")))                                                         \
  BINARY (RMod_Code,        43, "(.)rmod(.)",            "rmod",     MulOp, false,                            \
          b == 0 ? (Fail("Function evaluation error: a rmod x with x==0 error"), 0.0) : a / b - std::trunc(a / b)) \
  BINARY (RDiv_Code,        44, "(.)rdiv(.)",            "rdiv",     MulOp, false,                            \
          b == 0 ? (Fail("Function evaluation error: a rdiv x with x==0 error"), 0.0) : std::trunc(a / b))       \
  UNARY  (Int_Code,         45, "int(.)",                "int",      Call, std::trunc(b))                     \
  BINARY (GT_Code,          46, ">",                     nullptr,    RelOp, false, a > b ? 1.0 : 0.0)         \
  BINARY (LT_Code,          47, "<",                     nullptr,    RelOp, false, a < b ? 1.0 : 0.0)         \
  BINARY (GE_Code,          48, ">=",                    nullptr,    RelOp, false, a >= b ? 1.0 : 0.0)        \
  BINARY (LE_Code,          49, "<=",                    nullptr,    RelOp, false, a <= b ? 1.0 : 0.0)        \
  BINARY (EQ_Code,          50, "=",                     "=",        RelOp, true, a == b ? 1.0 : 0.0)         \
  BINARY (NE_Code,          51, "~=",                    nullptr,    RelOp, true, a != b ? 1.0 : 0.0)         \
  UNARY  (Not_Code,         52, "~",                     nullptr,    Call, b == 0 ? 1.0 : 0.0)                \
  BINARY (Or_Code,          53, "|",                     "|",        OrOp, true, (a != 0 || b != 0) ? 1.0 : 0.0) \
  BINARY (And_Code,         54, "&",                     "&",        AndOp, true, (a != 0 && b != 0) ? 1.0 : 0.0) \
  BINARY (Add_Code,         55, "+",                     "+",        AddOp, true, a + b)                      \
  BINARY (Sub_Code,         56, "-",                     "-",        AddOp, false, a - b)                     \
  MARKER (Comma_Code,       57, ",",                     ",",        Keyword)                                 \
  REFUSED(Hash_Code,        58, "#",                     "#",        Keyword, 0)                              \
  BINARY (Min_Code,         59, "Minimum [(.)min(.)]",   "min",      MulOp, false, b < a ? b : a)             \
  BINARY (Max_Code,         60, "Maximum [(.)max(.)]",   "max",      MulOp, false, b > a ? b : a)             \
  VAR    (T_Code,           61, "t",                     "t",        Operand, 0)                              \
  VAR    (It_Code,          62, "it",                    "it",       Operand, 1)                              \
  VAR    (Dt_Code,          63, "dt",                    "dt",       Operand, 2)                              \
  PUSH   (X_Code,           64, "x",                     "X",        NodeWord, env.x())                       \
  PUSH   (Y_Code,           65, "y",                     "Y",        NodeWord, env.y())                       \
  PUSH   (Z_Code,           66, "z",                     "Z",        NodeWord, env.z())                       \
  NODE   (NX_Code,          67, "nx",                    "NX",       NodeWord)                                \
  NODE   (NY_Code,          68, "ny",                    "NY",       NodeWord)                                \
  NODE   (NZ_Code,          69, "nz",                    "NZ",       NodeWord)                                \
  NODE   (IE1_Code,         70, "Invariant e(u) 1",      "IE1",      NodeWord)                                \
  NODE   (IE2_Code,         71, "Invariant e(u) 2",      "IE2",      NodeWord)                                \
  NODE   (IE3_Code,         72, "Invariant e(u) 3",      "IE3",      NodeWord)                                \
  NODE   (Variable_Code,    73, "Variable",              nullptr,    NodeVariable)                            \
  NODE   (PntVariable_Code, 74, "Variable(.)",           nullptr,    NodeVariable)                            \
  NODE   (DX_Code,          75, "Dx(.)",                 "Dx",       NodeOperator)                            \
  NODE   (DY_Code,          76, "Dy(.)",                 "Dy",       NodeOperator)                            \
  NODE   (DZ_Code,          77, "Dz(.)",                 "Dz",       NodeOperator)                            \
  NODE   (MaxVar_Code,      78, "MaxVar(.)",             "MaxVar",   NodeOperator)                            \
  NODE   (MinVar_Code,      79, "MinVar(.)",             "MinVar",   NodeOperator)                            \
  NODE   (MaxS_Code,        80, "MaxS(.)",               "MaxS",     NodeOperator)                            \
  NODE   (MinS_Code,        81, "MinS(.)",               "MinS",     NodeOperator)                            \
  NODE   (MedS_Code,        82, "MedS(.)",               "MedS",     NodeOperator)                            \
  NODE   (Aver_Code,        83, "Aver(.)",               "Aver",     NodeOperator)                            \
  NODE   (IMaterial_Code,   84, "Material Index",        "Mat",      NodeMaterial)                            \
  VAR    (Step_Code,        85, "Current Step",          "step",     Operand, 3)                              \
  REFUSED(Rhoc_Code,        86, "Rho_c",                 "rhoc",     Call, 1)                                 \
  REFUSED(Rhos_Code,        87, "Rho_s",                 "rhos",     Call, 1)                                 \
  REFUSED(Thetac_Code,      88, "Theta_c",               "thetac",   Call, 1)                                 \
  REFUSED(Thetas_Code,      89, "Theta_s",               "thetas",   Call, 1)                                 \
  REFUSED(Phis_Code,        90, "Phi_s",                 "phis",     Call, 1)                                 \
  REFUSED(XRot_Code,        91, "X Rotation",            "xrot",     Call, 1)                                 \
  REFUSED(YRot_Code,        92, "Y Rotation",            "yrot",     Call, 1)
// clang-format on

/// Expands to nothing: for the forms a use of the table does not want.
#define OLVU_OP_SKIP(...)

/// Runs OP(code, ...) over every row, whatever its form.
#define OLVU_OPCODES_ALL(OP) OLVU_OPCODES(OP, OP, OP, OP, OP, OP, OP, OP, OP)

#define OLVU_OP_ENUM(c, v, ...) c = v,
/// Instruction codes of the function language (values fixed by the data format).
enum ValidCode : int { OLVU_OPCODES_ALL(OLVU_OP_ENUM) };
#undef OLVU_OP_ENUM

/// Number of valid codes (0 .. NCodes-1).
inline constexpr int NCodes = 93;

/// What the table says about one opcode.
struct OpInfo {
  int code;            ///< the code (its index in the table)
  const char* name;    ///< name in messages
  const char* word;    ///< word that spells it (null when the compiler reads it apart or makes it)
  Syntax syntax;       ///< place in the grammar
  Form form;           ///< evaluation form
  int pops;            ///< entries taken from the stack
  int push;            ///< change of the stack depth (branches: their fall-through)
  bool commutative;    ///< binary with a b = b a (operands may be swapped)
  int slot;            ///< env.var slot of a VAR row, else -1
};

#define OLVU_OP_MARKER(c, v, n, w, s) {v, n, w, Syntax::s, Form::Marker, 0, 0, false, -1},
#define OLVU_OP_REFUSED(c, v, n, w, s, p) {v, n, w, Syntax::s, Form::Refused, p, 0, false, -1},
#define OLVU_OP_CONST(c, v, n, w, s, x) {v, n, w, Syntax::s, Form::Const, 0, 1, false, -1},
#define OLVU_OP_VAR(c, v, n, w, s, x) {v, n, w, Syntax::s, Form::Var, 0, 1, false, x},
#define OLVU_OP_PUSH(c, v, n, w, s, x) {v, n, w, Syntax::s, Form::Push, 0, 1, false, -1},
#define OLVU_OP_UNARY(c, v, n, w, s, x) {v, n, w, Syntax::s, Form::Unary, 1, 0, false, -1},
#define OLVU_OP_BINARY(c, v, n, w, s, k, x) {v, n, w, Syntax::s, Form::Binary, 2, -1, k, -1},
#define OLVU_OP_CONTROL(c, v, n, w, s, p, d) {v, n, w, Syntax::s, Form::Control, p, d, false, -1},
#define OLVU_OP_NODE(c, v, n, w, s) {v, n, w, Syntax::s, Form::Node, 0, 1, false, -1},
/// The table, indexed by code.
inline constexpr OpInfo Opcodes[NCodes] = {OLVU_OPCODES(OLVU_OP_MARKER, OLVU_OP_REFUSED, OLVU_OP_CONST, OLVU_OP_VAR,
                                                        OLVU_OP_PUSH, OLVU_OP_UNARY, OLVU_OP_BINARY, OLVU_OP_CONTROL,
                                                        OLVU_OP_NODE)};
#undef OLVU_OP_MARKER
#undef OLVU_OP_REFUSED
#undef OLVU_OP_CONST
#undef OLVU_OP_VAR
#undef OLVU_OP_PUSH
#undef OLVU_OP_UNARY
#undef OLVU_OP_BINARY
#undef OLVU_OP_CONTROL
#undef OLVU_OP_NODE

/// True when every row sits at the index of its code.
constexpr bool OpcodesInOrder() {
  for (int c = 0; c < NCodes; ++c)
    if (Opcodes[c].code != c) return false;
  return true;
}
static_assert(OpcodesInOrder(), "the opcode rows must follow their codes without gaps");

/// The table entry of a valid code.
constexpr const OpInfo& OpOf(int code) { return Opcodes[code]; }

/// The code of the row of place `syntax` whose word is `text` (without regard to case), or -1.
inline int WordCode(const char* text, Syntax syntax) {
  for (const OpInfo& op : Opcodes)
    if (op.syntax == syntax && op.word && strcasecmp(text, op.word) == 0) return op.code;
  return -1;
}

/// Set of codes, one bit per code.
struct CodeSet {
  std::uint64_t bits[2] = {0, 0};  ///< bit c of the pair is code c
  /// Adds code c.
  constexpr void add(int c) { bits[c >> 6] |= std::uint64_t(1) << (c & 63); }
  /// Adds codes lo..hi.
  constexpr void add(int lo, int hi) {
    for (int c = lo; c <= hi; ++c) add(c);
  }
  /// True when code c is a member.
  constexpr bool has(int c) const { return c >= 0 && c < 128 && ((bits[c >> 6] >> (c & 63)) & 1); }
  /// True when the two sets share a code.
  constexpr bool meets(const CodeSet& o) const { return (bits[0] & o.bits[0]) || (bits[1] & o.bits[1]); }
};

/// The set of the codes in the given inclusive ranges {lo, hi}.
constexpr CodeSet CodeRanges(std::initializer_list<std::pair<int, int>> ranges) {
  CodeSet s;
  for (auto [lo, hi] : ranges) s.add(lo, hi);
  return s;
}

/// The codes whose place in the grammar is one of `syntaxes`.
constexpr CodeSet CodesOf(std::initializer_list<Syntax> syntaxes) {
  CodeSet s;
  for (const OpInfo& op : Opcodes)
    for (Syntax x : syntaxes)
      if (op.syntax == x) s.add(op.code);
  return s;
}
