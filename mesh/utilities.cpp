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
