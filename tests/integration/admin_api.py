"""The administration API on the control socket of a running tarvona-server, with curl:
every route of the server, sessions, bans, log, IP lists and options; an FTP client's
session listed and kicked; the 412 rule of option writes; bad input (malformed JSON,
huge bodies, unknown routes and methods, path traversal, header floods, slow clients,
many connections while FTP answers); a log reader that falls behind is told what it
missed; a peer of another user is refused.

    admin_api.py BUILD_DIR
"""
import ftplib
import json
import os
import socket
import subprocess
import sys
import threading
import time

from ftp_server_env import FtpServerEnv, check, exit_status, run

OPTIONS = "[Server]\nSavelog=1\n"


class Api:
    """curl over the program directory's control socket."""

    def __init__(self, env):
        self.sock = env.prog + "tarvona.sock"

    def call(self, method, path, body=None, headers=(), raw=None):
        cmd = ["curl", "-s", "-i", "--path-as-is", "-m", "20", "--unix-socket", self.sock, "-X", method]
        for h in headers:
            cmd += ["-H", h]
        if body is not None or raw is not None:
            cmd += ["-H", "Content-Type: application/json", "--data-binary",
                    raw if raw is not None else json.dumps(body)]
        result = run(cmd + ["http://localhost" + path], timeout=30)
        text = result.stdout.decode("utf-8", "replace")
        head, _, payload = text.rpartition("\r\n\r\n") if "\r\n\r\n" in text else (text, "", "")
        lines = head.split("\r\n")
        status = int(lines[0].split()[1]) if lines and lines[0].startswith("HTTP/") else 0
        fields = {k.strip().lower(): v.strip() for k, _, v in
                  (line.partition(":") for line in lines[1:])}
        try:
            data = json.loads(payload) if payload else None
        except ValueError:
            data = payload
        return status, data, fields


def raw_exchange(path, data, wait=20, trickle=None):
    """Sends `data` on a fresh connection (a byte at a time when `trickle`); gives the
    answer and the seconds until the server closed."""
    start = time.monotonic()
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(wait)
        s.connect(path)
        try:
            if trickle:
                for b in data:
                    s.send(bytes([b]))
                    time.sleep(trickle)
            else:
                s.sendall(data)
        except OSError:
            pass  # the server ended the connection: read what it said
        answer = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
        except OSError:
            pass
    return answer, time.monotonic() - start


def logged(env, text, deadline=5.0):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        status, data, _ = Api(env).call("GET", "/api/v1/log?lines=2000")
        if status == 200 and any(text in line for line in data["lines"]):
            return True
        time.sleep(0.1)
    return False


def ftp_login(env):
    ftp = ftplib.FTP(timeout=10)
    ftp.connect("127.0.0.1", env.port)
    ftp.login(env.user, env.password)
    return ftp


def server_and_stats(env, api):
    status, data, _ = api.call("GET", "/api/v1/server")
    check(status == 200 and data["listening"] and data["port"] == env.port and
          data["state"] == "running" and data["version"], "GET server: %r" % data)
    status, data, _ = api.call("PUT", "/api/v1/server", {"listening": False})
    check(status == 200 and not data["listening"], "PUT server stops listening: %r" % data)
    try:
        socket.create_connection(("127.0.0.1", env.port), timeout=2).close()
        check(False, "a stopped server refuses FTP connections")
    except OSError:
        pass
    status, data, _ = api.call("PUT", "/api/v1/server", {"listening": False})
    check(status == 200 and not data["listening"], "stopping a stopped server changes nothing")
    status, data, _ = api.call("PUT", "/api/v1/server", {"listening": True})
    check(status == 200 and data["listening"], "PUT server listens again: %r" % data)
    check(api.call("PUT", "/api/v1/server", {"listening": "yes"})[0] == 400, "wrong type: 400")
    check(logged(env, "Server stopped by the administrator (control socket)."), "stop logged")
    ftp = ftp_login(env)
    ftp.retrlines("LIST", lambda line: None)
    ftp.quit()
    time.sleep(2.2)  # two samples of the counters
    status, data, _ = api.call("GET", "/api/v1/stats")
    check(status == 200 and data["totals"]["bytesSent"] > 0 and
          data["totals"]["connections"] >= 1 and 1 <= len(data["rates"]) <= 60 and
          any(r["bytesSentPerSecond"] > 0 for r in data["rates"]), "GET stats: %r" % data)


def sessions_and_bans(env, api):
    ftp = ftp_login(env)
    status, data, _ = api.call("GET", "/api/v1/sessions")
    check(status == 200 and [s["lastCommand"] for s in data["sessions"]] == ["PASS ****"],
          "the password is masked in the session list: %r" % data)
    ftp.cwd("/")
    ftp.sendcmd("NOOP")
    status, data, _ = api.call("GET", "/api/v1/sessions")
    mine = [s for s in data["sessions"] if s["user"] == env.user] if status == 200 else []
    check(len(mine) == 1 and mine[0]["address"] == "127.0.0.1" and mine[0]["directory"] == "/"
          and mine[0]["lastCommand"] == "NOOP" and mine[0]["loginTime"] and
          mine[0]["idleSeconds"] >= 0, "GET sessions: %r" % data)
    if mine:
        sid = mine[0]["id"]
        check(api.call("DELETE", "/api/v1/sessions/%d" % sid)[0] == 200, "kick answers 200")
        check(logged(env, "Session %d (127.0.0.1, %s) kicked by the administrator (control "
                     "socket)." % (sid, env.user)), "the kick is logged with its origin")
        try:
            ftp.sendcmd("NOOP")
            ftp.sendcmd("NOOP")
            check(False, "a kicked session is closed")
        except ftplib.all_errors + (EOFError,):
            pass
        check(api.call("DELETE", "/api/v1/sessions/%d" % sid)[0] == 404, "kick twice: 404")
    check(api.call("DELETE", "/api/v1/sessions/12x")[0] == 400, "not an id: 400")
    status, data, _ = api.call("POST", "/api/v1/bans", {"address": "::ffff:10.1.2.3"})
    check(status == 201 and data["address"] == "10.1.2.3", "POST bans: %r" % data)
    check(api.call("POST", "/api/v1/bans", {"address": "10.1.2.3"})[0] == 409, "twice: 409")
    check(api.call("POST", "/api/v1/bans", {"address": "10.1.2.*"})[0] == 400, "no pattern")
    check(api.call("POST", "/api/v1/bans", {"address": "10.1.2.4", "x": 1})[0] == 400,
          "an unknown field: 400")
    status, data, _ = api.call("GET", "/api/v1/bans")
    check(status == 200 and [b["address"] for b in data["bans"]] == ["10.1.2.3"] and
          0 < data["bans"][0]["secondsLeft"] <= 3600, "GET bans: %r" % data)
    check(api.call("DELETE", "/api/v1/bans/10.1.2.3")[0] == 200, "DELETE ban lifts it")
    check(api.call("DELETE", "/api/v1/bans/10.1.2.3")[0] == 404, "lift twice: 404")
    check(logged(env, "Ban of 10.1.2.3 lifted by the administrator (control socket)."),
          "the lift is logged with its origin")
    # tarvona-admin's ban commands go through the same routes.
    check(run(env.admin_command("ban", "add", "10.7.7.7", "60")).returncode == 0, "ban add")
    check(run(env.admin_command("ban", "add", "10.7.7.7")).returncode == 1, "ban add twice")
    listed = run(env.admin_command("ban", "list")).stdout.decode()
    check(listed.startswith("10.7.7.7\t") and listed.split("\t")[3] == "1\n",
          "ban list: %r" % listed)
    check(run(env.admin_command("ban", "del", "::ffff:10.7.7.7")).returncode == 0, "ban del")


def ip_lists(env, api):
    for name in ("allow", "deny"):
        path = "/api/v1/iplists/" + name
        status, data, _ = api.call("POST", path, {"entry": "10.0.0.0/8"})
        check(status == 201 and data["entries"] == ["10.0.0.0/8"], "POST %s: %r" % (name, data))
        check(api.call("POST", path, {"entry": "10.0.0.0/8"})[0] == 409, "no entry twice")
        check(api.call("POST", path, {"entry": "10.0.0.0/33"})[0] == 400, "bad entry: 400")
        with open(env.prog + ("acceptip.txt" if name == "allow" else "rejectip.txt")) as f:
            check("10.0.0.0/8" in f.read(), "the %s list is saved" % name)
        status, data, _ = api.call("GET", path)
        check(status == 200 and data["mode"] == 0 and data["entries"] == ["10.0.0.0/8"],
              "GET %s: %r" % (name, data))
        check(api.call("DELETE", path + "?entry=10.0.0.0%2F8")[0] == 200, "DELETE an entry")
        check(api.call("DELETE", path + "?entry=10.0.0.0%2F8")[0] == 404, "DELETE twice: 404")
    check(logged(env, "10.0.0.0/8 added to the deny list by the administrator (control "
                 "socket)."), "the entry is logged with its origin")


def options(env, api):
    status, data, fields = api.call("GET", "/api/v1/options")
    etag = fields.get("etag", "")
    check(status == 200 and data["options"]["Savelog"] == 1 and etag and
          "PASS" not in data["options"], "GET options: %r %r" % (data, etag))
    status, data, fields = api.call("PUT", "/api/v1/options", {"maxusers": 7, "Port": 2121},
                                    headers=["If-Match: " + etag])
    check(status == 200 and data["applied"] == ["maxusers"] and
          data["restartNeeded"] == ["Port"] and fields.get("etag") != etag,
          "PUT options: %r" % data)
    before = open(env.prog + "option.ini").read()
    status, _, _ = api.call("PUT", "/api/v1/options", {"maxusers": 9},
                            headers=["If-Match: " + etag])
    check(status == 412 and open(env.prog + "option.ini").read() == before,
          "a stale If-Match: 412, nothing changed")
    for bad in ({"maxusers": "9"}, {"nokey": 1}, {"Port": 0}, {"defaultdir": "a\nb"},
                {"ImplicitPort": 70000}, {"BanAttempts": -1},
                {"Domains": "ftp.example.org", "Directory": "http://ca.example/dir"}):
        check(api.call("PUT", "/api/v1/options", bad)[0] == 400, "refused: %r" % bad)
    check(open(env.prog + "option.ini").read() == before, "refused writes change nothing")
    check(logged(env, "Option maxusers set to 7 by the administrator (control socket)."),
          "the option change is logged with its origin")


def log_lines_and_stream(env, api):
    status, data, _ = api.call("GET", "/api/v1/log?lines=3")
    check(status == 200 and len(data["lines"]) == 3, "GET log?lines=3: %r" % data)
    check(api.call("GET", "/api/v1/log?lines=x")[0] == 400, "lines=x: 400")
    # A reader that does not read while thousands of lines pass is told how many it missed.
    with socket.socket(socket.AF_UNIX) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.settimeout(15)
        s.connect(api.sock)
        s.sendall(b"GET /api/v1/log?follow=1 HTTP/1.1\r\nHost: x\r\n\r\n")
        time.sleep(0.3)
        ftp = ftp_login(env)
        # Two long lines each: many times what the socket's buffers hold and what the
        # ring keeps, so that the stream falls behind the ring wherever it stalls, however
        # fast the server takes its batches; and done within the 10 s a stalled reader is
        # given before it is cut off, however slow a sanitizer makes the server.
        stall_ends = time.monotonic() + 7
        for _ in range(4000):
            if time.monotonic() > stall_ends:
                break
            try:
                ftp.sendcmd("CWD " + "x" * 400)
            except ftplib.error_perm:
                pass
        ftp.quit()
        text = b""
        end = time.monotonic() + 10
        while b"event: missed" not in text and time.monotonic() < end:
            chunk = s.recv(65536)
            if not chunk:
                break
            text += chunk
    check(text.startswith(b"HTTP/1.1 200") and b"text/event-stream" in text and
          b"event: missed" in text, "a slow reader is told what it missed: %r" % text[-300:])


def bad_requests(env, api):
    status, data, _ = api.call("GET", "/api/v1/nothing")
    check(status == 404 and data == {"error": "no such resource: /api/v1/nothing"},
          "unknown route: 404 with a JSON error")
    status, data, _ = api.call("PATCH", "/api/v1/sessions", {})
    check(status == 405 and "error" in data, "wrong method: 405")
    status, data, _ = api.call("POST", "/api/v1/bans", raw='{"address": ')
    check(status == 400 and "error" in data, "malformed JSON: 400")
    check(api.call("POST", "/api/v1/bans", raw="[" * 100000)[0] == 400, "deep nesting: 400")
    for path in ("/api/v1/bans/..", "/api/v1/bans/%2e%2e", "/api/v1/bans/a%2Fb",
                 "/api/v1/bans/a%00b", "/api/v1/bans/%0a", "/api/v1/bans/%zz"):
        status, data, _ = api.call("DELETE", path)
        check(status == 400 and "error" in data, "%s: 400 (%d)" % (path, status))
    answer, _ = raw_exchange(api.sock, b"DELETE /api/v1/bans/../../etc HTTP/1.1\r\n\r\n")
    check(answer.startswith(b"HTTP/1.1 400"), "a raw ../ in the path: %r" % answer[:40])
    huge = b"POST /api/v1/bans HTTP/1.1\r\nContent-Type: application/json\r\n"
    answer, _ = raw_exchange(api.sock, huge + b"Content-Length: 2000000\r\n\r\n" + b" " * 65536)
    check(answer.startswith(b"HTTP/1.1 413") and b'"error"' in answer, "2 MB body: 413")
    answer, _ = raw_exchange(api.sock, huge + b"Transfer-Encoding: chunked\r\n\r\n" +
                             (b"100000\r\n" + b" " * 0x100000 + b"\r\n") * 2)
    check(answer.startswith(b"HTTP/1.1 413"),
          "a chunked body past the bound is cut: %r" % answer[:40])
    flood = b"GET /api/v1/server HTTP/1.1\r\n" + b"X-Flood: " + b"a" * 100 + b"\r\n"
    answer, seconds = raw_exchange(api.sock, flood * 2000)
    check(answer.startswith(b"HTTP/1.1 431") and answer.count(b"HTTP/1.1") == 1,
          "header flood: one 431, then the connection ends: %r" % answer[:60])
    slow = b"GET /api/v1/server HTTP/1.1\r\n" + b"X: y\r\n" * 60
    answer, seconds = raw_exchange(api.sock, slow, wait=30, trickle=0.05)
    check(answer.startswith(b"HTTP/1.1 408") and seconds < 13,
          "slow client cut by the deadline after %.1f s: %r" % (seconds, answer[:40]))


def many_connections(env, api):
    """Idle connections past the workers and the waiting queue get 503; FTP answers."""
    held = []
    try:
        for _ in range(100):
            s = socket.socket(socket.AF_UNIX)
            s.connect(api.sock)  # blocking: waits while the backlog is full
            held.append(s)
        ftp = ftp_login(env)
        ftp.sendcmd("NOOP")
        ftp.quit()
        busy = 0
        for s in held[-40:]:
            s.settimeout(2)
            try:
                busy += s.recv(4096).startswith(b"HTTP/1.1 503")
            except OSError:
                pass
        check(busy >= 20, "connections past the bound are answered 503 (%d of 40)" % busy)
    finally:
        for s in held:
            s.close()
    status, _, _ = api.call("GET", "/api/v1/server")
    check(status == 200, "the API answers after the flood")


def other_user_refused(env, api):
    if os.geteuid() != 0:
        print("skipped: another user's peer needs root to switch users")
        return
    os.chmod(api.sock, 0o666)  # lets the other user past the file mode, to the peer check
    os.chmod(env.root, 0o755)
    os.chmod(env.prog, 0o755)
    probe = ("import socket,sys\ns=socket.socket(socket.AF_UNIX);s.settimeout(10)\n"
             "s.connect(sys.argv[1])\ntry:\n"
             " s.sendall(b'GET /api/v1/sessions HTTP/1.1\\r\\n\\r\\n');print(s.recv(100))\n"
             "except OSError:\n print(b'')")

    def as_nobody():
        os.setgid(65534)
        os.setuid(65534)

    result = subprocess.run(["/usr/bin/python3", "-c", probe, api.sock], capture_output=True,
                            timeout=20, preexec_fn=as_nobody)
    check(result.stdout.strip() == b"b''" and not result.stderr,
          "another user's peer is closed unanswered: %r %r"
          % (result.stdout, result.stderr[-200:]))
    os.chmod(api.sock, 0o600)


def main():
    with FtpServerEnv(sys.argv[1]) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write(OPTIONS)
        env.start()
        end = time.monotonic() + 5  # the control socket opens just after the port
        while not os.path.exists(env.prog + "tarvona.sock") and time.monotonic() < end:
            time.sleep(0.05)
        api = Api(env)
        server_and_stats(env, api)
        sessions_and_bans(env, api)
        ip_lists(env, api)
        options(env, api)
        log_lines_and_stream(env, api)
        bad_requests(env, api)
        many_connections(env, api)
        other_user_refused(env, api)
    return exit_status("all administration API checks passed")


if __name__ == "__main__":
    sys.exit(main())
