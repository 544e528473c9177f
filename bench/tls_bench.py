"""Explicit FTPS of tarvona-server and vsftpd side by side on loopback, in one run:
1 GiB RETR and STOR over TLS (curl --ssl-reqd), 2000 sequential 4 KiB RETRs in one
TLS session (ftplib FTP_TLS and this build's compiled bench_ftps_client, PROT P, every
data connection resuming the session) and whole TLS logins per second (bench_ftps_client:
connect, AUTH TLS, USER, PASS, QUIT). The same server's plain rates (curl without TLS,
bench_small_files) are taken in the same rounds, so the TLS/plain ratio is of one run.
vsftpd runs with ssl_enable=YES and require_ssl_reuse=YES; both use a P-256 ECDSA
certificate. Standard library plus the curl and openssl commands.
Usage: tls_bench.py BUILD_DIR [--quick]

--quick: one round of a 16 MiB file and 200 small files, a check that the script runs
rather than a figure; vsftpd is skipped with a line saying so when it is not installed or
the script is not root."""
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
import benchlib  # noqa: E402

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


def compiled_small_files(build_dir, server, count):
    path = server.dir + "small/s%04d.bin"
    if server.curl_options:
        args = [os.path.join(build_dir, "bench", "bench_ftps_client"), "small"]
    else:
        args = [os.path.join(build_dir, "bench", "bench_small_files")]
    return compiled_client(server, args + [str(server.port), server.user, server.password,
                                           path, str(count), "4096"])


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
    quick = "--quick" in sys.argv
    runs = 1 if quick else 3
    sizes = benchlib.Sizes(quick)
    peer_missing = ("not root" if os.geteuid() != 0 else
                    "/usr/sbin/vsftpd not installed" if not os.access("/usr/sbin/vsftpd", os.X_OK)
                    else "the user %s is in use by another run" % LOCAL_USER
                    if benchlib.user_busy(LOCAL_USER) else None)
    if peer_missing and not quick:
        raise SystemExit("vsftpd: %s (run as root: vsftpd logs in a local system user)"
                         % peer_missing)
    work = tempfile.mkdtemp(prefix="tarvona-tls-bench-")  # /tmp: every user reaches it
    os.chmod(work, 0o755)
    results, versions = {}, {}
    # Both servers are stopped however the run ends.
    with contextlib.ExitStack() as running:
        running.callback(shutil.rmtree, work, ignore_errors=True)
        big = make_big_file(work, sizes.big)
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        make_certificate(cert, key, "localhost").check_returncode()
        env = running.enter_context(FtpServerEnv(build_dir, quiet=True))
        with open(env.prog + "option.ini", "w") as f:
            # Policy 0 serves the plain rows too; PROT P data connections must still
            # resume the control session (RequireReuse=1, the default).
            f.write("[Server]\ntimeout=10\nMinPort=40000\nMaxPort=44999\n"
                    "[TLS]\nPolicy=0\nCertificateFile=%s\nKeyFile=%s\n" % (cert, key))
        fill(env.home, big, sizes)
        env.start()
        tarvona, plain = Tarvona(env), PlainTarvona(env)
        tls_servers, with_plain = [tarvona], [tarvona, plain]

        if peer_missing:
            benchlib.skip("vsftpd", peer_missing)
        else:
            vroot = os.path.join(work, "vsftpd-root")
            os.makedirs(vroot)
            fill(vroot, big, sizes)
            password = local_user(vroot)
            subprocess.run(["chown", "-R", LOCAL_USER, vroot], check=True)
            peer = running.enter_context(vsftpd(work, vroot, password, extra=(
                "ssl_enable=YES", "require_ssl_reuse=YES", "force_local_logins_ssl=YES",
                "force_local_data_ssl=YES", "ssl_ciphers=HIGH",
                "rsa_cert_file=" + cert, "rsa_private_key_file=" + key)))
            tls_servers.append(peer)
            with_plain.append(peer)
        for server in tls_servers:
            server.curl_options = TLS_CURL
        os.sync()

        def small(server):
            rate, versions[server.name] = small_files(server, sizes.small_files)
            return rate

        for name, servers, measure in (
                ("retr", with_plain, retr_rate), ("stor", with_plain, lambda s: stor_rate(s, big)),
                ("small", tls_servers, small),
                ("compiled", with_plain, lambda s: compiled_small_files(build_dir, s, sizes.small_files)),
                ("logins", tls_servers, lambda s: tls_logins(build_dir, s))):
            for label, value in rotate(servers, runs, measure).items():
                results[(label, name)] = value

    print("TLS: tarvona %s; vsftpd %s" % (versions.get("tarvona"), versions.get("vsftpd")))
    print("| Measurement over TLS | tarvona-server | vsftpd | tarvona / vsftpd "
          "| tarvona plain | TLS / plain |")
    print("|---|---|---|---|---|---|")
    for name, what, unit in (("retr", "RETR " + sizes.big_label(), "MB/s"),
                             ("stor", "STOR " + sizes.big_label(), "MB/s"),
                             ("small", "%d sequential 4 KiB RETRs, ftplib" % sizes.small_files,
                              "files/s"),
                             ("compiled", "%d sequential 4 KiB RETRs, compiled client"
                              % sizes.small_files, "files/s"),
                             ("logins", "logins (connect, AUTH TLS, USER, PASS, QUIT)",
                              "per s")):
        t, v = results[("tarvona", name)], results.get(("vsftpd", name))
        p = results.get(("tarvona-plain", name))
        peer_cells = "%s | %.2fx" % (pair(v), t[1] / v[1]) if v else "— | —"
        plain_cells = "%s | %.2fx" % (pair(p), t[1] / p[1]) if p else " | "
        print("| %s, best / median of %d (%s) | %s | %s | %s |"
              % (what, runs, unit, pair(t), peer_cells, plain_cells))
    return 0


if __name__ == "__main__":
    sys.exit(main())
