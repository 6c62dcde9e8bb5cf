#!/usr/bin/env python3
"""The text side of scripts/mutants.sh: finds mutation candidates in C++ sources, samples them,
applies one, keeps the scratch copy of the tree in step, and prints the report.

A candidate is one change at one place. Its id is "folder/File.cpp:LINE:COL:KIND", where KIND is
"op" (operator swapped), "+1"/"-1" (integer constant moved), "not" (condition negated) or "del"
(call statement removed); the id names the same change as long as that line is unchanged.
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import signal
import sys
from pathlib import Path

# Binary operators, written with a space on each side (the tree is clang-formatted, so template
# brackets, pointers, references and unary signs never have one on both sides).
SWAPS = {
    "<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
    "&&": "||", "||": "&&", "+": "-", "-": "+", "*": "/", "/": "*",
    "+=": "-=", "-=": "+=", "&": "|", "|": "&", "&=": "|=", "|=": "&=",
}
OPERATOR = re.compile(r"(?<= )(<=|>=|==|!=|&&|\|\||\+=|-=|&=|\|=|<|>|\+|-|\*|/|&|\|)(?= )")
NUMBER = re.compile(r"(?<![\w.'])(0[xX][0-9A-Fa-f]+|[0-9]+)([uUlL]{0,3})(?![\w.'])")
CONDITION = re.compile(r"\b(if|while) \(")
KEYWORDS = {
    "return", "throw", "delete", "goto", "case", "default", "break", "continue", "co_return",
    "co_await", "co_yield", "if", "for", "while", "switch", "do", "else", "sizeof", "static_assert",
    "using", "typedef", "namespace", "template", "public", "private", "protected", "new",
}


def Mask(text):
    """The text with comments, string and character literals and preprocessor lines blanked
    (newlines kept), so offsets and line numbers stay those of the original."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True

    def Blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 2
                    continue
                j += 1
            Blank(i, j)
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t":
            i += 1
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            Blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            Blank(i, j)
            i = j
        elif c == "R" and i + 1 < n and text[i + 1] == '"' and (i == 0 or not IsWord(text[i - 1])):
            open_paren = text.index("(", i)
            delimiter = text[i + 2:open_paren]
            j = text.index(")" + delimiter + '"', open_paren) + len(delimiter) + 2
            Blank(i, j)
            i = j
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            Blank(i, j + 1)
            i = j + 1
        else:
            i += 1
    return "".join(out)


def IsWord(c):
    return c.isalnum() or c == "_"


def MatchingParen(masked, open_at):
    depth = 0
    for k in range(open_at, len(masked)):
        if masked[k] in "([{":
            depth += 1
        elif masked[k] in ")]}":
            depth -= 1
            if depth == 0:
                return k
    return -1


def TopLevel(masked, a, b):
    """The characters of masked[a:b] outside any bracket, others replaced by '@'."""
    depth, out = 0, []
    for c in masked[a:b]:
        if c in "([{":
            depth += 1
            out.append("@")
        elif c in ")]}":
            depth -= 1
            out.append("@")
        else:
            out.append(c if depth == 0 else "@")
    return "".join(out)


def StatementStarts(masked):
    """Where a statement may begin: after ';', '{', '}', a label's ':', "else", or the closing
    parenthesis of an if, while or for; a line's start alone is not enough (continued
    expressions)."""
    ends = set()
    for k, c in enumerate(masked):
        if c in ";{}":
            ends.add(k + 1)
        elif c == ":" and masked[k - 1] != ":" and masked[k + 1:k + 2] != ":":
            # a label's colon, not a conditional expression's
            before = masked[masked.rfind("\n", 0, k) + 1:k].strip()
            if re.fullmatch(r"case\b.*|default|public|private|protected", before):
                ends.add(k + 1)
    for m in re.finditer(r"\belse\b", masked):
        ends.add(m.end())
    for m in re.finditer(r"\b(?:if|while|for) \(", masked):
        close_at = MatchingParen(masked, m.end() - 1)
        if close_at >= 0:
            ends.add(close_at + 1)
    starts = set()
    for e in ends:
        k = e
        while k < len(masked) and masked[k] in " \t\n":
            k += 1
        starts.add(k)
    return sorted(starts)


def DataTables(masked):
    """Brace lists of literal numbers only (lookup tables such as hash constants): data, whose
    entries would swamp the sample, not logic."""
    tables = []
    for m in re.finditer(r"\{", masked):
        close_at = MatchingParen(masked, m.start())
        inside = masked[m.start() + 1:close_at]
        if close_at > 0 and inside.count(",") >= 3 and re.fullmatch(r"[\s0-9a-fA-FxXuUlL,]*", inside):
            tables.append((m.start(), close_at))
    return tables


def Candidates(text):
    """(start, end, replacement, kind) for every change this file offers."""
    masked = Mask(text)
    found = []
    for m in OPERATOR.finditer(masked):
        # "+" joining strings has no "-" to become.
        if m.group(1) in ("+", "+=") and '"' in (text[m.start() - 2], text[m.end() + 1]):
            continue
        found.append((m.start(), m.end(), SWAPS[m.group(1)], "op"))
    tables = DataTables(masked)
    for m in NUMBER.finditer(masked):
        if any(a < m.start() < b for a, b in tables):
            continue
        digits, suffix = m.group(1), m.group(2)
        if digits[:2].lower() == "0x":
            case = str.upper if digits[2:] == digits[2:].upper() else str.lower
            value = int(digits, 16)
            Show = lambda v, d=digits, c=case: d[:2] + c(format(v, f"0{len(d) - 2}x"))
        elif len(digits) > 1 and digits[0] == "0":
            value, Show = int(digits, 8), lambda v: "0" + format(v, "o")
        else:
            value, Show = int(digits), str
        for step, kind in ((1, "+1"), (-1, "-1")):
            moved = value + step
            if moved < 0:
                continue
            shown = Show(moved)
            found.append((m.start(), m.end(), shown + suffix, kind))
    for m in CONDITION.finditer(masked):
        open_at = m.end() - 1
        close_at = MatchingParen(masked, open_at)
        if close_at < 0:
            continue
        inside = TopLevel(masked, open_at + 1, close_at)
        # A declaration or an init-statement in the condition cannot be negated as a whole.
        if ";" in inside or re.search(r"(?<![=!<>])=(?!=)", inside):
            continue
        found.append((open_at + 1, close_at, m.group(1), "not"))
    for start in StatementStarts(masked):
        word = re.match(r"(?:::)?[A-Za-z_~][\w:]*", masked[start:])
        if not word or word.group(0) in KEYWORDS:
            continue
        end = masked.find(";", start)
        if end < 0:
            continue
        # The statement's text at bracket depth 0 must be one call: no spaces (a declaration), no
        # assignment, ending in the call's parenthesis.
        k, depth = start, 0
        while k < len(masked):
            if masked[k] in "([{":
                depth += 1
            elif masked[k] in ")]}":
                depth -= 1
                if depth < 0:
                    break
            elif masked[k] == ";" and depth == 0:
                break
            k += 1
        if k >= len(masked) or masked[k] != ";":
            continue
        top = TopLevel(masked, start, k).rstrip()
        if not top.endswith("@") or masked[start:k].rstrip()[-1] != ")":
            continue
        if re.search(r"\s|=|\?|<<|>>", top) or "++" in top or "--" in top:
            continue
        found.append((start, k + 1, ";", "del"))
    return found


def Describe(text, start, end, replacement, kind):
    before = " ".join(text[start:end].split())
    if kind == "not":
        return f"{replacement} ({before}) -> {replacement} (!({before}))"
    if kind == "del":
        return f"removed: {before}"
    # The line, with the change marked in it.
    line_start = text.rfind("\n", 0, start) + 1
    line_end = text.find("\n", end)
    line_end = len(text) if line_end < 0 else line_end
    return (text[line_start:start].lstrip() + f"[{before} -> {replacement}]" +
            text[end:line_end].rstrip())


def LineCol(text, offset):
    line = text.count("\n", 0, offset) + 1
    return line, offset - (text.rfind("\n", 0, offset) + 1) + 1


def FileCandidates(root, rel):
    text = (Path(root) / rel).read_text()
    lines = text.split("\n")
    # Where a change is, told by its line's text rather than its number, so that the sample
    # stays the same when other lines are added or removed: the line's words, which of the
    # lines with those words it is, and the column from its first word.
    anchors, seen = [], {}
    for line_text in lines:
        words = line_text.strip()
        seen[words] = seen.get(words, 0) + 1
        anchors.append((words, seen[words], len(line_text) - len(line_text.lstrip())))
    result = []
    for start, end, replacement, kind in Candidates(text):
        line, col = LineCol(text, start)
        words, nth, indent = anchors[line - 1]
        result.append({
            "id": f"{rel}:{line}:{col}:{kind}",
            "file": rel, "line": line, "start": start, "end": end,
            "replacement": replacement, "kind": kind,
            "change": Describe(text, start, end, replacement, kind),
            "anchor": f"{rel}\0{words}\0{nth}\0{col - indent}",
        })
    result.sort(key=lambda c: (c["line"], c["start"], c["kind"]))
    return result


def ProductFiles(compdb, root, folder):
    """The folder's .cpp files that this build compiles, without tests and fuzz targets."""
    root = Path(root).resolve()
    files = set()
    for entry in json.loads(Path(compdb).read_text()):
        path = Path(entry["directory"], entry["file"]).resolve()
        try:
            rel = path.relative_to(root)
        except ValueError:
            continue
        parts = rel.parts
        if parts[0] != folder or "fuzz" in parts or "tests" in parts or rel.suffix != ".cpp":
            continue
        files.add(rel.as_posix())
    return sorted(files)


def Sample(candidates, seed, count, folder):
    """count places of the folder, and one change at each (a constant moved up or down is one
    place, like an operator swapped): those whose seeded hash of the place is lowest, so that
    a change elsewhere in the code leaves the rest of the sample as it was."""
    places = {}
    for c in candidates:
        kind = "number" if c["kind"] in ("+1", "-1") else c["kind"]
        places.setdefault((c["anchor"], kind), []).append(c)

    def Key(place):
        return hashlib.sha256(f"{seed}\0{folder}\0{place[0]}\0{place[1]}".encode()).digest()

    chosen = []
    for place in sorted(places, key=Key)[:count]:
        changes = places[place]
        chosen.append(changes[Key(place)[-1] % len(changes)])
    return sorted(chosen, key=lambda c: (c["file"], c["line"], c["start"], c["kind"]))


def FindById(root, ident):
    rel = ident.split(":")[0]
    for c in FileCandidates(root, rel):
        if c["id"] == ident:
            return c
    sys.exit(f"mutants: no candidate {ident} in {rel} (the line may have changed)")


def Apply(root, ident):
    c = FindById(root, ident)
    path = Path(root) / c["file"]
    text = path.read_text()
    original = text[c["start"]:c["end"]]
    if c["kind"] == "not":
        changed = "!(" + original + ")"
    else:
        changed = c["replacement"]
    path.write_text(text[:c["start"]] + changed + text[c["end"]:])
    print(c["change"])


def Sync(source, dest, files):
    """Copies the listed files into dest, writing only those whose content differs (their new
    time makes ninja rebuild them; an unchanged file keeps its time), and removes the rest."""
    source, dest = Path(source), Path(dest)
    wanted = set(files)
    for rel in wanted:
        src, dst = source / rel, dest / rel
        data = src.read_bytes()
        if dst.is_file() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        dst.write_bytes(data)
        shutil.copymode(src, dst)
    for path in sorted(dest.rglob("*"), reverse=True):
        rel = path.relative_to(dest).as_posix()
        if path.is_file() and rel not in wanted:
            path.unlink()
        elif path.is_dir() and not any(path.iterdir()):
            path.rmdir()


def Report(results, elapsed, judged_file):
    rows = [line.rstrip("\n").split("\t") for line in Path(results).read_text().splitlines()]
    # Survivors already judged equivalent (the behaviour cannot differ), with the reason: known
    # by file and change, which stay the same when other lines move.
    judged = {}
    if Path(judged_file).is_file():
        for line in Path(judged_file).read_text().splitlines():
            if line.strip() and not line.startswith("#"):
                ident, change, reason = (line.split("\t") + ["", ""])[:3]
                judged[(ident.split(":")[0], change.strip())] = reason.strip()

    def Judged(row):
        return judged.get((row[0].split(":")[0], row[4].strip()))

    folders = []
    for r in rows:
        if r[1] not in folders:
            folders.append(r[1])
    print("\n== Mutants per folder (killed includes timeouts; rate = killed / (killed + survived);"
          " equivalent: survivors judged equivalent)")
    print(f"{'folder':<10} {'run':>4} {'killed':>7} {'survived':>9} {'stillborn':>10} "
          f"{'timeouts':>9} {'rate':>7} {'equivalent':>11}")
    for folder in folders:
        mine = [r for r in rows if r[1] == folder]
        count = {s: sum(1 for r in mine if r[2] == s) for s in
                 ("killed", "timeout", "survived", "stillborn")}
        killed = count["killed"] + count["timeout"]
        judged_count = sum(1 for r in mine if r[2] == "survived" and Judged(r))
        total = killed + count["survived"]
        rate = f"{100.0 * killed / total:.1f} %" if total else "-"
        print(f"{folder:<10} {len(mine):>4} {killed:>7} {count['survived']:>9} "
              f"{count['stillborn']:>10} {count['timeout']:>9} {rate:>7} {judged_count:>11}")
    survivors = [r for r in rows if r[2] == "survived"]
    for title, group in (("Survivors", [r for r in survivors if not Judged(r)]),
                         ("Survivors judged equivalent", [r for r in survivors if Judged(r)])):
        if group:
            print(f"\n== {title} (id, then the change)")
            for r in group:
                print(f"{r[0]}\n    {r[4]}")
                if Judged(r):
                    print(f"    equivalent: {Judged(r)}")
    print(f"\nTime: {int(elapsed) // 60} min {int(elapsed) % 60} s")


def main():
    signal.signal(signal.SIGPIPE, signal.SIG_DFL) # a list piped into head ends quietly
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("files")
    p.add_argument("compdb")
    p.add_argument("root")
    p.add_argument("folder")
    p = sub.add_parser("list")
    p.add_argument("root")
    p.add_argument("files", nargs="*")
    p = sub.add_parser("sample")
    p.add_argument("root")
    p.add_argument("seed")
    p.add_argument("count", type=int)
    p.add_argument("folder")
    p.add_argument("files", nargs="*")
    p = sub.add_parser("apply")
    p.add_argument("root")
    p.add_argument("id")
    p = sub.add_parser("sync")
    p.add_argument("source")
    p.add_argument("dest")
    p = sub.add_parser("report")
    p.add_argument("results")
    p.add_argument("elapsed", type=float)
    p.add_argument("judged")
    args = parser.parse_args()

    if args.command == "files":
        print("\n".join(ProductFiles(args.compdb, args.root, args.folder)))
    elif args.command in ("list", "sample"):
        cands = [c for f in args.files for c in FileCandidates(args.root, f)]
        if args.command == "sample":
            cands = Sample(cands, args.seed, args.count, args.folder)
        for c in cands:
            print(f"{c['id']}\t{c['change']}")
    elif args.command == "apply":
        Apply(args.root, args.id)
    elif args.command == "sync":
        Sync(args.source, args.dest, sys.stdin.read().split("\0")[:-1])
    elif args.command == "report":
        Report(args.results, args.elapsed, args.judged)


if __name__ == "__main__":
    main()
