#!/usr/bin/env python3
"""Writes the data file of the steady flow past a cylinder in a square channel (benchmark case
3D-1Z of Schaefer & Turek 1996) on tetrahedra made by gmsh from examples/cylinder3d.geo.

Channel 2.5 x 0.41 x 0.41, cylinder of diameter 0.1 through (0.5, 0.2) spanning the height,
inflow u = 16 Um y z (H - y)(H - z) / H^4 with Um = 0.45 m/s (mean 0.2 m/s), viscosity 1e-3,
density 1, no-slip walls, outlet pressure 0 (Reynolds number 20 on the mean speed).

    python3 PATH/examples/cylinder3d.py coarse > cylinder3d     (cylinder 0.01 m, far 0.04 m)
    python3 PATH/examples/cylinder3d.py fine > cylinder3d       (cylinder 0.005 m, far 0.02 m)
    python3 PATH/examples/cylinder3d.py finer > cylinder3d      (cylinder 0.0035 m, far 0.02 m)
    olvu -3D -name cylinder3d
    python3 PATH/examples/report.py cylinder3d

in a folder of the user's (the README runs the coarse one in build/run).

Needs the gmsh program (Debian's gmsh, which `sh scripts/deps.sh examples` installs) on the path;
the rest is the standard library. Each mesh's figures, and the bands that report.py checks them
against, are in the comment at the head of its data file. The forces integrate the pressure and
the wall stress of the nodal velocity gradient, which at a wall node is about the first cells'
difference quotient: c_D comes out low by an error that shrinks with the size of the cells at
the cylinder. `cylinder3d.py report NAME` is `report.py NAME`.
"""
import os
import subprocess
import sys
import tempfile

L, H = 2.5, 0.41
UM, NU = 0.45, 1e-3
# Element size at the cylinder and far from it; the figures of a run on gmsh 4.8's mesh (with the
# step where the run found its steady state; the README gives its time and memory), and the bands
# that report.py checks them against.
MESHES = {
    "coarse": (0.01, 0.04, [
        "Result (steady at step 124, t = 12.4 s):",
        "c_D = 5.7651 (-6.8%), c_L = 0.0321 (+0.023), pressure difference between the front and back",
        "points 0.17215 (+0.3%) against the benchmark's 6.18533, 0.009401 and 0.17157."], [
        "c_D within 8% of the benchmark's 6.18533 (the coarse cells at the wall take it low)",
        "c_L within 0.03 of the benchmark's 0.009401 (a lift of 0.5% of the drag)",
        "dp within 1% of the benchmark's 0.17157"]),
    "fine": (0.005, 0.02, [
        "Result (steady at step 175, t = 17.5 s):",
        "c_D = 5.9352 (-4.0%), c_L = 0.0150 (+0.0056), pressure difference between the front and back",
        "points 0.17306 (+0.9%) against the benchmark's 6.18533, 0.009401 and 0.17157."], [
        "c_D within 5% of the benchmark's 6.18533",
        "c_L within 0.01 of the benchmark's 0.009401",
        "dp within 1.5% of the benchmark's 0.17157"]),
    "finer": (0.0035, 0.02, [
        "Result (steady at step 278, t = 27.8 s):",
        "c_D = 6.0054 (-2.9%), c_L = 0.00972 (+0.0003), pressure difference between the front and back",
        "points 0.17247 (+0.5%) against the benchmark's 6.18533, 0.009401 and 0.17157."], [
        "c_D within 4% of the benchmark's 6.18533",
        "c_L within 0.002 of the benchmark's 0.009401",
        "dp within 1% of the benchmark's 0.17157"]),
}
GEO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cylinder3d.geo")


def mesh(hc, hf):
    """Runs gmsh; gives the nodes {id: (x, y, z)}, the tetrahedra and the cylinder's triangles."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "c.msh")
        subprocess.run(["gmsh", "-3", GEO, "-setnumber", "hc", str(hc), "-setnumber", "hf", str(hf),
                        "-format", "msh2", "-o", out], check=True, stdout=subprocess.DEVNULL)
        lines = open(out).read().split("\n")
    at = lines.index("$Nodes")
    nodes = {}
    for line in lines[at + 2:at + 2 + int(lines[at + 1])]:
        k, x, y, z = line.split()
        nodes[int(k)] = (float(x), float(y), float(z))
    at = lines.index("$Elements")
    tets, tris = [], []
    for line in lines[at + 2:at + 2 + int(lines[at + 1])]:
        w = [int(v) for v in line.split()]
        kind, tags = w[1], w[2]
        vertices = w[3 + tags:]
        if kind == 4:
            tets.append(vertices)
        elif kind == 2 and w[3] == 4:
            tris.append(vertices)
    return nodes, tets, tris


def inflow(y, z):
    return 16 * UM * y * z * (H - y) * (H - z) / H ** 4


def write(name, out):
    hc, hf, note, bands = MESHES[name]
    nodes, tets, tris = mesh(hc, hf)
    # Numbered along the channel: the rows of the matrices then follow planes across it.
    used = {v for t in tets for v in t}
    order = sorted(used, key=lambda k: nodes[k])
    num = {k: i + 1 for i, k in enumerate(order)}
    cylinder = {v for t in tris for v in t}
    eps = 1e-9

    def near(a, b):
        return abs(a - b) < eps

    def at(x, y, z):
        return [num[k] for k in order if near(nodes[k][0], x) and near(nodes[k][1], y) and near(nodes[k][2], z)]

    front, back = at(0.45, 0.2, 0.205), at(0.55, 0.2, 0.205)
    assert len(front) == 1 and len(back) == 1, "no nodes at the pressure points"
    w = out.write
    w("OLVU_3D;\n")
    w("! Steady flow past a cylinder in a square channel at Reynolds number 20 (benchmark case 3D-1Z\n")
    w("! of Schaefer & Turek 1996). Channel 2.5 x 0.41 x 0.41 m, cylinder of diameter 0.1 m through\n")
    w("! (0.5, 0.2) from wall to wall; the inlet imposes u = 16 Um y z (H-y)(H-z)/H^4, Um = 0.45 m/s\n")
    w("! (mean 0.2 m/s), the other walls hold the fluid still, the outlet (x = 2.5) has pressure 0,\n")
    w("! density 1, viscosity 1e-3. The cylinder is the body set \"Cylinder\": its forces go to the .for\n")
    w("! file, c_D = 2 Fx / (rho 0.2^2 0.1 0.41) and c_L likewise with Fy (pressure plus viscous force).\n")
    w("! Mesh (examples/cylinder3d.py %s, gmsh 4.8): %d nodes, %d tetrahedra, %d triangles on the\n"
      "! cylinder.\n" % (name, len(order), len(tets), len(tris)))
    for line in note:
        w("! " + line + "\n")
    w("! Figures: python3 PATH/examples/report.py cylinder3d (or the name the data file was given),\n")
    w("! run in the folder where the run ran, prints c_D, c_L and the pressure difference beside the\n")
    w("! benchmark's, and checks them against their bands:\n")
    for line in bands:
        w("!   " + line + "\n")
    w("! Run:  olvu -3D -name cylinder3d\n")
    w("ProblemDefinition;\n")
    w("! One nonlinear iteration per step: the run marches to the steady state, which does not depend\n")
    w("! on how far each step converges, and stops there (\"SteadyNorm\"). Five iterations per step of\n")
    w("! 0.5 s gave the same forces in three times the time, stopping at that limit in most steps.\n")
    w("GeneralData Number_of_Steps 400 Time_Increment \"0.1\" [s] OutPut_Step 400 Max_Iterations 1;\n")
    w("! The benchmark has no gravity, hence the warnings \"Null gravity vector found. Is it correct?\"\n")
    w("! and, after the last step, \"Gravity is null: the sink and trim data of the bodies is not\n")
    w("! written.\" The pressure origin changes nothing without gravity, but spares the warning of a\n")
    w("! missing one.\n")
    w("PhysicalData Gravity 0 0 0 [m/s2] Pres_Origin %g %g %g [m];\n" % (L, H, H))
    w("Nodes;\n")
    for k in order:
        x, y, z = nodes[k]
        w("%d %.10g %.10g %.10g\n" % (num[k], x, y, z))
    w("FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler SteadyNorm 1e-5;\n")
    w("! The inflow profile everywhere as the initial field.\n")
    w("InitialDataFunctions;\n")
    w("Function VelocityX \"%.10g*Y*Z*(0.41-Y)*(0.41-Z)\" [m/s];\n" % (16 * UM / H ** 4))
    w("EndInitialDataFunctions;\n")
    w("! GMRES with incomplete LU for the momentum, conjugate gradients with incomplete Cholesky for the\n")
    w("! pressure, to 1e-8: the default solves give the same forces on the coarse mesh in 2.3 times\n")
    w("! the time.\n")
    w("NonSymmetric Momentum Max_Iter 300 Tolerance 1e-8 Solver GMRes Kdim 30 Preconditioner ILU;\n")
    w("Symmetric Pressure Max_Iter 500 Tolerance 1e-8 Solver ConjugateGradient Preconditioner IC;\n")
    w("ElmSets;\n")
    w("Set 1 Type Fluid ElmType Tetrahedra NNode 4 Name Channel;\n")
    w("PhysicalPropertiesFunctions;\n")
    w("Function Density \"1\" [Kg/m3];\n")
    w("Function Viscosity \"%g\" [Kg/m.s];\n" % NU)
    w("EndPhysicalPropertiesFunctions;\n")
    w("Elements\n")
    for i, t in enumerate(tets):
        w("%d %d %d %d %d\n" % (i + 1, num[t[0]], num[t[1]], num[t[2]], num[t[3]]))
    w("End Elements\n")
    w("! The cylinder's faces; their orientation is checked against the tetrahedra when the run starts.\n")
    w("Set 2 Type Body ElmType Triangle NNode 3 Name Cylinder V_fixWall;\n")
    w("PhysicalPropertiesFunctions;\nEndPhysicalPropertiesFunctions;\n")
    w("Elements\n")
    for i, t in enumerate(tris):
        w("%d %d %d %d\n" % (i + 1, num[t[0]], num[t[1]], num[t[2]]))
    w("End Elements\n")
    w("EndElmSets;\n")
    w("! Inflow profile, no-slip walls and cylinder, outlet pressure.\n")
    w("Boundary;\n")
    w("BoundaryUnits Length [m] Time [s] Mass [Kg];\n")
    for k in order:
        x, y, z = nodes[k]
        wall = near(y, 0) or near(y, H) or near(z, 0) or near(z, H)
        if wall or k in cylinder:
            w("Node %d Velc 0.0 0.0 0.0;\n" % num[k])
        elif near(x, 0):
            w("Node %d Velc %.10g 0.0 0.0;\n" % (num[k], inflow(y, z)))
        elif near(x, L):
            w("Node %d Pres 0.0;\n" % num[k])
    w("EndBoundary;\n")
    w("TotalDefinition;\n")
    w("ToleranceData VelConvergenceNorm 1e-5 PreConvergenceNorm 1e-5;\n")
    w("ElmSets;\nEndElmSets;\nEndProblem;\n")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "report":
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        sys.dont_write_bytecode = True  # no __pycache__ in the source tree
        import report
        sys.exit(report.main(sys.argv[1:]))
    elif len(sys.argv) == 2 and sys.argv[1] in MESHES:
        write(sys.argv[1], sys.stdout)
    else:
        sys.exit(__doc__)
