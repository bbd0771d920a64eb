#include "domain/fluidmesh.h"

#include <strings.h>

#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "foundation/threads.h"
#include "input/fluidfunction.h"
#include "input/input.h"

FluidMesh::FluidMesh(FluidDomain* d, int num, Input* in, int, ElemType type, int nnode, int slot, int read)
    : Mesh(100, 100, in, type, nnode),
      domain_(d),
      slot_(slot),
      phiF_{{1, "Phi_F1"}, {1, "Phi_F1"}, {1, "Phi_F2"}, {1, "Phi_F3"}, {1, "Phi_F4"}},
      spcF_{{1, "Spc_F1"}, {1, "Spc_F2"}, {1, "Spc_F3"}, {1, "Spc_F4"}, {1, "Spc_F5"}},
      max_(3),
      min_(3) {
  number_ = num;
  functions_ = std::make_unique<FluidFuncTbl>(46, InternalUnits, d);
  if (!read) return;

  name_ = in->Exist("Name") ? std::string(in->GetWord("Name", nullptr))
                            : "Fluid Element Set_" + std::to_string(num);
  if (in->Exist("Density")) OLVU_FATAL("Old fashioned Olvu format data file found\n");
  // The rest of the set card is not checked: the element description words belong to it.
  in->JumpLine();

  ReadProblemProperties(in);
  in->ReadCard("PhysicalPropertiesFunctions");
  functions_->readFrom(in, "EndPhysicalPropertiesFunctions", name_->c_str());

  if (!d->Solves(PCompressibility) && functions_->exists(int(DofType::Density)) &&
      !functions_->isConstant(int(DofType::Density)))
    OLVU_WARNING(2, "Variable density found in set " << *name_ << " running uncompressible problem.");
}

FluidMesh::~FluidMesh() = default;

void FluidMesh::CheckProperties(int have, int problems, const char* last) {
  if (have < problems) OLVU_FATAL("Properties of species " << last << " not found in set " << Name() << "\n");
}

void FluidMesh::ReadProblemProperties(Input* in) {
  FluidDomain* d = domain_;
  in->ReadLine();
  if (in->Exist("SpeciesProperties")) {
    for (int i = 1;; ++i) {
      in->ReadLine();
      if (in->Exist("EndSpeciesProperties")) break;
      const Magnitude mags[5] = {Undimensional, Spc_F2, Spc_F3, Spc_F3, Spc_F5};
      for (int k = 0; k < 5; ++k) {
        const std::string key = "F" + std::to_string(k + 1);
        spcF_[k].Adopt(std::unique_ptr<FluidFunction>(in->GetFluidFunc(key.c_str(), d, mags[k])));
      }
      if (d->SpcProblems().free(i)) d->CreateSpcProblem(i);
    }
    in->ReadLine();
  }
  if (d->number_of_species() > 0)
    CheckProperties(spcF_[0].count, d->number_of_species(), d->GiveSpecies(d->SpcProblems().high)->Name());
  if (in->Exist("VariablesProperties")) {
    for (int i = 1;; ++i) {
      in->ReadLine();
      if (in->Exist("EndVariablesProperties")) break;
      const char* keys[5] = {"F1t", "F1c", "F2", "F3", "F4"};
      const Magnitude mags[5] = {Phi_F1, Phi_F1, Phi_F2, Phi_F3, Phi_F3};
      for (int k = 0; k < 5; ++k)
        phiF_[k].Adopt(std::unique_ptr<FluidFunction>(in->GetFluidFunc(keys[k], d, mags[k])));
      if (d->PhiProblems().free(i)) d->CreatePhiProblem(i);
    }
    in->ReadLine();
  }
  if (d->number_of_phivariables() > 0)
    CheckProperties(phiF_[0].count, d->number_of_phivariables(), d->GiveVariable(d->PhiProblems().high)->Name());
  in->HoldLine();
}

const char* FluidMesh::Name() { return name_ ? name_->c_str() : Type(); }

int FluidMesh::AreYou(const char* text) { return strcasecmp(text, Type()) == 0 ? 1 : Mesh::AreYou(text); }

void FluidMesh::printTo(std::ostream& out) { out << "\nFluidMesh " << number_ << ";\n"; }

void FluidMesh::initialiseMesh() {
  int i = 0;
  Node* first = nodes_->next(i);
  if (!first) first = nodes_->get_at(1);  // an empty set ends with the table's own message
  for (int c = 1; c <= 3; ++c) max_(unsigned(c)) = min_(unsigned(c)) = (*first)(unsigned(c));
  i = 0;
  while (Node* nd = nodes_->next(i))
    for (unsigned c = 1; c <= 3; ++c) {
      if ((*nd)(c) > max_(c)) max_(c) = (*nd)(c);
      if ((*nd)(c) < min_(c)) min_(c) = (*nd)(c);
    }
}

void FluidMesh::NumberNodes() {
  domainNodes_.resize(unsigned(nodes_->count), 0);
  int i = 0, k = 0;
  while (Node* nd = nodes_->next(i)) domainNodes_(unsigned(++k)) = nd->num[slot_];
}

void FluidMesh::initialiseLN_N(ReaVec& v) {
  if (int(domainNodes_.length()) != nodes_->count) NumberNodes();
  lnn_.resize(unsigned(nodes_->count), 0.0);
  // Runs at every system assembly: shared among the threads like the assembly itself.
  const IntVec& dn = domainNodes_;
  const double* from = v.GivePointer();
  double* to = lnn_.GivePointer();
  ParallelFor(dn.length(), [&dn, from, to](std::size_t k) { to[k] = from[dn[unsigned(k)] - 1]; });
}
