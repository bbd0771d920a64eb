// Gauss integration rules of every element shape, with the shape functions and
// their reference derivatives at the integration points.
#pragma once

#include "foundation/matrix.h"
#include "input/types.h"

/// Largest number of integration points of any rule (the 27-point hexahedron rule).
inline constexpr int kMaxGaussPoints = 27;

/// Fills, for each point p of the rule of `order` for element order `eo`, the weight w[p],
/// the shape values N[p] (nnode x 1) and the reference derivatives dN[p] (dim x nnode);
/// returns the number of points (0 for an unknown element order). The caller provides at
/// least kMaxGaussPoints entries in each array; matrices keep their storage when their
/// element count does not change, so repeated calls for one shape allocate nothing.
int Give_Integration_Data(ElemOrder eo, int order, Matrix* N, Matrix* dN, double* w);

/// Nodes per element of an element order (0 outside 1..16).
int ShapeNodeCount(ElemOrder eo);
/// Reference dimension of an element order: 1 lines, 2 surfaces, 3 volumes (0 outside 1..16).
int ShapeDimension(ElemOrder eo);

/// Shape values N[nnode] and reference derivatives dN[dim*nnode] (row-major, one row per
/// reference coordinate) of element order `eo` at the reference point (xi, eta, zeta).
/// Nothing is written for an element order outside 1..16.
void EvalShapeFunctions(ElemOrder eo, double xi, double eta, double zeta, double* N, double* dN);
