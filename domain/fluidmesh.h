// A fluid element set: the elements of one material with its property functions, its
// bounding box and the share of nodal volume its elements give each of its nodes.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "input/types.h"
#include "mesh/mesh.h"

class FluidDomain;
class FluidFuncTbl;
class FluidFunction;
class Input;

/// A fluid element set of a domain.
class FluidMesh : public Mesh {
 public:
  /// Set `num` of domain d. With `read` set, the set card is the current card: the name, the
  /// species, Phi and physical property blocks are read from `in` (the elements are read by the
  /// caller); otherwise only the empty tables are built. `dim` is not used.
  FluidMesh(FluidDomain* d, int num, Input* in, int dim, ElemType type, int nnode, int slot, int read);
  ~FluidMesh() override;

  /// The name, or the type name when none is set.
  const char* Name() override;
  /// 1 when text is the type name (ignoring case), else the base answer.
  int AreYou(const char* text) override;
  /// "\nFluidMesh " number ";\n".
  virtual void printTo(std::ostream& out);
  /// Numbering slot of the domain numbers.
  virtual int NumType() { return slot_; }
  /// "FluidMesh".
  virtual const char* Type() { return "FluidMesh"; }
  /// Bounding box of the set's nodes (a set without nodes is the table's fatal error).
  void initialiseMesh() override;
  /// Keeps, per node of the set, the entry of v at the node's domain number.
  void initialiseLN_N(ReaVec& v) override;

  /// The domain.
  FluidDomain* MyDomain() { return domain_; }
  /// Property functions indexed by DofType.
  FluidFuncTbl* funtions() { return functions_.get(); }
  /// Upper and lower corner of the set's box.
  ReaVec& Max_Vector() { return max_; }
  ReaVec& Min_Vector() { return min_; }
  /// Volume share per node of the set, in node-table order.
  ReaVec& LN_N() { return lnn_; }
  /// Domain numbers (1-based) of the set's nodes, in node-table order.
  IntVec& DomainNodes() { return domainNodes_; }
  /// Phi property tables 0-4 ("F1t", "F1c", "F2", "F3", "F4"); entry n belongs to problem n.
  OwningPlex<FluidFunction>& PhiF(int k) { return phiF_[k]; }
  /// Species property tables 0-4 ("F1" to "F5").
  OwningPlex<FluidFunction>& SpcF(int k) { return spcF_[k]; }

 protected:
  /// Reads the optional "SpeciesProperties" and "VariablesProperties" blocks after the set card,
  /// creating the problems they name that the domain lacks.
  void ReadProblemProperties(Input* in);
  /// Fatal when a set gives properties for fewer problems (`have`) than its domain holds.
  void CheckProperties(int have, int problems, const char* last);

 private:
  /// Rebuilds the domain numbers of the set's nodes.
  void NumberNodes();

  FluidDomain* domain_;
  int slot_;
  std::optional<std::string> name_;  // none when the set was not read
  std::unique_ptr<FluidFuncTbl> functions_;
  OwningPlex<FluidFunction> phiF_[5];
  OwningPlex<FluidFunction> spcF_[5];
  ReaVec max_;
  ReaVec min_;
  ReaVec lnn_;
  IntVec domainNodes_;
};
