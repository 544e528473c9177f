"""The cost of being scraped: the 4 KiB small-files rate of this build's tarvona-server
(bench_small_files: 2000 sequential RETRs in one session) without a scraper and with
GET /metrics every 100 ms on [Admin] MetricsListen (a new connection each, as Prometheus
without keep-alive), alternating in one run (quiet, scraped, scraped, quiet, ...). The
server runs on CPU 0, the client and the scraper on CPU 1 (admin_api_bench.py says why).

    metrics_bench.py BUILD_DIR [--runs N]
"""
import os
import socket
import statistics
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
sys.path.insert(0, HERE)
from admin_api_bench import pin, small_files_rate  # noqa: E402
from ftp_server_env import FtpServerEnv, free_port, wait_for_port  # noqa: E402

SCRAPE_PERIOD = 0.1


def scrape(port):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(b"GET /metrics HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n")
        answer = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return answer
            answer += chunk


class Scraper:
    """GET /metrics every SCRAPE_PERIOD while `with` lasts; counts the answers."""

    def __init__(self, port):
        self.port, self.stop = port, threading.Event()
        self.scrapes = self.failures = self.bytes = 0
        self.thread = threading.Thread(target=self.run)

    def run(self):
        while not self.stop.is_set():
            started = time.monotonic()
            try:
                answer = scrape(self.port)
                ok = answer.startswith(b"HTTP/1.1 200")
                self.bytes = len(answer)
            except OSError:
                ok = False
            self.scrapes += ok
            self.failures += not ok
            self.stop.wait(max(0.0, SCRAPE_PERIOD - (time.monotonic() - started)))

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exception):
        self.stop.set()
        self.thread.join()


def fill(home):
    os.makedirs(os.path.join(home, "small"))
    for i in range(2000):
        with open(os.path.join(home, "small", "s%04d.bin" % i), "wb") as f:
            f.write(os.urandom(4096))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 10
    client = os.path.join(build_dir, "bench", "bench_small_files")
    quiet, scraped, scraper = [], [], None
    with FtpServerEnv(build_dir) as env:
        metrics_port = free_port()
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=100\n[Security]\nMaxPerAddress=0\n"
                    "[Admin]\nMetricsListen=127.0.0.1:%d\n" % metrics_port)
        fill(env.home)
        env.start()
        if not wait_for_port(metrics_port):
            sys.exit("the metrics listener did not open")
        pin(env.proc.pid)
        small_files_rate(client, env)  # warm the page cache
        for run in range(2 * runs):
            if run % 4 in (1, 2):
                with Scraper(metrics_port) as scraper:
                    scraped.append(small_files_rate(client, env))
            else:
                quiet.append(small_files_rate(client, env))
    q, s = statistics.median(quiet), statistics.median(scraped)
    paired = statistics.median(b / a for a, b in zip(quiet, scraped))
    print("| 4 KiB files/s (median of %d) | %s -> %.0f | %s -> %.0f | %+.1f %% | %+.1f %% |"
          % (runs, ", ".join("%.0f" % r for r in quiet), q, ", ".join("%.0f" % r for r in scraped),
             s, 100.0 * (s - q) / q, 100.0 * (paired - 1)))
    print("last scraped run: %d scrapes answered, %d failed, %d bytes each"
          % (scraper.scrapes, scraper.failures, scraper.bytes))


if __name__ == "__main__":
    main()
