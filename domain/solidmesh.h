// A solid element set: a fluid element set whose material is a conducting solid, with the
// elasticity data of its structural model.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "domain/fluidmesh.h"
#include "foundation/matrix.h"
#include "foundation/plex.h"
#include "input/types.h"

class FluidDomain;
class FluidFunction;
class Input;

/// A solid element set of the solid domain.
class SolidMesh : public FluidMesh {
 public:
  /// Set `num` of the solid domain d; the set card is the current card of `in`. Reads the name and
  /// the physical-property block (the elements are read by the caller).
  SolidMesh(FluidDomain* d, int num, Input* in);
  ~SolidMesh() override;

  /// The name ("Solid Element Set_N" when none was given).
  const char* Name() override { return name_.c_str(); }
  /// 1 when text is the type name (ignoring case), else the base answer.
  int AreYou(const char* text) override;
  /// "\nSolidMesh " number ";\n" and the element table.
  void printTo(std::ostream& out) override;
  /// "SolidMesh".
  const char* Type() override { return "SolidMesh"; }

  /// Constitutive kind: ThreeDim in three dimensions, PlaneStress in two.
  CMType Kind() const { return kind_; }
  /// The elasticity matrix of the set's kind (E = 1e10, nu = 0.3).
  MatrixT D_Matrix() const;
  /// Strain-displacement matrix B of the shape-function derivatives dN (rows x, y[, z]; one column
  /// per node); B is sized only when empty.
  void B_Matrix(Matrix& B, const Matrix& dN) const;

  /// Solid property table k of the Phi (species false) or species problems: 0 the capacity "F1",
  /// 1 + c the conductivity component c (xx, xy, yy, xz, yz, zz); entry n belongs to problem n.
  Plex<FluidFunction>& SolidF(bool species, int k) { return *solidF_[species ? 1 : 0][k]; }

 private:
  /// Reads the optional species (or Phi) block of the set, creating the problems it names.
  void ReadSolidProperties(Input* in, FluidDomain* d, bool species);

  std::unique_ptr<OwningPlex<FluidFunction>> solidF_[2][7];
  std::string name_;
  CMType kind_;
};
