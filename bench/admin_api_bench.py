"""The administration API's cost to the FTP service: the 4 KiB small-files rate of
this build's tarvona-server (bench_small_files: 2000 sequential RETRs in one session) and
the rate of a 1 GiB download (curl), without API clients and with 10 clients polling
GET /api/v1/sessions every 100 ms and one reading the live log, alternating in one run.

    admin_api_bench.py BUILD_DIR [--runs N]
"""
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
from ftp_server_env import FtpServerEnv  # noqa: E402

POLLERS = 10
POLL_PERIOD = 0.1


BIG_BYTES = 1 << 30


def fill(home):
    # Sparse: the download measures the server, not the disk.
    with open(os.path.join(home, "big.bin"), "wb") as f:
        f.truncate(BIG_BYTES)
    os.makedirs(os.path.join(home, "small"))
    for i in range(2000):
        with open(os.path.join(home, "small", "s%04d.bin" % i), "wb") as f:
            f.write(os.urandom(4096))


def request(sock_path, target):
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(10)
        s.connect(sock_path)
        s.sendall(b"GET " + target + b" HTTP/1.1\r\nConnection: close\r\n\r\n")
        answer = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return answer
            answer += chunk


class AdminLoad:
    """The pollers and the log reader, while `with` lasts; counts what they got."""

    def __init__(self, sock_path):
        self.sock_path, self.stop = sock_path, threading.Event()
        self.polls = self.failures = self.log_bytes = 0
        self.threads = [threading.Thread(target=self.poll) for _ in range(POLLERS)]
        self.threads.append(threading.Thread(target=self.follow))

    def poll(self):
        while not self.stop.is_set():
            started = time.monotonic()
            try:
                ok = request(self.sock_path, b"/api/v1/sessions").startswith(b"HTTP/1.1 200")
            except OSError:
                ok = False
            self.polls += ok
            self.failures += not ok
            self.stop.wait(max(0.0, POLL_PERIOD - (time.monotonic() - started)))

    def follow(self):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(1)
            s.connect(self.sock_path)
            s.sendall(b"GET /api/v1/log?follow=1 HTTP/1.1\r\n\r\n")
            while not self.stop.is_set():
                try:
                    self.log_bytes += len(s.recv(65536))
                except socket.timeout:
                    pass

    def __enter__(self):
        for t in self.threads:
            t.start()
        return self

    def __exit__(self, *exception):
        self.stop.set()
        for t in self.threads:
            t.join()


def small_files_rate(client, env):
    out = subprocess.run([client, str(env.port), env.user, env.password,
                          "/small/s%04d.bin", "2000", "4096"],
                         capture_output=True, timeout=600, check=True)
    return float(out.stdout)


def big_download_rate(env):
    """MiB/s of one 1 GiB RETR."""
    out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{speed_download}",
                          "ftp://%s:%s@127.0.0.1:%d/big.bin" % (env.user, env.password, env.port)],
                         capture_output=True, timeout=600, check=True)
    return float(out.stdout) / (1 << 20)


def row(name, runs, quiet, loaded):
    q, l = statistics.median(quiet), statistics.median(loaded)
    print("| %s (median of %d) | %s -> %.0f | %s -> %.0f | %+.1f %% |"
          % (name, runs, ", ".join("%.0f" % r for r in quiet), q,
             ", ".join("%.0f" % r for r in loaded), l, 100.0 * (l - q) / q))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 5
    client = os.path.join(build_dir, "bench", "bench_small_files")
    quiet, loaded, quiet_big, loaded_big = [], [], [], []
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=100\nSavelog=1\n[Security]\nMaxPerAddress=0\n")
        fill(env.home)
        env.start()
        sock_path = env.prog + "tarvona.sock"
        small_files_rate(client, env)  # warm the page cache
        big_download_rate(env)
        load = None
        for _ in range(runs):
            quiet.append(small_files_rate(client, env))
            quiet_big.append(big_download_rate(env))
            with AdminLoad(sock_path) as load:
                loaded.append(small_files_rate(client, env))
                loaded_big.append(big_download_rate(env))
    print("| rate | without API clients: runs -> median | with 10 pollers + live log | change |")
    print("|---|---|---|---|")
    row("4 KiB files/s", runs, quiet, loaded)
    row("1 GiB download, MiB/s", runs, quiet_big, loaded_big)
    print("last loaded run: %d polls answered, %d failed, %d log bytes read"
          % (load.polls, load.failures, load.log_bytes))


if __name__ == "__main__":
    main()
