"""A private tarvona-server with one account, for tests and benchmarks that drive
real FTP clients. Standard library only."""
import os
import random
import shutil
import signal
import socket
import subprocess
import tempfile
import time


def free_port():
    """A free port below the kernel's range of client ports. A port from that range can
    become a client's own port while the server is still starting; a connect to it then
    meets itself (a loopback self-connection), holds the port and keeps the server from
    binding it."""
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            low = int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        low = 32768
    for _ in range(500):
        port = random.randrange(max(1024, low - 12000), low)
        with socket.socket() as s:
            # As the server binds: a closed connection's TIME_WAIT does not hold the port.
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free port below %d" % low)


def wait_for_port(port, deadline=10.0):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def loopback_addresses():
    """127.0.0.1, and ::1 where this machine has it: test servers stay off the network."""
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as probe:
            probe.bind(("::1", 0))
        return ["127.0.0.1", "::1"]
    except OSError:
        return ["127.0.0.1"]


# First lines of the reports of the sanitizers the test builds use.
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "WARNING: ThreadSanitizer")


class FtpServerEnv:
    """Program directory, home directory, account and running server."""

    def __init__(self, build_dir, user="alice", password="secret", admin_args=(),
                 fsize_limit=None, nofile_limit=None, quiet=True):
        self.build_dir = build_dir
        self.root = tempfile.mkdtemp(prefix="tarvona-it-")
        self.prog = os.path.join(self.root, "prog") + "/"
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.prog)
        os.makedirs(self.home)
        self.user, self.password = user, password
        self.port = free_port()
        self.admin("user", "add", user, "--password", password, "--home", self.home,
                   "--perms", "RWDRALCRR", *admin_args)
        self.proc = None
        self.fsize_limit = fsize_limit
        self.nofile_limit = nofile_limit
        self.quiet = quiet

    def admin_command(self, *args):
        return [os.path.join(self.build_dir, "app", "tarvona-admin"), "--dir", self.prog, *args]

    def admin(self, *args):
        subprocess.run(self.admin_command(*args), check=True, stdout=subprocess.DEVNULL)

    def start(self, stdout_path=None, wrapper=(), env=None, wait=True, port_argument=True):
        """`stdout_path`: where the server's standard output goes (else nowhere when quiet);
        `wrapper`: a command that runs the server (prlimit ...); `env`: variables added to
        the server's environment; `wait`: return only once the port accepts;
        `port_argument`: False when option.ini's Port names self.port instead of --port."""
        cmd = [*wrapper, os.path.join(self.build_dir, "app", "tarvona-server"), "--dir", self.prog,
               *(["--port", str(self.port)] if port_argument else []),
               "--listen", ",".join(loopback_addresses())]
        limit, nofile = self.fsize_limit, self.nofile_limit

        def child_setup():
            import resource
            if limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
                # A write past the limit must fail with EFBIG, not kill the server.
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            if nofile is not None:
                resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))

        out = subprocess.DEVNULL if self.quiet else None
        # Kept even when quiet: a sanitizer's report inside the server lands here and
        # fails the script at stop().
        self.stderr_path = os.path.join(self.root, "server-stderr-%d.log" % self.port)
        with open(self.stderr_path, "ab") as err, open(stdout_path or os.devnull, "ab") as kept:
            self.proc = subprocess.Popen(cmd, stdout=kept if stdout_path else out,
                                         stderr=err if self.quiet else None,
                                         preexec_fn=child_setup,
                                         env={**os.environ, **(env or {})})
        if wait and not wait_for_port(self.port):
            raise RuntimeError("tarvona-server did not start")
        return self

    def stop(self):
        if self.proc is not None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
            self.proc = None
            self.check_stderr()

    def check_stderr(self):
        if not self.quiet or not os.path.exists(self.stderr_path):
            return
        with open(self.stderr_path, "rb") as f:
            text = f.read().decode(errors="replace")
        reports = [line for line in text.splitlines() if any(m in line for m in SANITIZER_MARKS)]
        check(not reports, "tarvona-server reported: " + " | ".join(reports[:3]))
        if reports:
            print(text[-4000:])

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    # `with FtpServerEnv(...) as env:` stops the server and removes its files however
    # the block ends.
    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.cleanup()

    def path(self, name):
        return os.path.join(self.home, name)

    def url(self, name=""):
        return "ftp://%s:%s@127.0.0.1:%d/%s" % (self.user, self.password, self.port, name)


# What the client scripts share: a failure list, test data and small file helpers.
FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL:", what)


def exit_status(passed):
    """A script's exit status: 1 after any failed check, else 0 with the line `passed`."""
    if FAILURES:
        print("%d failure(s)" % len(FAILURES))
        return 1
    print(passed)
    return 0


def url_host(host):
    """`host` as a URL names it: an IPv6 address in brackets."""
    return "[%s]" % host if ":" in host else host


def tag_of(client, host):
    """A name for what `client` does over `host`, for check messages and file names."""
    return "%s-%s" % (client, "v6" if ":" in host else "v4")


def pattern(size, salt=0):
    return bytes((i * 7 + i // 251 + salt) % 251 for i in range(size))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run(cmd, timeout=90, **kw):
    return subprocess.run(cmd, capture_output=True, timeout=timeout, **kw)


def lftp(env, host, settings, commands, debug=True, port=None):
    """Runs an lftp script: the `settings` lines, a login to `env` over `host` (a name,
    or a URL such as ftps://127.0.0.1) on `port` (default env.port), the `commands`, bye.
    With `debug` (-d) the protocol dialogue is on standard error."""
    script = "\n".join([*settings,
                        "open -u %s,%s -p %d %s" % (env.user, env.password, port or env.port,
                                                    host),
                        *commands, "bye", ""])
    return run(["lftp", *(["-d"] if debug else []), "-f", "/dev/stdin"], input=script.encode())
