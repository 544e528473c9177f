"""Explicit FTPS of tarvona-server and vsftpd side by side on loopback, in one run:
1 GiB RETR and STOR over TLS (curl --ssl-reqd), 2000 sequential 4 KiB RETRs in one
TLS session (ftplib FTP_TLS and this build's compiled bench_ftps_client, PROT P, every
data connection resuming the session) and whole TLS logins per second (bench_ftps_client:
connect, AUTH TLS, USER, PASS, QUIT). The same server's plain rates (curl without TLS,
bench_small_files) are taken in the same rounds, so the TLS/plain ratio is of one run.
vsftpd runs with ssl_enable=YES and require_ssl_reuse=YES; both use a P-256 ECDSA
certificate. Standard library plus the curl and openssl commands.
Usage: tls_bench.py BUILD_DIR [--quick]"""
import contextlib
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
from ftp_server_env import FtpServerEnv  # noqa: E402
from tls_clients import make_certificate, tls_ftplib  # noqa: E402
from transfer_bench import (LOCAL_USER, Tarvona, fill, local_user, make_big_file, retr_rate, rotate,  # noqa: E402
                            stor_rate, vsftpd)

TLS_CURL = ("--ssl-reqd", "--insecure")
LOGIN_SECONDS = 3


class PlainTarvona(Tarvona):
    """The same tarvona-server, without TLS."""
    name = "tarvona-plain"


def compiled_client(server, args):
    """The number a bench client of this build prints for `server`."""
    out = subprocess.run(args, capture_output=True, timeout=600)
    if out.returncode != 0:
        raise RuntimeError("%s: %s" % (server.name, out.stderr.decode()))
    return float(out.stdout)


def compiled_small_files(build_dir, server):
    path = server.dir + "small/s%04d.bin"
    if server.curl_options:
        args = [os.path.join(build_dir, "bench", "bench_ftps_client"), "small"]
    else:
        args = [os.path.join(build_dir, "bench", "bench_small_files")]
    return compiled_client(server, args + [str(server.port), server.user, server.password,
                                           path, "2000", "4096"])


def tls_logins(build_dir, server):
    return compiled_client(server, [os.path.join(build_dir, "bench", "bench_ftps_client"),
                                    "logins", str(server.port), server.user, server.password,
                                    str(LOGIN_SECONDS)])


def small_files(server, count):
    ftp = tls_ftplib(server, "127.0.0.1", timeout=60)
    ftp.voidcmd("TYPE I")
    start = time.monotonic()
    for i in range(count):
        sink = io.BytesIO()
        ftp.retrbinary("RETR %ssmall/s%04d.bin" % (server.dir, i), sink.write)
        assert len(sink.getvalue()) == 4096
    elapsed = time.monotonic() - start
    version = ftp.sock.version() + " " + ftp.sock.cipher()[0]
    ftp.quit()
    return count / elapsed, version


def pair(values):
    """"best / median", with a decimal for small rates (vsftpd's logins)."""
    return " / ".join(("%.1f" if x < 10 else "%.0f") % x for x in values)


def main():
    build_dir = sys.argv[1]
    runs = 1 if "--quick" in sys.argv else 3
    if os.geteuid() != 0:
        raise SystemExit("run as root: vsftpd logs in a local system user")
    work = tempfile.mkdtemp(prefix="tarvona-tls-bench-")  # /tmp: every user reaches it
    os.chmod(work, 0o755)
    results, versions = {}, {}
    # Both servers are stopped however the run ends.
    with contextlib.ExitStack() as running:
        running.callback(shutil.rmtree, work, ignore_errors=True)
        big = make_big_file(work)
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        make_certificate(cert, key, "localhost").check_returncode()
        env = running.enter_context(FtpServerEnv(build_dir, quiet=True))
        with open(env.prog + "option.ini", "w") as f:
            # Policy 0 serves the plain rows too; PROT P data connections must still
            # resume the control session (RequireReuse=1, the default).
            f.write("[Server]\ntimeout=10\nMinPort=40000\nMaxPort=44999\n"
                    "[TLS]\nPolicy=0\nCertificateFile=%s\nKeyFile=%s\n" % (cert, key))
        fill(env.home, big)
        env.start()
        tarvona, plain = Tarvona(env), PlainTarvona(env)

        vroot = os.path.join(work, "vsftpd-root")
        os.makedirs(vroot)
        fill(vroot, big)
        password = local_user(vroot)
        subprocess.run(["chown", "-R", LOCAL_USER, vroot], check=True)
        peer = running.enter_context(vsftpd(work, vroot, password, extra=(
            "ssl_enable=YES", "require_ssl_reuse=YES", "force_local_logins_ssl=YES",
            "force_local_data_ssl=YES", "ssl_ciphers=HIGH",
            "rsa_cert_file=" + cert, "rsa_private_key_file=" + key)))
        tls_servers = [tarvona, peer]
        for server in tls_servers:
            server.curl_options = TLS_CURL
        os.sync()

        def small(server):
            rate, versions[server.name] = small_files(server, 2000)
            return rate

        with_plain = [tarvona, plain, peer]
        for name, servers, measure in (
                ("retr", with_plain, retr_rate), ("stor", with_plain, lambda s: stor_rate(s, big)),
                ("small", tls_servers, small),
                ("compiled", with_plain, lambda s: compiled_small_files(build_dir, s)),
                ("logins", tls_servers, lambda s: tls_logins(build_dir, s))):
            for label, value in rotate(servers, runs, measure).items():
                results[(label, name)] = value

    print("TLS: tarvona %s; vsftpd %s" % (versions.get("tarvona"), versions.get("vsftpd")))
    print("| Measurement over TLS | tarvona-server | vsftpd | tarvona / vsftpd "
          "| tarvona plain | TLS / plain |")
    print("|---|---|---|---|---|---|")
    for name, what, unit in (("retr", "RETR 1 GiB", "MB/s"), ("stor", "STOR 1 GiB", "MB/s"),
                             ("small", "2000 sequential 4 KiB RETRs, ftplib", "files/s"),
                             ("compiled", "2000 sequential 4 KiB RETRs, compiled client",
                              "files/s"),
                             ("logins", "logins (connect, AUTH TLS, USER, PASS, QUIT)",
                              "per s")):
        t, v = results[("tarvona", name)], results[("vsftpd", name)]
        p = results.get(("tarvona-plain", name))
        plain_cells = ("%s | %.2fx" % (pair(p), t[1] / p[1])) if p else " | "
        print("| %s, best / median of %d (%s) | %s | %s | %.2fx | %s |"
              % (what, runs, unit, pair(t), pair(v), t[1] / v[1], plain_cells))
    return 0


if __name__ == "__main__":
    sys.exit(main())
