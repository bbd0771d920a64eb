// Consistent mass matrix of a boundary element set (its line in two dimensions, its surface in
// three), added into a general sparse matrix that the set owns.
#pragma once

class Mesh;
class SystemSparseMatrix;

/// Adds L/3 (diagonal) and L/6 (off it) of every 2-node line of `set` at the nodes' numbers in
/// `slot` (rows and columns count from 1 in the slot, from 0 in A).
void CalcBodyMatrixes2NodesLinear(Mesh* set, SystemSparseMatrix* A, int slot);
/// Adds A/6 (diagonal) and A/12 (off it) of every 3-node triangle of `set`, whatever its orientation.
void CalcBodyMatrixes3NodesTriangle(Mesh* set, SystemSparseMatrix* A, int slot);
/// Adds the Gauss-rule mass of every element of `set` in its local frame (other boundary orders).
void CalcBodyMatrixesDefault(Mesh* set, SystemSparseMatrix* A, int slot);
/// The one of the three that matches the set's element order.
void CalcBodyMatrixes(Mesh* set, SystemSparseMatrix* A, int slot);
