"""HASH (with OPTS HASH and RANG) and XCRC, XMD5, XSHA1, XSHA256, XSHA512 against
tarvona-server, compared with Python's hashlib and zlib.crc32: whole files, ranges, an
empty file, a 3 GiB sparse file (read whole with TARVONA_HASH_WHOLE_SPARSE=1), the size limit, the download speed limit, ABOR and QUIT
during a long computation, permissions and hostile paths."""
import ftplib
import hashlib
import os
import socket
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ftp_server_env import FtpServerEnv, check, exit_status, pattern, write  # noqa: E402

ALGORITHMS = ["SHA-256", "SHA-512", "SHA-1", "MD5", "CRC32"]
LEGACY = {"XSHA256": "SHA-256", "XSHA512": "SHA-512", "XSHA1": "SHA-1", "XMD5": "MD5",
          "XCRC": "CRC32"}
GIB = 1 << 30
SPARSE_SIZE = 3 * GIB
# Written into the sparse file, so its ranges differ from plain zeros.
SPARSE_MARKS = {5 << 20: b"head of the sparse file", SPARSE_SIZE - 4096: b"near its end"}
OPTIONS = "[Security]\nMaxHashMiB=%d\n"


def expected(name, data):
    if name == "CRC32":
        return "%08x" % (zlib.crc32(data) & 0xffffffff)
    return hashlib.new({"SHA-256": "sha256", "SHA-512": "sha512", "SHA-1": "sha1",
                        "MD5": "md5"}[name], data).hexdigest()


def sparse_expected(name, begin, end):
    """The checksum of bytes begin..end-1 of the sparse file, fed in 64 MiB steps."""
    h = None if name == "CRC32" else hashlib.new(name.replace("-", "").lower())
    crc = 0
    zeros = bytes(64 << 20)
    position = begin
    marks = sorted(SPARSE_MARKS.items())
    while position < end:
        chunk_end = min(end, position + len(zeros))
        chunk = bytearray(zeros[:chunk_end - position])
        for offset, text in marks:
            for i, byte in enumerate(text):
                if position <= offset + i < chunk_end:
                    chunk[offset + i - position] = byte
        if h is None:
            crc = zlib.crc32(chunk, crc)
        else:
            h.update(chunk)
        position = chunk_end
    return "%08x" % (crc & 0xffffffff) if h is None else h.hexdigest()


def login(env, user=None, password=None):
    ftp = ftplib.FTP()
    ftp.connect("127.0.0.1", env.port, timeout=30)
    ftp.login(user or env.user, password or env.password)
    return ftp


def command(ftp, line):
    """The whole reply to `line`, errors included."""
    ftp.putcmd(line)
    try:
        return ftp.getresp()
    except ftplib.Error as error:
        return str(error)


def whole_files_and_ranges(env):
    files = {"empty.bin": b"", "one.bin": b"x", "data.bin": pattern(1_300_000),
             "two words.bin": pattern(1000, 3)}
    for name, data in files.items():
        write(env.path(name), data)
    ftp = login(env)
    check(command(ftp, "OPTS HASH") == "200 SHA-256", "OPTS HASH tells the default")
    for algorithm in ALGORITHMS:
        check(command(ftp, "OPTS HASH " + algorithm.lower()) == "200 " + algorithm,
              "OPTS HASH selects " + algorithm)
        for name, data in files.items():
            reply = command(ftp, "HASH " + name)
            want = "213 %s 0-%d %s %s" % (algorithm, len(data), expected(algorithm, data), name)
            check(reply == want, "HASH %s %s: %r, not %r" % (algorithm, name, reply, want))
    feat = command(ftp, "FEAT")
    check("\n HASH SHA-256;SHA-512;SHA-1;MD5;CRC32*\n" in feat, "FEAT marks the current one")
    check(command(ftp, "OPTS HASH CRC37").startswith("501 "), "an unknown algorithm is refused")
    check(command(ftp, "OPTS HASH") == "200 CRC32", "a refused OPTS HASH keeps the choice")

    data = files["data.bin"]
    command(ftp, "OPTS HASH SHA-1")
    check(command(ftp, "RANG 100 1099").startswith("350 "), "RANG is taken")
    check(command(ftp, "HASH data.bin") ==
          "213 SHA-1 100-1100 %s data.bin" % expected("SHA-1", data[100:1100]),
          "HASH after RANG covers the bytes RANG named")
    check(command(ftp, "HASH data.bin").startswith("213 SHA-1 0-%d " % len(data)),
          "the range applies to one HASH only")
    command(ftp, "RANG 5 10")
    command(ftp, "RANG 1 0")
    check(command(ftp, "HASH one.bin").startswith("213 SHA-1 0-1 "), "RANG 1 0 resets it")
    command(ftp, "RANG 1000000 99999999")
    check(command(ftp, "HASH data.bin") ==
          "213 SHA-1 1000000-%d %s data.bin" % (len(data), expected("SHA-1", data[1000000:])),
          "a range past the end reads to the end and says so")
    for bad in ["RANG 9 3", "RANG -1 5", "RANG 0x10 20", "RANG 5", "RANG 1 9223372036854775807"]:
        check(command(ftp, bad).startswith("501 "), bad + " is refused")
    command(ftp, "RANG 2000000 2000001")
    check(command(ftp, "HASH data.bin").startswith("554 "), "a range after the end is refused")

    for keyword, algorithm in LEGACY.items():
        check(command(ftp, "%s data.bin" % keyword) == "250 " + expected(algorithm, data),
              keyword + " of a whole file")
        check(command(ftp, "%s data.bin 4096 70000" % keyword) ==
              "250 " + expected(algorithm, data[4096:70000]), keyword + " of a range")
        check(command(ftp, "%s data.bin 1200000" % keyword) ==
              "250 " + expected(algorithm, data[1200000:]), keyword + " from a start")
    check(command(ftp, 'XMD5 "two words.bin" 10 20') ==
          "250 " + expected("MD5", files["two words.bin"][10:20]), "a quoted name with a range")
    check(command(ftp, "XCRC two words.bin") == "250 " + expected("CRC32", files["two words.bin"]),
          "a name with a blank")
    check(command(ftp, "XCRC data.bin 20 10").startswith("501 "), "an end before the start")
    check(command(ftp, 'XCRC "data.bin').startswith("501 "), "an unclosed quote")
    # Pipelined: the second waits until the first has answered; the replies keep order.
    ftp.sock.sendall(b"XSHA512 data.bin\r\nXCRC one.bin\r\nNOOP\r\n")
    replies = [ftp.getline() for _ in range(3)]
    check(replies[:2] == ["250 " + expected("SHA-512", data), "250 " + expected("CRC32", b"x")]
          and replies[2].startswith("200 "), "pipelined checksums answer in order: %r" % replies)
    ftp.quit()


def hostile_paths(env):
    os.mkfifo(env.path("fifo"))
    os.mkdir(env.path("folder"))
    os.symlink("/etc/passwd", env.path("outside"))
    ftp = login(env)
    for line, code in [("HASH fifo", "550 Not a regular file."),
                       ("XCRC fifo", "550 Not a regular file."),
                       ("HASH folder", "550 "),
                       ("HASH ../../../../etc/passwd", "550 "),
                       ("HASH /../../etc/shadow", "550 "),
                       ("XSHA1 missing.bin", "550 File not found."),
                       ("HASH", "501 ")]:
        started = time.monotonic()
        reply = command(ftp, line)
        check(reply.startswith(code), "%s: %r" % (line, reply))
        check(time.monotonic() - started < 5, line + " answers at once")
    # A line holding a bare LF: the name goes back without it, no second reply line.
    write(env.path("a\nb"), b"ab")
    ftp.sock.sendall(b"HASH a\nb\r\nNOOP\r\n")
    first, second = ftp.getline(), ftp.getline()
    check(first.startswith("213 ") and first.endswith(" a?b") and second.startswith("200"),
          "a LF in the name is not echoed: %r %r" % (first, second))
    ftp.quit()
    env.admin("user", "add", "reader", "--password", "pw", "--home", env.home,
              "--perms", "-WDRALCRR")
    ftp = login(env, "reader", "pw")
    for line in ["HASH data.bin", "XCRC data.bin", "XMD5 data.bin 0 10"]:
        check(command(ftp, line) == "550 No permission.", line + " without the read permission")
    ftp.quit()


def sparse_file(env):
    path = env.path("sparse.img")
    with open(path, "wb") as f:
        f.truncate(SPARSE_SIZE)
        for offset, text in SPARSE_MARKS.items():
            f.seek(offset)
            f.write(text)
    ftp = login(env)
    command(ftp, "OPTS HASH CRC32")
    # The whole file takes long on a loaded machine under the sanitizers: by hand only.
    end = SPARSE_SIZE if os.environ.get("TARVONA_HASH_WHOLE_SPARSE") else 64 << 20
    command(ftp, "RANG 0 %d" % (end - 1))
    started = time.monotonic()
    reply = command(ftp, "HASH sparse.img")
    took = time.monotonic() - started
    want = "213 CRC32 0-%d %s sparse.img" % (end, sparse_expected("CRC32", 0, end))
    check(reply == want, "CRC32 of the sparse file's first %d bytes: %r, not %r" % (end, reply, want))
    print("CRC32 of %d bytes of the sparse file took %.1f s" % (end, took))
    begin, end = SPARSE_SIZE - (8 << 20), SPARSE_SIZE
    check(command(ftp, "XSHA256 sparse.img %d %d" % (begin, end)) ==
          "250 " + sparse_expected("SHA-256", begin, end), "SHA-256 of the last 8 MiB")
    ftp.quit()


def size_limit(env):
    """With MaxHashMiB=16: a whole big file is refused, a range within the limit is not."""
    ftp = login(env)
    check(command(ftp, "HASH sparse.img").startswith("552 "), "over the limit: 552")
    check(command(ftp, "XCRC sparse.img 0 %d" % ((16 << 20) + 1)).startswith("552 "),
          "a range one byte over the limit")
    begin = SPARSE_SIZE - (16 << 20)
    command(ftp, "OPTS HASH MD5")
    command(ftp, "RANG %d %d" % (begin, SPARSE_SIZE - 1))
    check(command(ftp, "HASH sparse.img") == "213 MD5 %d-%d %s sparse.img" % (
        begin, SPARSE_SIZE, sparse_expected("MD5", begin, SPARSE_SIZE)),
        "a range of the limit near the end of the sparse file")
    ftp.quit()


def speed_limit_and_abort(env):
    """At 256 KiB/s the hash of 768 KiB takes about 2 s; ABOR and QUIT end a long one."""
    env.admin("user", "add", "slow", "--password", "pw", "--home", env.home,
              "--perms", "RWDRALCRR", "--download-limit", "256")
    write(env.path("paced.bin"), pattern(768 << 10, 5))
    ftp = login(env, "slow", "pw")
    started = time.monotonic()
    reply = command(ftp, "XCRC paced.bin")
    took = time.monotonic() - started
    check(reply == "250 " + expected("CRC32", pattern(768 << 10, 5)), "paced XCRC: " + reply)
    check(1.7 <= took <= 6, "hashing keeps to the download limit (%.2f s)" % took)

    # 3 GiB at 256 KiB/s would take hours: ABOR must answer at once.
    ftp.sock.sendall(b"HASH sparse.img\r\n")
    time.sleep(0.5)
    started = time.monotonic()
    ftp.sock.sendall(b"ABOR\r\n")
    first, second = ftp.getline(), ftp.getline()
    took = time.monotonic() - started
    check(first.startswith("426 ") and second.startswith("226 "),
          "ABOR ends the computation: %r %r" % (first, second))
    check(took < 1.0, "ABOR answered in %.2f s" % took)
    check(command(ftp, "NOOP").startswith("200"), "the session goes on after ABOR")
    ftp.sock.sendall(b"XSHA512 sparse.img\r\n")
    time.sleep(0.3)
    started = time.monotonic()
    ftp.sock.sendall(b"QUIT\r\n")
    first, second = ftp.getline(), ftp.getline()
    check(first.startswith("426 ") and second == "220 Good bye!",
          "QUIT ends the computation: %r %r" % (first, second))
    check(time.monotonic() - started < 1.0, "QUIT answered at once")
    ftp.sock.settimeout(5)
    try:
        closed = ftp.sock.recv(1) == b""
    except (socket.timeout, OSError):
        closed = False
    check(closed, "the session ends after QUIT")
    ftp.close()


def main():
    with FtpServerEnv(sys.argv[1]) as env:
        env.start()
        whole_files_and_ranges(env)
        hostile_paths(env)
        sparse_file(env)
        speed_limit_and_abort(env)
        env.stop()
        write(env.prog + "option.ini", (OPTIONS % 16).encode())
        env.start()
        size_limit(env)
    return exit_status("checksums: all checks passed")


if __name__ == "__main__":
    sys.exit(main())
