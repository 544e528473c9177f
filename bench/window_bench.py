"""What the administration window costs: tarvona (the window, offscreen, with the server
inside) against tarvona-server, side by side in one run: 1 GiB RETR and 2000 sequential
4 KiB RETRs, alternated round by round. Then the window alone under a log flood: 8
clients whose NOOPs make 1000 log lines per second for 60 s, while a probe connects every
100 ms and times the greeting (each greeting waits until the window's main thread has
handled the session's WM_SESSION_OPENED, so it measures how soon the window's event loop
answers a posted event), and the window's resident memory is sampled every second.
Standard library plus the curl command.
Usage: window_bench.py BUILD_DIR [--quick]"""
import ftplib
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
from ftp_server_env import FtpServerEnv, wait_for_port  # noqa: E402
from transfer_bench import GIB, Tarvona, alternate, fill, login, retr_rate, small_files  # noqa: E402

LINES_PER_SECOND = 1000
CLIENTS = 8


class WindowEnv(FtpServerEnv):
    """The same program directory and account, served by the window binary."""

    def start(self):
        with open(os.path.join(self.prog, "option.ini"), "w") as f:
            f.write("[Server]\nport=%d\nmaxusers=200\nAutoActive=1\n" % self.port)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.proc = subprocess.Popen([os.path.join(self.build_dir, "app", "tarvona"), "--dir", self.prog],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        if not wait_for_port(self.port, 30):
            raise RuntimeError("tarvona did not start")
        return self


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def flood(server, seconds):
    """Each NOOP is logged twice (the command and the reply)."""
    stop = time.monotonic() + seconds
    period = CLIENTS * 2.0 / LINES_PER_SECOND

    def client():
        ftp = login(server)
        due = time.monotonic()
        while due < stop:
            ftp.voidcmd("NOOP")
            due += period
            time.sleep(max(0.0, due - time.monotonic()))
        ftp.quit()

    threads = [threading.Thread(target=client) for _ in range(CLIENTS)]
    for t in threads:
        t.start()
    return threads


def greeting_latencies(port, seconds):
    latencies = []
    stop = time.monotonic() + seconds
    while time.monotonic() < stop:
        start = time.monotonic()
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.makefile("rb").readline()
            latencies.append((time.monotonic() - start) * 1000)
            s.sendall(b"QUIT\r\n")
        time.sleep(0.1)
    return latencies


def log_flood(window, seconds):
    memory = []
    sampling = [True]

    def sample():
        while sampling[0]:
            memory.append(resident_kib(window.env.proc.pid))
            time.sleep(1)

    sampler = threading.Thread(target=sample)
    sampler.start()
    clients = flood(window, seconds)
    latencies = greeting_latencies(window.port, seconds)
    for t in clients:
        t.join()
    sampling[0] = False
    sampler.join()
    latencies.sort()
    p99 = latencies[int(len(latencies) * 0.99) - 1]
    print("log flood, %d clients, %d lines/s for %d s:" % (CLIENTS, LINES_PER_SECOND, seconds))
    print("  greeting latency: median %.1f ms, p99 %.1f ms, max %.1f ms (%d probes; goal p99 <= 50 ms)"
          % (statistics.median(latencies), p99, latencies[-1], len(latencies)))
    third = max(1, len(memory) // 3)
    print("  window resident memory: start %d KiB, after a third %d KiB, end %d KiB, peak %d KiB"
          % (memory[0], memory[third], memory[-1], max(memory)))


def main():
    build_dir = sys.argv[1]
    quick = "--quick" in sys.argv
    runs = 1 if quick else 5
    work = tempfile.mkdtemp(prefix="tarvona-wbench-", dir=os.path.dirname(os.path.abspath(build_dir)))
    envs = []
    try:
        big = os.path.join(work, "big.bin")
        with open(big, "wb") as f:
            chunk = os.urandom(1 << 20)
            for _ in range(GIB >> 20):
                f.write(chunk)
        server_env = FtpServerEnv(build_dir).start()
        envs.append(server_env)
        window_env = WindowEnv(build_dir).start()
        envs.append(window_env)
        for env in envs:
            fill(env.home, big)
        servers = [("tarvona-server", Tarvona(build_dir, server_env)), ("tarvona (window)", Tarvona(build_dir, window_env))]
        rates = alternate(servers, runs, lambda label, s: retr_rate(s, "big.bin"))
        print("RETR 1 GiB, MB/s, best / median of %d:" % runs)
        for label, (best, median) in rates.items():
            print("  %-18s %7.0f / %7.0f" % (label, best, median))
        rates = alternate(servers, runs, lambda label, s: small_files(s, 2000))
        print("2000 sequential 4 KiB RETRs, files/s, best / median of %d:" % runs)
        for label, (best, median) in rates.items():
            print("  %-18s %7.0f / %7.0f" % (label, best, median))
        log_flood(servers[1][1], 10 if quick else 60)
    finally:
        for env in envs:
            env.cleanup()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
