#include "domain/interfmesh.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "foundation/error.h"
#include "input/fluidfunction.h"
#include "input/input.h"
#include "mesh/boundarymass.h"
#include "mesh/csr.h"
#include "mesh/elem.h"
#include "mesh/textscan.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

namespace {

// The first word of the next card, the stream left where it was.
std::string PeekWord(Input* in) {
  std::istream& s = *in->GiveStream();
  const auto at = s.tellg();
  // The card reader's own cut: a word in any comment ("!" or "{ ... }") is none.
  const std::string w = ReadCardWord(s);
  s.clear();
  s.seekg(at);
  return w;
}

bool StartsWith(const std::string& w, const char* key) { return strncasecmp(w.c_str(), key, std::strlen(key)) == 0; }

}  // namespace

InterfMesh::InterfMesh(int num, Input* in, FluidDomain* fluid, FluidDomain* solid)
    : Mesh(100, 100, in, Linear, 2), fluid_(fluid), solid_(solid), max_(3), min_(3) {
  number_ = num;
  if (!fluid || !solid) OLVU_FATAL("Interface set " << num << " needs both a fluid and a solid domain\n");
  name_ = in->Exist("Name") ? std::string(in->GetWord("Name", nullptr)) : "Interface_" + std::to_string(num);
  if (in->Exist("Rest_Tem")) {
    // The contact conductance: heat per unit area and unit temperature difference.
    thermal_[0].reset(in->GetFluidFunc("Rest_Tem", fluid, HeatFluxReaction));
    thermal_[1].reset(in->GetFluidFunc("Rest_Tem", solid, HeatFluxReaction));
  }
  // The rest of the set card is the element description.
  in->JumpLine();
  ReadBlock(in, "SpeciesProperties", "Rest_Spc", Spc_Flux, species_);
  ReadBlock(in, "VariablesProperties", "Rest_Phi", Phi_Flux, phi_);
  bool any = IsTempInterface();
  for (const auto& f : species_[0]) any = any || f;
  for (const auto& f : phi_[0]) any = any || f;
  if (!any) OLVU_FATAL("No data found for interface " << name_ << ". Set contacts On.\n");
  max_ = 0.0;
  min_ = 0.0;
}

bool InterfMesh::ReadBlock(Input* in, const char* block, const char* word, Magnitude m,
                           std::vector<std::unique_ptr<FluidFunction>>* t) {
  // Elements follow the set card directly when no block is given: look before reading a card.
  if (!StartsWith(PeekWord(in), block)) return false;
  in->ReadCard(block);
  const std::string end = std::string("End") + block;
  for (;;) {
    in->ReadLine();
    if (in->Exist(end.c_str())) return true;
    if (in->Exist("Off")) {
      t[0].emplace_back(), t[1].emplace_back();
      in->JumpLine();
      continue;
    }
    t[0].emplace_back(in->GetFluidFunc(word, fluid_, m));
    t[1].emplace_back(in->GetFluidFunc(word, solid_, m));
  }
}

// The set's elements, which its reader made, are its own.
InterfMesh::~InterfMesh() { DeleteEntries(*elems_); }

int InterfMesh::AreYou(const char* text) { return strcasecmp(text, Type()) == 0 ? 1 : Mesh::AreYou(text); }

void InterfMesh::printTo(std::ostream& out) {
  out << "\nInterfMesh " << number_ << ";\n";
  int i = 0;
  while (Elem* e = giveNextElm(i)) out << *e;
}

void InterfMesh::initialiseMesh() {
  nodeCount_ = nodes_->count;
  int i = 0;
  Node* first = nodes_->next(i);
  if (!first) first = nodes_->get_at(1);  // an empty set ends with the table's own message
  for (unsigned c = 1; c <= 3; ++c) max_(c) = min_(c) = (*first)(c);
  fluidNum_.resize(unsigned(nodeCount_), 0);
  solidNum_.resize(unsigned(nodeCount_), 0);
  i = 0;
  unsigned k = 0;
  while (Node* nd = nodes_->next(i)) {
    for (unsigned c = 1; c <= 3; ++c) {
      if ((*nd)(c) > max_(c)) max_(c) = (*nd)(c);
      if ((*nd)(c) < min_(c)) min_(c) = (*nd)(c);
    }
    if (nd->num[1] <= 0)
      OLVU_FATAL("Interface set " << number_ << ": node " << nd->num[0] << " is not a node of the fluid domain\n");
    if (nd->num[2] <= 0)
      OLVU_FATAL("Interface set " << number_ << ": node " << nd->num[0] << " is not a node of the solid domain\n");
    fluidNum_(++k) = nd->num[1];
    solidNum_(k) = nd->num[2];
  }
  FluidDomain* side[2] = {fluid_, solid_};
  if (!mass_[0])
    for (int s = 0; s < 2; ++s) {
      pattern_[s].reset(createSparseMatrixStruct(&side[s]->nodes, this, s + 1));
      mass_[s] = std::make_unique<SystemSparseMatrix>(pattern_[s].get());
    }
  for (int s = 0; s < 2; ++s) {
    mass_[s]->NullifyMatrix();
    CalcBodyMatrixes(this, mass_[s].get(), s + 1);
  }
  // Contact area per node: the fluid-side row sums.
  area_.resize(unsigned(nodeCount_), 0.0);
  for (unsigned j = 1; j <= unsigned(nodeCount_); ++j) {
    const int r = fluidNum_(j) - 1;
    const double* v = mass_[0]->val_vec(r);
    double s = 0;
    for (int q = 0; q < mass_[0]->row_size(r); ++q) s += v[q];
    area_(j) = s;
  }
  fluid_->AddInterface(this);
  solid_->AddInterface(this);
}

void InterfMesh::FluxReaction(int side, ReaVec& work, ReaVec& out, int kind, int index) {
  FluidFunction* f = nullptr;
  if (kind == 1) f = thermal_[side].get();
  else if (kind == 2 && Has(species_[side], index)) f = species_[side][std::size_t(index - 1)].get();
  else if (kind == 3 && Has(phi_[side], index)) f = phi_[side][std::size_t(index - 1)].get();
  if (!f || f->isNull()) return;
  if (f->isConstant()) {
    const double v = f->evaluate_constant();
    if (std::fabs(v) < 1e-14) return;
    work = v;
  } else {
    const IntVec& num = side == 0 ? fluidNum_ : solidNum_;
    f->bind();
    for (unsigned j = 1; j <= num.length(); ++j) work(unsigned(num(j))) = f->at(num(j));
  }
  mass_[side]->add_mult(work, out);
}

void InterfMesh::solveFluidFluxReaction(ReaVec& work, ReaVec& out, int kind, int index) {
  FluxReaction(0, work, out, kind, index);
}

void InterfMesh::solveSolidFluxReaction(ReaVec& work, ReaVec& out, int kind, int index) {
  FluxReaction(1, work, out, kind, index);
}

void InterfMesh::communicateReaVec(ReaVec& fluid, ReaVec& solid) {
  for (unsigned j = 1; j <= fluidNum_.length(); ++j) {
    const unsigned a = unsigned(fluidNum_(j)), b = unsigned(solidNum_(j));
    const double x = fluid(a);
    fluid(a) = x + solid(b);
    solid(b) = x + solid(b);
  }
}

void InterfMesh::HeatExchange(FluidDomain* d, SystemSparseMatrix* A, ReaVec& b) {
  const int side = d == fluid_ ? 0 : 1;
  FluidFunction* R = thermal_[side].get();
  ReaVec& other = (side == 0 ? solid_ : fluid_)->Var(Temp);
  if (!R || other.length() == 0 || R->isNull()) return;
  const IntVec& mine = side == 0 ? fluidNum_ : solidNum_;
  const IntVec& theirs = side == 0 ? solidNum_ : fluidNum_;
  const bool constant = R->isConstant();
  const double r0 = constant ? R->evaluate_constant() : 0;
  if (!constant) R->bind();
  for (unsigned j = 1; j <= mine.length(); ++j) {
    const int a = mine(j);
    const double h = (constant ? r0 : R->at(a)) * area_(j);
    A->diag(a - 1) += h;
    b(unsigned(a)) += h * other(unsigned(theirs(j)));
  }
}

void FluidDomain::AddInterface(InterfMesh* m) {
  if (std::find(interfaces_.begin(), interfaces_.end(), m) == interfaces_.end()) interfaces_.push_back(m);
}
