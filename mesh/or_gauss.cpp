// Gauss integration rules and shape functions of every element order.
#include "mesh/or_gauss.h"

#include "foundation/error.h"

namespace {

/// Reference shapes of the element orders.
enum Shape { kNoShape, kLine, kTri, kQuad, kTet, kHex, kPrism };

/// One integration point: reference coordinates and weight.
struct GaussPoint {
  double x, y, z, w;
};

// Constants of the rules, used exactly as written.
constexpr double g = 0.577350269189626;
constexpr double r = 0.774596669241483;
constexpr double third = 0.333333333333333;
constexpr double twothird = 0.666666666666667;
constexpr double sixth = 0.166666666666667;

/// Reference coordinates of the 27 hexahedron nodes: corners, edge mid-points, face centres, centre.
constexpr signed char kHexNode[27][3] = {
    {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1},
    {-1, 1, 1},   {0, -1, -1}, {1, 0, -1}, {0, 1, -1},  {-1, 0, -1}, {-1, -1, 0}, {1, -1, 0},
    {1, 1, 0},    {-1, 1, 0},  {0, -1, 1}, {1, 0, 1},   {0, 1, 1},   {-1, 0, 1},  {0, 0, -1},
    {0, -1, 0},   {1, 0, 0},   {0, 1, 0},  {-1, 0, 0},  {0, 0, 1},   {0, 0, 0}};

/// Reference coordinates of the 9 quadrilateral nodes: corners, mid-sides, centre.
constexpr signed char kQuadNode[9][2] = {{-1, -1}, {1, -1}, {1, 1},  {-1, 1}, {0, -1},
                                         {1, 0},   {0, 1},  {-1, 0}, {0, 0}};

/// Corner pairs of the six tetrahedron edges, in the order of the edge nodes 5..10.
constexpr int kTetEdge[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};

/// Node counts of the element orders 0..16.
constexpr int kNodes[17] = {0, 2, 3, 3, 6, 4, 8, 9, 4, 5, 10, 11, 8, 9, 20, 27, 6};

Shape ShapeOf(int eo) {
  if (eo == 1 || eo == 2) return kLine;
  if (eo == 3 || eo == 4) return kTri;
  if (eo >= 5 && eo <= 7) return kQuad;
  if (eo >= 8 && eo <= 11) return kTet;
  if (eo >= 12 && eo <= 15) return kHex;
  if (eo == 16) return kPrism;
  return kNoShape;
}

/// The quadratic orders, whose requested integration order is doubled.
bool Doubled(int eo) { return eo == 4 || eo == 6 || eo == 7 || eo == 10 || eo == 11 || eo == 14 || eo == 15; }

const char* RuleText(Shape s) {
  switch (s) {
    case kLine: return "Linear integration rule for order ";
    case kTri: return "Triangle integration rule for order ";
    case kQuad: return "Quadrilateral integration rule for order ";
    case kTet: return "Tetrahedra integration rule for order ";
    case kHex: return "Hexahedra integration rule for order ";
    case kPrism: return "Prisma integration rule for order ";
    default: return "";
  }
}

/// Gauss-Legendre points and weights on [-1, 1] for effective order k.
int LineRule(int k, double* x, double* w) {
  if (k <= 1) {
    x[0] = 0.0, w[0] = 2.0;
    return 1;
  }
  if (k <= 3) {
    x[0] = -g, x[1] = g;
    w[0] = w[1] = 1.0;
    return 2;
  }
  x[0] = -r, x[1] = 0.0, x[2] = r;
  w[0] = 0.555555555555556, w[1] = 0.888888888888889, w[2] = 0.555555555555556;
  return 3;
}

int Set(GaussPoint* p, int i, double x, double y, double z, double w) {
  p[i] = {x, y, z, w};
  return i + 1;
}

/// Triangle rules on (0,0), (1,0), (0,1), at zeta = z.
int TriRule(int k, GaussPoint* p, double z = 0.0) {
  int i = 0;
  if (k <= 1) {
    i = Set(p, i, third, third, z, 0.5);
  } else if (k == 2) {
    i = Set(p, i, twothird, sixth, z, sixth);
    i = Set(p, i, sixth, twothird, z, sixth);
    i = Set(p, i, sixth, sixth, z, sixth);
  } else if (k == 3) {
    const double w = 0.260416666666667;
    i = Set(p, i, third, third, z, -0.28125);
    i = Set(p, i, 0.2, 0.2, z, w);
    i = Set(p, i, 0.6, 0.2, z, w);
    i = Set(p, i, 0.2, 0.6, z, w);
  } else if (k == 4) {
    const double a = 0.091576213509771, b = 0.816847572980459, wa = 0.054975871827661;
    const double u = 0.445948490915965, v = 0.10810301816807, wu = 0.1116907948390055;
    i = Set(p, i, b, a, z, wa);
    i = Set(p, i, a, a, z, wa);
    i = Set(p, i, a, b, z, wa);
    i = Set(p, i, v, u, z, wu);
    i = Set(p, i, u, u, z, wu);
    i = Set(p, i, u, v, z, wu);
  } else {
    const double a = 0.470142064105115, b = 0.05971587178977, wa = 0.066197076394253;
    const double u = 0.101286507323456, v = 0.797426985353087, wu = 0.0629695902724135;
    i = Set(p, i, third, third, z, 0.1125);
    i = Set(p, i, b, a, z, wa);
    i = Set(p, i, a, b, z, wa);
    i = Set(p, i, a, a, z, wa);
    i = Set(p, i, v, u, z, wu);
    i = Set(p, i, u, v, z, wu);
    i = Set(p, i, u, u, z, wu);
  }
  return i;
}

int QuadRule(int k, GaussPoint* p) {
  if (k <= 1) return Set(p, 0, 0.0, 0.0, 0.0, 4.0);
  if (k <= 3) {
    for (int i = 0; i < 4; ++i) p[i] = {g * kQuadNode[i][0], g * kQuadNode[i][1], 0.0, 1.0};
    return 4;
  }
  for (int i = 0; i < 9; ++i) {
    const double w = i < 4 ? 0.308641975308642 : (i < 8 ? 0.493827160493827 : 0.790123456790123);
    p[i] = {r * kQuadNode[i][0], r * kQuadNode[i][1], 0.0, w};
  }
  return 9;
}

int TetRule(int k, GaussPoint* p) {
  int i = 0;
  if (k <= 1) {
    i = Set(p, i, 0.25, 0.25, 0.25, 0.16666666666666666);
  } else if (k == 2) {
    const double a = 0.1381966011250105, b = 0.5854101966249685, w = 0.041666666666666664;
    i = Set(p, i, a, a, a, w);
    i = Set(p, i, b, a, a, w);
    i = Set(p, i, a, b, a, w);
    i = Set(p, i, a, a, b, w);
  } else if (k == 3) {
    i = Set(p, i, 0.25, 0.25, 0.25, -0.1333333333333333);
    i = Set(p, i, sixth, sixth, sixth, 0.075);
    i = Set(p, i, 0.5, sixth, sixth, 0.075);
    i = Set(p, i, sixth, 0.5, sixth, 0.075);
    i = Set(p, i, sixth, sixth, 0.5, 0.075);
  } else if (k == 4) {
    const double a = 0.071428571428571, b = 0.785714285714285, wa = 0.0076222222222222;
    const double u = 0.399403576166799, v = 0.100596423833201, wu = 0.0248888888888888;
    i = Set(p, i, 0.25, 0.25, 0.25, -0.0131555555555555);
    i = Set(p, i, b, a, a, wa);
    i = Set(p, i, a, b, a, wa);
    i = Set(p, i, a, a, b, wa);
    i = Set(p, i, a, a, a, wa);
    i = Set(p, i, u, u, v, wu);
    i = Set(p, i, u, v, u, wu);
    i = Set(p, i, u, v, v, wu);
    i = Set(p, i, v, u, u, wu);
    i = Set(p, i, v, u, v, wu);
    i = Set(p, i, v, v, u, wu);
  } else {
    const double a = 0.3108859192633005, b = 0.0673422422100983, wa = 0.0187813209530027;
    const double u = 0.0927352503108912, v = 0.7217942490673264, wu = 0.0122488405193936;
    const double s = 0.4544962958743506, t = 0.0455037041256494, ws = 0.0070910034628468;
    i = Set(p, i, b, a, a, wa);
    i = Set(p, i, a, b, a, wa);
    i = Set(p, i, a, a, b, wa);
    i = Set(p, i, a, a, a, wa);
    i = Set(p, i, v, u, u, wu);
    i = Set(p, i, u, v, u, wu);
    i = Set(p, i, u, u, v, wu);
    i = Set(p, i, u, u, u, wu);
    i = Set(p, i, s, s, t, ws);
    i = Set(p, i, s, t, s, ws);
    i = Set(p, i, s, t, t, ws);
    i = Set(p, i, t, s, s, ws);
    i = Set(p, i, t, s, t, ws);
    i = Set(p, i, t, t, s, ws);
  }
  return i;
}

int HexRule(int k, GaussPoint* p) {
  if (k <= 1) return Set(p, 0, 0.0, 0.0, 0.0, 8.0);
  if (k <= 3) {
    for (int i = 0; i < 8; ++i) p[i] = {g * kHexNode[i][0], g * kHexNode[i][1], g * kHexNode[i][2], 1.0};
    return 8;
  }
  for (int i = 0; i < 27; ++i) {
    const double w = i < 8    ? 0.171467764060357
                     : i < 20 ? 0.274348422496571
                     : i < 26 ? 0.438957475994513
                              : 0.702331961591221;
    p[i] = {r * kHexNode[i][0], r * kHexNode[i][1], r * kHexNode[i][2], w};
  }
  return 27;
}

int PrismRule(int k, GaussPoint* p) {
  if (k <= 1) return Set(p, 0, third, third, 0.0, 1.0);
  const int tk = k == 2 ? 2 : 3;  // the triangle rule of each layer
  int n = TriRule(tk, p, -g);
  n += TriRule(tk, p + n, g);
  return n;
}

/// Line factor of the quadratic Lagrange functions at nodes -1, 0, +1, and its derivative.
inline double Lag(int a, double t) { return a < 0 ? 0.5 * t * (t - 1.0) : (a > 0 ? 0.5 * t * (t + 1.0) : 1.0 - t * t); }
inline double DLag(int a, double t) { return a < 0 ? t - 0.5 : (a > 0 ? t + 0.5 : -2.0 * t); }

void LineShape(int eo, double x, double* N, double* dN) {
  if (eo == 1) {
    N[0] = 0.5 * (1.0 - x), N[1] = 0.5 * (1.0 + x);
    dN[0] = -0.5, dN[1] = 0.5;
    return;
  }
  N[0] = 0.5 * x * (x - 1.0), N[1] = 0.5 * x * (x + 1.0), N[2] = 1.0 - x * x;
  dN[0] = x - 0.5, dN[1] = x + 0.5, dN[2] = -2.0 * x;
}

void TriShape(int eo, double x, double y, double* N, double* dN) {
  const double L = 1.0 - x - y;
  if (eo == 3) {
    N[0] = L, N[1] = x, N[2] = y;
    dN[0] = -1.0, dN[1] = 1.0, dN[2] = 0.0;
    dN[3] = -1.0, dN[4] = 0.0, dN[5] = 1.0;
    return;
  }
  // Values: the linear functions of the four sub-triangles cut by the mid-side nodes.
  for (int i = 0; i < 6; ++i) N[i] = 0.0;
  if (x > 0.5) {
    N[1] = 2.0 * x - 1.0, N[3] = 2.0 * L, N[4] = 2.0 * y;
  } else if (y > 0.5) {
    N[2] = 2.0 * y - 1.0, N[4] = 2.0 * x, N[5] = 2.0 * L;
  } else if (x + y < 0.5) {
    N[0] = 1.0 - 2.0 * (x + y), N[3] = 2.0 * x, N[5] = 2.0 * y;
  } else {
    N[3] = 1.0 - 2.0 * y, N[4] = 2.0 * (x + y) - 1.0, N[5] = 1.0 - 2.0 * x;
  }
  // Derivatives: those of the six quadratic functions.
  double* dx = dN;
  double* dy = dN + 6;
  dx[0] = 1.0 - 4.0 * L, dx[1] = 4.0 * x - 1.0, dx[2] = 0.0;
  dx[3] = 4.0 * (L - x), dx[4] = 4.0 * y, dx[5] = -4.0 * y;
  dy[0] = 1.0 - 4.0 * L, dy[1] = 0.0, dy[2] = 4.0 * y - 1.0;
  dy[3] = -4.0 * x, dy[4] = 4.0 * x, dy[5] = 4.0 * (L - y);
}

void QuadShape(int eo, double x, double y, double* N, double* dN) {
  const int nn = kNodes[eo];
  double* dx = dN;
  double* dy = dN + nn;
  if (eo == 7) {
    for (int i = 0; i < 9; ++i) {
      const int a = kQuadNode[i][0], b = kQuadNode[i][1];
      N[i] = Lag(a, x) * Lag(b, y);
      dx[i] = DLag(a, x) * Lag(b, y);
      dy[i] = Lag(a, x) * DLag(b, y);
    }
    return;
  }
  if (eo == 5) {
    for (int i = 0; i < 4; ++i) {
      const double a = kQuadNode[i][0], b = kQuadNode[i][1];
      N[i] = 0.25 * (1.0 + a * x) * (1.0 + b * y);
      dx[i] = 0.25 * a * (1.0 + b * y);
      dy[i] = 0.25 * b * (1.0 + a * x);
    }
    return;
  }
  // Eight nodes. Values: linear in the four corner triangles, bilinear in the inner square.
  for (int i = 0; i < 8; ++i) N[i] = 0.0;
  if (x + y < -1.0) {
    N[0] = -1.0 - x - y, N[4] = 1.0 + x, N[7] = 1.0 + y;
  } else if (y - x < -1.0) {
    N[1] = x - y - 1.0, N[4] = 1.0 - x, N[5] = 1.0 + y;
  } else if (x + y > 1.0) {
    N[2] = x + y - 1.0, N[5] = 1.0 - y, N[6] = 1.0 - x;
  } else if (y - x > 1.0) {
    N[3] = y - x - 1.0, N[6] = 1.0 + x, N[7] = 1.0 - y;
  } else {
    for (int i = 0; i < 4; ++i) N[i] = 0.25 * (1.0 + kQuadNode[i][0] * x) * (1.0 + kQuadNode[i][1] * y);
  }
  // Derivatives: those of the serendipity functions.
  for (int i = 0; i < 4; ++i) {
    const double a = kQuadNode[i][0], b = kQuadNode[i][1];
    dx[i] = 0.25 * a * (1.0 + b * y) * (2.0 * a * x + b * y);
    dy[i] = 0.25 * b * (1.0 + a * x) * (a * x + 2.0 * b * y);
  }
  for (int i = 4; i < 8; ++i) {
    const double a = kQuadNode[i][0], b = kQuadNode[i][1];
    if (a == 0.0) {  // nodes 5 and 7
      dx[i] = -x * (1.0 + b * y);
      dy[i] = 0.5 * b * (1.0 - x * x);
    } else {  // nodes 6 and 8
      dx[i] = 0.5 * a * (1.0 - y * y);
      dy[i] = -y * (1.0 + a * x);
    }
  }
}

void TetShape(int eo, double x, double y, double z, double* N, double* dN) {
  const int nn = kNodes[eo];
  const double L[4] = {1.0 - x - y - z, x, y, z};
  // dL[c][row]: derivative of L_c along reference coordinate row.
  static constexpr double dL[4][3] = {{-1, -1, -1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  if (eo == 8 || eo == 9) {
    for (int c = 0; c < 4; ++c) {
      N[c] = L[c];
      for (int d = 0; d < 3; ++d) dN[d * nn + c] = dL[c][d];
    }
    if (eo == 9) {
      const double B = (16.0 / 3.0) * L[0] * (1.0 - L[0]);
      const double dB = (16.0 / 3.0) * (2.0 * L[0] - 1.0);  // the same in every row
      for (int c = 0; c < 4; ++c) {
        N[c] -= 0.25 * B;
        for (int d = 0; d < 3; ++d) dN[d * nn + c] -= 0.25 * dB;
      }
      N[4] = B;
      for (int d = 0; d < 3; ++d) dN[d * nn + 4] = dB;
    }
    return;
  }
  for (int c = 0; c < 4; ++c) {
    N[c] = L[c] * (2.0 * L[c] - 1.0);
    for (int d = 0; d < 3; ++d) dN[d * nn + c] = (4.0 * L[c] - 1.0) * dL[c][d];
  }
  for (int e = 0; e < 6; ++e) {
    const int a = kTetEdge[e][0], b = kTetEdge[e][1];
    N[4 + e] = 4.0 * L[a] * L[b];
    for (int d = 0; d < 3; ++d) dN[d * nn + 4 + e] = 4.0 * (L[a] * dL[b][d] + L[b] * dL[a][d]);
  }
  if (eo == 11) {
    const double B = 256.0 * L[0] * L[1] * L[2] * L[3];
    double dB[3];
    for (int d = 0; d < 3; ++d)
      dB[d] = 256.0 * (dL[0][d] * L[1] * L[2] * L[3] + L[0] * dL[1][d] * L[2] * L[3] +
                       L[0] * L[1] * dL[2][d] * L[3] + L[0] * L[1] * L[2] * dL[3][d]);
    for (int c = 0; c < 10; ++c) {
      const double f = c < 4 ? 0.125 : -0.25;
      N[c] += f * B;
      for (int d = 0; d < 3; ++d) dN[d * nn + c] += f * dB[d];
    }
    N[10] = B;
    for (int d = 0; d < 3; ++d) dN[d * nn + 10] = dB[d];
  }
}

void HexShape(int eo, double x, double y, double z, double* N, double* dN) {
  const int nn = kNodes[eo];
  double* dx = dN;
  double* dy = dN + nn;
  double* dz = dN + 2 * nn;
  if (eo == 15) {
    for (int i = 0; i < 27; ++i) {
      const int a = kHexNode[i][0], b = kHexNode[i][1], c = kHexNode[i][2];
      const double lx = Lag(a, x), ly = Lag(b, y), lz = Lag(c, z);
      N[i] = lx * ly * lz;
      dx[i] = DLag(a, x) * ly * lz;
      dy[i] = lx * DLag(b, y) * lz;
      dz[i] = lx * ly * DLag(c, z);
    }
    return;
  }
  if (eo == 12 || eo == 13) {
    for (int i = 0; i < 8; ++i) {
      const double a = kHexNode[i][0], b = kHexNode[i][1], c = kHexNode[i][2];
      const double fx = 1.0 + a * x, fy = 1.0 + b * y, fz = 1.0 + c * z;
      N[i] = 0.125 * fx * fy * fz;
      dx[i] = 0.125 * a * fy * fz;
      dy[i] = 0.125 * fx * b * fz;
      dz[i] = 0.125 * fx * fy * c;
    }
    if (eo == 13) {
      const double gx = 1.0 - x * x, gy = 1.0 - y * y, gz = 1.0 - z * z;
      const double B = gx * gy * gz;
      const double Bx = -2.0 * x * gy * gz, By = -2.0 * y * gx * gz, Bz = -2.0 * z * gx * gy;
      for (int i = 0; i < 8; ++i) {
        N[i] -= 0.125 * B;
        dx[i] -= 0.125 * Bx, dy[i] -= 0.125 * By, dz[i] -= 0.125 * Bz;
      }
      N[8] = B, dx[8] = Bx, dy[8] = By, dz[8] = Bz;
    }
    return;
  }
  // Twenty nodes (serendipity).
  for (int i = 0; i < 8; ++i) {
    const double a = kHexNode[i][0], b = kHexNode[i][1], c = kHexNode[i][2];
    const double fx = 1.0 + a * x, fy = 1.0 + b * y, fz = 1.0 + c * z;
    const double s = a * x + b * y + c * z - 2.0;
    N[i] = 0.125 * fx * fy * fz * s;
    dx[i] = 0.125 * a * fy * fz * (s + fx);
    dy[i] = 0.125 * b * fx * fz * (s + fy);
    dz[i] = 0.125 * c * fx * fy * (s + fz);
  }
  for (int i = 8; i < 20; ++i) {
    // (1 - s^2) along the coordinate that is 0 at the node, (1 + t t_i) along the others.
    const double cx = kHexNode[i][0], cy = kHexNode[i][1], cz = kHexNode[i][2];
    const double fx = cx == 0.0 ? 1.0 - x * x : 1.0 + cx * x, gx = cx == 0.0 ? -2.0 * x : cx;
    const double fy = cy == 0.0 ? 1.0 - y * y : 1.0 + cy * y, gy = cy == 0.0 ? -2.0 * y : cy;
    const double fz = cz == 0.0 ? 1.0 - z * z : 1.0 + cz * z, gz = cz == 0.0 ? -2.0 * z : cz;
    N[i] = 0.25 * fx * fy * fz;
    dx[i] = 0.25 * gx * fy * fz;
    dy[i] = 0.25 * fx * gy * fz;
    dz[i] = 0.25 * fx * fy * gz;
  }
}

void PrismShape(double x, double y, double z, double* N, double* dN) {
  const double L = 1.0 - x - y;
  const double up = 0.5 * (1.0 + z), dn = 0.5 * (1.0 - z);
  N[0] = up * L, N[1] = up * x, N[2] = up * y;
  N[3] = dn * L, N[4] = dn * x, N[5] = dn * y;
  double* dx = dN;
  double* dy = dN + 6;
  double* dz = dN + 12;
  dx[0] = -up, dx[1] = up, dx[2] = 0.0, dx[3] = -dn, dx[4] = dn, dx[5] = 0.0;
  dy[0] = -up, dy[1] = 0.0, dy[2] = up, dy[3] = -dn, dy[4] = 0.0, dy[5] = dn;
  dz[0] = 0.5 * L, dz[1] = 0.5 * x, dz[2] = 0.5 * y;
  dz[3] = -0.5 * L, dz[4] = -0.5 * x, dz[5] = -0.5 * y;
}

}  // namespace

int ShapeNodeCount(ElemOrder eo) {
  const int o = static_cast<int>(eo);
  return o >= 1 && o <= 16 ? kNodes[o] : 0;
}

int ShapeDimension(ElemOrder eo) {
  switch (ShapeOf(static_cast<int>(eo))) {
    case kLine: return 1;
    case kTri:
    case kQuad: return 2;
    case kTet:
    case kHex:
    case kPrism: return 3;
    default: return 0;
  }
}

void EvalShapeFunctions(ElemOrder eo, double xi, double eta, double zeta, double* N, double* dN) {
  const int o = static_cast<int>(eo);
  switch (ShapeOf(o)) {
    case kLine: LineShape(o, xi, N, dN); break;
    case kTri: TriShape(o, xi, eta, N, dN); break;
    case kQuad: QuadShape(o, xi, eta, N, dN); break;
    case kTet: TetShape(o, xi, eta, zeta, N, dN); break;
    case kHex: HexShape(o, xi, eta, zeta, N, dN); break;
    case kPrism: PrismShape(xi, eta, zeta, N, dN); break;
    default: break;
  }
}

int Give_Integration_Data(ElemOrder eo, int order, Matrix* N, Matrix* dN, double* w) {
  const int o = static_cast<int>(eo);
  const Shape shape = ShapeOf(o);
  if (shape == kNoShape) return 0;
  long long k = Doubled(o) ? 2LL * order : order;  // no overflow for extreme orders
  if (k < 0) OLVU_FATAL(RuleText(shape) << k << " not implemented\n");
  if (k > 5) k = 5;

  GaussPoint pts[kMaxGaussPoints];
  int n = 0;
  switch (shape) {
    case kLine: {
      double x[3], lw[3];
      n = LineRule(static_cast<int>(k), x, lw);
      for (int i = 0; i < n; ++i) pts[i] = {x[i], 0.0, 0.0, lw[i]};
      break;
    }
    case kTri: n = TriRule(static_cast<int>(k), pts); break;
    case kQuad: n = QuadRule(static_cast<int>(k), pts); break;
    case kTet: n = TetRule(static_cast<int>(k), pts); break;
    case kHex: n = HexRule(static_cast<int>(k), pts); break;
    case kPrism: n = PrismRule(static_cast<int>(k), pts); break;
    default: break;
  }

  const int nn = kNodes[o];
  const int dim = ShapeDimension(eo);
  double nv[kMaxGaussPoints];
  double dv[3 * kMaxGaussPoints];
  for (int p = 0; p < n; ++p) {
    w[p] = pts[p].w;
    EvalShapeFunctions(eo, pts[p].x, pts[p].y, pts[p].z, nv, dv);
    N[p].redimension(nn, 1);
    for (int i = 0; i < nn; ++i) N[p](i + 1, 1) = nv[i];
    dN[p].redimension(dim, nn);
    for (int d = 0; d < dim; ++d)
      for (int i = 0; i < nn; ++i) dN[p](d + 1, i + 1) = dv[d * nn + i];
  }
  return n;
}
