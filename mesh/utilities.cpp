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
  Plex<Mesh> one(5, "Meshes");
  one.set_at(1, mesh);
  CSR<int>* g = createNodesToNodes(*nodes, one, slot);
  one.clear();
  return g;
}

CSR<int>* createNodesToNodes(Plex<Mesh>& meshes, int slot) {
  Plex<Node> all(100, "Nodes");
  int im = 0;
  for (Mesh* m = meshes.next(im); m; m = meshes.next(im)) {
    int in = 0;
    for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in)) all.append(nd);
  }
  CSR<int>* g = createNodesToNodes(all, meshes, slot);
  all.clear();
  return g;
}

CSR<int>* createNodesToNodes(Mesh* mesh, IntVec map, int slot) {
  const int n = mesh->NOfNodes();
  if (n == 0) return nullptr;
  Plex<Mesh> one(5, "Meshes");
  one.set_at(1, mesh);
  NodeRowRule rule;
  rule.slot = slot;
  rule.map = &map;
  CSR<int>* g = buildNodeGraph(one, n, rule, false);
  one.clear();
  return g;
}
