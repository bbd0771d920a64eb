#!/usr/bin/env python3
"""The fully developed channel of the Launder-Sharma k-epsilon model, solved apart from the program.

The model's own equations across the half channel in wall units (nu = u_tau = 1, half-height
Re_tau), by finite differences on a stretched mesh, so that a run of the program on its finest
meshes can be held against the model's answer rather than against the DNS:

  (1 + nu_t) dU/dy = 1 - y / Re_tau                       (momentum, integrated once)
  0 = d/dy((1 + nu_t / 1.0) dk/dy) + P - eps - D          D = 2 (d sqrt(k)/dy)^2
  0 = d/dy((1 + nu_t / 1.3) deps/dy) + (C1 P - C2 f2 eps) eps / k + E,   E = 2 nu_t (d2U/dy2)^2
  nu_t = 0.09 f_mu k^2 / eps, f_mu = exp(-3.4 / (1 + Rt / 50)^2), f2 = 1 - 0.3 exp(-Rt^2), Rt = k^2 / eps

with k = eps = U = 0 at the wall and no gradient at the centre line. k and eps are solved in turn,
each implicit in its diffusion and sink, until both residuals are below 1e-11 of their sinks.
Standard library only. Usage: launder_sharma_channel_1d.py [Re_tau [C1]]; prints U_b+ and
c_f = 2 / U_b+^2 on 200, 400 and 800 cells with the Richardson limit, and the check of the
solver against the model's log layer (kappa^2 = (C2 - C1) sigma_eps sqrt(C_mu), k = 1 /
sqrt(C_mu), eps = 1 / (kappa y)) in a layer of constant stress.
"""
import math
import sys

CMU, C2, SIGMA_EPS = 0.09, 1.92, 1.3


def tridiagonal(a, b, c, d):
    n = len(d)
    cp, dp = [0.0] * n, [0.0] * n
    cp[0], dp[0] = c[0] / b[0], d[0] / b[0]
    for i in range(1, n):
        den = b[i] - a[i] * cp[i - 1]
        cp[i] = c[i] / den
        dp[i] = (d[i] - a[i] * dp[i - 1]) / den
    x = [0.0] * n
    x[-1] = dp[-1]
    for i in range(n - 2, -1, -1):
        x[i] = dp[i] - cp[i] * x[i + 1]
    return x


def solve(retau, cells, c1=1.45, constant_stress=False):
    """Mesh, k, eps, nu_t and U' of the converged solution on `cells` cells."""
    n, h = cells, retau
    gamma = 3.0 if not constant_stress else 5.0
    y = [h * (1 - math.tanh(gamma * (1 - i / n)) / math.tanh(gamma)) for i in range(n + 1)]
    kappa = math.sqrt((C2 - c1) * SIGMA_EPS * math.sqrt(CMU))
    top = (1 / math.sqrt(CMU), 1 / (kappa * h))  # the log layer's k and eps at the top (constant stress)
    k = [0.0] + [0.6 * min(v, 30.0) ** 2 / 30.0 ** 2 + 1e-8 for v in y[1:]]
    e = [0.0] + [0.2 * min(1.0, 1 / (0.41 * max(v, 1.0))) * (min(v, 10.0) / 10) ** 2 + 1e-8 for v in y[1:]]

    def eddy(k, e):
        return [0.0] + [CMU * math.exp(-3.4 / (1 + k[i] ** 2 / e[i] / 50) ** 2) * k[i] ** 2 / e[i] for i in range(1, n + 1)]

    def derivative(f, i):  # second-order first derivative on the uneven mesh
        hm, hp = y[i] - y[i - 1], y[i + 1] - y[i]
        return (-hp / (hm * (hm + hp)) * f[i - 1] + (hp - hm) / (hm * hp) * f[i] + hm / (hp * (hm + hp)) * f[i + 1])

    def terms(k, e, nut):
        s = [(1.0 if constant_stress else 1 - y[i] / h) / (1 + nut[i]) for i in range(n + 1)]
        q = [math.sqrt(v) for v in k]
        upp, d = [0.0] * (n + 1), [0.0] * (n + 1)
        for i in range(1, n):
            upp[i], d[i] = derivative(s, i), 2 * derivative(q, i) ** 2
        upp[n] = 0.0 if constant_stress else -1 / (h * (1 + nut[n]))
        return s, upp, d

    def rows(g):  # -d/dy(g d./dy) at 1..n; the centre line mirrors its neighbour
        a, b, c = [0.0] * (n + 1), [0.0] * (n + 1), [0.0] * (n + 1)
        for i in range(1, n):
            hm, hp = y[i] - y[i - 1], y[i + 1] - y[i]
            a[i] = -(g[i] + g[i - 1]) / (hm * (hm + hp))
            c[i] = -(g[i] + g[i + 1]) / (hp * (hm + hp))
            b[i] = -a[i] - c[i]
        hm = y[n] - y[n - 1]
        a[n] = -2 * (g[n] + g[n - 1]) / (2 * hm * hm)
        b[n] = -a[n]
        return a, b, c

    def residual(k, e):
        nut = eddy(k, e)
        s, upp, d = terms(k, e, nut)
        ak, bk, ck = rows([1 + v for v in nut])
        ae, be, ce = rows([1 + v / SIGMA_EPS for v in nut])
        worst = 0.0
        for i in range(1, n if constant_stress else n + 1):
            kp, ep = (k[i + 1], e[i + 1]) if i < n else (k[n - 1], e[n - 1])
            p, f2 = nut[i] * s[i] ** 2, 1 - 0.3 * math.exp(-((k[i] ** 2 / e[i]) ** 2))
            sink = C2 * f2 * e[i] ** 2 / k[i]
            rk = -(ak[i] * k[i - 1] + bk[i] * k[i] + ck[i] * kp) + p - e[i] - d[i]
            re = -(ae[i] * e[i - 1] + be[i] * e[i] + ce[i] * ep) + c1 * p * e[i] / k[i] - sink + 2 * nut[i] * upp[i] ** 2
            worst = max(worst, abs(rk) / (e[i] + d[i] + p), abs(re) / sink)
        return worst

    nut = eddy(k, e)
    for it in range(400000):
        # The eddy viscosity under-relaxed by half; k implicit in eps / k and D / k, eps in its sink.
        nut = [0.5 * (a + b) for a, b in zip(eddy(k, e), nut)]
        s, upp, d = terms(k, e, nut)
        a, b, c = rows([1 + v for v in nut])
        rhs = [0.0] * (n + 1)
        for i in range(1, n + 1):
            b[i] += (e[i] + d[i]) / k[i]
            rhs[i] = nut[i] * s[i] ** 2
        if constant_stress:
            a[n], b[n], rhs[n] = 0.0, 1.0, top[0]
        k = [0.0] + [max(v, 1e-30) for v in tridiagonal(a[1:], b[1:], c[1:], rhs[1:])]
        a, b, c = rows([1 + v / SIGMA_EPS for v in nut])
        for i in range(1, n + 1):
            p, f2 = nut[i] * s[i] ** 2, 1 - 0.3 * math.exp(-((k[i] ** 2 / e[i]) ** 2))
            b[i] += 2 * C2 * f2 * e[i] / k[i]
            rhs[i] = c1 * p * e[i] / k[i] + C2 * f2 * e[i] ** 2 / k[i] + 2 * nut[i] * upp[i] ** 2
        if constant_stress:
            a[n], b[n], rhs[n] = 0.0, 1.0, top[1]
        e = [0.0] + [max(v, 1e-30) for v in tridiagonal(a[1:], b[1:], c[1:], rhs[1:])]
        if it % 100 == 99 and residual(k, e) < 1e-11:
            break
    else:
        raise RuntimeError("no convergence on %d cells" % cells)
    nut = eddy(k, e)
    return y, k, e, nut, terms(k, e, nut)[0]


def bulk(y, nut, h):
    """U_b+: U from (1 + nu_t) U' = 1 - y / h cell by cell, then its mean (trapezoids)."""
    u = [0.0]
    for i in range(len(y) - 1):
        ym = 0.5 * (y[i] + y[i + 1])
        u.append(u[-1] + (1 - ym / h) / (1 + 0.5 * (nut[i] + nut[i + 1])) * (y[i + 1] - y[i]))
    return sum(0.5 * (u[i] + u[i + 1]) * (y[i + 1] - y[i]) for i in range(len(y) - 1)) / h


def main():
    retau = float(sys.argv[1]) if len(sys.argv) > 1 else 395.0
    c1 = float(sys.argv[2]) if len(sys.argv) > 2 else 1.45
    values = []
    for cells in (200, 400, 800):
        y, k, e, nut, s = solve(retau, cells, c1)
        values.append(bulk(y, nut, retau))
        print("Re_tau %g C1 %g: %4d cells (first y+ %.4f): U_b+ %.5f, c_f %.6f" % (retau, c1, cells, y[1], values[-1], 2 / values[-1] ** 2))
    limit = values[2] + (values[2] - values[1]) / 3  # second order
    print("Richardson limit U_b+ %.4f, c_f %.6f; against the DNS at Re_tau 395 (U_b+ 17.55): c_f %.3f of it"
          % (limit, 2 / limit ** 2, (17.55 / limit) ** 2))
    # The solver against the model's log layer: constant stress, the top at y+ 20,000 held at its values.
    y, k, e, nut, s = solve(20000.0, 600, c1, constant_stress=True)
    kappa = math.sqrt((C2 - c1) * SIGMA_EPS * math.sqrt(CMU))
    for target in (1000, 10000):
        i = min(range(len(y)), key=lambda j: abs(y[j] - target))
        print("constant stress, y+ %.0f: 1 / (y U') %.4f, k %.4f, eps kappa y %.4f (log layer: %.4f, %.4f, 1)"
              % (y[i], 1 / (y[i] * s[i]), k[i], e[i] * kappa * y[i], kappa, 1 / math.sqrt(CMU)))


if __name__ == "__main__":
    main()
