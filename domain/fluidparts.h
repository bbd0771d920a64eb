// What a fluid or solid domain needs of the libraries above domain/: it makes its body,
// moving-body and free-surface sets (bodies/) and its scalar problems (flow/) through this
// interface, and runs the sets' share of its own sequence through it. The domains' constructors,
// which live in bodies/, install the one implementation, so every program that makes a domain
// links it.
#pragma once

#include <memory>
#include <ostream>

class Input;
class Mesh;
class PhiProblem;
class ReaVec;
class SpcProblem;

/// The body and free-surface sets and the scalar problems of one domain, seen from below.
class FluidParts {
 public:
  virtual ~FluidParts() = default;

  // Making (the domain's tables take them over).

  /// Body set n from the current card: "Body", or "WBody" (a moving body) when `moving`.
  virtual std::unique_ptr<Mesh> NewBodySet(int n, Input* in, bool moving) = 0;
  /// Free-surface set n ("FreeS") from the current card.
  virtual std::unique_ptr<Mesh> NewFreeSurfaceSet(int n, Input* in) = 0;
  /// A Phi or species problem from its definition card.
  virtual std::unique_ptr<PhiProblem> NewPhiProblem(Input* in) = 0;
  virtual std::unique_ptr<SpcProblem> NewSpcProblem(Input* in) = 0;
  /// Phi or species problem n, made by an element set that gave its properties first.
  virtual std::unique_ptr<PhiProblem> NewPhiProblem(int n) = 0;
  virtual std::unique_ptr<SpcProblem> NewSpcProblem(int n) = 0;

  // The sets' share of the domain's sequence.

  /// ReadNodes: the body sets drop their elements outside the fluid.
  virtual void DropDryElements() = 0;
  /// InitialiseDomain: the elevations into Beta, the plain bodies' box and the characteristic length.
  virtual void InitialiseSets() = 0;
  /// StartNewStep: each body set's step, then the wall distance the wall laws assume.
  virtual void StartNewStep() = 0;
  /// FinishStep: the wall distance again, from the velocity the step ends with (the one the next
  /// step builds, which the results and the restart file show).
  virtual void FinishStep() = 0;
  /// UpdateVariables: the velocities of the outflow sets.
  virtual void OutflowVelocities() = 0;

  // Restart.

  /// The elevation of free-surface set n ("_Beta_t_").
  virtual ReaVec& Elevation(int n) = 0;
  /// The body sets' entries, each value with `digits` digits after the point: the friction
  /// velocity each wall law's next solve starts from ("_WLaw_") and, with a moving mesh, each
  /// moving body's state ("_MBody_" and the set's name), the distance field of the one-body
  /// deformation ("_MDist_") and the moved node coordinates ("_MCoord_").
  virtual void WriteSetsRestart(std::ostream& out, int digits) = 0;
  /// Reads entry `word` when it is one of the body sets' (false when it is not).
  virtual bool ReadSetsRestart(Input* in, const char* word) = 0;
  /// Ends the run when a restored wall distance ("_WDist_") is not what the run gives a node: at
  /// a wall node the first-node distance of its wall law (a y+ law's from the restored wall-law
  /// factor and velocity, when `exact`: both were restored and the viscosity is the set-up's at
  /// every step), elsewhere its distance to the walls in the mesh, `computed`, plus the restored
  /// value of its nearest wall node.
  virtual void CheckWallDistance(const ReaVec& computed, bool exact) = 0;
  /// After the last entry: the restored node coordinates checked and kept for PlaceRestoredMesh,
  /// and a notice for each entry of the sets the file lacks.
  virtual void FinishSetsRestart() = 0;
  /// Once the domain's set-up has run on the data's coordinates, as the unbroken run's did: the
  /// nodes where the restart puts them and what hangs on the geometry after them, as after a mesh
  /// update (nothing when the restart moves no node).
  virtual void PlaceRestoredMesh() = 0;

  // The body sets' terms in the flow solves (flow/).

  /// Wall-law friction and outflow stresses into the momentum system and right-hand sides.
  virtual void WallTerms(ReaVec& bx, ReaVec& by, ReaVec& bz) = 0;
  /// The heat flux q and flux reaction r of the body sets (w work space); false, and q and r
  /// untouched, when no set has either.
  virtual bool HeatFluxes(ReaVec& q, ReaVec& r, ReaVec& w) = 0;
  /// Adds the flux F and flux reaction G of the body sets for Phi (or species) problem `index`.
  virtual void ProblemFluxes(bool species, int index, ReaVec& w1, ReaVec& w2, ReaVec& F, ReaVec& G) = 0;
};
