"""Connection floods against the tarvona-server binary run with 256 descriptors: 2 000
connections at once that send nothing, from one address and from 127.0.0.2-51, under the
default limits, under the bound on clients not logged in, and with every limit off so that
descriptors run out. Each time the server lives on, answers or closes every connection,
logs in a client afterwards and gets back to its idle descriptor count. And a client that
never reads its replies neither delays SIGTERM nor keeps a session running past Stop.

    connection_limits.py BUILD_DIR
"""
import ftplib
import glob
import os
import re
import resource
import selectors
import socket
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status

FLOOD = 2000
NOFILE = 256
SOURCES = ["127.0.0.%d" % i for i in range(2, 52)]
TOO_MANY_FROM_ADDRESS = "421 Too many connections from your address, please try again later."
TOO_MANY_LOGGING_IN = "421 Too many clients are logging in, please try again later."
NO_ROOM = "421 No room for another session now, please try again later."


def flood(env, sources, while_open=lambda: None):
    """Opens FLOOD connections over `sources` at once and reads each one's first line ("" when
    closed without one) until all have one or 30 s have passed; then runs `while_open` and
    only then closes them."""
    selector = selectors.DefaultSelector()
    for i in range(FLOOD):
        s = socket.socket()
        s.bind((sources[i % len(sources)], 0))
        s.setblocking(False)
        s.connect_ex(("127.0.0.1", env.port))
        selector.register(s, selectors.EVENT_READ, b"")
    answers, held = [], []
    end = time.monotonic() + 30
    while len(answers) < FLOOD and time.monotonic() < end:
        for key, _ in selector.select(timeout=0.5):
            try:
                data = key.fileobj.recv(256)
            except OSError:
                data = b""
            got = key.data + data
            if data and b"\n" not in got:
                selector.modify(key.fileobj, selectors.EVENT_READ, got)
                continue
            answers.append(got.split(b"\r\n")[0].decode(errors="replace"))
            selector.unregister(key.fileobj)
            held.append(key.fileobj)
    while_open()
    for s in held + [key.fileobj for key in selector.get_map().values()]:
        s.close()
    check(len(answers) == FLOOD, "every connection answered or closed: %d" % len(answers))
    alive = env.proc.poll() is None
    check(alive, "the server survived the flood (status %s)" % env.proc.poll())
    return answers if alive else None


def logs_in(env):
    end = time.monotonic() + 15
    while env.proc.poll() is None:
        try:
            ftp = ftplib.FTP(timeout=10)
            ftp.connect("127.0.0.1", env.port)
            ftp.login(env.user, env.password)
            ftp.quit()
            return True
        except ftplib.all_errors:
            if time.monotonic() > end:
                return False
            time.sleep(0.2)
    return False


def descriptors(env):
    return len(os.listdir("/proc/%d/fd" % env.proc.pid))


def settles_to(env, idle):
    end = time.monotonic() + 15
    while descriptors(env) > idle and time.monotonic() < end:
        time.sleep(0.2)
    return descriptors(env)


def server(options, nofile=NOFILE):
    env = FtpServerEnv(sys.argv[1], nofile_limit=nofile)
    with open(env.prog + "option.ini", "w") as f:
        f.write("[Server]\nSavelog=1\n" + options)
    env.start()
    check(logs_in(env), "a login before the flood")
    time.sleep(0.5)
    return env, descriptors(env)


def after_flood(env, idle, what):
    check(logs_in(env), what + ": a login after the flood")
    left = settles_to(env, idle)
    check(left <= idle, what + ": descriptors back to %d (now %d)" % (idle, left))


def log_lines(env, pattern):
    """The log's lines that match `pattern`, waiting up to 5 s for the first: refusals are
    summed up once a second and written a moment later."""
    end = time.monotonic() + 5
    while True:
        text = ""
        for path in glob.glob(env.prog + "log/*.txt"):
            with open(path, "rb") as f:
                text += f.read().decode(errors="replace")
        found = [line for line in text.splitlines() if re.search(pattern, line)]
        if found or time.monotonic() > end:
            return found
        time.sleep(0.2)


def default_limits():
    env, idle = server("")
    with env:
        answers = flood(env, ["127.0.0.1"])
        if answers is None:
            return
        check(answers.count("220 Welcome to Tarvona FTP Server!") <= 10, "at most MaxPerAddress")
        check(answers.count(TOO_MANY_FROM_ADDRESS) > FLOOD / 2, "refused for the address")
        after_flood(env, idle, "one address")
        answers = flood(env, SOURCES)
        if answers is None:
            return
        check(answers.count("220 Welcome to Tarvona FTP Server!") <= 20, "at most maxusers")
        after_flood(env, idle, "50 addresses")
        refusals = log_lines(env, r"Refused \d+ connections")
        # At most one summary a second, not one line per connection.
        check(0 < len(refusals) < 40, "refusals summed up: %d lines" % len(refusals))


def not_logged_in_bound():
    # 1024 descriptors serve 338 users (the server caps maxusers to its limit), more
    # than the bound on clients logging in.
    env, idle = server("maxusers=100000\n[Security]\nMaxPerAddress=0\nMaxNotLoggedIn=50\n", 1024)
    with env:
        answers = flood(env, SOURCES)
        if answers is None:
            return
        check(answers.count("220 Welcome to Tarvona FTP Server!") <= 50, "at most MaxNotLoggedIn")
        check(answers.count(TOO_MANY_LOGGING_IN) > FLOOD / 2, "refused while logging in")
        after_flood(env, idle, "not logged in")


def answered_at_once(env):
    late = socket.create_connection(("127.0.0.1", env.port), timeout=5)
    try:
        return late.recv(256) in (b"", NO_ROOM.encode() + b"\r\n")
    except OSError:  # a time-out: left waiting in the backlog
        return False
    finally:
        late.close()


def descriptors_run_out():
    # The server caps maxusers to what its open-file limit serves at start; a limit
    # lowered afterwards is what can still run it out of descriptors.
    env, idle = server("maxusers=100000\n[Security]\nMaxPerAddress=0\nMaxNotLoggedIn=0\n", 4096)
    resource.prlimit(env.proc.pid, resource.RLIMIT_NOFILE, (NOFILE, NOFILE))
    with env:
        worker = ftplib.FTP(timeout=10)
        worker.connect("127.0.0.1", env.port)
        worker.login(env.user, env.password)
        # Once before the flood: a sanitizer build needs a descriptor (a pipe) the first
        # time it checks an object's type, and would report a false error without one.
        worker.sendcmd("PASV")

        def at_the_limit():
            # The flood left the server its last descriptor or none; the passive socket
            # takes what is left, so the next connection finds none to be accepted with.
            try:
                worker.sendcmd("PASV")
            except ftplib.all_errors as e:
                check(False, "a logged-in session goes on at the limit: %r" % e)
                return
            check(answered_at_once(env),
                  "at the limit a connection is answered and closed, not left waiting")

        answers = flood(env, SOURCES, at_the_limit)
        worker.close()
        if answers is None:
            return
        greeted = answers.count("220 Welcome to Tarvona FTP Server!")
        check(0 < greeted < NOFILE, "greeted while descriptors lasted: %d" % greeted)
        check(answers.count(NO_ROOM) > 0, "refused for want of descriptors with a reply: %d "
              "answered, %d closed silently" % (answers.count(NO_ROOM), answers.count("")))
        after_flood(env, idle, "out of descriptors")
        # Out of descriptors at accept (closed by the reserve) or at the session's loop.
        why = log_lines(env, r"Refused \d+ connections: .*(descriptor limit|Too many open files)")
        check(why, "the log says why connections were refused")


def stop_with_unread_replies():
    env, _ = server("")
    with env:
        client = socket.create_connection(("127.0.0.1", env.port))
        client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        client.settimeout(1)
        try:
            for _ in range(1000):  # until the server's replies fill every buffer
                client.sendall(b"NOOP\r\n" * 10000)
        except OSError:
            pass
        time.sleep(0.5)
        start = time.monotonic()
        proc = env.proc
        env.stop()  # also fails on a sanitizer report
        took = time.monotonic() - start
        check(proc.returncode == 0 and took < 3,
              "SIGTERM with a reply waiting: status %s after %.1f s" % (proc.returncode, took))
        client.close()


def main():
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    default_limits()
    not_logged_in_bound()
    descriptors_run_out()
    stop_with_unread_replies()
    return exit_status("all connection-limit checks passed")


if __name__ == "__main__":
    sys.exit(main())
