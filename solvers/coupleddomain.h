// What a linear solve needs of the problem part it solves for.
#pragma once

class ReaVec;

/// A problem part whose coupling step runs between the passes of a coupled solve; the driver's
/// Domain implements it, so the solvers never need the domains above them.
class CoupledDomain {
 public:
  virtual ~CoupledDomain() = default;
  /// Coupling step after each pass over the three systems, given their current solutions.
  virtual void SolveCoupled(ReaVec& x1, ReaVec& x2, ReaVec& x3) = 0;
};
