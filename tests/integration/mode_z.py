"""MODE Z (deflate on the data connection) against tarvona-server with ftplib driving the
commands and zlib on the client side: RETR, STOR, APPE, REST, LIST, NLST and MLSD
round-trips, the level option, MODE S again, damaged and cut upload streams that leave
the file as it was, a small stream inflating past the quota or towards a full disk (a
tmpfs in a mount namespace made with unshare), the speed limit counting
compressed bytes, and all of it again under PROT P.

    mode_z.py BUILD_DIR
"""
import ftplib
import os
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import FtpServerEnv, check, exit_status, read, write  # noqa: E402
from tls_clients import tls_ftplib  # noqa: E402

TEXT = b"".join(b"line %06d of a text that compresses well\n" % i for i in range(20000))
NOISE = os.urandom(300000)  # does not compress


def login(env):
    ftp = ftplib.FTP(timeout=20)
    ftp.connect("127.0.0.1", env.port)
    ftp.login(env.user, env.password)
    return ftp


def reply_of(call):
    """The reply line of `call`, an ftplib call that may raise."""
    try:
        return call()
    except ftplib.all_errors as error:
        return str(error)


def receive(ftp, command, rest=None):
    """The raw bytes of a download or listing, and the final reply."""
    conn = ftp.transfercmd(command, rest)
    chunks = []
    while True:
        chunk = conn.recv(65536)
        if not chunk:
            break
        chunks.append(chunk)
    conn.close()
    return b"".join(chunks), reply_of(ftp.voidresp)


def inflate(wire):
    """`wire` inflated, or None unless it is exactly one complete zlib stream."""
    z = zlib.decompressobj()
    data = z.decompress(wire)
    return data if z.eof and not z.unused_data else None


def send(ftp, command, wire, rest=None):
    """Sends `wire` as the data of an upload command; the final reply."""
    conn = ftp.transfercmd(command, rest)
    conn.sendall(wire)
    if hasattr(conn, "unwrap"):
        conn.unwrap()
    conn.close()
    return reply_of(ftp.voidresp)


def commands(env):
    ftp = login(env)
    check(" MODE Z" in ftp.sendcmd("FEAT"), "FEAT lists MODE Z")
    for line, code in (("MODE Z", "200"), ("MODE B", "504"), ("MODE X", "501"),
                       ("OPTS MODE Z LEVEL 10", "501"), ("OPTS MODE Z LEVEL x", "501"),
                       ("OPTS MODE Z LEVEL", "501"), ("OPTS MODE Y LEVEL 1", "501"),
                       ("OPTS MODE Z LEVEL 9", "200"), ("MODE s", "200")):
        check(reply_of(lambda: ftp.sendcmd(line))[:3] == code, "%s answers %s" % (line, code))
    ftp.quit()


def round_trips(env, ftp, tag):
    """Every compressed transfer once, on a client already logged in."""
    write(env.path("text.txt"), TEXT)
    write(env.path("noise.bin"), NOISE)
    ftp.sendcmd("MODE Z")
    for name, data in (("text.txt", TEXT), ("noise.bin", NOISE)):
        wire, reply = receive(ftp, "RETR " + name)
        check(reply.startswith("226") and inflate(wire) == data, tag + " RETR " + name)
    wire, _ = receive(ftp, "RETR text.txt")
    check(len(wire) < len(TEXT) // 5, tag + " RETR sends compressed bytes (%d)" % len(wire))
    wire, _ = receive(ftp, "RETR text.txt", rest=12345)
    check(inflate(wire) == TEXT[12345:], tag + " REST counts uncompressed bytes")
    wire, _ = receive(ftp, "RETR text.txt", rest=len(TEXT))
    check(inflate(wire) == b"", tag + " REST at the end sends an empty stream")

    reply = send(ftp, "STOR up.txt", zlib.compress(TEXT, 1))
    check(reply.startswith("226") and read(env.path("up.txt")) == TEXT, tag + " STOR " + reply)
    reply = send(ftp, "STOR empty.txt", zlib.compress(b""))
    check(reply.startswith("226") and read(env.path("empty.txt")) == b"", tag + " empty " + reply)
    reply = send(ftp, "APPE up.txt", zlib.compress(NOISE))
    check(read(env.path("up.txt")) == TEXT + NOISE, tag + " APPE " + reply)
    reply = send(ftp, "STOR up.txt", zlib.compress(NOISE[5000:]), rest=5000)
    check(read(env.path("up.txt")) == TEXT[:5000] + NOISE[5000:], tag + " REST+STOR " + reply)

    for command, expected in (("LIST", b" noise.bin\r\n"), ("NLST", b"noise.bin\r\n"),
                              ("MLSD", b"; noise.bin\r\n")):
        wire, reply = receive(ftp, command)
        listing = inflate(wire)
        check(reply.startswith("226") and listing is not None and expected in listing,
              tag + " " + command + " " + repr(listing)[:100])

    ftp.sendcmd("OPTS MODE Z LEVEL 0")
    stored, _ = receive(ftp, "RETR text.txt")
    ftp.sendcmd("OPTS MODE Z LEVEL 9")
    best, _ = receive(ftp, "RETR text.txt")
    check(inflate(stored) == TEXT and len(stored) > len(TEXT) > 5 * len(best),
          tag + " levels 0 and 9: %d and %d bytes" % (len(stored), len(best)))
    ftp.sendcmd("MODE S")
    wire, _ = receive(ftp, "RETR text.txt")
    check(wire == TEXT, tag + " MODE S sends the file as it is")


def refused_uploads(env, ftp, tag):
    """Damaged and cut streams fail and leave an appended file as it was."""
    write(env.path("kept.bin"), b"before")
    ftp.sendcmd("MODE Z")
    good = zlib.compress(NOISE)
    damaged = good[:1000] + bytes(b ^ 0x55 for b in good[1000:1100]) + good[1100:]
    for what, wire in (("damaged", damaged), ("cut", good[:-7]), ("followed", good + b"x"),
                       ("not zlib", b"no zlib header here" * 300), ("no data", b"")):
        reply = send(ftp, "APPE kept.bin", wire)
        check(reply.startswith("426"), "%s %s APPE refused: %s" % (tag, what, reply))
        check(read(env.path("kept.bin")) == b"before", "%s %s APPE kept the file" % (tag, what))
    # ABOR once part of the stream is written: that part goes again.
    conn = ftp.transfercmd("APPE kept.bin")
    conn.sendall(good[:200000])
    deadline = time.monotonic() + 10
    while os.path.getsize(env.path("kept.bin")) <= 6 and time.monotonic() < deadline:
        time.sleep(0.02)
    check(os.path.getsize(env.path("kept.bin")) > 6, tag + " part of the stream is written")
    # As a plain line: ftplib's abort() sends its last byte as urgent data.
    ftp.putcmd("ABOR")
    check(reply_of(ftp.getresp).startswith("426"), tag + " ABOR ends the compressed upload")
    conn.close()
    check(reply_of(ftp.voidresp).startswith("226"), tag + " ABOR answered")
    ftp.sendcmd("MODE S")
    check(ftp.sendcmd("NOOP").startswith("200"), tag + " the session goes on")
    check(read(env.path("kept.bin")) == b"before", tag + " ABOR leaves the file as it was")


def quota_bomb(build_dir):
    with FtpServerEnv(build_dir, admin_args=("--quota", "1024")) as env:
        env.start()
        ftp = login(env)
        ftp.sendcmd("MODE Z")
        bomb = zlib.compress(bytes(256 << 20), 9)  # 256 MiB of zeros in about 256 KiB
        reply = send(ftp, "STOR bomb.bin", bomb)
        check(reply.startswith("452"), "the bomb is stopped by the quota: " + reply)
        check(os.path.getsize(env.path("bomb.bin")) == 0, "nothing of the bomb stays")
        reply = send(ftp, "STOR small.bin", zlib.compress(TEXT[:100000]))
        check(reply.startswith("226") and read(env.path("small.bin")) == TEXT[:100000],
              "an upload within the quota after the bomb: " + reply)
        ftp.quit()


def disk_bound(build_dir):
    """Without a quota, the bomb stops before the disk (a 32 MiB tmpfs as the home, in a
    mount namespace of the server's own) is full."""
    mount = 'mount -t tmpfs -o size=32m tmpfs "$0" && exec "$@"'
    if subprocess.run(["unshare", "--map-root-user", "--mount", "true"]).returncode != 0:
        print("SKIP: the disk bound (no user namespaces here)")
        return
    with FtpServerEnv(build_dir) as env:
        env.start(wrapper=("unshare", "--map-root-user", "--mount", "sh", "-c", mount, env.home))
        ftp = login(env)
        ftp.sendcmd("MODE Z")
        reply = send(ftp, "STOR bomb.bin", zlib.compress(bytes(64 << 20), 9))
        check(reply.startswith("452 Insufficient storage"), "the bomb stops short of a full disk: "
              + reply)
        check(ftp.sendcmd("SIZE bomb.bin") == "213 0", "nothing of the bomb stays")
        reply = send(ftp, "STOR small.bin", zlib.compress(TEXT))
        check(reply.startswith("226") and ftp.sendcmd("SIZE small.bin") == "213 %d" % len(TEXT),
              "an upload after the bomb: " + reply)
        ftp.quit()


def speed_limit(build_dir):
    with FtpServerEnv(build_dir, admin_args=("--download-limit", "64")) as env:
        write(env.path("zeros.bin"), bytes(4 << 20))
        write(env.path("noise.bin"), NOISE[:196608])
        env.start()
        ftp = login(env)
        ftp.sendcmd("MODE Z")
        start = time.monotonic()
        wire, _ = receive(ftp, "RETR zeros.bin")
        fast = time.monotonic() - start
        check(inflate(wire) == bytes(4 << 20) and fast < 2.5,
              "4 MiB of zeros in %d compressed bytes pass a 64 KiB/s limit at once (%.1f s)"
              % (len(wire), fast))
        start = time.monotonic()
        wire, _ = receive(ftp, "RETR noise.bin")
        slow = time.monotonic() - start
        check(inflate(wire) == NOISE[:196608] and slow >= 1.8,
              "192 KiB that do not compress are held to 64 KiB/s (%.1f s)" % slow)
        ftp.quit()


def main():
    build_dir = sys.argv[1]
    with FtpServerEnv(build_dir) as env:
        env.start()
        commands(env)
        ftp = login(env)
        round_trips(env, ftp, "clear")
        refused_uploads(env, ftp, "clear")
        ftp.quit()
        ftp = tls_ftplib(env, "127.0.0.1")
        round_trips(env, ftp, "PROT P")
        refused_uploads(env, ftp, "PROT P")
        ftp.quit()
    quota_bomb(build_dir)
    disk_bound(build_dir)
    speed_limit(build_dir)
    return exit_status("all MODE Z checks passed")


if __name__ == "__main__":
    sys.exit(main())
