"""A client that pipelines transfer commands without ever opening their data
connections, against the tarvona-server binary: the server stays up, holds only a
bounded part of what is pipelined behind a waiting transfer, answers every aborted
wait in order, answers an ABOR sent as urgent data, and serves another client
(ftplib) meanwhile.

    pipelined_waits.py BUILD_DIR
"""
import ftplib
import socket
import sys
import threading
import time

from ftp_server_env import FtpServerEnv, check, exit_status, write

ROUNDS = 10000


def rounds(extra):
    lines = []
    for i in range(ROUNDS):
        lines.append("PASV\r\n" + ("RETR f\r\n" if i % 2 else "LIST\r\n") + extra)
    return "".join(lines).encode()


def logged_in(env):
    s = socket.create_connection(("127.0.0.1", env.port), timeout=20)
    reader = s.makefile("rb")
    s.sendall(b"USER %s\r\nPASS %s\r\n" % (env.user.encode(), env.password.encode()))
    for _ in range(3):  # greeting, 331, 230
        reader.readline()
    return s, reader


def send_in_background(sock, data):
    def send():
        try:
            sock.sendall(data)
        except OSError:
            pass  # the server closed the connection at the end of the test
    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    return sender


def other_client_works(env, what):
    with ftplib.FTP() as ftp:
        ftp.connect("127.0.0.1", env.port, timeout=20)
        ftp.login(env.user, env.password)
        check(ftp.nlst() == ["f"], what + ": another client lists the home")


def count_replies(sock, reader, seconds):
    """Reads replies for `seconds` (as the attacker who waits for each 150 does)."""
    count = 0
    sock.settimeout(seconds)
    end = time.monotonic() + seconds
    try:
        while time.monotonic() < end and reader.readline():
            count += 1
    except OSError:
        pass
    return count


def never_connecting_client(env):
    s, reader = logged_in(env)
    send_in_background(s, rounds(""))
    # Only the first PASV and LIST answer; the rest waits behind the LIST's wait (which
    # lets nothing run inside it, so nothing nests).
    check(count_replies(s, reader, 3) == 2, "only the first PASV and LIST answered")
    other_client_works(env, "during the first wait")
    check(env.proc.poll() is None, "server alive with a burst queued behind a wait")
    s.close()


def aborting_client(env):
    s, reader = logged_in(env)
    sender = send_in_background(s, rounds("ABOR\r\n"))
    started = time.monotonic()
    for i in range(ROUNDS):
        got = [reader.readline().rstrip(b"\r\n") for _ in range(4)]
        if not (got[0].startswith(b"227 ") and got[1].startswith(b"150 ") and
                got[2] == b"426 Data connection closed." and
                got[3] == b"226 ABOR command successful."):
            check(False, "round %d answered %r" % (i, got))
            break
    sender.join(30)
    print("%d aborted waits in %.1f s" % (ROUNDS, time.monotonic() - started))
    other_client_works(env, "after the aborted waits")
    s.close()


def urgent_abort(env):
    """ftplib's abort() sends its line as TCP urgent data; it must end the wait."""
    with ftplib.FTP() as ftp:
        ftp.connect("127.0.0.1", env.port, timeout=5)
        ftp.login(env.user, env.password)
        ftp.sendcmd("PASV")
        ftp.putcmd("RETR f")  # waits for a data connection that never comes
        check(ftp.getresp().startswith("150"), "the download waits for its connection")
        started = time.monotonic()
        try:
            replies = [ftp.abort(), ftp.getresp()]
        except (ftplib.Error, OSError) as e:
            replies = ["no answer: %s" % e]
        check([r[:3] for r in replies] == ["426", "226"], "urgent ABOR answered: %r" % replies)
        check(time.monotonic() - started < 3, "urgent ABOR answered at once")
        check(ftp.sendcmd("NOOP").startswith("200"), "the session goes on after it")


def main():
    with FtpServerEnv(sys.argv[1]) as env:
        write(env.path("f"), b"0123456789")
        env.start()
        never_connecting_client(env)
        aborting_client(env)
        urgent_abort(env)
        check(env.proc.poll() is None, "server alive at the end")
        proc = env.proc
        env.stop()
        check(proc.returncode == 0, "server ended cleanly (status %s)" % proc.returncode)
    return exit_status("all pipelined-wait checks passed")


if __name__ == "__main__":
    sys.exit(main())
