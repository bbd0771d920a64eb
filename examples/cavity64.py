#!/usr/bin/env python3
"""Writes the data file of the lid-driven cavity (examples/cavity64) on a mesh of any size.

A unit square of fluid of density 1 whose top wall slides to the right at 1 m/s, on N x N cells
of two three-node triangles ((N + 1)^2 nodes), the cards of examples/cavity64; the Reynolds
number RE sets the viscosity 1 / RE.

    python3 examples/cavity64.py > examples/cavity64          (the example: N 64, RE 100)
    python3 PATH/examples/cavity64.py 128 1000 > cavity128    (129 x 129 nodes at Re 1000)

Other sizes and Reynolds numbers have a short comment of their own; `report.py` judges the
centrelines against Ghia's table at Re 100 only.
"""
import sys

EXAMPLE = [
    "! Lid-driven cavity, Reynolds number 100, on the mesh of the published comparison.",
    "! A unit square of fluid (density 1, viscosity 0.01) whose top wall slides to the right at 1 m/s;",
    "! the other walls hold the fluid still (the two lid corners belong to the side walls); no pressure",
    "! is fixed, so the solve keeps node 1 at 0 and warns \"Fluid Domain: Pressure not fixed in any",
    "! point\": in a closed cavity only the differences of the pressure matter. The walls are node",
    "! conditions, not body sets, hence the note \"FluidBoundaries not defined. Is this right?\".",
    "! Mesh: 65 x 65 nodes, 8192 three-node triangles. The run stops when the change of the fields over",
    "! a step falls below \"SteadyNorm\" 1e-4 (every convergence tolerance is 1e-4), at step 481.",
    "! Run:  olvu -name cavity64",
    "! Every nodal velocity is within 2e-4 of the lid speed of the converged steady state of this mesh",
    "! and time increment (this file with \"SteadyNorm\" and every convergence tolerance 1e-9, the",
    "! linear ones 1e-11: steady at step 1292), the centrelines within 5e-7; they are within 3.1e-4 of",
    "! the converged 129 x 129 node solution at the nodes they share (the mesh of examples/cavity64.py",
    "! 128, converged alike); the Re 100 table of Ghia, Ghia & Shin (1982) is itself 0.01 off (largest",
    "! difference 0.0094 at its points, 0.0093 on the finer mesh). The steady state itself moves a",
    "! little with the time increment, which enters the stabilisation: the converged state with 0.25",
    "! instead of 0.1 by up to 9.4e-4 at the lid's corners and 5.1e-6 on the centrelines.",
    "! Figures:  python3 PATH/examples/report.py cavity64, in the folder where the run wrote its files,",
    "! prints the largest differences of u on the vertical and of v on the horizontal centreline from",
    "! Ghia's table (0.0056 at y 0.8516 and 0.0094 at x 0.8594, in lid speeds); their bands, the",
    "! table's own error with some room:",
]
BANDS = [
    "!   u_centre within 0.015 of Ghia's u, at the worst of its points",
    "!   v_centre within 0.015 of Ghia's v, at the worst of its points",
]
# What the example's own runs measured, left out of the other meshes' files.
SOLVERS = [
    "! GMRES with incomplete LU for the momentum, conjugate gradients with incomplete Cholesky for the",
    "! pressure. Linear tolerances of 1e-6 instead of 1e-10 save time (the README says how much) and",
    "! move no velocity by more than 7e-6: the steady state is set by the nonlinear tolerances and",
    "! \"SteadyNorm\".",
]
GENERAL = [
    "ProblemDefinition;",
    "! One nonlinear iteration per step: the steady state does not depend on how far each step",
    "! converges, and one iteration is the cheapest way there. Up to 5 per step take 203 steps but",
    "! more time (the README says how much), and warn of the 70 steps whose iterations stop at the",
    "! limit. With one iteration a time increment of 0.1 reaches the steady state in 481 steps, 0.25",
    "! in 1170, 0.5 in 2317.",
]


def other(cells, reynolds):
    """The comment of a mesh or Reynolds number other than the example's."""
    lines = [
        "! Lid-driven cavity, Reynolds number %g: the data of examples/cavity64 (its comment tells the" % reynolds,
        "! cards) on %d x %d nodes, %d three-node triangles, written by" % (cells + 1, cells + 1, 2 * cells * cells),
        "!   python3 examples/cavity64.py %d %g" % (cells, reynolds),
        "! The run stops at its steady state (\"SteadyNorm\" 1e-4) or after its 1000 steps, whichever",
        "! comes first (129 x 129 nodes at Re 100 take more than 1000). Run:  olvu -name NAME",
    ]
    if reynolds == 100:
        lines += ["! Figures:  python3 PATH/examples/report.py cavity64, in the folder where the run wrote its",
                  "! files, prints the centrelines' largest differences from Ghia's table; their bands:"]
        return lines + BANDS
    return lines


def main(argv):
    if len(argv) > 3:
        sys.exit(__doc__)
    try:
        cells = int(argv[1]) if len(argv) > 1 else 64
        reynolds = float(argv[2]) if len(argv) > 2 else 100.0
    except ValueError:
        sys.exit(__doc__)
    if cells < 2 or cells % 2 or reynolds <= 0:
        sys.exit("cavity64.py: the cells must be an even number from 2 and the Reynolds number above 0")
    n = cells + 1
    example = (cells, reynolds) == (64, 100)
    out = ["OLVU_2D;"]
    out += EXAMPLE + BANDS if example else other(cells, reynolds)
    out += GENERAL if example else GENERAL[:1]
    out += ["GeneralData Number_of_Steps 1000 Time_Increment \"0.1\" [s] OutPut_Step 1000 Max_Iterations 1;",
            "! Gravity along -y, its hydrostatic pressure zero at the lid's height (Pres_Origin). The solved",
            "! pressure leaves the hydrostatic part out (no \"Total_Pressure\"): neither changes a result here.",
            "PhysicalData Gravity 0 -9.81 0 [m/s2] Pres_Origin 1 1 0 [m];",
            "Nodes;"]
    out += ["%d %.17g %.17g 0" % (1 + i + n * j, i / cells, j / cells) for j in range(n) for i in range(n)]
    out += ["FluidDefinition Solve_NavierStokes Integration_Scheme Backward_Euler SteadyNorm 1e-4;",
            "InitialDataFunctions;",
            "",
            "EndInitialDataFunctions;"]
    out += SOLVERS if example else []
    out += ["NonSymmetric Momentum Max_Iter 300 Tolerance 1e-6 Solver GMRes Kdim 30 Preconditioner ILU;",
            "Symmetric Pressure Max_Iter 500 Tolerance 1e-6 Solver ConjugateGradient Preconditioner IC;",
            "ElmSets;",
            "Set 1 Type Fluid ElmType Triangle NNode 3 Name F;",
            "PhysicalPropertiesFunctions;",
            "Function Density \"1\" [Kg/m3];",
            "Function Viscosity \"%.17g\" [Kg/m.s];" % (1 / reynolds),
            "EndPhysicalPropertiesFunctions;",
            "Elements"]
    e = 0
    for j in range(cells):
        for i in range(cells):
            a = 1 + i + n * j
            out += ["%d %d %d %d" % (e + 1, a, a + 1, a + 1 + n), "%d %d %d %d" % (e + 2, a, a + 1 + n, a + n)]
            e += 2
    out += ["End Elements", "EndElmSets;", "Boundary;", "BoundaryUnits Length [m] Time [s] Mass [Kg];"]
    # The walls in node order; the lid moves between its corners, which belong to the side walls.
    for j in range(n):
        for i in range(n):
            if i in (0, cells) or j in (0, cells):
                lid = j == cells and 0 < i < cells
                out.append("Node %d Velc %s;" % (1 + i + n * j, "1 0 0" if lid else "0 0 0"))
    out += ["EndBoundary;",
            "TotalDefinition;",
            "ToleranceData VelConvergenceNorm 1e-4 PreConvergenceNorm 1e-4 TemConvergenceNorm 1e-4 "
            "ConConvergenceNorm 1e-4 BetConvergenceNorm 1e-4 PhiConvergenceNorm 1e-4;",
            "ElmSets;",
            "EndElmSets;",
            "EndProblem;"]
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(sys.argv)
