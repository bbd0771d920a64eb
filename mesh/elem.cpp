// Elements: creation forms, the element reader and the element line writers.
#include "mesh/elem.h"

#include <iomanip>
#include <memory>

#include "foundation/error.h"
#include "mesh/textscan.h"

namespace {

/// A node array of n unset entries (none for n <= 0).
std::unique_ptr<Node*[]> NewNodeArray(int n) {
  if (n <= 0) return nullptr;
  return std::make_unique<Node*[]>(static_cast<std::size_t>(n));
}

/// The node number written for a node: its slot-0 number, or its mesh's old number.
inline int Written(const Mesh* m, const Node* nd, int old) { return old ? m->GiveOldNumber(nd) : nd->num[0]; }

}  // namespace

Elem::Elem(Mesh* m, Elem*) : mesh_(m), nodes_(NewNodeArray(m->GiveNnode())) {}

Elem::Elem(int n, Mesh* m, Elem*) : mesh_(m), nodes_(NewNodeArray(n)) {}

Elem::Elem(Elem* e, Node* nd, Mesh* m, Elem*) : mesh_(m) {
  const int n = e->Nnode();
  nodes_ = NewNodeArray(n + 1);
  for (int i = 0; i < n; ++i) nodes_[i] = e->nodes_[i];
  nodes_[n] = nd;
}

Elem::Elem(Elem* e, Node* nd, int a, int, Mesh* m) : mesh_(m ? m : e->MyMesh()) {
  const int n = mesh_->GiveNnode(), ne = e->Nnode();
  nodes_ = NewNodeArray(n);
  for (int i = 0; i < n - 1; ++i) nodes_[i] = e->nodes_[(a + i) % ne];
  if (n > 0) nodes_[n - 1] = nd;
}

Elem::Elem(Elem* e, int face) {
  const ElemType t = e->GiveElemType();
  if (t == Linear) OLVU_FATAL("error in Elem::Elem(Elem* el,int face). Linear has no faces\n");
  if (t != Triangle && t != Tetrahedra) OLVU_FATAL("error in Elem::Elem(Elem* el,int face). Only Triang. and Tetr. allowed\n");
  const int corners = e->MinNnode();
  nodes_ = NewNodeArray(corners - 1);
  for (int i = 0; i < corners - 1; ++i) nodes_[i] = e->nodes_[(face + i) % corners];
}

Elem::Elem(int num, Mesh* m, Input*) : mesh_(m), num_(num) {}

void Elem::IncreaseNnode(int n) {
  const int old = Nnode();
  if (n <= old) return;
  std::unique_ptr<Node*[]> grown = NewNodeArray(n);
  for (int i = 0; i < old; ++i) grown[i] = nodes_[i];
  nodes_ = std::move(grown);
}

Elem::~Elem() = default;

int Elem::ReadFromAscii(std::istream& in, Plex<Node>* all, Units*) {
  int number = 0;
  switch (ScanInt(in, number)) {
    case kScanOk: break;
    case kScanNone: in.clear(); return 0;
    case kScanBad: OLVU_FATAL("Wrong element number " << RecordPlaceIn(in) << "\n");
  }
  num_ = number;
  const int nn = Nnode();
  if (!nodes_) nodes_ = NewNodeArray(nn);  // made without a node array
  for (int i = 0; i < nn; ++i) {
    int k = 0;
    if (ScanInt(in, k) != kScanOk)
      OLVU_FATAL("Wrong node number in element " << number << " " << RecordPlaceIn(in) << "\n");
    if (k < all->low || k > all->high || k < 1)
      OLVU_FATAL("Do not exist index " << k << " in Plex " << all->name << "\n");
    nodes_[i] = all->get_at(k);
  }
  if (nn == 2 && nodes_[0]->num[0] == nodes_[1]->num[0])
    OLVU_FATAL("error: Elem: " << num_ << "  have both nodes equal\n");
  return 1;
}

int Elem::ReadFromAscii(std::istream& in, Plex<Node>* all, Plex<Node>* own) {
  if (!ReadFromAscii(in, all, static_cast<Units*>(nullptr))) return 0;
  const int nn = Nnode();
  for (int i = 0; i < nn; ++i) {
    const int k = nodes_[i]->num[0];
    if (own->free(k)) own->set_at(k, nodes_[i]);
  }
  return 1;
}

void Elem::PrintTo(std::ofstream& out, int old, int) const {
  out << std::setw(5) << num_ << " : ";
  for (int i = 0, nn = Nnode(); i < nn; ++i) out << std::setw(15) << Written(mesh_, nodes_[i], old);
  out << '\n';
}

void Elem::PrintTo(std::ostream& out, int old, int) const {
  out << std::setw(5) << num_ << ' ';
  for (int i = 0, nn = Nnode(); i < nn; ++i) out << std::setw(15) << Written(mesh_, nodes_[i], old);
  out << '\n';
}

void Elem::PrintConecTo(std::ofstream& out) const {
  for (int i = 0, nn = Nnode(); i < nn; ++i) out << std::setw(15) << nodes_[i]->num[0];
  out << '\n';
}

void Elem::PrintConecTo(std::ostream& out) const {
  out << std::setw(5) << num_ << "  ";
  for (int i = 0, nn = Nnode(); i < nn; ++i) out << std::setw(15) << nodes_[i]->num[0];
  out << '\n';
}

void Elem::PrintToNeutral(std::ofstream& out) const {
  out << " -1" << std::setw(5) << num_ << std::setw(5) << mesh_->GiveFvType() << "    1    1\n";
  const int nn = Nnode();
  out << " -2";
  for (int i = 0; i < nn && i < 15; ++i) out << std::setw(15) << nodes_[i]->num[0];
  out << '\n';
  if (nn > 15) {
    for (int i = 15; i < nn; ++i) out << std::setw(5) << nodes_[i]->num[0];
    out << '\n';
  }
}

void Elem::PrintToInfo(std::ofstream& out) const { PrintToInfo(static_cast<std::ostream&>(out)); }

void Elem::PrintToInfo(std::ostream& out) const {
  out << "Element " << std::setw(5) << num_ << " of Mesh " << mesh_->Name() << "\n";
  out << "Element nodes are:\n";
  for (int i = 0, nn = Nnode(); i < nn; ++i) out << std::setw(15) << nodes_[i]->num[0];
  out << '\n';
}

double Elem::Average(const ReaVec& v, int slot) const {
  const int nc = MinNnode();
  double s = 0.0;
  for (int i = 0; i < nc; ++i) {
    const int k = nodes_[i]->num[slot];
    if (k >= 1 && static_cast<unsigned>(k) <= v.length()) s += v(k);  // unnumbered corners add nothing
  }
  return s / nc;
}

int Elem::IsInList(const BitVec& b, int slot) const {
  for (int i = 0, nc = MinNnode(); i < nc; ++i) {
    const int k = nodes_[i]->num[slot];
    if (k >= 1 && static_cast<unsigned>(k) <= b.length() && b(k)) return 1;  // unnumbered nodes are never marked
  }
  return 0;
}

std::ostream& operator<<(std::ostream& out, const Elem& e) {
  e.PrintTo(out, 0, 0);
  return out;
}
