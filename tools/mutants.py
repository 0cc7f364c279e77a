#!/usr/bin/env python3
"""Mutation check: how many small faults planted in src/ do the tests catch?

Places are chosen at random with a fixed seed among every spot where one of a
few faults can be planted (a comparison reversed or loosened, an integer
constant off by one, true and false swapped, a condition negated, a statement
removed, a break, continue or plain return dropped). The same seed on the same
sources gives the same places. A fault that does not compile is skipped and
the next place is taken.

The working tree is never written: the sources are copied into a scratch tree
(build-mutants/ by default), where each fault is planted, built incrementally
and tested with the fast part of the test command (unit and integration tests
and the operators' files; not the browser tests, the fuzz run or the soak),
then taken out again.
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# ---------------------------------------------------------------------------
# Finding places


def mask(line, in_comment):
    """The line with comments and string or character literals blanked out, so
    that faults are planted in code only; and whether a block comment runs on
    past its end."""
    out = list(line)
    i, n = 0, len(line)
    while i < n:
        if in_comment:
            end = line.find("*/", i)
            stop = n if end < 0 else end + 2
            out[i:stop] = " " * (stop - i)
            i, in_comment = stop, end < 0
            continue
        c = line[i]
        if line.startswith("//", i):
            out[i:] = " " * (n - i)
            break
        if line.startswith("/*", i):
            in_comment = True
            continue
        if line.startswith('R"', i) and (i == 0 or not (line[i - 1].isalnum() or line[i - 1] == "_")):
            open_paren = line.find("(", i)
            delimiter = line[i + 2:open_paren]
            end = line.find(")" + delimiter + '"', open_paren)
            stop = n if end < 0 else end + len(delimiter) + 2
            out[i:stop] = " " * (stop - i)
            i = stop
            continue
        if c == "'" and 0 < i < n - 1 and line[i - 1].isalnum() and line[i + 1].isalnum():
            i += 1  # a digit separator
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            stop = min(j + 1, n)
            out[i:stop] = " " * (stop - i)
            i = stop
            continue
        i += 1
    return "".join(out), in_comment


COMPARISONS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
COMPARISON = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
NUMBER = re.compile(r"(?<![\w.'])\d[\d']*(?![\w.'])")
BOOLEAN = re.compile(r"\b(true|false)\b")
CONDITION = re.compile(r"\b(if|while) \(")
JUMP = re.compile(r"^(break|continue|return);$")
NOT_A_STATEMENT = re.compile(
    r"^(return\b|break\b|continue\b|case\b|default\b|using\b|typedef\b|namespace\b|class\b|struct\b|"
    r"enum\b|friend\b|template\b|static_assert\b|virtual\b|public:|private:|protected:|[{}#])|.*= (default|delete);$")
DECLARATION = re.compile(r"^[\w:<>,\s*&]+?[\s*&]+\w+\s*(=|\{|\(|;|\[)")


def matching_paren(text, open_index):
    depth = 0
    for j in range(open_index, len(text)):
        depth += {"(": 1, ")": -1}.get(text[j], 0)
        if depth == 0:
            return j
    return -1


def places_in_line(code, previous):
    """(column, length, replacement, description) for every fault that can be
    planted in one masked line of code."""
    stripped = code.strip()
    if not stripped or stripped.startswith("#"):
        return []
    found = []
    for m in COMPARISON.finditer(code):
        new = COMPARISONS[m.group(1)]
        found.append((m.start(), len(m.group(1)), new, f"`{m.group(1)}` -> `{new}`"))
    for m in NUMBER.finditer(code):
        new = str(int(m.group().replace("'", "")) + 1)
        found.append((m.start(), len(m.group()), new, f"{m.group()} -> {new}"))
    for m in BOOLEAN.finditer(code):
        new = "false" if m.group() == "true" else "true"
        found.append((m.start(), len(m.group()), new, f"{m.group()} -> {new}"))
    for m in CONDITION.finditer(code):
        open_index = m.end() - 1
        close = matching_paren(code, open_index)
        if close > 0:
            inner = code[open_index + 1:close]
            if inner.startswith("auto ") or ";" in inner:
                continue
            found.append((open_index + 1, close - open_index - 1, None, f"`{m.group(1)}` condition negated"))
    start = len(code) - len(code.lstrip())
    statement_start = previous == "" or previous[-1] in ";{}:"
    if JUMP.match(stripped):
        found.append((start, len(stripped), "{}", f"`{stripped}` dropped"))
    elif (statement_start and stripped.endswith(";") and not NOT_A_STATEMENT.match(stripped)
          and not DECLARATION.match(stripped)):
        found.append((start, len(stripped), "{}", "statement removed"))
    return found


def all_places(tree):
    """Every place in the sources, in a fixed order."""
    places = []
    for path in sorted((tree / "src").rglob("*")):
        if path.suffix not in (".cpp", ".hpp"):
            continue
        lines = path.read_text().split("\n")
        in_comment, previous = False, ""
        for number, line in enumerate(lines, 1):
            code, in_comment = mask(line, in_comment)
            for column, length, new, what in places_in_line(code, previous):
                places.append((str(path.relative_to(tree)), number, column, length, new, what))
            if code.strip():
                previous = code.strip()
    return places


def replayed(tree, listing):
    """The places of a places file, each found by the text of its line: the
    same occurrence among the lines of equal text when the file records it
    (lines above it may have come or gone since), else the nearest one."""
    places = []
    for entry in listing.read_text().splitlines():
        fields = entry.split("\t", 7)
        if len(fields) == 8 and re.fullmatch(r"#\d+", fields[6]):
            file, number, column, length, new, what, occurrence, text = fields
            occurrence = int(occurrence[1:])
        else:
            file, number, column, length, new, what, text = entry.split("\t", 6)
            occurrence = None
        lines = (tree / file).read_text().split("\n")
        found = [i + 1 for i, line in enumerate(lines) if line == text]
        if occurrence is not None and occurrence <= len(found):
            at = found[occurrence - 1]
        else:
            at = min(found, key=lambda i: abs(i - int(number))) if found else None
        places.append((file, at, int(column), int(length), new or None, what))
    return places


def occurrence(lines, number):
    """Which of the lines with the text of line `number` it is, from 1."""
    return sum(1 for line in lines[:number] if line == lines[number - 1])


def planted(line, column, length, new):
    if new is None:  # a negated condition keeps its text
        return line[:column] + "!(" + line[column:column + length] + ")" + line[column + length:]
    return line[:column] + new + line[column + length:]


# ---------------------------------------------------------------------------
# The scratch tree, building and testing


def sync_tree(tree):
    """Copies the working tree's files (tracked and untracked, not ignored)
    into the scratch tree; unchanged files keep their times so that builds stay
    incremental."""
    listed = subprocess.run(["git", "-C", str(ROOT), "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], check=True, capture_output=True).stdout
    wanted = set()
    for name in filter(None, listed.decode().split("\0")):
        source, target = ROOT / name, tree / name
        if not source.is_file():
            continue
        wanted.add(target)
        data = source.read_bytes()
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        shutil.copymode(source, target)
    for path in tree.rglob("*"):
        if path.is_file() and path not in wanted:
            path.unlink()


children = []


def run_all(commands, deadline, log_dir):
    """Runs the commands side by side; returns None when all pass, else the
    name of what failed first (or "time-out")."""
    started = []
    for index, (name, command, cwd) in enumerate(commands):
        log = open(log_dir / f"test{index}.log", "w")
        started.append((name, subprocess.Popen(command, cwd=cwd, stdout=log, stderr=subprocess.STDOUT,
                                               start_new_session=True), log_dir / f"test{index}.log"))
    children.extend(p for _, p, _ in started)
    failure = None
    try:
        while failure is None and any(p.poll() is None for _, p, _ in started):
            if time.monotonic() > deadline:
                failure = "time-out"
                break
            for name, process, log in started:
                if process.poll() not in (None, 0):
                    failed = re.findall(r"^\[  FAILED  \] (\S+)", log.read_text(errors="replace"), re.M)
                    failure = f"{name}: {failed[0]}" if failed else f"{name}: exit {process.returncode}"
                    break
            time.sleep(0.2)
        if failure is None:
            for name, process, _ in started:
                if process.returncode != 0:
                    failure = f"{name}: exit {process.returncode}"
    finally:
        stop_children()
    return failure


def stop_children():
    for process in children:
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
    children.clear()
    # A daemon detaches from the test that started it, and one whose test
    # was stopped would run on (a mutant may make it spin).
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and os.readlink(entry / "exe").startswith(str(daemon_binary)):
                os.kill(int(entry.name), signal.SIGKILL)
        except OSError:
            pass


daemon_binary = None  # the scratch build's vcd


def fast_tests(tree, build):
    """The test command's fast part, split in shards that run side by side:
    each integration shard in a network namespace of its own."""
    tests = build / "tests"
    commands = []
    for shard in range(2):
        env = f"GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX={shard}"
        commands.append((f"unit_tests[{shard}]", ["sh", "-c", f"{env} exec ./unit_tests --gtest_brief=1 "
                                                 "--gtest_fail_fast"], tests))
        commands.append((f"integration_tests[{shard}]", ["sh", "-c", f"{env} exec unshare -rn "
                                                        "./integration_tests --gtest_brief=1 --gtest_fail_fast"],
                         tests))
    commands.append(("ops", ["unshare", "-rn", "bash", str(tree / "tests/ops/ops_test.sh"), str(build / "vcd"),
                             str(tree)], tests))
    return commands


def build_targets(build, timeout):
    try:
        result = subprocess.run(["cmake", "--build", str(build), "-j", str(os.cpu_count() or 2), "--target",
                                 "vcd", "unit_tests", "integration_tests"], capture_output=True,
                                timeout=timeout)
        return result.returncode == 0, result.stdout.decode(errors="replace")[-3000:]
    except subprocess.TimeoutExpired:
        return False, "build time-out"


# ---------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-n", type=int, default=40, help="mutants to run (default 40)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the random choice (default 1)")
    parser.add_argument("--timeout", type=int, default=300, help="seconds of testing per mutant (default 300)")
    parser.add_argument("--dir", default="build-mutants", help="scratch tree and build (default build-mutants)")
    parser.add_argument("--list", action="store_true", help="only print the first places of the choice")
    parser.add_argument("--replay", metavar="FILE",
                        help="plant the places a previous run wrote to its places file, found by their text")
    args = parser.parse_args()

    global daemon_binary
    work = (ROOT / args.dir).resolve()
    tree, build = work / "tree", work / "build"
    daemon_binary = build / "vcd"
    tree.mkdir(parents=True, exist_ok=True)
    sync_tree(tree)
    if args.replay:
        places = replayed(tree, Path(args.replay))
        args.n = len(places)
    else:
        places = all_places(tree)
        random.Random(args.seed).shuffle(places)
    if args.list:
        for file, number, _, _, _, what in places[:args.n]:
            print(f"{file}:{number}  {what}")
        return 0

    def interrupted(signum, _frame):
        stop_children()
        print(f"\ninterrupted (signal {signum}); the working tree was never changed", flush=True)
        sys.exit(130)
    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)

    configure = ["cmake", "-S", str(tree), "-B", str(build), "-DCMAKE_BUILD_TYPE=Debug", "-DVORTA_WERROR=ON"]
    if shutil.which("ccache"):
        configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
    ok, output = build_targets(build, 3600)
    if not ok:
        print(output)
        print("error: the sources do not build without a mutant")
        return 2
    began = time.monotonic()
    failure = run_all(fast_tests(tree, build), began + args.timeout, work)
    if failure:
        print(f"error: the tests fail without a mutant ({failure}); logs in {work}")
        return 2
    source = f"replay of {args.replay}" if args.replay else f"seed {args.seed}: {len(places)} places in src/"
    print(f"{source}; the tests pass without a mutant in "
          f"{time.monotonic() - began:.0f} s", flush=True)

    killed = run = 0
    record = open(work / f"places-seed{args.seed}.txt" if not args.replay else os.devnull, "w")
    for file, number, column, length, new, what in places:
        if run == args.n:
            break
        if number is None:
            print(f"   -   {file}  {what}  (its line is gone; not counted)", flush=True)
            continue
        path = tree / file
        original = path.read_text()
        lines = original.split("\n")
        lines[number - 1] = planted(lines[number - 1], column, length, new)
        try:
            path.write_text("\n".join(lines))
            ok, _ = build_targets(build, 600)
            if not ok:
                print(f"   -   {file}:{number}  {what}  (does not compile; next place)", flush=True)
                continue
            run += 1
            original_lines = original.split("\n")
            record.write("\t".join(map(str, (file, number, column, length, "" if new is None else new, what,
                                              f"#{occurrence(original_lines, number)}",
                                              original_lines[number - 1]))) + "\n")
            record.flush()
            failure = run_all(fast_tests(tree, build), time.monotonic() + args.timeout, work)
        finally:
            path.write_text(original)
            os.utime(path)  # newer than the mutant's object, so the next build recompiles it
        killed += failure is not None
        verdict = f"killed ({failure})" if failure else "SURVIVED"
        print(f"{run:4d}  {file}:{number}  {what}  {verdict}", flush=True)
    print(f"{killed} killed of {run}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
