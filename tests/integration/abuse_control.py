"""Failed-login bans and the control socket against the tarvona-server binary, with
ftplib as the client: a guesser from 127.0.0.1 is banned (also at connect) while
127.0.0.2 goes on; `tarvona-admin sessions`, `kick` and `ban list|del` act on the
running server; with HashPasswords=1 the server stores a hash of what tarvona-admin sends; and
fail2ban-regex, with the filter README ships, finds every failed login in the day's log.

    abuse_control.py BUILD_DIR SOURCE_DIR
"""
import ftplib
import glob
import os
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status, run

OPTIONS = ("[Server]\nSavelog=1\n[Security]\nBanAttempts=3\nFailDelay=200\nBanTime=600\n"
           "HashPasswords=1\n")


def client(env, source="127.0.0.1"):
    ftp = ftplib.FTP(timeout=10)
    ftp.connect("127.0.0.1", env.port, source_address=(source, 0))
    return ftp


def admin(env, *args):
    result = run(env.admin_command(*args), timeout=30)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def logged(env, text, deadline=5.0):
    """True once `text` appears in the day's log (the server writes it as it goes)."""
    end = time.monotonic() + deadline
    while True:
        for path in glob.glob(env.prog + "log/*.txt"):
            with open(path, errors="replace") as f:
                if text in f.read():
                    return True
        if time.monotonic() > end:
            return False
        time.sleep(0.1)


def guess_until_banned(env):
    ftp = client(env)
    replies = []
    for _ in range(3):
        try:
            ftp.login(env.user, "wrong")
        except ftplib.all_errors as e:
            replies.append(str(e)[:3])
    check(replies == ["530", "530", "421"], "530, 530, then 421 at the ban: %s" % replies)
    try:
        client(env)
        check(False, "a banned address is refused at connect")
    except ftplib.error_temp as e:
        check(str(e).startswith("421 Too many failed logins"), "ban reply at connect: %s" % e)


def control_socket(env):
    status, out, _ = admin(env, "ban", "list")
    check(status == 0 and out.startswith("127.0.0.1\t"), "ban list shows the guesser: %r" % out)
    other = client(env, "127.0.0.2")
    other.login(env.user, env.password)
    other.cwd("/")
    status, out, _ = admin(env, "sessions")
    rows = [line.split("\t") for line in out.splitlines()]
    mine = [r for r in rows if r[1] == "127.0.0.2" and r[2] == env.user]
    check(status == 0 and len(mine) == 1 and mine[0][4] == "/", "sessions lists it: %r" % out)
    if mine:
        check(admin(env, "kick", mine[0][0])[0] == 0, "kick answers OK")
        check(logged(env, "Session %s (127.0.0.2, %s) kicked by the administrator (control "
                     "socket)." % (mine[0][0], env.user)), "the kick is logged with its origin")
        try:
            other.voidcmd("NOOP")
            other.voidcmd("NOOP")
            check(False, "a kicked session is closed")
        except ftplib.all_errors + (EOFError,):
            pass
    check(admin(env, "kick", "999999999")[0] == 1, "kicking no session is refused")
    check(admin(env, "ban", "del", "10.0.0.0/8")[0] == 2, "ban del takes one address")
    check(admin(env, "ban", "del", "127.0.0.1")[0] == 0, "ban del lifts the ban")
    check(logged(env, "Ban of 127.0.0.1 lifted by the administrator (control socket)."),
          "the lifted ban is logged with its origin")
    check(admin(env, "ban", "del", "127.0.0.1")[0] == 1, "a second ban del is refused")
    ftp = client(env)
    ftp.login(env.user, env.password)
    ftp.quit()


def hashed_accounts(env):
    env.admin("user", "add", "bob", "--password", "pw2", "--home", env.home)
    # user show goes through the running server, which never shows a password.
    status, out, _ = admin(env, "db", "dump", env.prog + "user.sdb")
    check("password=$y$" in out and "pw2" not in out, "the server stored a hash: %r" % out[-400:])
    ftp = client(env, "127.0.0.3")
    ftp.login("bob", "pw2")
    ftp.quit()
    check(admin(env, "db", "check", env.prog + "user.sdb")[0] == 0, "db check passes")


def ip_lists(env):
    check(admin(env, "ip", "add", "deny", "10.0.0.0/33")[0] == 2, "a malformed range is refused")
    check(admin(env, "ip", "add", "deny", "2001:db8::/32")[0] == 0, "an IPv6 range is added")
    check(admin(env, "ip", "add", "deny", "10.0.0.0/8")[0] == 0, "an IPv4 range is added")
    check(admin(env, "ip", "add", "deny", "10.0.0.0/8")[0] == 1, "no entry twice")
    check(admin(env, "ip", "del", "deny", "2001:DB8::/32")[0] == 0, "an entry is removed")
    status, out, _ = admin(env, "ip", "list", "deny")
    check(status == 0 and out == "10.0.0.0/8\n", "ip list: %r" % out)


def fail2ban(env, source_dir):
    if not os.path.exists("/usr/bin/fail2ban-regex"):
        check(False, "fail2ban-regex is installed (tools/install-deps.sh)")
        return
    logs = glob.glob(env.prog + "log/*.txt")
    filter_path = os.path.join(source_dir, "tools", "fail2ban", "tarvona.conf")
    with open(os.path.join(source_dir, "README.md")) as f:
        readme = f.read()
    with open(filter_path) as f:
        check(f.read().split("[Definition]")[1] in readme, "README carries the filter")
    result = run(["/usr/bin/fail2ban-regex", logs[0], filter_path])
    out = result.stdout.decode()
    # Three failed logins (the third banned the address); nothing else matches.
    check(result.returncode == 0 and "3 matched" in out, "fail2ban-regex: %s" % out[-400:])


def main():
    with FtpServerEnv(sys.argv[1]) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write(OPTIONS)
        env.start()
        guess_until_banned(env)
        control_socket(env)
        hashed_accounts(env)
        ip_lists(env)
        env.stop()
        check(not os.path.exists(env.prog + "tarvona.sock"), "the socket file is removed")
        fail2ban(env, sys.argv[2])
    return exit_status("all abuse-control checks passed")


if __name__ == "__main__":
    sys.exit(main())
