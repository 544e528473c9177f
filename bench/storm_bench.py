"""Legitimate logins during a password-guessing storm, against tarvona-server.

A storm is 8 connections from 127.0.0.2, each making up to 1000 wrong-password
attempts as fast as the server answers (reconnecting after a 421). Two legitimate
clients from 127.0.0.1 log in (connect, USER, PASS, QUIT) in a loop. Each of ROUNDS
rounds measures their rate over WINDOW seconds without a storm, then while a storm runs
(at most WINDOW seconds); the round with the median ratio is shown. The attempts column
sums all rounds. The storm runs in a
process of its own so it does not share the legitimate clients' interpreter lock.

    storm_bench.py BUILD_DIR [--quick]

--quick: one round of 0.3 s a side per configuration, a check that the script runs
rather than a figure.
"""
import multiprocessing
import socket
import sys
import threading
import time

import benchlib
from ftp_server_env import FtpServerEnv

QUICK = benchlib.quick_requested()
WINDOW = 0.3 if QUICK else 3.0
ROUNDS = 1 if QUICK else 5
WARM_UP = 0.2 if QUICK else 2.0
STORM_CONNECTIONS = 8
STORM_ATTEMPTS = 1000
LEGIT_CLIENTS = 2


def read_reply(f):
    line = f.readline()
    if not line:
        raise OSError("closed")
    return line


def legit_logins(port, user, password, seconds, storm=None):
    """Logins per second over `seconds`, or, with `storm`, for as long as it runs."""
    count = [0]
    start = time.monotonic()
    end = start + seconds

    def going():
        return storm.is_alive() if storm is not None else time.monotonic() < end

    def loop():
        while going():
            with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                f = s.makefile("rb")
                read_reply(f)
                s.sendall(b"USER %s\r\n" % user.encode())
                read_reply(f)
                s.sendall(b"PASS %s\r\n" % password.encode())
                if read_reply(f).startswith(b"230"):
                    count[0] += 1
                s.sendall(b"QUIT\r\n")
                read_reply(f)

    threads = [threading.Thread(target=loop) for _ in range(LEGIT_CLIENTS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return count[0] / (time.monotonic() - start)


def storm_connection(port, user, stop_at, attempts):
    done = 0
    while done < STORM_ATTEMPTS and time.monotonic() < stop_at:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=10,
                                         source_address=("127.0.0.2", 0))
            f = s.makefile("rb")
            if read_reply(f).startswith(b"421"):
                done += 1
                s.close()
                continue
            while done < STORM_ATTEMPTS and time.monotonic() < stop_at:
                s.sendall(b"USER %s\r\nPASS guess%d\r\n" % (user.encode(), done))
                read_reply(f)
                reply = read_reply(f)
                done += 1
                if reply.startswith(b"421"):
                    break
            s.close()
        except OSError:
            done += 1
    with attempts.get_lock():
        attempts.value += done


def storm(port, user, seconds, attempts):
    stop_at = time.monotonic() + seconds
    threads = [threading.Thread(target=storm_connection, args=(port, user, stop_at, attempts))
               for _ in range(STORM_CONNECTIONS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def measure(build_dir, security):
    """Median over ROUNDS of (rate without, rate during) measured back to back, so the
    load of other programs on the machine hits both alike."""
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=500\n[Security]\nMaxPerAddress=0\n" + security)
        env.start()
        legit_logins(env.port, env.user, env.password, WARM_UP)
        attempts = multiprocessing.Value("l", 0)
        rounds = []
        storm_seconds = 0.0
        for _ in range(ROUNDS):
            base = legit_logins(env.port, env.user, env.password, WINDOW)
            p = multiprocessing.Process(target=storm, args=(env.port, env.user, WINDOW, attempts))
            started = time.monotonic()
            p.start()
            during = legit_logins(env.port, env.user, env.password, WINDOW, storm=p)
            p.join()
            storm_seconds += time.monotonic() - started
            rounds.append((during / base if base else 0.0, base, during))
        rounds.sort()
        ratio, base, during = rounds[len(rounds) // 2]
        return base, during, ratio, attempts.value, storm_seconds


def main():
    build_dir = sys.argv[1]
    print("| configuration | logins/s without | logins/s during | ratio | storm attempts (%d"
          " rounds) | storm s |" % ROUNDS)
    print("|---|---|---|---|---|---|")
    for name, security in [
            ("defaults (ban after 5, 1 s delay)", ""),
            ("no bans, 1 s delay", "BanAttempts=0\n"),
            ("unprotected (no bans, no delay)", "BanAttempts=0\nFailDelay=0\n")]:
        base, during, ratio, attempts, seconds = measure(build_dir, security)
        print("| %s | %.0f | %.0f | %.0f %% | %d | %.1f |" % (name, base, during, 100 * ratio,
                                                           attempts, seconds))
    return benchlib.exit_status()


if __name__ == "__main__":
    sys.exit(main())
