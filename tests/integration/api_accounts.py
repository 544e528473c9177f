"""Accounts through the administration API of a running tarvona-server: an account made
with curl over the control socket logs in over FTP at once and a change applies to the
next login; a stale If-Match is refused; tarvona-admin's account commands go through the
socket while the server runs (logged "(control socket)") and print and exit as they do
on the files of a directory without a server.

    api_accounts.py BUILD_DIR
"""
import ftplib
import json
import os
import sys
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
    ["user", "set", "carol", "--email", "c@example.org", "--expires", "2031-02-03"],
    ["user", "set", "nobody", "--email", "x"],
    ["folder", "add", "--user", "carol", "Music", "/srv/music"],
    ["folder", "add", "--user", "carol", "music", "/srv/other"],
    ["folder", "add", "--group", "Staff", "Logs", "/var/log", "--perms", "R----L---"],
    ["folder", "del", "--user", "carol", "Nothing"],
    ["group", "set", "Staff", "--name", "Crew"],
    ["user", "show", "carol"],
    ["folder", "list", "--user", "carol"],
    ["folder", "del", "--user", "carol", "Music"],
    ["group", "del", "Crew"],
    ["user", "del", "carol"],
    ["user", "del", "carol"],
    ["user", "list"],
]


def admin_runs(env):
    results = []
    for args in ADMIN_RUNS:
        r = run(env.admin_command(*args), timeout=30)
        # The two directories differ only in their place.
        shown = [text.decode().replace(env.home, "HOME") for text in (r.stdout, r.stderr)]
        results.append((args, r.returncode, *shown))
    return results


def main():
    build_dir = sys.argv[1]
    with FtpServerEnv(build_dir) as env, FtpServerEnv(build_dir) as files:
        log_path = os.path.join(env.root, "server.log")
        env.start(stdout_path=log_path)
        check(wait_for(env.prog + "tarvona.sock"), "the control socket is there")
        served, edited = admin_runs(env), admin_runs(files)
        for (args, *seen), (_, *expected) in zip(served, edited):
            check(seen == expected, "tarvona-admin %s: %s with a server, %s without" %
                  (" ".join(args), seen, expected))
        through_curl(env)
        env.stop()
        with open(log_path, encoding="utf-8", errors="replace") as f:
            log = f.read()
        for line in ("User bob added by the administrator (control socket).",
                     "User carol added by the administrator (control socket).",
                     "Group Crew deleted by the administrator (control socket)."):
            check(line in log, "logged: " + line)
    return exit_status("api_accounts: all checks passed")


if __name__ == "__main__":
    sys.exit(main())
