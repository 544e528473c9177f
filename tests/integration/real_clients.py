"""Drives tarvona-server with real FTP clients (Python ftplib, curl, lftp) in passive
and active mode: login, listing, download, upload, append, resumed download and
upload, mkdir, rename, delete; and an upload that meets a full disk.
Usage: real_clients.py BUILD_DIR"""
import ftplib
import io
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import (FtpServerEnv, check, exit_status, lftp,  # noqa: E402
                            pattern, read, run, write)


def ftplib_session(env, passive):
    tag = "ftplib-%s" % ("pasv" if passive else "port")
    ftp = ftplib.FTP()
    ftp.connect("127.0.0.1", env.port, timeout=20)
    ftp.login(env.user, env.password)
    ftp.set_pasv(passive)
    base = "dir-" + tag
    ftp.mkd(base)
    ftp.cwd(base)
    data = pattern(300000, 1)
    ftp.storbinary("STOR up.bin", io.BytesIO(data))
    check(read(env.path(base + "/up.bin")) == data, tag + " upload")
    ftp.storbinary("APPE up.bin", io.BytesIO(b"tail"))
    check(read(env.path(base + "/up.bin")) == data + b"tail", tag + " append")
    got = io.BytesIO()
    ftp.retrbinary("RETR up.bin", got.write)
    check(got.getvalue() == data + b"tail", tag + " download")
    got = io.BytesIO()
    ftp.retrbinary("RETR up.bin", got.write, rest=1000)
    check(got.getvalue() == (data + b"tail")[1000:], tag + " resumed download")
    # Resumed upload: the server keeps the first n bytes and writes the rest after them.
    write(env.path(base + "/resume.bin"), data[:120000] + b"junk")
    conn = ftp.transfercmd("STOR resume.bin", rest=120000)
    conn.sendall(data[120000:])
    conn.close()
    ftp.voidresp()
    check(read(env.path(base + "/resume.bin")) == data, tag + " resumed upload")
    lines = []
    ftp.retrlines("LIST", lines.append)
    check(any(line.startswith("-rwx------ 1 user group") and line.endswith(" up.bin") for line in lines),
          tag + " LIST " + repr(lines))
    check(sorted(ftp.nlst()) == ["resume.bin", "up.bin"], tag + " NLST")
    ftp.rename("up.bin", "moved.bin")
    check(os.path.exists(env.path(base + "/moved.bin")), tag + " rename")
    ftp.delete("moved.bin")
    check(not os.path.exists(env.path(base + "/moved.bin")), tag + " delete")
    ftp.quit()


def curl_session(env, active):
    tag = "curl-%s" % ("port" if active else "pasv")
    mode = ["--ftp-port", "127.0.0.1"] if active else ["--ftp-pasv"]
    curl = ["curl", "-sS", "--max-time", "30"] + mode
    base = "dir-" + tag
    local = os.path.join(env.root, tag + ".bin")
    data = pattern(500000, 2)
    write(local, data)
    r = run(curl + ["-Q", "MKD " + base, env.url("")])
    check(r.returncode == 0 and os.path.isdir(env.path(base)), tag + " mkdir " + r.stderr.decode())
    r = run(curl + ["-T", local, env.url(base + "/up.bin")])
    check(r.returncode == 0 and read(env.path(base + "/up.bin")) == data, tag + " upload " + r.stderr.decode())
    write(os.path.join(env.root, "tail"), b"appended")
    r = run(curl + ["--append", "-T", os.path.join(env.root, "tail"), env.url(base + "/up.bin")])
    check(r.returncode == 0 and read(env.path(base + "/up.bin")) == data + b"appended", tag + " append")
    out = os.path.join(env.root, tag + ".down")
    r = run(curl + ["-o", out, env.url(base + "/up.bin")])
    check(r.returncode == 0 and read(out) == data + b"appended", tag + " download")
    # Resume an interrupted download: the local file holds the first part.
    write(out, (data + b"appended")[:200000])
    r = run(curl + ["-C", "-", "-o", out, env.url(base + "/up.bin")])
    check(r.returncode == 0 and read(out) == data + b"appended", tag + " resumed download")
    r = run(curl + [env.url(base + "/")])
    # curl turns the CR LF of a listing into the local line end.
    check(r.returncode == 0 and r.stdout.startswith(b"-rwx------ 1 user group ")
          and r.stdout.rstrip(b"\r\n").endswith(b" up.bin"), tag + " LIST " + repr(r.stdout[:200]))
    r = run(curl + ["-l", env.url(base + "/")])
    check(r.returncode == 0 and r.stdout.rstrip(b"\r\n") == b"up.bin", tag + " NLST " + repr(r.stdout))
    r = run(curl + ["-Q", "RNFR " + base + "/up.bin", "-Q", "RNTO " + base + "/moved.bin",
                    "-Q", "DELE " + base + "/moved.bin", env.url(base + "/")])
    check(r.returncode == 0 and os.listdir(env.path(base)) == [], tag + " rename+delete " + r.stderr.decode())


def lftp_session(env):
    tag = "lftp-pasv"
    base = "dir-" + tag
    local_dir = os.path.join(env.root, tag)
    os.makedirs(local_dir)
    data = pattern(400000, 3)
    write(os.path.join(local_dir, "up.bin"), data)
    write(os.path.join(local_dir, "tail"), b"appended")
    r = lftp(env, "127.0.0.1", [
        "set ftp:passive-mode on", "set net:max-retries 1", "set net:timeout 20",
        "set ftp:use-feat off", "set ftp:use-mlsd off", "set ftp:ssl-allow no"], [
        "mkdir " + base, "cd " + base, "lcd " + local_dir,
        "put up.bin", "cls -1", "get up.bin -o down.bin", "mv up.bin moved.bin",
        "rm moved.bin"], debug=False)
    check(r.returncode == 0, tag + " session " + r.stderr.decode())
    check(read(os.path.join(local_dir, "down.bin")) == data, tag + " upload/download")
    check(b"up.bin" in r.stdout, tag + " listing " + repr(r.stdout))
    check(os.listdir(env.path(base)) == [], tag + " rename+delete")
    # Resumed transfers: a remote file cut short continues with put -c (REST and STOR;
    # with rest-stor off lftp sends the whole file again), a local one with get -c.
    write(env.path(base + "/resume.bin"), data[:150000])
    write(env.path(base + "/append.bin"), data[:70000])
    write(os.path.join(local_dir, "resume.bin"), data)
    write(os.path.join(local_dir, "append.bin"), data)
    write(os.path.join(local_dir, "partial.bin"), data[:99999])
    write(env.path(base + "/partial.bin"), data)
    r = lftp(env, "127.0.0.1", [
        "set ftp:passive-mode on", "set net:max-retries 1", "set ftp:use-feat off",
        "set ftp:ssl-allow no"], [
        "cd " + base, "lcd " + local_dir, "put -c resume.bin", "get -c partial.bin",
        "set ftp:rest-stor off", "put -c append.bin"])
    check(r.returncode == 0, tag + " resume session " + r.stderr.decode())
    log = r.stderr.decode()
    check("REST 150000" in log and "STOR resume.bin" in log, tag + " put -c sent REST and STOR")
    check(read(env.path(base + "/resume.bin")) == data, tag + " resumed upload (put -c)")
    check(read(env.path(base + "/append.bin")) == data, tag + " put -c without REST")
    check(read(os.path.join(local_dir, "partial.bin")) == data, tag + " resumed download (get -c)")


def full_disk(build_dir):
    with FtpServerEnv(build_dir, fsize_limit=1 << 20) as env:
        env.start()
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", env.port, timeout=20)
        ftp.login(env.user, env.password)
        try:
            ftp.storbinary("STOR big.bin", io.BytesIO(pattern(3 << 20)))
            check(False, "full disk: upload past the limit succeeded")
        except ftplib.error_temp as e:
            check(str(e) == "450 Can't access file.", "full disk reply " + str(e))
        except (ConnectionError, OSError):
            # The server may close the data connection while the client still sends.
            try:
                ftp.getresp()
                check(False, "full disk: no 450 after reset")
            except ftplib.error_temp as e:
                check(str(e) == "450 Can't access file.", "full disk reply after reset " + str(e))
        check(ftp.voidcmd("NOOP").startswith("200"), "full disk: session goes on")
        ftp.storbinary("STOR small.bin", io.BytesIO(b"fits"))
        check(read(env.path("small.bin")) == b"fits", "full disk: later upload")
        ftp.quit()


def main():
    build_dir = sys.argv[1]
    with FtpServerEnv(build_dir) as env:
        env.start()
        ftplib_session(env, passive=True)
        ftplib_session(env, passive=False)
        curl_session(env, active=False)
        curl_session(env, active=True)
        lftp_session(env)
    full_disk(build_dir)
    return exit_status("all real-client checks passed")


if __name__ == "__main__":
    sys.exit(main())
