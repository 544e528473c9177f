"""Opens COUNT control connections to 127.0.0.1:PORT at once and reads each one's first
line; prints how many were greeted with 220 and how many got anything else.

    sessions-client.py PORT COUNT
"""
import resource
import selectors
import socket
import sys
import time


def main():
    port, count = int(sys.argv[1]), int(sys.argv[2])
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, count + 100)), hard))
    selector = selectors.DefaultSelector()
    sockets = []
    for _ in range(count):
        s = socket.socket()
        s.setblocking(False)
        s.connect_ex(("127.0.0.1", port))
        selector.register(s, selectors.EVENT_READ, bytearray())
        sockets.append(s)
    greeted = other = 0
    waiting = count
    end = time.monotonic() + 60
    while waiting and time.monotonic() < end:
        for key, _ in selector.select(timeout=1):
            try:
                data = key.fileobj.recv(512)
            except OSError:
                data = b""
            key.data.extend(data)
            if data and b"\n" not in key.data:
                continue
            greeted += key.data.startswith(b"220 ")
            other += not key.data.startswith(b"220 ")
            selector.unregister(key.fileobj)
            waiting -= 1
    print("greeted %d, refused or closed %d, unanswered %d" % (greeted, other, waiting))
    for s in sockets:
        s.close()
    return 0 if greeted == count else 1


if __name__ == "__main__":
    sys.exit(main())
