// Desired element size for remeshing from the flow solution (a residual-based error estimate)
// and the background-mesh file that carries it to a mesh generator.
#pragma once

#include <ostream>
#include <vector>

#include "foundation/bitvec.h"
#include "foundation/plex.h"
#include "foundation/reavec.h"
#include "input/types.h"
#include "mesh/mesh.h"
#include "mesh/node.h"
#include "mesh/utilities.h"

class SymmetricSparseMatrix;
class SystemSparseMatrix;
class Units;

/// Background-mesh code that writes each node's mean edge length as its size (no keyword selects it).
inline constexpr int kEdgeLengthBackMesh = 7;

/// What the estimator reads of the fluid domain, in internal units. Node k (its number in `slot`)
/// is pattern row k - 1 of the matrices and entry k of every vector; every vector has n entries,
/// n being the rows of the mass matrix.
struct DesiredSizeFields {
  int dimension = 2;                  ///< 2 or 3; in 2-D the z fields are read as zero
  double dt = 1;                      ///< current time increment
  Plex<Node>* nodes = nullptr;        ///< the domain's nodes
  int slot = 1;                       ///< numbering slot of the domain-local number
  const ReaVec* Vx = nullptr;         ///< velocity
  const ReaVec* Vy = nullptr;         ///< velocity
  const ReaVec* Vz = nullptr;         ///< velocity (may be null in 2-D)
  const ReaVec* Vx_ = nullptr;        ///< previous-step velocity
  const ReaVec* Vy_ = nullptr;        ///< previous-step velocity
  const ReaVec* Vz_ = nullptr;        ///< previous-step velocity (may be null in 2-D)
  const ReaVec* Vs = nullptr;         ///< viscosity
  const ReaVec* Dn = nullptr;         ///< density
  const ReaVec* Pr = nullptr;         ///< pressure
  const ReaVec* h = nullptr;          ///< nodal element size
  const SymmetricSparseMatrix* M = nullptr;  ///< consistent mass matrix
  const SystemSparseMatrix* Gx = nullptr;    ///< derivative matrices: integral of N_i dN_j/dx
  const SystemSparseMatrix* Gy = nullptr;    ///< ... along y
  const SystemSparseMatrix* Gz = nullptr;    ///< ... along z (may be null in 2-D)
  const BitVec* fixX = nullptr;       ///< nodes of fixed velocity along OX (by local number)
  const BitVec* fixY = nullptr;       ///< ... along OY
  const BitVec* fixZ = nullptr;       ///< ... along OZ (read in 3-D only)
  const BitVec* fixP = nullptr;       ///< nodes of fixed pressure
};

/// The estimate: each node's mean edge length and desired size, and how many nodes asked for
/// larger (grow) or smaller (shrink) elements.
struct BackgroundSizes {
  std::vector<double> h0;    ///< mean length of the pattern edges at each node
  std::vector<double> size;  ///< desired size of each node
  int grow = 0;              ///< nodes whose relative error is below 1
  int shrink = 0;            ///< nodes whose relative error is above 1
};

/// Computes the sizes for background-mesh type `type`: 0 returns 0 (nothing to write); the
/// residual estimator (5) and the mean edge lengths (7) return 1; any other type ends the run.
int DesiredElementSize(int type, const DesiredSizeFields& f, BackgroundSizes& out);

/// Writes "BackgroundMesh V 1.0", every fluid set whole with its coordinates times scale, the
/// scaled sizes by local node number, the counters and the node estimate.
void WriteBackgroundMesh(std::ostream& out, const std::vector<Mesh*>& fluidMeshes, double scale,
                         const BackgroundSizes& s);

/// The fluid domain's background-mesh output: times and announces the work, computes the sizes of
/// `type` and, unless the type is 0, writes the file to out.
void OutputBackgroundMesh(std::ostream* out, int type, const DesiredSizeFields& f,
                          const std::vector<Mesh*>& fluidMeshes, double scale);
/// The same over the domain's table of fluid sets (any set class).
template <class M>
void OutputBackgroundMesh(std::ostream* out, int type, const DesiredSizeFields& f, Plex<M>* fluidMeshes,
                          double scale) {
  OutputBackgroundMesh(out, type, f, MeshList(fluidMeshes), scale);
}

/// Scale of the written lengths: 1 over the factor `internal` gives for the coordinate unit text.
double BackgroundMeshScale(const Units& internal, const char* geometryUnits);
