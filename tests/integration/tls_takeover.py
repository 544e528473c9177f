"""Another client at the victim's address tries to take over a PROT P data connection:
a thief that makes a full TLS handshake on the victim's passive port must get no
resumable session out of it (no TLS 1.2 ticket, no cache entry, no TLS 1.3 ticket), and
its later resumption must neither read the victim's download nor write its upload. The
victim's own resumptions (TLS 1.3 tickets, TLS 1.2 tickets and session IDs) keep working.
lftp trusts the generated certificate through ssl:ca-file alone, by address and by name.
Then a certificate path that has become a FIFO: AUTH TLS is refused at once and the
server still stops promptly. Usage: tls_takeover.py BUILD_DIR"""
import ftplib
import io
import os
import signal
import socket
import ssl
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import (FtpServerEnv, check, exit_status, lftp,  # noqa: E402
                            loopback_addresses, pattern, read, write)
from tls_clients import ResumingFtpTls  # noqa: E402

SECRET = pattern(300000, 21)
THIEF_BYTES = b"thief" * 1000


def client_context(version, tickets=True):
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    context.minimum_version = context.maximum_version = version
    if not tickets:
        context.options |= ssl.OP_NO_TICKET  # TLS 1.2 resumption by session ID only
    return context


def victim_session(env, context):
    victim = ResumingFtpTls(context=context)
    victim.connect("127.0.0.1", env.port, timeout=20)
    victim.auth()
    victim.login(env.user, env.password)
    victim.prot_p()
    return victim


def take_data_connection(victim, context, session, command):
    """The thief connects to the victim's passive port first (with `session` to resume,
    or none) while the victim runs `command`. Returns the thief's TLS session, whether
    it was resumed, the bytes it read and the victim's final reply."""
    port = victim.makepasv()[1]
    raw = socket.create_connection(("127.0.0.1", port), timeout=10)
    try:
        thief = context.wrap_socket(raw, session=session)
        reused = thief.session_reused
    except (ssl.SSLError, OSError):
        raw.close()
        thief, reused = None, False
    got = bytearray()

    def steal():
        if thief is None:
            return
        try:
            if command.startswith("STOR"):
                thief.sendall(THIEF_BYTES)
                thief.unwrap()
            while chunk := thief.recv(65536):
                got.extend(chunk)
        except (ssl.SSLError, OSError):
            pass

    reader = threading.Thread(target=steal)
    reader.start()
    try:
        victim.sendcmd(command)
        reply = victim.getresp()
    except ftplib.Error as error:
        reply = str(error)
    reader.join(20)
    if thief is None:
        return None, False, bytes(got), reply
    result = thief.session, reused, bytes(got), reply
    thief.close()
    return result


def takeover(env, victim_context, thief_context, tag):
    write(env.path("secret.bin"), SECRET)
    victim = victim_session(env, victim_context)
    session, _, _, reply = take_data_connection(victim, thief_context, None, "RETR secret.bin")
    check(reply.startswith("522"), tag + " thief's full handshake refused: " + reply)
    check(session is None or not session.has_ticket,
          tag + " a data connection's full handshake gave the thief a ticket")
    for command in ("RETR secret.bin", "STOR secret.bin"):
        _, reused, got, reply = take_data_connection(victim, thief_context, session, command)
        check(not reused and not got and not reply.startswith("226"),
              "%s thief's resumption on %s: reused %s, %d bytes, %s" %
              (tag, command, reused, len(got), reply))
    check(read(env.path("secret.bin")) == SECRET, tag + " the victim's file is untouched")
    data = io.BytesIO()
    victim.retrbinary("RETR secret.bin", data.write)
    check(data.getvalue() == SECRET, tag + " the victim's own resumption still downloads")
    victim.storbinary("STOR back.bin", io.BytesIO(SECRET))
    check(read(env.path("back.bin")) == SECRET, tag + " the victim's own upload")
    victim.quit()


def generated_certificate_trusted(env):
    """The first-start certificate names the loopback addresses and localhost: lftp
    verifies it with nothing but ssl:ca-file."""
    write(env.path("listed.txt"), b"x")
    settings = ["set net:max-retries 1", "set net:timeout 10", "set ftp:ssl-force yes",
                "set ftp:ssl-protect-data yes", "set ssl:ca-file " + env.prog + "tls-cert.pem"]
    for host in [*loopback_addresses(), "localhost"]:
        r = lftp(env, host, settings, ["cls"], debug=False)
        check(r.returncode == 0 and b"listed.txt" in r.stdout,
              "lftp verifies the generated certificate over %s: %s" % (host, r.stderr.decode()))


def certificate_fifo(env):
    cert = env.prog + "tls-cert.pem"
    os.unlink(cert)
    os.mkfifo(cert)
    for attempt in range(2):
        started = time.monotonic()
        ftp = ftplib.FTP(timeout=10)
        ftp.connect("127.0.0.1", env.port)
        try:
            reply = ftp.sendcmd("AUTH TLS")
        except (ftplib.Error, OSError) as error:
            reply = str(error)
        check(reply.startswith("431") and time.monotonic() - started < 5,
              "AUTH TLS %d with a FIFO certificate: %s after %.1f s" %
              (attempt, reply, time.monotonic() - started))
        ftp.close()
    started = time.monotonic()
    env.proc.send_signal(signal.SIGTERM)
    try:
        env.proc.wait(timeout=5)
    except Exception:
        pass
    check(env.proc.poll() is not None and time.monotonic() - started < 5,
          "the server stops within 5 s after AUTH TLS met a FIFO")


def main():
    build_dir = sys.argv[1]
    v12, v13 = ssl.TLSVersion.TLSv1_2, ssl.TLSVersion.TLSv1_3
    with FtpServerEnv(build_dir) as env:
        env.start()
        takeover(env, client_context(v13), client_context(v12), "victim 1.3, thief 1.2:")
        takeover(env, client_context(v12), client_context(v13), "victim 1.2, thief 1.3:")
        takeover(env, client_context(v12, tickets=False), client_context(v12, tickets=False),
                 "session IDs, thief 1.2:")
        generated_certificate_trusted(env)
        certificate_fifo(env)
    return exit_status("no data connection taken over; a FIFO certificate is refused at once")


if __name__ == "__main__":
    sys.exit(main())
