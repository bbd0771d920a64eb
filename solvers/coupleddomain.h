// What a linear solve needs of the problem part it solves for.
#pragma once

class ReaVec;

/// A problem part whose coupling step runs between the passes of a coupled solve; the domains
/// implement it and hand themselves to the solve, so the solvers never need the layers above.
class CoupledDomain {
 public:
  virtual ~CoupledDomain() = default;
  /// Coupling step after each pass over the three systems, given their current solutions.
  virtual void SolveCoupled(ReaVec& x1, ReaVec& x2, ReaVec& x3) = 0;
};
