"""GET /metrics read by the real Prometheus: a tarvona-server with [Admin] MetricsListen on
loopback, Prometheus scraping it every second, its query API asked for the session count and
the bytes after real ftplib transfers; promtool checks a scrape; hostile command verbs
never become labels; the plain listener serves /metrics alone and refuses other addresses.
Standard library only."""
import ftplib
import io
import json
import os
import re
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

from ftp_server_env import (FtpServerEnv, check, exit_status, free_port, pattern, wait_for_port)

PROMETHEUS = "/usr/bin/prometheus"
PROMTOOL = "/usr/bin/promtool"


def http_get(url, timeout=10):
    try:
        with urllib.request.urlopen(url, timeout=timeout) as answer:
            return answer.status, answer.headers.get("Content-Type", ""), answer.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.headers.get("Content-Type", ""), e.read().decode(errors="replace")


def sample(text, name, labels=""):
    """The value of the sample `name{labels}` in an exposition text, else None."""
    wanted = name + ("{%s}" % labels if labels else "")
    for line in text.splitlines():
        if line.startswith(wanted + " "):
            return float(line.split()[-1])
    return None


def promtool_clean(text):
    result = subprocess.run([PROMTOOL, "check", "metrics"], input=text.encode(),
                            capture_output=True, timeout=30)
    problems = (result.stdout + result.stderr).decode(errors="replace").strip()
    check(result.returncode == 0 and not problems, "promtool check metrics: %s" % problems)


def hostile_verbs_stay_unlabelled(env, metrics_url):
    ftp = ftplib.FTP(encoding="latin-1")
    ftp.connect("127.0.0.1", env.port, timeout=10)
    ftp.login(env.user, env.password)
    verbs = ['FOO"BAR', "A\\B", "X}Y{", 'LE="1"', "\xff\xfe", "N" * 300]
    for verb in verbs:
        try:
            ftp.sendcmd(verb)
        except ftplib.error_perm:
            pass
    ftp.quit()
    _, _, text = http_get(metrics_url)
    labels = set(re.findall(r'command="((?:[^"\\]|\\.)*)"', text))
    check(labels and all(re.fullmatch(r"[A-Z@]+|other", label) for label in labels),
          "command labels are keywords or other: %r" % sorted(labels)[:10])
    other = sample(text, "tarvona_commands_total", 'command="other"')
    check(other is not None and other >= len(verbs), "unknown verbs count as other: %r" % other)
    promtool_clean(text)


def listener_refusals(env, metrics_port):
    status, _, _ = http_get("http://127.0.0.1:%d/api/v1/server" % metrics_port)
    check(status == 404, "the metrics listener refuses the API: %d" % status)
    request = urllib.request.Request("http://127.0.0.1:%d/metrics" % metrics_port, method="POST",
                                     data=b"{}")
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            status = answer.status
    except urllib.error.HTTPError as e:
        status = e.code
    check(status == 404, "the metrics listener answers GET only: %d" % status)


def start_prometheus(root, metrics_port):
    web_port = free_port()
    config = os.path.join(root, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                "scrape_configs:\n  - job_name: tarvona\n    static_configs:\n"
                "      - targets: ['127.0.0.1:%d']\n" % metrics_port)
    log = open(os.path.join(root, "prometheus.log"), "wb")
    proc = subprocess.Popen([PROMETHEUS, "--config.file", config,
                             "--storage.tsdb.path", os.path.join(root, "tsdb"),
                             "--web.listen-address", "127.0.0.1:%d" % web_port],
                            stdout=log, stderr=log)
    if not wait_for_port(web_port, 30):
        proc.kill()
        raise RuntimeError("prometheus did not start")
    return proc, web_port


def query(web_port, expression):
    url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (web_port, urllib.parse.quote(expression))
    status, _, text = http_get(url)
    if status != 200:
        return None
    result = json.loads(text)["data"]["result"]
    return float(result[0]["value"][1]) if result else None


def wait_for_query(web_port, expression, good, deadline=30.0):
    end = time.monotonic() + deadline
    value = None
    while time.monotonic() < end:
        value = query(web_port, expression)
        if value is not None and good(value):
            return value
        time.sleep(0.5)
    return value


def prometheus_sees_transfers(env, web_port):
    data = pattern(300000)
    with open(env.path("up.bin"), "wb"):
        pass
    held = ftplib.FTP()
    held.connect("127.0.0.1", env.port, timeout=10)
    held.login(env.user, env.password)
    # One more session, held open while Prometheus is asked: two sessions now.
    second = ftplib.FTP()
    second.connect("127.0.0.1", env.port, timeout=10)
    second.login(env.user, env.password)
    held.storbinary("STOR up.bin", io.BytesIO(data))
    got = bytearray()
    held.retrbinary("RETR up.bin", got.extend)
    check(bytes(got) == data, "the transfer itself is whole")
    sessions = wait_for_query(web_port, "tarvona_sessions", lambda v: v == 2)
    check(sessions == 2, "Prometheus sees the two open sessions: %r" % sessions)
    logged_in = wait_for_query(web_port, 'tarvona_sessions_by_state{state="idle"}',
                               lambda v: v == 2)
    check(logged_in == 2, "both are idle (logged in): %r" % logged_in)
    received = wait_for_query(web_port, "tarvona_received_bytes_total",
                              lambda v: v >= len(data))
    check(received is not None and received >= len(data),
          "Prometheus sees the uploaded bytes: %r" % received)
    sent = wait_for_query(web_port, "tarvona_sent_bytes_total", lambda v: v >= len(data))
    check(sent is not None and sent >= len(data), "and the downloaded ones: %r" % sent)
    files = wait_for_query(web_port, 'tarvona_transfers_total{result="upload_done"}',
                           lambda v: v >= 1)
    check(files == 1, "one upload done: %r" % files)
    stor = wait_for_query(web_port, 'tarvona_command_duration_seconds_count{command="STOR"}',
                          lambda v: v >= 1)
    check(stor == 1, "the STOR is in the latency histogram: %r" % stor)
    held.quit()
    second.quit()
    after = wait_for_query(web_port, "tarvona_sessions", lambda v: v == 0)
    check(after == 0, "and none once they quit: %r" % after)


def main():
    if not (os.path.exists(PROMETHEUS) and os.path.exists(PROMTOOL)):
        print("prometheus is not installed (tools/install-deps.sh)")
        return 1
    with FtpServerEnv(sys.argv[1]) as env:
        metrics_port = free_port()
        with open(env.prog + "option.ini", "w") as f:
            f.write("[Admin]\nMetricsListen=127.0.0.1:%d,10.1.2.3:%d\n"
                    % (metrics_port, metrics_port + 1))
        stdout = os.path.join(env.root, "server.log")
        env.start(stdout_path=stdout)
        check(wait_for_port(metrics_port), "the metrics listener listens")
        metrics_url = "http://127.0.0.1:%d/metrics" % metrics_port
        status, content_type, text = http_get(metrics_url)
        check(status == 200 and content_type.startswith("text/plain; version=0.0.4"),
              "GET /metrics: %d %s" % (status, content_type))
        check(sample(text, "tarvona_build_info", 'version="%s"' % env_version(env)) == 1,
              "build info carries the version")
        promtool_clean(text)
        listener_refusals(env, metrics_port)
        proc, web_port = start_prometheus(env.root, metrics_port)
        try:
            prometheus_sees_transfers(env, web_port)
            up = wait_for_query(web_port, 'up{job="tarvona"}', lambda v: v == 1)
            check(up == 1, "every scrape succeeds: up=%r" % up)
        finally:
            proc.terminate()
            try:
                proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        hostile_verbs_stay_unlabelled(env, metrics_url)
        env.stop()  # the server's output is complete once it has ended
        with open(stdout, errors="replace") as f:
            text = f.read()
        check("Metrics listener refuses 10.1.2.3:%d: [Admin] MetricsListen takes loopback "
              "addresses only" % (metrics_port + 1) in text,
              "a non-loopback address is refused with a clear line")
    return exit_status("all metrics checks passed")


def env_version(env):
    out = subprocess.run([os.path.join(env.build_dir, "app", "tarvona-server"), "--version"],
                         capture_output=True, timeout=10).stdout.decode()
    return out.splitlines()[0].split()[-1]


if __name__ == "__main__":
    sys.exit(main())
