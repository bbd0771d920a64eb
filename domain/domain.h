// Base class of every problem part that owns nodes and element sets: the total domain and the
// fluid domain derive from it, the solid domain from the fluid domain.
#pragma once

#include <functional>
#include <ostream>

#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "solvers/coupleddomain.h"

class Input;

/// A problem part with its nodes, element sets and bounding box, and the read, initialise,
/// solve and output operations the driver calls, each doing nothing unless overridden.
class Domain : public CoupledDomain {
 public:
  Plex<Node>* allNodes;  ///< the problem-wide node table the domain was built on (borrowed)
  OwningPlex<Mesh> meshes;  ///< the domain's element sets
  OwningPlex<Node> nodes;   ///< the domain's nodes (a derived domain that borrows them empties it)
  int numNodes = 0;      ///< number of nodes of the domain, set by the derived domain
  ReaVec minCorner;      ///< lower corner of the bounding box
  ReaVec maxCorner;      ///< upper corner of the bounding box

  /// Empty domain over the problem-wide node table `all`.
  explicit Domain(Plex<Node>* all);
  /// Deletes every element set, then every node that `nodes` still holds.
  ~Domain() override;
  Domain(const Domain&) = delete;
  Domain& operator=(const Domain&) = delete;

  /// Reads the domain's general data.
  virtual void ReadGeneralData(Input*) {}
  /// Reads the domain's element-set definitions.
  virtual void ReadElmSets(Input*) {}
  /// Reads the domain's nodes.
  virtual void ReadNodes(Input*) {}
  /// Reads the elements of the domain's sets.
  virtual void ReadElements(Input*) {}
  /// Reads the initial conditions.
  virtual void ReadInitialConditions(Input*) {}
  /// Reads the boundary conditions.
  virtual void ReadBoundaryConditions(Input*) {}
  /// Reads the domain's block `name` ("Fluid", "Solid") of the restart file.
  virtual void ReadRestart(Input*, const char* /*name*/) {}
  /// Writes the domain's restart block under the block name `name`.
  virtual void OutputRestart(std::ostream&, const char* /*name*/) {}
  /// Writes the domain's result blocks of one output step.
  virtual void OutputResults(std::ostream&) {}
  /// Writes the domain's initial-data result blocks.
  virtual void OutputInitialData(std::ostream&) {}
  /// Writes the domain's line of forces.
  virtual void OutputForces(std::ostream&) {}
  /// Writes the desired-element-size file.
  virtual void OutputBackgroundMesh(std::ostream&) {}
  /// Solves the problems coupled within one iteration.
  virtual void SolveCoupledProblem() {}
  /// Solves the problems outside the iteration.
  virtual void SolveUncoupledProblem() {}
  /// Solves the interface problems.
  virtual void SolveInterface() {}
  /// Initialises the domain after set-up (writes its start-up notes to `out`).
  virtual void InitialiseDomain(std::ostream&) {}
  /// Initialises the domain's data.
  virtual void InitialiseData() {}
  /// Initialises the domain's node sets.
  virtual void InitialiseSets() {}
  /// Initialises the unknowns.
  virtual void InitialiseUnknowns() {}
  /// Starts a new time step.
  virtual void StartNewStep() {}
  /// Adds problem node n to the domain; returns its domain number (0: not added).
  virtual int addNode(int) { return 0; }
  /// The nodal vector called `name`, or null.
  virtual ReaVec* GiveVector(const char*) { return nullptr; }
  /// Coupling step of a coupled linear solve; nothing by default.
  void SolveCoupled(ReaVec&, ReaVec&, ReaVec&) override {}

  /// Reads an "ElmSets" block: for each set card up to "EndElmSets", calls read(number, type)
  /// with the reader on that card.
  static void ReadElmSetCards(Input* in, const std::function<void(int n, const char* type)>& read);

  /// x coordinate of domain node i counted from base b (entry i - b + 1 of `nodes`).
  virtual double& X(int i, int b) { return (*nodes.get_at(i - b + 1))(1); }
  /// y coordinate of domain node i counted from base b.
  virtual double& Y(int i, int b) { return (*nodes.get_at(i - b + 1))(2); }
  /// z coordinate of domain node i counted from base b.
  virtual double& Z(int i, int b) { return (*nodes.get_at(i - b + 1))(3); }
};

/// Writes the domain as a triangle mesh (first three nodes of every element), for inspection.
std::ostream& operator<<(std::ostream& out, Domain& d);
/// Returns the stream unchanged.
std::ostream& operator>>(std::ostream& out, Domain& d);
