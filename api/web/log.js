"use strict";
// The live log.

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
