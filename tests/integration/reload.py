"""Reload without restart: option.ini and the IP lists read again on SIGHUP and through
`tarvona-admin reload`, while a logged-in session goes on (NOOP, transfers). A new deny
rule refuses the next connection, a changed key is logged without a password's value,
a faulty line changes nothing, a taken port keeps the old listener, a free one takes
over, the service manager hears RELOADING=1 and READY=1 around each reload and the new
port in the status line, and an option the API applied is not taken again.

    reload.py BUILD_DIR
"""
import ftplib
import io
import os
import signal
import socket
import subprocess
import sys
import time

from admin_api import Api
from ftp_server_env import FtpServerEnv, check, exit_status, free_port
from service_manager import NotifySocket

DONE_MARKS = ("Reload done", "Nothing changed")


def write_options(env, port, body=""):
    with open(env.prog + "option.ini", "w") as f:
        f.write("[Server]\nPort=%d\n%s" % (port, body))


def log_text(log):
    with open(log, errors="replace") as f:
        return f.read()


def wait_for_reloads(log, count, deadline=10.0):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        text = log_text(log)
        if sum(text.count(mark) for mark in DONE_MARKS) >= count:
            return text
        time.sleep(0.05)
    return log_text(log)


def greeting(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            return s.recv(200).decode(errors="replace")
    except OSError as e:
        return "no connection: %s" % e


def session_works(ftp, tag):
    """NOOP and a round trip of a file on the session opened before the reloads."""
    try:
        ftp.voidcmd("NOOP")
        data = os.urandom(200000)
        ftp.storbinary("STOR %s.bin" % tag, io.BytesIO(data))
        back = io.BytesIO()
        ftp.retrbinary("RETR %s.bin" % tag, back.write)
        check(back.getvalue() == data, "%s: the file came back whole" % tag)
    except (OSError, ftplib.Error) as e:
        check(False, "%s: the session does not survive: %r" % (tag, e))


def admin_reload(env):
    result = subprocess.run(env.admin_command("reload"), capture_output=True, timeout=60)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def main():
    with FtpServerEnv(sys.argv[1]) as env:
        log = os.path.join(env.root, "out.log")
        notify = NotifySocket(env.root)
        write_options(env, env.port, "maxusers=20\n[DNS]\nPassword=old-secret\n")
        env.start(stdout_path=log, port_argument=False, env={"NOTIFY_SOCKET": notify.path})
        check(notify.wait_for("READY=1")[0] is not None, "ready at start")
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", env.port, timeout=10)
        ftp.login(env.user, env.password)

        # SIGHUP: the deny list and the filter mode serve the next connection.
        with open(env.prog + "rejectip.txt", "w") as f:
            f.write("127.0.0.1")
        write_options(env, env.port, "maxusers=7\nFilterMode=1\n[DNS]\nPassword=new-secret\n")
        env.proc.send_signal(signal.SIGHUP)
        check(notify.wait_for("RELOADING=1")[0] is not None, "RELOADING=1 at SIGHUP")
        check(notify.wait_for("READY=1")[0] is not None, "READY=1 after the reload")
        text = wait_for_reloads(log, 1)
        for line in ("Option maxusers changed from 20 to 7.", "Option FilterMode changed from 0 to 1.",
                     "Option Password changed.", "rejectip.txt changed from 0 to 1 entries"):
            check(line in text, "logged: %s" % line)
        check("secret" not in text, "no password value in the log")
        check(greeting(env.port).startswith("421 Access denied"),
              "127.0.0.1 denied at its next connection")
        session_works(ftp, "after-sighup")

        # A line of no known form: nothing changes, and the log names the line.
        write_options(env, env.port, "FilterMode=0\nthis is no key line\n")
        env.proc.send_signal(signal.SIGHUP)
        text = wait_for_reloads(log, 2)
        check('line 4: "this is no key line"' in text and "Nothing changed" in text,
              "the faulty line is logged: %s" % text[-400:])
        check(greeting(env.port).startswith("421 Access denied"), "the deny rule stays")
        status, _, err = admin_reload(env)
        check(status == 1 and "line 4" in err, "tarvona-admin reload reports the line: %r" % err)
        # A file another user may change is not taken, as it would stop a start.
        write_options(env, env.port, "FilterMode=0\n")
        os.chmod(env.prog + "option.ini", 0o666)
        status, _, err = admin_reload(env)
        check(status == 1 and "Nothing changed" in err and "option.ini" in err,
              "a file open to others is refused: %r" % err)
        os.chmod(env.prog + "option.ini", 0o600)

        # Through the API: a port another socket holds keeps the old listener.
        with socket.socket() as holder:
            holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            new_port = free_port()
            holder.bind(("127.0.0.1", new_port))
            holder.listen()
            write_options(env, new_port, "FilterMode=0\n")
            status, out, err = admin_reload(env)
            check(status == 1 and "Address already in use" in err and
                  "still listening on port %d" % env.port in err,
                  "a taken port is refused with its reason: %r %r" % (out, err))
            check("Option FilterMode changed from 1 to 0." in out, "the rest applies: %r" % out)
            check(greeting(env.port).startswith("220"), "the old port still serves")

        # The port is free now: the next reload moves there, and only then is the old closed.
        status, out, err = admin_reload(env)
        check(status == 0 and "listening on it now" in out, "port moved: %r %r" % (out, err))
        check(greeting(new_port).startswith("220"), "the new port serves")
        check(greeting(env.port).startswith("no connection"), "the old port is closed")
        check(notify.wait_for("STATUS=Serving port %d" % new_port, 5)[0] is not None,
              "the status line names the new port")
        session_works(ftp, "after-move")
        # A key the options route wrote and applied is no change for the next reload.
        status, _, _ = Api(env).call("PUT", "/api/v1/options", {"maxusers": 9})
        check(status == 200 and admin_reload(env)[:2] == (0, "Nothing changed.\n"),
              "an option applied through the API is not applied again")
        ftp.quit()
        check("Address already in use" in wait_for_reloads(log, 5), "the bind failure is logged")
    return exit_status("reload: passed")


if __name__ == "__main__":
    sys.exit(main())
