#!/usr/bin/env python3
"""A local address-echo and dynamic-DNS page for the detection tests.

Prints "PORT <n>" once it listens on 127.0.0.1, then one line per request:
"GET <path>" and, for the update page, "UPDATE <key>=<value>" per query value (decoded).
Paths (under any prefix the test chooses):
  /myip.php             "Your IP: 203.0.113.7\n"
  /redirect/myip.php    302 to /myip.php (must not be followed)
  /error/myip.php       500 whose body still begins "Your IP:"
  /garbage/myip.php     "Your IP: <b>not an address</b>"
  /slow/myip.php        answers after 5 s
  /flaky/myip.php       500 for the first two requests, then the address
  .../updateurl2.php    records the query, answers "Your IP: 198.51.100.9"
Standard library only.
"""
import http.server
import sys
import time
import urllib.parse

ADDRESS = "203.0.113.7"
flaky_count = 0


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        data = body.encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        global flaky_count
        url = urllib.parse.urlsplit(self.path)
        print("GET", self.path, "AGENT", self.headers.get("User-Agent"),
              "VERSION", self.request_version, flush=True)
        if url.path.endswith("updateurl2.php"):
            for key, values in urllib.parse.parse_qs(url.query, keep_blank_values=True).items():
                print("UPDATE %s=%s" % (key, values[0]), flush=True)
            self.answer(200, "Your IP: 198.51.100.9\n")
        elif url.path == "/redirect/myip.php":
            self.answer(302, "", [("Location", "/myip.php")])
        elif url.path == "/error/myip.php":
            self.answer(500, "Your IP: 192.0.2.66\n")
        elif url.path == "/garbage/myip.php":
            self.answer(200, "Your IP: <b>not an address</b>\n")
        elif url.path == "/slow/myip.php":
            time.sleep(5)
            self.answer(200, "Your IP: %s\n" % ADDRESS)
        elif url.path == "/flaky/myip.php" and flaky_count < 2:
            flaky_count += 1
            self.answer(500, "busy")
        else:
            self.answer(200, "Your IP: %s\n" % ADDRESS)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print("PORT", server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
