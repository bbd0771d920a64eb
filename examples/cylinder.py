#!/usr/bin/env python3
"""Writes the data file of the steady flow past a cylinder in a channel (examples/cylinder).

Channel 2.2 x 0.41, cylinder of diameter 0.1 centred at (0.2, 0.2), parabolic inflow with 0.3 m/s
on the axis, viscosity 1e-3, density 1, no-slip walls, outlet pressure 0 (Reynolds number 20 on
the mean inflow speed 0.2).

Mesh: a graded ring of triangles hugging the cylinder (N segments on the circle, the first layer
`h1` thick, each next layer `GROWTH` times thicker, until the layers are as thick as the segments
are long), then Delaunay triangles of points on rings whose spacing grows by `RING_GROWTH` up to
`H_FAR`, then of a triangular lattice of spacing `H_FAR`. The circle has nodes at its front and
back points (0.15, 0.2) and (0.25, 0.2).

    python3 examples/cylinder.py > examples/cylinder        (the example: 22,830 nodes)
    python3 PATH/examples/cylinder.py coarse > cylinder     (a quick version: 4,891 nodes)

the quick version in a folder of the user's, where `olvu -name cylinder` and
`python3 PATH/examples/report.py cylinder` then run it and print its figures.
"""
import math
import random
import sys

L, H, XC, YC, R = 2.2, 0.41, 0.2, 0.2, 0.05
UMAX, NU = 0.3, 1e-3
GROWTH, RING_GROWTH = 1.15, 1.06

FINE = dict(n=240, h1=1.2e-4, h_far=0.0085, steps=400, dt="0.025", iterations=1, tol="1e-5", note=[
    "Result after 400 steps of 0.025 s (t = 10 s): c_D = 5.5785 against the reference 5.5795 (-0.02%),",
    "c_L = 0.01084 against 0.0106 (+2.3%); the pressure difference between the front and back points",
    "(0.15, 0.2), (0.25, 0.2) in the last PRESSURE block of cylinder.res is 0.11742 against 0.1175",
    "(-0.06%). c_D still falls by about 3e-6 a step over the last 50 (5.5799 after 200 steps). The",
    "forces are the integrals of the pressure and of the wall stress from the nodal velocity gradient",
    "over the 240 segments (\"Area/Length of Cylinder\" = 240 x 0.1 x sin(pi/240) = 0.31415), not a",
    "residual form.",
], bands=[
    "c_D within 0.5% of the benchmark's 5.5795",
    "c_L within 5% of the benchmark's 0.0106",
    "dp within 0.5% of the benchmark's 0.1175",
], cards=[
    "One nonlinear iteration per step (Max_Iterations 1): the run marches to the steady state, which",
    "does not depend on how far each step converges, and a small time increment gets there in fewer",
    "steps: after 400 steps c_D is 5.5785 with 0.025 s, 5.5806 with 0.05 s, 5.5836 with 0.1 s and",
    "5.5971 with 0.5 s. Up to five iterations per step of 0.5 s stopped at that limit, with a warning,",
    "in each of the first 50 steps, and gave 5.5964 after 100 steps, in about the time of the 400",
    "steps of one iteration.",
])
COARSE = dict(n=96, h1=5e-4, h_far=0.025, steps=40, dt="0.5", iterations=5, tol="1e-5", note=[
    "A quick version of the example: after 40 steps of 0.5 s c_D is 0.14% above the benchmark, c_L",
    "4.7% above, the pressure difference 0.9% below. The steps are long for its cells, hence the",
    "warnings \"(Velocity x Time_Increment) too high\" and \"More than 5 iterations may be necessary\"",
    "(the steps stop at five iterations).",
], bands=[
    "c_D within 1% of the benchmark's 5.5795",
    "c_L within 10% of the benchmark's 0.0106",
    "dp within 1.5% of the benchmark's 0.1175",
])


def ring_grid(n, h1):
    """Layers of n points each around the cylinder: their radii, first the circle's."""
    radii, h = [R], h1
    while h < 2 * math.pi * radii[-1] / n:
        radii.append(radii[-1] + h)
        h *= GROWTH
    return radii


def outer_points(n, radii, h_far):
    """Points of the Delaunay part, their local spacing, and the lattice spacing function."""
    pts = []
    r = radii[-1]
    h = 2 * math.pi * r / n
    rings = []
    while h < h_far:
        r += h * math.sqrt(3) / 2
        h = min(h_far, h * RING_GROWTH)
        rings.append((r, h))
    r_last = rings[-1][0] if rings else radii[-1]

    def spacing(x, y):
        d = math.hypot(x - XC, y - YC)
        for rr, hh in rings:
            if rr >= d:
                return hh
        return h_far

    for k, (rr, hh) in enumerate(rings):
        m = max(6, round(2 * math.pi * rr / hh))
        for j in range(m):
            a = 2 * math.pi * (j + 0.5 * (k % 2)) / m
            pts.append((XC + rr * math.cos(a), YC + rr * math.sin(a), hh))
    dy = h_far * math.sqrt(3) / 2
    for j in range(int(H / dy) + 2):
        for i in range(int(L / h_far) + 2):
            x, y = (i + 0.5 * (j % 2)) * h_far, j * dy
            if math.hypot(x - XC, y - YC) > r_last + 0.7 * h_far:
                pts.append((x, y, h_far))
    # Keep the points well inside the channel: the walls get their own points.
    inner = [(x, y) for x, y, hh in pts if min(x, L - x, y, H - y) > 0.6 * hh]
    return inner, spacing


def wall_points(spacing):
    """Points along the four walls, counter-clockwise from (0, 0), spaced by the local size."""
    corners = [(0, 0), (L, 0), (L, H), (0, H)]
    out = []
    for c in range(4):
        (x0, y0), (x1, y1) = corners[c], corners[(c + 1) % 4]
        length = math.hypot(x1 - x0, y1 - y0)
        ts, t = [0.0], 0.0
        while True:
            t += spacing(x0 + (x1 - x0) * t / length, y0 + (y1 - y0) * t / length)
            if t >= length - 0.3 * spacing(x1, y1):
                break
            ts.append(t)
        scale = length / (ts[-1] + spacing(x1, y1)) if len(ts) > 1 else 1
        out += [(x0 + (x1 - x0) * s * scale / length, y0 + (y1 - y0) * s * scale / length) for s in ts]
    return out


def delaunay(points):
    """Bowyer-Watson triangulation: counter-clockwise triangles of point indices."""
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    n = len(points)
    big = 100 * (L + H)
    xs += [-big, big, 0.0]
    ys += [-big, -big, big]
    tri, nbr, cc = [], [], []  # vertices, neighbours across the edge opposite each vertex, circle

    def circle(a, b, c):
        ax, ay, bx, by, cx, cy = xs[a], ys[a], xs[b], ys[b], xs[c], ys[c]
        d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by))
        ux = ((ax * ax + ay * ay) * (by - cy) + (bx * bx + by * by) * (cy - ay) + (cx * cx + cy * cy) * (ay - by)) / d
        uy = ((ax * ax + ay * ay) * (cx - bx) + (bx * bx + by * by) * (ax - cx) + (cx * cx + cy * cy) * (bx - ax)) / d
        return ux, uy, (ax - ux) ** 2 + (ay - uy) ** 2

    def orient(a, b, px, py):
        return (xs[b] - xs[a]) * (py - ys[a]) - (ys[b] - ys[a]) * (px - xs[a])

    tri.append([n, n + 1, n + 2])
    nbr.append([-1, -1, -1])
    cc.append(circle(n, n + 1, n + 2))
    alive = [True]
    last = 0
    # Insert in strips so that each walk starts near the point.
    order = sorted(range(n), key=lambda i: (int(xs[i] / 0.02), ys[i] if int(xs[i] / 0.02) % 2 == 0 else -ys[i]))
    for p in order:
        px, py = xs[p], ys[p]
        t = last
        while True:  # walk to the triangle holding p
            v = tri[t]
            for k in range(3):
                if orient(v[(k + 1) % 3], v[(k + 2) % 3], px, py) < 0:
                    t = nbr[t][k]
                    break
            else:
                break
        cavity, stack = {t}, [t]
        while stack:
            s = stack.pop()
            for q in nbr[s]:
                if q >= 0 and q not in cavity:
                    ux, uy, r2 = cc[q]
                    if (px - ux) ** 2 + (py - uy) ** 2 < r2:
                        cavity.add(q)
                        stack.append(q)
        # The cavity's boundary edges, each joined to p.
        edges = []
        for s in cavity:
            v = tri[s]
            for k in range(3):
                q = nbr[s][k]
                if q < 0 or q not in cavity:
                    edges.append((v[(k + 1) % 3], v[(k + 2) % 3], q, s, k))
        start = {}
        new = []
        for a, b, q, s, k in edges:
            idx = len(tri)
            tri.append([a, b, p])
            nbr.append([-1, -1, q])
            cc.append(circle(a, b, p))
            alive.append(True)
            if q >= 0:
                nbr[q][nbr[q].index(s)] = idx
            start[a] = idx
            new.append(idx)
        for idx in new:  # triangle (a, b, p) meets (b, c, p) across (b, p) and (z, a, p) across (a, p)
            a, b, _ = tri[idx]
            after = start[b]
            nbr[idx][0] = after
            nbr[after][1] = idx
        for s in cavity:
            alive[s] = False
        last = new[-1]
    return [tri[i] for i in range(len(tri)) if alive[i] and max(tri[i]) < n]


def build(params):
    n, h1, h_far = params["n"], params["h1"], params["h_far"]
    radii = ring_grid(n, h1)
    inner, spacing = outer_points(n, radii, h_far)
    walls = wall_points(spacing)
    nodes = [(x, y) for x, y in walls]
    boundary = len(nodes)
    nodes += inner
    ring0 = len(nodes)  # the graded rings, layer by layer, angle 0 (the back point) first
    for r in radii:
        for j in range(n):
            a = -2 * math.pi * j / n  # clockwise: the fluid lies to the left of the body's edges
            nodes.append((XC + r * math.cos(a), YC + r * math.sin(a)))

    def ring(layer, j):
        return ring0 + layer * n + j % n

    # Delaunay of everything outside the two outer layers of the graded rings, jittered so that
    # no four points share a circle; the exact coordinates are written.
    rnd = random.Random(1)
    last = len(radii) - 1
    use = list(range(ring0 + (last - 1) * n, ring0 + (last + 1) * n)) + list(range(ring0))
    jit = [(nodes[i][0] + 1e-7 * h_far * rnd.uniform(-1, 1), nodes[i][1] + 1e-7 * h_far * rnd.uniform(-1, 1))
           for i in use]
    r_out = radii[-1] * math.cos(math.pi / n) * 0.999 if last else 0
    tris = []
    for a, b, c in delaunay(jit):
        a, b, c = use[a], use[b], use[c]
        cx = (nodes[a][0] + nodes[b][0] + nodes[c][0]) / 3
        cy = (nodes[a][1] + nodes[b][1] + nodes[c][1]) / 3
        if math.hypot(cx - XC, cy - YC) > r_out:
            tris.append((a, b, c))
    for layer in range(last):  # the graded rings: two triangles per cell, diagonals alternating
        for j in range(n):  # (the angle runs clockwise: a, b, c, d go clockwise round the cell)
            a, b, c, d = ring(layer, j), ring(layer, j + 1), ring(layer + 1, j + 1), ring(layer + 1, j)
            tris += [(a, c, d), (a, b, c)] if j % 2 else [(a, b, d), (b, c, d)]

    # Checks: every triangle positive, the areas sum to the channel less the polygon, and every
    # edge is shared by two triangles unless it lies on a wall or on the circle.
    area = 0.0
    count = {}
    for a, b, c in tris:
        (ax, ay), (bx, by), (cx, cy) = nodes[a], nodes[b], nodes[c]
        s = 0.5 * ((bx - ax) * (cy - ay) - (cx - ax) * (by - ay))
        assert s > 0, "inverted triangle"
        area += s
        for e in ((a, b), (b, c), (c, a)):
            k = (min(e), max(e))
            count[k] = count.get(k, 0) + 1
    polygon = 0.5 * n * R * R * math.sin(2 * math.pi / n)
    assert abs(area - (L * H - polygon)) < 1e-9, (area, L * H - polygon)
    on_edge = sum(1 for v in count.values() if v == 1)
    assert all(v <= 2 for v in count.values()) and on_edge == boundary + n, "broken mesh"

    # Every node is used: the writer numbers them from 1 in this order.
    return nodes, tris, ring0, boundary


def write(params, out):
    nodes, tris, ring0, boundary = build(params)
    n = params["n"]
    num = {}
    for t in tris:
        for v in t:
            num.setdefault(v, 0)
    for k, v in enumerate(sorted(num)):
        num[v] = k + 1
    w = out.write
    w("OLVU_2D;\n")
    w("! Steady flow past a cylinder in a channel at Reynolds number 20 (benchmark case 2D-1 of\n")
    w("! Schaefer & Turek 1996). Channel 2.2 x 0.41 m, cylinder of diameter 0.1 m centred at (0.2, 0.2);\n")
    w("! the inlet (x = 0) imposes u = 4 Um y (0.41 - y) / 0.41^2 with Um = 0.3 m/s (mean 0.2 m/s),\n")
    w("! the walls y = 0, y = 0.41 hold the fluid still, the outlet (x = 2.2) has pressure 0, density 1,\n")
    w("! viscosity 1e-3. The cylinder is the body set \"Cylinder\" (a no-slip wall): its forces go to\n")
    w("! cylinder.for each step (columns: pressure force x y z, pressure moment, viscous force, viscous\n")
    w("! moment), with c_D = 2 Fx / (rho 0.2^2 0.1) = 500 Fx and c_L = 500 Fy.\n")
    w("! Mesh (examples/cylinder.py): %d nodes, %d three-node triangles; %d segments on the circle,\n"
      % (len(num), len(tris), n))
    w("! a graded ring of layers from %g m thick at the wall, then Delaunay triangles up to %g m.\n"
      % (params["h1"], params["h_far"]))
    for line in params.get("note", []):
        w("! " + line + "\n")
    w("! Figures:  python3 PATH/examples/report.py cylinder, in the folder where the run wrote its\n")
    w("! files, prints c_D and c_L from the last line of cylinder.for and the pressure difference from\n")
    w("! the last PRESSURE block of cylinder.res beside the benchmark's; their bands:\n")
    for line in params.get("bands", []):
        w("!   " + line + "\n")
    w("! Run:  olvu -name cylinder\n")
    w("ProblemDefinition;\n")
    for line in params.get("cards", []):
        w("! " + line + "\n")
    w("GeneralData Number_of_Steps %d Time_Increment \"%s\" [s] OutPut_Step %d Max_Iterations %d;\n"
      % (params["steps"], params["dt"], params["steps"], params["iterations"]))
    w("! The benchmark has no gravity, hence the warning \"Null gravity vector found. Is it correct?\" (with\n")
    w("! gravity the lift would include the cylinder's buoyancy). The pressure origin changes nothing\n")
    w("! without gravity, but spares the warning of a missing one.\n")
    w("PhysicalData Gravity 0 0 0 [m/s2] Pres_Origin 2.2 0.41 0 [m];\n")
    w("Nodes;\n")
    for v in sorted(num):
        w("%d %.10g %.10g 0\n" % (num[v], nodes[v][0], nodes[v][1]))
    w("FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler SteadyNorm %s;\n" % params["tol"])
    w("! The inflow profile everywhere as the initial field.\n")
    w("InitialDataFunctions;\n")
    w("Function VelocityX \"%.10g*Y*(0.41-Y)\" [m/s];\n" % (4 * UMAX / H / H))
    w("EndInitialDataFunctions;\n")
    w("! GMRES with incomplete LU for the momentum, conjugate gradients with incomplete Cholesky for the\n")
    w("! pressure, to 1e-8: the default solves stop at their iteration limit on this graded mesh, and\n")
    w("! their unconverged steps can throw the segregated iteration off.\n")
    w("NonSymmetric Momentum Max_Iter 300 Tolerance 1e-8 Solver GMRes Kdim 30 Preconditioner ILU;\n")
    w("Symmetric Pressure Max_Iter 500 Tolerance 1e-8 Solver ConjugateGradient Preconditioner IC;\n")
    w("ElmSets;\n")
    w("Set 1 Type Fluid ElmType Triangle NNode 3 Name Channel;\n")
    w("PhysicalPropertiesFunctions;\n")
    w("Function Density \"1\" [Kg/m3];\n")
    w("Function Viscosity \"%g\" [Kg/m.s];\n" % NU)
    w("EndPhysicalPropertiesFunctions;\n")
    w("Elements\n")
    for k, (a, b, c) in enumerate(tris):
        w("%d %d %d %d\n" % (k + 1, num[a], num[b], num[c]))
    w("End Elements\n")
    w("! The cylinder, clockwise so that the fluid lies to the left of each segment.\n")
    w("Set 2 Type Body ElmType Linear NNode 2 Name Cylinder V_fixWall;\n")
    w("PhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\n")
    w("Elements\n")
    for j in range(n):
        w("%d %d %d\n" % (j + 1, num[ring0 + j], num[ring0 + (j + 1) % n]))
    w("End Elements\n")
    w("EndElmSets;\n")
    w("! Inflow profile, no-slip walls, outlet pressure.\n")
    w("Boundary;\n")
    w("BoundaryUnits Length [m] Time [s] Mass [Kg];\n")
    for v in range(boundary):
        x, y = nodes[v]
        if y == 0 or y == H:
            w("Node %d Velc 0.0 0.0 0.0;\n" % num[v])
        elif x == 0:
            w("Node %d Velc %.10g 0.0 0.0;\n" % (num[v], 4 * UMAX * y * (H - y) / H / H))
        else:
            w("Node %d Pres 0.0;\n" % num[v])
    w("EndBoundary;\n")
    w("TotalDefinition;\n")
    w("ToleranceData VelConvergenceNorm %s PreConvergenceNorm %s;\n" % (params["tol"], params["tol"]))
    w("ElmSets;\nEndElmSets;\nEndProblem;\n")


if __name__ == "__main__":
    write(COARSE if sys.argv[1:] == ["coarse"] else FINE, sys.stdout)
