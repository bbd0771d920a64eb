// A boundary element set of a fluid domain with its own boundary mass matrix, its flux
// functions and the box of its nodes; the base part of every body set.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/owned.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "mesh/mesh.h"

class FluidDomain;
class FluidFuncTbl;
class FluidFunction;
class Input;
class SparseMatrixStruct;
class SystemSparseMatrix;

/// A boundary set of lines (two dimensions) or faces (three dimensions).
class FluxMesh : public Mesh {
 public:
  /// Set `num` of domain d from the current card, its nodes numbered in `slot`; with `read` set
  /// it also reads its name and property blocks.
  FluxMesh(FluidDomain* d, int num, Input* in, int slot, int read);
  ~FluxMesh() override;

  /// The box of the nodes and the boundary mass matrix (built once, refilled on later calls).
  void initialiseMesh() override;
  /// The name, or the type name when none is set.
  const char* Name() override;
  /// 1 when text is the type name (case ignored), else the base answer.
  int AreYou(const char* text) override;

  /// values = the heat flux of the set at its nodes (constant or per node), rhs += M values.
  virtual void evalFlux(ReaVec& values, ReaVec& rhs);
  /// The same with the heat-flux reaction function.
  virtual void evalFluxReaction(ReaVec& values, ReaVec& rhs);
  /// Reads the next line and the optional "SpeciesProperties" and "VariablesProperties" blocks
  /// after it: per line the flux and flux reaction of one problem ("Flux_Spc" and "Reac_Spc",
  /// "Flux_Phi" and "Reac_Phi"), from index 1; holds back the line after them. A set with fewer
  /// lines than its domain has species (Phi) problems stops, naming the last of them.
  void ReadFluxBlocks(Input* in);
  /// F += M q and G += M g, q and g the flux and flux reaction of species (else Phi) problem
  /// `index` evaluated into w1 and w2 at the set's nodes; nothing when both are null functions.
  /// A set without the problem's functions stops with the table's message.
  void ProblemFlux(bool species, int index, ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G);
  /// r += M f.
  virtual void addBodyIntegral(const ReaVec& f, ReaVec& r);
  /// r -= M f.
  virtual void subBodyIntegral(const ReaVec& f, ReaVec& r);
  /// Numbering slot of the domain numbers.
  virtual int NumType() { return slot_; }
  /// "\nFluxMesh " number ";\n" and the elements.
  virtual void printTo(std::ostream& out);
  /// "FluxMesh".
  virtual const char* Type() { return "FluxMesh"; }

  /// The domain.
  FluidDomain* MyDomain() { return domain_; }
  /// Largest and smallest coordinates of the nodes.
  ReaVec& Max_Vector() { return max_; }
  ReaVec& Min_Vector() { return min_; }
  /// |max - min|.
  double Diameter() const;
  /// The boundary mass matrix (null before the first initialisation).
  SystemSparseMatrix* BoundaryMass() { return massMatrix_; }
  /// The per-set function table (indexed by field kind).
  FluidFuncTbl* funtions() { return functions_; }

 protected:
  /// Builds the pattern and matrix once, then zeroes and refills the matrix.
  void BuildBoundaryMass();
  /// Flux of function `kind` into values and M values into rhs.
  void Flux(int kind, ReaVec& values, ReaVec& rhs);
  /// values = f at the set's nodes, rhs += M values.
  void AddFlux(FluidFunction* f, ReaVec& values, ReaVec& rhs);

  FluidDomain* domain_;                ///< the owning domain
  std::string name_;                   ///< the name (empty until read)
  ReaVec max_, min_;                   ///< box of the nodes
  Owned<FluidFuncTbl> functions_;      ///< per-set functions by field kind
  OwningPlex<FluidFunction> phiFlux_, phiReac_, spcFlux_, spcReac_;  ///< per-problem flux functions
  int slot_;                           ///< numbering slot of the domain numbers
  Owned<SparseMatrixStruct> pattern_;  ///< pattern of the mass matrix
  Owned<SystemSparseMatrix> massMatrix_;  ///< boundary mass matrix (null before the first initialisation)
};
