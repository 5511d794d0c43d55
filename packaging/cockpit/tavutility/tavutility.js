/* RAID adapters page: reads the adapters with one `tavstat --json` per
 * refresh and runs the everyday actions through tavcli, both with
 * administrative rights through Cockpit's superuser mechanism. */
(function () {
    "use strict";

    /* Installed paths; the manifest's "config" (and Cockpit's manifest
     * overrides, /etc/cockpit/tavutility.override.json) replace them. */
    const defaults = {
        tavstat: "/opt/morvane/tavutility/tavstat",
        tavcli: "/opt/morvane/tavutility/tavcli",
        refresh_seconds: 5
    };

    let config = Object.assign({}, defaults);
    let timer = null;
    let reading = false;
    let again = false;
    let busy = false;        /* an action is running */
    let pendingAction = null;
    let superuser = null;    /* the bridge's superuser state, "root" when we have it */

    /* ---- small DOM helpers ---- */

    function el(tag, attrs, children) {
        const node = document.createElement(tag);
        for (const [key, value] of Object.entries(attrs || {})) {
            if (value === undefined || value === null || value === false)
                continue;
            if (key === "text")
                node.textContent = String(value);
            else if (key === "onclick")
                node.addEventListener("click", value);
            else
                node.setAttribute(key, value === true ? "" : String(value));
        }
        for (const child of [].concat(children || [])) {
            if (child === null || child === undefined)
                continue;
            node.appendChild(typeof child === "string" ? document.createTextNode(child) : child);
        }
        return node;
    }

    function sizeText(mb) {
        if (typeof mb !== "number")
            return "";
        if (mb >= 1000000)
            return (mb / 1000000).toFixed(2) + " TB";
        if (mb >= 1000)
            return (mb / 1000).toFixed(1) + " GB";
        return mb + " MB";
    }

    /* ---- health, as tavstat grades the state codes ---- */

    function ldHealth(ld) {
        const c = ld.state_code;
        if (c === 0)
            return "ok";
        if ((c >= 1 && c <= 6) || (c >= 0x10 && c <= 0x16))
            return "warning";
        return "critical";
    }

    function pdHealth(pd) {
        const c = pd.state_code;
        if (c === 0x80 || pd.present === false)
            return "absent";
        if (c >= 0x20 && c <= 0x27)
            return "critical";
        if (c === 0)
            return pd.bad_spot_count > 0 ? "warning" : "ok";
        return "warning";
    }

    /* Plain words beside the adapter's own state texts. */
    function ldMeaning(ld) {
        const c = ld.state_code;
        if (c === 0x10)
            return "degraded";
        if (c === 0x11)
            return "rebuilding";
        if (c >= 0x20 && c <= 0x24)
            return "failed";
        return c === 0 ? "" : "needs attention";
    }

    function pdMeaning(pd) {
        const c = pd.state_code;
        if (c === 0x80 || pd.present === false)
            return "no drive";
        if (c >= 0x20 && c <= 0x27)
            return "failed";
        if (c === 0)
            return pd.bad_spot_count > 0 ? pd.bad_spot_count + " bad spots" : "";
        return "needs attention";
    }

    const healthWord = { ok: "Optimal", warning: "Degraded", critical: "Critical", absent: "Empty" };

    function adapterHealth(adapter) {
        if (adapter.status !== "ok")
            return "critical";
        let worst = "ok";
        const rank = { ok: 0, absent: 1, warning: 1, critical: 2 };
        for (const h of adapter.logical_drives.map(ldHealth).concat(adapter.physical_drives.map(pdHealth))) {
            if (rank[h] > rank[worst])
                worst = h === "absent" ? "warning" : h;
        }
        return worst;
    }

    /* ---- plain messages and the action result ---- */

    function showNotice(text) {
        const notice = document.getElementById("notice");
        notice.textContent = text;
        notice.hidden = !text;
        if (text)
            document.getElementById("adapters").replaceChildren();
    }

    function showResult(text, failed) {
        const box = document.getElementById("result");
        document.getElementById("result-text").textContent = text;
        box.classList.toggle("failed", failed);
        box.hidden = false;
    }

    function adminMissing() {
        return !superuser || !superuser.valid || superuser.Current !== "root";
    }

    function problemText(program, path, ex) {
        if (ex && ex.problem === "access-denied" && adminMissing())
            return "Administrative access is needed to manage the RAID adapters. " +
                   "Turn on administrative access in Cockpit's top bar.";
        if (ex && (ex.problem === "not-found" || ex.exit_status === 127))
            return "The RAID adapter program " + program + " is not installed (" + path + ").";
        if (ex && (ex.problem === "access-denied" || ex.problem === "not-authorized" || ex.exit_status === 126))
            return "The RAID adapter program " + program + " cannot be run (" + path + ").";
        if (!ex)
            return "The RAID adapter program " + program + " (" + path + ") printed no status document.";
        const detail = ex.message || ex.problem || ("exit status " + ex.exit_status);
        return "The RAID adapter program " + program + " cannot be run (" + path + "): " + detail;
    }

    /* Runs a program as root; settles with its output and, on failure,
     * Cockpit's exception (problem code or exit status). */
    function run(args, err) {
        return new Promise(resolve => {
            cockpit.spawn(args, { superuser: "require", err: err })
                .then(out => resolve({ out: out, ex: null }),
                      (ex, out) => resolve({ out: out || "", ex: ex }));
        });
    }

    /* ---- reading the adapters ---- */

    function parseStatus(text) {
        try {
            const doc = JSON.parse(text);
            return doc && Array.isArray(doc.adapters) ? doc : null;
        } catch (e) {
            return null;
        }
    }

    function refresh() {
        if (reading) {
            again = true;
            return;
        }
        reading = true;
        clearTimeout(timer);
        run([config.tavstat, "--json"], "message")
            .then(r => show(parseStatus(r.out), r.ex))
            .finally(() => {
                reading = false;
                if (again) {
                    again = false;
                    refresh();
                } else {
                    /* A page the user has left is read again when shown. */
                    timer = setTimeout(() => { if (!document.hidden) refresh(); },
                                       Math.max(1, Number(config.refresh_seconds) || 5) * 1000);
                }
            });
    }

    function show(doc, ex) {
        document.getElementById("updated").textContent = "Updated " + new Date().toLocaleTimeString();
        if (!doc) {
            showNotice(problemText("tavstat", config.tavstat, ex));
            return;
        }
        if (doc.library !== "ok") {
            showNotice("The RAID adapter library could not be opened (error " + (doc.error_code || "unknown") +
                       "). Is the tavdrv driver loaded?");
            return;
        }
        if (doc.adapters.length === 0) {
            showNotice("No RAID adapter was found on this server.");
            return;
        }
        showNotice("");
        document.getElementById("adapters").replaceChildren(...doc.adapters.map(renderAdapter));
    }

    /* ---- rendering ---- */

    function badge(health, text) {
        return el("span", { class: "badge " + health, text: text || healthWord[health] });
    }

    function actionButton(label, action) {
        return el("button", { type: "button", class: "action", disabled: busy, onclick: () => confirmAction(action), text: label });
    }

    function renderAdapter(adapter) {
        const a = adapter.adapter;
        if (adapter.status !== "ok") {
            return el("section", { class: "card adapter", "data-adapter": a }, [
                el("h2", {}, ["Adapter " + a + " ", badge("critical", "Not readable")]),
                el("p", { class: "notice", text: "Adapter " + a + " could not be read (error " + adapter.error_code + ")." })
            ]);
        }
        const health = adapterHealth(adapter);
        const facts = [
            ["Model", adapter.model],
            ["Firmware", adapter.firmware_revision],
            ["Boot", adapter.boot_revision],
            ["Flash banks", adapter.flash_revision_bank1 + " / " + adapter.flash_revision_bank2],
            ["Driver", adapter.driver_version],
            ["Cache", adapter.cache_mb + " MB (write " + adapter.write_cache_mb + " MB)"],
            ["SAS address", adapter.sas_address],
            ["Rebuild priority", adapter.rebuild_priority_idle + " idle, " + adapter.rebuild_priority_busy + " busy"]
        ];
        return el("section", { class: "card adapter", "data-adapter": a }, [
            el("h2", {}, ["Adapter " + a + ": " + adapter.model + " ", el("span", { class: "adapter-health" }, badge(health))]),
            el("dl", { class: "facts" }, facts.flatMap(([k, v]) => [el("dt", { text: k }), el("dd", { text: v })])),
            el("h3", { text: "Virtual drives" }),
            renderVirtualDrives(adapter),
            el("h3", { text: "Physical drives" }),
            el("div", { class: "slots" }, adapter.physical_drives.map(pd => renderSlot(adapter, pd)))
        ]);
    }

    const operationWord = { rebuild: "Rebuild", "consistency-check": "Consistency check", "parity-creation": "Parity write" };

    function renderVirtualDrives(adapter) {
        if (adapter.logical_drives.length === 0)
            return el("p", { class: "empty", text: "No virtual drive is defined." });
        const head = ["VD", "RAID", "Size", "State", "Policies", "Members", "Operation", ""];
        return el("table", { class: "vds" }, [
            el("thead", {}, el("tr", {}, head.map(h => el("th", { text: h })))),
            el("tbody", {}, adapter.logical_drives.map(ld => renderVirtualDrive(adapter, ld)))
        ]);
    }

    function renderVirtualDrive(adapter, ld) {
        const a = adapter.adapter;
        const n = ld.number;
        const policies = [ld.read_policy, ld.write_policy, "hot spare " + ld.hot_spare_mode,
            ld.auto_rebuild ? "auto rebuild" : "no auto rebuild"].join(", ");
        let operation = el("span", { class: "muted", text: "none" });
        if (ld.operation && ld.operation !== "none") {
            const bar = el("div", { class: "bar-fill" });
            bar.style.width = Math.min(100, Math.max(0, ld.progress_percent)) + "%";
            operation = el("div", { class: "operation", "data-operation": ld.operation }, [
                el("span", { class: "operation-label", text: operationWord[ld.operation] + " " + ld.progress_percent + "%" }),
                el("div", { class: "bar", role: "progressbar", "aria-valuemin": 0, "aria-valuemax": 100,
                            "aria-valuenow": ld.progress_percent }, bar)
            ]);
        }
        const actions = [];
        if (ld.raid_level !== "RAID0" && ld.operation !== "consistency-check") {
            actions.push(actionButton("Start check", {
                title: "Start a consistency check of virtual drive " + n + " on adapter " + a + "?",
                args: ["-LDCC", "-Start", "-L" + n, "-a" + a]
            }));
        }
        if (ld.operation === "consistency-check") {
            actions.push(actionButton("Abort check", {
                title: "Abort the consistency check of virtual drive " + n + " on adapter " + a + "?",
                args: ["-LDCC", "-Abort", "-L" + n, "-a" + a]
            }));
        }
        const health = ldHealth(ld);
        return el("tr", { class: "vd " + health, "data-vd": n }, [
            el("td", { text: n }),
            el("td", { class: "raid", text: ld.raid_level }),
            el("td", { text: sizeText(ld.size_mb) }),
            el("td", { class: "state" }, [badge(health, ld.state),
                el("span", { class: "meaning", text: [ldMeaning(ld), ld.data_lost ? "data lost" : ""].filter(Boolean).join(", ") })]),
            el("td", { class: "policies", text: policies }),
            el("td", { text: ld.members.map(m => m.slot).join(", ") }),
            el("td", {}, operation),
            el("td", { class: "actions" }, actions)
        ]);
    }

    function renderSlot(adapter, pd) {
        const a = adapter.adapter;
        const s = pd.slot;
        const health = pdHealth(pd);
        const drive = "-PhysDrv[0:" + s + "]";
        const rows = [];
        const actions = [];
        if (pd.present !== false) {
            const spare = pd.class_code === 2 || pd.class_code === 3;
            rows.push(["Vendor", pd.vendor], ["Product", pd.product], ["Serial", pd.serial],
                      ["Size", sizeText(pd.size_mb)], ["Class", pd.class],
                      ["VD", pd.logical_drive === null || pd.logical_drive === undefined ? "-" : String(pd.logical_drive)]);
            const t = pd.health && pd.health.temperature_celsius;
            if (typeof t === "number")
                rows.push(["Temperature", t + " °C"]);
            actions.push(actionButton("Locate on", {
                title: "Switch on the locate LED of drive " + s + " on adapter " + a + "?",
                args: ["-PDLocate", "-Active", drive, "-a" + a]
            }), actionButton("Locate off", {
                title: "Switch off the locate LED of drive " + s + " on adapter " + a + "?",
                args: ["-PDLocate", "-Passive", drive, "-a" + a]
            }));
            if (spare) {
                actions.push(actionButton("Release spare", {
                    title: "Release drive " + s + " on adapter " + a + " from the hot spares?",
                    args: ["-PDHSP", "-Rmv", drive, "-a" + a, "-nochk"]
                }));
            } else if (pd.class_code !== 0 && pd.class_code !== 5) {
                actions.push(actionButton("Make hot spare", {
                    title: "Make drive " + s + " on adapter " + a + " a global hot spare?",
                    args: ["-PDHSP", "-Set", drive, "-a" + a, "-nochk"]
                }));
            }
            if (health === "critical" && pd.class_code === 0) {
                actions.push(actionButton("Rebuild", {
                    title: "Start the rebuild of drive " + s + " on adapter " + a + "?",
                    args: ["-PDRbld", "-Start", drive, "-a" + a]
                }));
            }
        }
        return el("div", { class: "slot " + health, "data-slot": s }, [
            el("div", { class: "slot-head" }, [el("span", { class: "slot-number", text: "Slot " + s }),
                el("span", { class: "slot-state", text: pd.state })]),
            el("div", { class: "meaning", text: pdMeaning(pd) }),
            pd.present === false ? el("p", { class: "muted", text: "No drive" }) :
                el("dl", { class: "slot-facts" }, rows.flatMap(([k, v]) => [el("dt", { text: k }), el("dd", { text: v, title: v })])),
            el("div", { class: "slot-actions" }, actions)
        ]);
    }

    /* ---- actions: the page's confirmation, then tavcli ----
     * Of these commands only -PDHSP asks its own question, so only it gets
     * -nochk; -LDCC, -PDLocate and -PDRbld ask nothing and refuse the option.
     * tavstat reports no LED state, so both locate buttons are offered. */

    function confirmAction(action) {
        pendingAction = action;
        document.getElementById("confirm-text").textContent = action.title;
        document.getElementById("confirm").showModal();
    }

    function runAction(action) {
        busy = true;
        document.querySelectorAll("button.action").forEach(b => { b.disabled = true });
        const done = (text, failed) => {
            showResult(text.trim() || "tavcli printed nothing.", failed);
            busy = false;
            refresh();
        };
        /* tavcli writes its messages, errors too, to standard output and
         * exits 0 after a refused command; refusals begin as below. */
        run([config.tavcli].concat(action.args), "out").then(r => {
            if (r.ex && !r.out.trim())
                done(problemText("tavcli", config.tavcli, r.ex), true);
            else
                done(r.out, r.ex !== null || /^(Fatal error|Invalid input)|param is not supported/m.test(r.out));
        });
    }

    function setup() {
        const dialog = document.getElementById("confirm");
        document.getElementById("confirm-ok").addEventListener("click", () => {
            const action = pendingAction;
            dialog.close();
            if (action)
                runAction(action);
        });
        document.getElementById("confirm-cancel").addEventListener("click", () => dialog.close());
        /* Closed without running (Cancel, Escape): the action is dropped. */
        dialog.addEventListener("close", () => { pendingAction = null; });
        document.getElementById("result-close").addEventListener("click", () => {
            document.getElementById("result").hidden = true;
        });

        fetch("../manifests.json")
            .then(r => r.ok ? r.json() : {})
            .catch(() => ({}))
            .then(manifests => {
                const own = (manifests && manifests.tavutility && manifests.tavutility.config) || {};
                config = Object.assign({}, defaults, own);
                /* Read again at once when administrative access is switched. */
                superuser = cockpit.dbus(null, { bus: "internal" }).proxy("cockpit.Superuser", "/superuser");
                superuser.addEventListener("changed", () => refresh());
                superuser.wait(refresh);
                document.addEventListener("visibilitychange", () => {
                    if (!document.hidden)
                        refresh();
                });
            });
    }

    document.addEventListener("DOMContentLoaded", setup);
})();
