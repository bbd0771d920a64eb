// The constructors and destructors of the fluid and solid domains. The destructor is each class's
// key function, so the classes' vtables, which name members defined in domain/, flow/ and
// bodies/, are emitted here, in the highest of the three libraries; the constructors store those
// vtables and install the domain's parts (bodies/bodyparts.h).
#include "domain/fluiddomain.h"

#include "bodies/bodyparts.h"
#include "domain/phiproblem.h"
#include "domain/soliddomain.h"
#include "foundation/declarations.h"
#include "input/fluidfunction.h"
#include "mesh/elem.h"
#include "solvers/solversetting.h"
#include "solvers/sparsematrix.h"
#include "solvers/sparsestruct.h"

FluidDomain::FluidDomain(Plex<Node>* all, Input* in, IntVec& toGlobal, IntVec& globalToLocal, int kind, int read)
    : Domain(all),
      fluidMeshes_(5, "Fluid Meshes"),
      bodyMeshes_(5, "Body Meshes"),
      freeMeshes_(5, "Free Surface Meshes"),
      phi_(3, "Fluid User Defined (Phi) Problems"),
      species_(3, "Fluid Species Advection Problems"),
      customNames_(3, "Fluid Customised Results Names"),
      customRes_(3, "Fluid Customised Results"),
      customInt_(3, "Fluid Customised Integrals"),
      meshDisp_(3, "Fluid Mesh Displacements"),
      nodeMaterial_(3, "Node-Material information"),
      toGlobal_(toGlobal),
      globalToLocal_(globalToLocal),
      kind_(kind),
      problems_(NFluidFlags, 0),
      fixedGradient_(100, "Fixed Gradient Variables"),
      normals_(100, "Normal to Surface"),
      velocityLine_(100, "Fixed Velocity Line") {
  parts_ = std::make_unique<BodyParts>(*this);
  if (!read) return;
  name_ = "Fluid Domain";
  FluidDomain::ReadGeneralData(in);
  FluidDomain::ReadElmSets(in);
  FluidDomain::ReadNodes(in);
  FluidDomain::InitialiseData();
  FluidDomain::InitialiseGeomData();
}

FluidDomain::~FluidDomain() {
  // The sets are deleted once, by the domain mesh table of the base; their elements, which their
  // readers made, are the domain's.
  int i = 0;
  while (Mesh* m = meshes.next(i)) DeleteEntries(*m->GiveElemPlex());
  // The nodes belong to the problem's node table.
  nodes.clear();
}

SolidDomain::SolidDomain(Plex<Node>* all, Input* in, IntVec& toGlobal, IntVec& globalToLocal, int kind, int read)
    : FluidDomain(all, in, toGlobal, globalToLocal, kind, 0) {
  fluidMeshes_.name = "Solid Meshes";
  customRes_.name = "Solid Customised Results";
  customNames_.name = "Solid Customised Results Names";
  phi_.name = "Solid User Defined (Phi) Problems";
  species_.name = "Solid Species Advection Problems";
  // The fluid domain, when there is one, is read first and owns part of the problem's nodes.
  for (unsigned i = 1; i <= GlobalToFluid.length() && !withFluid_; ++i) withFluid_ = GlobalToFluid(i) > 0;
  if (!read) return;
  name_ = "Solid Domain";
  ReadGeneralData(in);
  ReadElmSets(in);
  ReadNodes(in);
  InitialiseData();
  InitialiseGeomData();
}

SolidDomain::~SolidDomain() = default;

// No caller in the program (the driver holds the fluid domain itself): a caller that holds only a
// Domain would correct the velocity through it.
void CorrectV(Domain* d) {
  if (auto* f = dynamic_cast<FluidDomain*>(d)) f->CorrectVelocity();
}
