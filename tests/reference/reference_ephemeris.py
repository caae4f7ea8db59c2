#!/usr/bin/env python3
"""An independent computation of the ephemeris file, used to check the program.

Reads an element file written in the plain form (four lines of blank-separated
numbers, anything after the values of a line ignored) from the first argument
and prints the ephemeris file the program must write for it. Python floats are
IEEE doubles and its math module wraps the C library, so the formulas below,
evaluated in the same order as the program, give the same bits; Python's own
"%.9G" formatting is correctly rounded, as the C library's is.
"""
import math
import sys

GAUSS_K = 0.01720209895
OBLIQUITY_DEG = 23.439291
TRUE_ANOMALY_TOLERANCE = 1e-10
U = 2.0**-53


def clamp(x):
    return x if -1.0 <= x <= 1.0 or x != x else (1.0 if x > 0 else -1.0)


def item(v):
    sign = "-" if v < 0 else " "
    mag = -v if v < 0 else v
    if mag == 0:
        text = "0."
    else:
        text = "%.9G" % mag
        if text[0] not in "INin" and "." not in text:
            text = text.replace("E", ".E") if "E" in text else text + "."
    return " " + sign + text


def record_text(values):
    out, count = "", 0
    for v in values:
        t = item(v)
        if count > 0 and count + len(t) >= 80:
            out, count = out + "\n", 0
        out, count = out + t, count + len(t)
    return out + "\n"


def kepler(e, m):
    # The plain fixed-point iteration; for the orbits used with this script it
    # reaches an exact fixed point long before the hundredth step.
    big_e = m
    for _ in range(100):
        big_e = e * math.sin(big_e) + m
    return big_e


def acos_floor(e):
    # The least 1 - x*x at which acos(x), x = (p/r - 1)/e, is trusted: from the
    # bound 2*((u/e)*(10 + 2e^2/(1 - e^2) + 6e/(1 - e)) + 2u) on x's rounding.
    if e == 0:
        return math.inf
    first = (U / e) * (10 + 2 * (e * e) / ((1 - e) * (1 + e)) + 6 * e / (1 - e)) + 2 * U
    err = 2 * first
    ratio = err / TRUE_ANOMALY_TOLERANCE
    return ratio * ratio + 3 * err


def rotax(v, theta):
    c, s = math.cos(theta), math.sin(theta)
    x, y, z = v
    return (x, y * c + z * s, -y * s + z * c)


def rotaz(v, theta):
    c, s = math.cos(theta), math.sin(theta)
    x, y, z = v
    return (x * c + y * s, -x * s + y * c, z)


def main():
    lines = [l.split() for l in open(sys.argv[1]).read().splitlines() if l.strip()]
    t = 4 * math.atan(1)
    two_pi, pi, eps = t + t, t, t * OBLIQUITY_DEG / 180

    def body(vals):
        a, e, i, w, node, m0, t0, mass = (float(x) for x in vals[:8])
        i, w, node, m0 = (pi * x / 180 for x in (i, w, node, m0))
        n = (GAUSS_K / math.pow(a, 1.5)) * math.pow(1 + mass, 0.5)
        p = (1 - e * e) * a
        return (a, e, i, w, node, m0, t0, n, p)

    def true_anomaly(e, p, r, m, big_e, cos_e):
        if e == 0:
            return m
        x = (p / r - 1) / e
        if (1 - x) * (1 + x) >= acos_floor(e):
            nu = math.acos(x)
        else:
            b = math.sqrt((1 - e) * (1 + e))
            nu = math.atan2(b * abs(math.sin(big_e)), cos_e - e)
        return two_pi - nu if m > pi else nu

    def helio(b, d):
        a, e, i, w, node, m0, t0, n, p = b
        m = (d - t0) * n + m0
        while m > two_pi:
            m = m - two_pi
        while m < 0:
            m = m + two_pi
        big_e = kepler(e, m)
        cos_e = math.cos(big_e)
        r = (1 - e * cos_e) * a
        nu = true_anomaly(e, p, r, m, big_e, cos_e)
        v = (r * math.cos(nu), r * math.sin(nu), 0.0)
        v = rotaz(v, -w)
        v = rotax(v, -i)
        v = rotaz(v, -node)
        return v, r

    target, observer = body(lines[0]), body(lines[1])
    start, count = float(lines[2][0]), int(lines[3][0])
    d = start - 1
    out = []
    for _ in range(count):
        d = d + 1
        pt, rt = helio(target, d)
        po, ro = helio(observer, d)
        dv = tuple(a - b for a, b in zip(pt, po))
        delta = math.sqrt((dv[0] * dv[0] + dv[1] * dv[1]) + dv[2] * dv[2])
        q = rotax(dv, -eps)
        dec = math.asin(clamp(q[2] / delta))
        ra = 0.0  # toward a pole of the equator
        if q[0] != 0 or q[1] != 0 or q[2] == 0:
            ra = math.acos(clamp((q[0] / delta) / math.cos(dec)))
            if q[1] < 0:
                ra = two_pi - ra
        po_d = (po[0] * dv[0] + po[1] * dv[1]) + po[2] * dv[2]
        pt_d = (pt[0] * dv[0] + pt[1] * dv[1]) + pt[2] * dv[2]
        elong = math.acos(clamp(-(po_d / ro / delta))) * 180 / pi
        c = clamp(pt_d / rt / delta)
        phase = math.acos(c) * 180 / pi
        k = (c + 1) * 0.5
        out.append(record_text([d, ra * 180 / pi / 15, dec * 180 / pi, rt, delta, elong, phase, k]))
    sys.stdout.write("".join(out))


main()
