"""The server's own certificate from an ACME CA: Debian's pebble on loopback (its names
resolved to 127.0.0.1 by pebble-challtestsrv), answered over HTTP-01 by the server's
challenge listener. The certificate is issued at start and served to openssl s_client
and curl (verified against pebble's root, over explicit and implicit FTPS), the listener
is closed afterwards, a restart keeps a certificate that is still fresh, a short-lived
one is renewed without a restart, a CA that refuses the names leaves the old certificate
in use, and a stop does not wait for a CA that never answers.
Usage: acme_pebble.py BUILD_DIR"""
import json
import os
import re
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import (FAILURES, FtpServerEnv, check, exit_status, free_port,  # noqa: E402
                            run)

NAMES = ["a.example", "b.example"]
# Short enough that a renewal (a third of the lifetime left) comes within the test.
VALIDITY_SECONDS = 30


class Pebble:
    """pebble and pebble-challtestsrv on loopback, with a TLS certificate of their own
    for the directory, stopped however the test ends."""

    def __init__(self, root):
        self.root = root
        self.dir_port, self.mgmt_port, self.dns_port, self.http_port = (
            free_port(), free_port(), free_port(), free_port())
        self.tls_ca = os.path.join(root, "pebble-tls.pem")
        key = os.path.join(root, "pebble-tls-key.pem")
        run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
             "-nodes", "-days", "2", "-subj", "/CN=localhost", "-keyout", key, "-out", self.tls_ca,
             "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"], check=True)
        config = {"pebble": {
            "listenAddress": "127.0.0.1:%d" % self.dir_port,
            "managementListenAddress": "127.0.0.1:%d" % self.mgmt_port,
            "certificate": self.tls_ca, "privateKey": key,
            "httpPort": self.http_port, "tlsPort": free_port(),
            "ocspResponderURL": "", "externalAccountBindingRequired": False,
            "domainBlocklist": ["blocked.example"],
            "certificateValidityPeriod": VALIDITY_SECONDS}}
        config_path = os.path.join(root, "pebble.json")
        with open(config_path, "w") as f:
            json.dump(config, f)
        self.log = open(os.path.join(root, "pebble.log"), "wb")
        self.dns = subprocess.Popen(
            ["pebble-challtestsrv", "-defaultIPv4", "127.0.0.1", "-defaultIPv6", "",
             "-dns01", "127.0.0.1:%d" % self.dns_port, "-http01", "", "-https01", "",
             "-tlsalpn01", "", "-management", "127.0.0.1:%d" % free_port()],
            stdout=self.log, stderr=subprocess.STDOUT)
        # Every tenth nonce is refused, so that the client's badNonce retry is used.
        env = {**os.environ, "PEBBLE_VA_NOSLEEP": "1", "PEBBLE_WFE_NONCEREJECT": "10"}
        self.ca = subprocess.Popen(
            ["pebble", "-config", config_path, "-dnsserver", "127.0.0.1:%d" % self.dns_port],
            stdout=self.log, stderr=subprocess.STDOUT, env=env)
        self.directory = "https://127.0.0.1:%d/dir" % self.dir_port
        self.issuer_root = os.path.join(root, "pebble-root.pem")
        context = ssl.create_default_context(cafile=self.tls_ca)
        for _ in range(100):
            try:
                with urllib.request.urlopen("https://127.0.0.1:%d/roots/0" % self.mgmt_port,
                                            context=context, timeout=2) as reply:
                    with open(self.issuer_root, "wb") as f:
                        f.write(reply.read())
                return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("pebble did not start")

    def stop(self):
        for proc in (self.ca, self.dns):
            proc.terminate()
            proc.wait(timeout=10)
        self.log.close()


def configure(env, pebble, names, directory=None):
    env.implicit_port = free_port()
    with open(env.prog + "option.ini", "w") as f:
        f.write("[TLS]\nImplicitPort=%d\n" % env.implicit_port)
        f.write("[ACME]\nDomains=%s\nDirectory=%s\nEmail=admin@a.example\nHttpPort=%d\n"
                "DirectoryCaFile=%s\n" % (", ".join(names), directory or pebble.directory,
                                          pebble.http_port, pebble.tls_ca))


def wait_for_line(path, pattern, count=1, deadline=45.0):
    """The `count`th log line that matches `pattern`, or None when it has not come."""
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        with open(path, errors="replace") as f:
            found = [line for line in f if re.search(pattern, line)]
        if len(found) >= count:
            return found[count - 1]
        time.sleep(0.2)
    return None


def served_certificate(env, name):
    """What a new AUTH TLS gets: (verified against pebble's root for `name`, the PEM)."""
    result = run(["openssl", "s_client", "-starttls", "ftp", "-connect", "127.0.0.1:%d" % env.port,
                  "-CAfile", env.ca_root, "-verify_hostname", name, "-verify_return_error"],
                 input=b"", timeout=30)
    out = result.stdout.decode(errors="replace")
    pem = re.search(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----", out, re.S)
    return "Verify return code: 0 (ok)" in out, pem.group(0) if pem else ""


def first_pem(path):
    with open(path) as f:
        return re.search(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----", f.read(),
                         re.S).group(0)


def refused(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2):
            return False
    except ConnectionRefusedError:
        return True


def issue_and_renew(env, pebble, log):
    env.ca_root = pebble.issuer_root
    line = wait_for_line(log, r"ACME: certificate for a\.example, b\.example issued by .*"
                              r"valid until .*; used from the next AUTH TLS")
    check(line is not None, "the certificate is issued at start")
    if line is None:
        return
    issued = env.prog + "acme-cert.pem"
    check(os.stat(issued).st_mode & 0o777 == 0o600, "acme-cert.pem is 0600")
    check(os.stat(env.prog + "acme-account.pem").st_mode & 0o777 == 0o600,
          "the account key is 0600")
    verified, pem = served_certificate(env, "b.example")
    check(verified and pem == first_pem(issued), "s_client verifies the issued certificate")
    listing = run(["curl", "-sS", "--ssl-reqd", "--cacert", pebble.issuer_root, "--resolve",
                   "a.example:%d:127.0.0.1" % env.port, "-u", "%s:%s" % (env.user, env.password),
                   "ftp://a.example:%d/" % env.port], timeout=30)
    check(listing.returncode == 0, "curl lists over verified FTPS: %s" % listing.stderr[-300:])
    listing = run(["curl", "-sS", "--cacert", pebble.issuer_root, "--resolve",
                   "a.example:%d:127.0.0.1" % env.implicit_port, "-u",
                   "%s:%s" % (env.user, env.password), "ftps://a.example:%d/" % env.implicit_port],
                  timeout=30)
    check(listing.returncode == 0,
          "curl lists over verified implicit FTPS: %s" % listing.stderr[-300:])
    check(refused(pebble.http_port), "the challenge listener is closed after the order")

    # A restart with a certificate that is still fresh orders nothing.
    env.stop()
    env.start(stdout_path=log)
    check(wait_for_line(log, r"ACME: certificate .*acme-cert\.pem .*renewal at", deadline=15)
          is not None, "a fresh certificate is kept at start, its renewal scheduled")
    ordered = sum(1 for entry in open(log) if "ACME: ordering" in entry)
    check(ordered == 1, "no order at the restart (%d orders)" % ordered)

    # Renewed when a third of its lifetime is left, without a restart.
    before = first_pem(issued)
    check(wait_for_line(log, r"issued by", count=2, deadline=VALIDITY_SECONDS + 15) is not None,
          "the certificate is renewed while the server runs")
    verified, pem = served_certificate(env, "a.example")
    check(verified and pem != before and pem == first_pem(issued),
          "a new AUTH TLS gets the renewed certificate")
    check(refused(pebble.http_port), "the challenge listener is closed after the renewal")


def refused_order(build_dir, pebble, old_certificate):
    """A CA that refuses a name: the error with the CA's reason and the next attempt is
    logged and the certificate in place is still served."""
    with FtpServerEnv(build_dir) as env:
        env.ca_root = pebble.issuer_root
        configure(env, pebble, ["blocked.example"])
        with open(env.prog + "acme-cert.pem", "w") as f:
            f.write(old_certificate)
        os.chmod(env.prog + "acme-cert.pem", 0o600)
        log = os.path.join(env.root, "server.log")
        env.start(stdout_path=log)
        line = wait_for_line(log, r"ACME: no certificate for blocked\.example: .*"
                                  r"rejectedIdentifier.*next attempt at", deadline=20)
        check(line is not None, "the refusal is logged with the CA's reason and the next attempt")
        print(line.strip() if line else "")
        verified, pem = served_certificate(env, "a.example")
        check(verified and pem == first_pem(env.prog + "acme-cert.pem"),
              "the earlier certificate is still served after the refusal")


def stop_during_order(build_dir, pebble):
    """A CA that accepts the connection and never answers: the server's stop cancels the
    order at once instead of waiting for the request's time-out."""
    with socket.socket() as silent, FtpServerEnv(build_dir) as env:
        silent.bind(("127.0.0.1", 0))
        silent.listen(8)
        configure(env, pebble, ["a.example"],
                  "https://127.0.0.1:%d/dir" % silent.getsockname()[1])
        log = os.path.join(env.root, "server.log")
        env.start(stdout_path=log)
        check(wait_for_line(log, r"ACME: ordering", deadline=10) is not None, "the order begins")
        time.sleep(0.5)  # inside the request to the silent CA
        begun = time.monotonic()
        env.stop()
        check(time.monotonic() - begun < 5, "the stop ends the pending order within 5 s (took "
              "%.1f s)" % (time.monotonic() - begun))


def main():
    root = tempfile.mkdtemp(prefix="tarvona-acme-")
    pebble = Pebble(root)
    try:
        with FtpServerEnv(sys.argv[1]) as env:
            configure(env, pebble, NAMES)
            log = os.path.join(env.root, "server.log")
            env.start(stdout_path=log)
            issue_and_renew(env, pebble, log)
            env.stop()
            with open(env.prog + "acme-cert.pem") as f:
                old_certificate = f.read()
            if FAILURES:
                with open(log, errors="replace") as f:
                    print(f.read()[-3000:])
        refused_order(sys.argv[1], pebble, old_certificate)
        stop_during_order(sys.argv[1], pebble)
    finally:
        pebble.stop()
        shutil.rmtree(root, ignore_errors=True)
    return exit_status("acme_pebble: all checks passed")


if __name__ == "__main__":
    sys.exit(main())
