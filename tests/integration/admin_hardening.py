"""What another local user, a hostile client or a bad option can do to tarvona-server and
tarvona-admin: a program directory, table file, option file or log folder others may
write (or that another user owns) stops the start with its path and mode; the log folder
is 0700, its files and the control socket 0600; tarvona-admin refuses control characters
in names and paths and finds a ban by any spelling of its address; C1 controls and
invalid UTF-8 from a client reach neither the log file, standard output nor
`tarvona-admin sessions`; a malformed PassiveIP or maxusers is refused with a log line;
`tarvona-service --help` succeeds.

    admin_hardening.py BUILD_DIR
"""
import ftplib
import glob
import os
import re
import socket
import stat
import subprocess
import sys
import time

from ftp_server_env import FtpServerEnv, check, exit_status, run

HOSTILE_NAME = b"eve\xc2\x85\xc2\x9b[2J\xff\xfe\xc3\xa9"


def mode_of(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def admin(env, *args):
    return run(env.admin_command(*args), timeout=30).returncode


def refused_start(env, path, mode):
    """Starts the server, which must end at once naming `path` and its `mode`."""
    cmd = [os.path.join(env.build_dir, "app", "tarvona-server"), "--dir", env.prog,
           "--port", str(env.port), "--listen", "127.0.0.1"]
    try:
        result = run(cmd, timeout=10)
    except subprocess.TimeoutExpired:
        check(False, "start with %s at %04o is refused (it ran on)" % (path, mode))
        return
    said = (result.stdout + result.stderr).decode(errors="replace")
    named = path.rstrip("/") in said and "%04o" % mode in said
    check(result.returncode != 0 and named,
          "start refused naming %s %04o: status %d, %r" % (path, mode, result.returncode, said))


def unsafe_program_files(build_dir):
    with FtpServerEnv(build_dir) as env:
        os.chmod(env.prog, 0o777)
        refused_start(env, env.prog, 0o777)
        os.chmod(env.prog, 0o755)
        os.chmod(env.prog + "user.sdb", 0o666)
        refused_start(env, env.prog + "user.sdb", 0o666)
        os.chmod(env.prog + "user.sdb", 0o600)
        os.makedirs(env.prog + "log", exist_ok=True)
        os.chmod(env.prog + "log", 0o1777)
        refused_start(env, env.prog + "log", 0o1777)
        os.chmod(env.prog + "log", 0o755)
        if os.geteuid() == 0:
            os.chown(env.prog, 65534, -1)
            refused_start(env, env.prog, 0o755)
            os.chown(env.prog, 0, -1)
        env.start()  # the log folder left 0755 by an earlier version is narrowed
        check(mode_of(env.prog + "log") == 0o700, "log folder narrowed to 0700")
        env.stop()


def private_modes(env):
    end = time.monotonic() + 5  # the control socket opens just after the port
    while not os.path.exists(env.prog + "tarvona.sock") and time.monotonic() < end:
        time.sleep(0.05)
    logs = glob.glob(env.prog + "log/*.txt")
    check(mode_of(env.prog + "log") == 0o700, "log folder 0%o" % mode_of(env.prog + "log"))
    check(len(logs) == 1 and mode_of(logs[0]) == 0o600,
          "log file modes %s" % [oct(mode_of(p)) for p in logs])
    check(mode_of(env.prog + "tarvona.sock") == 0o600, "socket mode 0%o" %
          mode_of(env.prog + "tarvona.sock"))


def admin_names(env):
    bad = ["a\nb", "a\tb", "a\x1bb", "a\u0085b"]
    for text in bad:
        check(admin(env, "user", "add", text, "--password", "x", "--home", env.home) == 2,
              "user name %r refused" % text)
        check(admin(env, "user", "add", "u2", "--password", "x", "--home", "/tmp/" + text) == 2,
              "home %r refused" % text)
        check(admin(env, "group", "add", text) == 2, "group name %r refused" % text)
    check(admin(env, "user", "set", env.user, "--home", "/tmp\n/etc") == 2, "user set --home")
    check(admin(env, "folder", "add", "--user", env.user, "v\nf", env.home) == 2,
          "folder name refused")
    check(admin(env, "folder", "add", "--user", env.user, "vf", "/tmp/a\tb") == 2,
          "folder path refused")
    listed = run(env.admin_command("user", "list")).stdout.decode()
    check(listed.count("\n") == 2, "user list holds alice alone: %r" % listed)


def hostile_client_text(env, stdout_path):
    with socket.create_connection(("127.0.0.1", env.port), timeout=10) as s:
        s.recv(1024)
        s.sendall(b"USER " + HOSTILE_NAME + b"\r\n")
        s.recv(1024)
        sessions = run(env.admin_command("sessions")).stdout
    time.sleep(0.5)  # the console's output is flushed every 200 ms
    log = b"".join(open(p, "rb").read() for p in glob.glob(env.prog + "log/*.txt"))
    console = open(stdout_path, "rb").read()
    for where, text in (("sessions", sessions), ("log", log), ("stdout", console)):
        check(b"eve" in text and b"\xc3\xa9" in text, "%s keeps the name's letters" % where)
        try:
            decoded = text.decode("utf-8")
            c1 = [c for c in decoded if 0x80 <= ord(c) <= 0x9f or ord(c) == 0x1b]
            check(not c1, "%s holds C1 controls %r" % (where, c1))
        except UnicodeDecodeError as e:
            check(False, "%s is not UTF-8: %s" % (where, e))


def ban_by_mapped_address(env):
    ftp = ftplib.FTP(timeout=10)
    ftp.connect("127.0.0.1", env.port, source_address=("127.0.0.9", 0))
    for _ in range(2):
        try:
            ftp.login(env.user, "wrong")
        except ftplib.all_errors:
            pass
    check(admin(env, "ban", "del", "::ffff:127.0.0.9") == 0, "ban del by the mapped form")


def bad_options(env):
    log = b"".join(open(p, "rb").read() for p in glob.glob(env.prog + "log/*.txt"))
    check(b"PassiveIP" in log, "a log line refuses PassiveIP")
    check(b"maxusers" in log, "a log line refuses maxusers")
    ftp = ftplib.FTP(timeout=10)
    ftp.connect("127.0.0.1", env.port)
    ftp.login(env.user, env.password)
    reply = ftp.sendcmd("PASV")
    check(re.fullmatch(r"227 [^()]*\((\d+,){5}\d+\)\.?", reply) is not None, "PASV: %r" % reply)
    ftp.quit()


def running_server(build_dir):
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nSavelog=1\n[Security]\nBanAttempts=2\nFailDelay=100\n")
        stdout_path = env.root + "/stdout.log"
        env.start(stdout_path)
        private_modes(env)
        admin_names(env)
        hostile_client_text(env, stdout_path)
        ban_by_mapped_address(env)
    with FtpServerEnv(build_dir) as env:
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Server]\nSavelog=1\nmaxusers=abc\nPassiveIP=1.2.3.4,5,6) 500 fake\n")
        env.start()
        bad_options(env)


def service_help(build_dir):
    result = run([os.path.join(build_dir, "app", "tarvona-service"), "--help"])
    check(result.returncode == 0 and b"usage" in result.stdout,
          "tarvona-service --help: %d %r" % (result.returncode, result.stdout))


def main():
    unsafe_program_files(sys.argv[1])
    running_server(sys.argv[1])
    service_help(sys.argv[1])
    return exit_status("all administration hardening checks passed")


if __name__ == "__main__":
    sys.exit(main())
