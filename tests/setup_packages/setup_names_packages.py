#!/usr/bin/python3
"""Every program the project's scripts and tests start on this machine comes
from a package tools/setup names (or one that such a package depends on
without alternatives, or one every Debian system has): otherwise a fresh
machine lacks it, and a suite that needs it is left out or fails.

usage: setup_names_packages.py REPO
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

REPO = sys.argv[1]

# What the scripts under tools/ and the test harness start besides the
# programs the suites list as their TOOLS.
HARNESS_PROGRAMS = ["cmake", "ninja", "ccache", "python3", "Xvfb", "xauth", "xdotool", "import", "convert",
                    "compare", "strace", "gcc", "dpkg-source", "apt-get", "wineserver",
                    "i686-w64-mingw32-g++-posix"]


def machine_programs():
    """What only this machine's build starts: the 64-bit build's compiler
    (the 32-bit player is built everywhere) and the loader `wine` starts,
    the 64-bit one for the 64-bit build (tools/wine64-only/wine names it),
    else the 32-bit one."""
    target = subprocess.run(["bash", "-c", '. "$1/tools/machine-target"; zorv_target', "-", REPO],
                            capture_output=True, text=True, check=True).stdout.strip()
    if target != "x86_64":
        return [], ["/usr/bin/wine", "/usr/lib/wine/wine"]
    script = open(os.path.join(REPO, "tools", "wine64-only", "wine")).read()
    return ["x86_64-w64-mingw32-g++-posix"], ["/usr/lib/wine/wine64"] + re.findall(r"^exec (\S+)", script, re.M)


def suite_tools():
    names = set()
    for folder, _, files in os.walk(os.path.join(REPO, "tests")):
        if "CMakeLists.txt" in files:
            text = re.sub(r"#[^\n]*", "", open(os.path.join(folder, "CMakeLists.txt")).read())
            for listed in re.findall(r"\bTOOLS\s+([^)]*)", text):
                names.update(listed.split())
    return names


def package_fields():
    """name -> (depends without alternatives, essential or required)."""
    listing = subprocess.run(
        ["dpkg-query", "-W", "-f=${Package}\t${Depends}, ${Pre-Depends}\t${Essential}\t${Priority}\n"],
        capture_output=True, text=True, check=True).stdout
    fields = {}
    for line in listing.splitlines():
        name, depends, essential, priority = line.split("\t")
        firm = set()
        for group in depends.split(","):
            if group.strip() and "|" not in group:
                firm.add(re.split(r"[\s:(]", group.strip())[0])
        previous = fields.get(name, (set(), False))
        fields[name] = (previous[0] | firm, previous[1] or essential == "yes" or priority == "required")
    return fields


def owners(path):
    """The packages (name, architecture or None) whose file list holds the path."""
    for candidate in (os.path.realpath(path), path):
        done = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
        if done.returncode == 0:
            names = done.stdout.split(": ")[0]
            return [tuple(name.strip().split(":")) if ":" in name else (name.strip(), None)
                    for name in names.split(",")]
    return []


def main():
    named = subprocess.run([os.path.join(REPO, "tools", "setup"), "--list"], capture_output=True, text=True,
                           check=True).stdout.split()
    check(named, "tools/setup --list names packages")
    fields = package_fields()
    reached = {name.split(":")[0] for name in named}
    pending = list(reached)
    while pending:
        for dependency in fields.get(pending.pop(), (set(), False))[0]:
            if dependency not in reached:
                reached.add(dependency)
                pending.append(dependency)
    native = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()

    # Packages install into the system's folders; /usr/local holds the machine's own.
    system_path = "/usr/sbin:/usr/bin:/sbin:/bin"
    compilers, loaders = machine_programs()
    programs = [(p, shutil.which(p, path=system_path))
                for p in sorted(suite_tools() | set(HARNESS_PROGRAMS) | set(compilers))]
    programs += [(p, p) for p in dict.fromkeys(loaders)]
    for program, path in programs:
        if not path or not os.path.exists(path):
            check(False, "%s is on this machine (a suite or script starts it)" % program)
            continue
        packages = owners(path)
        if not packages:
            check(False, "%s (%s) comes from a package" % (program, path))
            continue
        covered = False
        for name, arch in packages:
            exact = ("%s:%s" % (name, arch)) in named or (name in named and arch in (None, native, "all"))
            covered |= exact or (name in reached and not any(n.startswith(name + ":") for n in named)) \
                or fields.get(name, (set(), False))[1]
        check(covered, "%s (%s, from %s) comes from a package tools/setup names for this machine"
              % (program, path, ", ".join(n if a is None else n + ":" + a for n, a in packages)))
    if failures:
        sys.exit(1)
    print("every program the scripts start comes from a package tools/setup names")


main()
