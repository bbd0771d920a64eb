// Pointwise pieces of the segregated velocity-pressure solve: the stabilisation parameters of the
// momentum and pressure equations and the local frame of a wall normal.
#pragma once

class Matrix;
class ReaVec;

/// Momentum stabilisation parameter of a node: the convective parameter tauc alone where the
/// viscosity nu is below 1e-14, else 1 / (4 nu / h^2 + 1 / (tauc + 1e-14)).
double Eval_Tau(double tauc, double nu, double h);

/// Pressure stabilisation parameter of a node: 0 where nu is below 1e-14, else as Eval_Tau (the
/// speed does not enter).
double Eval_TauP(double tauc, double nu, double speed, double h);

/// Local frame of the normal n (unit length): row 0 is n, rows 1 and 2 two unit tangents (in two
/// dimensions row 1 only; row 2 is zero). R is row-major 3 x 3.
void RotationMatrixFromVector(double (*R)[3], const double* n, int dimension);

/// The same frame into a 3 x 3 matrix.
void RotationMatrixFromVector(Matrix& R, const ReaVec& n, int dimension);

/// Rotation matrix of angle `angle` (radians) about the unit axis `axis` (Rodrigues' formula).
void RotateAxe(Matrix& R, const ReaVec& axis, double angle);
