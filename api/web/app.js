"use strict";
// The web administration page: one page over the administration API of the TLS listener.
// SECURITY: every value the server sends (user, group, folder and file names, log lines)
// was chosen by somebody else, so it reaches the page only as text (textContent, text
// nodes, input values), never as markup.

const App = {
  csrf: "",       // the CSRF token of the sign-in, in memory only: a reload signs in again
  timer: 0,       // the current page's refresh
  logSource: null,
  rates: [],      // the rate samples seen, oldest first
  notice: null,   // a message to show on the next page, {kind, text}
  armed: null,    // the key of the delete button clicked once, waiting for its second click
};

const kRateSamples = 300;  // five minutes at one sample a second
const kLogLines = 5000;

// ---- Building blocks

// Control bytes as their visible symbols (U+2400...), so a name cannot hide characters.
function visible(text) {
  return String(text ?? "").replace(/[\u0000-\u001f\u007f]/g, (c) =>
    c === "\u007f" ? "\u2421" : String.fromCharCode(0x2400 + c.charCodeAt(0)));
}

// createElement with properties, listeners ("onclick") and children; a string child
// becomes a text node.
function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (value === undefined || value === null) continue;
    if (key === "class") node.className = value;
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else if (key.startsWith("data-") || key === "for" || key === "role" || key.startsWith("aria-"))
      node.setAttribute(key, value);
    else node[key] = value;
  }
  for (const child of children.flat(Infinity)) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : visible(child));
  }
  return node;
}

// A message box; the line breaks of `text` are the page's own, kept as lines (a control
// byte inside a line still shows as its symbol).
function message(kind, text, ...buttons) {
  const lines = String(text).split("\n").flatMap((line, i) => (i ? [el("br"), line] : [line]));
  return el("div", { class: "message " + kind, role: kind === "error" ? "alert" : "status" },
    el("div", {}, lines), buttons.length ? el("div", { class: "buttons" }, buttons) : null);
}

function button(text, onclick, className = "") {
  return el("button", { type: "button", class: className, onclick }, text);
}

// A delete button that asks on the page itself: the first click arms it, the second acts.
// `key` names what it deletes, so a list redrawn meanwhile (the overview's, every second)
// keeps the button armed.
function deleteButton(onconfirm, text = "Delete", key = "") {
  const node = button(text, () => {
    if (!node.classList.contains("confirm")) {
      arm(true);
      App.armed = key;
      setTimeout(() => { if (App.armed === key) App.armed = null; arm(false); }, 4000);
      return;
    }
    App.armed = null;
    node.disabled = true;
    onconfirm();
  }, "danger");
  const arm = (on) => {
    node.classList.toggle("confirm", on);
    node.textContent = on ? "Really " + text.toLowerCase() + "?" : text;
  };
  if (key && App.armed === key) arm(true);
  return node;
}

// A table; `columns` are [label, row => value]; `actions(row)` gives the row's buttons.
// Under 600 px each row becomes a card labelled by the column names.
function table(columns, rows, actions, emptyText = "None") {
  const head = el("tr", {}, columns.map(([label]) => el("th", {}, label)),
    actions ? el("th", {}) : null);
  const body = rows.length === 0
    ? [el("tr", {}, el("td", { class: "empty", colSpan: columns.length + (actions ? 1 : 0) }, emptyText))]
    : rows.map((row) => el("tr", {},
      columns.map(([label, value]) => el("td", { "data-label": label }, value(row))),
      actions ? el("td", { class: "actions" }, actions(row)) : null));
  return el("div", { class: "scroll" },
    el("table", { class: "cards" }, el("thead", {}, head), el("tbody", {}, body)));
}

function field(label, input) {
  if (!input.id) input.id = "f-" + label.toLowerCase().replace(/[^a-z]+/g, "-");
  return [el("label", { for: input.id }, label), input];
}

function textInput(value, props = {}) {
  return el("input", { type: "text", value: value ?? "", ...props });
}

function checkbox(label, checked, props = {}) {
  const input = el("input", { type: "checkbox", checked: !!checked, ...props });
  return { input, node: el("label", {}, input, " " + label) };
}

// A masked password field with a Show toggle.
function passwordInput(id, placeholder = "") {
  const input = el("input", { type: "password", id, placeholder, autocomplete: "new-password" });
  const toggle = button("Show", () => {
    const show = input.type === "password";
    input.type = show ? "text" : "password";
    toggle.textContent = show ? "Hide" : "Show";
    toggle.setAttribute("aria-pressed", String(show));
  });
  toggle.setAttribute("aria-pressed", "false");
  toggle.className = "toggle";
  return { input, node: el("div", { class: "with-toggle" }, input, toggle) };
}

function formatTime(seconds) {
  if (seconds === null || seconds === undefined) return "";
  return new Date(seconds * 1000).toLocaleString();
}

function formatBytes(n) {
  const units = ["B", "KB", "MB", "GB", "TB"];
  let value = Number(n) || 0, unit = 0;
  while (value >= 1024 && unit < units.length - 1) { value /= 1024; unit += 1; }
  return (unit === 0 ? value.toFixed(0) : value.toFixed(1)) + " " + units[unit];
}

function segment(name) {
  return encodeURIComponent(name);
}

// ---- The API

// One request; `body` is sent as JSON, `etag` as If-Match. Never throws: the result
// says {status, ok, data, etag, error}. A 401 while signed in ends the session here.
async function api(method, path, { body, etag } = {}) {
  const headers = { Accept: "application/json" };
  if (body !== undefined) headers["Content-Type"] = "application/json";
  if (method !== "GET") headers["X-CSRF-Token"] = App.csrf;
  if (etag) headers["If-Match"] = etag;
  let response;
  try {
    response = await fetch(path, {
      method, headers, body: body === undefined ? undefined : JSON.stringify(body),
      credentials: "same-origin", cache: "no-store", redirect: "error",
    });
  } catch (e) {
    return { status: 0, ok: false, data: null, etag: "", error: "The server cannot be reached." };
  }
  let data = null;
  if ((response.headers.get("Content-Type") || "").startsWith("application/json")) {
    try { data = await response.json(); } catch (e) { data = null; }
  }
  const error = data && typeof data.error === "string" ? data.error
    : (response.ok ? "" : "The server answered " + response.status + ".");
  if (response.status === 401 && App.csrf && path !== "/api/v1/signin")
    signedOut("Your session has ended; sign in again.");
  return { status: response.status, ok: response.ok, data, etag: response.headers.get("ETag") || "", error };
}

// ---- Pages and navigation

function main() { return document.getElementById("main"); }

function stopPage() {
  clearInterval(App.timer);
  App.timer = 0;
  if (App.logSource) App.logSource.close();
  App.logSource = null;
}

// Runs `refresh` now and every `ms` while the page is shown; a slow server gets one
// refresh at a time, not a pile of them.
function every(ms, refresh) {
  let busy = false;
  const run = async () => {
    if (busy) return;
    busy = true;
    try { await refresh(); } finally { busy = false; }
  };
  run();
  App.timer = setInterval(run, ms);
}

const Pages = {
  overview: showOverview,
  log: showLog,
  users: showUsers,
  groups: showGroups,
  folders: showFolders,
  options: showOptions,
  iplists: showIpLists,
};

function route() {
  stopPage();
  document.getElementById("top").hidden = !App.csrf;
  if (!App.csrf) return showSignIn();
  const wanted = location.hash.slice(1);
  const page = Object.hasOwn(Pages, wanted) ? wanted : "overview";
  for (const link of document.querySelectorAll("#nav a"))
    link.classList.toggle("current", link.getAttribute("href") === "#" + page);
  const root = main();
  root.replaceChildren();
  if (App.notice) {
    root.append(message(App.notice.kind, App.notice.text));
    App.notice = null;
  }
  Pages[page](root);
}

function signedOut(text) {
  App.csrf = "";
  App.notice = { kind: "info", text };
  route();
}

// ---- Sign in and out

function showSignIn() {
  const password = passwordInput("password");
  password.input.autocomplete = "current-password";
  const status = el("div", { id: "signin-status" });
  if (App.notice) {
    status.append(message(App.notice.kind, App.notice.text));
    App.notice = null;
  }
  const submit = el("button", { type: "submit", class: "primary", id: "signin" }, "Sign in");
  const form = el("form", { class: "box signin", id: "signin-form" },
    el("h1", {}, "Tarvona FTP Server"),
    el("p", { class: "muted" }, "Administration: sign in as admin."),
    status,
    el("div", { class: "fields" }, el("label", { for: "password" }, "Password:"), password.node),
    el("div", { class: "buttons" }, submit));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    submit.disabled = true;
    const result = await api("POST", "/api/v1/signin",
      { body: { password: password.input.value, browser: true } });
    submit.disabled = false;
    if (result.ok && result.data && typeof result.data.csrfToken === "string") {
      App.csrf = result.data.csrfToken;
      route();
      return;
    }
    password.input.value = "";
    status.replaceChildren(message("error", result.error || "The sign-in failed."));
  });
  main().replaceChildren(form);
  password.input.focus();
}

async function signOut() {
  await api("POST", "/api/v1/signout");
  signedOut("Signed out.");
}

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

// ---- Log: the last lines, then live

function showLog(root) {
  const filter = el("input", { type: "search", id: "log-filter", placeholder: "Filter (any part of a line)", "aria-label": "Filter" });
  const state = el("span", { class: "muted", id: "log-state" }, "connecting...");
  const lines = el("div", { class: "log", id: "log-lines", role: "log" });
  root.append(el("section", { class: "box" },
    el("div", { class: "row log-controls" }, filter, state), lines));
  const matches = (node) => node.textContent.toLowerCase().includes(filter.value.toLowerCase());
  const add = (text) => {
    const atEnd = lines.scrollTop + lines.clientHeight >= lines.scrollHeight - 4;
    const node = el("div", {}, text);
    node.hidden = !matches(node);
    lines.append(node);
    while (lines.childElementCount > kLogLines) lines.firstElementChild.remove();
    if (atEnd) lines.scrollTop = lines.scrollHeight;
  };
  filter.addEventListener("input", () => {
    for (const node of lines.children) node.hidden = !matches(node);
  });
  // One stream: the last lines, then every new one. A reconnect sends the last lines
  // again, so the list starts over.
  const source = new EventSource("/api/v1/log?follow=1&lines=500");
  App.logSource = source;
  source.onopen = () => {
    lines.replaceChildren();
    state.textContent = "live";
  };
  source.onmessage = (event) => add(event.data);
  source.addEventListener("missed", (event) => add("(" + event.data + " lines missed)"));
  source.onerror = () => {
    state.textContent = "reconnecting...";
    // A refused stream (an ended session) is not tried again by the browser: ask whether
    // the session still holds, which signs out when it does not.
    if (source.readyState === EventSource.CLOSED) api("GET", "/api/v1/server");
  };
}

// ---- Editors' common parts

// The editor's message box: errors keep the form and its edits.
function editorStatus() {
  return el("div", { class: "editor-status", id: "editor-status" });
}

// Shows `result`'s refusal in `status`; a 412 says that somebody else changed the
// record and offers to read it again (dropping the edits), as the window does.
function showRefusal(status, result, reload) {
  if (result.status === 412) {
    status.replaceChildren(message("error", result.error +
      "\n\nIt was changed by someone else. Your edits are kept; Reload reads it again and drops them.",
      button("Reload", reload)));
  } else {
    status.replaceChildren(message("error", result.status === 0 ? "Save failed: " + result.error +
      "\nYour changes are kept: save again once the server answers." : result.error));
  }
  status.scrollIntoView({ block: "nearest" });
}

const kPermissions = [
  ["File Permissions", [["Read", "read"], ["Write", "write"], ["Delete", "delete"], ["Rename", "rename"], ["Append", "append"]]],
  ["Directory Permissions", [["List", "dir_list"], ["Create", "dir_create"], ["Remove", "dir_remove"], ["Rename", "dir_rename"]]],
];

// The nine permission boxes of `record`; `read()` gives them back as fields.
function permissionBoxes(record) {
  const boxes = {};
  const sets = kPermissions.map(([legend, items]) => el("fieldset", {}, el("legend", {}, legend),
    el("div", { class: "checks" }, items.map(([label, key]) => {
      const box = checkbox(label, record[key], { id: "perm-" + key });
      boxes[key] = box.input;
      return box.node;
    }))));
  const read = () => Object.fromEntries(Object.entries(boxes).map(([k, b]) => [k, b.checked]));
  return { nodes: sets, read };
}

// An input holding `value`: what it gives back is `value` itself unless the user edited
// it, so a name the input cannot hold (a control byte) is not changed by saving.
function keptInput(value, props = {}) {
  const input = textInput(value, props);
  const shown = input.value;
  return { input, value: () => (input.value === shown ? (value ?? "") : input.value) };
}

function editorPage(root, title, form) {
  root.replaceChildren(el("section", { class: "box" }, el("h2", {}, title), form));
}

// A list page: heading with an Add button, then the table.
function listPage(root, title, addText, onadd) {
  const status = el("div");
  const body = el("div", {}, el("p", { class: "muted" }, "Loading..."));
  const add = button(addText, onadd, "primary");
  add.id = "add";
  root.append(el("section", { class: "box" },
    el("div", { class: "row spread" }, el("h2", {}, title), add), status, body));
  return { status, body };
}

// ---- Users

async function showUsers(root) {
  const page = listPage(root, "Users", "Add user", () => editUser(root, null));
  const result = await api("GET", "/api/v1/users");
  if (!result.ok) return page.status.replaceChildren(message("error", result.error));
  page.body.replaceChildren(table([
    ["Username", (u) => u.userid],
    ["Group", (u) => u.group],
    ["Home Dir", (u) => u.homedir],
    ["Enabled", (u) => (u.status === 1 ? "yes" : "no")],
    ["Permissions", (u) => u.permissions],
  ], result.data, (u) => [
    button("Edit", () => editUser(root, u.userid)),
    deleteButton(async () => {
      const r = await api("DELETE", "/api/v1/users/" + segment(u.userid));
      if (!r.ok) return page.status.replaceChildren(message("error", r.error));
      route();
    }),
  ], "No users"));
}

const kNewUser = {
  userid: "", email: "", group: "", homedir: "", status: 1, reserved: "", download_limit: false,
  download_speed: 0, upload_limit: false, upload_speed: 0, quota_max: 0, quota_current: 0,
  read: true, write: false, delete: false, rename: false, append: false,
  dir_list: true, dir_create: false, dir_remove: false, dir_rename: false,
};

async function editUser(root, userid) {
  stopPage();
  let user = { ...kNewUser }, etag = "";
  if (userid !== null) {
    const result = await api("GET", "/api/v1/users/" + segment(userid));
    if (!result.ok) return root.replaceChildren(message("error", result.error));
    user = result.data;
    etag = result.etag;
  }
  const status = editorStatus();
  const name = keptInput(user.userid, { id: "user-name", autocomplete: "off" });
  const password = passwordInput("user-password", userid === null ? "" : "unchanged");
  const group = keptInput(user.group, { id: "user-group" });
  const home = keptInput(user.homedir, { id: "user-home" });
  const email = keptInput(user.email, { id: "user-email" });
  const enabled = checkbox("Enable this account", user.status === 1, { id: "user-enabled" });
  const [disableOn, disableDate] = (user.reserved || "").split(",");
  const autoDisable = checkbox("Automatically disable account on date", disableOn === "1", { id: "user-autodisable" });
  const date = el("input", { type: "date", id: "user-disable-date", value: disableDate || "" });
  const permissions = permissionBoxes(user);
  const downLimit = checkbox("Limit download", user.download_limit, { id: "user-down-limit" });
  const downSpeed = el("input", { type: "number", min: 0, id: "user-down-speed", value: user.download_speed });
  const upLimit = checkbox("Limit upload", user.upload_limit, { id: "user-up-limit" });
  const upSpeed = el("input", { type: "number", min: 0, id: "user-up-speed", value: user.upload_speed });
  const quotaMax = el("input", { type: "number", min: 0, id: "user-quota-max", value: user.quota_max });
  const reset = checkbox("Count the space in use from 0 again", false, { id: "user-quota-reset" });
  const save = el("button", { type: "submit", class: "primary", id: "save" }, userid === null ? "Create" : "Save");
  const form = el("form", { class: "editor", id: "user-editor" }, status,
    el("div", { class: "fields" },
      field("Username:", name.input), el("label", { for: "user-password" }, "Password:"), password.node,
      field("Group:", group.input), field("Home Dir:", home.input), field("Email:", email.input)),
    el("fieldset", {}, el("legend", {}, "Account"), el("div", { class: "checks" }, enabled.node, autoDisable.node, date)),
    permissions.nodes,
    el("fieldset", {}, el("legend", {}, "Speed limitation (KB/sec)"),
      el("div", { class: "fields" }, downLimit.node, downSpeed, upLimit.node, upSpeed)),
    el("fieldset", {}, el("legend", {}, "Disk Quota"),
      el("div", { class: "fields" }, field("Max Quota (KB):", quotaMax),
        el("label", {}, "Current Quota:"), el("span", { id: "user-quota-current" }, String(user.quota_current) + " KB"),
        el("span", {}), reset.node)),
    el("div", { class: "buttons" }, save, button("Cancel", () => route())));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    // The window's own checks, with its words; the server checks everything again.
    if (name.value().trim() === "") return status.replaceChildren(message("error", "Username cannot be empty!"));
    if (home.value().trim() === "") return status.replaceChildren(message("error", "Home Dir cannot be empty!"));
    const record = {
      userid: name.value(), group: group.value(), homedir: home.value(), email: email.value(),
      status: enabled.input.checked ? 1 : 0,
      download_limit: downLimit.input.checked, download_speed: Number(downSpeed.value) || 0,
      upload_limit: upLimit.input.checked, upload_speed: Number(upSpeed.value) || 0,
      quota_max: Number(quotaMax.value) || 0, ...permissions.read(),
    };
    // Without a date the field is left out: a new account's value, no automatic disable.
    if (date.value) record.reserved = (autoDisable.input.checked ? "1," : "0,") + date.value;
    if (password.input.value !== "") record.password = password.input.value;
    if (reset.input.checked) record.quota_current = 0;
    save.disabled = true;
    const result = userid === null
      ? await api("POST", "/api/v1/users", { body: record })
      : await api("PUT", "/api/v1/users/" + segment(userid), { body: record, etag });
    save.disabled = false;
    if (!result.ok) return showRefusal(status, result, () => editUser(root, userid));
    App.notice = { kind: "info", text: "Saved the account " + record.userid + "." };
    route();
  });
  editorPage(root, userid === null ? "New user" : "User Account", form);
  name.input.focus();
}

// ---- Groups

async function showGroups(root) {
  const page = listPage(root, "Groups", "Add group", () => editGroup(root, null));
  const result = await api("GET", "/api/v1/groups");
  if (!result.ok) return page.status.replaceChildren(message("error", result.error));
  page.body.replaceChildren(table([
    ["Name", (g) => g.name],
    ["Notes", (g) => g.notes],
  ], result.data, (g) => [
    button("Edit", () => editGroup(root, g.name)),
    deleteButton(async () => {
      const r = await api("DELETE", "/api/v1/groups/" + segment(g.name));
      if (!r.ok) return page.status.replaceChildren(message("error", r.error));
      route();
    }),
  ], "No groups"));
}

async function editGroup(root, groupName) {
  stopPage();
  let group = { name: "", notes: "" }, etag = "";
  if (groupName !== null) {
    const result = await api("GET", "/api/v1/groups/" + segment(groupName));
    if (!result.ok) return root.replaceChildren(message("error", result.error));
    group = result.data;
    etag = result.etag;
  }
  const status = editorStatus();
  const name = keptInput(group.name, { id: "group-name", autocomplete: "off" });
  const notes = el("textarea", { id: "group-notes", rows: 3, maxLength: 127, value: group.notes || "" });
  const notesShown = notes.value;
  const save = el("button", { type: "submit", class: "primary", id: "save" }, groupName === null ? "Create" : "Save");
  const form = el("form", { class: "editor", id: "group-editor" }, status,
    el("div", { class: "fields" }, field("Name:", name.input), field("Notes:", notes)),
    el("div", { class: "buttons" }, save, button("Cancel", () => route())));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    if (name.value().trim() === "") return status.replaceChildren(message("error", "Name cannot be empty!"));
    const record = { name: name.value(), notes: notes.value === notesShown ? (group.notes || "") : notes.value };
    save.disabled = true;
    const result = groupName === null
      ? await api("POST", "/api/v1/groups", { body: record })
      : await api("PUT", "/api/v1/groups/" + segment(groupName), { body: record, etag });
    save.disabled = false;
    if (!result.ok) return showRefusal(status, result, () => editGroup(root, groupName));
    App.notice = { kind: "info", text: "Saved the group " + record.name + "." };
    route();
  });
  editorPage(root, groupName === null ? "New group" : "Group", form);
  name.input.focus();
}

// ---- Virtual folders: the list of one user or group, replaced whole

async function showFolders(root, owner = App.folderOwner || "") {
  const status = el("div");
  const ownerSelect = el("select", { id: "folder-owner", "aria-label": "Owner" });
  const body = el("div");
  const add = button("Add folder", () => {}, "primary");
  add.id = "add";
  add.disabled = true;
  root.append(el("section", { class: "box" },
    el("div", { class: "row spread" }, el("h2", {}, "Virtual Folders"), add),
    el("div", { class: "row" }, el("label", { for: "folder-owner" }, "Folders of:"), ownerSelect),
    status, body));
  const [users, groups] = await Promise.all([api("GET", "/api/v1/users"), api("GET", "/api/v1/groups")]);
  if (!users.ok || !groups.ok) return status.replaceChildren(message("error", (users.ok ? groups : users).error));
  const owners = [...users.data.map((u) => "users/" + u.userid), ...groups.data.map((g) => "groups/" + g.name)];
  ownerSelect.append(el("option", { value: "" }, "(choose a user or group)"),
    el("optgroup", { label: "Users" }, users.data.map((u) => el("option", { value: "users/" + u.userid }, u.userid))),
    el("optgroup", { label: "Groups" }, groups.data.map((g) => el("option", { value: "groups/" + g.name }, g.name))));
  if (owners.includes(owner)) ownerSelect.value = owner;
  const load = async () => {
    App.folderOwner = ownerSelect.value;
    body.replaceChildren();
    status.replaceChildren();
    add.disabled = !ownerSelect.value;
    if (!ownerSelect.value) return;
    const [kind, name] = [ownerSelect.value.split("/")[0], ownerSelect.value.slice(ownerSelect.value.indexOf("/") + 1)];
    const path = "/api/v1/" + kind + "/" + segment(name) + "/folders";
    const result = await api("GET", path);
    if (!result.ok) return status.replaceChildren(message("error", result.error));
    const folders = result.data;
    const put = async (list) => {
      const r = await api("PUT", path, { body: list, etag: result.etag });
      return r;
    };
    add.onclick = () => editFolder(root, path, folders, result.etag, -1);
    body.replaceChildren(table([
      ["Name", (f) => f.name],
      ["Path", (f) => f.dir],
      ["Permissions", (f) => f.permissions],
    ], folders, (f) => [
      button("Edit", () => editFolder(root, path, folders, result.etag, folders.indexOf(f))),
      deleteButton(async () => {
        const r = await put(folders.filter((other) => other !== f));
        if (!r.ok) return showRefusal(status, r, load);
        load();
      }),
    ], "No virtual folders"));
  };
  ownerSelect.addEventListener("change", load);
  load();
}

function editFolder(root, path, folders, etag, index) {
  stopPage();
  const folder = index >= 0 ? folders[index]
    : { name: "", dir: "", read: true, write: false, delete: false, rename: false, append: false,
      dir_list: true, dir_create: false, dir_remove: false, dir_rename: false };
  const status = editorStatus();
  const name = keptInput(folder.name, { id: "folder-name", autocomplete: "off" });
  const dir = keptInput(folder.dir, { id: "folder-path" });
  const permissions = permissionBoxes(folder);
  const save = el("button", { type: "submit", class: "primary", id: "save" }, index < 0 ? "Create" : "Save");
  const form = el("form", { class: "editor", id: "folder-editor" }, status,
    el("div", { class: "fields" }, field("Name:", name.input), field("Path:", dir.input)),
    permissions.nodes,
    el("div", { class: "buttons" }, save, button("Cancel", () => route())));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    if (name.value().trim() === "") return status.replaceChildren(message("error", "Please input a name for this virtual folder!"));
    if (dir.value().trim() === "") return status.replaceChildren(message("error", "Please select a path for this virtual folder!"));
    const edited = { ...folder, name: name.value(), dir: dir.value(), ...permissions.read() };
    delete edited.permissions;  // the boxes say it; the text would win over nothing
    const list = folders.map((f, i) => (i === index ? edited : f));
    if (index < 0) list.push(edited);
    save.disabled = true;
    const result = await api("PUT", path, { body: list, etag });
    save.disabled = false;
    if (!result.ok) return showRefusal(status, result, () => route());
    App.notice = { kind: "info", text: "Saved the virtual folder " + edited.name + "." };
    route();
  });
  editorPage(root, "Virtual Folder", form);
  name.input.focus();
}

// ---- Options

async function showOptions(root) {
  const status = el("div");
  const body = el("div", {}, el("p", { class: "muted" }, "Loading..."));
  root.append(el("section", { class: "box" }, el("h2", {}, "Options"),
    el("p", { class: "muted" }, "The keys of option.ini; a changed key is applied at once when the running server can take it."),
    status, body));
  const result = await api("GET", "/api/v1/options");
  if (!result.ok) return status.replaceChildren(message("error", result.error));
  const inputs = Object.entries(result.data.options).map(([key, value]) => {
    const input = typeof value === "number"
      ? el("input", { type: "number", value: String(value), id: "opt-" + key })
      : textInput(typeof value === "string" ? value : JSON.stringify(value), { id: "opt-" + key });
    return { key, value, input, shown: input.value };
  });
  const save = el("button", { type: "submit", class: "primary", id: "save" }, "Save");
  const form = el("form", { id: "options-form" },
    el("div", { class: "scroll" }, el("table", { class: "options-table" },
      el("tbody", {}, inputs.map(({ key, input }) =>
        el("tr", {}, el("td", {}, el("label", { for: input.id }, key)), el("td", {}, input)))))),
    el("div", { class: "buttons sticky" }, save, button("Reload", () => route())));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const changed = {};
    for (const { key, value, input, shown } of inputs) {
      if (input.value === shown) continue;
      if (typeof value === "number") {
        if (input.value.trim() === "" || !Number.isInteger(Number(input.value)))
          return status.replaceChildren(message("error", key + " needs a whole number."));
        changed[key] = Number(input.value);
      } else {
        changed[key] = input.value;
      }
    }
    if (Object.keys(changed).length === 0)
      return status.replaceChildren(message("info", "Nothing was changed."));
    save.disabled = true;
    const r = await api("PUT", "/api/v1/options", { body: changed, etag: result.etag });
    save.disabled = false;
    if (!r.ok) return showRefusal(status, r, () => route());
    const restart = r.data.restartNeeded || [];
    App.notice = { kind: "info", text: "Saved " + Object.keys(changed).join(", ") + "." +
      (restart.length ? "\nThese take effect at the next start: " + restart.join(", ") + "." : "") };
    route();
  });
  body.replaceChildren(form);
}

// ---- IP filter

const kFilterModes = ["None", "Deny Access from these IPs", "Allow Access from these IPs"];

async function showIpLists(root) {
  const status = el("div");
  const body = el("div", {}, el("p", { class: "muted" }, "Loading..."));
  root.append(el("section", { class: "box" }, el("h2", {}, "IP Filter"), status, body));
  const [allow, deny] = await Promise.all([api("GET", "/api/v1/iplists/allow"), api("GET", "/api/v1/iplists/deny")]);
  if (!allow.ok || !deny.ok) return status.replaceChildren(message("error", (allow.ok ? deny : allow).error));
  const mode = allow.data.mode;
  const modes = el("fieldset", { id: "filter-mode" }, el("legend", {}, "Filter mode:"),
    el("div", { class: "checks" }, kFilterModes.map((label, value) => {
      const radio = el("input", { type: "radio", name: "mode", value: String(value), checked: value === mode, id: "mode-" + value });
      radio.addEventListener("change", async () => {
        const r = await api("PUT", "/api/v1/iplists",
          { body: { mode: value, allow: allow.data.entries, deny: deny.data.entries } });
        if (!r.ok) return status.replaceChildren(message("error", "The IP filter was not changed: " + r.error));
        App.notice = r.data.notSaved
          ? { kind: "error", text: "The filter is in force, but could not be saved for the next start: " + r.data.notSaved }
          : { kind: "info", text: "Filter mode: " + label + "." };
        route();
      });
      return el("label", {}, radio, " " + label);
    })));
  const list = (title, kind, entries) => {
    const entry = el("input", { type: "text", id: "entry-" + kind, placeholder: "e.g. 192.168.1.*", "aria-label": "New entry" });
    const form = el("form", { class: "row entry" }, entry, el("button", { type: "submit", id: "add-" + kind }, "Add"));
    form.addEventListener("submit", async (event) => {
      event.preventDefault();
      const r = await api("POST", "/api/v1/iplists/" + kind, { body: { entry: entry.value.trim() } });
      if (!r.ok) return status.replaceChildren(message("error", r.error));
      route();
    });
    return el("section", { class: "box", id: "list-" + kind }, el("h3", {}, title),
      table([["Entry", (e) => e]], entries, (e) => deleteButton(async () => {
        const r = await api("DELETE", "/api/v1/iplists/" + kind + "?entry=" + encodeURIComponent(e));
        if (!r.ok) return status.replaceChildren(message("error", r.error));
        route();
      }, "Remove"), "Empty"), form);
  };
  body.replaceChildren(modes, el("div", { class: "lists" },
    list("Deny list", "deny", deny.data.entries), list("Allow list", "allow", allow.data.entries)));
}

// ---- Start

document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("signout").addEventListener("click", signOut);
  window.addEventListener("hashchange", route);
  route();
});
