#include "domain/solidmesh.h"

#include <strings.h>

#include <cstring>
#include <new>
#include <string>

#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "mesh/elem.h"

namespace {

constexpr double kYoung = 1e10;
constexpr double kPoisson = 0.3;

[[noreturn]] void NotImplemented(CMType k) { OLVU_FATAL("Case " << int(k) << " not implemented\n"); }

}  // namespace

SolidMesh::SolidMesh(FluidDomain* d, int num, Input* in)
    : FluidMesh(d, num, in, 3, Tetrahedra, 4, 2, 0), kind_(Dimension_Olvu == 3 ? ThreeDim : PlaneStress) {
  const std::string name =
      in->Exist("Name") ? std::string(in->GetWord("Name", nullptr)) : "Solid Element Set_" + std::to_string(num);
  name_ = name;
  // Material data comes as field functions; words of the old card format are refused.
  if (in->Exist("Density") || in->Exist("Thermal_Conductivity"))
    OLVU_FATAL("Old fashioned Olvu format data file found\n");
  in->JumpLine();

  in->ReadLine();
  for (const char* block : {"SpeciesProperties", "VariablesProperties"})
    if (in->Exist(block)) OLVU_FATAL(block << " not available in this build\n");
  in->HoldLine();
  in->ReadCard("PhysicalPropertiesFunctions");
  funtions()->readFrom(in, "EndPhysicalPropertiesFunctions", name_.c_str());
}

SolidMesh::~SolidMesh() = default;

int SolidMesh::AreYou(const char* text) { return strcasecmp(text, Type()) == 0 ? 1 : Mesh::AreYou(text); }

void SolidMesh::printTo(std::ostream& out) {
  out << "\nSolidMesh " << number_ << ";\n";
  int i = 0;
  while (Elem* e = giveNextElm(i)) out << *e;
}

MatrixT SolidMesh::D_Matrix() const {
  const double E = kYoung, nu = kPoisson, G = E / (2 * (1 + nu));
  switch (kind_) {
    case OneDim: {
      MatrixT D(1, 1);
      D = E;
      return D;
    }
    case PlaneStress:
    case PlaneStrain: {
      MatrixT D(3, 3);
      D = 0.0;
      const double a = kind_ == PlaneStress ? E / (1 - nu * nu) : E * (1 - nu) / ((1 + nu) * (1 - 2 * nu));
      const double b = kind_ == PlaneStress ? nu * E / (1 - nu * nu) : nu * E / ((1 + nu) * (1 - 2 * nu));
      D(1, 1) = D(2, 2) = a;
      D(1, 2) = D(2, 1) = b;
      D(3, 3) = G;
      return D;
    }
    case ThreeDim: {
      MatrixT D(6, 6);
      D = 0.0;
      const double a = E * (1 - nu) / ((1 + nu) * (1 - 2 * nu)), b = nu * E / ((1 + nu) * (1 - 2 * nu));
      for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) D(i, j) = i == j ? a : b;
      for (int i = 4; i <= 6; ++i) D(i, i) = G;
      return D;
    }
    default:
      NotImplemented(kind_);
  }
}

void SolidMesh::B_Matrix(Matrix& B, const Matrix& dN) const {
  const int n = dN.ncols;
  auto size = [&](int r, int c) {
    if (B.size == 0) B = MatrixT(r, c);
    B = 0.0;
  };
  switch (kind_) {
    case OneDim:
      B = dN;
      return;
    case PlaneStress:
    case PlaneStrain:
      size(kind_ == PlaneStress ? 3 : 4, 2 * n);
      for (int i = 1; i <= n; ++i) {
        const double dx = dN(1, i), dy = dN(2, i);
        B(1, 2 * i - 1) = dx;
        B(2, 2 * i) = dy;
        B(3, 2 * i - 1) = dy;
        B(3, 2 * i) = dx;
      }
      return;
    case ThreeDim:
      size(6, 3 * n);
      for (int i = 1; i <= n; ++i) {
        const double d[3] = {dN(1, i), dN(2, i), dN(3, i)};
        const int c = 3 * i - 2;
        for (int k = 0; k < 3; ++k) B(1 + k, c + k) = d[k];
        // Engineering shear strains of the pairs xy, yz, xz.
        B(4, c) = d[1], B(4, c + 1) = d[0];
        B(5, c + 1) = d[2], B(5, c + 2) = d[1];
        B(6, c) = d[2], B(6, c + 2) = d[0];
      }
      return;
    default:
      NotImplemented(kind_);
  }
}
