// A solid domain (and the fluid domain before it, when the file has one) built from a data file
// the way the driver builds them, freed with their nodes.
#pragma once

#include <memory>
#include <string>

#include "domain/fluiddomain.h"
#include "domain/soliddomain.h"
#include "foundation/declarations.h"
#include "foundation/intvec.h"
#include "foundation/plex.h"
#include "input/input.h"
#include "mesh/mesh.h"
#include "mesh/node.h"

namespace olvu_test {

/// The problem nodes, the numbering maps and the domains of one data file.
struct SolidCase {
  Plex<Node> all{100, "All the Nodes of the geometry"};
  std::unique_ptr<Input> in;
  std::unique_ptr<FluidDomain> fluid;
  std::unique_ptr<SolidDomain> solid;

  /// Reads the node block, the fluid block with its boundary block when the file has one, and the
  /// solid block with its boundary block.
  explicit SolidCase(const std::string& path) {
    in = std::make_unique<Input>(path.c_str());
    in->ReadCard("Nodes");
    ReadNodesFromAscii(in.get(), &all, 1.0, 3);
    GlobalToFluid.resize(0);
    GlobalToFluid.resize(unsigned(all.count), 0);
    GlobalToSolid.resize(0);
    GlobalToSolid.resize(unsigned(all.count), 0);
    in->ReadLine();
    if (in->Exist("FluidDefinition")) {
      // The driver's order: a fluid domain first, its boundary block, then the solid card.
      fluid = std::make_unique<FluidDomain>(&all, in.get(), FluidToGlobal, GlobalToFluid, 1, 1);
      fluid->ReadBoundaryConditions(in.get());
      in->ReadLine();
    }
    in->Exist("SolidDefinition");
    solid = std::make_unique<SolidDomain>(&all, in.get(), SolidToGlobal, GlobalToSolid, 2, 1);
    solid->ReadBoundaryConditions(in.get());
  }
  /// Solid number of problem node k.
  unsigned Local(int k) const { return unsigned(GlobalToSolid(unsigned(k))); }
  ~SolidCase() {
    solid.reset();
    fluid.reset();
    int i = 0;
    while (Node* nd = all.next(i)) delete nd;
    all.clear();
  }
  SolidCase(const SolidCase&) = delete;
  SolidCase& operator=(const SolidCase&) = delete;
};

}  // namespace olvu_test
