// A solid element set: a fluid element set whose material is a conducting solid, with the
// elasticity data of its structural model.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "domain/fluidmesh.h"
#include "foundation/matrix.h"
#include "input/types.h"

class FluidDomain;
class Input;

/// A solid element set of the solid domain.
class SolidMesh : public FluidMesh {
 public:
  /// Set `num` of the solid domain d; the set card is the current card of `in`. Reads the name and
  /// the physical-property block (the elements are read by the caller).
  SolidMesh(FluidDomain* d, int num, Input* in);
  /// Frees the name.
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

 private:
  std::string name_;
  CMType kind_;
};
