#!/usr/bin/env python3
"""Writes the data file of a plane channel past a cylinder, for timing the field solves on a
large unstructured-like mesh.

The channel is [0, 2.2] x [0, 0.41] with a cylinder of radius 0.05 at (0.2, 0.2), density 1 and
viscosity 0.001: the parabolic inlet of peak speed 0.3 gives Reynolds number 20 on the mean speed
and the diameter (a steady flow). Around the cylinder an O-grid maps each circle point to the
point of the box [0, 0.4] x [0, 0.41] in the same direction; downstream a Cartesian block continues
it. Every inner node is moved at random by up to a sixth of its spacing and every quadrilateral is
split along a random diagonal, so that no row pattern repeats.

    python3 scripts/cylinder_channel.py N STEPS DT [SOLVER_CARDS] > NAME

N nodes per side of the box (120 gives about 100,000 nodes); the outlet holds "Pres 0".
"""
import math
import random
import sys


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 120
    steps = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    dt = sys.argv[3] if len(sys.argv) > 3 else "0.02"
    cards = sys.argv[4] if len(sys.argv) > 4 else ""
    rnd = random.Random(7)
    height, length, box = 0.41, 2.2, 0.4
    cx, cy, r = 0.2, 0.2, 0.05
    h = height / n
    radial = max(4, int(round(0.6 * n)))  # O-grid layers from the circle to the box
    nodes = []  # (x, y, kind) kind: 'in', 'wall', 'cyl', 'out', '' (inner)

    def add(x, y, kind):
        nodes.append((x, y, kind))
        return len(nodes)

    # Box perimeter, counter-clockwise from (box, 0): right side up, top left, left down, bottom right.
    perim = []
    for i in range(n):
        perim.append((box, height * i / n))
    for i in range(n):
        perim.append((box - box * i / n, height))
    for i in range(n):
        perim.append((0.0, height - height * i / n))
    for i in range(n):
        perim.append((box * i / n, 0.0))
    m = len(perim)

    def kind_of(x, y):
        if y <= 1e-12 or y >= height - 1e-12:
            return "wall"
        if x <= 1e-12:
            return "in"
        return ""

    def layer(j):  # distance fraction of layer j from the circle, packed at the circle
        t = j / radial
        return t * t * (3 - 2 * t) * 0.5 + 0.5 * t

    def place(j, i):
        bx, by = perim[i % m]
        a = math.atan2(by - cy, bx - cx)
        px, py = cx + r * math.cos(a), cy + r * math.sin(a)
        t = layer(j)
        return (1 - t) * px + t * bx, (1 - t) * py + t * by

    ogrid = [[0] * m for _ in range(radial + 1)]
    for j in range(radial + 1):
        for i in range(m):
            x, y = place(j, i)
            kind = "cyl" if j == 0 else (kind_of(x, y) if j == radial else "")
            if 0 < j < radial:
                # Up to a sixth of the shortest spacing to the four neighbours of the plain grid.
                d = min(math.dist((x, y), place(j + dj, i + di)) for dj, di in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                x += rnd.uniform(-d / 6, d / 6)
                y += rnd.uniform(-d / 6, d / 6)
            ogrid[j][i] = add(x, y, kind)
    # Downstream block: column 0 is the box's right side.
    nx = int(round((length - box) / h))
    block = [[0] * (n + 1) for _ in range(nx + 1)]
    for j in range(n + 1):
        block[0][j] = ogrid[radial][j] if j < n else ogrid[radial][n]
    for i in range(1, nx + 1):
        x0 = box + (length - box) * i / nx
        for j in range(n + 1):
            y0 = height * j / n
            x, y = x0, y0
            kind = "wall" if j in (0, n) else ("out" if i == nx else "")
            if kind == "" and i < nx:
                x += rnd.uniform(-0.2 * h, 0.2 * h)
                y += rnd.uniform(-0.2 * h, 0.2 * h)
            block[i][j] = add(x, y, kind)
    elems = []

    def quad(a, b, c, d):  # counter-clockwise a b c d
        if rnd.random() < 0.5:
            elems.append((a, b, c))
            elems.append((a, c, d))
        else:
            elems.append((a, b, d))
            elems.append((b, c, d))

    for j in range(radial):
        for i in range(m):
            k = (i + 1) % m
            quad(ogrid[j][i], ogrid[j + 1][i], ogrid[j + 1][k], ogrid[j][k])
    for i in range(nx):
        for j in range(n):
            quad(block[i][j], block[i + 1][j], block[i + 1][j + 1], block[i][j + 1])
    # Orientation check: every triangle counter-clockwise.
    for e in elems:
        (x1, y1, _), (x2, y2, _), (x3, y3, _) = (nodes[v - 1] for v in e)
        if (x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1) <= 0:
            sys.exit("inverted triangle %s %s" % (e, [nodes[v - 1] for v in e]))
    out = sys.stdout
    out.write("OLVU_2D;\n! Channel past a cylinder, Re 20: %d nodes, %d triangles.\nProblemDefinition;\n" % (len(nodes), len(elems)))
    out.write('GeneralData Number_of_Steps %d Time_Increment "%s" [s] OutPut_Step %d Max_Iterations 3;\n' % (steps, dt, steps))
    out.write("PhysicalData Gravity 0 0 0 [m/s2];\nNodes;\n")
    for k, (x, y, _) in enumerate(nodes, 1):
        out.write("%d %.9g %.9g 0\n" % (k, x, y))
    out.write("FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler;\n")
    out.write("InitialDataFunctions;\nEndInitialDataFunctions;\n%s" % (cards + "\n" if cards else ""))
    out.write("ElmSets;\nSet 1 Type Fluid ElmType Triangle NNode 3 Name F;\nPhysicalPropertiesFunctions;\n")
    out.write('Function Density "1" [Kg/m3];\nFunction Viscosity "0.001" [Kg/m.s];\nEndPhysicalPropertiesFunctions;\nElements\n')
    for k, e in enumerate(elems, 1):
        out.write("%d %d %d %d\n" % (k, e[0], e[1], e[2]))
    out.write("End Elements\nEndElmSets;\nBoundary;\nBoundaryUnits Length [m] Time [s] Mass [Kg];\n")
    for k, (x, y, kind) in enumerate(nodes, 1):
        if kind in ("wall", "cyl"):
            out.write("Node %d Velc 0 0 0;\n" % k)
        elif kind == "in":
            out.write("Node %d Velc %.9g 0 0;\n" % (k, 4 * 0.3 * y * (height - y) / height ** 2))
        elif kind == "out":
            out.write("Node %d Pres 0;\n" % k)
    out.write("EndBoundary;\nTotalDefinition;\nToleranceData VelConvergenceNorm 1e-4 PreConvergenceNorm 1e-4;\n")
    out.write("ElmSets;\nEndElmSets;\nEndProblem;\n")


if __name__ == "__main__":
    main()
