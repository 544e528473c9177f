"""Many sessions at once: tarvona-server (this build's, from a generated program
directory) gets SESSIONS logged-in sessions opened at 1 000 a second, holds them, and
then, while TRANSFERS of them fetch a 4 KiB file again and again (PASV + RETR) and the
rest send NOOP every few seconds, the server's own NOOP latency histogram is read from
GET /metrics (p99 from the buckets, counted over that phase only). Then OVER more
connections arrive past maxusers: each must get a 421 reply, and the server must live on.
Resident memory (VmRSS) and descriptors (/proc/PID/fd) per session are read around the
opening. With --peers, vsftpd and pure-ftpd (see transfer_bench.py) hold PEER_SESSIONS
sessions each under a per-server limit of that many, and their memory is the summed Pss
of their processes (one or two processes per session).

The client is non-blocking sockets on selectors, split over WORKERS processes so that no
process needs more than its share of the descriptor limit; each raises RLIMIT_NOFILE to
the hard limit. Standard library only; the peers need root (they log in a system user).

Usage: c10k_bench.py BUILD_DIR [--quick] [--sessions N] [--over N] [--transfers N]
                     [--load-seconds S] [--maxusers N] [--peers] [--peer-sessions N]"""
import argparse
import contextlib
import multiprocessing
import os
import re
import resource
import selectors
import socket
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
sys.path.insert(0, HERE)
from ftp_server_env import FtpServerEnv, free_port, wait_for_port  # noqa: E402

OPEN_RATE = 1000  # new sessions per second, all workers together
NOOP_PERIOD = 4.0  # seconds between two NOOPs of one idle session
SMALL_FILE = "small.bin"
SMALL_SIZE = 4096
REPLY_END = re.compile(rb"^\d{3} ", re.M)


class Session:
    """One control connection's state machine: greeting, USER, PASS, then idle NOOPs or
    repeated PASV + RETR."""

    def __init__(self, sock, user, password, transfers):
        self.sock, self.user, self.password = sock, user, password
        self.transfers = transfers
        self.buffer = b""
        self.state = "greeting"
        self.first_line = None
        self.next_noop = 0.0
        self.sent_at = 0.0
        self.data = None
        self.data_done = self.reply_done = False
        self.received = 0

    def take_reply(self):
        """The next complete reply (all its lines), or None."""
        match = REPLY_END.search(self.buffer)
        if not match:
            return None
        end = self.buffer.find(b"\n", match.start())
        if end < 0:
            return None
        reply, self.buffer = self.buffer[:end + 1], self.buffer[end + 1:]
        return reply


class Worker:
    """The sessions of one client process."""

    def __init__(self, port, user, password, host="127.0.0.1"):
        self.port, self.user, self.password, self.host = port, user, password, host
        self.selector = selectors.DefaultSelector()
        self.sessions = []
        self.counts = {"logged": 0, "refused": 0, "silent": 0, "failed": 0, "noops": 0,
                       "noop_errors": 0, "transfers": 0, "transfer_errors": 0}
        self.refusal_lines = {}
        self.noop_times = []
        self.loading = False
        self.last_tick = 0.0

    def count(self, key):
        self.counts[key] += 1

    def connect(self, transfers):
        s = socket.socket()
        s.setblocking(False)
        s.connect_ex((self.host, self.port))
        session = Session(s, self.user, self.password, transfers)
        self.sessions.append(session)
        self.selector.register(s, selectors.EVENT_READ, session)

    def send(self, session, line):
        try:
            session.sock.send(line + b"\r\n")
            session.sent_at = time.monotonic()
        except OSError:
            self.end(session, "failed")

    def end(self, session, outcome):
        if session.state == "closed":
            return
        if session.state in ("idle", "transfer") and outcome != "quit":
            self.count("failed")
            self.counts["logged"] -= 1
        elif outcome != "quit":
            self.count(outcome)
        session.state = "closed"
        for s in (session.sock, session.data):
            if s is not None:
                with contextlib.suppress(KeyError, ValueError):
                    self.selector.unregister(s)
                s.close()
        session.data = None

    def on_control(self, session):
        try:
            chunk = session.sock.recv(4096)
        except BlockingIOError:
            return
        except OSError:
            chunk = b""
        if not chunk:
            self.end(session, "silent" if session.first_line is None else "failed")
            return
        session.buffer += chunk
        while session.state != "closed":
            reply = session.take_reply()
            if reply is None:
                return
            self.on_reply(session, reply)

    def on_reply(self, session, reply):
        code = reply[:3]
        if session.first_line is None:
            session.first_line = reply.split(b"\r\n")[0]
        if session.state == "greeting":
            if code != b"220":
                line = session.first_line.decode(errors="replace")
                self.refusal_lines[line] = self.refusal_lines.get(line, 0) + 1
                self.end(session, "refused")
                return
            session.state = "user"
            self.send(session, b"USER " + self.user)
        elif session.state == "user":
            session.state = "pass"
            self.send(session, b"PASS " + self.password)
        elif session.state == "pass":
            if code != b"230":
                self.end(session, "failed")
                return
            self.count("logged")
            session.sent_at = 0.0
            session.state = "transfer" if session.transfers else "idle"
            session.next_noop = time.monotonic() + NOOP_PERIOD * (len(self.sessions) % 97) / 97
        elif session.state == "idle":
            if code == b"200":
                self.count("noops")
                self.noop_times.append(time.monotonic() - session.sent_at)
            else:
                self.count("noop_errors")
            session.next_noop = time.monotonic() + NOOP_PERIOD
            session.sent_at = 0.0
        else:
            self.on_transfer_reply(session, code, reply)

    def start_transfer(self, session):
        session.data_done = session.reply_done = False
        session.received = 0
        session.state = "transfer"
        self.send(session, b"PASV")
        session.sent_at = -1.0  # a PASV is on its way

    def on_transfer_reply(self, session, code, reply):
        if code == b"227":
            numbers = re.search(rb"(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)", reply)
            port = int(numbers.group(5)) * 256 + int(numbers.group(6))
            data = socket.socket()
            data.setblocking(False)
            data.connect_ex((self.host, port))
            session.data = data
            self.selector.register(data, selectors.EVENT_READ, ("data", session))
            self.send(session, b"RETR " + SMALL_FILE.encode())
        elif code == b"150" or code == b"125":
            pass
        elif code == b"226":
            session.reply_done = True
            self.transfer_step(session)
        else:
            self.count("transfer_errors")
            self.close_data(session)
            session.sent_at = 0.0

    def close_data(self, session):
        if session.data is not None:
            self.selector.unregister(session.data)
            session.data.close()
            session.data = None

    def on_data(self, session):
        try:
            chunk = session.data.recv(65536)
        except BlockingIOError:
            return
        except OSError:
            chunk = b""
        session.received += len(chunk)
        if not chunk:
            self.close_data(session)
            session.data_done = True
            self.transfer_step(session)

    def transfer_step(self, session):
        if not (session.data_done and session.reply_done):
            return
        self.count("transfers" if session.received == SMALL_SIZE else "transfer_errors")
        session.sent_at = 0.0
        if self.loading:
            self.start_transfer(session)  # the next one at once, not at the next walk

    def tick(self):
        """Starts what is due: a NOOP of an idle session, the next transfer of a loaded one.
        A walk over every session costs the client time, so it runs at most every 10 ms."""
        now = time.monotonic()
        if not self.loading or now - self.last_tick < 0.01:
            return
        self.last_tick = now
        for session in self.sessions:
            if session.state == "idle" and session.sent_at == 0.0 and now >= session.next_noop:
                self.send(session, b"NOOP")
            elif session.state == "transfer" and session.sent_at == 0.0:
                self.start_transfer(session)

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return
            for key, _ in self.selector.select(timeout=min(left, 0.05)):
                if isinstance(key.data, tuple):
                    if key.data[1].data is key.fileobj:
                        self.on_data(key.data[1])
                else:
                    self.on_control(key.data)
            self.tick()

    def open_sessions(self, count, rate, transfers):
        start = time.monotonic()
        for i in range(count):
            due = start + i / rate
            self.pump(max(0.0, due - time.monotonic()))
            self.connect(i < transfers)
        # Every session answered: logged in, refused or closed (a loaded machine takes
        # long; a client still waiting then is counted as "not logged in").
        end = time.monotonic() + 120
        while time.monotonic() < end and any(s.state in ("greeting", "user", "pass")
                                             for s in self.sessions):
            self.pump(0.1)

    def quit_all(self):
        for session in self.sessions:
            if session.state in ("idle", "transfer"):
                self.end(session, "quit")


def worker_main(pipe, port, user, password):
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    worker = Worker(port, user.encode(), password.encode())
    while True:
        # Between commands the sessions are kept answered (NOOPs and transfers go on).
        while not pipe.poll(0):
            worker.pump(0.1)
        command, *args = pipe.recv()
        if command == "open":
            worker.open_sessions(*args)
        elif command == "load":
            worker.loading = True
            worker.noop_times.clear()
            for key in ("noops", "noop_errors", "transfers", "transfer_errors"):
                worker.counts[key] = 0
            worker.pump(args[0])
        elif command == "quiet":
            worker.loading = False
            worker.pump(1.0)  # what was on its way is answered
        elif command == "quit":
            worker.quit_all()
            pipe.send((worker.counts, worker.refusal_lines, []))
            return
        pipe.send((dict(worker.counts), dict(worker.refusal_lines), worker.noop_times[-20000:]))


class Clients:
    """WORKERS client processes; every command goes to all and returns their summed counts."""

    def __init__(self, port, user, password, workers):
        self.pipes, self.procs = [], []
        for _ in range(workers):
            mine, theirs = multiprocessing.Pipe()
            proc = multiprocessing.Process(target=worker_main, args=(theirs, port, user, password),
                                           daemon=True)
            proc.start()
            self.pipes.append(mine)
            self.procs.append(proc)

    def run(self, command, *per_worker_args):
        for pipe, args in zip(self.pipes, per_worker_args):
            pipe.send((command, *args))
        counts, lines, times = {}, {}, []
        for pipe in self.pipes:
            if not pipe.poll(600):
                raise RuntimeError("a client process did not answer " + command)
            c, l, t = pipe.recv()
            for key, value in c.items():
                counts[key] = counts.get(key, 0) + value
            for key, value in l.items():
                lines[key] = lines.get(key, 0) + value
            times += t
        return counts, lines, times

    def split(self, total):
        n = len(self.pipes)
        return [total // n + (1 if i < total % n else 0) for i in range(n)]

    def close(self):
        with contextlib.suppress(Exception):
            self.run("quit", *[() for _ in self.pipes])
        for proc in self.procs:
            proc.join(timeout=30)
            if proc.is_alive():
                proc.kill()


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def threads(pid):
    return len(os.listdir("/proc/%d/task" % pid))


def noop_buckets(metrics_url):
    """{upper bound in seconds: cumulative count} of the NOOP latency histogram."""
    with urllib.request.urlopen(metrics_url, timeout=30) as answer:
        text = answer.read().decode()
    buckets = {}
    pattern = re.compile(
        r'^tarvona_command_duration_seconds_bucket\{command="NOOP",le="([^"]+)"\} (\S+)$', re.M)
    for bound, value in pattern.findall(text):
        buckets[float(bound)] = float(value)
    return buckets


def percentile_from_buckets(before, after, share):
    """The upper bound of the bucket holding the `share` quantile of what was counted between
    the two snapshots (cumulative buckets), and that count."""
    bounds = sorted(after)
    counts = [after[b] - before.get(b, 0.0) for b in bounds]
    total = counts[-1] if counts else 0
    if total <= 0:
        return None, 0
    for bound, cumulative in zip(bounds, counts):
        if cumulative >= share * total:
            return bound, int(total)
    return float("inf"), int(total)


def client_percentile(times, share):
    if not times:
        return None
    ordered = sorted(times)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def tarvona_run(args, workers):
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    env = FtpServerEnv(args.build_dir, nofile_limit=hard)
    metrics_port = free_port()
    with env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=%d\ntimeout=600\nMinPort=20000\nMaxPort=29999\n"
                    "[Security]\nMaxPerAddress=0\nMaxNotLoggedIn=0\n"
                    "[Admin]\nMetricsListen=127.0.0.1:%d\n" % (args.maxusers, metrics_port))
        with open(env.path(SMALL_FILE), "wb") as small:
            small.write(os.urandom(SMALL_SIZE))
        log = os.path.join(env.root, "server.log")
        env.start(stdout_path=log)
        if not wait_for_port(metrics_port):
            raise RuntimeError("the metrics listener did not open")
        pid = env.proc.pid
        time.sleep(0.5)
        base = (rss_kib(pid), descriptors(pid), threads(pid))
        clients = Clients(env.port, env.user, env.password, workers)
        try:
            return measure(args, env, clients, base, metrics_port, log)
        finally:
            clients.close()


def measure(args, env, clients, base, metrics_port, log):
    pid = env.proc.pid
    started = time.monotonic()
    transfers = clients.split(args.transfers)
    counts, lines, _ = clients.run("open", *[(n, OPEN_RATE / len(clients.pipes), t) for n, t in
                                             zip(clients.split(args.sessions), transfers)])
    lines_before_over = dict(lines)
    opened_in = time.monotonic() - started
    time.sleep(1.0)
    held = (rss_kib(pid), descriptors(pid), threads(pid))
    logged = counts["logged"]
    result = {
        "sessions asked": args.sessions, "logged in": logged,
        "not logged in": args.sessions - logged, "opening took s": round(opened_in, 1),
        "refused while opening": dict(lines),
        "RSS KiB before / held": "%d / %d" % (base[0], held[0]),
        "RSS KiB per session": round((held[0] - base[0]) / max(logged, 1), 1),
        "descriptors per session": round((held[1] - base[1]) / max(logged, 1), 2),
        "threads per session": round((held[2] - base[2]) / max(logged, 1), 2),
        "load average": open("/proc/loadavg").read().split()[:3],
    }
    metrics_url = "http://127.0.0.1:%d/metrics" % metrics_port
    before = noop_buckets(metrics_url)
    cpu_before = cpu_seconds(pid)
    counts, _, times = clients.run("load", *[(args.load_seconds,)] * len(clients.pipes))
    after = noop_buckets(metrics_url)
    cpu = cpu_seconds(pid) - cpu_before
    counts_before_over, _, _ = clients.run("quiet", *[()] * len(clients.pipes))
    p99, noops = percentile_from_buckets(before, after, 0.99)
    p50, _ = percentile_from_buckets(before, after, 0.50)
    result.update({
        "load phase s": args.load_seconds, "transfers (4 KiB) done": counts["transfers"],
        "transfer errors": counts["transfer_errors"], "NOOPs answered": counts["noops"],
        "NOOP errors": counts["noop_errors"], "sessions failed or lost": counts["failed"],
        "server NOOP count in histogram": noops,
        "server NOOP p50 / p99 bucket (upper bound), ms": "%s / %s" % (
            fmt_ms(p50), fmt_ms(p99)),
        "client NOOP round trip p50 / p99, ms": "%s / %s" % (
            fmt_ms(client_percentile(times, 0.5)), fmt_ms(client_percentile(times, 0.99))),
        "server CPU s in load phase": round(cpu, 2),
        "load average (after load)": open("/proc/loadavg").read().split()[:3],
    })
    silent_before = counts_before_over["silent"]
    counts, lines, _ = clients.run("open", *[(n, OPEN_RATE / len(clients.pipes), 0)
                                             for n in clients.split(args.over)])
    over_lines = {k: v - lines_before_over.get(k, 0) for k, v in lines.items()}
    result.update({
        "over the limit: connections": args.over,
        "over: logged in": counts["logged"] - counts_before_over["logged"],
        "over: refusal lines": {k: v for k, v in over_lines.items() if v},
        "over: closed without a reply": counts["silent"] - silent_before,
        "server alive": env.proc.poll() is None,
        "cap logged at start": cap_line(log),
    })
    return result


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cap_line(log):
    with open(log, errors="replace") as f:
        found = [line.strip() for line in f if "sessions at once" in line]
    return found[0][-160:] if found else "(none)"


def fmt_ms(seconds):
    if seconds is None:
        return "—"
    if seconds == float("inf"):
        return "+Inf"
    return "%.2f" % (seconds * 1000)


# ---- Peers: how many sessions they hold at a limit of PEER_SESSIONS, and their memory.

def pss_kib(pids):
    total = 0
    for pid in pids:
        with contextlib.suppress(OSError):
            with open("/proc/%d/smaps_rollup" % pid) as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
    return total


def process_tree(root_pid):
    """The pids of root_pid and all its descendants."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        with contextlib.suppress(OSError):
            with open("/proc/%s/stat" % entry) as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [root_pid]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo += children.get(pid, [])
    return found


def peer_run(peer, count, over, workers):
    with peer:
        time.sleep(0.5)
        base = pss_kib(process_tree(peer.proc.pid))
        clients = Clients(peer.port, peer.user, peer.password, workers)
        try:
            counts, lines, _ = clients.run("open", *[(n, OPEN_RATE / workers, 0)
                                                     for n in clients.split(count)])
            time.sleep(1.0)
            tree = process_tree(peer.proc.pid)
            held = pss_kib(tree)
            logged = counts["logged"]
            over_counts, over_lines, _ = clients.run("open", *[(n, OPEN_RATE / workers, 0)
                                                               for n in clients.split(over)])
            return {
                "sessions asked": count, "logged in": logged,
                "refused while opening": dict(lines),
                "processes per session": round((len(tree) - 1) / max(logged, 1), 2),
                "Pss KiB per session": round((held - base) / max(logged, 1), 1),
                "over: logged in": over_counts["logged"] - logged,
                "over: refusal lines": dict(over_lines),
                "over: closed without a reply": over_counts["silent"],
                "server alive": peer.proc.poll() is None,
            }
        finally:
            clients.close()


def peers(args):
    import transfer_bench as tb  # its peer set-up: the local user and both servers' options
    import shutil
    import tempfile
    work = tempfile.mkdtemp(prefix="tarvona-c10k-")
    os.chmod(work, 0o755)
    results = {}
    try:
        root = os.path.join(work, "peer-root")
        os.makedirs(root)
        password = tb.local_user(root)
        subprocess.run(["chown", "-R", tb.LOCAL_USER, root], check=True)
        n = args.peer_sessions
        results["vsftpd"] = peer_run(tb.vsftpd(work, root, password, extra=(
            "max_clients=%d" % n,)), n, args.over, 1)
        pure = tb.pure_ftpd_binary(args.build_dir)
        port = free_port()
        argv = [pure, "-S", "127.0.0.1,%d" % port, "-l", "unix", "-E", "-H",
                "-c", str(n), "-C", str(n + args.over), "-p", "50000:54999", "-u", "100"]
        results["pure-ftpd"] = peer_run(tb.Peer("pure-ftpd", argv, port, root, password), n,
                                        args.over, 1)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return results


def print_table(columns):
    names = list(columns)
    keys = []
    for name in names:
        keys += [k for k in columns[name] if k not in keys]
    print("| Measure | " + " | ".join(names) + " |")
    print("|---" * (len(names) + 1) + "|")
    for key in keys:
        cells = [str(columns[name].get(key, "—")) for name in names]
        print("| %s | %s |" % (key, " | ".join(cells)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build_dir")
    parser.add_argument("--quick", action="store_true", help="300 sessions, 20 transferring")
    parser.add_argument("--sessions", type=int, default=None)
    parser.add_argument("--over", type=int, default=None)
    parser.add_argument("--transfers", type=int, default=None)
    parser.add_argument("--load-seconds", type=float, default=None)
    parser.add_argument("--maxusers", type=int, default=None,
                        help="the server's maxusers (default: --sessions); above the cap the "
                             "server takes from its limits, that cap refuses")
    parser.add_argument("--peers", action="store_true")
    parser.add_argument("--peer-sessions", type=int, default=None)
    args = parser.parse_args()
    quick = args.quick
    args.build_dir = os.path.abspath(args.build_dir)
    args.sessions = args.sessions or (300 if quick else 9000)
    args.maxusers = args.maxusers or args.sessions
    args.over = args.over if args.over is not None else (50 if quick else 200)
    args.transfers = args.transfers if args.transfers is not None else (20 if quick else 100)
    args.load_seconds = args.load_seconds or (5.0 if quick else 20.0)
    args.peer_sessions = args.peer_sessions or (100 if quick else 1000)
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    # Each client process holds one descriptor per session (two while transferring) and
    # its share of the refused ones; a process stays well under the hard limit.
    workers = max(1, -(-(args.sessions + args.over + args.transfers) // (hard // 2)))
    print("load average at start:", open("/proc/loadavg").read().strip())
    columns = {"tarvona": tarvona_run(args, workers)}
    if args.peers:
        columns.update(peers(args))
    print_table(columns)
    return 0


if __name__ == "__main__":
    sys.exit(main())
