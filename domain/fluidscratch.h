// The fluid domain's nodal work vectors, one per role. Each is sized to the node count where it
// is taken (FluidDomain::Nodal) and keeps its storage from call to call, so that the operations of
// every step and iteration allocate nothing; each operation writes a vector before it reads it.
#pragma once

#include "foundation/reavec.h"

/// Nodal work vectors of the fluid domain's operations, named by what they hold.
struct FluidScratch {
  // Momentum and velocity solves

  /// m^-1 K u_c: the convective derivative of each velocity component ([0] that of the field of
  /// a scalar system), from which the fourth-order streamline term is formed.
  ReaVec convective[3];
  /// K^T m^-1 K u_c: the fourth-order streamline term of each component ([0] of a scalar system).
  ReaVec streamline[3];
  /// Right-hand side of component c's velocity system with its boundary rows imposed; after the
  /// solve, the component as it was before it.
  ReaVec componentRhs[3];
  /// u0 / (theta dt) + s: the operand of a right-hand side formed with one mass product.
  ReaVec massOperand;
  /// Wall-law coefficient of the body nodes, weighted by their wall share.
  ReaVec wallFriction;
  /// Body integral of the wall-law coefficient: the friction added to the momentum diagonal.
  ReaVec wallDiagonal;
  /// Stress vector of the nodes of the outflow body sets.
  ReaVec outflowStress[3];
  /// u0 + (dt / T - 1) u~: the operand of a pseudo-step's momentum right-hand sides.
  ReaVec pseudoOperand[3];
  /// Velocity relative to the moving mesh, component by component.
  ReaVec relativeVelocity[3];
  /// Buoyancy factor of gravity: (rho - rho_ref) / rho less the floatability.
  ReaVec buoyancy;
  /// L nu: the diagonal correction of the viscous term of the momentum matrix.
  ReaVec viscousDiagonal;

  // Pressure and projection

  /// Speed |u| node by node (relative to the mesh when it moves).
  ReaVec speed;
  /// Effective kinematic viscosity, laminar plus eddy.
  ReaVec viscosity;
  /// Nodal pressure gradient m^-1 G_c p.
  ReaVec pressureGradient[3];
  /// sum_c G_c^T m^-1 G_c p: the projected pressure gradient of the pressure right-hand side.
  ReaVec projectedGradient;
  /// L p_prev: the Laplacian of the pressure the solve starts from.
  ReaVec previousLaplacian;
  /// (1/c^2) / (theta dt)^2: the compressibility weight of the pressure system.
  ReaVec compressibility;
  /// M p0: the mass product of the previous step's pressure.
  ReaVec previousMassPressure;
  /// The pressure change that the projection takes out of the velocity.
  ReaVec pressureChange;
  /// The velocity a theta step ends with, (u - (1 - theta) u0) / theta: the one whose divergence
  /// the pressure solve holds (only below theta 1).
  ReaVec stepEndVelocity[3];

  // Free surface

  /// Transpiration velocity of the start-of-step and of the end-of-step velocity, and the
  /// elevation half a step ahead that sets the surface pressure of a Crank-Nicolson step.
  ReaVec surfaceStartVelocity, surfaceEndVelocity, predictedElevation;
  /// theta dt G_c of the pressure change, one component at a time.
  ReaVec projectionGradient;

  // Scalar transport: temperature, energy and turbulence

  /// Heat capacity rho c (over theta dt in the solid).
  ReaVec capacity;
  /// Source of the transported field.
  ReaVec source;
  /// Reaction (sink per unit field) of the transported field.
  ReaVec reaction;
  /// Diffusivity of the transported field.
  ReaVec diffusivity;
  /// The turbulence solve's new field before it is accepted.
  ReaVec newField;
  /// Tangent reaction of a quadratic sink (also the cross diffusion of the SST model and the
  /// squared gradient of the working viscosity before they are used).
  ReaVec tangent;
  /// Friction velocity u* of the wall nodes (CalculateWallLaw), read by the wall values and the
  /// van Driest damping.
  ReaVec frictionVelocity;
  /// Strain-rate magnitude of the algebraic turbulence models.
  ReaVec strainRate;
  /// Damping function f_mu of the k-epsilon models.
  ReaVec damping;
  /// Blending function F1 of the SST model.
  ReaVec blending;
  /// Gradient products of two turbulence variables (G_c k and G_c omega), one component at a time.
  ReaVec variableGradient[2];

  // Smoothing and discontinuity capturing

  /// G_c x: the gradient products of the field being captured.
  ReaVec capturingGradient[3];
  /// (M x) / m: the mass-weighted neighbourhood mean of a field.
  ReaVec neighbourMean;
  /// Capturing indicator, or the blended field of a smoothing pass.
  ReaVec indicator;
  /// Off-diagonal mass product of the shock indicator.
  ReaVec offDiagonal;
  /// Boundary flux of the velocity, the change and its mass product of the volume correction.
  ReaVec boundaryFlux, volumeChange, massChange;

  // Geometry

  /// Volume share of one set's elements at each node (handed to the set), then m_i h_i.
  ReaVec volumeShare;
  /// Wall distance being moved to the first-node distances that the wall laws assume.
  ReaVec wallDistance;
};
