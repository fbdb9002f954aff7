#!/usr/bin/env python3
"""The naming check: clang-tidy with the repository's .clang-tidy over every translation unit
of the sanitizer build (clang's own compile commands), with a result cache like ccache's.

A translation unit's result is kept under a key made of clang-tidy's version, .clang-tidy,
the unit's compile command and the contents of every file it includes. The included files are
those the build recorded (ninja's dependency log) or, where the build is older than a source,
what the preprocessor lists. A unit is only checked again when one of those files changed; a
new #include can only appear by changing one of them. Paths inside the repository are stored
relative to it, so worktrees of the same repository share one cache.

Prints each finding once, as path:line:col: message [check], and a summary on standard
error; exits 1 when there is a finding or a unit could not be checked.
"""

import argparse
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

# Bumped when what is stored or how keys are made changes.
CACHE_FORMAT = "1"
ROOT_MARK = "@ROOT@"
DIAGNOSTIC = re.compile(r"^(?P<path>/[^:]+):(?P<line>\d+):(?P<col>\d+): (?P<kind>warning|error): (?P<text>.*)$")


def sha(text):
    return hashlib.sha256(text.encode("utf-8", "surrogateescape")).hexdigest()


class Checker:
    def __init__(self, root, build, cache, jobs):
        self.root = root
        self.build = build
        self.cache = cache
        self.jobs = jobs
        self.file_hashes = {}
        config = read_text(os.path.join(root, ".clang-tidy"))
        filter_match = re.search(r"^HeaderFilterRegex:\s*'([^']*)'", config, re.MULTILINE)
        # The configured filter names the source folders; anchored here to this tree, so that
        # generated files under build/ and checkouts elsewhere never match by accident.
        self.header_filter = "^" + re.escape(root) + (filter_match.group(1) if filter_match else "/")
        version = subprocess.run(["clang-tidy", "--version"], capture_output=True, text=True).stdout
        self.salt = sha("\n".join([CACHE_FORMAT, version, config, self.normalise(self.header_filter)]))

    def normalise(self, text):
        return text.replace(self.root, ROOT_MARK)

    def restore(self, text):
        return text.replace(ROOT_MARK, self.root)

    def file_hash(self, path):
        digest = self.file_hashes.get(path)
        if digest is None:
            try:
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            except OSError:
                digest = "missing"
            self.file_hashes[path] = digest
        return digest

    def key(self, unit, deps):
        parts = [self.salt, self.normalise(unit["command"]), self.normalise(unit["file"])]
        for dep in sorted(set(deps)):
            parts.append(self.normalise(dep) + " " + self.file_hash(dep))
        return sha("\n".join(parts))

    def cache_path(self, kind, name):
        return os.path.join(self.cache, kind, name[:2], name + ".json")

    def load(self, kind, name):
        try:
            with open(self.cache_path(kind, name), encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def store(self, kind, name, value):
        path = self.cache_path(kind, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        # Written aside and renamed, so that concurrent runs never read half an entry.
        fd, temporary = tempfile.mkstemp(dir=os.path.dirname(path))
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            json.dump(value, f)
        os.replace(temporary, path)

    def fresh_deps(self, unit, recorded):
        """The files `unit` includes now: the build's record when the object is newer than all
        of them, else the preprocessor's list."""
        deps = recorded.get(unit["object"])
        if deps is not None:
            try:
                built = os.stat(unit["object"]).st_mtime_ns
                if all(os.stat(d).st_mtime_ns <= built for d in deps):
                    return deps
            except OSError:
                pass
        args = [a for a in unit["arguments"]]
        result = subprocess.run(args + ["-M", "-MF", "/dev/stdout", "-o", "/dev/null"],
                                cwd=unit["directory"], capture_output=True, text=True)
        if result.returncode != 0:
            return None
        names = result.stdout.replace("\\\n", " ").split(":", 1)[-1].split()
        return [os.path.normpath(os.path.join(unit["directory"], n)) for n in names]

    def check(self, unit):
        result = subprocess.run(["clang-tidy", "-p", self.build, "--quiet",
                                 "--header-filter=" + self.header_filter, unit["file"]],
                                capture_output=True, text=True, errors="surrogateescape")
        findings = []
        for line in (result.stdout + result.stderr).splitlines():
            match = DIAGNOSTIC.match(re.sub(r"\x1b\[[0-9;]*m", "", line))
            if match:
                findings.append(self.normalise(line_of(match)))
        if result.returncode != 0 and not findings:
            findings.append(self.normalise(unit["file"]) + ":1:1: error: clang-tidy failed: " +
                            (result.stderr.strip().splitlines() or ["no output"])[-1])
        return findings


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def line_of(match):
    text = match.group("text").replace(",-warnings-as-errors]", "]")
    return "%s:%s:%s: %s" % (match.group("path"), match.group("line"), match.group("col"), text)


def recorded_deps(build):
    """ninja's dependency log: object path (absolute) -> the files it included."""
    output = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True,
                            text=True).stdout
    deps = {}
    current = None
    for line in output.splitlines():
        if line and not line[0].isspace():
            target = line.split(": #deps", 1)[0]
            current = [] if line.endswith("(VALID)") else None
            if current is not None:
                deps[os.path.normpath(os.path.join(build, target))] = current
        elif line.strip() and current is not None:
            current.append(os.path.normpath(os.path.join(build, line.strip())))
    return deps


def units_of(root, build, only):
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
        entries = json.load(f)
    generated = os.path.join(root, "build") + os.sep
    units = []
    for entry in entries:
        path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        if not path.startswith(root + os.sep) or path.startswith(generated):
            continue
        if only and not any(path == o or path.startswith(o + os.sep) for o in only):
            continue
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        # Without -c and -o, the command can list the unit's includes.
        plain, skip, obj = [], False, None
        for a in arguments:
            if skip:
                skip, obj = False, a
                continue
            if a == "-o":
                skip = True
                continue
            if a != "-c":
                plain.append(a)
        units.append({
            "file": path,
            "directory": entry["directory"],
            "command": " ".join(arguments),
            "arguments": plain,
            "object": os.path.normpath(os.path.join(entry["directory"], obj or "")),
        })
    return units


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("paths", nargs="*", help="check only the units below these paths")
    parser.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--build", default=os.path.join(root, "build", "san"),
                        help="the build whose compile commands are used (default build/san)")
    parser.add_argument("--no-cache", action="store_true", help="check every unit again")
    options = parser.parse_args()
    cache_home = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    cache = os.environ.get("DORVALE_TIDY_CACHE") or os.path.join(cache_home, "dorvale-tidy")
    build = os.path.abspath(options.build)
    if not os.path.exists(os.path.join(build, "compile_commands.json")):
        print("tidy: no %s/compile_commands.json: run scripts/build.sh san first" % build,
              file=sys.stderr)
        return 2

    started = time.monotonic()
    checker = Checker(root, build, cache, max(1, options.jobs))
    only = [os.path.abspath(p) for p in options.paths]
    units = units_of(root, build, only)
    recorded = recorded_deps(build)

    findings = {}
    misses = []
    for unit in units:
        unit["id"] = sha(checker.salt + checker.normalise(unit["command"] + unit["file"]))
        manifest = None if options.no_cache else checker.load("manifests", unit["id"])
        if manifest is not None:
            key = checker.key(unit, [checker.restore(d) for d in manifest["deps"]])
            result = checker.load("results", key)
            if result is not None:
                findings[unit["file"]] = result["findings"]
                continue
        misses.append(unit)

    def run(unit):
        unit_findings = checker.check(unit)
        deps = checker.fresh_deps(unit, recorded)
        if deps is not None and not any(": error: clang-tidy failed" in f for f in unit_findings):
            key = checker.key(unit, deps)
            checker.store("results", key, {"findings": unit_findings})
            checker.store("manifests", unit["id"], {"deps": [checker.normalise(d) for d in deps]})
        return unit, unit_findings

    with ThreadPoolExecutor(checker.jobs) as pool:
        for unit, unit_findings in pool.map(run, misses):
            findings[unit["file"]] = unit_findings

    unique = sorted({checker.restore(f) for fs in findings.values() for f in fs})
    for finding in unique:
        print(os.path.relpath(finding.split(":", 1)[0], root) + ":" + finding.split(":", 1)[1])
    print("tidy: %d translation units, %d checked, %d from the cache, %d findings (%.1f s)" %
          (len(units), len(misses), len(units) - len(misses), len(unique),
           time.monotonic() - started), file=sys.stderr)
    return 1 if unique else 0


if __name__ == "__main__":
    sys.exit(main())
