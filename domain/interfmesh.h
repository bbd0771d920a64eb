// An interface set between the fluid and the solid domain: the contact's thermal, species and Phi
// resistances, one boundary mass matrix on each side and the map of its nodes to both numberings.
// Its heat exchange couples the two temperature solves.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/intvec.h"
#include "foundation/reavec.h"
#include "input/types.h"
#include "mesh/mesh.h"

class FluidDomain;
class FluidFunction;
class Input;
class SparseMatrixStruct;
class SystemSparseMatrix;

/// One fluid-solid interface set.
class InterfMesh : public Mesh {
 public:
  /// Set `num` between `fluid` and `solid`, read from the set card (the current card of `in`) and
  /// the optional species and Phi blocks after it; the elements are read by the caller. A file
  /// without both domains, or an interface without any resistance, ends the run.
  InterfMesh(int num, Input* in, FluidDomain* fluid, FluidDomain* solid);
  /// Deletes its elements, resistance functions, matrices and patterns (never a node).
  ~InterfMesh() override;

  /// Bounding box, the node maps and (the first time) the two boundary mass matrices; registers
  /// the set with both domains. A node that is not in both domains ends the run.
  void initialiseMesh() override;
  /// The name ("Interface_N" when none was given).
  const char* Name() override { return name_.c_str(); }
  /// 1 when text is the type name (ignoring case), else the base answer.
  int AreYou(const char* text) override;
  /// "\nInterfMesh " number ";\n" and the element table.
  virtual void printTo(std::ostream& out);
  /// "InterfMesh".
  virtual const char* Type() { return "InterfMesh"; }

  /// out += (fluid-side boundary mass) times the resistance of `kind` (1 thermal, 2 species
  /// `index`, 3 Phi `index`) evaluated into `work` (fluid numbering).
  virtual void solveFluidFluxReaction(ReaVec& work, ReaVec& out, int kind, int index);
  /// The same on the solid side (solid numbering).
  virtual void solveSolidFluxReaction(ReaVec& work, ReaVec& out, int kind, int index);
  /// Both vectors take, at every interface node, the sum of their two values.
  virtual void communicateReaVec(ReaVec& fluid, ReaVec& solid);

  /// Adds to the temperature system (A, b) of `d` (one of the two domains) the heat the other
  /// domain sends through the contact: h (T_other - T) per unit area, h the contact conductance
  /// ("Rest_Tem", the inverse of the contact resistance), lumped per node.
  void HeatExchange(FluidDomain* d, SystemSparseMatrix* A, ReaVec& b);

  /// Box corners and their coordinates (1-based).
  ReaVec& Min_Vector() { return min_; }
  ReaVec& Max_Vector() { return max_; }
  double mincoord(int k) { return min_(unsigned(k)); }
  double maxcoord(int k) { return max_(unsigned(k)); }
  /// The fluid domain (the other side is SolidDomain()).
  FluidDomain* MyDomain() { return fluid_; }
  FluidDomain* SolidDomain() { return solid_; }
  /// A thermal resistance exists.
  bool IsTempInterface() const { return thermal_[0] != nullptr; }
  /// Species k (Phi problem k) has a fluid-side resistance.
  bool IsSpesInterface(int k) const { return Has(species_[0], k); }
  bool IsVarsInterface(int k) const { return Has(phi_[0], k); }
  /// The pressure and velocity interface flags (never set).
  bool IsPresInterface() const { return pressure_ != 0; }
  bool IsVelcInterface() const { return velocity_ != 0; }
  /// Fluid and solid numbers of the interface nodes, in node-table order.
  const IntVec& FluidNumbers() const { return fluidNum_; }
  const IntVec& SolidNumbers() const { return solidNum_; }
  /// Boundary mass matrix of the fluid (0) or solid (1) side; null before initialisation.
  SystemSparseMatrix* SideMatrix(int side) { return mass_[side].get(); }
  /// Contact area (length in 2D) of each interface node.
  const ReaVec& Area() const { return area_; }

 private:
  static bool Has(const std::vector<std::unique_ptr<FluidFunction>>& t, int k) {
    return k >= 1 && k <= int(t.size()) && t[std::size_t(k - 1)] != nullptr;
  }
  /// Reads an optional "SpeciesProperties" or "VariablesProperties" block into the two tables.
  bool ReadBlock(Input* in, const char* block, const char* word, Magnitude m,
                 std::vector<std::unique_ptr<FluidFunction>>* t);
  /// The flux reaction of one side (0 fluid, 1 solid).
  void FluxReaction(int side, ReaVec& work, ReaVec& out, int kind, int index);

  FluidDomain* fluid_;
  FluidDomain* solid_;
  std::string name_;
  int nodeCount_ = 0;
  IntVec fluidNum_, solidNum_;
  ReaVec max_, min_, area_;
  int velocity_ = 0, pressure_ = 0;
  std::unique_ptr<FluidFunction> thermal_[2];  // fluid side, solid side
  std::vector<std::unique_ptr<FluidFunction>> species_[2], phi_[2];  // by problem number - 1 (null: "Off")
  std::unique_ptr<SparseMatrixStruct> pattern_[2];
  std::unique_ptr<SystemSparseMatrix> mass_[2];
};
