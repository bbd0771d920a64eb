// A fluid domain built from a data file the way the driver builds it, freed with its nodes.
#pragma once

#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

namespace olvu_test {

/// The problem nodes, the numbering maps and the fluid domain of one data file.
struct FluidCase {
  Plex<Node> all{100, "All the Nodes of the geometry"};
  IntVec toGlobal, toLocal;
  std::unique_ptr<Input> in;
  std::unique_ptr<FluidDomain> fluid;

  /// Reads the node block and the fluid block of `path` (the file's first two blocks).
  explicit FluidCase(const std::string& path) {
    in = std::make_unique<Input>(path.c_str());
    in->ReadCard("Nodes");
    ReadNodesFromAscii(in.get(), &all, 1.0, 3);
    in->ReadCard("FluidDefinition");
    fluid = std::make_unique<FluidDomain>(&all, in.get(), toGlobal, toLocal, 1, 1);
  }
  /// Domain number of problem node k.
  unsigned Local(int k) const { return unsigned(toLocal(unsigned(k))); }
  ~FluidCase() {
    fluid.reset();
    int i = 0;
    while (Node* nd = all.next(i)) delete nd;
    all.clear();
  }
  FluidCase(const FluidCase&) = delete;
  FluidCase& operator=(const FluidCase&) = delete;
};

}  // namespace olvu_test
