"""Implicit FTPS ([TLS] ImplicitPort) and clients that do not resume the TLS session
([TLS] RequireReuse), against tarvona-server with curl (ftps://), lftp (ftps:// and
ftp:ssl-force on the explicit port) and Python's ftplib. On the implicit port: listing,
upload and download; AUTH, PBSZ, PROT P and PROT C; clear text and silence instead of a
handshake are closed within the deadline while others are served; policies 1 and 2; the
port moved by a reload (and kept when the new one is taken); MaxPerAddress and a ban,
refused without a clear-text reply; a damaged certificate. RequireReuse: stock ftplib (no
resumption) gets 522, and after a reload to 0 is served with one log line per session,
while a data connection from another loopback address is still turned away. A port
that cannot be bound stops the start. Usage: tls_implicit.py BUILD_DIR"""
import ftplib
import io
import os
import signal
import socket
import ssl
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import (FtpServerEnv, check, exit_status, free_port, lftp,  # noqa: E402
                            pattern, read, run, write)
from admin_api import Api  # noqa: E402
from reload import log_text, wait_for_reloads  # noqa: E402
from service_manager import NotifySocket  # noqa: E402
from tls_clients import (CLIENT_CONTEXT, ResumingFtpTls, closed_within,  # noqa: E402
                         expect_refusal, tls_ftplib)

RESUMPTION_LOG = ("Client did not resume the TLS session on a data connection; accepted "
                  "(RequireReuse=0).")


class ImplicitFtpTls(ResumingFtpTls):
    """ftplib on an implicit FTPS port: TLS before the greeting, data protected at once."""

    def connect(self, host, port, timeout):
        self.host, self.port, self.timeout = host, port, timeout
        raw = socket.create_connection((host, port), timeout, self.source_address)
        self.af = raw.family
        self.sock = self.context.wrap_socket(raw, server_hostname=host)
        self.file = self.sock.makefile("r", encoding=self.encoding)
        self.welcome = self.getresp()
        self._prot_p = True
        return self.welcome


def implicit_ftplib(env):
    ftp = ImplicitFtpTls(context=CLIENT_CONTEXT)
    ftp.connect("127.0.0.1", env.implicit_port, timeout=20)
    ftp.login(env.user, env.password)
    return ftp


def write_options(env, body):
    write(env.prog + "option.ini", ("[TLS]\nImplicitPort=%d\n%s" % (env.implicit_port, body))
          .encode())


def logged(log, text, deadline=5.0):
    """Whether `text` appears in the log within `deadline` (the server writes it out in
    batches)."""
    end = time.monotonic() + deadline
    while text not in log_text(log):
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


def reload_options(env, log, body, reloads):
    write_options(env, body)
    env.proc.send_signal(signal.SIGHUP)
    text = wait_for_reloads(log, reloads)
    check(text.count("Reload done") >= reloads, "reload %d taken: %s" % (reloads, text[-600:]))
    return text


def curl_implicit(env, tag):
    curl = ["curl", "-sS", "--max-time", "30", "--cacert", env.prog + "tls-cert.pem"]
    url = "ftps://%s:%s@127.0.0.1:%d/" % (env.user, env.password, env.implicit_port)
    data = pattern(400000, 31)
    local = os.path.join(env.root, tag + ".bin")
    write(local, data)
    r = run(curl + ["-T", local, url + tag + ".bin"])
    check(r.returncode == 0 and read(env.path(tag + ".bin")) == data,
          tag + " curl ftps:// upload " + r.stderr.decode())
    r = run(curl + [url])
    check(r.returncode == 0 and (tag + ".bin").encode() in r.stdout,
          tag + " curl ftps:// listing " + r.stderr.decode())
    r = run(curl + ["-o", local + ".down", url + tag + ".bin"])
    check(r.returncode == 0 and read(local + ".down") == data,
          tag + " curl ftps:// download " + r.stderr.decode())


def lftp_clients(env):
    trust = ["set net:max-retries 1", "set net:timeout 20", "set ssl:ca-file " + env.prog +
             "tls-cert.pem"]
    data = pattern(300000, 32)
    local = os.path.join(env.root, "lftp-up.bin")
    write(local, data)
    r = lftp(env, "ftps://127.0.0.1", trust, ["put %s -o lftp-implicit.bin" % local, "cls -1"],
             port=env.implicit_port)
    log = r.stderr.decode(errors="replace")
    check(r.returncode == 0 and read(env.path("lftp-implicit.bin")) == data,
          "lftp ftps:// upload " + log[-600:])
    check("---> AUTH" not in log and "lftp-implicit.bin" in r.stdout.decode(),
          "lftp ftps:// lists without AUTH")
    r = lftp(env, "127.0.0.1", trust + ["set ftp:ssl-force true"],
             ["get lftp-implicit.bin -o %s.down" % local])
    log = r.stderr.decode(errors="replace")
    check(r.returncode == 0 and "---> AUTH TLS" in log and read(local + ".down") == data,
          "lftp ftp:ssl-force on the explicit port " + log[-600:])


def implicit_commands(env):
    ftp = implicit_ftplib(env)
    status = ftp.sendcmd("STAT")
    check("Control connection: TLS (TLSv1." in status and "TLS (PROT P)" in status,
          "implicit STAT " + status)
    expect_refusal(ftp, "AUTH TLS", "503", "implicit")
    check(ftp.sendcmd("PBSZ 0") == "200 PBSZ=0", "implicit PBSZ 0")
    check(ftp.sendcmd("PROT P").startswith("200"), "implicit PROT P")
    expect_refusal(ftp, "PROT C", "534", "implicit")
    data = pattern(500000, 33)
    ftp.storbinary("STOR ftplib-implicit.bin", io.BytesIO(data))
    got = io.BytesIO()
    ftp.retrbinary("RETR ftplib-implicit.bin", got.write)
    check(got.getvalue() == data, "implicit ftplib round trip")
    ftp.quit()


def received_until_close(s, seconds):
    """Bytes the server sent before closing `s`; None when it stayed open `seconds`."""
    s.settimeout(seconds)
    got = b""
    try:
        while chunk := s.recv(4096):
            got += chunk
        return got
    except ConnectionResetError:
        return got
    except socket.timeout:
        return None
    finally:
        s.close()


def hostile_clients(env, log):
    started = time.monotonic()
    silent = socket.create_connection(("127.0.0.1", env.implicit_port), timeout=20)
    plain = socket.create_connection(("127.0.0.1", env.implicit_port), timeout=20)
    plain.sendall(b"USER x\r\n")
    got = received_until_close(plain, 5)
    check(got is not None and b"220" not in got and b"331" not in got,
          "clear text on the implicit port is closed without a reply: %r" % got)
    curl_implicit(env, "beside-silent")  # served while the silent client waits
    check(closed_within(silent, 20), "a silent client of the implicit port is closed")
    check(time.monotonic() - started < 16, "the silent client had a deadline")
    check(logged(log, "TLS: 127.0.0.1 failed the TLS handshake on the implicit FTPS port"),
          "clear text logged")
    check(logged(log, "TLS: 127.0.0.1 sent no TLS handshake to the implicit FTPS port in time"),
          "silence logged")


def expect_522(env, when):
    """Stock ftplib makes a full handshake on every data connection."""
    ftp = tls_ftplib(env, "127.0.0.1", cls=ftplib.FTP_TLS)
    try:
        ftp.nlst()
        check(False, "a data connection without resumption was served " + when)
    except ftplib.error_perm as error:
        check(str(error).startswith("522 The data connection must resume"),
              "522 %s: %s" % (when, error))
    ftp.quit()


def require_reuse(env, log):
    expect_522(env, "by default")
    reload_options(env, log, "RequireReuse=0\n", 1)
    check(logged(log, "Option RequireReuse changed from 1 to 0."), "RequireReuse reload logged")
    for session in range(2):
        ftp = tls_ftplib(env, "127.0.0.1", cls=ftplib.FTP_TLS)
        data = pattern(200000, 34 + session)
        ftp.storbinary("STOR full-handshake.bin", io.BytesIO(data))
        got = io.BytesIO()
        ftp.retrbinary("RETR full-handshake.bin", got.write)
        check(got.getvalue() == data and "full-handshake.bin" in ftp.nlst(),
              "RequireReuse=0 serves a client without resumption")
        ftp.quit()
        time.sleep(1.0)  # the server writes its log out in batches
        check(log_text(log).count(RESUMPTION_LOG) == session + 1,
              "the no-resumption line once per session (%d)" % (session + 1))
    stranger_refused(env)
    # The administration API applies it live too.
    status, body, _ = Api(env).call("PUT", "/api/v1/options", {"RequireReuse": 1})
    check(status == 200 and "RequireReuse" in body["applied"], "RequireReuse through the API")
    expect_522(env, "after the API's change")


def stranger_refused(env):
    """Control from 127.0.0.1, a stranger from 127.0.0.2 on its passive port first."""
    write(env.path("victim.bin"), pattern(100000, 36))
    ftp = tls_ftplib(env, "127.0.0.1", cls=ftplib.FTP_TLS)
    port = ftp.makepasv()[1]
    stranger = socket.socket()
    stranger.bind(("127.0.0.2", 0))
    stranger.settimeout(10)
    stranger.connect(("127.0.0.1", port))
    got = received_until_close(stranger, 5)
    check(got == b"", "a data connection from 127.0.0.2 is closed unserved: %r" % got)
    conn = socket.create_connection(("127.0.0.1", port), timeout=20)
    check(ftp.sendcmd("RETR victim.bin").startswith("150"), "RETR after the stranger")
    with CLIENT_CONTEXT.wrap_socket(conn) as tls:
        received = b""
        while chunk := tls.recv(65536):
            received += chunk
    check(received == read(env.path("victim.bin")) and ftp.voidresp().startswith("226"),
          "the client's own data connection is served after the stranger's")
    ftp.quit()


def policies(env, log):
    reload_options(env, log, "RequireReuse=0\nPolicy=1\n", 2)
    plain = ftplib.FTP(timeout=20)
    plain.connect("127.0.0.1", env.port)
    try:
        plain.login(env.user, env.password)
        check(False, "plain login under policy 1")
    except ftplib.error_perm as error:
        check(str(error).startswith("530 TLS is required"), "policy 1 plain: " + str(error))
    plain.close()
    ftp = implicit_ftplib(env)
    check(ftp.nlst() != [], "policy 1: implicit session served")
    ftp.quit()
    reload_options(env, log, "RequireReuse=0\nPolicy=2\n", 3)
    ftp = implicit_ftplib(env)
    check("ftplib-implicit.bin" in ftp.nlst(), "policy 2: implicit listing")
    try:
        ftp.sendcmd("PROT C")
        check(False, "PROT C under policy 2 on the implicit port")
    except ftplib.error_perm as error:
        check(str(error).startswith("534 Clear data connections are not allowed on the implicit"),
              "policy 2 PROT C: " + str(error))
    ftp.quit()


def moved_port(env, log):
    old = env.implicit_port
    with socket.socket() as holder:
        env.implicit_port = free_port()
        holder.bind(("127.0.0.1", env.implicit_port))
        holder.listen()
        text = reload_options(env, log, "RequireReuse=0\nPolicy=2\n", 4)
        check("Option ImplicitPort changed from %d to %d, but port %d cannot be used (Address "
              "already in use): still serving implicit FTPS on port %d."
              % (old, env.implicit_port, env.implicit_port, old) in text,
              "a taken implicit port is refused: " + text[-400:])
    env.implicit_port, taken = old, env.implicit_port
    curl_implicit(env, "kept")
    env.implicit_port = taken  # free now: the next reload moves there
    text = reload_options(env, log, "RequireReuse=0\nPolicy=2\n", 5)
    check("Option ImplicitPort changed from %d to %d: implicit FTPS served on it now."
          % (old, env.implicit_port) in text, "implicit port moved: " + text[-400:])
    curl_implicit(env, "moved")
    try:
        socket.create_connection(("127.0.0.1", old), timeout=5).close()
        check(False, "the old implicit port still accepts")
    except OSError:
        pass


def shared_limits(env, log):
    """The main port's per-address limit and bans hold on the implicit port; their
    refusals come without a clear-text reply, which a TLS client could not read."""
    reload_options(env, log, "RequireReuse=0\nPolicy=2\n[Security]\nMaxPerAddress=1\n"
                   "BanAttempts=1\nFailDelay=100\n", 6)
    ftp = implicit_ftplib(env)
    extra = socket.create_connection(("127.0.0.1", env.implicit_port), timeout=10)
    check(received_until_close(extra, 5) == b"", "past MaxPerAddress: closed without a reply")
    ftp.quit()
    guesser = ImplicitFtpTls(context=CLIENT_CONTEXT, source_address=("127.0.0.2", 0))
    guesser.connect("127.0.0.1", env.implicit_port, timeout=20)
    try:
        guesser.login(env.user, "wrong")
        check(False, "a wrong password was taken")
    except (ftplib.error_perm, ftplib.error_temp):
        pass  # 530, or 421 when the failure bans at once
    guesser.close()
    banned = socket.create_connection(("127.0.0.1", env.implicit_port), timeout=10,
                                      source_address=("127.0.0.2", 0))
    check(received_until_close(banned, 5) == b"", "a banned address is closed without a reply")
    check(logged(log, "Refused banned 127.0.0.2"), "the ban holds on the implicit port")
    ftp = implicit_ftplib(env)
    check(ftp.voidcmd("NOOP").startswith("200"), "127.0.0.1 is still served")
    ftp.quit()


def damaged_certificate(env, log):
    write(env.prog + "tls-cert.pem", b"-----BEGIN CERTIFICATE-----\nnot base64\n")
    raw = socket.create_connection(("127.0.0.1", env.implicit_port), timeout=10)
    try:
        CLIENT_CONTEXT.wrap_socket(raw).close()
        check(False, "a handshake with a damaged certificate")
    except (ssl.SSLError, OSError):
        raw.close()
    check(logged(log, "TLS: the server certificate cannot be used; implicit FTPS connection "
                      "from 127.0.0.1 closed."), "damaged certificate logged")


def port_taken(build_dir):
    with FtpServerEnv(build_dir) as env, socket.socket() as holder:
        env.implicit_port = free_port()
        holder.bind(("127.0.0.1", env.implicit_port))
        holder.listen()
        write_options(env, "")
        log = os.path.join(env.root, "taken.log")
        notify = NotifySocket(env.root)
        env.start(stdout_path=log, wait=False, env={"NOTIFY_SOCKET": notify.path})
        failure = "Server cannot run on implicit FTPS port %d. Address already in use." % (
            env.implicit_port)
        line, _ = notify.wait_for("STATUS=", 30)
        check(line == "STATUS=" + failure, "the service manager hears the failure: %r" % line)
        try:
            status = env.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            status = None
        env.proc = None
        check(status == 1, "a taken implicit port stops the start (status %r)" % status)
        check(not any("READY=1" in m for m in notify.messages), "no readiness without the port")
        check(logged(log, failure), "taken implicit port logged")


def main():
    build_dir = sys.argv[1]
    with FtpServerEnv(build_dir) as env:
        env.implicit_port = free_port()
        write_options(env, "")
        log = os.path.join(env.root, "server.log")
        notify = NotifySocket(env.root)
        env.start(stdout_path=log, env={"NOTIFY_SOCKET": notify.path})
        line, _ = notify.wait_for("STATUS=Serving", 10)
        check(line == "STATUS=Serving port %d and implicit FTPS port %d: 0 sessions."
              % (env.port, env.implicit_port), "status line: %r" % line)
        # Unread, the socket's queue would fill and hold up the server's notifications.
        notify.sock.close()
        os.unlink(notify.path)
        check(logged(log, "Implicit FTPS (TLS from the first byte) on port %d."
                     % env.implicit_port), "implicit port announced")
        curl_implicit(env, "curl")
        lftp_clients(env)
        implicit_commands(env)
        hostile_clients(env, log)
        require_reuse(env, log)
        policies(env, log)
        moved_port(env, log)
        shared_limits(env, log)
        damaged_certificate(env, log)
    port_taken(build_dir)
    return exit_status("all implicit FTPS and RequireReuse checks passed")


if __name__ == "__main__":
    sys.exit(main())
