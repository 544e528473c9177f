"""The administration API's TLS listener against the tarvona-server binary, with
http.client and ssl (the certificate pinned by its SHA-256) as the client: sign-in
refused until `tarvona-admin admin-password` sets the password, HTTP Basic and bearer
tokens, 401 without credentials, TLS 1.1 refused, a silent handshake dropped, the
[Admin] options over the API (hash left out), `tarvona-admin --server` with a pinned,
a wrong and a first-contact fingerprint, its account and IP commands printing what the
file mode prints, a listen address that cannot be bound, and wrong passwords banning
the address for the API and for FTP alike.

    admin_listener.py BUILD_DIR
"""
import base64
import ftplib
import hashlib
import http.client
import json
import os
import socket
import ssl
import stat
import subprocess
import sys
import time
import warnings

from api_accounts import admin_runs, compare_runs, logs_in, shown
from ftp_server_env import FtpServerEnv, check, exit_status, free_port, run, wait_for_port

PASSWORD = "s3cret admin"


def fingerprint_of(der):
    digest = hashlib.sha256(der).hexdigest().upper()
    return ":".join(digest[i:i + 2] for i in range(0, 64, 2))


class Listener:
    """Requests to the listener over a fresh TLS connection each, pinned to `pin`."""

    def __init__(self, port, pin):
        self.port, self.pin = port, pin

    def context(self):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE  # the pin below replaces the authorities
        return context

    def request(self, method, path, headers=None, body=None):
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, timeout=15,
                                                 context=self.context())
        try:
            connection.connect()
            seen = fingerprint_of(connection.sock.getpeercert(binary_form=True))
            if seen != self.pin:
                raise RuntimeError("certificate %s is not the pinned %s" % (seen, self.pin))
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            text = response.read().decode()
            return response.status, dict(response.getheaders()), text
        finally:
            connection.close()


def basic(password, user="admin"):
    token = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
    return {"Authorization": "Basic " + token}


def error_of(text):
    try:
        return json.loads(text).get("error", "")
    except ValueError:
        return ""


def set_password(env, password):
    result = run(env.admin_command("admin-password"), input=(password + "\n").encode())
    check(result.returncode == 0, "admin-password: %s" % result.stderr.decode())
    mode = stat.S_IMODE(os.stat(env.prog + "option.ini").st_mode)
    check(mode == 0o600, "option.ini holding the hash is 0600, not %o" % mode)
    with open(env.prog + "option.ini") as f:
        check("PasswordHash=$y$" in f.read(), "a yescrypt hash is stored")


def check_credentials(api):
    status, headers, text = api.request("GET", "/api/v1/sessions")
    check(status == 401 and "Basic" in headers.get("WWW-Authenticate", ""),
          "no credentials: 401 with a challenge (%d %s)" % (status, headers))
    status, _, text = api.request("GET", "/api/v1/sessions", basic(PASSWORD))
    check(status == 200, "Basic admin: %d %s" % (status, text))
    status, _, text = api.request("GET", "/api/v1/options", basic(PASSWORD))
    options = json.loads(text).get("options", {}) if status == 200 else {}
    check(options.get("Listen") and "Admin.CertificateFile" in options and
          "CertificateFile" in options and not any("PasswordHash" in k for k in options),
          "options: [Admin] keys apart from [TLS]'s, the hash left out: %s" % sorted(options))
    status, _, text = api.request("POST", "/api/v1/signin", basic(PASSWORD))
    check(status == 200, "sign-in with Basic: %d %s" % (status, text))
    token = json.loads(text).get("token", "") if status == 200 else ""
    bearer = {"Authorization": "Bearer " + token}
    status, _, _ = api.request("GET", "/api/v1/sessions", bearer)
    check(status == 200, "the token opens: %d" % status)
    status, _, _ = api.request("POST", "/api/v1/signout", bearer)
    check(status == 204, "sign-out: %d" % status)
    status, _, _ = api.request("GET", "/api/v1/sessions", bearer)
    check(status == 401, "a revoked token is refused: %d" % status)
    status, _, text = api.request("POST", "/api/v1/signin", {"Content-Type": "application/json"},
                                  json.dumps({"password": PASSWORD}))
    check(status == 200 and len(json.loads(text).get("token", "")) == 64,
          "sign-in with a JSON password: %d %s" % (status, text))
    status, _, _ = api.request("GET", "/api/v1/sessions", {"Authorization": "Bearer " + "0" * 64})
    check(status == 401, "an unknown token is refused: %d" % status)


def check_old_tls_refused(port):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    try:
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1_1
    except (ValueError, ssl.SSLError):
        pass
    connection = http.client.HTTPSConnection("127.0.0.1", port, timeout=10, context=context)
    try:
        connection.connect()
        check(False, "a TLS 1.1 handshake is refused")
    except ssl.SSLError as e:
        # The server's refusal, not one of this client's own.
        check("PROTOCOL_VERSION" in str(e), "TLS 1.1 refused by the server: %s" % e)
    finally:
        connection.close()


def check_silent_handshake_ends(port):
    """A client that connects and never starts TLS is dropped within the request's 10 s."""
    start = time.monotonic()
    with socket.create_connection(("127.0.0.1", port), timeout=30) as silent:
        try:
            ended = silent.recv(1) == b""
        except OSError:
            ended = True
    waited = time.monotonic() - start
    check(ended and waited < 20, "a silent handshake is dropped (after %.1f s)" % waited)


def remote_admin(env, port, *args, home):
    command = [os.path.join(env.build_dir, "app", "tarvona-admin"),
               "--server", "https://127.0.0.1:%d" % port, *args]
    environment = dict(os.environ, TARVONA_ADMIN_PASSWORD=PASSWORD, XDG_CONFIG_HOME=home)
    return run(command, timeout=30, env=environment, stdin=subprocess.DEVNULL)


def check_remote_tarvona_admin(env, port, pin):
    home = os.path.join(env.root, "config")
    result = remote_admin(env, port, "--fingerprint", pin, "sessions", home=home)
    check(result.returncode == 0, "--server with the fingerprint: %s" % result.stderr.decode())
    wrong = "AA:" * 31 + "AA"
    result = remote_admin(env, port, "--fingerprint", wrong, "sessions", home=home)
    check(result.returncode != 0 and b"fingerprint" in result.stderr,
          "a wrong fingerprint is refused: %s" % result.stderr.decode())
    # Trust on first use: remembered 0600, and a changed certificate is refused.
    result = remote_admin(env, port, "sessions", home=home)
    known = os.path.join(home, "tarvona", "known_servers")
    check(result.returncode == 0 and os.path.exists(known),
          "first contact is remembered: %s" % result.stderr.decode())
    if os.path.exists(known):
        check(stat.S_IMODE(os.stat(known).st_mode) == 0o600, "known_servers is 0600")
        with open(known, "w") as f:
            f.write("127.0.0.1:%d %s\n" % (port, wrong))
    result = remote_admin(env, port, "sessions", home=home)
    check(result.returncode != 0 and b"CHANGED" in result.stderr,
          "a changed certificate is refused: %s" % result.stderr.decode())


def check_remote_accounts(env, port, pin):
    """The account and IP commands through --server print and exit as on the files of a
    directory made alike; an account made so logs in at once; db and admin-password
    are refused; an unreachable --server is an error, not a turn to the local files."""
    home = os.path.join(env.root, "config")
    runner = lambda args: remote_admin(env, port, "--fingerprint", pin, *args, home=home)
    with FtpServerEnv(env.build_dir) as files:
        compare_runs(admin_runs(env, runner), admin_runs(files), "through --server")
    result = runner(["user", "add", "frank", "--password", "pw", "--home", env.home])
    check(result.returncode == 0 and logs_in(env, "frank", "pw"),
          "an account added through --server logs in at once: %s" % result.stderr.decode())
    shown_remote = [runner(args).stdout for args in (["user", "show", "frank"], ["user", "list"])]
    for args in (["db", "check", env.prog + "user.sdb"], ["admin-password"]):
        result = runner(args)
        check(result.returncode == 2 and result.stderr.startswith(b"tarvona-admin: " +
                                                                  args[0].encode() + b" works"),
              "%s is refused with --server: %s" % (args[0], result.stderr.decode()))
    result = remote_admin(env, free_port(), "--dir", env.prog, "--fingerprint", pin, "user",
                          "list", home=home)
    check(result.returncode == 1 and not result.stdout,
          "an unreachable --server is an error: %d %s" % (result.returncode, result.stdout))
    return shown_remote


def check_shared_ban(env, api):
    statuses, took = [], []
    for _ in range(3):
        start = time.monotonic()
        statuses.append(api.request("GET", "/api/v1/sessions", basic("wrong"))[0])
        took.append(time.monotonic() - start)
    check(statuses == [401, 401, 429], "two refusals, then the ban: %s" % statuses)
    check(min(took) >= 0.3, "each refusal waits FailDelay: %s" % took)
    status, headers, _ = api.request("POST", "/api/v1/signin", basic(PASSWORD))
    check(status == 429 and "Retry-After" in headers,
          "a banned address is refused even with the right password: %d" % status)
    try:
        ftplib.FTP().connect("127.0.0.1", env.port, timeout=10)
        check(False, "the FTP port refuses the banned address too")
    except ftplib.error_temp as e:
        check(str(e).startswith("421"), "FTP refusal of the banned address: %s" % e)


def main():
    build_dir = sys.argv[1]
    with FtpServerEnv(build_dir) as env:
        port = free_port()
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Security]\nBanAttempts=3\nFailDelay=300\n[Admin]\n"
                    "Listen=127.0.0.1:%d,127.0.0.1:%d\n" % (port, port))
        os.chmod(env.prog + "option.ini", 0o644)
        log = os.path.join(env.root, "stdout.log")
        env.start(stdout_path=log)
        check(wait_for_port(port), "the listener is up")
        pin = fingerprint_of(ssl.PEM_cert_to_DER_cert(open(env.prog + "tls-cert.pem").read()))
        api = Listener(port, pin)
        status, _, text = api.request("POST", "/api/v1/signin", basic(PASSWORD))
        check(status == 401 and "admin-password" in error_of(text),
              "no password set: 401 naming admin-password (%d %s)" % (status, text))
        set_password(env, PASSWORD)
        check_credentials(api)
        check_old_tls_refused(port)
        check_silent_handshake_ends(port)
        check_remote_tarvona_admin(env, port, pin)
        shown_remote = check_remote_accounts(env, port, pin)
        check_shared_ban(env, api)
        env.stop()
        shown_files = [run(env.admin_command(*args)).stdout
                       for args in (["user", "show", "frank"], ["user", "list"])]
        check([shown(t, env.home) for t in shown_remote] ==
              [shown(t, env.home) for t in shown_files],
              "user show and list through --server print what they print on the stopped "
              "server's files: %s / %s" % (shown_remote, shown_files))
        with open(log) as f:
            text = f.read()
        check("Administration API cannot listen on 127.0.0.1:%d" % port in text,
              "the second, unbindable address is logged")
        check("Login failed from 127.0.0.1 for user" in text, "wrong admin passwords are logged")
    return exit_status("admin listener: all checks passed")


if __name__ == "__main__":
    sys.exit(main())
