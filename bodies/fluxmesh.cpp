#include "bodies/fluxmesh.h"

#include <strings.h>

#include <cmath>
#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/phiproblem.h"
#include "foundation/declarations.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "mesh/boundarymass.h"
#include "mesh/csr.h"
#include "mesh/elem.h"
#include "solvers/sparsematrix.h"

namespace {

// The lines of one flux block up to `end`: per line the flux and the reaction, of magnitude m,
// appended to f and r; then the line after the block.
void ReadFluxLines(Input* in, FluidDomain* d, const char* end, const char* flux, const char* reaction, Magnitude m,
                   OwningPlex<FluidFunction>& f, OwningPlex<FluidFunction>& r) {
  for (in->ReadLine(); !in->Exist(end); in->ReadLine()) {
    f.Adopt(std::unique_ptr<FluidFunction>(in->GetFluidFunc(flux, d, m)));
    r.Adopt(std::unique_ptr<FluidFunction>(in->GetFluidFunc(reaction, d, m)));
  }
  in->ReadLine();
}

}  // namespace

FluxMesh::FluxMesh(FluidDomain* d, int num, Input* in, int slot, int read)
    : Mesh(100, 100, in, Triangle, 3),
      domain_(d),
      max_(3),
      min_(3),
      functions_(std::make_unique<FluidFuncTbl>(46, InternalUnits, d)),
      phiFlux_(1, "Phi_Flux"),
      phiReac_(1, "Phi_Reaction"),
      spcFlux_(1, "Spc_Flux"),
      spcReac_(1, "Spc_Reaction"),
      slot_(slot) {
  number_ = num;
  if (!read) return;
  name_ = in->Exist("Name") ? std::string(in->GetWord("Name", nullptr)) : "FluxBoundary_" + std::to_string(num);
  if (in->Exist("Heat_Flux")) OLVU_FATAL("Old fashioned Olvu format data file found\n");
  in->JumpLine();
  ReadFluxBlocks(in);
  in->ReadCard("InitialValuesFunctions");
  functions_->readFrom(in, "EndInitialValuesFunctions", name_.c_str());
}

FluxMesh::~FluxMesh() = default;

const char* FluxMesh::Name() { return name_.empty() ? Type() : name_.c_str(); }

int FluxMesh::AreYou(const char* text) { return strcasecmp(text, Type()) == 0 ? 1 : Mesh::AreYou(text); }

void FluxMesh::printTo(std::ostream& out) {
  out << "\n" << Type() << " " << number_ << ";\n";
  int i = 0;
  while (Elem* e = elems_->next(i)) e->PrintTo(out, 0, 0);
}

double FluxMesh::Diameter() const {
  double s = 0;
  for (unsigned c = 1; c <= 3; ++c) s += (max_(c) - min_(c)) * (max_(c) - min_(c));
  return std::sqrt(s);
}

void FluxMesh::BuildBoundaryMass() {
  NodeBox(max_, min_);
  if (massMatrix_) {
    massMatrix_->NullifyMatrix();
  } else {
    pattern_.reset(createSparseMatrixStruct(&domain_->nodes, this, slot_));
    massMatrix_ = std::make_unique<SystemSparseMatrix>(pattern_.get());
  }
  CalcBodyMatrixes(this, massMatrix_, slot_);
}

void FluxMesh::initialiseMesh() { BuildBoundaryMass(); }

void FluxMesh::Flux(int kind, ReaVec& values, ReaVec& rhs) {
  if (!functions_->exists(kind)) return;
  FluidFunction* f = functions_->FFunc(kind);
  if (functions_->isConstant(kind)) {
    const double v = f->evaluate_constant();
    if (std::fabs(v) < 1e-14) return;
    values = v;
  } else {
    int i = 0;
    while (Node* nd = nodes_->next(i)) values(unsigned(nd->num[slot_])) = f->evaluate(nd->num[slot_]);
  }
  massMatrix_->add_mult(values, rhs);
}

void FluxMesh::evalFlux(ReaVec& values, ReaVec& rhs) { Flux(int(DofType::HeatFlux), values, rhs); }

void FluxMesh::evalFluxReaction(ReaVec& values, ReaVec& rhs) { Flux(int(DofType::HeatFluxReaction), values, rhs); }

void FluxMesh::ReadFluxBlocks(Input* in) {
  FluidDomain* d = domain_;
  in->ReadLine();
  if (in->Exist("SpeciesProperties"))
    ReadFluxLines(in, d, "EndSpeciesProperties", "Flux_Spc", "Reac_Spc", Spc_Flux, spcFlux_, spcReac_);
  if (spcReac_.count < d->number_of_species())
    OLVU_FATAL("Properties of species " << d->GiveSpecies(d->SpcProblems().high)->Name() << " not found in set "
                                        << Name() << "\n");
  if (in->Exist("VariablesProperties"))
    ReadFluxLines(in, d, "EndVariablesProperties", "Flux_Phi", "Reac_Phi", Phi_Flux, phiFlux_, phiReac_);
  if (phiReac_.count < d->number_of_phivariables())
    OLVU_FATAL("Properties of species " << d->GiveVariable(d->PhiProblems().high)->Name() << " not found in set "
                                        << Name() << "\n");
  in->HoldLine();
}

void FluxMesh::AddFlux(FluidFunction* f, ReaVec& values, ReaVec& rhs) {
  if (!f->Initialised()) f->isConstant(), f->isTemporal();
  f->bind();
  int i = 0;
  while (Node* nd = nodes_->next(i)) values(unsigned(nd->num[slot_])) = f->at(nd->num[slot_]);
  massMatrix_->add_mult(values, rhs);
}

void FluxMesh::ProblemFlux(bool species, int index, ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) {
  FluidFunction* q = (species ? spcFlux_ : phiFlux_).get_at(index);
  FluidFunction* g = (species ? spcReac_ : phiReac_).get_at(index);
  if (q->isNull() && g->isNull()) return;
  AddFlux(q, w1, F);
  AddFlux(g, w2, G);
}

void FluxMesh::addBodyIntegral(const ReaVec& f, ReaVec& r) { massMatrix_->add_mult(f, r); }

void FluxMesh::subBodyIntegral(const ReaVec& f, ReaVec& r) { massMatrix_->sub_mult(f, r); }
