#!/usr/bin/env python3
"""Differential comparison of two builds of orthaxis on random cases.

    compare_builds.py OLD_BINARY NEW_BINARY [--cases N] [--seed S]
                      [--threads 1,2,3] [--keep DIR] [--timeout SECS]
                      [--only ID[,ID...]] [--list]

Every case is generated from the seed and its number alone, so a case is
the same whatever --cases says and can be run again on its own with --only.
Each case runs with both binaries at every thread count, each run in a fresh
copy of the case at one absolute path (messages that name paths agree), with
standard input from /dev/null and the console into files. The runs agree
when they leave the same set of files (and directories and links) with the
same bytes, write the same standard output and standard error, and end with
the same status (or both time out).

One line is printed per case and thread count that differs, naming what
differs and the first differing line; then counts of the cases by kind and
by outcome, and last `N passed, M failed`. The exit status is 0 only when
every case agrees. --keep DIR copies every failing case there: its inputs
(`input/`), what each build left (`old-tT/`, `new-tT/`, with `stdout`,
`stderr` and `status` beside the directory) and `case.txt`, the command.
--list prints the cases' kinds and commands without running anything.
"""

import argparse
import collections
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SETUP = "ORTHAXIS.ST$"
TYPE_NAMES = {1: "cross-products", 2: "covariance", 3: "correlation", 4: "correspondence"}

# ---------------------------------------------------------------------------
# Cases
#
# A case is the files of its working directory (relative path -> bytes, or
# ("link", target) for a symbolic link, or None for an empty directory), the
# arguments of the run (empty: the front end's run), whether the thread count
# goes as --threads rather than in the environment, and its kind and
# analysis type for the counts.


class Case:
    def __init__(self, ident):
        self.ident = ident
        self.files = {}
        self.args = []
        self.threads_option = False
        self.env_threads = None  # an ORTHAXIS_THREADS that replaces every thread count
        self.kind = "valid"  # what the inputs are: "valid" or the fault put in
        self.type = None  # analysis type as written in the setup (or asked for)
        self.size = "small"

    def options(self):
        """The options that choose what the run does, for the counts."""
        shown = [a for a in self.args if a in ("--import", "--csv", "--svg", "--quiet", "--check")]
        return " ".join(shown) or "(none)"

    def put(self, name, content):
        self.files[name] = content.encode("latin-1") if isinstance(content, str) else content

    def command(self, threads):
        args = list(self.args)
        if self.threads_option:
            args = ["--threads", str(threads)] + args
        return args


def fmt_number(rng, v, style):
    """A value in one of the free-format number layouts."""
    if style == "int":
        return str(int(round(v)))
    if style == "dec":
        return "%.*f" % (rng.choice([1, 2, 3, 4]), v)
    if style == "exp":
        s = "%.*E" % (rng.choice([2, 3, 5]), v)
        r = rng.random()
        if r < 0.2:
            s = s.replace("E", "D")
        elif r < 0.4:
            s = s.replace("E", "e")
        return s
    if style == "short":  # the shortest of several forms
        return rng.choice(["%g" % v, "%.6g" % v, repr(round(v, 2))])
    # mixed: each value picks its own
    return fmt_number(rng, v, rng.choice(["int", "dec", "exp", "short"]))


def make_matrix(rng, n, p, kind):
    """An n x p table of values for the analysis type `kind` (1-3 PCA, 4 CoA)."""
    if kind == 4:
        m = [[max(0, int(rng.expovariate(1 / 6.0) + (3 if (i + j) % 3 == 0 else 0)))
              for j in range(p)] for i in range(n)]
        if rng.random() < 0.1 and n > 1:
            m[rng.randrange(n)] = [0] * p  # a zero row
        if rng.random() < 0.08 and p > 1:
            c = rng.randrange(p)
            for row in m:
                row[c] = 0  # a zero column
        if rng.random() < 0.06:
            m[rng.randrange(n)][rng.randrange(p)] = -rng.randint(1, 5)  # a negative cell
        if rng.random() < 0.03:
            m = [[0] * p for _ in range(n)]  # an empty table
        if rng.random() < 0.1:  # fractional frequencies
            m = [[v + rng.choice([0, 0.25, 0.5]) for v in row] for row in m]
        return m
    factors = rng.randint(1, 3)
    load = [[rng.uniform(-2, 2) for _ in range(factors)] for _ in range(p)]
    base = [rng.uniform(5, 60) for _ in range(p)]
    scale = rng.choice([1.0, 1.0, 0.01, 100.0, 1e4])
    m = []
    for _ in range(n):
        f = [rng.gauss(0, 1) for _ in range(factors)]
        m.append([max(0.0, (base[j] + sum(load[j][k] * f[k] for k in range(factors))
                            + rng.gauss(0, 1)) * scale) for j in range(p)])
    r = rng.random()
    if r < 0.08 and p > 0:
        c = rng.randrange(p)
        v = m[0][c]
        for row in m:
            row[c] = v  # a column without variance
    elif r < 0.11:
        m = [[7.0] * p for _ in range(n)]  # a constant table
    elif r < 0.14 and p > 1:
        for row in m:
            row[1] = row[0] * 2  # two columns in proportion
    rate = rng.choice([0, 0, 0, 0, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5 if rng.random() < 0.5 else 0.9])
    if rate:
        for row in m:
            for j in range(p):
                if rng.random() < rate:
                    row[j] = rng.choice([-1.0, -1.0, -99.0, -0.5, -1e-3])
    return m


def data_text(rng, title, stored, header_counts, style, layout):
    """A data file: title, count line, the stored rows in free format."""
    lines = [title, header_counts]
    sep = rng.choice([" ", " ", "  ", ",", ", ", "\t"]) if layout != "plain" else " "
    for row in stored:
        toks = [str(v) if isinstance(v, int) and style == "int" else fmt_number(rng, v, style)
                for v in row]
        if layout == "spread" and toks:
            k = rng.randint(1, max(1, len(toks)))
            chunks = [toks[i:i + k] for i in range(0, len(toks), k)]
            lines.extend(sep.join(c) for c in chunks)
        elif layout == "repeat":
            out, i = [], 0
            while i < len(toks):
                j = i
                while j < len(toks) and toks[j] == toks[i]:
                    j += 1
                out.append(toks[i] if j - i == 1 else "%d*%s" % (j - i, toks[i]))
                i = j
            lines.append(sep.join(out))
        elif layout == "trailing":
            lines.append(sep.join(toks) + rng.choice(["   ! note", "  x", " / end"]))
        else:
            lines.append(sep.join(toks))
    text = "\n".join(lines) + "\n"
    if rng.random() < 0.05:
        text = text.replace("\n", "\r\n")
    if rng.random() < 0.05:
        text = text.rstrip("\n")
    return text


def label_text(rng, count, prefix):
    """A label file: count line, then labels of varied length."""
    have = count
    r = rng.random()
    if r < 0.04:
        have = rng.randint(0, max(0, count - 1))  # too few lines
    elif r < 0.14:
        have = count + rng.randint(1, 3)
    lines = [str(count) if rng.random() < 0.97 else rng.choice(["", "x", "999"])]
    for i in range(have):
        width = rng.choice([0, 1, 3, 7, 8, 8, 9, 12, 20])
        s = (prefix + str(i + 1) + "_" + "abcdefghijklmnopqrstuvwxyz")[:width]
        if rng.random() < 0.1:
            s = " " + s + "  "
        if rng.random() < 0.05:
            s = "caf\xe9 " + s  # a Latin-1 byte
        lines.append(s)
    return "\n".join(lines) + ("\n" if rng.random() < 0.9 else "")


NAMES = ["d.dat", "o.sco", "v.sco", "v.lab", "o.lab", "m.mat"]


def setup_text(rng, values, names):
    parts = [str(v) for v in values]
    r = rng.random()
    if r < 0.7:
        head = " ".join(parts)
    elif r < 0.85:
        head = "\n".join(" ".join(parts[i:i + 4]) for i in range(0, len(parts), 4))
    elif r < 0.95:
        head = ",".join(parts)
    else:
        head = "  " + "\n".join(parts)
    return head + "\n" + "".join(n + "\n" for n in names)


class Outside:
    """Draws a setup value, now and then one out of its range."""

    def __init__(self, rng):
        self.rng = rng
        self.used = False

    def __call__(self, good, bad, p=0.012):
        if self.rng.random() < p:
            self.used = True
            return self.rng.choice(bad)
        return good


def gen_setup_case(c, rng, n=None, p=None, atype=None):
    """A front-end case: setup file, data file, label files."""
    if atype is None:
        atype = rng.choice([1, 2, 3, 3, 4, 4])
    if n is None:
        n = rng.randint(1, 3) if rng.random() < 0.08 else rng.choice(
            [rng.randint(4, 12), rng.randint(4, 80), rng.randint(20, 80)])
    if p is None:
        p = rng.randint(1, 2) if rng.random() < 0.1 else rng.choice(
            [rng.randint(3, 6), rng.randint(3, 15), rng.randint(5, 15)])
    matrix = make_matrix(rng, n, p, atype)
    orient = rng.choice([1, 1, 1, 2]) if rng.random() > 0.03 else rng.choice([0, 3, -1])
    stored = matrix if orient == 1 else [list(col) for col in zip(*matrix)] if matrix and matrix[0] else []
    rows, cols = (n, p) if orient == 1 else (p, n)
    comps = rng.randint(0, p + 2)
    outside = Outside(rng)
    values = [
        outside(rows, [0, -1, rows + 1, rows - 1], 0.02),
        outside(cols, [0, -1, cols + 1, cols - 1], 0.02),
        outside(atype, [0, 5, -3], 0.01),
        outside(rng.choice([0, 1, 2]), [3, -1]),
        outside(comps, [-1, 1000]),
        outside(rng.choice([0, 1, 2]), [3, -1]),
        outside(rng.choice([0, 0, 1, 2]), [-1]),
        outside(rng.choice([0, 1]), [2, -1]),
        outside(rng.choice([0, 1, 1]), [7, -2]),
        outside(rng.choice([0, 1, 2]), [3, -1]),
        outside(rng.choice([0, 1]), [2, -1]),
        orient,
    ]
    c.type = values[2]
    names = list(NAMES)
    r = rng.random()
    if r < 0.04:
        # two parts of the run on one file, or an input on a fixed file
        i, j = rng.sample(range(6), 2)
        names[j] = names[i]
        c.kind = "names-collide"
    elif r < 0.07:
        names[rng.randrange(6)] = rng.choice(
            [SETUP, "EIGENV.ST$", "EIGENV.txt", "SUCCES.ST$", "T.TMP", "NEWDATA.st$",
             "./d.dat", "link.dat", "sub", "hard.dat"])
        c.kind = "names-collide"
        c.files["sub"] = None
        c.files["link.dat"] = ("link", "d.dat")
    elif r < 0.08:
        names[rng.randrange(6)] = "n" * rng.choice([100, 101, 140])
        c.kind = "long-name"
    elif r < 0.09:
        names = [nm + "   " for nm in names]
        c.kind = "blank-padded-names"
    header = "%d %d" % (rows, cols) if orient != 1 or rng.random() < 0.5 else str(rows)
    if orient != 1 and rng.random() < 0.05:
        header = "%d %d" % (rows + 1, cols)
    style = rng.choice(["int", "dec", "dec", "exp", "short", "mixed"])
    if atype == 4 and rng.random() < 0.6:
        style = "int"
    layout = rng.choice(["plain", "plain", "plain", "spread", "repeat", "trailing"])
    title = rng.choice(["Random table %d" % c.ident, "", "t" * 130, "  title with  blanks  "])
    data = data_text(rng, title, stored, header, style, layout)
    if c.kind == "valid" and rng.random() < 0.10:
        data, c.kind = corrupt_data(rng, data)
    c.put("d.dat", data)
    c.put("v.lab", label_text(rng, p, "var"))
    c.put("o.lab", label_text(rng, n, "obj"))
    if rng.random() < 0.04:
        del c.files[rng.choice(["v.lab", "o.lab"])]
        c.kind = "missing-label-file"
    if rng.random() < 0.03:
        c.files.pop("d.dat", None)
        c.kind = "missing-data-file"
    if rng.random() < 0.05:
        c.put("SUCCES.ST$", "")  # a marker from an earlier run
    if c.kind == "names-collide" and "hard.dat" in names:
        c.files["hard.dat"] = ("hardlink", "d.dat")
    setup = setup_text(rng, values, names)
    r = rng.random()
    if r < 0.02:
        setup = " ".join(str(v) for v in values[:rng.randint(0, 11)]) + "\n"
        c.kind = "short-setup"
    elif r < 0.04:
        setup = setup_text(rng, values, names[:rng.randint(0, 5)])
        c.kind = "short-setup"
    elif r < 0.05:
        setup = setup.replace(" ", " x ", 1)
        c.kind = "bad-setup"
    elif r < 0.055:
        setup = None
        c.kind = "no-setup"
    if setup is not None:
        c.put(SETUP, setup)
    if outside.used and c.kind == "valid":
        c.kind = "setup-out-of-range"
    return values, names


def corrupt_data(rng, data):
    r = rng.random()
    if r < 0.4:
        cut = rng.randint(len(data) // 3, max(len(data) // 3, len(data) - 1))
        return data[:cut], "truncated-data"
    if r < 0.8:
        toks = data.split(" ")
        if len(toks) > 2:
            k = rng.randrange(1, len(toks))
            toks[k] = rng.choice(["abc", "1.2.3", "1e", "--1", "NaN", "inf", "1,5.", "+", "0x10"])
        return " ".join(toks), "non-number"
    if r < 0.9:
        return "", "empty-data"
    return data.split("\n")[0] + "\n", "title-only"


def gen_medium(c, rng):
    c.size = "medium"
    n, p = rng.choice([(3000, 40), (3000, 40), (200, 150), (200, 150), (1200, 60), (400, 120),
                       (8000, 30), (150, 260)])
    atype = rng.choice([1, 2, 3, 3, 4])
    c.type = atype
    m = make_medium(rng, n, p, atype)
    orient = 1 if rng.random() < 0.8 else 2
    stored = m if orient == 1 else [list(col) for col in zip(*m)]
    rows, cols = (n, p) if orient == 1 else (p, n)
    values = [rows, cols, atype, rng.choice([0, 2]), rng.randint(0, min(p, 6)), rng.choice([0, 1, 2]),
              rng.choice([0, 1]), rng.choice([0, 1]), rng.choice([0, 1]), rng.choice([0, 1, 2]),
              rng.choice([0, 1]), orient]
    c.put(SETUP, setup_text(rng, values, NAMES))
    style = "int" if atype == 4 else rng.choice(["dec", "short"])
    lines = ["Medium table %d" % c.ident, "%d %d" % (rows, cols)]
    for row in stored:
        lines.append(" ".join(str(v) if isinstance(v, int) else "%.3f" % v for v in row))
    c.put("d.dat", "\n".join(lines) + "\n")
    c.put("v.lab", label_text(rng, p, "v"))
    c.put("o.lab", label_text(rng, n, "o"))
    r = rng.random()
    c.kind = "valid"
    if r < 0.25:
        c.args = ["--csv", "--svg"]
        c.threads_option = rng.random() < 0.5


def make_medium(rng, n, p, atype):
    """Like make_matrix, faster for large tables (fewer random draws)."""
    if atype == 4:
        w = [rng.randint(0, 6) for _ in range(p)]
        return [[(w[j] + (i * 7 + j * 13) % 11 + rng.randint(0, 3)) for j in range(p)] for i in range(n)]
    load = [rng.uniform(-2, 2) for _ in range(p)]
    rate = rng.choice([0, 0, 0.01, 0.1])
    m = []
    for _ in range(n):
        f = rng.gauss(0, 1)
        row = [20 + load[j] * f + rng.random() * 3 for j in range(p)]
        if rate:
            for j in range(p):
                if rng.random() < rate:
                    row[j] = -1.0
        m.append(row)
    return m


def gen_option_case(c, rng):
    """A person's run of a front-end case with options."""
    gen_setup_case(c, rng)
    opts = rng.choice([["--csv"], ["--svg"], ["--csv", "--svg"], ["--quiet"], ["--check"],
                       ["--quiet", "--csv"], ["--check", "--quiet"]])
    c.threads_option = rng.random() < 0.5
    if rng.random() < 0.3:
        # the working directory as an argument
        c.files = {"work/" + k: v for k, v in c.files.items()}
        c.files = {k: (("link", v[1]) if isinstance(v, tuple) and v[0] == "link" else
                       ("hardlink", "work/" + v[1]) if isinstance(v, tuple) else v)
                   for k, v in c.files.items()}
        opts = opts + ["work"]
    c.args = opts


def csv_table(rng, atype):
    """A CSV table with a header row: (bytes, separator, decimal mark, columns, fault put in)."""
    n = rng.randint(1, 40)
    p = rng.randint(1, 10)
    m = make_matrix(rng, n, p, 4 if atype == 4 else 3)
    sep = rng.choice([",", ",", ";", "\t"])
    dec = "," if sep != "," and rng.random() < 0.4 else "."
    rownames = rng.random() < 0.6
    quote_all = rng.random() < 0.2

    def q(s, force=False):
        if force or quote_all or sep in s or '"' in s or "\n" in s:
            return '"' + s.replace('"', '""') + '"'
        return s

    header = ([""] if rownames and rng.random() < 0.8 else ["name"] if rownames else [])
    header = [q(h) for h in header] + [q(rng.choice(["x%d" % (j + 1), "var %d" % j, "a,b%d" % j,
                                                     'say "%d"' % j, "long_variable_name_%d" % j]))
                                       for j in range(p)]
    rows = [sep.join(header)]
    for i, row in enumerate(m):
        cells = []
        if rownames:
            cells.append(q(rng.choice(["r%d" % i, "row %d" % i, "obj;%d" % i, "x\ny%d" % i])))
        for v in row:
            if v < 0:
                cells.append(rng.choice(["NA", "", " NA "]) if atype != 4 or rng.random() < 0.1 else str(v))
            else:
                s = fmt_number(rng, v, rng.choice(["int", "dec", "short"])) if not isinstance(v, int) else str(v)
                if dec == ",":
                    s = s.replace(".", ",")
                cells.append(q(s, rng.random() < 0.05))
        rows.append(sep.join(cells))
    r = rng.random()
    kind = "valid"
    if r < 0.05 and len(rows) > 1:
        rows[-1] += sep + "1"
        kind = "csv ragged row"
    elif r < 0.10 and len(rows) > 1:
        rows[-1] = rows[-1] + sep + "" if rng.random() < 0.5 else rows[-1].replace("1", "one", 1)
        kind = "csv ragged or non-number"
    elif r < 0.13 and atype != 4 and len(rows) > 1 and sep in rows[-1]:
        rows[-1] = rows[-1].rsplit(sep, 1)[0] + sep + "-2"
        kind = "csv negative value"
    elif r < 0.15:
        rows[-1] = rows[-1] + '"'
        kind = "csv unclosed quote"
    end = "\r\n" if rng.random() < 0.15 else "\n"
    text = end.join(rows) + end + ("\n\n" if rng.random() < 0.1 else "")
    if rng.random() < 0.1:
        text = "\ufeff" + text
    return text.encode("utf-8"), sep, dec, p, kind


def gen_import_case(c, rng):
    atype = rng.choice([1, 2, 3, 3, 4])
    analysis = {1: "cross-products", 2: "covariance", 3: "correlation", 4: "correspondence"}[atype]
    text, sep, dec, p, c.kind = csv_table(rng, atype)
    c.files["table.csv"] = text
    args = ["--import", "table.csv"]
    if sep != "," or rng.random() < 0.2:
        args += ["--sep", {"\t": "tab"}.get(sep, sep)]
    if dec != "." or rng.random() < 0.1:
        args += ["--dec", dec]
    if atype != 3 or rng.random() < 0.3:
        args += ["--analysis", analysis if rng.random() < 0.95 else "pca"]
    if rng.random() < 0.6:
        axes = rng.choice([1, 2, 3, p, p + 1])
        if rng.random() < 0.08:
            axes = rng.choice([0, -1, "two"])
        args += ["--axes", str(axes)]
    r = rng.random()
    if r < 0.1:
        c.files["out/" + SETUP] = b"1 1 3 0 1 0 0 0 0 0 0 1\nd\no\nv\nvl\nol\nm\n"
        if rng.random() < 0.6:
            args.append("--force")
        if c.kind == "valid":
            c.kind = "csv into a set-up directory"
    extra = rng.choice([[], [], ["--csv"], ["--svg"], ["--check"], ["--quiet"], ["--csv", "--svg"]])
    c.args = args + extra + ["out"]
    c.threads_option = rng.random() < 0.5
    c.type = atype
    if c.kind == "valid":
        c.kind = "csv table"


def generate(seed, ident):
    rng = random.Random("%d/%d" % (seed, ident))
    c = Case(ident)
    r = rng.random()
    if r < 0.05:
        gen_medium(c, rng)
    elif r < 0.70:
        gen_setup_case(c, rng)
        if c.kind == "valid" and rng.random() < 0.03:
            c.env_threads = rng.choice(["0", "abc", "1025", "-1", "", " 2", "2x", "99999999999"])
            c.kind = "bad ORTHAXIS_THREADS"
    elif r < 0.88:
        gen_option_case(c, rng)
    else:
        gen_import_case(c, rng)
    return c


# ---------------------------------------------------------------------------
# Runs


def materialise(case, where):
    os.mkdir(where)
    hard = []
    for name, content in sorted(case.files.items(), key=lambda kv: kv[0]):
        path = os.path.join(where, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if content is None:
            os.makedirs(path, exist_ok=True)
        elif isinstance(content, tuple) and content[0] == "link":
            os.symlink(content[1], path)
        elif isinstance(content, tuple):
            hard.append((os.path.join(where, content[1]), path))
        else:
            with open(path, "wb") as f:
                f.write(content)
    for target, path in hard:
        if os.path.exists(target):
            os.link(target, path)


class Result:
    def __init__(self, status, out, err, tree):
        self.status = status  # exit status, -N for a signal, "timeout"
        self.out = out
        self.err = err
        self.tree = tree  # directory left after the run


def run_one(binary, case, threads, rundir, timeout, keep_as):
    materialise(case, rundir)
    env = dict(os.environ)
    env.pop("ORTHAXIS_THREADS", None)
    if case.env_threads is not None:
        env["ORTHAXIS_THREADS"] = case.env_threads
    elif not case.threads_option:
        env["ORTHAXIS_THREADS"] = str(threads)
    outp, errp = keep_as + ".stdout", keep_as + ".stderr"
    with open(outp, "wb") as out, open(errp, "wb") as err, open(os.devnull, "rb") as null:
        proc = subprocess.Popen([binary] + case.command(threads), cwd=rundir, env=env,
                                stdin=null, stdout=out, stderr=err, start_new_session=True)
        try:
            status = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            status = "timeout"
    with open(keep_as + ".status", "w") as f:
        f.write("%s\n" % status)
    os.rename(rundir, keep_as)
    return Result(status, outp, errp, keep_as)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree_entries(root):
    """Relative path -> ("dir",) | ("link", target) | ("file", path)."""
    entries = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for d in list(dirnames):
            full = os.path.join(dirpath, d)
            rel = os.path.relpath(full, root)
            if os.path.islink(full):
                entries[rel] = ("link", os.readlink(full))
                dirnames.remove(d)
            else:
                entries[rel] = ("dir",)
        for f in filenames:
            full = os.path.join(dirpath, f)
            rel = os.path.relpath(full, root)
            if os.path.islink(full):
                entries[rel] = ("link", os.readlink(full))
            else:
                entries[rel] = ("file", full)
    return entries


def same_bytes(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(1 << 20), fb.read(1 << 20)
            if x != y:
                return False
            if not x:
                return True


def show(line, width=70):
    s = repr(line)[2:-1]
    return s if len(s) <= width else s[:width] + "..."


def first_difference(a, b):
    """'line K: OLD | NEW' for the first line where two texts differ."""
    la, lb = read(a).split(b"\n"), read(b).split(b"\n")
    for k in range(max(len(la), len(lb))):
        x = la[k] if k < len(la) else None
        y = lb[k] if k < len(lb) else None
        if x != y:
            xs = "<end>" if x is None else "'" + show(x) + "'"
            ys = "<end>" if y is None else "'" + show(y) + "'"
            return "line %d: old %s | new %s" % (k + 1, xs, ys)
    return "same lines"


def compare(old, new):
    """The differences between two runs, most telling first, as strings."""
    diffs = []
    if old.status == new.status == "timeout":
        return diffs  # what a killed run leaves behind is not compared
    if old.status != new.status:
        diffs.append("exit status: old %s | new %s" % (old.status, new.status))
    for label, a, b in (("stdout", old.out, new.out), ("stderr", old.err, new.err)):
        if not same_bytes(a, b):
            diffs.append("%s %s" % (label, first_difference(a, b)))
    ea, eb = tree_entries(old.tree), tree_entries(new.tree)
    only_old = sorted(set(ea) - set(eb))
    only_new = sorted(set(eb) - set(ea))
    if only_old or only_new:
        diffs.append("files: only old %s | only new %s" % (only_old, only_new))
    for rel in sorted(set(ea) & set(eb)):
        x, y = ea[rel], eb[rel]
        if x[0] != y[0]:
            diffs.append("%s: old is a %s | new is a %s" % (rel, x[0], y[0]))
        elif x[0] == "link" and x[1] != y[1]:
            diffs.append("%s: link old -> %s | new -> %s" % (rel, x[1], y[1]))
        elif x[0] == "file" and not same_bytes(x[1], y[1]):
            diffs.append("file %s %s" % (rel, first_difference(x[1], y[1])))
    return diffs


def keep_case(keep, case, scratch, runs):
    dest = os.path.join(keep, "case-%04d" % case.ident)
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    materialise(case, os.path.join(dest, "input"))
    for name in runs:
        src = os.path.join(scratch, name)
        shutil.copytree(src, os.path.join(dest, name), symlinks=True)
        for ext in (".stdout", ".stderr", ".status"):
            shutil.copy(src + ext, os.path.join(dest, name + ext))
    with open(os.path.join(dest, "case.txt"), "w") as f:
        f.write("kind: %s\ntype: %s\nargs: %s\nthreads: %s\n" % (
            case.kind, case.type, " ".join(case.args) or "(none)",
            "--threads" if case.threads_option else
            "ORTHAXIS_THREADS" + ("=%r" % case.env_threads if case.env_threads is not None else "")))


def type_name(t):
    return TYPE_NAMES.get(t, "type %s" % t)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--cases", type=int, default=300)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--threads", default="1,2,3")
    ap.add_argument("--keep", metavar="DIR")
    ap.add_argument("--timeout", type=float, default=60.0)
    ap.add_argument("--only", help="run only these case numbers (comma-separated)")
    ap.add_argument("--list", action="store_true", help="print the cases, run nothing")
    a = ap.parse_args()
    old, new = os.path.realpath(a.old), os.path.realpath(a.new)
    for b in (old, new):
        if not os.access(b, os.X_OK):
            sys.exit("compare_builds: %s is not an executable" % b)
    counts = [int(t) for t in a.threads.split(",") if t.strip()]
    idents = [int(i) for i in a.only.split(",")] if a.only else list(range(a.cases))
    if a.keep:
        a.keep = os.path.abspath(a.keep)

    if a.list:
        for i in idents:
            c = generate(a.seed, i)
            print("case %04d  %-28s type %-4s %s%s" % (
                i, c.kind, c.type, " ".join(c.args) or "(no arguments)",
                " --threads T" if c.threads_option else ""))
        return 0

    scratch = tempfile.mkdtemp(prefix="orthaxis-diff-")
    rundir = os.path.join(scratch, "run")
    passed = failed = 0
    by_kind = collections.Counter()
    by_options = collections.Counter()
    by_options_status = collections.Counter()
    by_type = collections.Counter()
    by_status = collections.Counter()
    by_size = collections.Counter()
    by_type_status = collections.Counter()
    thread_spread = 0
    start = time.time()
    try:
        for i in idents:
            case = generate(a.seed, i)
            by_kind[case.kind] += 1
            by_options[case.options()] += 1
            if case.threads_option:
                by_options["--threads"] += 1
            by_type[type_name(case.type)] += 1
            by_size[case.size] += 1
            bad_runs = []
            first = None
            for t in counts:
                ro = run_one(old, case, t, rundir, a.timeout, os.path.join(scratch, "old-t%d" % t))
                rn = run_one(new, case, t, rundir, a.timeout, os.path.join(scratch, "new-t%d" % t))
                if first is None:
                    first = ro
                    by_status[ro.status] += 1
                    by_type_status["%s: %s" % (type_name(case.type), ro.status)] += 1
                    by_options_status["%s: %s" % (case.options(), ro.status)] += 1
                elif compare(first, ro):
                    thread_spread += 1
                diffs = compare(ro, rn)
                if diffs:
                    more = "" if len(diffs) == 1 else " (+%d more: %s)" % (
                        len(diffs) - 1, "; ".join(d.split(" line ")[0].split(":")[0] for d in diffs[1:]))
                    print("case %04d threads %d [%s, type %s]: %s%s" % (
                        i, t, case.kind, case.type, diffs[0], more), flush=True)
                    bad_runs += ["old-t%d" % t, "new-t%d" % t]
            if bad_runs:
                failed += 1
                if a.keep:
                    keep_case(a.keep, case, scratch, bad_runs)
            else:
                passed += 1
            for t in counts:
                for side in ("old", "new"):
                    p = os.path.join(scratch, "%s-t%d" % (side, t))
                    shutil.rmtree(p, ignore_errors=True)
                    for ext in (".stdout", ".stderr", ".status"):
                        if os.path.exists(p + ext):
                            os.remove(p + ext)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    def line(title, counter):
        return title + ": " + ", ".join("%s %d" % (k, v) for k, v in
                                         sorted(counter.items(), key=lambda kv: str(kv[0])))
    print(line("inputs", by_kind))
    print(line("options", by_options))
    print(line("analysis types", by_type))
    print(line("sizes", by_size))
    print(line("old build's exit status (first thread count)", by_status))
    print(line("exit status by type", by_type_status))
    print(line("exit status by options", by_options_status))
    if thread_spread:
        print("note: %d runs of the old build differ from its run at %d threads"
              % (thread_spread, counts[0]))
    print("threads %s, seed %d, %.0f s" % (",".join(map(str, counts)), a.seed, time.time() - start))
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
