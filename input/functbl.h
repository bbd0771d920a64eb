// Numbered tables of user functions read from "F(n) = expr" cards, and the
// compiler of the function checker, which knows the fluid names without a domain.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/plex.h"
#include "input/compiler.h"
#include "input/function.h"
#include "input/types.h"

class Input;
class ReaVec;
class Units;

/// Numbered user functions with their compiler; F(n) and dF(n) read this table.
class FuncTbl {
 public:
  /// A compiler and an empty function table of chunk size n.
  explicit FuncTbl(int n);
  /// Neither compiler nor function table (a derived table makes its own).
  FuncTbl() = default;
  /// Destroys every function and the compiler.
  virtual ~FuncTbl();
  FuncTbl(const FuncTbl&) = delete;
  FuncTbl& operator=(const FuncTbl&) = delete;

  /// Reads one definition F(n) = expr from the input's current card.
  virtual void loadFrom(Input* in);
  /// Evaluates every function in increasing index order at this time.
  virtual void evaluate(double t, double it, double dt, int step);
  /// Function n, or null.
  virtual Function* Func(int n);
  /// 1 when slot n holds a function.
  virtual int exists(int n);
  /// 1 for an empty slot, else the function's answer.
  virtual int isConstant(int n);
  /// 0 for an empty slot, else the function's answer.
  virtual int isTemporal(int n);
  /// 1 for an empty slot, else the function's answer.
  virtual int isVariable(int n, DofType kind);
  /// def for an empty slot, else function n evaluated at d.
  virtual double value(int n, FuncData* d, double def);
  /// Fills res with function n at the points (x, y, z, w) at time t.
  virtual void value(int n, double t, double it, double dt, const ReaVec& x, const ReaVec& y, const ReaVec& z,
                     const ReaVec& w, ReaVec& res, double def);
  /// 1 for n = 0, else the last value of function n (an empty slot is fatal).
  virtual double value(int n);
  /// 1 for n = 0, else the last change of function n (an empty slot is fatal).
  virtual double dvalue(int n);
  /// Destroys every function and empties the table.
  virtual void clear();

 protected:
  /// Reads "F ( n ) =" from the word `first` on; gives n and the "=" word.
  int readHeader(Word* first, Word** equal, const char* numberError);
  /// Takes f over as function n (a slot already holding one is fatal).
  void store(int n, std::unique_ptr<Function> f);

  std::unique_ptr<Compiler> compiler;          ///< compiler of the definitions
  std::unique_ptr<Plex<Function>> functions;   ///< functions by number, borrowed from owned_

 private:
  std::vector<std::unique_ptr<Function>> owned_;  ///< every function of the table
};

/// A function table whose functions carry a units factor and a name.
class UnitsFuncTbl : public FuncTbl {
 public:
  /// As FuncTbl(n), keeping u, with factor and name tables of chunk size n.
  UnitsFuncTbl(int n, Units* u);
  /// Destroys the functions with their factors and names.
  ~UnitsFuncTbl() override = default;

  using FuncTbl::loadFrom;
  /// Reads a block of definitions, each followed by its units card (the text is not read).
  void loadFrom(Input* in, const char* unused);
  using FuncTbl::value;
  /// Base result times the function's factor.
  double value(int n, FuncData* d, double def) override;
  /// Base result times the function's factor.
  double value(int n) override;
  /// Base result times the function's factor.
  double dvalue(int n) override;
  /// Name of function n (null when none).
  const char* Name(int n);

 private:
  /// Factor of function n, 1 when it has none.
  double factorOf(int n);

  [[maybe_unused]] Units* units_;  ///< the unit system given at creation, kept but not read
  std::map<int, double> factors_;      ///< units factor per function number
  std::map<int, std::string> names_;   ///< name per function number
};

/// Compiler of the Check_Function tool: the fluid-domain names without a domain.
class CompilerCheck : public Compiler {
 public:
  /// Created as a Compiler: empty list, no name, empty push-back slot.
  CompilerCheck() = default;
  /// The base vocabulary, then coordinates, normals, materials, variables and their operators.
  Instruction* getInstruction() override;

 private:
  /// The variable word w, or fatal "Unknown variable" / "Wrong Variable index".
  void checkVariable(const char* w);
  /// Reads "(" and the argument word after the operator word op; gives the argument.
  Word* argumentOf(Word* op);
  /// Reads the ")" that closes the argument of op.
  void closeArgument(Word* op);
};
