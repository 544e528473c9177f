"""[Hooks] against the tarvona-server binary: a hook program records its environment,
arguments and descriptors; a local HTTPS server records the POSTs and checks their
HMAC-SHA256 signature; an aborted STOR gives UploadFailed and no UploadComplete; a 5xx
is retried and a 4xx is not; a hook that hangs is killed with what it started; 1000
uploads with a slow hook (set by a reload) drop events, every one accounted for, and
every upload succeeds.

    hooks.py BUILD_DIR
"""
import ftplib
import glob
import hashlib
import hmac
import http.server
import io
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import threading
import time

from ftp_server_env import FtpServerEnv, check, exit_status, pattern

SECRET = "s3cr3t \"quoted\""
HOOK_PROGRAM = r'''#!/usr/bin/python3
import json, os, sys, time
out, delay = sys.argv[1], float(sys.argv[2])
time.sleep(delay)
path = os.environ.get("TARVONA_PATH", "")
record = {
    "env": {k: v for k, v in os.environ.items() if k.startswith("TARVONA_")},
    "argv": sys.argv[1:],
    "stdin": sys.stdin.read(),
    "fds": sorted(int(fd) for fd in os.listdir("/proc/self/fd")),
    "on_disk": os.path.getsize(path) if os.path.isfile(path) else -1,
}
name = os.path.join(out, "%s-%d" % (record["env"].get("TARVONA_EVENT"), time.monotonic_ns()))
with open(name + ".tmp", "w") as f:
    json.dump(record, f)
os.rename(name + ".tmp", name + ".json")
'''
# Starts a child, writes both process ids, and never ends on its own.
HANG_PROGRAM = '''#!/bin/sh
sleep 300 &
echo "$$ $!" > "$1"
wait
'''


class Recorder(http.server.BaseHTTPRequestHandler):
    posts = []
    lock = threading.Lock()
    failed_once = set()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with Recorder.lock:
            Recorder.posts.append((self.path, dict(self.headers), body, time.monotonic()))
            status = 200
            if self.path == "/refuse":
                status = 400
            elif self.path == "/flaky" and body not in Recorder.failed_once:
                Recorder.failed_once.add(body)
                status = 503
        self.send_response(status)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


def start_https(root):
    cert, key = os.path.join(root, "hook-cert.pem"), os.path.join(root, "hook-key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                    "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
                    "-out", cert], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Recorder)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, cert


def write_program(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, 0o700)


def wait_until(condition, deadline=15.0):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    return condition()


def records(out, event):
    found = []
    for name in sorted(glob.glob(os.path.join(out, event + "-*.json"))):
        with open(name) as f:
            found.append(json.load(f))
    return found


def posts_to(path):
    with Recorder.lock:
        return [p for p in Recorder.posts if p[0] == path]


def login(env):
    ftp = ftplib.FTP(timeout=10)
    ftp.connect("127.0.0.1", env.port)
    ftp.login(env.user, env.password)
    return ftp


def log_text(path):
    with open(path, errors="replace") as f:
        return f.read()


def aborted_upload(ftp, path, name):
    """STOR with part of the data written by the server, then ABOR while the data
    connection is open."""
    data = ftp.transfercmd("STOR " + name)
    data.sendall(b"x" * 65536)
    wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0)
    ftp.sock.sendall(b"ABOR\r\n")
    replies = [ftp.getline()]
    while not replies[-1].startswith("2"):
        replies.append(ftp.getline())
    data.close()
    return replies


def check_program_record(record, env, name, size):
    e = record["env"]
    check(e.get("TARVONA_PATH") == env.path(name) and e.get("TARVONA_VPATH") == "/" + name,
          "paths of %s: %s" % (name, e))
    check(e.get("TARVONA_USER") == env.user and e.get("TARVONA_ADDRESS") == "127.0.0.1",
          "user and address: %s" % e)
    check(e.get("TARVONA_SIZE") == str(size) and record["on_disk"] == size,
          "%s is complete on disk when the hook runs: %s, %d" % (name, e.get("TARVONA_SIZE"),
                                                                   record["on_disk"]))
    check(record["stdin"] == "" and record["fds"][:3] == [0, 1, 2] and len(record["fds"]) <= 4,
          "the hook reads /dev/null and holds no server descriptor: %s" % record["fds"])


def check_signature(post, event):
    path, headers, body, _ = post
    expected = "sha256=" + hmac.new(SECRET.encode(), body, hashlib.sha256).hexdigest()
    check(headers.get("X-Tarvona-Signature") == expected, "signature of %s" % path)
    check(json.loads(body).get("event") == event, "%s body: %r" % (path, body[:200]))


def first_part(build_dir, root):
    https, cert = start_https(root)
    url = "https://127.0.0.1:%d" % https.server_address[1]
    with FtpServerEnv(build_dir) as env:
        out = os.path.join(env.root, "hook-out")
        os.makedirs(out)
        hook, hang = os.path.join(env.root, "hook.py"), os.path.join(env.root, "hang.sh")
        write_program(hook, HOOK_PROGRAM)
        write_program(hang, HANG_PROGRAM)
        pids = os.path.join(env.root, "hang-pids")
        program = '%s "%s" 0 "two words" a\\"b' % (hook, out)
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Hooks]\n")
            for event in ("UploadComplete", "UploadFailed", "Delete", "Rename", "MakeDir",
                          "RemoveDir", "Login", "LoginFailed", "ServerStart"):
                f.write("On%s=%s\n" % (event, program))
            f.write("OnUploadCompleteUrl=%s/upload\nOnUploadFailedUrl=%s/flaky\n"
                    "OnDeleteUrl=%s/refuse\nOnDownloadComplete=%s %s\n"
                    "Secret=%s\nCaFile=%s\nActionTimeout=2\n"
                    % (url, url, url, hang, pids, SECRET, cert))
        log = os.path.join(env.root, "server.log")
        env.start(stdout_path=log)
        check(wait_until(lambda: records(out, "ServerStart")), "ServerStart ran")

        ftp = login(env)
        check(wait_until(lambda: records(out, "Login")), "Login ran")
        content = pattern(100000)
        ftp.storbinary("STOR whole.bin", io.BytesIO(content))
        done = wait_until(lambda: records(out, "UploadComplete"))
        check(len(done) == 1, "one UploadComplete: %d" % len(done))
        if done:
            check_program_record(done[0], env, "whole.bin", len(content))
            check(done[0]["argv"][1:] == ["0", "two words", 'a"b'],
                  "arguments split as documented: %s" % done[0]["argv"])
        upload_posts = wait_until(lambda: posts_to("/upload"))
        check(len(upload_posts) == 1, "one POST for the upload: %d" % len(upload_posts))
        if upload_posts:
            check_signature(upload_posts[0], "UploadComplete")
            body = json.loads(upload_posts[0][2])
            check(body.get("vpath") == "/whole.bin" and body.get("size") == len(content),
                  "upload body: %s" % body)

        replies = aborted_upload(ftp, env.path("cut.bin"), "cut.bin")
        check(replies == ["426 Data connection closed.", "226 ABOR command successful."],
              "ABOR answered: %s" % replies)
        # Nothing more about the aborted upload: its data connection closing after the 226
        # does not complete it.
        check(ftp.sendcmd("NOOP").startswith("200"), "the next reply is the NOOP's")
        failed = wait_until(lambda: records(out, "UploadFailed"))
        check(len(failed) == 1 and failed[0]["env"].get("TARVONA_VPATH") == "/cut.bin",
              "an aborted STOR gives UploadFailed: %s" % [r["env"] for r in failed])
        # The 503 is answered once; the retry after the back-off is delivered.
        flaky = wait_until(lambda: len(posts_to("/flaky")) >= 2 and posts_to("/flaky"))
        check(bool(flaky) and len(flaky) == 2 and flaky[0][2] == flaky[1][2]
              and flaky[1][3] - flaky[0][3] >= 0.9,
              "a 5xx is tried again after a back-off: %s" % [(p[0], p[3]) for p in posts_to("/flaky")])

        ftp.mkd("dir")
        ftp.rename("whole.bin", "dir/moved.bin")
        ftp.delete("dir/moved.bin")
        ftp.rmd("dir")
        # Up to four actions run at once: each event's record is waited for.
        check(wait_until(lambda: all(records(out, e) for e in
                                     ("MakeDir", "Rename", "Delete", "RemoveDir"))),
              "MakeDir, Rename, Delete and RemoveDir ran")
        renamed = records(out, "Rename")
        check(len(renamed) == 1 and renamed[0]["env"].get("TARVONA_NEW_VPATH") == "/dir/moved.bin",
              "Rename names both paths: %s" % [r["env"] for r in renamed])
        check(len(records(out, "MakeDir")) == 1 and len(records(out, "Delete")) == 1,
              "MakeDir and Delete ran once each")
        # A 4xx is the receiver's answer: not sent again.
        wait_until(lambda: posts_to("/refuse"))
        time.sleep(1.5)
        check(len(posts_to("/refuse")) == 1, "a 4xx is not retried: %d" % len(posts_to("/refuse")))

        # The hanging hook: killed at its time-out, and the child it started with it.
        with open(env.path("get.bin"), "wb") as f:
            f.write(b"y" * 1000)
        ftp.retrbinary("RETR get.bin", lambda b: None)
        started = wait_until(lambda: os.path.exists(pids) and open(pids).read().split())
        killed = wait_until(lambda: "was killed after its time-out" in log_text(log))
        check(bool(killed), "the hanging hook's kill is logged")
        for pid in (started or []):
            alive = wait_until(lambda: not os.path.exists("/proc/%s" % pid) or
                               "Z" in open("/proc/%s/stat" % pid).read().split()[2], 5)
            check(bool(alive), "hook process %s is gone after the time-out" % pid)

        try:
            bad = ftplib.FTP(timeout=10)
            bad.connect("127.0.0.1", env.port)
            bad.login(env.user, "wrong")
        except ftplib.error_perm:
            pass
        failed_logins = wait_until(lambda: records(out, "LoginFailed"))
        check(len(failed_logins) == 1 and failed_logins[0]["env"].get("TARVONA_USER") == env.user,
              "LoginFailed names the user: %s" % [r["env"] for r in failed_logins])
        ftp.quit()
        check(not any(r["env"].get("TARVONA_VPATH") == "/cut.bin"
                      for r in records(out, "UploadComplete")),
              "no UploadComplete for the aborted upload")
    https.shutdown()


def timed_uploads(env, count, tag):
    ftp = login(env)
    stored = 0
    began = time.monotonic()
    for i in range(count):
        try:
            ftp.storbinary("STOR %s-%d.bin" % (tag, i), io.BytesIO(b"z" * 1024))
            stored += 1
        except ftplib.all_errors as e:
            print("upload %d failed: %s" % (i, e))
    spent = time.monotonic() - began
    ftp.quit()
    return stored, spent


def drop_part(build_dir):
    count = 1000
    with FtpServerEnv(build_dir) as env:
        out = os.path.join(env.root, "hook-out")
        os.makedirs(out)
        hook = os.path.join(env.root, "hook.py")
        write_program(hook, HOOK_PROGRAM)
        log = os.path.join(env.root, "server.log")
        env.start(stdout_path=log)
        stored, plain = timed_uploads(env, count, "plain")
        check(stored == count, "uploads without hooks: %d of %d" % (stored, count))
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Hooks]\nOnUploadComplete=%s %s 0.5\nConcurrency=1\nQueueSize=5\n"
                    "ActionTimeout=2\n" % (hook, out))
        env.proc.send_signal(signal.SIGHUP)
        check(wait_until(lambda: "Reload done" in log_text(log)), "the reload took [Hooks]")
        stored, hooked = timed_uploads(env, count, "hooked")
        check(stored == count, "uploads with a slow hook: %d of %d" % (stored, count))
        print("1000 uploads: %.1f s without hooks, %.1f s with a slow hook" % (plain, hooked))
        env.stop()
        text = log_text(log)
        check("Hook queue full" in text, "the first drop is logged")
        totals = [line for line in text.splitlines() if "events were dropped since start" in line]
        dropped = int(totals[-1].split("Hooks: ")[1].split()[0]) if totals else 0
        ran = len(records(out, "UploadComplete"))
        check(dropped > 0 and dropped + ran == count,
              "every event ran or was counted as dropped: %d dropped, %d ran" % (dropped, ran))


def main():
    build_dir = sys.argv[1]
    scratch = tempfile.mkdtemp(prefix="tarvona-hooks-")
    try:
        first_part(build_dir, scratch)
        drop_part(build_dir)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return exit_status("hooks: all checks passed")


if __name__ == "__main__":
    sys.exit(main())
