// Conservative diffusion with a diffusivity given per node, on a matrix L of zero row sums (the
// Laplacian, or one component of a conduction tensor).
#pragma once

/// The entry of the node pair (i, j) of the diffusion operator: the pair's mean diffusivity times
/// L_ij. `excess` gathers L_ij (d_j - d_i), what the means add to row i beyond d_i L; the caller
/// takes half of it from the diagonal once the row is done, so that every row still sums to zero
/// and the operator stays symmetric: what leaves one node enters its neighbour, the flux between
/// two nodes uses the diffusivity between them. A uniform d gives d L_ij bit for bit: the mean of
/// two equal numbers is exact and the excess a sum of zeros.
inline double PairDiffusion(double di, double dj, double l, double& excess) {
  excess += l * (dj - di);
  return 0.5 * (di + dj) * l;
}
