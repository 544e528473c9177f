"""The sessions tarvona-server holds at once are bounded by what it can get, and each one
past the bound is answered, not dropped: 128 descriptors cap the logged-in sessions (the
cap said in the log at start), and a pids control group that runs out of threads while the
server runs gets "421 No room". Each time the server lives on and serves a new session
once some have closed.

    session_limits.py BUILD_DIR
"""
import ftplib
import os
import re
import shutil
import socket
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status

NOFILE = 128
TOO_MANY_USERS = b"421 Too many users"
NO_ROOM = b"421 No room for another session"
PIDS_ROOT = "/sys/fs/cgroup/pids"


def first_line(sock):
    data = b""
    try:
        while b"\n" not in data:
            chunk = sock.recv(256)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    return data.split(b"\r\n")[0]


def logged_in(env):
    ftp = ftplib.FTP(timeout=10)
    ftp.connect("127.0.0.1", env.port)
    ftp.login(env.user, env.password)
    return ftp


def open_until_refused(env, at_most):
    """Logged-in sessions, opened one by one until one is refused; the refusal's line."""
    sessions = []
    for _ in range(at_most):
        try:
            sessions.append(logged_in(env))
        except ftplib.error_temp as e:
            return sessions, str(e).encode()
        except (OSError, EOFError) as e:
            return sessions, repr(e).encode()
    return sessions, b""


def serves_after_closing(env, sessions, what):
    for ftp in sessions[:2]:
        ftp.quit()
    end = time.monotonic() + 10
    while True:  # a closed session's place is given back when its thread has ended
        try:
            logged_in(env).quit()
            return
        except ftplib.all_errors as e:
            if time.monotonic() > end:
                check(False, what + ": a new session after two closed: %r" % e)
                return
            time.sleep(0.1)


def logged_cap(log):
    """The cap's line of the start log; the console log is written in batches, so it may
    reach the file a moment after the port accepts."""
    end = time.monotonic() + 10
    while True:
        said = re.search(r"At most (\d+) sessions at once", open(log).read())
        if said or time.monotonic() > end:
            return said
        time.sleep(0.1)


def descriptor_cap(build_dir):
    with FtpServerEnv(build_dir, nofile_limit=NOFILE) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=1000\n[Security]\nMaxPerAddress=0\n")
        log = os.path.join(env.root, "out.log")
        env.start(stdout_path=log)
        sessions, refusal = open_until_refused(env, 200)
        said = logged_cap(log)
        check(said is not None, "the cap is logged at start")
        cap = int(said.group(1)) if said else -1
        check(len(sessions) == cap and refusal.startswith(TOO_MANY_USERS),
              "%d logged in (cap %d), then %r" % (len(sessions), cap, refusal))
        serves_after_closing(env, sessions, "descriptor cap")
        for ftp in sessions[2:]:
            ftp.close()
        check(env.proc.poll() is None, "the server lives on")


def steady_threads(pid):
    """The server's thread count once its start has made every worker (10 s at most)."""
    count, end = -1, time.monotonic() + 10
    while time.monotonic() < end:
        now = len(os.listdir("/proc/%d/task" % pid))
        if now == count:
            return now
        count = now
        time.sleep(0.5)
    return count


def threads_run_out(build_dir):
    if not os.access(PIDS_ROOT, os.W_OK):
        print("skipped: no writable pids control group at " + PIDS_ROOT)
        return
    group = os.path.join(PIDS_ROOT, "tarvona-test-%d" % os.getpid())
    os.mkdir(group)
    try:
        with FtpServerEnv(build_dir) as env:
            with open(env.prog + "option.ini", "w") as f:
                f.write("[Server]\nmaxusers=1000\n[Security]\nMaxPerAddress=0\n")
            env.start()
            with open(os.path.join(group, "cgroup.procs"), "w") as f:
                f.write(str(env.proc.pid))
            threads = steady_threads(env.proc.pid)
            with open(os.path.join(group, "pids.max"), "w") as f:
                f.write(str(threads + 3))
            clients = [socket.create_connection(("127.0.0.1", env.port), timeout=10)
                       for _ in range(10)]
            lines = [first_line(c) for c in clients]
            greeted = sum(1 for line in lines if line.startswith(b"220 "))
            check(greeted == 3 and lines.count(lines[-1]) == 7 and lines[-1].startswith(NO_ROOM),
                  "3 greeted, 7 answered for want of a thread: %r" % lines)
            for c in clients:
                c.close()
            serves_after_closing(env, [], "out of threads")
            check(env.proc.poll() is None, "the server lives on")
            with open(os.path.join(PIDS_ROOT, "cgroup.procs"), "w") as f:
                f.write(str(env.proc.pid))
    finally:
        os.rmdir(group)


def main():
    descriptor_cap(sys.argv[1])
    threads_run_out(sys.argv[1])
    return exit_status("session limit checks passed")


if __name__ == "__main__":
    sys.exit(main())
