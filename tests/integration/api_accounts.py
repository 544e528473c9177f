"""Accounts through the administration API of a running tarvona-server: an account made
with curl over the control socket logs in over FTP at once and a change applies to the
next login; a stale If-Match is refused; tarvona-admin's account and IP commands go
through the socket while the server runs (logged "(control socket)") and print and exit
as they do on the files of a directory without a server; its update made stale by
another writer between its read and its write is refused and changes nothing.

    api_accounts.py BUILD_DIR
"""
import ftplib
import json
import os
import socket
import sys
import threading
import time

from ftp_server_env import FtpServerEnv, check, exit_status, run


def curl(env, method, path, body=None, if_match=None):
    """(status, JSON answer or None, ETag) of one request over the control socket."""
    cmd = ["curl", "-sS", "--max-time", "20", "--unix-socket", env.prog + "tarvona.sock",
           "-X", method, "-D", "-", "http://localhost" + path]
    if body is not None:
        cmd += ["-H", "Content-Type: application/json", "--data-binary", json.dumps(body)]
    if if_match:
        cmd += ["-H", "If-Match: " + if_match]
    out = run(cmd, timeout=30).stdout.decode(errors="replace")
    head, _, text = out.partition("\r\n\r\n")
    lines = head.split("\r\n")
    status = int(lines[0].split()[1]) if lines[0].startswith("HTTP/") else 0
    etag = next((l.split(":", 1)[1].strip() for l in lines if l.lower().startswith("etag:")), "")
    return status, json.loads(text) if text.strip() else None, etag


def logs_in(env, user, password):
    ftp = ftplib.FTP()
    try:
        ftp.connect("127.0.0.1", env.port, timeout=10)
        ftp.login(user, password)
        return ftp.pwd() == "/"
    except ftplib.error_perm:
        return False
    finally:
        ftp.close()


def wait_for(path, deadline=10.0):
    end = time.monotonic() + deadline
    while time.monotonic() < end and not os.path.exists(path):
        time.sleep(0.05)
    return os.path.exists(path)


def through_curl(env):
    status, made, etag = curl(env, "POST", "/api/v1/users",
                              {"userid": "bob", "password": "pw", "homedir": env.home})
    check(status == 201 and made.get("userid") == "bob", "POST user: %s %s" % (status, made))
    check(logs_in(env, "bob", "pw"), "an account made through the API logs in at once")
    status, _, newer = curl(env, "PATCH", "/api/v1/users/bob", {"status": 0}, etag)
    check(status == 200 and newer != etag, "PATCH with the current ETag: %s" % status)
    check(not logs_in(env, "bob", "pw"), "a disabled account is refused at the next login")
    status, answer, _ = curl(env, "PATCH", "/api/v1/users/bob", {"status": 1}, etag)
    check(status == 412 and "error" in answer, "a stale If-Match: %s %s" % (status, answer))
    check(not logs_in(env, "bob", "pw"), "a refused change changes nothing")


# tarvona-admin commands whose output and status must not depend on a server running.
ADMIN_RUNS = [
    ["group", "add", "Staff", "--notes", "n"],
    ["group", "add", "Staff"],
    ["user", "add", "carol", "--password", "pw", "--home", "/srv/carol", "--groups", "Staff"],
    ["user", "add", "carol", "--password", "pw", "--home", "/srv/carol"],
    ["user", "add", "dave", "--password", "pw", "--home", "/srv/d", "--groups", "Nobody"],
    ["user", "set", "carol", "--email", "c@example.org", "--expires", "2031-02-03",
     "--perms", "rw---l---"],
    ["user", "set", "nobody", "--email", "x"],
    ["folder", "add", "--user", "carol", "Music", "/srv/music"],
    ["folder", "add", "--user", "carol", "music", "/srv/other"],
    ["folder", "add", "--group", "Staff", "Logs", "/var/log", "--perms", "r----l---"],
    ["folder", "del", "--user", "carol", "Nothing"],
    ["group", "set", "Staff", "--name", "Crew"],
    ["user", "show", "carol"],
    ["folder", "list", "--user", "carol"],
    ["folder", "del", "--user", "carol", "Music"],
    ["group", "del", "Crew"],
    ["user", "del", "carol"],
    ["user", "del", "carol"],
    ["user", "add", "eve", "--password", "pw", "--home", "/srv/e", "--expires", "2020-01-01"],
    ["expire"],
    ["expire"],
    ["user", "list"],
    ["group", "list"],
    ["ip", "add", "deny", "10.9.0.0/16"],
    ["ip", "add", "deny", "10.9.0.0/16"],
    ["ip", "add", "deny", "192.168.*.*"],
    ["ip", "del", "deny", "192.168.*.*"],
    ["ip", "del", "deny", "10.8.0.0/16"],
    ["ip", "list", "deny"],
]


def shown(text, home):
    """The output with what may differ between two directories made alike replaced: their
    place, and the password, which a server never shows."""
    lines = text.decode().replace(home, "HOME").split("\n")
    return "\n".join("password: ..." if l.startswith("password: ") else l for l in lines)


def admin_runs(env, runner=None):
    """(args, status, stdout, stderr) of ADMIN_RUNS, each run by `runner` (else with --dir)."""
    runner = runner or (lambda args: run(env.admin_command(*args), timeout=30))
    results = []
    for args in ADMIN_RUNS:
        r = runner(args)
        results.append((args, r.returncode, shown(r.stdout, env.home), shown(r.stderr, env.home)))
    return results


def compare_runs(served, edited, how):
    for (args, *seen), (_, *expected) in zip(served, edited):
        check(seen == expected, "tarvona-admin %s: %s %s, %s on the files" %
              (" ".join(args), seen, how, expected))


class RacingSocket:
    """A control socket in `proxy_dir` that passes requests on to `env`'s server, but lets
    `race()` change the account first when a PATCH comes: tarvona-admin's update then
    carries a stale version."""

    def __init__(self, env, proxy_dir, race):
        self.env, self.race = env, race
        self.path = os.path.join(proxy_dir, "tarvona.sock")
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(self.path)
        self.listener.listen(8)
        self.listener.settimeout(30)
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        try:
            while True:
                client = self.listener.accept()[0]
                threading.Thread(target=self.pass_on, args=(client,), daemon=True).start()
        except OSError:
            pass

    def pass_on(self, client):
        with client, socket.socket(socket.AF_UNIX) as server:
            client.settimeout(20)
            server.settimeout(20)
            server.connect(self.env.prog + "tarvona.sock")
            first = client.recv(65536)
            if first.startswith(b"PATCH "):
                self.race()
            server.sendall(first)
            threading.Thread(target=pump, args=(client, server), daemon=True).start()
            pump(server, client)

    def close(self):
        self.listener.close()


def pump(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    try:
        sink.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def stale_update_refused(env):
    proxy_dir = os.path.join(env.root, "proxy") + "/"
    os.makedirs(proxy_dir)
    curl(env, "POST", "/api/v1/groups", {"name": "Team"})
    for args, path, field in ((["user", "set", "alice", "--email", "mine"], "users/alice", "email"),
                              (["group", "set", "Team", "--notes", "mine"], "groups/Team",
                               "notes")):
        path = "/api/v1/" + path
        racer = lambda: curl(env, "PATCH", path, {field: "other"})
        proxy = RacingSocket(env, proxy_dir, racer)
        try:
            r = run([env.admin_command()[0], "--dir", proxy_dir, *args], timeout=30)
        finally:
            proxy.close()
            os.unlink(proxy.path)
        _, stored, _ = curl(env, "GET", path)
        check(r.returncode == 1 and r.stderr,
              "a stale %s is refused: %d %s" % (" ".join(args[:2]), r.returncode, r.stderr.decode()))
        check(stored and stored.get(field) == "other",
              "the refused %s changed nothing: %s" % (" ".join(args[:2]), stored))

def main():
    build_dir = sys.argv[1]
    with FtpServerEnv(build_dir) as env, FtpServerEnv(build_dir) as files:
        log_path = os.path.join(env.root, "server.log")
        env.start(stdout_path=log_path)
        check(wait_for(env.prog + "tarvona.sock"), "the control socket is there")
        compare_runs(admin_runs(env), admin_runs(files), "through the control socket")
        through_curl(env)
        stale_update_refused(env)
        env.stop()
        with open(log_path, encoding="utf-8", errors="replace") as f:
            log = f.read()
        for line in ("User bob added by the administrator (control socket).",
                     "User carol added by the administrator (control socket).",
                     "Group Crew deleted by the administrator (control socket).",
                     "User eve changed by the administrator (control socket).",
                     "10.9.0.0/16 added to the deny list by the administrator (control socket)."):
            check(line in log, "logged: " + line)
    return exit_status("api_accounts: all checks passed")


if __name__ == "__main__":
    sys.exit(main())
