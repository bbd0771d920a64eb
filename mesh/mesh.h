// An element set: numbered elements of one type and node count with the table of
// the nodes they use; base of every fluid, solid, interface, flux, body and
// free-surface set. Its readers and the post-processor mesh writers.
#pragma once

#include <fstream>
#include <istream>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "foundation/bitvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "input/types.h"
#include "mesh/node.h"

class Elem;
class Input;
class OctTree;
class SystemSparseMatrix;
class Units;

/// One unique edge of a set: its two nodes in canonical order.
struct MeshEdge {
  Node* first = nullptr;   ///< the node that sorts first
  Node* second = nullptr;  ///< the other node
};

/// An element set with its number, dimension, element type and order, node count per
/// element, element table and node table. Tables hold pointers and never delete them.
class Mesh {
 public:
  /// Set from the current card: "ElmType" and "NNode" when present, else the defaults.
  Mesh(int nodeChunk, int elemChunk, Input* in, ElemType defType, int defNnode);
  /// Set from the current card, which must hold "ElmType" and "NNode".
  Mesh(int nodeChunk, int elemChunk, Input* in);
  /// Empty set numbered 0 with its own tables.
  Mesh(int nodeChunk, int elemChunk, int ndime, ElemType type, int nnode);
  /// Empty set over a borrowed node table.
  Mesh(Plex<Node>* nodes, int elemChunk, int ndime, ElemType type, int nnode);
  /// Tool form: reads "elmtype", "nnode" and the element list from the stream over `all`.
  Mesh(int num, std::istream& in, Plex<Node>* all);
  /// Frees the element table, the node table unless borrowed, the edge and old-number
  /// tables; never an element or a node.
  virtual ~Mesh();
  Mesh(const Mesh&) = delete;
  Mesh& operator=(const Mesh&) = delete;

  // Virtual operations with their defaults.

  /// Marks in b the number in `slot` of every node of the set (0 and numbers beyond b ignored).
  virtual void MarkNodes(BitVec& b, int slot);
  /// Prepares the set after reading (nothing here).
  virtual void initialiseMesh() {}
  /// Takes per-node values of the domain (nothing here).
  virtual void initialiseLN_N(ReaVec&) {}
  /// Completes the preparation once every set exists (nothing here).
  virtual void PostinitialiseMesh() {}
  /// Header reader of a post-processor mesh file; stops the run when it reaches "coordinates".
  virtual int ReadFromAscii(std::istream& in, Units* units);
  /// Reads a node block into the set's own node table (the dimension as coordinate count).
  virtual Plex<Node>* ReadNodesFromAscii(Input* in, double scale);
  /// Reads the element list from the reader's stream.
  virtual void ReadElemsFromAscii(Input* in, Plex<Node>* all);
  /// Reads the element list ("elements" ... "end" "elements"), taking the nodes from `all`.
  virtual void ReadElemsFromAscii(std::istream& in, Plex<Node>* all);
  /// Mesh block with optional old numbers; element lines in the file-stream forms.
  virtual void PrintTo(std::ofstream& out, int old, int unused);
  /// Mesh block with optional old numbers; element lines in the output-stream form.
  virtual void PrintTo(std::ostream& out, int old, int unused);
  /// The neutral file of the set; `name` gives the title.
  virtual void PrintToNeutral(std::ofstream& out, const char* name);
  /// Post-processor mesh block; each flag 0 or 1.
  virtual void PrintMeshTo(std::ostream& out, int header, int coordinates, int elements, int frame);
  /// Post-processor mesh block with every coordinate multiplied by scale.
  virtual void PrintMeshTo(std::ostream& out, double scale, int header, int coordinates, int elements,
                           int frame);
  /// Background-mesh header, the mesh block and the desired sizes on nodes or on elements.
  virtual void PrintBackgroundMeshTo(std::ostream& out, const ReaVec& sizes, int onNodes);
  /// Kind of set.
  virtual const char* Name() { return "Mesh"; }
  /// 1 when text equals Name() ignoring case.
  virtual int AreYou(const char* text);

  // Accessors.

  /// Set number.
  int Num() const { return number_; }
  /// Sets the set number.
  void NewNum(int n) { number_ = n; }
  /// Dimension (modifiable).
  int& GiveNdime() { return ndime_; }
  /// Dimension.
  int GiveNdime() const { return ndime_; }
  /// Nodes per element.
  int GiveNnode() const { return nnode_; }
  /// Corner nodes of the element type.
  int GiveMinNnode() const { return GiveminNnode(type_); }
  /// Neutral-file element code (0 until CalcShapeGaussNeutral).
  int GiveFvType() const { return fvtype_; }
  /// Element type.
  ElemType GiveElemType() const { return type_; }
  /// Element order.
  ElemOrder GiveElemOrder() const { return order_; }
  /// Element numbered n (fatal when absent).
  Elem* giveElm(int n) { return elems_->get_at(n); }
  /// Element numbered n of a const set (fatal when absent).
  const Elem* giveElm(int n) const { return std::as_const(*elems_).get_at(n); }
  /// Next element in table order after cursor i (null at the end; start with i = 0).
  Elem* giveNextElm(int& i) { return elems_->next(i); }
  /// Next element of a const set after cursor i.
  const Elem* giveNextElm(int& i) const { return std::as_const(*elems_).next(i); }
  /// Number of elements.
  int NOfElems() const { return elems_->count; }
  /// Node numbered n (fatal when absent).
  Node* giveNode(int n) { return nodes_->get_at(n); }
  /// Node numbered n of a const set (fatal when absent).
  const Node* giveNode(int n) const { return std::as_const(*nodes_).get_at(n); }
  /// Next node in table order after cursor i (null at the end; start with i = 0).
  Node* giveNextNode(int& i) { return nodes_->next(i); }
  /// Next node of a const set after cursor i.
  const Node* giveNextNode(int& i) const { return std::as_const(*nodes_).next(i); }
  /// Number of nodes.
  int NOfNodes() const { return nodes_->count; }
  /// The box of the nodes: the largest and smallest of each coordinate into max and min (of
  /// length 3); an empty mesh ends with the node table's own message.
  void NodeBox(ReaVec& max, ReaVec& min) const;
  /// The node table.
  Plex<Node>* GiveNodePlex() { return nodes_; }
  /// The node table of a const set.
  const Plex<Node>* GiveNodePlex() const { return nodes_; }
  /// The element table.
  Plex<Elem>* GiveElemPlex() { return elems_.get(); }
  /// The element table of a const set.
  const Plex<Elem>* GiveElemPlex() const { return elems_.get(); }
  /// Number of the node before a renumbering (its slot-0 number when there was none).
  int GiveOldNumber(const Node* nd) const { return GiveOldNumber(nd->num[0]); }
  /// Number before a renumbering of the node now numbered n (n itself when there was none).
  int GiveOldNumber(int n) const { return oldnum_ ? oldnum_[n - 1] : n; }
  /// Stores nd under its slot-0 number when that entry is free.
  void addNode(Node* nd);
  /// Sets the neutral-file element code from the type and node count.
  void CalcShapeGaussNeutral();

  // Editing (mesh/meshedit.cpp).

  /// Stores the element under the highest element number + 1 and makes this its set; an element
  /// that carries a number must be in this set under it. Returns the new number.
  int AddElemtoPlex(Elem* e);
  /// A node numbered 0 gets and is stored under the highest node number + 1; a numbered node must
  /// be in the table. Returns the node's number.
  int AddPtstoPlex(Node* nd);
  /// Moves the other set's elements here under new numbers and adds its nodes.
  void AddMesh(Mesh* other);
  /// Adds copies of the other set's nodes under new numbers and new elements over the copies.
  void AddMeshAllNew(Mesh* other);
  /// As AddMeshAllNew with the two nodes of every element exchanged (two-node sets only).
  void AddMeshAllNewReverse(Mesh* other);
  /// Adds the other set's nodes and new elements over them with their two nodes exchanged.
  void AddMeshNewReverseElms(Mesh* other);
  /// Builds the table of unique corner edges.
  void CalcEdges();
  /// Number of unique edges (0 until CalcEdges).
  int NOfEdges() const { return nedges_; }
  /// Unique edge k (0-based) of CalcEdges.
  const MeshEdge& GiveEdge(int k) const { return edges_[k]; }
  /// Renumbers the nodes 1..N by distance from the node farthest from their centroid.
  void RenumberNodes();
  /// Renumbers the nodes 1..N by a breadth-first sweep over neighbouring elements.
  void RenumberNodes2();
  /// Changes the node count per element (element arrays are enlarged, never shrunk).
  void ConvertToNewNnode(int n);
  /// Deletes every element and empties the element table.
  void ClearAllElems();
  /// Deletes every node and empties the node table.
  void ClearAllNodes();
  /// Enters the nodes (mode 1) or sample points of every element (other modes) into the tree.
  void FillOctTree(OctTree& tree, int mode);
  /// Order of edges: by first node, then second node (-1, 0, 1).
  static int CompareEdgePointers(const void* a, const void* b);
  /// Order of node pointers by their number (-1, 0, 1).
  static int CompareNodePointers(const void* a, const void* b);
  /// Projects every node of this set into the nearest element of the source sets sampled in
  /// `tree` and adds its interpolation row (target row, source columns) to M.
  void Interpolate(OctTree& tree, SystemSparseMatrix* M, int sourceSlot, int targetSlot);

 protected:
  /// Creates the tables and computes the element order.
  void Init(int nodeChunk, int elemChunk);
  /// Checks that a writer's stream is usable (a failed stream ends the run).
  void CheckOutput(const std::ostream& out) const;
  /// The old-number forms up to "Elements": header, node lines (old numbers when old != 0).
  void WriteOldFormNodes(std::ostream& out, int old);

  int number_ = 0;              ///< set number
  int ndime_ = 3;               ///< dimension
  int nnode_ = 0;               ///< nodes per element
  ElemType type_ = NoNe;        ///< element type
  ElemOrder order_ = NoNeOrder; ///< element order of type and node count
  int fvtype_ = 0;              ///< neutral-file element code
  std::unique_ptr<Plex<Elem>> elems_; ///< elements by number ("Element")
  std::unique_ptr<Plex<Node>> ownNodes_; ///< the set's own node table (null when borrowed)
  Plex<Node>* nodes_ = nullptr; ///< nodes by problem-wide number ("Node"): ownNodes_ or borrowed
  int nedges_ = 0;              ///< entries of the edge table
  std::unique_ptr<MeshEdge[]> edges_; ///< unique edges (absent until built)
  int borrowed_ = 0;            ///< 1 when the node table belongs to someone else
  std::unique_ptr<int[]> oldnum_; ///< numbers before a renumbering, by new number - 1
};

/// Reads a node block into `table` (numbers 1, 2, 3 ... in order); coordinates times scale.
void ReadNodesFromAscii(std::istream& in, Plex<Node>* table, double scale, int ncoord);
/// Reads a node block from the reader's stream.
void ReadNodesFromAscii(Input* in, Plex<Node>* table, double scale, int ncoord);
/// Reads an indexed list of n reals per record: the indices, increasing but not necessarily
/// consecutive, into `indexes`, and n values per record, in file order, into `values` (both emptied
/// first). A record's values lie on its line, after which only words or a comment may follow. An
/// empty list, a bad record (a value missing or a further number on its line) or an index not above
/// the one before it is fatal.
void ReadReaVecFromAscii(std::istream& in, int n, std::vector<int>& indexes, std::vector<double>& values);

