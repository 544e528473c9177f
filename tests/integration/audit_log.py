"""The JSON audit log ([Log] Json=1) of real ftplib sessions: logins, transfers, deletions,
renames, directory changes, a ban and an administrator's action, with file names holding
quotes, braces, control bytes and bytes that are not UTF-8, and a user name holding a line
feed and a backslash. Every line of log/*.jsonl must parse back as one JSON object.
Standard library only."""
import ftplib
import glob
import io
import json
import os
import re
import socket
import subprocess
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status

# Sent as latin-1, so each character is one byte: \xff\xfe is not UTF-8. (The server
# reads a backslash in a path as "/", and refuses line breaks in names.)
HOSTILE = 'q"uo}te\x01\x1f\x7f\xff\xfe\xe9'
# A user name may hold what a file name may not: a lone line feed and a backslash.
HOSTILE_USER = b'ev"il\\\n{"x":1}\x00'.replace(b"\x00", b"\xff")


def hostile_session(env):
    ftp = ftplib.FTP(encoding="latin-1")
    ftp.connect("127.0.0.1", env.port, timeout=10)
    ftp.login(env.user, env.password)
    ftp.storbinary("STOR " + HOSTILE, io.BytesIO(b"x" * 1000))
    ftp.retrbinary("RETR " + HOSTILE, lambda block: None)
    ftp.mkd("dir " + HOSTILE)
    ftp.cwd("dir " + HOSTILE)
    ftp.cwd("/")
    ftp.rename(HOSTILE, HOSTILE + ".2")
    ftp.delete(HOSTILE + ".2")
    ftp.rmd("dir " + HOSTILE)
    ftp.quit()


def line_feed_user(env):
    """A lone LF inside a user name (ftplib refuses to send one): raw bytes."""
    with socket.create_connection(("127.0.0.1", env.port), timeout=10) as s:
        f = s.makefile("rb")
        f.readline()
        for line in (b"USER " + HOSTILE_USER, b"PASS x", b"QUIT"):
            s.sendall(line + b"\r\n")
            f.readline()


def failed_logins_ban(env):
    """With the refused login of line_feed_user, this one reaches BanAttempts=2."""
    ftp = ftplib.FTP()
    try:
        ftp.connect("127.0.0.1", env.port, timeout=10)
        ftp.login(env.user, "wrong")
    except ftplib.all_errors:
        pass
    ftp.close()


def read_events(env):
    events = []
    files = glob.glob(os.path.join(env.prog, "log", "*.jsonl"))
    check(len(files) == 1, "one audit file beside the daily log: %r" % files)
    for path in files:
        check(os.stat(path).st_mode & 0o077 == 0, "the audit file is the owner's alone")
        with open(path, "rb") as f:
            for number, raw in enumerate(f.read().split(b"\n")[:-1], 1):
                try:
                    events.append(json.loads(raw.decode("utf-8")))
                except ValueError as e:
                    check(False, "line %d is not JSON (%s): %r" % (number, e, raw[:200]))
    return events


def main():
    with FtpServerEnv(sys.argv[1]) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Log]\nJson=1\n[Security]\nBanAttempts=2\nFailDelay=0\n")
        env.start()
        hostile_session(env)
        line_feed_user(env)
        subprocess.run(env.admin_command("ban", "add", "192.0.2.9", "60"),
                       capture_output=True, timeout=30)
        failed_logins_ban(env)
        time.sleep(0.5)  # the last session's logout is written as its thread ends
        env.stop()
        events = read_events(env)
        kinds = [e.get("event") for e in events]
        for kind in ("login", "logout", "transfer", "delete", "rename", "directory_change",
                     "remove_directory", "ban", "admin"):
            check(kind in kinds, "a %s event: %r" % (kind, sorted(set(kinds))))
        rfc3339 = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
        check(all(rfc3339.match(e.get("time", "")) for e in events), "RFC 3339 times")
        shown = HOSTILE.encode("latin-1").decode("utf-8", "replace")
        transfers = [e for e in events if e["event"] == "transfer"]
        check(len(transfers) == 2 and all(e["path"].endswith("/" + shown) for e in transfers),
              "transfers name the hostile file: %r" % transfers)
        check([(e["direction"], e["bytes"], e["result"], e["tls"]) for e in transfers] ==
              [("upload", 1000, "ok", False), ("download", 1000, "ok", False)],
              "transfer facts: %r" % transfers)
        renames = [e for e in events if e["event"] == "rename"]
        check(renames and renames[0]["target"].endswith("/" + shown + ".2"), "rename target")
        removed = [e["path"] for e in events if e["event"] == "remove_directory"]
        check(any(p.endswith("/dir " + shown) for p in removed), "rmd: %r" % removed)
        users = [e["user"] for e in events if e["event"] == "login" and e["result"] == "refused"]
        check(HOSTILE_USER.decode("utf-8", "replace") in users,
              "a line feed in a user name stays inside its string: %r" % users)
        logins = [e["result"] for e in events if e["event"] == "login"]
        check(logins.count("refused") == 2 and "ok" in logins, "logins: %r" % logins)
        bans = [e for e in events if e["event"] == "ban"]
        check(any(b["address"] == "127.0.0.1" and b["service"] == "ftp" for b in bans),
              "the failed logins' ban: %r" % bans)
        admin = [e for e in events if e["event"] == "admin"]
        check(any("192.0.2.9" in a["action"] and a["by"] == "control socket" for a in admin),
              "the administrator's ban, with who and from where: %r" % admin)
    return exit_status("all audit log checks passed")


if __name__ == "__main__":
    sys.exit(main())
