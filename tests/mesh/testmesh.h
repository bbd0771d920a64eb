// Small element sets built in memory for the connectivity tests.
#pragma once

#include <vector>

#include "foundation/plex.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

namespace olvu_test {

/// A node table of n nodes (slot 0 = 1..n) and element sets over it, freed together.
struct TestMeshes {
  Plex<Node> nodes{100, "Nodes"};
  Plex<Mesh> meshes{5, "Meshes"};
  std::vector<Node*> node;  // node[k] has problem-wide number k+1

  explicit TestMeshes(int n) {
    for (int k = 1; k <= n; ++k) {
      Node* nd = new Node(3);
      nd->num[0] = k;
      nodes.set_at(k, nd);
      node.push_back(nd);
    }
  }
  /// Adds an element set of the given type; each element lists problem-wide node numbers.
  Mesh* Add(ElemType type, int nnode, const std::vector<std::vector<int>>& elems) {
    Mesh* m = new Mesh(100, 100, 3, type, nnode);
    int num = 0;
    for (const auto& list : elems) {
      Elem* e = new Elem(m);
      for (int a = 0; a < nnode; ++a) {
        (*e)(a) = node[list[a] - 1];
        m->addNode(node[list[a] - 1]);
      }
      e->NewNum(++num);
      m->GiveElemPlex()->set_at(num, e);
    }
    meshes.append(m);
    return m;
  }
  ~TestMeshes() {
    int i = 0;
    for (Mesh* m = meshes.next(i); m; m = meshes.next(i)) {
      int j = 0;
      for (Elem* e = m->giveNextElm(j); e; e = m->giveNextElm(j)) delete e;
      delete m;
    }
    for (Node* nd : node) delete nd;
  }
  TestMeshes(const TestMeshes&) = delete;
  TestMeshes& operator=(const TestMeshes&) = delete;
};

}  // namespace olvu_test
