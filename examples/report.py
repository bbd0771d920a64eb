#!/usr/bin/env python3
"""Prints the figures that an example of examples/ promises, for a finished run of it.

    python3 PATH/examples/report.py NAME

run in the folder where the example ran: it reads the data file NAME and the files the run wrote
beside it (NAME.res, NAME.for, NAME.mov, NAME.rst). Each figure is printed on a line of its own
beside its reference, with their difference and the band that the example's comment gives it:

    c_f  0.00422  reference 0.00425  difference -0.77%  band 4%  inside

A band is a comment line of the data file "!   FIGURE within BAND of ...", BAND a number, or a
number and "%" for a difference relative to the reference. The report of a data file is the first
known word after "report.py" in its comment (the generator examples/cylinder3d.py names
cylinder3d), else NAME itself. A run cut short reads as well: its figures are those of its last
output. Exit status: 0 when every figure lies in its band, 3 when one lies outside, 1 when the
files cannot be read or a figure and the bands of the comment do not match (a one-line message),
and 1 with a traceback and "report.py fault: ..." for a fault of the report itself. Standard
library only.
"""
import ast
import math
import operator
import os
import re
import sys
import traceback

BAND = re.compile(r"^!\s+(\S+)\s+within\s+([-+0-9.eE]+)(%?)\s+of\b")
OUTSIDE = 3


class Unreadable(Exception):
    """A file of the run is missing or does not hold what the report needs."""


SHORT = "the run's files do not hold what the report reads: "


class Entries(dict):
    """Values by node or body number of a file: a number it lacks is a fault of the file, not of
    the report. `missing` % key is the message."""

    def __init__(self, missing):
        dict.__init__(self)
        self.missing = missing

    def __missing__(self, key):
        raise Unreadable(self.missing % (key,))


def numbers(words, where, count=None):
    """The words as numbers, `count` of them when given: else the file `where` is at fault."""
    try:
        values = [float(v) for v in words]
    except ValueError as e:
        raise Unreadable(SHORT + "%s: %s" % (where, e))
    if count is not None and len(values) != count:
        raise Unreadable(SHORT + "%s: %d values where %d belong" % (where, len(values), count))
    return values


# ---------------------------------------------------------------- reading a run


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError as e:
        raise Unreadable("%s: %s" % (path, e.strerror))


_OPS = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul, ast.Div: operator.truediv,
        ast.Pow: operator.pow, ast.USub: operator.neg, ast.UAdd: operator.pos}


def constant(text):
    """The value of a constant function text such as "(4000/87000)^2/0.985"."""
    def value(node):
        if isinstance(node, ast.Constant) and isinstance(node.value, (int, float)):
            return float(node.value)
        if isinstance(node, ast.BinOp) and type(node.op) in _OPS:
            return _OPS[type(node.op)](value(node.left), value(node.right))
        if isinstance(node, ast.UnaryOp) and type(node.op) in _OPS:
            return _OPS[type(node.op)](value(node.operand))
        raise Unreadable("not a constant function: %r" % text)
    try:
        return value(ast.parse(text.replace("^", "**"), mode="eval").body)
    except (SyntaxError, ArithmeticError):
        raise Unreadable("not a constant function: %r" % text)


# The unit symbols of lengths, times, masses and forces that a data file may give, with their
# factors to SI units, and the one-letter prefixes: the grammar of the data file's units ("N/m",
# "Kg.m/s2", "KN/cm"), enough for the figures the reports compute.
SYMBOLS = {"m": 1, "A": 1e-10, "in": 0.0254, "ft": 0.3048, "yd": 0.9144, "mi": 1609.344, "Nmi": 1852,
           "s": 1, "min": 60, "hour": 3600, "day": 86400, "rad": 1, "deg": 0.01745329251994,
           "Kg": 1, "g": 0.001, "lb": 0.45359237, "ton": 907.18474, "oz": 0.028349523125,
           "N": 1, "dn": 1e-05, "Kp": 9.80665, "lbf": 4.448222, "tonf": 8896.443230521}
PREFIXES = {"D": 10, "H": 100, "K": 1000, "M": 1e6, "G": 1e9, "d": 0.1, "c": 0.01, "m": 0.001, "u": 1e-6,
            "n": 1e-9}


def si_factor(text, where):
    """The factor to SI of a unit text without its brackets: products by ".", one "/", powers by
    trailing digits, a symbol or a prefix and a symbol."""
    def term(t):
        m = re.match(r"^(\D+)(\d*)$", t)
        if not m:
            raise Unreadable("%s: unit [%s] is not one the report knows" % (where, text))
        symbol, power = m.group(1), int(m.group(2) or 1)
        if symbol in SYMBOLS:
            return SYMBOLS[symbol] ** power
        if symbol[0] in PREFIXES and symbol[1:] in SYMBOLS:
            return (PREFIXES[symbol[0]] * SYMBOLS[symbol[1:]]) ** power
        raise Unreadable("%s: unit [%s] is not one the report knows" % (where, text))

    def product(t):
        f = 1.0
        for part in t.split("."):
            f *= term(part)
        return f

    top, _, bottom = text.partition("/")
    return product(top) / (product(bottom) if bottom else 1.0)


class Data:
    """What the report reads of a data file: its comment, nodes, element sets and cards."""

    def __init__(self, name):
        self.name = name
        self.text = read(name)
        lines = self.text.split("\n")
        self.comment = [l for l in lines if l.startswith("!")]
        self.nodes = Entries("%s holds no node %%s" % name)
        self.sets = []  # dicts: card (the set's line), type, name, functions, elements
        self.conditions = []  # (node, keyword, values) of the boundary blocks
        at = 0
        while at < len(lines):
            line = lines[at].strip()
            at += 1
            if line.startswith("Nodes;"):
                while at < len(lines) and re.match(r"\s*\d", lines[at]):
                    w = lines[at].split()
                    self.nodes[int(w[0])] = tuple(numbers(w[1:4], "%s line %d" % (name, at + 1), 3))
                    at += 1
            elif line.startswith("Set "):
                s = {"card": line, "type": re.search(r"\bType\s+(\S+)", line).group(1).lower(),
                     "name": self.word(line, "Name"), "functions": {}, "elements": []}
                self.sets.append(s)
                while at < len(lines) and not lines[at].startswith(("Set ", "EndElmSets")):
                    f = re.match(r'\s*Function\s+(\S+)\s+"([^"]*)"', lines[at])
                    if f:
                        s["functions"][f.group(1)] = f.group(2)
                    elif re.match(r"\s*\d", lines[at]):
                        s["elements"].append([int(v) for v in lines[at].split()[1:]])
                    at += 1
            elif line.startswith("Node "):
                w = line.rstrip(";").split()
                values = []
                for v in w[3:]:  # the numbers after the keyword, up to a further keyword
                    if not re.match(r"[-+]?[.\d]", v):
                        break
                    values.append(float(v))
                if len(w) > 2 and w[1].isdigit():
                    self.conditions.append((int(w[1]), w[2], values))

    @staticmethod
    def word(card, key):
        m = re.search(r"\b%s\s+(\S+)" % key, card)
        return m.group(1).rstrip(";") if m else None

    def number(self, card, key):
        w = self.word(card, key)
        if w is None:
            raise Unreadable("%s: no %s on the card %r" % (self.name, key, card[:60]))
        return numbers([w], "%s, %s" % (self.name, key))[0]

    def numbers_after(self, card, key):
        """The numbers that follow `key` on the card, up to the next word."""
        m = re.search(r"\b%s((?:\s+[-+]?[.\d][^\s;]*)+)" % key, card)
        if not m:
            raise Unreadable("%s: no numbers after %s on the card %r" % (self.name, key, card[:60]))
        return numbers(m.group(1).split(), "%s, %s" % (self.name, key))

    def unit(self, card, key):
        """The factor to SI units of the unit that follows `key` on the card ("KD_Units [N/m]")."""
        m = re.search(r"\b%s(?:\s+[-+]?[.\d][^\s;]*)*\s+\[([^\]]*)\]" % key, card)
        if not m:
            raise Unreadable("%s: no unit after %s on the card %r" % (self.name, key, card[:60]))
        return si_factor(m.group(1), self.name)

    def card(self, keyword):
        for line in self.text.split("\n"):
            if line.startswith(keyword):
                return line
        raise Unreadable("%s: no %s card" % (self.name, keyword))

    def set_of(self, kind):
        sets = [s for s in self.sets if s["type"] == kind]
        if not sets:
            raise Unreadable("%s: no set of type %s" % (self.name, kind))
        return sets

    def function(self, name, kind="fluid"):
        for s in self.set_of(kind):
            if name in s["functions"]:
                return constant(s["functions"][name])
        raise Unreadable("%s: no function %s" % (self.name, name))

    def set_nodes(self, s):
        return sorted({n for e in s["elements"] for n in e})

    def node_at(self, point, eps=1e-9):
        for k, x in self.nodes.items():
            if all(abs(a - b) < eps for a, b in zip(x, point)):
                return k
        raise Unreadable("%s: no node at %s" % (self.name, point))

    def gravity(self):
        w = self.card("PhysicalData").split()
        at = w.index("Gravity")
        return [float(v) for v in w[at + 1:at + 4]]

    def bands(self):
        out = {}
        for line in self.comment:
            m = BAND.match(line)
            if m:
                out[m.group(1)] = (float(m.group(2)), m.group(3) == "%")
        return out


def results(name):
    """The blocks of NAME.res in file order: (field, time, {node: [values]})."""
    blocks = []
    lines = read(name + ".res").split("\n")
    at = 0
    while at < len(lines):
        m = re.match(r'Result "([^"]*)" "[^"]*" (\S+)(?: (\S+))?', lines[at])
        at += 1
        if not m:
            continue
        field, time = m.group(1), numbers([m.group(2)], "%s.res line %d" % (name, at))[0]
        # The values a node line holds: one of a scalar, three of a vector (its magnitude is not
        # written), those of the block's first line otherwise.
        count = {"Scalar": 1, "Vector": 3}.get(m.group(3))
        while at < len(lines) and lines[at] != "Values":
            at += 1
        values = Entries(SHORT + "no node %%s in the %s block of time %g of %s.res" % (field, time, name))
        at += 1
        while at < len(lines) and lines[at] != "End Values":
            w = lines[at].split()
            if not w[0].isdigit():
                raise Unreadable(SHORT + "%s.res line %d: no node number" % (name, at + 1))
            values[int(w[0])] = numbers(w[1:], "%s.res line %d" % (name, at + 1), count)
            count = len(values[int(w[0])])
            at += 1
        blocks.append((field, time, values))
    return blocks


def last(blocks, field):
    found = [b for b in blocks if b[0] == field]
    if not found:
        raise Unreadable("no %s block in the result file" % field)
    return found[-1]


def table(name, ext):
    """The lines of NAME.for or NAME.mov: (time, {body: [values]})."""
    rows = []
    per = 12 if ext == ".for" else 6  # the numbers of a body on a line
    for n, line in enumerate(read(name + ext).split("\n")):
        if not line.strip():
            continue
        where = "%s%s line %d" % (name, ext, n + 1)
        w = line.rstrip("\t").split("\t")
        time = numbers(w[:1], where)[0]
        bodies, at = Entries(SHORT + "no body %%s on %s" % where), 1
        while at < len(w):
            body, at = w[at].strip('"'), at + 1
            start = at
            while at < len(w) and not w[at].startswith('"'):
                at += 1
            bodies[body] = numbers(w[start:at], where + ", body " + body, per)
        rows.append((time, bodies))
    if not rows:
        raise Unreadable("%s%s holds no line: did the run take a step?" % (name, ext))
    return rows


def restart(name, domain, field):
    """The values of a field ("_Tempt_", ...) of a domain ("Fluid", "Solid") in NAME.rst."""
    words = read(name + ".rst").split()
    try:
        at = words.index(domain + ";")
        at = words.index(field, at)
    except ValueError:
        raise Unreadable("%s.rst holds no %s of the %s domain" % (name, field, domain))
    where = "%s.rst, %s of the %s domain" % (name, field, domain)
    count = numbers([w.rstrip(";") for w in words[at + 3:at + 4]], where, 1)[0]
    if count != int(count) or count < 0:
        raise Unreadable(SHORT + "%s: a length of %g" % (where, count))
    return numbers(words[at + 4:at + 4 + int(count)], where, int(count))


def crossings(times, values, level=0.0):
    """The times at which the values pass the level: by linear interpolation between two values on
    either side of it, at the middle of a run of values exactly on it between two such values; a
    run that touches the level and turns back does not pass it."""
    out = []
    side, on, before = 0, None, None  # the side of the last value off the level, the run on it since
    for t, v in zip(times, values):
        v -= level
        if v == 0:
            on = (on[0], t) if on else (t, t)
            continue
        if side and (v > 0) != (side > 0):
            out.append((on[0] + on[1]) / 2 if on else before[0] + (t - before[0]) * before[1] / (before[1] - v))
        side, on, before = v, None, (t, v)
    return out


def period(times, values):
    c = crossings(times, values)
    if len(c) < 3:
        raise Unreadable("fewer than three zero crossings: the run is too short for a period")
    return 2 * (c[-1] - c[0]) / (len(c) - 1)


# ---------------------------------------------------------------- the examples' figures
#
# Each report gives (figure, value, reference, where) tuples; `where` says at which point of a
# profile the largest difference lies, or is empty.

# Ghia, Ghia & Shin (1982), Re 100: u on the vertical centreline at y, v on the horizontal
# centreline at x; the walls' zero and the lid's one left out.
GHIA_U = [(0.9766, 0.84123), (0.9688, 0.78871), (0.9609, 0.73722), (0.9531, 0.68717), (0.8516, 0.23151),
          (0.7344, 0.00332), (0.6172, -0.13641), (0.5, -0.20581), (0.4531, -0.2109), (0.2813, -0.15662),
          (0.1719, -0.1015), (0.1016, -0.06434), (0.0703, -0.04775), (0.0625, -0.04192), (0.0547, -0.03717)]
GHIA_V = [(0.9688, -0.05906), (0.9609, -0.07391), (0.9531, -0.08864), (0.9453, -0.10313), (0.9063, -0.16914),
          (0.8594, -0.22445), (0.8047, -0.24533), (0.5, 0.05454), (0.2344, 0.17527), (0.2266, 0.17507),
          (0.1563, 0.16077), (0.0938, 0.12317), (0.0781, 0.1089), (0.0703, 0.10091), (0.0625, 0.09233)]


def along(points, s):
    """Linear interpolation in sorted (s, value) points."""
    for (s0, a), (s1, b) in zip(points, points[1:]):
        if s0 <= s <= s1:
            return a + (b - a) * (s - s0) / (s1 - s0)
    raise Unreadable("no nodes around %g on the centreline" % s)


def worst(name, pairs):
    """The figure of the largest difference among (value, reference, where) triples."""
    v, r, where = max(pairs, key=lambda p: abs(p[0] - p[1]))
    return (name, v, r, where)


def cavity(data, run):
    """u and v on the centrelines of the unit cavity against Ghia's table (lid speed 1)."""
    _, t, vel = last(results(run), "VELOCITY")
    vertical = sorted((x[1], vel[k][0]) for k, x in data.nodes.items() if abs(x[0] - 0.5) < 1e-9)
    horizontal = sorted((x[0], vel[k][1]) for k, x in data.nodes.items() if abs(x[1] - 0.5) < 1e-9)
    return t, [worst("u_centre", [(along(vertical, y), u, "y %g" % y) for y, u in GHIA_U]),
               worst("v_centre", [(along(horizontal, x), v, "x %g" % x) for x, v in GHIA_V])]


def channel(data, run):
    """Poiseuille flow: the inlet's parabola everywhere, the pressure falling linearly to 0."""
    blocks = results(run)
    _, t, vel = last(blocks, "VELOCITY")
    _, _, pres = last(blocks, "PRESSURE")
    ys = [x[1] for x in data.nodes.values()]
    xs = [x[0] for x in data.nodes.values()]
    h, length = max(ys) - min(ys), max(xs) - min(xs)
    # The axis speed of the parabola through the inlet nodes.
    umax = max(v[0] * h * h / (4 * (data.nodes[k][1] - min(ys)) * (max(ys) - data.nodes[k][1]))
               for k, kw, v in data.conditions
               if kw == "Velc" and abs(data.nodes[k][0] - min(xs)) < 1e-9 and min(ys) < data.nodes[k][1] < max(ys))
    mu = data.function("Viscosity")
    rho = data.function("Density")

    def u(y):
        y -= min(ys)
        return 4 * umax * y * (h - y) / h ** 2

    def p(x):
        return 8 * mu * umax / h ** 2 * (min(xs) + length - x) / rho

    return t, [worst("u", [(vel[k][0], u(x[1]), "node %d" % k) for k, x in data.nodes.items()]),
               worst("v", [(vel[k][1], 0.0, "node %d" % k) for k, x in data.nodes.items()]),
               worst("p", [(pres[k][0], p(x[0]), "node %d" % k) for k, x in data.nodes.items()])]


def conduction(data, run):
    """The steady temperature between the two held sides: linear in x."""
    _, t, temp = last(results(run), "TEMPERATURE")
    held = {data.nodes[k][0]: v[0] for k, kw, v in data.conditions if kw == "Temp"}
    (x0, t0), (x1, t1) = min(held.items()), max(held.items())
    return t, [worst("T", [(temp[k][0], t0 + (t1 - t0) * (x[0] - x0) / (x1 - x0), "x %g y %g" % x[:2])
                           for k, x in data.nodes.items()])]


def wall(data, run):
    """Water and plate in series through the contact conductance: the two sides of the contact."""
    plate = data.set_of("solid")[0]
    contact = data.set_nodes(data.set_of("interface")[0])
    k1, k2 = data.function("Conductivity"), data.function("ConductivityXX", "solid")
    m = re.search(r'Rest_Tem\s+"([^"]*)"', data.set_of("interface")[0]["card"])
    if not m:
        raise Unreadable("%s: no Rest_Tem on the interface set" % data.name)
    hc = constant(m.group(1))
    held = {data.nodes[k][0]: v[0] for k, kw, v in data.conditions if kw == "Temp"}
    (x0, t0), (x2, t2) = min(held.items()), max(held.items())
    xc = data.nodes[contact[0]][0]
    q = (t0 - t2) / ((xc - x0) / k1 + 1 / hc + (x2 - xc) / k2)
    _, t, temp = last(results(run), "TEMPERATURE")
    # The result file holds one value a node, the water's at the shared nodes; the plate's own
    # values are in the solid domain's block of the restart file, in the numbering of its nodes.
    solid = data.set_nodes(plate)
    plate_t = Entries(SHORT + "no node %%s among the solid's values in %s.rst" % run)
    plate_t.update(zip(solid, restart(run, "Solid", "_Tempt_")))
    return t, [worst("water_contact", [(temp[k][0], t0 - q * (xc - x0) / k1, "node %d" % k) for k in contact]),
               worst("plate_contact", [(plate_t[k], t2 + q * (x2 - xc) / k2, "node %d" % k) for k in contact])]


def spring_body(data, run):
    """The body's height in the movement table against the spring's period 2 pi sqrt(m / K)."""
    body = data.set_of("wbody")[0]
    card = body["card"]
    m = data.number(card, "Mass") * data.unit(card, "Mass")
    # The springs' KD, each spring's first number (6 numbers a spring in 2D, 8 in 3D), in the
    # card's "KD_Units": they pull the centre together.
    springs = data.numbers_after(card, "Springs")
    per = 8 if data.text.startswith("OLVU_3D") else 6
    k = sum(springs[0:len(springs) - len(springs) % per:per]) * data.unit(card, "KD_Units")
    rows = table(run, ".mov")
    times = [r[0] for r in rows]
    heights = [r[1][body["name"]][1] for r in rows]
    return times[-1], [("period", period(times, heights), 2 * math.pi * math.sqrt(m / k), "")]


def standing_wave(data, run):
    """The cos(k x) mode of the surface: its period against linear theory and what it keeps."""
    surface = data.set_nodes(data.set_of("frees")[0])
    xs = sorted((data.nodes[k][0], k) for k in surface)
    length = xs[-1][0] - xs[0][0]
    wave = math.pi / length
    g = math.sqrt(sum(c * c for c in data.gravity()))
    depth = float(data.card("PhysicalData").split("Pres_Origin")[1].split()[1]) - min(
        x[1] for x in data.nodes.values())

    def mode(values):  # the projection of the elevation on cos(k x), trapezoidal along the surface
        num = den = 0.0
        for (xa, a), (xb, b) in zip(xs, xs[1:]):
            ca, cb = math.cos(wave * (xa - xs[0][0])), math.cos(wave * (xb - xs[0][0]))
            num += 0.5 * (xb - xa) * (values[a][0] * ca + values[b][0] * cb)
            den += 0.5 * (xb - xa) * (ca * ca + cb * cb)
        return num / den

    blocks = [b for b in results(run) if b[0] == "WAVE_ELEVATION"]
    if len(blocks) < 2:
        raise Unreadable("fewer than two WAVE_ELEVATION blocks in %s.res" % run)
    times = [b[1] for b in blocks]
    amplitude = [mode(b[2]) for b in blocks]
    theory = 2 * math.pi / math.sqrt(g * wave * math.tanh(wave * depth))
    # The start's elevation is the data's: the first block after the start-up round holds it.
    start = amplitude[0] if abs(amplitude[0]) > 0 else amplitude[1]
    return times[-1], [("period", period(times, amplitude), theory, ""),
                       ("mode", amplitude[-1] / start, 1.0, "t %g" % times[-1])]


def reichardt(y):
    return 7.8 * (1 - math.exp(-y / 11) - (y / 11) * math.exp(-0.33 * y)) + 2.5 * math.log(1 + 0.41 * y)


def channel_turbulent(data, run):
    """The fully developed channel: c_f against Dean's correlation, u+ against the log law, and
    the wall stress of the force table against the drive."""
    nu = data.function("Viscosity") / data.function("Density")
    walls = data.set_of("body")
    yplus = data.number(walls[0]["card"], "Yplus")
    ys = [x[1] for x in data.nodes.values()]
    xs = [x[0] for x in data.nodes.values()]
    half = (max(ys) - min(ys)) / 2  # the mesh's half height: the wall nodes lie y+ off the walls
    drive = data.function("AccelerationX") * half  # u_tau^2: the body force on a half, per wall
    ut = math.sqrt(drive)
    off = yplus * nu / ut
    delta = half + off
    _, t, vel = last(results(run), "VELOCITY")
    column = sorted((x[1], vel[k][0]) for k, x in data.nodes.items() if abs(x[0] - min(xs)) < 1e-9)
    inside = sum(0.5 * (y1 - y0) * (a + b) for (y0, a), (y1, b) in zip(column, column[1:]))
    n = 300  # Simpson's rule over Reichardt's profile, the layers below the wall nodes
    below = sum((1 if i in (0, n) else 4 if i % 2 else 2) * reichardt(yplus * i / n) for i in range(n + 1))
    below *= ut * off / (3 * n)
    bulk = (inside + 2 * below) / (2 * delta)
    re_m = bulk * 2 * delta / nu
    figures = [("c_f", 2 * drive / bulk ** 2, 0.073 * re_m ** -0.25, "Re_m %.0f" % re_m)]
    law = []
    for y, u in column:
        yp = (min(y - min(ys), max(ys) - y) + off) * ut / nu
        if 50 <= yp <= 400:
            law.append((u / ut, math.log(yp) / 0.41 + 5.2, "y+ %.0f" % yp))
    if not law:
        raise Unreadable("no node between y+ 50 and 400")
    figures.append(worst("u+", law))
    rho = data.function("Density")
    forces = table(run, ".for")[-1][1]
    stress = [(abs(forces[s["name"]][6]) / (max(xs) - min(xs)), rho * drive, s["name"]) for s in walls]
    figures.append(max(((("wall_stress",) + p) for p in stress), key=lambda f: abs(f[1] - f[2])))
    return t, figures


# The benchmark's flows past a cylinder: mean inflow speed, diameter, c_D, c_L and the pressure
# difference between the front and back points of the cylinder (at mid-height in 3D).
CYLINDER = {2: dict(speed=0.2, d=0.1, span=1.0, c_D=5.5795, c_L=0.0106, dp=0.1175,
                    front=(0.15, 0.2), back=(0.25, 0.2)),
            3: dict(speed=0.2, d=0.1, span=0.41, c_D=6.18533, c_L=0.009401, dp=0.17157,
                    front=(0.45, 0.2, 0.205), back=(0.55, 0.2, 0.205))}


def cylinder(data, run):
    """Drag and lift coefficients from the last force line, the pressure difference from the last
    PRESSURE block, against the benchmark."""
    b = CYLINDER[3 if data.text.startswith("OLVU_3D") else 2]
    body = data.set_of("body")[0]["name"]
    time, forces = table(run, ".for")[-1]
    f = forces[body]
    scale = 2 / (data.function("Density") * b["speed"] ** 2 * b["d"] * b["span"])
    _, t, pres = last(results(run), "PRESSURE")
    front, back = data.node_at(b["front"]), data.node_at(b["back"])
    return t, [("c_D", scale * (f[0] + f[6]), b["c_D"], "pressure part %.4g" % (scale * f[0])),
               ("c_L", scale * (f[1] + f[7]), b["c_L"], ""),
               ("dp", pres[front][0] - pres[back][0], b["dp"], "")]


REPORTS = {"cavity": cavity, "cavity64": cavity, "channel": channel, "conduction": conduction, "wall": wall,
           "spring_body": spring_body, "standing_wave": standing_wave, "channel_turbulent": channel_turbulent,
           "cylinder": cylinder, "cylinder3d": cylinder}


def kind(data, name):
    for word in re.findall(r"report\.py\s+(\w+)", "\n".join(data.comment)):
        if word in REPORTS:
            return word
    return os.path.basename(name)


def number(v):
    return "%.6g" % v


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    name = argv[1]
    try:
        data = Data(name)
        which = kind(data, name)
        if which not in REPORTS:
            raise Unreadable("%s: no report for it (known: %s)" % (name, ", ".join(sorted(REPORTS))))
        time, figures = REPORTS[which](data, name)
        bands = data.bands()
        missing = [f[0] for f in figures if f[0] not in bands]
        unused = [b for b in bands if b not in [f[0] for f in figures]]
        if missing or unused:
            raise Unreadable("%s: the comment's bands (%s) do not match the figures (%s)" % (
                name, ", ".join(sorted(bands)), ", ".join(f[0] for f in figures)))
        for figure, _, reference, _ in figures:
            if bands[figure][1] and reference == 0:
                raise Unreadable("%s: a band in %% for %s, whose reference is 0" % (name, figure))
    except Unreadable as e:
        sys.exit("report.py: %s" % e)
    except Exception as e:  # a fault of this script, not of the run: the traceback says where
        traceback.print_exc()
        sys.exit("report.py fault: %s: %s (a fault of report.py itself, not of the run's files)" % (
            type(e).__name__, e))
    print("%s (report %s), time %s:" % (name, which, number(time)))
    status = 0
    for figure, value, reference, where in figures:
        band, relative = bands[figure]
        diff = 100 * (value - reference) / abs(reference) if relative else value - reference
        diff = float("%.3g" % diff)  # judged as printed
        ok = abs(diff) <= band
        status = status if ok else OUTSIDE
        print("  %-14s %-12s reference %-12s difference %-10s band %s%s  %s%s" % (
            figure, number(value), number(reference), "%+g%s" % (diff, "%" if relative else ""),
            number(band), "%" if relative else "", "inside" if ok else "OUTSIDE",
            "  (%s)" % where if where else ""))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
