// Element-set block and node numbering of the fluid domain.
#include <strings.h>

#include <memory>
#include <utility>

#include "domain/fluiddomain.h"
#include "domain/fluidmesh.h"
#include "foundation/error.h"
#include "input/input.h"

void FluidDomain::ReadElmSets(Input* in) {
  ReadElmSetCards(in, [&](int n, const char* type) {
    // Each set is entered in the domain table first, which owns it: a repeated number stops
    // before the set is lost.
    if (strcasecmp(type, "Fluid") == 0) {
      Mesh* m = meshes.Adopt(n, std::make_unique<FluidMesh>(this, n, in, 3, Tetrahedra, 4, kind_, 1));
      fluidMeshes_.set_at(n, m);
      m->ReadElemsFromAscii(in, allNodes);
    } else if (strcasecmp(type, "Body") == 0 || strcasecmp(type, "WBody") == 0) {
      Mesh* m = meshes.Adopt(n, parts_->NewBodySet(n, in, strcasecmp(type, "WBody") == 0));
      bodyMeshes_.set_at(n, m);
      m->ReadElemsFromAscii(in, allNodes);
    } else if (strcasecmp(type, "FreeS") == 0) {
      if (!Solves(PTranspiration))
        OLVU_WARNING(0, "Free Surface set found, but will not be solved.\n\t Did you forget to define transpiration problem?");
      Mesh* m = meshes.Adopt(n, parts_->NewFreeSurfaceSet(n, in));
      freeMeshes_.set_at(n, m);
      m->ReadElemsFromAscii(in, allNodes);
    } else {
      OLVU_FATAL("ElmSet " << type << " not implemented\n");
    }
  });
  if (fluidMeshes_.count == 0)
    OLVU_FATAL("Fluid not defined.\nAssign Fluid properties to the geometry.\nCheck the problem definition in the data file.\n");
  if (bodyMeshes_.count == 0)
    OLVU_NOTICE("FluidBoundaries not defined. Is this right? Did you forget to mesh surfaces or lines?");
  if (Solves(PTranspiration) && freeMeshes_.count == 0) OLVU_FATAL("Free Surfaces not defined for transpiration problem.\n");
}

void FluidDomain::ReadNodes(Input*) {
  const int total = allNodes->high > 0 ? allNodes->high : 0;
  if (int(globalToLocal_.length()) < total) globalToLocal_.resize(unsigned(total), 0);
  numNodes = 0;
  int im = 0;
  while (Mesh* m = fluidMeshes_.next(im)) {
    int in = 0;
    while (Node* nd = m->giveNextNode(in)) {
      const int p = nd->num[0];
      if (!nodes.free(p)) continue;
      ++numNodes;
      globalToLocal_(unsigned(p)) = numNodes;
      nodes.set_at(p, nd);
      nd->num[kind_] = numNodes;
    }
  }
  parts_->DropDryElements();
  toGlobal_.resize(unsigned(numNodes), 0);
  for (int p = 1; p <= int(globalToLocal_.length()); ++p) {
    const int local = globalToLocal_(unsigned(p));
    if (local > 0 && local <= numNodes) toGlobal_(unsigned(local)) = p;
  }
  // Domain box.
  int i = 0;
  bool first = true;
  while (Node* nd = nodes.next(i))
    for (unsigned c = 1; c <= 3; ++c) {
      if (first || (*nd)(c) > maxCorner(c)) maxCorner(c) = (*nd)(c);
      if (first || (*nd)(c) < minCorner(c)) minCorner(c) = (*nd)(c);
      if (c == 3) first = false;
    }
  nodeOrder_.resize(unsigned(numNodes), 1000);
  nodeOrder_ = 1000;
  im = 0;
  while (Mesh* m = fluidMeshes_.next(im)) {
    auto b = std::make_unique<BitVec>(unsigned(numNodes));
    const int order = giveOrder(m->GiveElemOrder());
    int in = 0;
    while (Node* nd = m->giveNextNode(in)) {
      b->assign(unsigned(nd->num[kind_]), 1);
      nodeOrder_(unsigned(nd->num[kind_])) = order;
    }
    nodeMaterial_.Adopt(m->Num(), std::move(b));
  }
  RefreshNodeArray();
}
