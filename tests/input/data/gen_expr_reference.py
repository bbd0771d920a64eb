#!/usr/bin/env python3
"""Writes expr_reference.txt: random, fully parenthesised function texts with
their values computed here by Python's math module (an evaluator independent
of the compiler under test). Every binary form is parenthesised, so precedence
rules cannot differ; only the meaning of each operator is compared.

Each output line: text TAB t TAB it TAB dt TAB step TAB value (repr).
Run once; the output is committed and the test reads it:
    python3 gen_expr_reference.py > expr_reference.txt
"""
import math
import random
import sys

E = 2.718281828459045
INT_MAX = 2147483647


class Skip(Exception):
    pass


def num():
    v = random.choice([random.uniform(0, 10), random.uniform(0, 2), float(random.randint(0, 12))])
    text = "%.6f" % v
    return text, float(text)


def to_int(v):
    r = math.trunc(v)
    if abs(r) > INT_MAX:
        raise Skip
    return r


def check(v):
    if not math.isfinite(v) or abs(v) > 1e200:
        raise Skip
    return v


UNARY = {
    "sin": math.sin, "cos": math.cos, "tan": math.tan, "atan": math.atan,
    "asin": math.asin, "acos": math.acos, "sinh": math.sinh, "cosh": math.cosh,
    "tanh": math.tanh, "asinh": math.asinh, "acosh": math.acosh, "atanh": math.atanh,
    "sqrt": math.sqrt, "abs": math.fabs, "ln": math.log, "log": math.log10,
    "exp": lambda b: math.pow(E, b), "int": lambda b: float(math.trunc(b)),
    "~": lambda b: 1.0 if b == 0 else 0.0,
}


def fac(b):
    n = math.trunc(b)
    if n < 0 or n > 20:
        raise Skip
    f = 1.0
    for i in range(2, n + 1):
        f *= i
    return f


UNARY["fac"] = fac


def domain(name, b):
    if name in ("asin", "acos") and abs(b) > 1:
        raise Skip
    if name == "acosh" and b < 1:
        raise Skip
    if name == "atanh" and abs(b) >= 1:
        raise Skip
    if name in ("sqrt", "ln", "log") and b <= 0:
        raise Skip


def mod(a, b):
    m = to_int(b + 0.5)
    if m == 0:
        raise Skip
    return math.fmod(to_int(a + 0.5), m)


def nonzero(b):
    if b == 0:
        raise Skip
    return b


BINARY = {
    "+": lambda a, b: a + b,
    "-": lambda a, b: a - b,
    "*": lambda a, b: a * b,
    "/": lambda a, b: a / nonzero(b),
    "^": math.pow,
    "e": lambda a, b: a * math.pow(10.0, b),
    "e-": lambda a, b: a * math.pow(10.0, -b),
    "mod": mod,
    "div": lambda a, b: float(to_int(a / nonzero(b) + 0.5)),
    "rmod": lambda a, b: (a / nonzero(b)) - math.trunc(a / b),
    "rdiv": lambda a, b: float(math.trunc(a / nonzero(b))),
    "min": lambda a, b: b if b < a else a,
    "max": lambda a, b: b if b > a else a,
    ">": lambda a, b: 1.0 if a > b else 0.0,
    "<": lambda a, b: 1.0 if a < b else 0.0,
    ">=": lambda a, b: 1.0 if a >= b else 0.0,
    "<=": lambda a, b: 1.0 if a <= b else 0.0,
    "=": lambda a, b: 1.0 if a == b else 0.0,
    "~=": lambda a, b: 1.0 if a != b else 0.0,
    "&": lambda a, b: 1.0 if (a != 0 and b != 0) else 0.0,
    "|": lambda a, b: 1.0 if (a != 0 or b != 0) else 0.0,
}


def gen(depth, env):
    """Returns (text, value) of a random expression."""
    r = random.random()
    if depth == 0 or r < 0.2:
        k = random.random()
        if k < 0.45:
            return num()
        if k < 0.8:
            return "t", env["t"]
        if k < 0.87:
            return "pi", 3.141592653589793
        if k < 0.92:
            return "it", env["it"]
        if k < 0.96:
            return "dt", env["dt"]
        return "step", float(env["step"])
    if r < 0.45:
        op = random.choice(list(BINARY))
        a_text, a = gen(depth - 1, env)
        b_text, b = gen(depth - 1, env)
        if op in ("^", "e", "e-") and abs(b) > 8:
            raise Skip
        v = check(BINARY[op](a, b))
        if op == "e-":
            return "(%s e-%s)" % (a_text, b_text), v
        return "(%s %s %s)" % (a_text, op, b_text), v
    if r < 0.7:
        name = random.choice(list(UNARY))
        b_text, b = gen(depth - 1, env)
        domain(name, b)
        return "%s(%s)" % (name, b_text), check(UNARY[name](b))
    if r < 0.78:
        b_text, b = gen(depth - 1, env)
        return "(-%s)" % b_text, -b
    if r < 0.88:
        c_text, c = gen(depth - 1, env)
        e1_text, e1 = gen(depth - 1, env)
        if random.random() < 0.5:
            c2_text, c2 = gen(depth - 1, env)
            e2_text, e2 = gen(depth - 1, env)
            e3_text, e3 = gen(depth - 1, env)
            v = e1 if c != 0 else (e2 if c2 != 0 else e3)
            return "(if (%s) then %s elif (%s) then %s else %s endif)" % (c_text, e1_text, c2_text, e2_text, e3_text), v
        e2_text, e2 = gen(depth - 1, env)
        return "(if (%s) then %s else %s endif)" % (c_text, e1_text, e2_text), (e1 if c != 0 else e2)
    # Interpolate over an ascending table
    k = random.randint(2, 5)
    xs = sorted(random.sample(range(-5, 15), k))
    ys = [float("%.3f" % random.uniform(-5, 5)) for _ in xs]
    b_text, v = gen(depth - 1, env)
    if v <= xs[0]:
        res = ys[0]
    elif v >= xs[-1]:
        res = ys[-1]
    else:
        i = next(i for i in range(1, k) if v <= xs[i])
        res = ys[i - 1] + (ys[i] - ys[i - 1]) * (v - xs[i - 1]) / (xs[i] - xs[i - 1])
    table = " ".join("%d %.3f" % (x, y) for x, y in zip(xs, ys))
    return "Interpolate(#%s#%s)" % (table, b_text), res


def main():
    random.seed(20240611)
    out = []
    while len(out) < 3000:
        env = {"t": float("%.4f" % random.uniform(0, 12)), "it": float(random.randint(1, 9)),
               "dt": float("%.4f" % random.uniform(0.001, 1)), "step": random.randint(1, 50)}
        try:
            text, v = gen(random.randint(1, 5), env)
            check(v)
        except (Skip, ValueError, OverflowError, ZeroDivisionError):
            continue
        out.append("%s\t%r\t%r\t%r\t%d\t%r" % (text, env["t"], env["it"], env["dt"], env["step"], v))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
