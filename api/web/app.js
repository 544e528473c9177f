"use strict";
// The web administration page's navigation, sign-in and start; loaded last.

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

// ---- Start

document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("signout").addEventListener("click", signOut);
  window.addEventListener("hashchange", route);
  route();
});
