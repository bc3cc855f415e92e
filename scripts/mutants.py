#!/usr/bin/env python3
"""Plants one simple fault at a time in a source file and runs the unit tests
that cover it; a fault no test notices survives and is listed.

Faults: a comparison or arithmetic operator changed, an integer constant off
by one, true and false swapped, a statement dropped, two arguments of a call
swapped, an argument or assigned expression plus or minus one, a rounding
call replaced by truncation, an argument replaced by a neighbouring variable
of the same type, a drawing call copied onto the mirrored edge, an element
left out of a braced list. The tree itself is only read: faults are planted in a copy (by
default build-mutants/src, built in build-mutants/build), which is brought
back to the tree's content before every run, so an interrupted run leaves
nothing behind anywhere that matters.
"""
import argparse
import fnmatch
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Which suites cover which sources (first match wins): unit suites, and the
# window suites for the browser window.
COVERAGE = [
    ("lib/Tesk_teskbase.cpp", ["drawing_test", "thumbnails_test"]),
    ("lib/Tesk_teskbase_markers.cpp", ["drawing_test", "thumbnails_test"]),
    ("lib/Tesk_dstruct.cpp", ["dstruct_test", "thumbnails_test"]),
    ("lib/Tesk_filesys*.cpp", ["filesys_test"]),
    ("lib/Tesk_Thumbnails*.cpp", ["thumbnails_test"]),
    ("toolkit/Canvas.cpp", ["canvas_test", "drawing_test", "thumbnails_test"]),
    ("toolkit/CanvasQt.cpp", ["canvas_test", "drawing_test", "thumbnails_test"]),
    # Turned photos are stretched as their rows come, in the slide suite.
    ("toolkit/Stretch.cpp", ["canvas_test", "slide_supply_test"]),
    ("toolkit/TurnedPixels.cpp", ["picture_test", "slide_supply_test"]),
    ("toolkit/ExifOrientation.cpp", ["picture_test", "hostile_jpeg_test"]),
    ("toolkit/Bitmap.cpp", ["canvas_test", "picture_test"]),
    ("toolkit/Colors.cpp", ["canvas_test", "thumbnails_test"]),
    # The frame header's decoding cost orders and admits the pool's jobs.
    ("toolkit/JpegFrame.cpp", ["picture_test", "hostile_jpeg_test", "parallel_decoding_window_test"]),
    ("toolkit/Jpeg*.cpp", ["picture_test", "hostile_jpeg_test"]),
    ("toolkit/Image.cpp", ["picture_test", "mainfrm_test"]),
    ("toolkit/Pictures.cpp", ["picture_test"]),
    ("toolkit/FileData.cpp", ["filesys_test", "picture_test", "hostile_files_window_test"]),
    ("toolkit/DecodePool.cpp", ["parallel_decoding_window_test", "mainfrm_test"]),
    ("toolkit/Forms.cpp", ["mainfrm_test", "picture_test"]),
    ("toolkit/Controls.cpp", ["thumbnails_test", "mainfrm_test"]),
    ("toolkit/DevicePixels.cpp", ["canvas_test", "thumbnails_test"]),
    ("toolkit/qt/*.cpp", ["mainfrm_test"]),
    ("toolkit/*.cpp", ["canvas_test", "thumbnails_test", "dstruct_test", "mainfrm_test"]),
    ("app/pictures/SlideStore.cpp", ["parallel_decoding_window_test"]),
    ("app/pictures/SlideSupply.cpp", ["parallel_decoding_window_test"]),
    ("app/mainfrm.cpp", ["mainfrm_test", "parallel_decoding_window_test", "open_path_window_test"]),
    ("app/CommandLine.cpp", ["open_path_window_test"]),
    ("app/OpenPath.cpp", ["open_path_window_test"]),
    ("app/*.cpp", ["mainfrm_test"]),
]

# Faults that no input can tell from the program as written, each with its
# reason in docs/testing.md: the file and the line as the fault leaves it, so
# that an entry keeps naming its fault while the lines around it move. They
# are planted and reported like any other; the score is also given over the
# rest, the faults a test can catch.
EQUIVALENT = {
    ("lib/Tesk_filesys_resolve.cpp", 'if (part == "." && part == ".." || Exists(prefix + part)) {'),
    ("lib/Tesk_teskbase_markers.cpp",
     "const bool filled = type == 29 || type == 30 || type == 34 || type == 36 || (type >= 40 && type % 2 == 1);"),
    ("toolkit/Bitmap.cpp", "if (!block && bytes == 0) return block;"),
    ("toolkit/Bitmap.cpp", "constexpr std::uint64_t kUntrimmedGrowth = std::uint64_t(31) << 20;"),
    ("toolkit/Canvas.cpp", "while (Wide(u) * Wide(u) > q) ++u;"),
    ("toolkit/DevicePixels.cpp",
     "fine->Pixels.Reset((area.Right - area.Left) * FRatio, ((area.Bottom - area.Top) * FRatio) + 1);"),
    ("toolkit/JpegCodec.cpp", "f.err.emit_message = (EmitMessage) + 1;"),
    ("toolkit/JpegCodec.cpp",
     "if (request.OnRows) f.band.resize(std::size_t(std::max(request.Width, 2)) * JpegBandRows);"),
    ("toolkit/Stretch.cpp", "static constexpr int kLaneRows = 256;  // 257 * 255 still fits 16 bits"),
    ("toolkit/Stretch.cpp", "explicit ColumnSums(int columns) : FLanes(std::size_t((columns) + 1) * 4) {}"),
    ("toolkit/Stretch.cpp", "explicit ColumnSums(int columns) : FLanes((std::size_t(columns) * 4) + 1) {}"),
    ("toolkit/Stretch.cpp",
     "if (dw <= 0 && dh <= 0 || sw <= 0 || sh <= 0 || source.Empty() || FTarget.Empty()) return;"),
    ("app/pictures/SlideSupply.cpp", "if (plan.Key && FStore->Capacity() > 1) plan.Made->Slide = FStore->Find(*plan.Key);"),
    ("app/pictures/SlideSupply.cpp", "TPlanned plan = Plan(files[i], FLook);"),
    ("app/mainfrm.cpp", "Thumbs1ImageClick((Sender) + 1, X, Y, ThumbID);"),
    ("app/mainfrm.cpp", "Thumbs1ImageClick(Sender, Y, X, ThumbID);"),
}

# Calls whose arguments may be swapped without a change; std::clamp(v, lo, hi)
# is min(max(v, lo), hi), in which v and lo change places freely.
COMMUTATIVE = {"std::min", "std::max", "min", "max", "SatAdd", "std::clamp", "_mm_add_epi16"}
# An argument that names a type and a parameter: a declaration, not a call.
PARAMETER = re.compile(r"^[\w:<>]+[\s&*]+\w+$")

KEYWORDS = {"if", "for", "while", "switch", "return", "sizeof", "static_cast", "reinterpret_cast",
            "const_cast", "dynamic_cast", "catch", "alignof", "decltype", "noexcept", "static_assert"}


def covering_tests(path):
    for pattern, tests in COVERAGE:
        if fnmatch.fnmatch(path, pattern):
            return tests
    return []


# ---------------------------------------------------------------- finding faults

def masked(text):
    """The text with comments, strings, character literals and preprocessor
    lines blanked out (same length), so offsets stay valid."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and text[i:].lstrip(" \t").startswith("#"):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
        else:
            i += 1
            continue
        for k in range(i, j):
            if out[k] != "\n":
                out[k] = " "
        i = j
    return "".join(out)


class Mutant:
    def __init__(self, path, text, start, end, replacement, kind):
        self.path, self.start, self.end, self.replacement, self.kind = path, start, end, replacement, kind
        self.line = text.count("\n", 0, start) + 1
        self.original = text[start:end]

    def apply(self, text):
        return text[:self.start] + self.replacement + text[self.end:]

    def faulty_line(self, text):
        """The line of the fault as it reads once planted."""
        faulty = self.apply(text)
        begin = faulty.rfind("\n", 0, self.start) + 1
        end = faulty.find("\n", self.start)
        return faulty[begin:end if end >= 0 else len(faulty)].strip()

    def describe(self):
        return "%s:%d %s: %r -> %r" % (self.path, self.line, self.kind, self.original.strip(),
                                        self.replacement.strip() or "(dropped)")


SWAPS = {"<": ["<="], "<=": ["<"], ">": [">="], ">=": [">"], "==": ["!="], "!=": ["=="],
         "+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "%": ["/"], "&&": ["||"], "||": ["&&"],
         "+=": ["-="], "-=": ["+="], "++": ["--"], "--": ["++"], "true": ["false"], "false": ["true"]}


def operator_mutants(path, text, m):
    found = []
    for match in re.finditer(r"(?<=\s)(<=|>=|==|!=|&&|\|\||\+=|-=|<|>|\+|-|\*|/|%)(?=\s)", m):
        op = match.group(1)
        for rep in SWAPS[op]:
            found.append(Mutant(path, text, match.start(1), match.end(1), rep, "operator"))
    for match in re.finditer(r"(\+\+|--)(?=[A-Za-z_(])|(?<=[\w)\]])(\+\+|--)", m):
        op = match.group(0)
        found.append(Mutant(path, text, match.start(), match.end(), SWAPS[op][0], "operator"))
    for match in re.finditer(r"\b(true|false)\b", m):
        found.append(Mutant(path, text, match.start(), match.end(), SWAPS[match.group(1)][0], "constant"))
    return found


def constant_mutants(path, text, m):
    found = []
    for match in re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", m):
        value = int(match.group(1))
        for rep in ([value + 1, value - 1] if value > 0 else [1]):
            found.append(Mutant(path, text, match.start(), match.end(), str(rep), "constant"))
    return found


DECLARATION = re.compile(r"^\s*(const|constexpr|static|auto|int|bool|double|float|char|unsigned|long|"
                         r"std::|using|typedef|return|if|for|while|switch|case|default|break|continue|"
                         r"else|do|try|throw|delete|namespace|class|struct|enum|template|public|private|"
                         r"protected)\b")
STATEMENT = re.compile(r"^\s*[A-Za-z_][\w:]*(\s*(\.|->)\s*[A-Za-z_]\w*|\[[^\]]*\])*\s*(\(|=[^=]|\+=|-=|\+\+|--)")


def is_plain_statement(line, previous):
    """A whole call or assignment on one line inside a body (indented), not a
    declaration and not the continuation of an earlier line."""
    code = line.strip()
    return (code.endswith(";") and not code.endswith(("= delete;", "= default;"))
            and previous[-1:] in (";", "{", "}", ":") and line.startswith((" ", "\t"))
            and not DECLARATION.match(line) and STATEMENT.match(line) is not None
            and code.count("(") == code.count(")"))


def statement_mutants(path, text, m):
    found = []
    offset = 0
    previous = ";"
    for line in m.split("\n"):
        if is_plain_statement(line, previous):
            start = offset + len(line) - len(line.lstrip())
            found.append(Mutant(path, text, start, offset + len(line.rstrip()), ";", "statement"))
        if line.strip():
            previous = line.strip()
        offset += len(line) + 1
    return found


def split_arguments(m, open_paren):
    """Top-level argument spans of the call whose '(' is at open_paren."""
    depth, start, spans = 0, open_paren + 1, []
    i = open_paren
    while i < len(m):
        c = m[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                spans.append((start, i))
                return spans
        elif c == "," and depth == 1:
            spans.append((start, i))
            start = i + 1
        elif c == ";":
            return []
        i += 1
    return []


def argument_mutants(path, text, m):
    found = []
    for match in re.finditer(r"\b([A-Za-z_][\w:]*)\s*\(", m):
        name = match.group(1)
        line_start = m.rfind("\n", 0, match.start()) + 1
        if name in KEYWORDS or name in COMMUTATIVE or not m[line_start:match.start()].startswith((" ", "\t")):
            continue  # definitions and declarations start at column 0
        spans = split_arguments(m, match.end() - 1)
        for (a0, a1), (b0, b1) in zip(spans, spans[1:]):
            a, b = text[a0:a1].strip(), text[b0:b1].strip()
            if PARAMETER.match(a) or PARAMETER.match(b):
                break
            if a and b and a != b and "\n" not in text[a0:b1]:
                replacement = text[a0:a1].replace(a, b, 1) + "," + text[b0:b1].replace(b, a, 1)
                found.append(Mutant(path, text, a0, b1, replacement, "arguments"))
    return found


def call_arguments(m):
    """(name, call start, argument spans) of every call inside a body."""
    for match in re.finditer(r"\b([A-Za-z_][\w:.>-]*?)\s*\(", m):
        name = match.group(1).split(".")[-1].split(">")[-1]
        line_start = m.rfind("\n", 0, match.start()) + 1
        if name in KEYWORDS or not m[line_start:match.start()].startswith((" ", "\t")):
            continue
        spans = split_arguments(m, match.end() - 1)
        if spans and (m[spans[0][0]:spans[0][1]].strip() or len(spans) > 1):
            yield name, match.start(), spans


def off_by_one_mutants(path, text, m):
    """An integer expression one more or one less: call arguments with a
    variable in them and the right-hand sides of assignments."""
    found = []
    spans = []
    for name, _, args in call_arguments(m):
        if name in COMMUTATIVE or name in ROUNDING:
            continue
        spans += [a for a in args if not PARAMETER.match(m[a[0]:a[1]].strip())]
    for match in re.finditer(r"[\w\])]\s(?:=|\+=|-=)\s([^;{}]+);", m):
        spans.append((match.start(1), match.end(1)))
    for a0, a1 in spans:
        expr = m[a0:a1].strip()
        if (not re.search(r"[A-Za-z_]", expr) or re.search(r"\|\||&&|[=!<>]=|[<>!]|[&*]$|^const\b|^(delete|default)$", expr) or "\n" in m[a0:a1] or re.search(r"\b(true|false|nullptr|this)\b|\"|::\w+$", expr)
                or re.fullmatch(r"[\w.]+\(\)|[\w.>-]*(Color|Canvas|Pen|Brush|Font|Style|Name|Text|Path)\w*", expr, re.I)
                or re.fullmatch(r"(cl|fs|irp|ssm|cs|pf|bs|ps)[A-Z]\w*", expr) or expr.startswith(("[", "{", "*", "&"))):
            continue
        start = a0 + len(m[a0:a1]) - len(m[a0:a1].lstrip())
        end = start + len(expr)
        for sign in ("+", "-"):
            found.append(Mutant(path, text, start, end, "(%s) %s 1" % (text[start:end], sign), "off by one"))
    return found


ROUNDING = {"RoundHalfEven", "round", "lround", "llround", "nearbyint", "rint", "qRound", "floor", "ceil"}


def rounding_mutants(path, text, m):
    """A rounding call replaced by truncation toward zero."""
    found = []
    for match in re.finditer(r"\b(?:std::)?(RoundHalfEven|round|lround|llround|nearbyint|rint|qRound|floor|ceil)\s*\(", m):
        line_start = m.rfind("\n", 0, match.start()) + 1
        if not m[line_start:match.start()].startswith((" ", "\t")) or m[match.start() - 1:match.start()] in ".:>":
            continue
        found.append(Mutant(path, text, match.start(), match.end(), "static_cast<long long>(", "truncation"))
    return found


TYPE_WORDS = r"(?:const\s+)?((?:std::)?[A-Za-z_]\w*(?:::\w+)?)"
DECLARED = re.compile(TYPE_WORDS + r"\s*[&*]?\s+([A-Za-z_]\w*)\s*(?==[^=]|;|,|\)|\{)")
NOT_TYPES = {"return", "else", "case", "delete", "new", "throw", "goto", "using", "typedef", "namespace",
             "class", "struct", "enum", "public", "private", "protected", "template", "operator"}


def declared_names(m):
    """(offset, name, type) of declared variables, parameters and fields."""
    out = []
    for match in DECLARED.finditer(m):
        kind, name = match.group(1), match.group(2)
        if kind in NOT_TYPES or kind in KEYWORDS or name in NOT_TYPES:
            continue
        out.append((match.start(2), name, kind))
    return out


def header_fields(path):
    header = os.path.join(ROOT, re.sub(r"(Geometry|Mouse|Paint|_markers|_resolve)?\.cpp$", ".h", path))
    if not os.path.exists(header):
        return []
    return [(-1, n, k) for _, n, k in declared_names(masked(open(header, encoding="utf-8").read()))
            if re.fullmatch(r"F[A-Z]\w*", n)]


def neighbour_mutants(path, text, m):
    """A bare variable argument replaced by the nearest other variable of the
    same declared type in the same function (or a field of the same type)."""
    found = []
    names = declared_names(m)
    fields = header_fields(path)
    body_starts = [x.start() for x in re.finditer(r"^\S.*\($|^\S[^;]*\)\s*(const\s*)?(override\s*)?\{", m, re.M)]
    for name, start, spans in call_arguments(m):
        if name in COMMUTATIVE:
            continue
        function_start = max([b for b in body_starts if b < start], default=0)
        scope = [(o, n, k) for o, n, k in names if function_start <= o < start]
        types = {n: k for o, n, k in fields + scope}
        for a0, a1 in spans:
            arg = m[a0:a1].strip()
            if arg not in types:
                continue
            same = [n for o, n, k in fields + scope if k == types[arg] and n != arg]
            seen = []
            for n in reversed(same):
                if n not in seen:
                    seen.append(n)
            for n in seen[:2]:
                s0 = a0 + m[a0:a1].index(arg)
                found.append(Mutant(path, text, s0, s0 + len(arg), n, "neighbour"))
    return found


def mirrored_edge_mutants(path, text, m):
    """A drawing call over four coordinates copied, mirrored on the diagonal
    (x and y, width and height exchanged), so that it also draws on another
    edge: a band at the top gains one at the left, one at the bottom one at
    the right."""
    found = []
    swap = {"Width": "Height", "Height": "Width", "X": "Y", "Y": "X", "x": "y", "y": "x"}
    for name, start, spans in call_arguments(m):
        if len(spans) < 4:
            continue
        line_end = m.find("\n", start)
        line_start = m.rfind("\n", 0, start) + 1
        statement = m[line_start:line_end]
        if not statement.strip().endswith(";") or statement.count("(") != statement.count(")") \
                or not is_plain_statement(statement, ";"):
            continue
        coords = [s for s in spans if not re.search(r"Canvas|Color|cl[A-Z]|Style|Pen|Brush|Font|\"", m[s[0]:s[1]])]
        if len(coords) < 4:
            continue
        x1, y1, x2, y2 = coords[-4:]
        original = text[line_start:line_end]
        pieces = [text[s[0]:s[1]].strip() for s in (x1, y1, x2, y2)]
        mirrored = [re.sub(r"\b(Width|Height|X|Y|x|y)\b", lambda g: swap[g.group(1)], p) for p in pieces]
        copy = text[line_start:x1[0]] + " " + mirrored[1] + ", " + mirrored[0] + ", " + mirrored[3] + ", " \
            + mirrored[2] + text[y2[1]:line_end]
        if re.sub(r"\s", "", copy) == re.sub(r"\s", "", original):
            continue  # a shape symmetric on the diagonal: the copy draws the same pixels
        found.append(Mutant(path, text, line_start, line_end, original + "\n" + copy, "mirrored edge"))
    return found


def list_element_mutants(path, text, m):
    """One element left out of a braced list of two or more (an aggregate or
    designated initialiser, an argument list given in braces)."""
    found = []
    for match in re.finditer(r"[\w=(,]\s*\{", m):
        spans = split_arguments(m, match.end() - 1)
        spans = [s for s in spans if m[s[0]:s[1]].strip()]
        if len(spans) < 2 or len(spans) > 12:
            continue
        for k, (s0, s1) in enumerate(spans):
            if k + 1 < len(spans):
                end = spans[k + 1][0]
            else:
                s0, end = spans[k - 1][1], s1
            found.append(Mutant(path, text, s0, end, "", "list element"))
    return found


def find_mutants(path):
    text = open(os.path.join(ROOT, path), encoding="utf-8").read()
    m = masked(text)
    found = (operator_mutants(path, text, m) + constant_mutants(path, text, m)
             + statement_mutants(path, text, m) + argument_mutants(path, text, m)
             + off_by_one_mutants(path, text, m) + rounding_mutants(path, text, m)
             + neighbour_mutants(path, text, m) + mirrored_edge_mutants(path, text, m)
             + list_element_mutants(path, text, m))
    found.sort(key=lambda x: (x.start, x.end, x.replacement))
    return text, found


# ---------------------------------------------------------------- the copy and its build

def tree_files():
    """The project's files: what git tracks or would, else all but build trees."""
    try:
        out = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                             check=True, capture_output=True, text=True).stdout
        return [f for f in out.splitlines() if os.path.isfile(os.path.join(ROOT, f))]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for dirpath, dirs, names in os.walk(ROOT):
            dirs[:] = [d for d in dirs if not d.startswith(("build", ".git"))]
            files += [os.path.relpath(os.path.join(dirpath, n), ROOT) for n in names]
        return files


def sync_copy(src):
    """Makes the copy hold the tree's content; unchanged files keep their times."""
    wanted = set(tree_files())
    for rel in wanted:
        a, b = os.path.join(ROOT, rel), os.path.join(src, rel)
        with open(a, "rb") as fa:
            data = fa.read()
        if os.path.exists(b):
            with open(b, "rb") as fb:
                if fb.read() == data:
                    continue
        os.makedirs(os.path.dirname(b), exist_ok=True)
        with open(b, "wb") as fb:
            fb.write(data)
        shutil.copymode(a, b)
    for dirpath, _, names in os.walk(src):
        for name in names:
            rel = os.path.relpath(os.path.join(dirpath, name), src)
            if rel not in wanted:
                os.remove(os.path.join(dirpath, name))
    shared = os.path.join(os.path.dirname(ROOT), "shared")
    link = os.path.join(os.path.dirname(src), "shared")
    if os.path.isdir(shared) and not os.path.exists(link):
        os.symlink(shared, link)


def run(cmd, timeout=None, env=None):
    try:
        p = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, env=env)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired:
        return "timeout", ""


def configure(src, build):
    if os.path.exists(os.path.join(build, "build.ninja")):
        return
    code, out = run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=None",
                     "-DCMAKE_CXX_FLAGS=-O1", "-DGLIMMET_BENCH=OFF"])
    if code != 0:
        sys.exit("configuring the copy failed:\n" + out)


def build_tests(build, tests, jobs):
    return run(["cmake", "--build", build, "-j", str(jobs), "--target"] + tests)


def run_tests(build, tests, timeout):
    """'caught' as soon as one suite fails or hangs, else 'passed'."""
    # A suite killed for hanging, or crashed by its fault, cannot remove its
    # temporary folders: they go into one of the tool's own, emptied here.
    temp = os.path.join(os.path.abspath(os.path.dirname(build)), "tmp")
    shutil.rmtree(temp, ignore_errors=True)
    os.makedirs(temp)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TMPDIR=temp)
    try:
        for test in tests:
            code, _ = run([os.path.join(build, "tests", test), "--gtest_fail_fast", "--gtest_brief=1"],
                          timeout=timeout, env=env)
            if code != 0:
                return "caught"
        return "passed"
    finally:
        shutil.rmtree(temp, ignore_errors=True)


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("files", nargs="*", help="sources to plant faults in, relative to the project (default: lib/*.cpp)")
    parser.add_argument("--sample", type=int, default=0, help="plant only this many, chosen at random")
    parser.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    parser.add_argument("--work", default=os.path.join(ROOT, "build-mutants"),
                        help="folder of the copy and its build (default build-mutants/)")
    parser.add_argument("--jobs", type=int, default=2, help="parallel compile jobs (default 2)")
    parser.add_argument("--timeout", type=float, default=0, help="seconds a suite may run (default 5x its normal time, at least 20)")
    parser.add_argument("--list", action="store_true", help="only list the faults that would be planted")
    parser.add_argument("--match", action="append", default=[],
                        help="only faults whose listed line contains this text (repeatable), e.g. a survivor's")
    parser.add_argument("--min-score", type=float, default=0, help="exit 1 when fewer per cent are caught")
    args = parser.parse_args()

    files = args.files or sorted("lib/" + f for f in os.listdir(os.path.join(ROOT, "lib")) if f.endswith(".cpp"))
    mutants, originals = [], {}
    for path in files:
        if not covering_tests(path):
            sys.exit("no unit suite is known to cover %s (see COVERAGE in %s)" % (path, __file__))
        originals[path], found = find_mutants(path)
        mutants += found
    if args.match:
        mutants = [mu for mu in mutants if any(text in mu.describe() for text in args.match)]
    if args.sample and args.sample < len(mutants):
        mutants = sorted(random.Random(args.seed).sample(mutants, args.sample),
                         key=lambda x: (x.path, x.start, x.replacement))
    if args.list:
        for mu in mutants:
            print(mu.describe())
        print("%d faults" % len(mutants))
        return 0

    src, build = os.path.join(args.work, "src"), os.path.join(args.work, "build")
    os.makedirs(src, exist_ok=True)
    sync_copy(src)
    configure(src, build)
    suites = sorted({t for path in files for t in covering_tests(path)})
    code, out = build_tests(build, suites, args.jobs)
    if code != 0:
        sys.exit("the unmodified copy does not build:\n" + out[-3000:])
    timeout = args.timeout
    started = time.time()
    for suite in suites:
        if run_tests(build, [suite], None) != "passed":
            sys.exit("%s fails without any planted fault: fix it first" % suite)
    timeout = timeout or max(20.0, 5 * (time.time() - started))

    caught = planted = stillborn = 0
    survivors = []
    try:
        for i, mu in enumerate(mutants, 1):
            target = os.path.join(src, mu.path)
            with open(target, "w", encoding="utf-8") as f:
                f.write(mu.apply(originals[mu.path]))
            try:
                tests = covering_tests(mu.path)
                code, _ = build_tests(build, tests, args.jobs)
                result = "stillborn" if code != 0 else run_tests(build, tests, timeout)
            finally:
                with open(target, "w", encoding="utf-8") as f:
                    f.write(originals[mu.path])
            if result == "stillborn":
                stillborn += 1
            else:
                planted += 1
                caught += result == "caught"
                if result != "caught":
                    survivors.append(mu)
            print("[%d/%d] %-9s %s" % (i, len(mutants), "SURVIVED" if result == "passed" else result,
                                       mu.describe()), flush=True)
    except KeyboardInterrupt:
        print("interrupted; the copy is restored and the tree was never touched")
    score = 100.0 * caught / planted if planted else 100.0
    print("\ncaught %d / planted %d (%.1f%%); %d did not compile" % (caught, planted, score, stillborn))
    equivalent = [mu for mu in survivors if (mu.path, mu.faulty_line(originals[mu.path])) in EQUIVALENT]
    if equivalent:
        catchable = planted - len(equivalent)
        print("%d of the survivors change nothing any input can show (EQUIVALENT); of the other %d faults, "
              "%d caught (%.1f%%)" % (len(equivalent), catchable, caught,
                                      100.0 * caught / catchable if catchable else 100.0))
    if survivors:
        print("survivors:")
        for mu in survivors:
            print("  " + mu.describe() + ("   [equivalent]" if mu in equivalent else ""))
    return 1 if score < args.min_score else 0


if __name__ == "__main__":
    sys.exit(main())
