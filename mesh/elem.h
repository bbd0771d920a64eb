// One element of an element set: its mesh, its node pointers and its number;
// shape, order and counts are those of its mesh. Geometry in mesh/geometry.cpp.
#pragma once

#include <fstream>
#include <istream>
#include <memory>
#include <ostream>

#include "foundation/bitvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "input/types.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

class Input;
class Units;
class Matrix;

/// One element: the set it belongs to, one node pointer per node of the set, its number.
class Elem {
 public:
  /// Element of mesh m with an unset node array of m's node count (the second argument is not used).
  explicit Elem(Mesh* m, Elem* unused = nullptr);
  /// Element of mesh m with an unset node array of n entries.
  Elem(int n, Mesh* m, Elem* unused = nullptr);
  /// Element of mesh m holding e's nodes in order followed by nd.
  Elem(Elem* e, Node* nd, Mesh* m, Elem* unused);
  /// Element of mesh m (e's mesh when null) holding e's nodes from position a on, cyclically,
  /// followed by nd, with m's node count (the fourth argument is not used).
  Elem(Elem* e, Node* nd, int a, int unused, Mesh* m);
  /// Face element of a triangle or tetrahedron: its nodes from position face on, cyclically, one
  /// fewer than e has; number 0 and no set.
  Elem(Elem* e, int face);
  /// Element numbered num of mesh m, without a node array.
  Elem(int num, Mesh* m, Input* unused);
  /// Frees the node array, never the nodes.
  virtual ~Elem();
  Elem(const Elem&) = delete;
  Elem& operator=(const Elem&) = delete;

  // Reading and writing.

  /// As the form with two node tables, without the second one (the units are not used).
  virtual int ReadFromAscii(std::istream& in, Plex<Node>* all, Units* units);
  /// Reads the element number and one node number per node, taking the nodes from `all`
  /// and adding them to `own` under their numbers; 0 when no element number starts here.
  virtual int ReadFromAscii(std::istream& in, Plex<Node>* all, Plex<Node>* own);
  /// Number (width 5), " : ", node numbers (width 15); old numbers when old != 0.
  virtual void PrintTo(std::ofstream& out, int old, int) const;
  /// Number (width 5), " ", node numbers (width 15); old numbers when old != 0.
  virtual void PrintTo(std::ostream& out, int old, int) const;
  /// Node numbers (width 15) only.
  virtual void PrintConecTo(std::ofstream& out) const;
  /// Number (width 5), "  ", node numbers (width 15).
  virtual void PrintConecTo(std::ostream& out) const;
  /// The element record of the neutral file.
  virtual void PrintToNeutral(std::ofstream& out) const;
  /// "Element N of Mesh NAME", "Element nodes are:" and the node numbers.
  virtual void PrintToInfo(std::ofstream& out) const;
  /// "Element N of Mesh NAME", "Element nodes are:" and the node numbers.
  virtual void PrintToInfo(std::ostream& out) const;

  // Accessors.

  /// The element set the element belongs to.
  Mesh* MyMesh() const { return mesh_; }
  /// Makes m the element's set.
  void NewMesh(Mesh* m) { mesh_ = m; }
  /// Element number within its set.
  int Num() const { return num_; }
  /// Sets the element number.
  void NewNum(int n) { num_ = n; }
  /// Node at 1-based position i.
  Node* node(int i) const { return nodes_[i - 1]; }
  /// The node array.
  Node** nodesArray() { return nodes_.get(); }
  /// The node array.
  Node* const* nodesArray() const { return nodes_.get(); }
  /// Node entry at 0-based position i.
  Node*& operator()(int i) { return nodes_[i]; }
  /// Node entry at 0-based position i.
  Node*& operator[](int i) { return nodes_[i]; }
  /// Numbering slot k of the node at 0-based position i.
  int Num0(int i, int k) const { return nodes_[i]->num[k]; }
  /// Numbering slot k of the node at 1-based position i.
  int Num1(int i, int k) const { return nodes_[i - 1]->num[k]; }

  /// Nodes per element of the set.
  int Nnode() const { return mesh_->GiveNnode(); }
  /// Corner nodes of the set's element type.
  int MinNnode() const { return mesh_->GiveMinNnode(); }
  /// Dimension of the set.
  int Ndime() const { return mesh_->GiveNdime(); }
  /// Element type of the set.
  ElemType GiveElemType() const { return mesh_->GiveElemType(); }
  /// Element order of the set.
  ElemOrder GiveElemOrder() const { return mesh_->GiveElemOrder(); }

  // Numbering helpers.

  /// Mean of v over the corner nodes, each indexed by its number in `slot` (0 adds nothing).
  double Average(const ReaVec& v, int slot) const;
  /// 1 when a corner node's number in `slot` is marked in b, else 0.
  int IsInList(const BitVec& b, int slot) const;

  // Geometry (mesh/geometry.cpp).

  /// Reverses the orientation in place (lines, triangles, quadrilaterals); returns 1.
  int Rotate2D();
  /// The node that position i (0-based) holds after Rotate2D, without changing the element.
  Node* nodeRotate2D(int i) const;
  /// Fills m (made 3 x 3) with the element's local frame; returns 1.
  int RotationMatrix(Matrix& m) const;
  /// Length of a line, area of a triangle or quadrilateral.
  double Volume() const;
  /// Area vector of the element (three components).
  void ProjectedArea(ReaVec* a) const;
  /// Unit normal of the element (three components).
  void Normal(ReaVec* nv) const;
  /// Centroid of the corners (the set's dimension as length).
  void MidNode(ReaVec* v) const;
  /// Sum of w[i] times corner i (the set's dimension as length).
  void CenterNode(ReaVec* v, const double* w) const;
  /// Largest distance between two corners (never below 1e-7).
  double MaxLength() const;
  /// Largest extent of the corners along each axis into v (kept and enlarged when keep != 0).
  void MaxLength(ReaVec* v, int keep) const;
  /// Largest |projection| of the open corner polygon's sides on (a1, a2); halved for quadratic sets.
  double MaxTauLen(double a1, double a2) const;
  /// Largest |projection| of the open corner polygon's sides on (a1, a2, a3); halved for quadratic sets.
  double MaxTauLen(double a1, double a2, double a3) const;
  /// Edge length of a reference element of the set's type with measure m.
  double MedLength(double m) const;
  /// Mean side length of the closed corner polygon.
  double AverLength() const;
  /// Enlarges the node array to n entries, the new ones empty.
  void IncreaseNnode(int n);
  // Natural coordinates of a point projected into the element (mesh/interpolate.cpp): each fills
  // N with one value per element node and gives 0, or 1 when the point cannot be projected.

  /// Two-node line; fails for a point farther from the line than the element's length.
  int GiveProjectedNatCoordLLN(ReaVec& p, double* N, double& distance);
  /// Three-node line (the third node in the middle).
  int GiveProjectedNatCoordCLN(ReaVec& p, double* N, double& distance);
  /// Three-node triangle in its own plane; no range check.
  int GiveProjectedNatCoordLTR(ReaVec& p, double* N, double& distance);
  /// Six-node triangle from the coordinates of its corners.
  int GiveProjectedNatCoordCTR(ReaVec& p, double* N, double& distance);
  /// Four-node tetrahedron: barycentric coordinates.
  int GiveProjectedNatCoordLTE(ReaVec& p, double* N, double& distance);
  /// Least-squares weights of the nodes for the basis 1, x, y of the element's plane.
  int GiveProjectedNatCoordLS12D(ReaVec& p, double* N, double& distance);
  /// Least-squares weights for 1, x, y, z.
  int GiveProjectedNatCoordLS13D(ReaVec& p, double* N, double& distance);
  /// Least-squares weights for the plane quadratics (more than 5 nodes).
  int GiveProjectedNatCoordLS22D(ReaVec& p, double* N, double& distance);
  /// Least-squares weights for the quadratics in space (more than 9 nodes).
  int GiveProjectedNatCoordLS23D(ReaVec& p, double* N, double& distance);

  /// 1-based position of nd in the element (by identity), or 0.
  int IsInto(const Node* nd) const;
  /// Always ends the run.
  int IsCutted(Node* a, Node* b) const;

 protected:
  Mesh* mesh_ = nullptr;    ///< the element set
  std::unique_ptr<Node*[]> nodes_;  ///< one entry per node (the nodes are borrowed)
  int num_ = 0;             ///< element number within its set
};

/// Writes the element as PrintTo on an output stream with old = 0.
std::ostream& operator<<(std::ostream& out, const Elem& e);

/// Area vector c of an element of type t from its corners' coordinates x[k] (three each): of a
/// line its quarter turn (full length), of a triangle or quadrilateral half the sum of the corner
/// cross products; false for any other type. Inline: flat per-element loops call it.
inline bool CornerAreaVector(ElemType t, const double* const* x, double* c) {
  const double* x0 = x[0];
  auto cross = [](const double* a, const double* b, double* r) {
    r[0] = a[1] * b[2] - a[2] * b[1], r[1] = a[2] * b[0] - a[0] * b[2], r[2] = a[0] * b[1] - a[1] * b[0];
  };
  double a[3], b[3], d[3];
  switch (t) {
    case Linear:
      c[0] = x0[1] - x[1][1], c[1] = x[1][0] - x0[0], c[2] = 0.0;
      return true;
    case Triangle:
      for (int k = 0; k < 3; ++k) a[k] = x[1][k] - x0[k], b[k] = x[2][k] - x0[k];
      cross(a, b, c);
      for (int k = 0; k < 3; ++k) c[k] *= 0.5;
      return true;
    case Quadrilateral:
      for (int k = 0; k < 3; ++k) a[k] = x[1][k] - x0[k], b[k] = x[2][k] - x0[k];
      cross(a, b, c);
      for (int k = 0; k < 3; ++k) a[k] = x[3][k] - x0[k];
      cross(b, a, d);
      for (int k = 0; k < 3; ++k) c[k] = 0.5 * (c[k] + d[k]);
      return true;
    default: return false;
  }
}
