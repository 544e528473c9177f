"use strict";
// The account editors: users, groups and their virtual folders.

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
