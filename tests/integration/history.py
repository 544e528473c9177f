"""The transfer history after real transfers (Python's ftplib and curl): GET
/api/v1/history by day, week and month and its refusals of bad queries, tarvona-admin
stats through the running server, then from stats.sdb once it has stopped, and the
counts again after a restart.

    history.py BUILD_DIR
"""
import ftplib
import io
import json
import os
import stat
import subprocess
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status, pattern, run, write

SIZES = (1000, 70000, 300000)  # the uploads
BIG = 24 * 1024 * 1024         # the download the client cuts short


def api(env, path):
    result = run(["curl", "-s", "-m", "20", "-w", "\n%{http_code}", "--unix-socket",
                  env.prog + "tarvona.sock", "http://localhost" + path], timeout=30)
    body, _, status = result.stdout.decode().rpartition("\n")
    return int(status or 0), (json.loads(body) if body.startswith("{") else body)


def transfers(env):
    """Uploads SIZES, downloads two of them, cuts a big download short and fails two
    logins: one of the account, one of a name no account has."""
    with ftplib.FTP() as ftp:
        ftp.connect("127.0.0.1", env.port, timeout=20)
        ftp.login(env.user, env.password)
        for i, size in enumerate(SIZES):
            ftp.storbinary("STOR up%d.bin" % i, io.BytesIO(pattern(size, i)))
        for i in range(2):
            ftp.retrbinary("RETR up%d.bin" % i, lambda _: None)
        conn = ftp.transfercmd("RETR big.bin")
        conn.recv(65536)
        conn.close()  # the server's sending fails: a failed transfer
        try:
            ftp.voidresp()
        except ftplib.Error:
            pass
    for user in (env.user, "no-such-user"):
        with ftplib.FTP() as ftp:
            ftp.connect("127.0.0.1", env.port, timeout=20)
            try:
                ftp.login(user, "wrong")
                check(False, "a wrong password logged in")
            except ftplib.error_perm:
                pass


def user_row(answer, name):
    return next((u for u in answer.get("topUsers", []) if u["user"] == name), None)


def check_today(answer, what):
    today = answer["buckets"][-1]
    check(today["bytesUp"] == sum(SIZES), "%s: bytes up %s" % (what, today["bytesUp"]))
    check(today["bytesDown"] >= SIZES[0] + SIZES[1] + 65536,
          "%s: bytes down %s" % (what, today["bytesDown"]))
    check((today["filesUp"], today["filesDown"]) == (3, 2),
          "%s: files up/down %s/%s" % (what, today["filesUp"], today["filesDown"]))
    check(today["failedTransfers"] == 1, "%s: failed transfers %s" % (what, today["failedTransfers"]))


def check_routes(env):
    status, answer = api(env, "/api/v1/history?days=7")
    check(status == 200 and len(answer["buckets"]) == 7, "history of 7 days: %s %s" % (status, answer))
    check_today(answer, "whole server")
    check(answer["buckets"][-1]["failedLogins"] == 2, "failed logins: %s" % answer["buckets"][-1])
    alice, unknown = user_row(answer, "alice"), user_row(answer, "(unknown)")
    check(alice is not None and alice["failedLogins"] == 1 and alice["filesUp"] == 3,
          "top user alice: %s" % alice)
    check(unknown is not None and unknown["failedLogins"] == 1 and unknown["bytesUp"] == 0,
          "unknown names: %s" % unknown)
    check(answer["topUsers"][0]["user"] == "alice", "most bytes first: %s" % answer["topUsers"])
    status, answer = api(env, "/api/v1/history?user=ALICE&days=60&by=week")
    check(status == 200 and answer["by"] == "week" and len(answer["buckets"]) in (9, 10),
          "by week: %s" % status)
    check_today(answer, "alice by week")
    status, answer = api(env, "/api/v1/history?user=nobody&days=400&by=month")
    check(status == 200 and all(b["bytesUp"] == 0 for b in answer["buckets"]),
          "a user without transfers has empty months")
    for query in ("days=0", "days=3661", "days=x", "by=year", "top=1001", "user=" + "a" * 65):
        status, answer = api(env, "/api/v1/history?" + query)
        check(status == 400 and "error" in answer, "%s refused: %s %s" % (query, status, answer))


def admin_stats(env, *args):
    result = run(env.admin_command("stats", *args))
    check(result.returncode == 0, "tarvona-admin stats %s: %s" % (args, result.stderr))
    return result.stdout.decode()


def check_printed(text, what):
    total = next((l for l in text.splitlines() if l.startswith("total")), "")
    fields = total.split()
    check(len(fields) == 7 and int(fields[1]) == sum(SIZES) and fields[3:6] == ["3", "2", "1"],
          "%s prints the totals: %r" % (what, total))
    check("alice" in text.split("Top users")[-1], "%s lists alice as a top user" % what)


def main():
    build = sys.argv[1]
    with FtpServerEnv(build) as env:
        write(env.path("big.bin"), b"\x00" * BIG)
        env.start()
        transfers(env)
        check_routes(env)
        check_printed(admin_stats(env, "--days", "3"), "through the server")
        bad = run(env.admin_command("stats", "--days", "0"))
        check(bad.returncode == 2, "stats --days 0 refused: %s" % bad.returncode)
        env.stop()

        table = env.prog + "stats.sdb"
        check(os.path.exists(table) and stat.S_IMODE(os.stat(table).st_mode) == 0o600,
              "stats.sdb written at the stop, mode 0600")
        check_printed(admin_stats(env, "--user", "alice", "--by", "month"), "from stats.sdb")
        env.start()
        # The control socket opens a moment after the FTP port accepts; give it a bound.
        deadline = time.monotonic() + 15
        status, answer = api(env, "/api/v1/history?days=1")
        while status == 0 and time.monotonic() < deadline:
            time.sleep(0.2)
            status, answer = api(env, "/api/v1/history?days=1")
        check(status == 200, "history after the restart: %s" % status)
        if status == 200:
            check_today(answer, "after the restart")
    return exit_status("history: passed")


if __name__ == "__main__":
    sys.exit(main())
