"use strict";
// The settings pages: option.ini's keys and the IP filter.

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
