#!/usr/bin/env python3
"""Runs builds of the brioutil tool over the same random inputs and compares
what each later build gives with what the first gives: exit code, standard
output, standard error and every file written, byte for byte.

usage: differential.py --first CMD --second CMD [--second CMD...] [--seed N]
                       [--cases N] [--work DIR] [--jobs N]

Each side's command is given as a JSON list (the program and any launcher in
front of it, e.g. ["/usr/lib/wine/wine64", "brioutil.exe"]). Both sides run in
copies of the same case folder, with the same relative paths, so messages that
name files are the same too. Cases run --jobs at a time, so each build also
meets runs of itself side by side (a shared system resource shows up there).
"""

import argparse
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no cache folder among the scripts
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import random_inputs  # noqa: E402

# The one output that differs by design: TopicOpenDummyFile writes a
# text-mode file, which holds the platform's own line break.
TEXT_MODE_OUTPUTS = {"out/dummy.rtf"}
# The terms files hold the documents' own 8-bit words.
ANSI = ["--encoding", "1252"]


def commands(case_dir):
    """The commands of one case: (name, arguments, standard input, outputs)."""
    with open(os.path.join(case_dir, "phrases.txt"), "rb") as f:
        phrases = [p.decode("ascii") for p in f.read().split(b"\n") if p]
    topics = sorted(os.listdir(os.path.join(case_dir, "topics")))
    first_topic = "topics/" + topics[0]
    case = int(os.path.basename(case_dir))
    json_picture = ["picture.bmp", "picture.shg", "picture.wmf"][case % 3]
    run = [
        ("topics list", ["topics", "list", "help.rtf"], None, []),
        ("topics list --json", ["topics", "list", "help.rtf", "--json"], None, []),
        ("topics split", ["topics", "split", "help.rtf", "--out-dir", "out/split"], None,
         ["out/split"]),
        ("topics join", ["topics", "join", "out/split/topics.tsv", "-o", "out/joined.rtf"], None,
         ["out/joined.rtf"]),
        ("topics dummy", ["topics", "dummy", "dummy.tsv", "-o", "out/dummy.rtf"], None,
         ["out/dummy.rtf"]),
        ("find", ["find", phrases[0], "help.rtf", "topics"], None, []),
        ("find --json", ["find", phrases[1], "help.rtf", "topics", "--json"], None, []),
        ("autolink help file", ["autolink", "terms.txt", "help.rtf", "--once", "--colour", "2",
                                "-o", "out/help-linked.rtf"] + ANSI, None, ["out/help-linked.rtf"]),
        ("autolink --dry-run", ["autolink", "terms.txt", "help.rtf", "--dry-run"] + ANSI, None, []),
        ("autolink folder", ["autolink", "terms.txt", "topics", "--out-dir", "out/linked"] + ANSI, None,
         ["out/linked"]),
        ("autolink to stdout", ["autolink", "terms.txt", first_topic, "-o", "-"] + ANSI, None, []),
        ("unlink folder", ["unlink", "out/linked", "--out-dir", "out/unlinked"], None,
         ["out/unlinked"]),
        ("unlink stdin to stdout", ["unlink", "-", "-o", "-"], first_topic, []),
        ("unlink help file", ["unlink", "out/help-linked.rtf", "-o", "out/help-unlinked.rtf"],
         None, ["out/help-unlinked.rtf"]),
    ]
    for picture in ["picture.bmp", "picture.shg", "picture.wmf"]:
        stem = picture.replace(".", "-")
        run.append(("picture info", ["picture", "info", picture], None, []))
        if picture == json_picture:
            run.append(("picture info --json", ["picture", "info", picture, "--json"], None, []))
        run.append(("picture preview", ["picture", "preview", picture, "-o", "out/%s.svg" % stem],
                    None, ["out/%s.svg" % stem]))
        if picture != "picture.wmf":
            run.append(("picture extract",
                        ["picture", "extract", picture, "-o", "out/%s.bmp" % stem], None,
                        ["out/%s.bmp" % stem]))
            run.append(("picture build",
                        ["picture", "build", picture, "hotspots.txt", "-o",
                         "out/%s-built.shg" % stem], None, ["out/%s-built.shg" % stem]))
    run += [
        ("picture extract to stdout", ["picture", "extract", "picture.shg", "-o", "-"], None, []),
        ("picture info (built)", ["picture", "info", "out/picture-bmp-built.shg"], None, []),
        ("form set", ["form", "set", "form.frm", "VB.CommandButton", "Ok", "TabIndex", "7",
                      "-o", "out/form.frm"], None, ["out/form.frm"]),
    ]
    return run


def run_side(launcher, case_dir, run, env, timeout):
    results = []
    for name, args, stdin_file, _ in run:
        stdin = open(os.path.join(case_dir, stdin_file), "rb") if stdin_file else subprocess.DEVNULL
        try:
            p = subprocess.run(launcher + args, cwd=case_dir, stdin=stdin, capture_output=True,
                               env=env, timeout=timeout)
            results.append((p.returncode, p.stdout, p.stderr))
        except subprocess.TimeoutExpired:
            results.append(("timeout", b"", b""))
        finally:
            if stdin_file:
                stdin.close()
    return results


def files_under(root):
    found = {}
    for folder, _, names in os.walk(root):
        for n in names:
            path = os.path.join(folder, n)
            found[os.path.relpath(path, root).replace(os.sep, "/")] = path
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


def describe(a, b):
    """Where two byte strings first differ, with the bytes around it."""
    at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    lo = max(0, at - 24)
    return "%d vs %d bytes, first difference at %d:\n      %r\n      %r" % (
        len(a), len(b), at, a[lo:at + 40], b[lo:at + 40])


def compare_case(case, side, first_dir, second_dir, run, first, second):
    """Mismatches of one case between the first build and the one named side."""
    mismatches = []
    tag = "case %03d [%s]" % (case, side)
    for (name, args, _, outputs), r1, r2 in zip(run, first, second):
        what = "brioutil " + " ".join(args)
        for label, v1, v2 in zip(("exit code", "stdout", "stderr"), r1, r2):
            if v1 != v2:
                detail = describe(v1, v2) if isinstance(v1, bytes) else "%s vs %s" % (v1, v2)
                mismatches.append("%s: %s: %s differs: %s" % (tag, what, label, detail))
    f1, f2 = files_under(first_dir), files_under(second_dir)
    for rel in sorted(set(f1) | set(f2)):
        if rel not in f1 or rel not in f2:
            mismatches.append("%s: %s written by one build only (%s)" %
                              (tag, rel, "first" if rel in f1 else side))
            continue
        a, b = read(f1[rel]), read(f2[rel])
        if a != b and rel in TEXT_MODE_OUTPUTS:
            a, b = a.replace(b"\r\n", b"\n"), b.replace(b"\r\n", b"\n")
        if a != b:
            mismatches.append("%s: %s differs: %s" % (tag, rel, describe(a, b)))
    return mismatches


def side_name(command, fallback):
    """A side's name: its build folder (BUILD/tools/brioutil/PROGRAM)."""
    parts = os.path.normpath(command[-1]).split(os.sep)
    return parts[-4] if len(parts) >= 4 and parts[-3] == "tools" else fallback


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--first", required=True, help="JSON list: the first build's command")
    parser.add_argument("--second", required=True, action="append",
                        help="JSON list: a build's command compared with the first (repeatable)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--cases", type=int, default=16)
    parser.add_argument("--work", default="build/differential")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, default=120)
    parser.add_argument("--corpus", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "corpus"))
    args = parser.parse_args()
    first = json.loads(args.first)
    seconds = [json.loads(s) for s in args.second]
    names = [side_name(s, "second-%d" % (i + 1)) for i, s in enumerate(seconds)]

    shutil.rmtree(args.work, ignore_errors=True)
    words, fonts = random_inputs.corpus_pieces(args.corpus)
    env = dict(os.environ, LC_ALL="C")

    def one(case):
        inputs = os.path.join(args.work, "inputs", "%03d" % case)
        random_inputs.make_case(args.seed, case, words, fonts, inputs)
        dirs = []
        for side in ["first"] + names:
            d = os.path.join(args.work, side, "%03d" % case)
            shutil.copytree(inputs, d)
            os.makedirs(os.path.join(d, "out"), exist_ok=True)
            dirs.append(d)
        run = commands(inputs)
        r1 = run_side(first, dirs[0], run, env, args.timeout)
        found = []
        for name, second, d in zip(names, seconds, dirs[1:]):
            r2 = run_side(second, d, run, env, args.timeout)
            found += compare_case(case, name, dirs[0], d, run, r1, r2)
        return run, r1, found

    total, mismatches, codes = 0, [], {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for run, results, found in pool.map(one, range(args.cases)):
            total += len(run)
            mismatches += found
            for (name, _, _, _), (code, _, _) in zip(run, results):
                codes.setdefault(name, {}).setdefault(code, 0)
                codes[name][code] += 1
    for m in mismatches:
        print(m)
    # How often each command succeeded: inputs that every command refuses
    # would compare nothing but error messages.
    for name in sorted(codes):
        print("  %-28s %s" % (name, ", ".join(
            "exit %s: %d" % (c, n) for c, n in sorted(codes[name].items(), key=str))))
    print("inputs and outputs kept in %s (seed %d)" % (args.work, args.seed))
    print("differential: %d cases, %d commands, %d mismatches (%s against %s)" %
          (args.cases, total, len(mismatches), ", ".join(names),
           side_name(first, "first")))
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
