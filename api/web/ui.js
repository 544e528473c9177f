"use strict";
// The web administration page's building blocks: elements, tables, form parts and the
// API call. Loaded first; the page files after it and app.js last use these globals.
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
  folderOwner: "",  // "users/NAME" or "groups/NAME" last chosen on the folders page
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
