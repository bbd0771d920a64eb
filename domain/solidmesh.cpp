#include "domain/solidmesh.h"

#include <strings.h>

#include <cstring>
#include <memory>
#include <string>

#include "domain/phiproblem.h"
#include "domain/soliddomain.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "mesh/elem.h"

namespace {

constexpr double kYoung = 1e10;
constexpr double kPoisson = 0.3;

const char* const kSolidTableNames[2][7] = {
    {"Phi_F1", "Phi_F2xx", "Phi_F2xy", "Phi_F2yy", "Phi_F2xz", "Phi_F2yz", "Phi_F2zz"},
    {"Spc_F1", "Spc_F2xx", "Spc_F2xy", "Spc_F2yy", "Spc_F2xz", "Spc_F2yz", "Spc_F2zz"}};

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

  for (int s = 0; s < 2; ++s)
    for (int k = 0; k < 7; ++k)
      solidF_[s][k] = std::make_unique<OwningPlex<FluidFunction>>(1, kSolidTableNames[s][k]);
  ReadSolidProperties(in, d, true);
  ReadSolidProperties(in, d, false);
  in->ReadCard("PhysicalPropertiesFunctions");
  funtions()->readFrom(in, "EndPhysicalPropertiesFunctions", name_.c_str());
}

SolidMesh::~SolidMesh() = default;

void SolidMesh::ReadSolidProperties(Input* in, FluidDomain* d, bool species) {
  // Species first, then the Phi problems; each card holds the capacity, the conductivity
  // components and the reaction and source, which go to the fluid set's tables.
  in->ReadLine();
  const char* block = species ? "SpeciesProperties" : "VariablesProperties";
  const std::string end = std::string("End") + block;
  const Magnitude cap = species ? Undimensional : Phi_F1, diff = species ? Spc_F2 : Phi_F2,
                  reac = species ? Spc_F3 : Phi_F3;
  if (in->Exist(block)) {
    static const char* const kKeys[NSolidComponents] = {"F2xx", "F2xy", "F2yy", "F2xz", "F2yz", "F2zz"};
    for (int i = 1;; ++i) {
      in->ReadLine();
      if (in->Exist(end.c_str())) break;
      auto read = [&](const char* key, Magnitude m) {
        return std::unique_ptr<FluidFunction>(in->GetFluidFunc(key, d, m));
      };
      auto& t = solidF_[species ? 1 : 0];
      t[0]->Adopt(read("F1", cap));
      for (int c = 0; c < (Dimension_Olvu == 3 ? NSolidComponents : 3); ++c) t[1 + c]->Adopt(read(kKeys[c], diff));
      (species ? SpcF(2) : PhiF(3)).Adopt(read("F3", reac));
      (species ? SpcF(3) : PhiF(4)).Adopt(read("F4", reac));
      if (species ? d->SpcProblems().free(i) : d->PhiProblems().free(i))
        species ? d->CreateSpcProblem(i) : d->CreatePhiProblem(i);
    }
  } else {
    in->HoldLine();
  }
  const int have = solidF_[species ? 1 : 0][0]->count;
  if (species && d->number_of_species() > 0)
    CheckProperties(have, d->number_of_species(), d->GiveSpecies(d->SpcProblems().high)->Name());
  if (!species && d->number_of_phivariables() > 0)
    CheckProperties(have, d->number_of_phivariables(), d->GiveVariable(d->PhiProblems().high)->Name());
}

int SolidMesh::AreYou(const char* text) { return strcasecmp(text, Type()) == 0 ? 1 : Mesh::AreYou(text); }

void SolidMesh::printTo(std::ostream& out) {
  out << "\nSolidMesh " << number_ << ";\n";
  int i = 0;
  while (Elem* e = giveNextElm(i)) out << *e;
}

// No caller in the program: the structural solve of a solid set, never turned on, would call it.
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

// No caller in the program: as D_Matrix, the structural solve of a solid set would call it.
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
