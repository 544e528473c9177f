"""Drives tarvona-server with real FTP clients at their default settings, over IPv4
(127.0.0.1) and IPv6 (::1): curl (EPSV first), lftp (FEAT, EPSV, MLSD) and Python's
ftplib (mlsd(), EPSV and EPRT over IPv6). The IPv6 parts are skipped, with a message,
on a machine without an IPv6 loopback.
Usage: modern_clients.py BUILD_DIR"""
import ftplib
import io
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import (FtpServerEnv, check, exit_status, lftp,  # noqa: E402
                            loopback_addresses, pattern, read, run, tag_of, url_host, write)

FEATURES = [" AUTH TLS", " EPRT", " EPSV", " HASH SHA-256*;SHA-512;SHA-1;MD5;CRC32", " MDTM",
            " MFMT", " MLST type*;size*;modify*;perm*;UNIX.mode*;", " MODE Z", " PBSZ", " PROT", " REST STREAM", " SIZE", " TVFS", " UTF8"]


def ftplib_session(env, host):
    tag = tag_of("ftplib", host)
    base = "dir-" + tag
    ftp = ftplib.FTP()
    ftp.connect(host, env.port, timeout=20)
    ftp.login(env.user, env.password)
    check(ftp.sendcmd("FEAT").splitlines() == ["211-Features:"] + FEATURES + ["211 End"],
          tag + " FEAT")
    check(ftp.sendcmd("OPTS UTF8 ON").startswith("200"), tag + " OPTS UTF8 ON")
    ftp.mkd(base)
    ftp.cwd(base)
    ftp.mkd("sub")
    data = pattern(250000, 4)
    # Passive first (EPSV over IPv6, PASV over IPv4), then active (EPRT / PORT).
    ftp.storbinary("STOR up.bin", io.BytesIO(data))
    check(read(env.path(base + "/up.bin")) == data, tag + " passive upload")
    ftp.set_pasv(False)
    got = io.BytesIO()
    ftp.retrbinary("RETR up.bin", got.write)
    check(got.getvalue() == data, tag + " active download")
    ftp.set_pasv(True)
    entries = dict(ftp.mlsd())
    check(set(entries) == {".", "..", "up.bin", "sub"}, tag + " MLSD names " + repr(sorted(entries)))
    up = entries.get("up.bin", {})
    check(up.get("type") == "file" and up.get("size") == str(len(data))
          and re.fullmatch(r"\d{14}", up.get("modify", "")) is not None
          and up.get("perm") == "rwadf" and up.get("unix.mode") is not None,
          tag + " MLSD file facts " + repr(up))
    sub = entries.get("sub", {})
    check(sub.get("type") == "dir" and sub.get("perm") == "elcmdf", tag + " MLSD dir facts " + repr(sub))
    check(entries.get(".", {}).get("type") == "cdir" and entries.get("..", {}).get("type") == "pdir",
          tag + " MLSD cdir/pdir")
    reply = ftp.sendcmd("MFMT 20200102030405 up.bin")
    check(reply == "213 Modify=20200102030405; up.bin", tag + " MFMT " + reply)
    check(ftp.sendcmd("MDTM up.bin") == "213 20200102030405", tag + " MDTM")
    check(int(os.stat(env.path(base + "/up.bin")).st_mtime) == 1577934245, tag + " MFMT on disk")
    try:
        reply = ftp.sendcmd("MFMT 20210229030405 up.bin")  # 2021 has no February 29th
    except ftplib.error_perm as refused:
        reply = str(refused)
    check(reply.startswith("501 "), tag + " MFMT of a day that does not exist " + reply)
    reply = ftp.sendcmd("MLST up.bin")
    check(reply.splitlines()[1].startswith(" type=file;size=%d;modify=20200102030405;" % len(data))
          and reply.endswith("250 End"), tag + " MLST " + reply)
    reply = ftp.sendcmd("STAT up.bin")
    lines = reply.splitlines()
    check(lines[0] == "213-Status of up.bin:" and lines[1].startswith("-rwx------ 1 user group")
          and lines[-1] == "213 End of status", tag + " STAT path " + reply)
    ftp.delete("up.bin")
    ftp.rmd("sub")
    ftp.quit()


def curl_session(env, host):
    tag = tag_of("curl", host)
    base = "dir-" + tag
    url = "ftp://%s:%s@%s:%d/" % (env.user, env.password, url_host(host), env.port)
    local = os.path.join(env.root, tag + ".bin")
    data = pattern(400000, 5)
    write(local, data)
    r = run(["curl", "-sS", "-v", "--max-time", "30", "--ftp-create-dirs", "-T", local,
             url + base + "/up.bin"])
    check(r.returncode == 0 and read(env.path(base + "/up.bin")) == data,
          tag + " upload " + r.stderr.decode()[-500:])
    check(b"EPSV" in r.stderr and b"229 Entering Extended Passive Mode" in r.stderr,
          tag + " EPSV used")
    out = os.path.join(env.root, tag + ".down")
    r = run(["curl", "-sS", "--max-time", "30", "-o", out, url + base + "/up.bin"])
    check(r.returncode == 0 and read(out) == data, tag + " download " + r.stderr.decode())
    r = run(["curl", "-sS", "--max-time", "30", url + base + "/"])
    check(r.returncode == 0 and r.stdout.startswith(b"-rwx------ 1 user group ")
          and r.stdout.rstrip(b"\r\n").endswith(b" up.bin"), tag + " LIST " + repr(r.stdout[:200]))
    # Active mode on the client's own address: EPRT (curl tries it before PORT).
    r = run(["curl", "-sS", "-v", "--max-time", "30", "--ftp-port", host, "-o", out,
             url + base + "/up.bin"])
    check(r.returncode == 0 and read(out) == data and b"EPRT" in r.stderr,
          tag + " active download " + r.stderr.decode()[-500:])


def lftp_session(env, host):
    tag = tag_of("lftp", host)
    base = "dir-" + tag
    local_dir = os.path.join(env.root, tag)
    os.makedirs(local_dir)
    data = pattern(300000, 6)
    write(os.path.join(local_dir, "up.bin"), data)
    # Default settings; only the retry count and time-out are bounded so that a fault
    # ends the test instead of stalling it, and TLS (tls_clients.py) is left out.
    r = lftp(env, host, ["set net:max-retries 1", "set net:timeout 20", "set ftp:ssl-allow no"],
             ["mkdir " + base, "cd " + base, "lcd " + local_dir,
              "put up.bin", "cls -l", "mirror . mirrored"])
    log = r.stderr.decode(errors="replace")
    check(r.returncode == 0, tag + " session " + log[-800:])
    check("---> FEAT" in log, tag + " sent FEAT")
    check("---> MLSD" in log, tag + " listed with MLSD")
    if ":" in host:
        check("---> EPSV" in log, tag + " used EPSV")
    check(read(os.path.join(local_dir, "mirrored", "up.bin")) == data, tag + " mirror download")
    check(b"up.bin" in r.stdout, tag + " cls " + repr(r.stdout))


def main():
    build_dir = sys.argv[1]
    hosts = loopback_addresses()
    if "::1" not in hosts:
        print("SKIP: no IPv6 loopback (::1) on this machine; IPv6 parts not run")
    with FtpServerEnv(build_dir) as env:
        env.start()
        for host in hosts:
            ftplib_session(env, host)
            curl_session(env, host)
            lftp_session(env, host)
    return exit_status("all modern-client checks passed over " + " and ".join(hosts))


if __name__ == "__main__":
    sys.exit(main())
