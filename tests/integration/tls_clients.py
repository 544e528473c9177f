"""Explicit FTPS against tarvona-server with real clients, over IPv4 and IPv6: curl
(--ssl-reqd; --ftp-ssl-control for clear data), lftp (ftp:ssl-force,
ftp:ssl-protect-data; also in active mode) and Python's ftplib FTP_TLS with prot_p(), each logging in,
listing (LIST, MLSD), uploading, downloading and resuming; a 24 MiB download to a
client that pauses and a 24 MiB upload arrive whole. Then what must be refused:
a data connection that does not resume the control session, plain login under the
"TLS required" policy, PROT before PBSZ, a client that stalls in the handshake, garbage
instead of a ClientHello, an upload without close_notify, a damaged and a replaced
certificate, and the quota over TLS.
Usage: tls_clients.py BUILD_DIR"""
import ftplib
import hashlib
import io
import os
import socket
import ssl
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import (FtpServerEnv, check, exit_status, lftp,  # noqa: E402
                            loopback_addresses, pattern, read, run, tag_of, url_host, write)

# The server's certificate is self-signed: the clients are told not to verify it.
CLIENT_CONTEXT = ssl.create_default_context()
CLIENT_CONTEXT.check_hostname = False
CLIENT_CONTEXT.verify_mode = ssl.CERT_NONE
# lftp's settings for TLS on control and data connections, the certificate unchecked.
TLS_LFTP = ["set net:max-retries 1", "set net:timeout 20", "set ftp:ssl-force yes",
            "set ftp:ssl-protect-data yes", "set ssl:verify-certificate no"]


class ResumingFtpTls(ftplib.FTP_TLS):
    """ftplib before Python 3.13 opens every data connection with a new TLS session; the
    server refuses that, so this client resumes the control connection's session."""

    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        if self._prot_p:
            conn = self.context.wrap_socket(conn, server_hostname=self.host,
                                            session=self.sock.session)
        return conn, size


def tls_ftplib(env, host, cls=ResumingFtpTls, timeout=20):
    """A client of `env` (anything with port, user and password) logged in over TLS with
    PROT P."""
    ftp = cls(context=CLIENT_CONTEXT)
    ftp.connect(host, env.port, timeout=timeout)
    ftp.auth()
    ftp.login(env.user, env.password)
    ftp.prot_p()
    return ftp


def ftplib_session(env, host, suffix=""):
    tag = tag_of("ftplib", host) + suffix
    base = "dir-" + tag
    ftp = tls_ftplib(env, host)
    status = ftp.sendcmd("STAT")
    check("Control connection: TLS (TLSv1.3" in status and "TLS (PROT P)" in status,
          tag + " STAT " + status)
    ftp.mkd(base)
    ftp.cwd(base)
    data = pattern(700000, 11)
    ftp.storbinary("STOR up.bin", io.BytesIO(data))
    check(read(env.path(base + "/up.bin")) == data, tag + " upload")
    got = io.BytesIO()
    ftp.retrbinary("RETR up.bin", got.write)
    check(got.getvalue() == data, tag + " download")
    got = io.BytesIO()
    ftp.retrbinary("RETR up.bin", got.write, rest=500000)
    check(got.getvalue() == data[500000:], tag + " resumed download")
    ftp.storbinary("STOR part.bin", io.BytesIO(data[:300000]))
    ftp.storbinary("STOR part.bin", io.BytesIO(data[300000:]), rest=300000)
    check(read(env.path(base + "/part.bin")) == data, tag + " resumed upload")
    lines = []
    ftp.retrlines("LIST", lines.append)
    check(any(line.endswith(" up.bin") for line in lines), tag + " LIST " + repr(lines))
    check({name for name, _ in ftp.mlsd()} >= {"up.bin", "part.bin"}, tag + " MLSD")
    ftp.quit()


def curl_session(env, host):
    tag = tag_of("curl", host)
    base = "dir-" + tag
    local = os.path.join(env.root, tag + ".bin")
    data = pattern(600000, 12)
    write(local, data)
    url = "ftp://%s:%s@%s:%d/" % (env.user, env.password, url_host(host), env.port)
    curl = ["curl", "-sS", "--max-time", "30", "--insecure", "--ssl-reqd"]
    r = run(curl + ["-Q", "MKD " + base, url])
    check(r.returncode == 0, tag + " login " + r.stderr.decode())
    r = run(curl + ["-T", local, url + base + "/up.bin"])
    check(r.returncode == 0 and read(env.path(base + "/up.bin")) == data,
          tag + " upload " + r.stderr.decode())
    out = os.path.join(env.root, tag + ".down")
    r = run(curl + ["-o", out, url + base + "/up.bin"])
    check(r.returncode == 0 and read(out) == data, tag + " download " + r.stderr.decode())
    write(out, data[:123456])
    r = run(curl + ["-C", "-", "-o", out, url + base + "/up.bin"])
    check(r.returncode == 0 and read(out) == data, tag + " resumed download")
    r = run(curl + [url + base + "/"])
    check(r.returncode == 0 and b"up.bin" in r.stdout, tag + " LIST " + r.stderr.decode())
    # Encrypted login and commands, clear data (PROT C).
    r = run(["curl", "-sS", "--max-time", "30", "--insecure", "--ftp-ssl-control",
             "-o", out, url + base + "/up.bin"])
    check(r.returncode == 0 and read(out) == data, tag + " clear-data download " +
          r.stderr.decode())


def lftp_session(env, host):
    tag = tag_of("lftp", host)
    base = "dir-" + tag
    local_dir = os.path.join(env.root, tag)
    os.makedirs(local_dir)
    data = pattern(500000, 13)
    write(os.path.join(local_dir, "up.bin"), data)
    write(os.path.join(local_dir, "resume.bin"), data)
    os.makedirs(env.path(base))
    write(env.path(base + "/resume.bin"), data[:200000])
    r = lftp(env, host, TLS_LFTP, ["cd " + base, "lcd " + local_dir, "put -c resume.bin",
                                   "put up.bin", "cls -l", "mirror . mirrored"])
    log = r.stderr.decode(errors="replace")
    check(r.returncode == 0, tag + " session " + log[-800:])
    check("---> AUTH TLS" in log and "---> PROT P" in log, tag + " AUTH TLS and PROT P")
    check("---> MLSD" in log, tag + " listed with MLSD")
    check(read(os.path.join(local_dir, "mirrored", "up.bin")) == data, tag + " mirror download")
    check("---> REST 200000" in log and read(env.path(base + "/resume.bin")) == data,
          tag + " put -c")


def truncated_upload(env):
    ftp = tls_ftplib(env, "127.0.0.1")
    conn = ftp.transfercmd("STOR cut.bin")
    conn.sendall(pattern(100000, 15))
    conn.close()  # without unwrap(): no close_notify
    try:
        ftp.voidresp()
        check(False, "an upload without close_notify was reported complete")
    except ftplib.error_temp as error:
        check(str(error).startswith("426 Upload truncated"), "truncated upload: " + str(error))
    ftp.quit()


def large_transfers(env):
    """Far more than the socket buffers hold: a download whose client pauses (the
    server's writes then wait with records still queued in user space) and an upload in
    large blocks (many records per read) arrive byte for byte."""
    data = os.urandom(24 << 20)
    write(env.path("large.bin"), data)
    ftp = tls_ftplib(env, "127.0.0.1", timeout=60)
    blocks = []

    def paused_at_first(block):
        if not blocks:
            time.sleep(1.0)
        blocks.append(block)

    ftp.retrbinary("RETR large.bin", paused_at_first)
    check(b"".join(blocks) == data, "24 MiB download to a client that paused")
    ftp.storbinary("STOR large-up.bin", io.BytesIO(data), blocksize=1 << 20)
    check(read(env.path("large-up.bin")) == data, "24 MiB upload in 1 MiB blocks")
    ftp.quit()


def lftp_active(env):
    """Active mode: the server connects and is the TLS server all the same (IPv4 only:
    lftp 4.9 announces "::" in its EPRT over IPv6, which the server refuses)."""
    local = os.path.join(env.root, "active.bin")
    data = pattern(200000, 14)
    write(env.path("active-src.bin"), data)
    r = lftp(env, "127.0.0.1", TLS_LFTP + ["set ftp:passive-mode off"],
             ["get active-src.bin -o " + local, "put %s -o active-up.bin" % local], debug=False)
    check(r.returncode == 0 and read(local) == data and read(env.path("active-up.bin")) == data,
          "lftp active-mode TLS transfers " + r.stderr.decode())


def refusals(env, host):
    tag = "refusal-" + ("v6" if ":" in host else "v4")
    # Stock ftplib opens its data connections with a new TLS session.
    ftp = tls_ftplib(env, host, cls=ftplib.FTP_TLS)
    try:
        ftp.nlst()
        check(False, tag + " a data connection without resumption was served")
    except (ftplib.Error, ssl.SSLError, OSError) as error:
        check("522" in str(error) or isinstance(error, (ssl.SSLError, OSError)),
              tag + " no-resumption reply " + str(error))
    check(ftp.voidcmd("NOOP").startswith("200"), tag + " session goes on after the refusal")
    ftp.close()
    ftp = ftplib.FTP_TLS(context=CLIENT_CONTEXT)
    ftp.connect(host, env.port, timeout=20)
    ftp.auth()
    check(ftp.sendcmd("PBSZ 0") == "200 PBSZ=0", tag + " PBSZ")
    expect_refusal(ftp, "CCC", "534", tag)
    ftp.close()
    ftp = ftplib.FTP(timeout=20)
    ftp.connect(host, env.port)
    for line, code in (("PROT P", "503"), ("PBSZ 0", "503"), ("AUTH KERBEROS_V4", "504")):
        expect_refusal(ftp, line, code, tag)
    ftp.close()


def protection_changed_after_connect(env):
    """A data connection made in clear before PROT P carries nothing once P is set."""
    write(env.path("secret.txt"), b"secret bytes")
    ftp = ftplib.FTP_TLS(context=CLIENT_CONTEXT)
    ftp.connect("127.0.0.1", env.port, timeout=20)
    ftp.auth()
    ftp.login(env.user, env.password)
    ftp.voidcmd("PBSZ 0")
    data = socket.create_connection(ftp.makepasv(), timeout=20)
    time.sleep(0.5)  # the server takes the connection in clear before PROT P arrives
    ftp.voidcmd("PROT P")
    try:
        ftp.sendcmd("RETR secret.txt")
        ftp.getresp()
        check(False, "RETR under PROT P over a clear data connection was served")
    except ftplib.error_temp as error:
        check(str(error).startswith("425"), "PROT changed after connect: " + str(error))
    check(data.recv(100) == b"", "no file bytes on the clear data connection")
    data.close()
    check(ftp.voidcmd("NOOP").startswith("200"), "session goes on after the refusal")
    ftp.close()


def expect_refusal(ftp, line, code, tag):
    try:
        ftp.sendcmd(line)
        check(False, tag + " " + line + " accepted")
    except ftplib.Error as error:
        check(str(error).startswith(code), tag + " " + line + ": " + str(error))


def raw_after_auth(env, payload):
    """A control connection that sends `payload` where the ClientHello belongs."""
    s = socket.create_connection(("127.0.0.1", env.port), timeout=30)
    s.recv(200)
    s.sendall(b"AUTH TLS\r\n")
    check(s.recv(200).startswith(b"234"), "234 before the handshake")
    if payload:
        s.sendall(payload)
    return s


def closed_within(s, seconds):
    s.settimeout(seconds)
    try:
        while s.recv(4096):
            pass
        return True
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False
    finally:
        s.close()


def hostile_handshakes(env):
    stalled = raw_after_auth(env, b"\x16\x03\x01")  # a record header, then nothing
    garbage = raw_after_auth(env, b"GET / HTTP/1.0\r\n\r\n" * 20)
    check(closed_within(garbage, 5), "garbage instead of a ClientHello ends that session")
    started = time.monotonic()
    ftplib_session(env, "127.0.0.1", "-beside-stalled")  # other sessions go on meanwhile
    check(closed_within(stalled, 20), "a stalled handshake is dropped")
    check(time.monotonic() - started < 20, "the stalled handshake had a deadline")


def server_fingerprint(env):
    with socket.create_connection(("127.0.0.1", env.port), timeout=20) as s:
        s.recv(200)
        s.sendall(b"AUTH TLS\r\n")
        s.recv(200)
        with CLIENT_CONTEXT.wrap_socket(s) as t:
            return hashlib.sha256(t.getpeercert(binary_form=True)).hexdigest()


def make_certificate(cert, key, name):
    """A self-signed P-256 certificate for the common name `name`, and its key."""
    return run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                "-nodes", "-subj", "/CN=" + name, "-days", "2", "-keyout", key, "-out", cert])


def certificate_files(env):
    cert, key = env.prog + "tls-cert.pem", env.prog + "tls-key.pem"
    check(os.stat(key).st_mode & 0o777 == 0o600, "the generated key is 0600")
    first = server_fingerprint(env)
    r = make_certificate(cert + ".x", key + ".x", "replaced")
    check(r.returncode == 0, "openssl req " + r.stderr.decode())
    os.replace(key + ".x", key)
    os.replace(cert + ".x", cert)
    check(server_fingerprint(env) not in ("", first), "a replaced certificate serves at once")
    write(cert, b"-----BEGIN CERTIFICATE-----\nnot base64 at all\n")
    ftp = ftplib.FTP(timeout=20)
    ftp.connect("127.0.0.1", env.port)
    try:
        ftp.sendcmd("AUTH TLS")
        check(False, "AUTH TLS accepted with a damaged certificate")
    except ftplib.Error as error:
        check(str(error).startswith("431"), "damaged certificate: " + str(error))
    ftp.login(env.user, env.password)  # the plain policy still serves
    ftp.quit()


def required_policy(build_dir):
    with FtpServerEnv(build_dir, admin_args=("--quota", "10")) as env:
        write(env.prog + "option.ini", b"[TLS]\nPolicy=2\n")
        env.start()
        ftp = ftplib.FTP(timeout=20)
        ftp.connect("127.0.0.1", env.port)
        try:
            ftp.login(env.user, env.password)
            check(False, "plain login under the required policy")
        except ftplib.error_perm as error:
            check(str(error).startswith("530 TLS is required"), "required policy: " + str(error))
        ftp.close()
        ftp = tls_ftplib(env, "127.0.0.1")
        try:
            ftp.prot_c()
            check(False, "PROT C under the data policy")
        except ftplib.error_perm as error:
            check(str(error).startswith("534"), "PROT C refused: " + str(error))
        check(ftp.nlst() == [], "encrypted listing under the required policy")
        try:
            ftp.storbinary("STOR big.bin", io.BytesIO(pattern(20000)))
            check(False, "an upload over TLS passed the quota")
        except ftplib.error_temp as error:
            check(str(error).startswith("452"), "quota over TLS: " + str(error))
        ftp.quit()


def main():
    build_dir = sys.argv[1]
    hosts = loopback_addresses()
    with FtpServerEnv(build_dir) as env:
        env.start()
        for host in hosts:
            ftplib_session(env, host)
            curl_session(env, host)
            lftp_session(env, host)
            refusals(env, host)
        lftp_active(env)
        truncated_upload(env)
        large_transfers(env)
        protection_changed_after_connect(env)
        hostile_handshakes(env)
        certificate_files(env)
    required_policy(build_dir)
    return exit_status("all TLS checks passed over " + " and ".join(hosts))


if __name__ == "__main__":
    sys.exit(main())
