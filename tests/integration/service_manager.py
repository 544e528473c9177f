"""tarvona-server as a service manager sees it: the notify protocol on a real datagram
socket (READY=1 only once the port accepts, STATUS= with the session count, WATCHDOG=1 at
half of WATCHDOG_USEC, STOPPING=1 at SIGTERM), the open-file limit raised from 1024 to the
hard limit, a maxusers the limit cannot serve capped with one log line, and the reason of
a bind that a user without privilege may not make, in the log and the status line; and
standard output as the journal's stream (JOURNAL_STREAM): each line with its priority
and without its own stamp, while the daily file and any other output keep the stamp.

    service_manager.py BUILD_DIR
"""
import ftplib
import glob
import os
import socket
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status, run

BANNER = b"220 Welcome to Tarvona FTP Server!"


class NotifySocket:
    """The socket a service manager gives a service in NOTIFY_SOCKET."""

    def __init__(self, directory):
        self.path = os.path.join(directory, "notify")
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(self.path)
        self.messages = []

    def wait_for(self, prefix, deadline=20.0, after=None):
        """Receives until a message holds a line starting with `prefix`; runs `after` at
        once when it comes. The line, or None at the deadline."""
        end = time.monotonic() + deadline
        while time.monotonic() < end:
            self.sock.settimeout(max(0.01, end - time.monotonic()))
            try:
                data = self.sock.recv(4096).decode()
            except socket.timeout:
                break
            outcome = after() if after and any(
                line.startswith(prefix) for line in data.split("\n")) else None
            self.messages.append(data)
            for line in data.split("\n"):
                if line.startswith(prefix):
                    return line, outcome
        return None, None


def port_accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def soft_nofile(pid):
    with open("/proc/%d/limits" % pid) as f:
        for line in f:
            if line.startswith("Max open files"):
                return int(line.split()[3])
    return None


def readiness_and_limits(build_dir):
    with FtpServerEnv(build_dir) as env:
        notify = NotifySocket(env.root)
        log = os.path.join(env.root, "out.log")
        env.start(stdout_path=log, wrapper=("prlimit", "--nofile=1024:4096", "--"), wait=False,
                  env={"NOTIFY_SOCKET": notify.path, "WATCHDOG_USEC": "400000"})
        ready, accepted = notify.wait_for("READY=1", after=lambda: port_accepts(env.port))
        check(ready is not None and accepted, "READY=1 once the port accepts: %r" % accepted)
        status, _ = notify.wait_for("STATUS=")
        check(status is not None and "0 sessions" in status, "status line: %r" % status)
        check(notify.wait_for("WATCHDOG=1", deadline=2)[0] is not None, "the watchdog is fed")
        with socket.create_connection(("127.0.0.1", env.port), timeout=5) as client:
            client.recv(200)
            status, _ = notify.wait_for("STATUS=Serving port %d: 1 session." % env.port, 5)
            check(status is not None, "the status follows the sessions: %r" % notify.messages[-3:])
        check(soft_nofile(env.proc.pid) == 4096, "soft open-file limit %r" %
              soft_nofile(env.proc.pid))
        env.proc.send_signal(15)
        check(notify.wait_for("STOPPING=1")[0] is not None, "STOPPING=1 at SIGTERM")
        env.stop()
        text = open(log).read()
        check("Open-file limit raised from 1024 to the hard limit 4096." in text,
              "the raise is logged: %s" % text[-600:])


def maxusers_beyond_the_limit(build_dir):
    """1024 descriptors serve (1024 - 64 - 256) * 64 / (2 * 64 + 5) = 338 users (two each,
    and five more for one in 64 transferring), whatever maxusers says."""
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nmaxusers=2500\n[Security]\nMaxPerAddress=0\nMaxNotLoggedIn=0\n")
        log = os.path.join(env.root, "out.log")
        env.start(stdout_path=log, wrapper=("prlimit", "--nofile=1024:1024", "--"))
        clients, firsts = [], []
        for _ in range(339):
            c = socket.create_connection(("127.0.0.1", env.port), timeout=10)
            clients.append(c)
            firsts.append(c.recv(200))
        served = sum(1 for line in firsts if line.startswith(BANNER))
        check(served == 338 and firsts[-1].startswith(b"421 Too many users"),
              "338 served, the 339th refused: %d, %r" % (served, firsts[-1]))
        for c in clients:
            c.close()
        env.stop()
        lines = [l for l in open(log) if "Lower maxusers" in l]
        check(len(lines) == 1 and "maxusers is 2500" in lines[0] and "at most 338" in lines[0],
              "one line says what to change: %r" % lines)


def privileged_port_refused(build_dir):
    with open("/proc/sys/net/ipv4/ip_unprivileged_port_start") as f:
        if int(f.read()) <= 21:
            print("skipped: this system lets every user bind port 21")
            return
    if os.getuid() != 0:
        print("skipped: dropping to another user for the port 21 test needs root")
        return
    with FtpServerEnv(build_dir) as env:
        os.chmod(env.root, 0o711)
        run(["chown", "-R", "65534:65534", env.prog], check=True)
        notify = NotifySocket(env.root)
        os.chmod(notify.path, 0o666)
        result = run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                      os.path.join(build_dir, "app", "tarvona-server"), "--dir", env.prog,
                      "--port", "21", "--listen", "127.0.0.1"], timeout=30,
                     env={**os.environ, "NOTIFY_SOCKET": notify.path})
        out = result.stdout.decode(errors="replace")
        reason = ("Server cannot run on port 21. Permission denied: ports below 1024 need root "
                  "or CAP_NET_BIND_SERVICE.")
        check(result.returncode == 1 and reason in out,
              "the reason of a refused privileged port: %d %s" % (result.returncode, out[-400:]))
        status, _ = notify.wait_for("STATUS=", deadline=2)
        check(status == "STATUS=" + reason, "the service manager is told why: %r" % status)


def journal_stream_of(path):
    st = os.stat(path)
    return {"JOURNAL_STREAM": "%d:%d" % (st.st_dev, st.st_ino)}


def journal_priorities(build_dir):
    with FtpServerEnv(build_dir) as env:
        # A certificate that runs out in 10 days: a warning at start.
        made = run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=localhost", "-days", "10",
                    "-keyout", env.prog + "short-key.pem", "-out", env.prog + "short-cert.pem"])
        check(made.returncode == 0, "openssl req: %r" % made.stderr)
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nSavelog=1\n[Security]\nFailDelay=0\n"
                    "[TLS]\nCertificateFile=short-cert.pem\nKeyFile=short-key.pem\n")
        out = os.path.join(env.root, "journal.log")
        open(out, "w").close()
        env.start(stdout_path=out, env=journal_stream_of(out))
        with ftplib.FTP() as ftp:
            ftp.connect("127.0.0.1", env.port, timeout=10)
            try:
                ftp.login(env.user, "wrong")
            except ftplib.error_perm:
                pass
        time.sleep(0.3)  # no flush timer to wait for: the line is there at once
        lines = open(out).read().splitlines()
        env.stop()
        expiry = [l for l in lines if l.startswith(("<4>TLS certificate expires in 9 days (",
                                                    "<4>TLS certificate expires in 10 days ("))]
        check(len(expiry) == 1 and expiry[0].endswith(" UTC); replace it or let ACME renew it."),
              "one warning of the certificate's end at start: %r" % lines)
        check('<4>Login failed from 127.0.0.1 for user "alice".' in lines and
              "<6>Server is running on port %d." % env.port in lines and
              all(l.startswith(("<3>", "<4>", "<6>")) for l in lines),
              "journal lines with priorities and no stamp: %r" % lines)
        saved = "".join(open(p).read() for p in glob.glob(env.prog + "log/*.txt"))
        check('  Login failed from 127.0.0.1 for user "alice".' in saved and
              saved.startswith("["), "the daily file keeps its stamp: %r" % saved[:200])
        # A port taken: the start failure is an error; an output that is not the stream
        # JOURNAL_STREAM names (a redirect inherits it) keeps the stamp.
        with socket.socket(socket.AF_INET6) as holder:
            holder.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
            holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # after TIME_WAIT
            holder.bind(("::", env.port))
            holder.listen()
            other = os.path.join(env.root, "other.log")
            open(other, "w").close()
            for variable, expected in ((journal_stream_of(out), "<3>Server cannot run"),
                                       (journal_stream_of(other), "]  Server cannot run")):
                open(out, "w").close()
                env.start(stdout_path=out, env=variable, wait=False)
                code = env.proc.wait(timeout=30)
                env.proc = None
                text = open(out).read()
                check(code == 1 and expected + " on port %d. Address already in use." %
                      env.port in text, "start failure %r: %d %r" % (expected, code, text))


def main():
    journal_priorities(sys.argv[1])
    readiness_and_limits(sys.argv[1])
    maxusers_beyond_the_limit(sys.argv[1])
    privileged_port_refused(sys.argv[1])
    return exit_status("service manager and descriptor limits: passed")


if __name__ == "__main__":
    sys.exit(main())
