// Node-to-node graphs of element sets, built by the same node graph as the sparsity patterns.
#include "mesh/utilities.h"

#include "mesh/csr.h"

CSR<int>* createNodesToNodes(Plex<Node>& nodes, Plex<Mesh>& meshes, int slot) {
  const int n = nodes.count;
  if (n == 0) return nullptr;
  NodeRowRule rule;
  rule.slot = slot;
  return buildNodeGraph(meshes, n, rule, false);
}

CSR<int>* createNodesToNodes(Plex<Node>* nodes, Mesh* mesh, int slot) {
  return WithMeshTable(mesh, [&](Plex<Mesh>& one) { return createNodesToNodes(*nodes, one, slot); });
}

CSR<int>* createNodesToNodes(Plex<Mesh>& meshes, int slot) {
  return WithGatheredNodes(meshes, [&](Plex<Node>& all) { return createNodesToNodes(all, meshes, slot); });
}

CSR<int>* createNodesToNodes(Mesh* mesh, IntVec map, int slot) {
  const int n = mesh->NOfNodes();
  if (n == 0) return nullptr;
  NodeRowRule rule;
  rule.slot = slot;
  rule.map = &map;
  return WithMeshTable(mesh, [&](Plex<Mesh>& one) { return buildNodeGraph(one, n, rule, false); });
}

// ---------------------------------------------------------------------------
// Boundary orientation, rim edges, waterplane data, boundary nodes and faces.

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "mesh/elem.h"
#include "solvers/sparsematrix.h"

const int FaceDescriptorTrian[3][3] = {{1, 2, 0}, {2, 3, 0}, {3, 1, 0}};
const int FaceDescriptorQuad[4][4] = {{1, 2, 0, 0}, {2, 3, 0, 0}, {3, 4, 0, 0}, {4, 1, 0, 0}};
const int FaceDescriptorTetra[4][6] = {
    {1, 2, 3, 5, 6, 7}, {2, 4, 3, 9, 10, 6}, {3, 4, 1, 10, 8, 7}, {4, 2, 1, 9, 5, 8}};
const int FaceDescriptorHexa[6][9] = {
    {1, 2, 3, 4, 9, 10, 11, 12, 21},  {1, 4, 8, 5, 12, 16, 20, 13, 25}, {1, 5, 6, 2, 13, 17, 14, 9, 22},
    {2, 6, 7, 3, 14, 18, 15, 10, 23}, {3, 7, 8, 4, 15, 19, 16, 11, 24}, {5, 8, 7, 6, 20, 19, 18, 17, 26}};

bool NodeBefore(const Node* a, const Node* b) {
  if (a->num[0] != b->num[0]) return a->num[0] < b->num[0];
  return std::less<const Node*>()(a, b);
}

namespace {

/// Rotates n corners cyclically so that the least one stands first.
void CurlOrder(Node** c, int n) {
  int least = 0;
  for (int k = 1; k < n; ++k)
    if (NodeBefore(c[k], c[least])) least = k;
  std::rotate(c, c + least, c + n);
}

/// Corner count of a boundary element's shape; other shapes end the run.
int BoundaryCorners(ElemType t) {
  switch (t) {
    case Linear: return 2;
    case Triangle: return 3;
    case Quadrilateral: return 4;
    default: OLVU_FATAL("CheckTriangleOrientation error: Wrong Boundary Type");
  }
}

/// 1 when one of the faces of volume element e (corner entries of `desc`, ncorner of them)
/// runs like the normalised corners c of a boundary element with nb corners.
template <int NF, int NE>
int MatchesFace(const Elem* e, const int (&desc)[NF][NE], int ncorner, Node* const* c, int nb) {
  if (nb != ncorner) return -1;  // a face of another corner count never lies on this element
  for (const auto& face : desc) {
    Node* f[4];
    for (int k = 0; k < ncorner; ++k) f[k] = e->nodesArray()[face[k] - 1];
    CurlOrder(f, ncorner);
    if (std::equal(f, f + ncorner, c)) return 1;
  }
  return 0;
}

}  // namespace

void CurlOrder3(Node** c) { CurlOrder(c, 3); }
void CurlOrder4(Node** c) { CurlOrder(c, 4); }

int NodeLink::Has(int k) const {
  auto it = std::lower_bound(elements.begin(), elements.end(), k,
                             [](const std::pair<int, Elem*>& p, int key) { return p.first < key; });
  return it != elements.end() && it->first == k;
}

void CheckOrientation(Plex<NodeLink>* links, Plex<Elem>* elems) {
  int ie = 0;
  for (Elem* b = elems->next(ie); b; b = elems->next(ie)) {
    const int nb = BoundaryCorners(b->GiveElemType());
    Node* c[4];
    const NodeLink* link[4];
    for (int k = 0; k < nb; ++k) c[k] = b->nodesArray()[k];
    if (nb > 2) CurlOrder(c, nb);
    for (int k = 0; k < nb; ++k) link[k] = links->get_at(c[k]->num[0]);

    // The one volume element holding every corner; two holders mean an interior face.
    Elem* candidate = nullptr;
    int holders = 0;
    for (const auto& [key, e] : link[0]->elements) {
      bool all = true;
      for (int k = 1; k < nb && all; ++k) all = link[k]->Has(key);
      if (all) candidate = (++holders % 2) ? e : nullptr;
    }
    if (!candidate) continue;

    int match = 0;
    switch (candidate->GiveElemType()) {
      case Triangle:
      case Quadrilateral: {
        const int nf = candidate->GiveElemType() == Triangle ? 3 : 4;
        Node* const* v = candidate->nodesArray();
        for (int f = 0; f < nf && !match; ++f) {
          const int a = nf == 3 ? FaceDescriptorTrian[f][0] : FaceDescriptorQuad[f][0];
          const int z = nf == 3 ? FaceDescriptorTrian[f][1] : FaceDescriptorQuad[f][1];
          match = v[a - 1] == b->nodesArray()[0] && v[z - 1] == b->nodesArray()[1];
        }
        break;
      }
      case Tetrahedra: match = MatchesFace(candidate, FaceDescriptorTetra, 3, c, nb); break;
      case Hexahedra: match = MatchesFace(candidate, FaceDescriptorHexa, 4, c, nb); break;
      default: OLVU_FATAL("CheckTriangleOrientation error: Wrong Solid Type");
    }
    if (match == 0) b->Rotate2D();
  }
}

void CheckBodyOrientation(Plex<Mesh>* volumes, Plex<Mesh>* boundaries, int) {
  CheckBodyOrientation(MeshList(volumes), MeshList(boundaries));
}

void CheckBodyOrientation(const std::vector<Mesh*>& volumes, const std::vector<Mesh*>& boundaries) {
  std::vector<std::unique_ptr<NodeLink>> owned;  // the table below only looks them up
  Plex<NodeLink> links(100, "Nodes in CheckBodyOrientation");
  for (Mesh* m : boundaries) {
    int in = 0;
    for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in))
      if (links.free(nd->num[0])) {
        owned.push_back(std::make_unique<NodeLink>(NodeLink{nd, {}}));
        links.set_at(nd->num[0], owned.back().get());
      }
  }
  int key = 0;
  for (Mesh* m : volumes) {
    const int corners = m->GiveMinNnode();
    int ie = 0;
    for (Elem* e = m->giveNextElm(ie); e; e = m->giveNextElm(ie)) {
      ++key;
      for (int k = 0; k < corners; ++k) {
        const int n = e->Num0(k, 0);
        if (!links.free(n)) links.get_at(n)->elements.emplace_back(key, e);
      }
    }
  }
  for (Mesh* m : boundaries) CheckOrientation(&links, m->GiveElemPlex());
}

namespace {

/// Positions (0-based) of the nodes along the perimeter of an element: corners with the mid-side
/// nodes between them for quadratic triangles, quadrilaterals and lines; else the node list.
int PerimeterOrder(const Elem* e, int* order) {
  static const int tri6[] = {0, 3, 1, 4, 2, 5};
  static const int quad8[] = {0, 4, 1, 5, 2, 6, 3, 7};
  static const int line3[] = {0, 2, 1};
  const int* p = nullptr;
  int n = e->Nnode();
  switch (e->GiveElemOrder()) {
    case Triangle6: p = tri6, n = 6; break;
    case Quadrilateral8:
    case Quadrilateral9: p = quad8, n = 8; break;
    case Linear3: p = line3, n = 3; break;
    default: break;
  }
  for (int k = 0; k < n; ++k) order[k] = p ? p[k] : k;
  return n;
}

Node* Lesser(Node* a, Node* b) { return NodeBefore(a, b) ? a : b; }
Node* Greater(Node* a, Node* b) { return NodeBefore(a, b) ? b : a; }

int Cmp(const Node* a, const Node* b) { return a == b ? 0 : (NodeBefore(a, b) ? -1 : 1); }

/// Every perimeter edge of every element, in the element's direction.
std::vector<BEdge2> AllEdges(Plex<Elem>* elems) {
  std::vector<BEdge2> all;
  int order[27];
  int ie = 0;
  for (Elem* e = elems->next(ie); e; e = elems->next(ie)) {
    const int n = PerimeterOrder(e, order);
    for (int j = 0; j < n; ++j) all.push_back({e, (*e)[order[j]], (*e)[order[(j + 1) % n]]});
  }
  return all;
}

/// Drops every pair of neighbouring equal records of a sorted list; the rest are boundary records,
/// copied into a new array stored through `out` (null when none). Returns their count.
template <class R, class Same>
int KeepUnpaired(const std::vector<R>& sorted, R** out, Same same) {
  std::vector<R> kept;
  const size_t n = sorted.size();
  for (size_t i = 0; i < n; ++i) {
    if (i + 1 < n && same(sorted[i], sorted[i + 1])) {
      ++i;
      continue;
    }
    kept.push_back(sorted[i]);
  }
  *out = nullptr;
  if (!kept.empty()) {
    *out = new R[kept.size()];
    std::copy(kept.begin(), kept.end(), *out);
  }
  return static_cast<int>(kept.size());
}

int CompareUnordered(const BEdge2& a, const BEdge2& b) {
  if (int c = Cmp(Lesser(a.n1, a.n2), Lesser(b.n1, b.n2))) return c;
  return Cmp(Greater(a.n1, a.n2), Greater(b.n1, b.n2));
}

int CompareOrdered(const BEdge2& a, const BEdge2& b) {
  if (int c = Cmp(a.n1, b.n1)) return c;
  return Cmp(a.n2, b.n2);
}

/// The corners that identify a face after its first corner: the unordered pair of the second and
/// third of a triangle; the third corner and the unordered pair of the second and fourth of a
/// quadrilateral (neighbouring elements list a shared face in opposite senses).
void FaceKey(const BEdge3& f, const Node* key[3]) {
  if (f.ncorner == 3) {
    key[0] = Lesser(f.n[1], f.n[2]), key[1] = Greater(f.n[1], f.n[2]), key[2] = nullptr;
  } else {
    key[0] = f.n[2], key[1] = Lesser(f.n[1], f.n[3]), key[2] = Greater(f.n[1], f.n[3]);
  }
}

int CompareFaces(const BEdge3& a, const BEdge3& b) {
  if (int c = Cmp(a.n[0], b.n[0])) return c;
  if (a.ncorner != b.ncorner) return a.ncorner < b.ncorner ? -1 : 1;
  const Node *ka[3], *kb[3];
  FaceKey(a, ka);
  FaceKey(b, kb);
  for (int k = 0; k < 3; ++k)
    if (ka[k] != kb[k]) return Cmp(ka[k], kb[k]);
  return 0;
}

int BoundaryEdges(Plex<Elem>* elems, BEdge2** edges, bool lesserFirst) {
  std::vector<BEdge2> all = AllEdges(elems);
  if (lesserFirst)
    for (BEdge2& e : all)
      if (NodeBefore(e.n2, e.n1)) std::swap(e.n1, e.n2);
  auto cmp = lesserFirst ? CompareOrdered : CompareUnordered;
  std::stable_sort(all.begin(), all.end(), [&](const BEdge2& a, const BEdge2& b) { return cmp(a, b) < 0; });
  return KeepUnpaired(all, edges, [&](const BEdge2& a, const BEdge2& b) { return cmp(a, b) == 0; });
}

}  // namespace

// No caller: a qsort of boundary-edge records by their unordered nodes would take it.
int CompareBoundaryEdgePointers2_(const void* a, const void* b) {
  return CompareUnordered(*static_cast<const BEdge2*>(a), *static_cast<const BEdge2*>(b));
}

int CompareBoundaryEdgePointers2(const void* a, const void* b) {
  return CompareOrdered(*static_cast<const BEdge2*>(a), *static_cast<const BEdge2*>(b));
}

int CompareBoundaryEdgePointers3(const void* a, const void* b) {
  return CompareFaces(*static_cast<const BEdge3*>(a), *static_cast<const BEdge3*>(b));
}

int CalcBoundaryEdges2_(Plex<Elem>* elems, BEdge2** edges, int) { return BoundaryEdges(elems, edges, false); }

int CalcBoundaryEdges2(Plex<Elem>* elems, BEdge2** edges, int) { return BoundaryEdges(elems, edges, true); }

void CalcBoundaryEdges2(Plex<Elem>* elems, BitVec& marks) {
  BEdge2* edges = nullptr;
  const int n = CalcBoundaryEdges2(elems, &edges, 0);
  const std::unique_ptr<BEdge2[]> own(edges);
  for (int k = 0; k < n; ++k) {
    marks.bound_mark(edges[k].n1->num[0]);
    marks.bound_mark(edges[k].n2->num[0]);
  }
}

void CalculataShipSATData(Plex<Elem>* elems, ReaVec* ref, ReaVec* res) {
  BEdge2* edges = nullptr;
  const int n = CalcBoundaryEdges2_(elems, &edges, 0);
  const std::unique_ptr<BEdge2[]> own(edges);
  const double cx = ref->length() > 0 ? (*ref)(1) : 0, cy = ref->length() > 1 ? (*ref)(2) : 0;
  double area = 0, ix = 0, iy = 0;
  for (int k = 0; k < n; ++k) {
    const Node& p = *edges[k].n1;
    const Node& q = *edges[k].n2;
    const double xm = (p[0] + q[0]) / 2 - cx, ym = (p[1] + q[1]) / 2 - cy;
    const double a = (q[0] - p[0]) * ym;
    area += a;
    ix += (p[1] - q[1]) * xm * ym * ym;
    iy += a * xm * xm;
  }
  if (res->length() < 3) res->resize(3, 0.0);
  (*res)(1) = std::fabs(area);
  (*res)(2) = std::fabs(ix);
  (*res)(3) = std::fabs(iy);
}

int CalcBoundaryEdges3(Plex<Elem>* elems, BEdge3** faces, int) {
  std::vector<BEdge3> all;
  int ie = 0;
  for (Elem* e = elems->next(ie); e; e = elems->next(ie)) {
    auto add = [&](const int* corners, int nc) {
      BEdge3 f;
      f.elem = e;
      f.ncorner = nc;
      for (int k = 0; k < nc; ++k) f.n[k] = (*e)[corners[k] - 1];
      CurlOrder(f.n, nc);
      all.push_back(f);
    };
    if (e->GiveElemType() == Tetrahedra)
      for (const auto& face : FaceDescriptorTetra) add(face, 3);
    else if (e->GiveElemType() == Hexahedra)
      for (const auto& face : FaceDescriptorHexa) add(face, 4);
  }
  std::stable_sort(all.begin(), all.end(), [](const BEdge3& a, const BEdge3& b) { return CompareFaces(a, b) < 0; });
  return KeepUnpaired(all, faces, [](const BEdge3& a, const BEdge3& b) { return CompareFaces(a, b) == 0; });
}

void CalcBoundaryEdges3(Plex<Elem>* elems, BitVec& marks) {
  BEdge3* faces = nullptr;
  const int n = CalcBoundaryEdges3(elems, &faces, 0);
  const std::unique_ptr<BEdge3[]> own(faces);
  for (int k = 0; k < n; ++k)
    for (int c = 0; c < faces[k].ncorner; ++c) marks.bound_mark(faces[k].n[c]->num[0]);
}

void CalcBoundaryNodes(SparseMatrix* a, Plex<Node>& nodes, IntVec& map, BitVec& out) {
  const int n = a->dim(0);
  std::vector<double> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    const Node& nd = *nodes.get_at(map[i]);
    x[i] = nd[0] + nd[1] + nd[2];
  }
  a->mult(x.data(), y.data());
  double top = 0;
  for (double& v : y) top = std::max(top, v = std::fabs(v));
  const double tol = 1e-10 * top;
  for (int i = 0; i < n; ++i) {
    if (y[i] > tol)
      out.bound_mark(i + 1);
    else
      out.bound_unmark(i + 1);
  }
}
