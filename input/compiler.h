// Compiler of the user-function language: words of a math-mode Line become
// an InstructionList in postfix order, ready for the stack machine.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "input/opcodes.h"

class Word;
class ReaVec;

/// Machine codes of the compact program beyond the ValidCodes: the end of the
/// program, and a binary code C fused with the operands pushed right before
/// it, where K is a CONST and V a VAR row of the opcode table (time,
/// iteration, increment, step). Each fusion is kept because the function
/// benchmark shows it pays:
/// top C K (100 + C), top C V (200 + C), push K C V (300 + C), push V C K (400 + C),
/// and the joined conditions below.
inline constexpr int Halt_Code = 99;
static_assert(NCodes <= Halt_Code, "opcodes 93-98 are free; the machine's own codes start at 99");
inline constexpr int FusedConst_Base = 100;
inline constexpr int FusedVariable_Base = 200;
inline constexpr int FusedConstVar_Base = 300;
inline constexpr int FusedVarConst_Base = 400;
/// A condition V R K (R one of the relations 46-51) joined with the if (500)
/// or elif (530) that reads it: 500 + 6*slot + (R - 46); arg is the jump target.
inline constexpr int FusedIf_Base = 500;
inline constexpr int FusedElif_Base = 530;

/// True for an if, plain or joined with its condition (it opens a block).
inline bool OpensBlock(int code) { return code == If_Code || (code >= FusedIf_Base && code < FusedIf_Base + 24); }
/// True for a step that may jump forward when its condition is zero.
inline bool IsBranch(int code) {
  return code == If_Code || code == Elif_Code || (code >= FusedIf_Base && code < FusedElif_Base + 24);
}

/// Prints the name of a code as messages show it.
std::ostream& operator<<(std::ostream& os, ValidCode code);

/// One postfix instruction; subclasses carry operands.
class Instruction {
 public:
  ValidCode code;  ///< what the instruction does
  /// An instruction without operands.
  explicit Instruction(ValidCode c) : code(c) {}
  /// Destroys any subclass through the base.
  virtual ~Instruction() = default;
  Instruction(const Instruction&) = delete;
  Instruction& operator=(const Instruction&) = delete;
};

/// A literal number (code 8).
class aNumber : public Instruction {
 public:
  double value;  ///< the literal
  /// A literal of value v.
  explicit aNumber(double v) : Instruction(Number_Code), value(v) {}
};

/// A piecewise-linear table x1 y1 x2 y2 ... (code 12); owns its data.
class Interpolate : public Instruction {
 public:
  std::unique_ptr<ReaVec> table;  ///< the pairs
  /// Takes the table over.
  explicit Interpolate(ReaVec* data);
  ~Interpolate() override;
};

/// Membership of the node in a named material (code 84).
class anIMaterial : public Instruction {
 public:
  int index;   ///< material index, -1 until resolved
  std::string name;  ///< material name
  /// Material `i` named `n` (the name is copied).
  anIMaterial(int i, const char* n);
};

/// Entries that code takes from the evaluation stack.
int StackNeeds(int code);
/// Change of the stack depth by code (branch markers: their fall-through).
int StackEffect(int code);

/// One step of the compact program that the stack machine runs.
struct MachineOp {
  int code;    ///< a ValidCode, or a fused code of the machine
  int arg;     ///< jump target (33, 35, 36), table index (12), variable slot (fused) or instruction index
  double val;  ///< literal (8) or constant operand of a fused code
};

/// A table of Interpolate in the form the machine reads.
struct MachineTable {
  const double* xy;  ///< x1 y1 x2 y2 ...
  int npairs;        ///< number of pairs
};

/// A compiled expression: instructions in postfix order, owned, with the
/// compact program that evaluation runs (built once, on first use).
class InstructionList {
 public:
  InstructionList() = default;
  /// Destroys every instruction.
  ~InstructionList() = default;
  InstructionList(const InstructionList&) = delete;
  InstructionList& operator=(const InstructionList&) = delete;

  /// Appends an instruction behind the tail and takes it over.
  void append(Instruction* i);
  /// Number of instructions.
  int count() const { return int(items_.size()); }
  /// Instruction k (0-based), no test.
  Instruction* at(int k) const { return items_[k].get(); }
  /// Moves the iteration cursor to the head.
  void reset() { cursor_ = 0; }
  /// The instruction at the cursor, advancing it; null at the end.
  Instruction* next() { return cursor_ < items_.size() ? items_[cursor_++].get() : nullptr; }

  /// True when some instruction carries a code of the set.
  bool holds(const CodeSet& s) {
    prepare();
    return codes_.meets(s);
  }

  /// Builds the program when instructions were appended since the last build.
  void prepare() {
    if (dirty_) build();
  }
  /// The compact program (after prepare).
  const MachineOp* program() const { return prog_.data(); }
  /// Number of program steps.
  int length() const { return int(prog_.size()); }
  /// Tables of the Interpolate steps.
  const MachineTable* tables() const { return tables_.data(); }
  /// Deepest stack over every path of the program (entries).
  int depth() const { return depth_; }
  /// True when every path is known to keep the stack within its bounds.
  bool safe() const { return safe_; }

 private:
  /// Builds the compact program, its jumps and its stack size from the instructions.
  void build();
  /// Moves every constant left operand of a commutative operator behind its right operand.
  void moveConstants();
  /// Joins pushed constants and time variables with the operator or branch that reads them.
  void fuse();
  /// Step after the endif that closes the if at pc.
  int skipBlock(int pc) const;
  /// Step where a false if or elif at pc goes on.
  int skipFalse(int pc) const;
  /// Step where an else at pc goes on.
  int skipElse(int pc) const;
  /// Works out the deepest stack and whether runs need depth checks.
  void analyse();

  std::vector<std::unique_ptr<Instruction>> items_;  ///< the instructions in postfix order
  std::size_t cursor_ = 0;            ///< iteration cursor
  bool dirty_ = true;                 ///< instructions appended since the last build
  bool safe_ = false;                 ///< no path can take more than the stack holds
  CodeSet codes_;                     ///< codes present
  std::vector<MachineOp> prog_;       ///< the compact program, ending with Halt_Code
  std::vector<MachineTable> tables_;  ///< tables of the Interpolate steps
  int depth_ = 0;                     ///< deepest stack over every path
};

/// Recursive-descent compiler of the base vocabulary; subclasses widen it
/// through getInstruction.
class Compiler {
 public:
  /// An empty compiler: no list, no name, empty push-back slot.
  Compiler() = default;
  /// A compiled list belongs to its function, not to the compiler.
  virtual ~Compiler() = default;
  Compiler(const Compiler&) = delete;
  Compiler& operator=(const Compiler&) = delete;

  /// Compiles the expression behind `start` into a new list owned by the caller.
  InstructionList* compileFrom(Word* start);
  /// Replaces the name used in messages by a copy of `name`.
  void readInfo(const char* name);
  /// The next instruction, or null at the end of the words; unknown words are fatal.
  virtual Instruction* getInstruction();
  /// The name used in messages ("" when none is set).
  virtual const char* Info();
  /// The base vocabulary; null for a word it does not know.
  Instruction* getInstructionIf();
  /// Puts one instruction back for the next request.
  void backInstruction(Instruction* i);

 protected:
  /// The current word (null at the end).
  Word* currentWord() const { return word_; }
  /// Moves to the next word, marks it used and notes its numbers as pending; null at the end.
  Word* advance();
  /// The word after the current one, without moving (null at the end).
  Word* peekWord() const;
  /// Forgets the numbers of the current word as operands (they were read otherwise).
  void dropPending() { pending_ = 0; }

  /// Deepest nesting of expressions in a function text.
  static constexpr int MaxNesting = 1000;

  /// expression() one level deeper; past MaxNesting levels the text is refused.
  void expression();
  /// A conditional if (c) then e elif ... else e endif, or an or_expression.
  void nestedExpression();
  /// The then-branch with its elif parts.
  void elif_expression();
  /// a | b | ...
  void or_expression();
  /// a & b & ...
  void and_expression();
  /// a > b, a <= b, ... (left to right).
  void relational_expression();
  /// A signed first term, then + and - terms.
  void additive_expression();
  /// A term with an optional leading sign.
  void signed_expression();
  /// a * b, a / b, a mod b, a max b, a e b, ...
  void multiplicative_expression();
  /// a ^ b ^ ... (left-associative).
  void exponent_expression();
  /// name(expr), Interpolate(#table#expr), or a primary_expression.
  void function_expression();
  /// (expr) or an operand.
  void primary_expression();

 private:
  /// Takes the next instruction and requires its code, destroying it; else fails with `text`.
  void expect(ValidCode c, const char* text);
  /// Appends to the list under construction.
  void append(Instruction* i);
  /// The next instruction when its code is one of ops; otherwise puts it back and gives null.
  Instruction* takeOperator(const CodeSet& ops);
  /// One level of left-associative operators: first(), then for each operator of ops that
  /// follows, next() and the operator (postfix order).
  void leftAssociative(const CodeSet& ops, void (Compiler::*first)(), void (Compiler::*next)());

  std::unique_ptr<InstructionList> list_;  ///< the list under construction
  Word* word_ = nullptr;             ///< the current word
  std::string name_;                 ///< name in messages ("" until readInfo)
  std::unique_ptr<Instruction> back_;  ///< the push-back slot
  int pending_ = 0;                  ///< 1: the current word's number is the next operand
  int nesting_ = 0;                  ///< expressions open around the current word
};
