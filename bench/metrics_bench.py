"""The cost of being scraped: the 4 KiB small-files rate of this build's tarvona-server
(bench_small_files: 2000 sequential RETRs in one session) without a scraper and with
GET /metrics every 100 ms on [Admin] MetricsListen (a new connection each, as Prometheus
without keep-alive), alternating in one run (quiet, scraped, scraped, quiet, ...). The
server runs on CPU 0, the client and the scraper on CPU 1 (admin_api_bench.py says why).

    metrics_bench.py BUILD_DIR [--runs N] [--quick]

--quick: one round a side of 200 files, a check that the script runs rather than a figure.
"""
import os
import socket
import sys
import threading
import time

import benchlib
from ftp_server_env import FtpServerEnv, free_port, wait_for_port

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


def main():
    build_dir = os.path.abspath(sys.argv[1])
    sizes = benchlib.Sizes(benchlib.quick_requested())
    runs = benchlib.runs_argument(sys.argv, 10)
    client = benchlib.compiled_client(build_dir, "bench_small_files")
    scrapers = []
    with FtpServerEnv(build_dir) as env:
        metrics_port = free_port()
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=100\n[Security]\nMaxPerAddress=0\n"
                    "[Admin]\nMetricsListen=127.0.0.1:%d\n" % metrics_port)
        benchlib.fill_small(env.home, sizes.small_files)
        env.start()
        if not wait_for_port(metrics_port):
            sys.exit("the metrics listener did not open")
        benchlib.pin(env.proc.pid)

        def rate():
            return benchlib.small_files_rate(client, env.port, env.user, env.password,
                                             sizes.small_files)

        def scraped():
            scrapers.append(Scraper(metrics_port))
            with scrapers[-1]:
                return rate()

        rate()  # warm the page cache
        quiet, busy = benchlib.alternate(runs, rate, scraped)
    benchlib.comparison_header("not scraped", "GET /metrics every 100 ms")
    benchlib.comparison_row("%d × 4 KiB files/s" % sizes.small_files, quiet, busy)
    scraper = scrapers[-1]
    print("last scraped run: %d scrapes answered, %d failed, %d bytes each"
          % (scraper.scrapes, scraper.failures, scraper.bytes))
    return benchlib.exit_status(scraper.scrapes and not scraper.failures)


if __name__ == "__main__":
    sys.exit(main())
