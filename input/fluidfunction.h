// User functions of a domain: the words that only make sense at a node (coordinates, body
// normals, strain-rate invariants, nodal fields, their derivatives, neighbourhood and global
// extrema, material membership), their evaluation at the nodes of the domain, and the tables
// of such functions indexed by field kind.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "foundation/plex.h"
#include "input/compiler.h"
#include "input/function.h"
#include "input/functbl.h"
#include "input/functiondomain.h"
#include "input/types.h"

class BitVec;
class Input;
class ReaVec;
class Units;

/// A nodal field operand: variable (73), Dx/Dy/Dz (75-77), MaxS/MinS/MedS/Aver (80-83).
class aVariable : public Instruction {
 public:
  ReaVec* vector;  ///< the domain's field (not owned)
  /// Operand of code c on field v.
  aVariable(ValidCode c, ReaVec* v) : Instruction(c), vector(v) {}
};

/// The value of a field at a fixed problem node, var(n) (code 74).
class aPntVariable : public aVariable {
 public:
  int node;  ///< problem node number, 1 or more
  /// Field v at problem node n.
  aPntVariable(int n, ReaVec* v) : aVariable(PntVariable_Code, v), node(n) {}
};

/// Largest (78) or smallest (79) value of a whole field, cached per time.
class aMaxVariable : public aVariable {
 public:
  double time = -1;   ///< time of the cached value (-1 none)
  double cached = 0;  ///< the cached value
  /// Extremum of code c over field v.
  aMaxVariable(ValidCode c, ReaVec* v) : aVariable(c, v) {}
};

/// Compiler of domain functions: the base vocabulary, then the words of the domain.
class FluidCompiler : public Compiler {
 public:
  /// A compiler resolving field names in domain d.
  explicit FluidCompiler(FunctionDomain* d) : domain_(d) {}
  /// The base vocabulary, then coordinates, normals, invariants, fields and their operators.
  Instruction* getInstruction() override;

 private:
  /// The operand word after op's "(" and the closing ")"; gives the field.
  ReaVec* operandOf(Word* op, const char* opName);

  FunctionDomain* domain_;
};

/// A compiled function of place, time and the fields of a domain, with its units factor.
/// Values at nodes are in internal units (the factor applied).
class FluidFunction : public Function {
 public:
  /// Takes list over; evaluates in domain d; named by a copy of name.
  FluidFunction(InstructionList* list, FunctionDomain* d, double factor = 1.0, const char* name = "");

  /// Value of a constant function, times the factor.
  double evaluate_constant() override;
  /// 1 when the value can change from step to step.
  int isTemporal() override;
  using Function::evaluate;
  using Function::update;
  using Function::IFupdate;

  /// Value at domain node `node` (1-based), times the factor.
  double evaluate(int node);
  /// Takes the domain's views and resolves the field operands for a pass of evaluations.
  void bind();
  /// Value at domain node `node` within a pass opened by bind().
  double at(int node);
  /// First call: every entry of v from its node, flags worked out, mask ignored. Later calls:
  /// only a temporal function refreshes the entries whose mask bit is set. Returns isConstant.
  int update(ReaVec& v, const BitVec& mask);
  /// Evaluates into value at node when flag is non-zero and the function is temporal.
  double update(int node, double& value, int flag);
  /// As update at a node; 1 when it evaluated.
  int IFupdate(int node, double& value, int flag);
  /// out(i) = value at node i for every node (0-based raw fill of the whole vector).
  void fill(ReaVec& out);
  /// out(nodes[k]) += value at nodes[k] times w[k], k < n.
  void addWeighted(ReaVec& out, const int* nodes, const double* w, int n);
  /// Replaces the factor.
  void newfactor(double f) { factor_ = f; }
  /// Replaces the name by a copy.
  void newname(const char* n);
  /// The name.
  const char* Name() const { return name_.c_str(); }
  /// The units factor.
  double factor() const { return factor_; }
  /// 1 when the list reads nodal fields.
  int readsFields() { return code_->holds(VariableCodes); }

 private:
  FunctionDomain* domain_;
  double factor_;
  std::string name_;
  DomainView view_;
  std::vector<const double*> slots_;  ///< raw field of each operand instruction, by index
  bool block_ = false;                ///< the program runs over blocks of nodes
};

/// Domain functions indexed by field kind (DofType), with their names.
class FluidFuncTbl : public FuncTbl {
 public:
  /// Table of chunk size n for domain d; u is kept, not used.
  FluidFuncTbl(int n, Units* u, FunctionDomain* d);
  /// Frees the names, then the functions.
  ~FluidFuncTbl() override = default;

  /// Reads "Function KIND expression [units]" cards until a card holding endword (consumed).
  void readFrom(Input* in, const char* endword, const char* prefix);
  using FuncTbl::loadFrom;
  /// Reads numbered definitions "F(n) = expr" with their units cards until endword.
  void loadFrom(Input* in, const char* endword, const char* material);
  using FuncTbl::value;
  /// dflt when kind is 0 or empty; else the value at node, fatal below dflt when check is set.
  double value(int kind, int node, double dflt, int check);
  /// Function of kind k, or null.
  FluidFunction* FFunc(int k) { return static_cast<FluidFunction*>(Func(k)); }
  /// Name of kind k, or null.
  const char* Name(int k);
  /// The unit system given at creation (kept for the table's readers, not used to convert).
  Units* GiveUnits() const { return units_; }

 private:
  /// Gives function n its name; n below 1 or named already is fatal.
  void setName(int n, std::string name);

  FunctionDomain* domain_;
  Units* units_;
  std::map<int, std::string> names_;  ///< name per field kind
};
