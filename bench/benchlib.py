"""What the benchmark scripts share: the sizes of a full and a --quick run, the compiled
clients, pinning to CPUs, rounds alternated without and with a load, and the row that
compares them. Standard library only; not a benchmark itself."""
import os
import pwd
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

MIB = 1 << 20
GIB = 1 << 30
SMALL_FILE_BYTES = 4096


class Sizes:
    """A full run's sizes, or with `quick` the smallest that still take every path of a
    script (one short round, seconds rather than minutes): a check that it runs, not a
    figure to quote."""

    def __init__(self, quick):
        self.quick = quick
        self.big = 16 * MIB if quick else GIB
        self.small_files = 200 if quick else 2000
        self.crowds = (10, 20) if quick else (500, 1000)
        self.limited = 10 * 1024 if quick else 102400

    def big_label(self):
        return "%d MiB" % (self.big >> 20) if self.big < GIB else "%d GiB" % (self.big >> 30)


def quick_requested(argv=None):
    return "--quick" in (sys.argv if argv is None else argv)


def runs_argument(argv, default):
    """--runs N of the command line, else `default`; 1 with --quick."""
    if quick_requested(argv):
        return 1
    if "--runs" in argv:
        return max(1, int(argv[argv.index("--runs") + 1]))
    return default


def skip(what, why):
    """A part of a run left out: said where the table is read, never silently."""
    print("skipped: %s (%s)" % (what, why))


def user_busy(name):
    """True while a process runs as the system user `name`: the peers of another
    benchmark run on this machine, whose logins a new password or home would break."""
    try:
        uid = pwd.getpwnam(name).pw_uid
    except KeyError:
        return False
    for entry in os.listdir("/proc"):
        try:
            if entry.isdigit() and os.stat("/proc/" + entry).st_uid == uid:
                return True
        except OSError:
            pass  # a process that ended meanwhile
    return False


def compiled_client(build_dir, name):
    """A compiled client of bench/ in `build_dir` (built with the benchmarks and with the
    tests); its absence ends the run."""
    path = os.path.join(build_dir, "bench", name)
    if not os.access(path, os.X_OK):
        raise SystemExit("%s not found: build the target %s in %s" % (path, name, build_dir))
    return path


def fill_small(home, count):
    os.makedirs(os.path.join(home, "small"), exist_ok=True)
    for i in range(count):
        with open(os.path.join(home, "small", "s%04d.bin" % i), "wb") as f:
            f.write(os.urandom(SMALL_FILE_BYTES))


def sparse_file(path, size):
    # Sparse: a download then measures the server, not the disk.
    with open(path, "wb") as f:
        f.truncate(size)


def small_files_rate(client, port, user, password, count, path_format="/small/s%04d.bin"):
    """Files per second of `count` sequential 4 KiB RETRs in one session of `client`."""
    out = subprocess.run([client, str(port), user, password, path_format, str(count),
                          str(SMALL_FILE_BYTES)], capture_output=True, timeout=600)
    if out.returncode != 0:
        raise RuntimeError("bench_small_files failed: %s" % out.stderr.decode(errors="replace"))
    return float(out.stdout)


def download_rate(url, size):
    """MiB/s of one curl download of `url`, which must bring `size` bytes."""
    out = subprocess.run(["curl", "-sS", "-o", "/dev/null", "-w",
                          "%{speed_download} %{size_download}", url],
                         capture_output=True, timeout=600, check=True)
    speed, got = out.stdout.split()
    if int(float(got)) != size:
        raise RuntimeError("downloaded %s of %d bytes" % (got.decode(), size))
    return float(speed) / MIB


def pin_threads(pid, cpu):
    """Every thread of `pid` on `cpu`; threads it starts later inherit it."""
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            os.sched_setaffinity(int(task), {cpu})
        except ProcessLookupError:
            pass  # a thread that ended meanwhile


def pin(*server_pids):
    """The servers on CPU 0, this process and the clients it starts on CPU 1: left to the
    scheduler, a download on a 2-core machine runs at one of two rates about twice apart,
    depending on where the threads land, which hides a change of a few per cent. False
    (and nothing pinned) where CPUs 0 and 1 are not both allowed."""
    try:
        for pid in server_pids:
            pin_threads(pid, 0)
        os.sched_setaffinity(0, {1})
        return True
    except OSError as e:
        skip("pinning to CPUs 0 and 1", e.strerror)
        return False


def exit_status(ok=True):
    """0 unless `ok` is false or a server stopped by ftp_server_env reported a sanitizer
    finding (it has printed it)."""
    import ftp_server_env
    return 0 if ok and not ftp_server_env.FAILURES else 1


def alternate(runs, without, loaded):
    """`runs` rounds of each side in the order without, with, with, without, ... so that a
    drift of the machine's load weighs on both sides alike. `without` and `loaded` each
    measure one round and return its figure (or a tuple of figures); the result is the
    two lists of them, in the order taken (round i of one side is beside round i of the other)."""
    sides = ([], [])
    for run in range(2 * runs):
        is_loaded = run % 4 in (1, 2)
        sides[is_loaded].append((loaded if is_loaded else without)())
    return sides


def comparison_header(without, loaded):
    print("| rate | %s: runs -> median | %s: runs -> median | change of medians"
          " | median change of neighbours |" % (without, loaded))
    print("|---|---|---|---|---|")


def comparison_row(name, quiet, loaded):
    """Medians of each side, and the median of the ratios of neighbouring rounds (each
    loaded round against the quiet one beside it), which the machine's drift moves least."""
    q, l = statistics.median(quiet), statistics.median(loaded)
    paired = statistics.median(b / a for a, b in zip(quiet, loaded))
    print("| %s (median of %d) | %s -> %.0f | %s -> %.0f | %+.1f %% | %+.1f %% |"
          % (name, len(quiet), ", ".join("%.0f" % r for r in quiet), q,
             ", ".join("%.0f" % r for r in loaded), l, 100.0 * (l - q) / q,
             100.0 * (paired - 1)))
