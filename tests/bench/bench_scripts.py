"""Every benchmark script in bench/ runs in its --quick mode against this build's
binaries and prints its table, so that a script broken by a change beside it (a helper
renamed in another script, an option, a reply) fails here rather than in the next
benchmark run. The scripts are found by name: a new one without --quick fails too.
Standard library only.
Usage: bench_scripts.py BUILD_DIR BENCH_DIR"""
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
from ftp_server_env import SANITIZER_MARKS, check, exit_status  # noqa: E402

# Modules the scripts import, not scripts themselves.
LIBRARIES = {"benchlib.py"}
# A --quick run takes seconds; a script that ignores --quick takes minutes.
SCRIPT_SECONDS = 90


def scripts(bench_dir):
    return sorted(path for path in glob.glob(os.path.join(bench_dir, "*.py"))
                  if os.path.basename(path) not in LIBRARIES)


def run_quick(script, build_dir):
    name = os.path.basename(script)
    with open(script, encoding="utf-8") as f:
        if "--quick" not in f.read():
            check(False, "%s has no --quick mode" % name)
            return
    started = time.monotonic()
    try:
        out = subprocess.run([sys.executable, script, build_dir, "--quick"],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=SCRIPT_SECONDS)
    except subprocess.TimeoutExpired as e:
        print((e.output or b"").decode(errors="replace")[-3000:])
        check(False, "%s --quick still ran after %d s" % (name, SCRIPT_SECONDS))
        return
    text = out.stdout.decode(errors="replace")
    lines = text.splitlines()
    print("== %s --quick: status %d, %.1f s" % (name, out.returncode, time.monotonic() - started))
    print(text[-3000:])
    check(out.returncode == 0, "%s --quick ends with status 0, not %d" % (name, out.returncode))
    # A build without a part a script measures (the window) skips the whole script.
    check(any(line.startswith("| ") for line in lines) or "skipped: " + name in text,
          "%s --quick prints its table" % name)
    findings = [line for line in lines
                if line.startswith("FAIL:") or any(m in line for m in SANITIZER_MARKS)]
    check(not findings, "%s --quick: %s" % (name, " | ".join(findings[:3])))


def main():
    build_dir, bench_dir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    found = scripts(bench_dir)
    check(len(found) >= 6, "the benchmark scripts are found (%d)" % len(found))
    for script in found:
        run_quick(script, build_dir)
    return exit_status("every benchmark script ran in --quick mode: " +
                       ", ".join(os.path.basename(s) for s in found))


if __name__ == "__main__":
    sys.exit(main())
