// Editing operations of element sets: adding elements, nodes and sets, unique edges,
// renumbering, node-count changes, clearing, and filling a point octree.
#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_map>
#include <vector>

#include "foundation/error.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/octtree.h"
#include "mesh/utilities.h"

namespace {

/// Refuses to merge sets of another dimension, node count or element type.
void CheckSameKind(const Mesh* a, const Mesh* b, const char* op) {
  if (a->GiveNdime() != b->GiveNdime() || a->GiveNnode() != b->GiveNnode() || a->GiveElemType() != b->GiveElemType())
    OLVU_FATAL("error in Mesh::" << op << ". Mesh are different\n");
}

void CheckTwoNodes(const Mesh* b, const char* op) {
  if (b->GiveNnode() != 2) OLVU_FATAL("error in Mesh::" << op << ". Only implemented Nnode=2\n");
}

/// The set's nodes in table order.
std::vector<Node*> NodesOf(Mesh* m) {
  std::vector<Node*> v;
  int i = 0;
  for (Node* nd = m->giveNextNode(i); nd; nd = m->giveNextNode(i)) v.push_back(nd);
  return v;
}

/// The node of the list farthest from the list's centroid (the first of equal ones).
Node* FarthestFromCentroid(const std::vector<Node*>& nodes) {
  double c[3] = {0, 0, 0};
  for (Node* nd : nodes)
    for (int k = 0; k < 3; ++k) c[k] += (*nd)[k] / nodes.size();
  Node* far = nullptr;
  double best = -1;
  for (Node* nd : nodes) {
    double d = 0;
    for (int k = 0; k < 3; ++k) d += ((*nd)[k] - c[k]) * ((*nd)[k] - c[k]);
    if (d > best) best = d, far = nd;
  }
  return far;
}

/// Sample-point weights of the element types, one row per point.
struct Samples {
  int points = 0, nodes = 0;
  double w[6][8] = {};
};

Samples SampleWeights(ElemType t) {
  Samples s;
  auto rotations = [&](int n, double a, double b) {
    s.points = s.nodes = n;
    for (int r = 0; r < n; ++r)
      for (int k = 0; k < n; ++k) s.w[r][k] = k == r ? a : b;
  };
  switch (t) {
    case Linear: s = {2, 2, {{0.75, 0.25}, {0.25, 0.75}}}; break;
    case Triangle: rotations(3, 0.6, 0.2); break;
    case Quadrilateral:
    case Tetrahedra: rotations(4, 0.55, 0.15); break;
    case Hexahedra:
    case Prisma: {
      const bool hex = t == Hexahedra;
      const int half = hex ? 4 : 3;
      const double side = hex ? 0.29 : 0.3, other = hex ? 0.07 : 0.1, cap = hex ? 0.18 : 0.23;
      s.points = half + 2, s.nodes = 2 * half;
      for (int i = 0; i < half; ++i)
        for (int k = 0; k < 2 * half; ++k) s.w[i][k] = (k == i || k == i + half) ? side : other;
      for (int k = 0; k < 2 * half; ++k) {
        s.w[half][k] = k < half ? cap : other;
        s.w[half + 1][k] = k < half ? other : cap;
      }
      break;
    }
    default: OLVU_FATAL("ElemType " << t << " not implemented\n");
  }
  return s;
}

/// Empties a table entry by entry, so that its count follows; deletes the items when asked.
template <class T>
void EmptyTable(Plex<T>* table, bool destroy) {
  int i = 0;
  for (T* x = table->next(i); x; x = table->next(i)) {
    table->remove_at(i);
    if (destroy) delete x;
  }
}

}  // namespace

int Mesh::AddElemtoPlex(Elem* e) {
  if (e->Num() != 0) elems_->get_at(e->Num());
  const int n = elems_->high + 1;
  elems_->set_at(n, e);
  e->NewMesh(this);
  return n;
}

int Mesh::AddPtstoPlex(Node* nd) {
  if (nd->num[0] != 0) {
    nodes_->get_at(nd->num[0]);
    return nd->num[0];
  }
  const int n = nodes_->high + 1;
  nodes_->set_at(n, nd);
  nd->num[0] = n;
  return n;
}

void Mesh::AddMesh(Mesh* other) {
  CheckSameKind(this, other, "AddMesh");
  for (Node* nd : NodesOf(other)) addNode(nd);
  int i = 0;
  for (Elem* e = other->giveNextElm(i); e; e = other->giveNextElm(i)) {
    e->NewNum(0);  // its number belonged to the other set
    e->NewNum(AddElemtoPlex(e));
  }
  EmptyTable(other->GiveElemPlex(), false);
}

namespace {

/// New elements in `to` over the copies (or the nodes themselves) of the other set's element
/// nodes, with the first two nodes exchanged when `reverse`.
void AddNewElements(Mesh* to, Mesh* other, const std::unordered_map<Node*, Node*>* copy, bool reverse) {
  int i = 0;
  for (Elem* e = other->giveNextElm(i); e; e = other->giveNextElm(i)) {
    Elem* ne = new Elem(to);
    for (int k = 0; k < to->GiveNnode(); ++k) (*ne)[k] = copy ? copy->at((*e)[k]) : (*e)[k];
    if (reverse) std::swap((*ne)[0], (*ne)[1]);
    ne->NewNum(to->AddElemtoPlex(ne));
  }
}

/// Copies of the other set's nodes, stored in `to` under new numbers.
std::unordered_map<Node*, Node*> CopyNodes(Mesh* to, Mesh* other) {
  std::unordered_map<Node*, Node*> copy;
  for (Node* nd : NodesOf(other)) {
    Node* c = new Node(nd->length());
    for (unsigned k = 0; k < nd->length(); ++k) (*c)[k] = (*nd)[k];
    to->AddPtstoPlex(c);
    copy[nd] = c;
  }
  return copy;
}

}  // namespace

void Mesh::AddMeshAllNew(Mesh* other) {
  CheckSameKind(this, other, "AddMeshAllNew");
  const auto copy = CopyNodes(this, other);
  AddNewElements(this, other, &copy, false);
}

void Mesh::AddMeshAllNewReverse(Mesh* other) {
  CheckSameKind(this, other, "AddMeshAllNewReverse");
  CheckTwoNodes(other, "AddMeshAllNewReverse");
  const auto copy = CopyNodes(this, other);
  AddNewElements(this, other, &copy, true);
}

void Mesh::AddMeshNewReverseElms(Mesh* other) {
  CheckSameKind(this, other, "AddMeshNewReverseElms");
  CheckTwoNodes(other, "AddMeshNewReverseElms");
  for (Node* nd : NodesOf(other)) addNode(nd);
  AddNewElements(this, other, nullptr, true);
}

int Mesh::CompareEdgePointers(const void* a, const void* b) {
  const MeshEdge& x = *static_cast<const MeshEdge*>(a);
  const MeshEdge& y = *static_cast<const MeshEdge*>(b);
  if (x.first != y.first) return NodeBefore(x.first, y.first) ? -1 : 1;
  if (x.second != y.second) return NodeBefore(x.second, y.second) ? -1 : 1;
  return 0;
}

// No caller: a qsort of node pointers (RenumberNodes sorts by distance itself) would take it.
int Mesh::CompareNodePointers(const void* a, const void* b) {
  const Node* x = *static_cast<Node* const*>(a);
  const Node* y = *static_cast<Node* const*>(b);
  if (x == y) return 0;
  if (!x || !y) return x ? -1 : 1;  // absent entries last
  return NodeBefore(x, y) ? -1 : 1;
}

void Mesh::CalcEdges() {
  static const int line[][2] = {{0, 1}};
  static const int tri[][2] = {{0, 1}, {1, 2}, {2, 0}};
  static const int quad[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
  static const int tet[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 2}, {1, 3}};
  static const int hex[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                               {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  const int (*pairs)[2] = nullptr;
  int per = 0;
  switch (type_) {
    case Linear: pairs = line, per = 1; break;
    case Triangle: pairs = tri, per = 3; break;
    case Quadrilateral: pairs = quad, per = 4; break;
    case Tetrahedra: pairs = tet, per = 6; break;
    case Hexahedra: pairs = hex, per = 12; break;
    default: OLVU_FATAL("error in Mesh::CalcEdges. Mesh not correctly defined\n");
  }
  std::vector<MeshEdge> all;
  all.reserve(static_cast<size_t>(per) * NOfElems());
  int i = 0;
  for (Elem* e = giveNextElm(i); e; e = giveNextElm(i))
    for (int k = 0; k < per; ++k) {
      Node *a = (*e)[pairs[k][0]], *b = (*e)[pairs[k][1]];
      if (NodeBefore(b, a)) std::swap(a, b);
      all.push_back({a, b});
    }
  std::sort(all.begin(), all.end(), [](const MeshEdge& x, const MeshEdge& y) { return CompareEdgePointers(&x, &y) < 0; });
  all.erase(std::unique(all.begin(), all.end(), [](const MeshEdge& x, const MeshEdge& y) { return CompareEdgePointers(&x, &y) == 0; }), all.end());
  nedges_ = static_cast<int>(all.size());
  edges_ = nedges_ ? std::make_unique<MeshEdge[]>(nedges_) : nullptr;
  std::copy(all.begin(), all.end(), edges_.get());
}

namespace {

/// Stores the nodes of an own node table again under their present numbers.
void Rekey(Plex<Node>* table, const std::vector<Node*>& nodes) {
  table->clear();
  for (Node* nd : nodes) table->set_at(nd->num[0], nd);
}

}  // namespace

void Mesh::RenumberNodes() {
  std::vector<Node*> nodes = NodesOf(this);
  const int n = static_cast<int>(nodes.size());
  if (n == 0) return;
  if (!oldnum_) oldnum_ = std::make_unique<int[]>(n);
  const Node* far = FarthestFromCentroid(nodes);
  std::vector<double> d(n);
  std::vector<int> order(n);
  for (int k = 0; k < n; ++k) d[k] = dist2(nodes[k], far), order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return d[a] < d[b]; });
  for (int k = 0; k < n; ++k) {
    Node* nd = nodes[order[k]];
    oldnum_[k] = nd->num[0];
    nd->num[0] = k + 1;
  }
  if (!borrowed_) Rekey(nodes_, nodes);
}

void Mesh::RenumberNodes2() {
  std::vector<Node*> nodes = NodesOf(this);
  const int n = static_cast<int>(nodes.size());
  if (n == 0) return;
  // Numbers are exchanged within the set, so they must run 1..n.
  std::vector<Node*> holder(n + 1, nullptr);
  for (Node* nd : nodes) {
    if (nd->num[0] < 1 || nd->num[0] > n || holder[nd->num[0]])
      OLVU_FATAL("error in Mesh::RenumberNodes2. Nodes must be numbered 1 to " << n << "\n");
    holder[nd->num[0]] = nd;
  }
  std::unordered_map<const Node*, std::vector<Elem*>> around;
  int i = 0;
  for (Elem* e = giveNextElm(i); e; e = giveNextElm(i))
    for (int k = 0; k < nnode_; ++k) {
      auto& list = around[(*e)[k]];
      if (list.size() == 25)
        OLVU_FATAL("error: Node " << (*e)[k]->num[0] << " has too many elements around (more than " << 25 << ")\n");
      list.push_back(e);
    }
  const Node* far = FarthestFromCentroid(nodes);
  if (!oldnum_) {
    oldnum_ = std::make_unique<int[]>(n);
    for (int k = 0; k < n; ++k) oldnum_[k] = k + 1;
  }
  std::unordered_map<const Elem*, bool> marked;
  std::deque<Elem*> queue;
  int next = 1;
  auto sweep = [&](Elem* start) {
    marked[start] = true;
    queue.push_back(start);
    while (!queue.empty()) {
      Elem* e = queue.front();
      queue.pop_front();
      for (int k = 0; k < nnode_; ++k) {
        Node* nd = (*e)[k];
        const int v = nd->num[0];
        if (next < v) {
          Node* other = holder[next];
          std::swap(oldnum_[v - 1], oldnum_[next - 1]);
          other->num[0] = v, holder[v] = other;
          nd->num[0] = next, holder[next] = nd;
          ++next;
        } else if (next == v) {
          ++next;  // already in place
        }
      }
      for (int k = 0; k < nnode_; ++k)
        for (Elem* x : around[(*e)[k]])
          if (!marked[x]) marked[x] = true, queue.push_back(x);
    }
  };
  auto it = around.find(far);
  if (it != around.end()) sweep(it->second.front());
  i = 0;
  for (Elem* e = giveNextElm(i); e; e = giveNextElm(i))
    if (!marked[e]) sweep(e);
  if (!borrowed_) Rekey(nodes_, nodes);
}

void Mesh::ConvertToNewNnode(int n) {
  if (n == nnode_) return;
  if (n > nnode_) {
    int i = 0;
    for (Elem* e = giveNextElm(i); e; e = giveNextElm(i)) e->IncreaseNnode(n);
  }
  nnode_ = n;
  order_ = CalcElemOrder(type_, n);
  edges_.reset();
  nedges_ = 0;
  CalcShapeGaussNeutral();
}

void Mesh::ClearAllElems() {
  EmptyTable(elems_.get(), true);
}

void Mesh::ClearAllNodes() {
  EmptyTable(nodes_, true);
}

void Mesh::FillOctTree(OctTree& tree, int mode) {
  if (mode == 1) {
    int i = 0;
    for (Node* nd = giveNextNode(i); nd; nd = giveNextNode(i)) {
      ReaVecContainer* h = new ReaVecContainer(nd);
      if (tree.EnterPoint(h, 1) == -1) delete h;
    }
    return;
  }
  const Samples s = SampleWeights(type_);
  int i = 0;
  for (Elem* e = giveNextElm(i); e; e = giveNextElm(i))
    for (int r = 0; r < s.points; ++r) {
      ReaVec* p = new ReaVec(3, 0.0);
      for (int k = 0; k < s.nodes; ++k)
        for (int a = 0; a < 3; ++a) (*p)[a] += s.w[r][k] * (*(*e)[k])[a];
      ReaVecContainer* h = new ReaVecContainer(p, e, true);
      if (tree.EnterPoint(h, 1) == -1) delete h;
    }
}
