// Element connectivity to sparsity patterns, through the node-to-elements map and the node graph.
#include "mesh/csr.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/error.h"
#include "mesh/elem.h"

namespace {

// Ends the run on an element node whose row is outside 1..n.
[[noreturn]] void mesh_data_error(const NodeRowRule& rule, const Node* nd, const Elem* e) {
  std::ostream* os = WriteError(__FILE__, __LINE__);
  *os << (rule.map ? "B:" : "A:") << "Wrong mesh data definition detected in node " << nd->Num(0)
      << "\nof element\n";
  e->PrintTo(*os, 0, 0);
  *os << "\n";
  if (rule.map)
    *os << "\tCheck mesh conectivities.\n";
  else
    *os << "\tDid you assign properties to an external geometry?\n"
        << "\tDid you define Fluid boundaries in a Solid?\n"
        << "\tDid you define Solid boundaries in a Fluid?\n";
  EndFatal(os);
}

// Row (1..n) of node a of element e, a converter map holding map_len entries; wrong numbers
// (also a number outside the map) are fatal.
inline int row_of(const NodeRowRule& rule, int map_len, const Elem* e, int a, int n) {
  int r = e->Num0(a, rule.slot);
  if (rule.map) r = (r >= 1 && r <= map_len) ? (*rule.map)(r) : 0;
  if (r < 1 || r > n) mesh_data_error(rule, e->nodesArray()[a], e);
  return r;
}

// Element rows resolved once into one flat array (no pointer chasing later) and the
// node-to-elements map: map row r lists the elements holding row r, in mesh and element order.
struct Incidence {
  std::vector<int> rows;  // per element: its node count, then the row (1..n) of each node
  CSR<int> map;           // offset in `rows` of each element holding the row
};

Incidence node_to_elements(Plex<Mesh>& meshes, int n, const NodeRowRule& rule) {
  if (n < 0) OLVU_FATAL("Can't create a vector of size " << n << "\n");
  std::vector<int> rows, count(n, 0);
  const int map_len = rule.map ? static_cast<int>(rule.map->length()) : 0;
  int im = 0;
  for (Mesh* m = meshes.next(im); m; m = meshes.next(im)) {
    const int nn = m->GiveNnode();
    rows.reserve(rows.size() + static_cast<size_t>(m->NOfElems()) * (nn + 1));
    int ie = 0;
    for (Elem* e = m->giveNextElm(ie); e; e = m->giveNextElm(ie)) {
      rows.push_back(nn);
      for (int a = 0; a < nn; ++a) {
        const int r = row_of(rule, map_len, e, a, n);
        rows.push_back(r);
        ++count[r - 1];
      }
    }
  }
  CSR<int> map(n, count.data(), -1, 1);
  const int total = static_cast<int>(rows.size());
  for (int off = 0; off < total; off += rows[off] + 1)
    for (int k = off + 1; k <= off + rows[off]; ++k) map.add(rows[k], off);
  return Incidence{std::move(rows), std::move(map)};
}

// Built pattern (n, n, diagonal first, sorted) of a node graph whose rows include their own node;
// the graph is released.
SparseMatrixStruct* pattern_of(CSR<int>* graph) {
  const std::unique_ptr<CSR<int>> g(graph);
  return new SparseMatrixStruct(*g, 1, 1, 0);
}

}  // namespace

// One walk over the map: for every row i (1..n), the distinct rows met through its elements, in
// the order first met, appended to one sequential list; a stamp per row replaces clearing a mark
// vector for every row.
CSR<int>* buildNodeGraph(Plex<Mesh>& meshes, int n, const NodeRowRule& rule, bool with_self) {
  const Incidence inc = node_to_elements(meshes, n, rule);
  const int* rows = inc.rows.data();
  std::vector<int> stamp(n + 1, 0), length(n, 0), met;
  met.reserve(static_cast<size_t>(inc.map.nnz()) * 3);
  for (int i = 1; i <= n; ++i) {
    const size_t start = met.size();
    if (with_self) {
      stamp[i] = i;
      met.push_back(i);
    }
    const int* els = inc.map.row(i);
    const int ne = inc.map.row_size(i);
    for (int t = 0; t < ne; ++t) {
      const int* er = rows + els[t];
      for (int k = 1; k <= er[0]; ++k) {
        const int j = er[k];
        if (stamp[j] != i) {
          stamp[j] = i;
          met.push_back(j);
        }
      }
    }
    length[i - 1] = static_cast<int>(met.size() - start);
  }
  CSR<int>* graph = new CSR<int>(n, length.data(), 0, 1);
  std::copy(met.begin(), met.end(), graph->entries());
  graph->mark_filled();
  return graph;
}

SparseMatrixStruct* createSparseMatrixStruct(Plex<Node>& nodes, Plex<Mesh>& meshes, int slot) {
  const int n = nodes.count;
  if (n == 0) return nullptr;
  NodeRowRule rule;
  rule.slot = slot;
  return pattern_of(buildNodeGraph(meshes, n, rule, true));
}

SparseMatrixStruct* createSparseMatrixStruct(Plex<Node>* nodes, Mesh* mesh, int slot) {
  return WithMeshTable(mesh, [&](Plex<Mesh>& one) { return createSparseMatrixStruct(*nodes, one, slot); });
}

SparseMatrixStruct* createSparseMatrixStruct(Plex<Mesh>& meshes, int slot) {
  return WithGatheredNodes(meshes, [&](Plex<Node>& all) { return createSparseMatrixStruct(all, meshes, slot); });
}

SparseMatrixStruct* createSparseMatrixStruct(Mesh* mesh, IntVec map, int slot) {
  const int n = mesh->NOfNodes();
  if (n == 0) return nullptr;
  NodeRowRule rule;
  rule.slot = slot;
  rule.map = &map;
  return pattern_of(WithMeshTable(mesh, [&](Plex<Mesh>& one) { return buildNodeGraph(one, n, rule, true); }));
}
