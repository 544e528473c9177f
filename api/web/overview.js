"use strict";
// The overview: server state, totals, the rate graph, sessions and bans.

// ---- Overview: server, totals, rates, sessions, bans

function showOverview(root) {
  const serverBox = el("section", { class: "box", id: "server" }, el("h2", {}, "Server"));
  const totalsBox = el("section", { class: "box", id: "totals" }, el("h2", {}, "Totals"));
  const canvas = el("canvas", { class: "rates", id: "rates", role: "img", "aria-label": "Transfer rate" });
  const graphBox = el("section", { class: "box" },
    el("h2", {}, "Transfer rate, last 5 minutes"), canvas,
    el("div", { class: "legend" },
      el("span", {}, el("span", { class: "swatch sent" }), "Sent"),
      el("span", {}, el("span", { class: "swatch received" }), "Received"),
      el("span", { id: "rate-now" })));
  const sessionsBox = el("section", { class: "box", id: "sessions" }, el("h2", {}, "Sessions"));
  const bansBox = el("section", { class: "box", id: "bans" }, el("h2", {}, "Banned addresses"));
  const status = el("div");        // the refresh's trouble, cleared by the next one
  const actionStatus = el("div");  // a refused Start, Stop, Kick or Lift, kept
  root.append(status, actionStatus, el("div", { class: "grid" }, el("div", {}, serverBox, totalsBox), graphBox),
    sessionsBox, bansBox);
  const replaceBody = (box, ...nodes) => box.replaceChildren(box.firstChild, ...nodes);
  every(1000, async () => {
    const [server, stats, sessions, bans] = await Promise.all([
      api("GET", "/api/v1/server"), api("GET", "/api/v1/stats"),
      api("GET", "/api/v1/sessions"), api("GET", "/api/v1/bans")]);
    if (!App.csrf || !root.isConnected) return;
    const failed = [server, stats, sessions, bans].find((r) => !r.ok);
    status.replaceChildren(failed ? message("error", failed.error) : "");
    if (server.ok) replaceBody(serverBox, ...serverFacts(server.data, actionStatus));
    if (stats.ok) {
      replaceBody(totalsBox, totals(stats.data.totals));
      addRates(stats.data.rates);
      drawRates(canvas);
    }
    if (sessions.ok) replaceBody(sessionsBox, sessionTable(sessions.data.sessions, actionStatus));
    if (bans.ok) replaceBody(bansBox, banTable(bans.data.bans, actionStatus));
  });
}

function serverFacts(s, status) {
  const running = s.state === "running";
  const facts = el("dl", { class: "facts" },
    el("dt", {}, "State"), el("dd", { id: "server-state" }, s.state),
    el("dt", {}, "Port"), el("dd", {}, String(s.port)),
    el("dt", {}, "Sessions"), el("dd", {}, String(s.sessions)),
    el("dt", {}, "Started"), el("dd", {}, s.startTime ? formatTime(s.startTime) : "not running"),
    el("dt", {}, "Version"), el("dd", {}, s.version));
  if (s.certificate) {
    facts.append(el("dt", {}, "Certificate"),
      el("dd", {}, "valid until " + s.certificate.notAfter + " (" + s.certificate.daysLeft + " days)" +
        (s.certificate.expiresSoon ? ": renew it soon" : "")));
  }
  const toggle = button(running ? "Stop" : "Start", async () => {
    toggle.disabled = true;
    const result = await api("PUT", "/api/v1/server", { body: { listening: !running } });
    if (!result.ok) status.replaceChildren(message("error", result.error));
  }, running ? "danger" : "primary");
  toggle.id = "server-toggle";
  toggle.disabled = s.state === "stopping";
  return [facts, toggle];
}

function totals(t) {
  const rows = [["Bytes sent", formatBytes(t.bytesSent)], ["Bytes received", formatBytes(t.bytesReceived)],
    ["Connections", t.connections], ["Connected now", t.currentConnections],
    ["Downloads", t.downloads], ["Uploads", t.uploads],
    ["Failed downloads", t.failedDownloads], ["Failed transfers", t.failedTransfers]];
  return el("dl", { class: "facts" }, rows.map(([k, v]) => [el("dt", {}, k), el("dd", {}, String(v))]));
}

function sessionTable(sessions, status) {
  return table([
    ["ID", (s) => String(s.id)],
    ["User", (s) => s.loggedIn ? s.user : (s.user ? s.user + " (not logged in)" : "(not logged in)")],
    ["Address", (s) => s.address],
    ["Logged in", (s) => formatTime(s.loginTime)],
    ["Idle", (s) => s.idleSeconds + " s"],
    ["Directory", (s) => s.directory],
    ["Last command", (s) => s.lastCommand],
  ], sessions, (s) => deleteButton(async () => {
    const result = await api("DELETE", "/api/v1/sessions/" + segment(String(s.id)));
    if (!result.ok) status.replaceChildren(message("error", result.error));
  }, "Kick", "session " + s.id), "No sessions");
}

function banTable(bans, status) {
  return table([
    ["Address", (b) => b.address],
    ["Time left", (b) => b.secondsLeft + " s"],
    ["Offences", (b) => String(b.offences)],
  ], bans, (b) => deleteButton(async () => {
    const result = await api("DELETE", "/api/v1/bans/" + segment(b.address));
    if (!result.ok) status.replaceChildren(message("error", result.error));
  }, "Lift", "ban " + b.address), "No banned addresses");
}

function addRates(samples) {
  const last = App.rates.length ? App.rates[App.rates.length - 1].time : -Infinity;
  for (const sample of samples || [])
    if (sample.time > last) App.rates.push(sample);
  if (App.rates.length > kRateSamples) App.rates.splice(0, App.rates.length - kRateSamples);
}

function drawRates(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth, height = canvas.clientHeight;
  if (width === 0 || height === 0) return;
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  const g = canvas.getContext("2d");
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, width, height);
  const samples = App.rates;
  const peak = Math.max(1024, ...samples.map((s) => Math.max(s.bytesSentPerSecond, s.bytesReceivedPerSecond)));
  const left = 64, bottom = height - 20, top = 8, right = width - 8;
  g.font = "11px system-ui, sans-serif";
  g.fillStyle = "#5b6570";
  g.strokeStyle = "#d5dbe1";
  g.lineWidth = 1;
  for (let i = 0; i <= 4; i += 1) {
    const y = bottom - (bottom - top) * i / 4;
    g.beginPath(); g.moveTo(left, y); g.lineTo(right, y); g.stroke();
    g.fillText(formatBytes(peak * i / 4) + "/s", 2, y + 4);
  }
  const now = samples.length ? samples[samples.length - 1].time : 0;
  g.fillText("-5 min", left, height - 4);
  g.fillText("now", right - 22, height - 4);
  const x = (time) => right - (now - time) / kRateSamples * (right - left);
  const line = (key, color) => {
    g.strokeStyle = color; g.lineWidth = 2; g.beginPath();
    samples.forEach((s, i) => {
      const y = bottom - (bottom - top) * s[key] / peak;
      if (i === 0) g.moveTo(x(s.time), y); else g.lineTo(x(s.time), y);
    });
    g.stroke();
  };
  line("bytesSentPerSecond", "#1f5f8b");
  line("bytesReceivedPerSecond", "#d9822b");
  const latest = samples[samples.length - 1];
  const now_ = document.getElementById("rate-now");
  if (latest && now_)
    now_.textContent = "now: " + formatBytes(latest.bytesSentPerSecond) + "/s sent, " +
      formatBytes(latest.bytesReceivedPerSecond) + "/s received";
}
