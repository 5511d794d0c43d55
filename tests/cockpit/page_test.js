// The Cockpit page in a real browser: Debian's cockpit-ws with a local
// bridge on loopback, Debian's chromium driven headless, and the page's
// programs pointed at wrappers that run the built tavstat and tavcli against
// simulated servers.
"use strict";

const { describe, it, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { spawn, execFileSync } = require("node:child_process");
const fs = require("node:fs");
const http = require("node:http");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const TAVSIM = process.env.TAVSIM;
const PAGE_DIR = process.env.PAGE_DIR;
const OUT_DIR = process.env.OUT_DIR;
const COCKPIT_WS = process.env.COCKPIT_WS || "/usr/lib/cockpit/cockpit-ws";
const COCKPIT_BRIDGE = process.env.COCKPIT_BRIDGE || "cockpit-bridge";
const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";

const work = fs.mkdtempSync(path.join(os.tmpdir(), "tav-cockpit-"));
const home = path.join(work, "home");
const server = path.join(work, "server");
const emptyServer = path.join(work, "empty");
const idOf = flag => Number(execFileSync("id", [flag, "nobody"], { encoding: "utf8" }).trim());
const nobody = { home: path.join(work, "nobody"), uid: idOf("-u"), gid: idOf("-g") };

// The default server, with automatic rebuild off on VD 0 so that a failed
// member leaves it degraded until the page starts the rebuild.
const serverConfig = {
    adapters: [{
        host: 2, model: "ZN5121",
        drives: [0, 1, 2, 3, 4, 5].map(slot => ({ slot, interface: "SAS" }))
            .concat([6, 7].map(slot => ({ slot, interface: "SATA" }))),
        logical_drives: [
            { number: 0, raid: 5, members: [0, 1, 2], auto_rebuild: false },
            { number: 1, raid: 1, members: [4, 5] }
        ],
        hot_spares: [3]
    }]
};

const pdStateText = code => code === 0 ? "Good" : code === 0x80 ? "Not Supported" :
    code >= 1 && code <= 6 ? "Attention" + code : code >= 0x20 && code <= 0x27 ? "Alarm" + (code - 0x20) : "Unknown";
const ldStateText = code => code === 0 ? "Good" : code >= 1 && code <= 6 ? "Attention" + code :
    code >= 0x10 && code <= 0x16 ? "Warning" + (code - 0x10) : code >= 0x20 && code <= 0x24 ? "Alarm" + (code - 0x20) : "Unknown";
const classText = ["Member Use", "Member No Use", "Spare Use", "Spare No Use", "Fresh", "Restore Candidate"];

function tavsim(...args) {
    return execFileSync(TAVSIM, args, { encoding: "utf8", timeout: 20000 });
}

function show(dir = server) {
    return JSON.parse(tavsim("show", dir)).adapters[0];
}

// Runs PROGRAM against DIR, noting each command line in calls.log.
const callLog = path.join(work, "calls.log");

function writeWrapper(name, dir, program) {
    const file = path.join(work, "bin", name);
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, `#!/bin/sh\necho "${program} $*" >>'${callLog}'\n` +
        `exec '${TAVSIM}' run '${dir}' -- ${program} "$@"\n`, { mode: 0o755 });
    return file;
}

const calls = program => fs.readFileSync(callLog, "utf8").split("\n").filter(l => l.startsWith(program + " "));

// The page's configuration: Cockpit's manifest override in the bridge's
// XDG_CONFIG_HOME.
function configure(settings, configHome = home) {
    const dir = path.join(configHome, ".config", "cockpit");
    fs.mkdirSync(dir, { recursive: true });
    fs.writeFileSync(path.join(dir, "tavutility.override.json"),
        JSON.stringify({ config: Object.assign({ refresh_seconds: 1 }, settings) }));
}

function freePort() {
    return new Promise((resolve, reject) => {
        const s = net.createServer();
        s.on("error", reject);
        s.listen(0, "127.0.0.1", () => {
            const { port } = s.address();
            s.close(() => resolve(port));
        });
    });
}

function httpStatus(url) {
    return new Promise(resolve => {
        const req = http.get(url, res => { res.resume(); resolve(res.statusCode); });
        req.on("error", () => resolve(0));
        req.setTimeout(2000, () => { req.destroy(); resolve(0); });
    });
}

const sleep = ms => new Promise(r => setTimeout(r, ms));

// cockpit-ws in its own process group, so that stopping it by its pid also
// stops the bridge and any program the bridge still runs.
let ws = null;       // { child, gone }
let wsLog = "";

async function startCockpit(user = null) {
    const port = await freePort();
    const logFile = path.join(work, "cockpit-ws.log");
    const log = fs.openSync(logFile, "w");
    const userHome = user ? user.home : home;
    const child = spawn(COCKPIT_WS, ["--no-tls", "--local-session=" + COCKPIT_BRIDGE,
        "--address", "127.0.0.1", "--port", String(port)], {
        detached: true, stdio: ["ignore", log, log],
        uid: user ? user.uid : undefined, gid: user ? user.gid : undefined,
        env: Object.assign({}, process.env, {
            HOME: userHome, XDG_DATA_HOME: path.join(userHome, ".local", "share"),
            XDG_CONFIG_HOME: path.join(userHome, ".config"), XDG_RUNTIME_DIR: path.join(userHome, "run")
        })
    });
    fs.closeSync(log);
    let exited = null;
    const gone = new Promise(resolve => child.on("close", resolve));
    child.on("exit", (code, signal) => { exited = code !== null ? "exit status " + code : "signal " + signal; });
    child.on("error", e => { exited = e.message; });
    ws = { child, gone };
    const deadline = Date.now() + 15000;
    while (Date.now() < deadline && exited === null) {
        if (await httpStatus(`http://127.0.0.1:${port}/cockpit/@localhost/manifests.json`) === 200)
            return port;
        await sleep(200);
    }
    wsLog = fs.readFileSync(logFile, "utf8");
    throw new Error(`cockpit-ws failed to start (${exited || "no answer on port " + port}): ${wsLog}`);
}

async function stopCockpit() {
    if (!ws)
        return;
    const { child, gone } = ws;
    ws = null;
    if (!child.pid)
        return;
    const signalGroup = sig => { try { process.kill(-child.pid, sig); } catch (e) { /* group gone */ } };
    signalGroup("SIGTERM");
    await Promise.race([gone, sleep(3000)]);
    // The bridge's session helpers (dbus-daemon, ssh-agent) are in the group too.
    signalGroup("SIGKILL");
}

let browser = null;
let page = null;
let port = 0;
const consoleErrors = [];

async function startChromium() {
    try {
        browser = await puppeteer.launch({
            executablePath: CHROMIUM,
            headless: true,
            userDataDir: path.join(work, "chromium"),
            args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--window-size=1600,1000"],
            timeout: 30000
        });
    } catch (e) {
        throw new Error("chromium failed to start: " + e.message);
    }
    page = await browser.newPage();
    await page.setViewport({ width: 1600, height: 1000 });
    page.on("console", msg => {
        if (msg.type() === "error")
            consoleErrors.push(msg.text() + " " + JSON.stringify(msg.location()));
    });
    page.on("pageerror", err => consoleErrors.push(String(err)));
}

async function stopChromium() {
    if (!browser)
        return;
    const proc = browser.process();
    await Promise.race([browser.close().catch(() => {}), sleep(5000)]);
    // close() asks; the pid (of chromium's own process group) makes sure.
    if (proc && proc.pid) {
        try { process.kill(-proc.pid, "SIGKILL"); } catch (e) { /* gone */ }
        await sleep(200);
    }
    browser = null;
}

// Stopped from outside (a time-out, ^C): take cockpit-ws and chromium along.
for (const sig of ["SIGINT", "SIGTERM", "SIGHUP"]) {
    process.on(sig, () => {
        const kill = (pid, s) => { try { process.kill(pid, s); } catch (e) { /* gone */ } };
        if (ws && ws.child.pid)
            kill(-ws.child.pid, "SIGKILL");
        // chromium runs in a process group of its own (puppeteer starts it so).
        const proc = browser && browser.process();
        if (proc && proc.pid)
            kill(-proc.pid, "SIGKILL");
        Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 500);
        try {
            fs.rmSync(work, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
        } finally {
            process.exit(1);
        }
    });
}

// The page inside Cockpit's shell; returns the page's frame.
async function openPage() {
    await page.goto(`http://127.0.0.1:${port}/tavutility`, { waitUntil: "domcontentloaded", timeout: 30000 });
    const frame = await page.waitForFrame(f => f.url().includes("/tavutility/index.html"), { timeout: 30000 });
    await frame.waitForSelector("#adapters", { timeout: 30000 });
    return frame;
}

// A new cockpit-ws with other settings (for the user given, else root), and
// the page opened anew.
async function reopen(settings, user = null) {
    // Leave the shell first, so that its connection ends with the page.
    await page.goto("about:blank");
    await stopCockpit();
    configure(settings, user ? user.home : home);
    port = await startCockpit(user);
    return openPage();
}

// What the page shows, read from its DOM.
function readPage(frame) {
    return frame.evaluate(() => {
        const text = (root, sel) => { const n = root.querySelector(sel); return n ? n.textContent.trim() : null; };
        const notice = document.getElementById("notice");
        return {
            notice: notice.hidden ? null : notice.textContent,
            adapters: [...document.querySelectorAll("section.adapter")].map(a => ({
                number: Number(a.dataset.adapter),
                heading: text(a, "h2"),
                problem: text(a, ".notice"),
                facts: Object.fromEntries([...a.querySelectorAll(".facts dt")].map(dt => [dt.textContent, dt.nextElementSibling.textContent])),
                vds: [...a.querySelectorAll("tr.vd")].map(tr => ({
                    number: Number(tr.dataset.vd), raid: text(tr, ".raid"), state: text(tr, ".state .badge"),
                    meaning: text(tr, ".state .meaning"),
                    operation: tr.querySelector(".operation") ? tr.querySelector(".operation").dataset.operation : "none",
                    progress: tr.querySelector("[role=progressbar]") ?
                        Number(tr.querySelector("[role=progressbar]").getAttribute("aria-valuenow")) : null,
                    barWidth: tr.querySelector(".bar-fill") ? tr.querySelector(".bar-fill").style.width : null
                })),
                slots: [...a.querySelectorAll(".slot")].map(s => ({
                    slot: Number(s.dataset.slot), state: text(s, ".slot-state"), meaning: text(s, ".meaning"),
                    colour: ["ok", "warning", "critical", "absent"].find(c => s.classList.contains(c)),
                    facts: Object.fromEntries([...s.querySelectorAll("dt")].map(dt => [dt.textContent, dt.nextElementSibling.textContent]))
                }))
            }))
        };
    });
}

async function waitForPage(frame, what, predicate, timeoutMs = 15000) {
    const deadline = Date.now() + timeoutMs;
    let last = null;
    while (Date.now() < deadline) {
        last = await readPage(frame);
        if (predicate(last))
            return last;
        await sleep(250);
    }
    assert.fail(`${what} not shown within ${timeoutMs} ms; the page shows ${JSON.stringify(last)}`);
}

// Clicks an action button of a slot or VD row, confirms the page's question
// and returns the result text the page then shows.
async function act(frame, rowSelector, label) {
    await frame.evaluate(() => { document.getElementById("result").hidden = true; });
    // After an action the buttons come back with the next refresh.
    const clicked = await frame.waitForFunction((sel, lab) => {
        const button = [...document.querySelectorAll(sel + " button.action")].find(b => b.textContent === lab && !b.disabled);
        if (!button)
            return false;
        button.click();
        return true;
    }, { timeout: 10000, polling: 100 }, rowSelector, label).then(() => true, () => false);
    assert.ok(clicked, `no enabled "${label}" button in ${rowSelector}`);
    await frame.waitForSelector("dialog#confirm[open]", { timeout: 5000 });
    await frame.click("#confirm-ok");
    await frame.waitForSelector("#result:not([hidden])", { timeout: 20000 });
    return frame.evaluate(() => ({
        text: document.getElementById("result-text").textContent,
        failed: document.getElementById("result").classList.contains("failed")
    }));
}

async function screenshot(name) {
    fs.mkdirSync(OUT_DIR, { recursive: true });
    await page.screenshot({ path: path.join(OUT_DIR, name + ".png"), fullPage: true });
}

describe("RAID adapters page in Cockpit", { timeout: 150000 }, () => {
    let frame = null;

    before(async () => {
        assert.ok(TAVSIM && PAGE_DIR && OUT_DIR, "TAVSIM, PAGE_DIR and OUT_DIR must be set");
        const configFile = path.join(work, "server.json");
        fs.writeFileSync(configFile, JSON.stringify(serverConfig));
        tavsim("init", server, configFile);
        // A server whose driver lists no adapter.
        tavsim("init", emptyServer);
        for (const f of fs.readdirSync(path.join(emptyServer, "proc/scsi/tavdrv")))
            fs.unlinkSync(path.join(emptyServer, "proc/scsi/tavdrv", f));
        for (const h of [home, nobody.home]) {
            const packages = path.join(h, ".local", "share", "cockpit");
            fs.mkdirSync(packages, { recursive: true });
            fs.symlinkSync(path.resolve(PAGE_DIR), path.join(packages, "tavutility"));
            fs.mkdirSync(path.join(h, "run"), { mode: 0o700 });
        }
        // A session of a user without administrative access: its own home.
        fs.chmodSync(work, 0o711);
        execFileSync("chown", ["-R", `${nobody.uid}:${nobody.gid}`, nobody.home]);
        // No periodic refresh to speak of at first: what the actions change
        // must show through the refresh that follows each action.
        configure({ tavstat: writeWrapper("tavstat", server, "tavstat"), tavcli: writeWrapper("tavcli", server, "tavcli"),
                    refresh_seconds: 600 });
        port = await startCockpit();
        await startChromium();
        frame = await openPage();
    });

    after(async () => {
        await stopChromium();
        await stopCockpit();
        fs.rmSync(work, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
    });

    it("shows the simulated server as tavsim show has it", async () => {
        const sim = show();
        const shown = await waitForPage(frame, "the adapter", p => p.adapters.length === 1);
        const a = shown.adapters[0];
        assert.match(a.heading, new RegExp("Adapter 0: " + sim.model));
        assert.match(a.heading, /Optimal/);
        assert.equal(a.facts.Firmware, "0410");
        assert.deepEqual(a.vds.map(v => [v.number, v.raid, v.state]),
            sim.logical_drives.map(ld => [ld.number, "RAID" + ld.raid, ldStateText(ld.state)]));
        assert.deepEqual(a.slots.map(s => [s.slot, s.state, s.facts.Class, s.facts.Serial, s.colour]),
            sim.drives.map(d => [d.slot, pdStateText(d.state), classText[d.class], d.serial, "ok"]));
        assert.equal(a.slots[0].facts.VD, "0");
        assert.equal(a.slots[3].facts.VD, "-");
        // Every drive's temperature as tavstat read it from the drive.
        assert.deepEqual(a.slots.map(s => s.facts.Temperature), sim.drives.map(d => d.health.temperature + " °C"));
        await screenshot("good");
    });

    it("switches a locate LED on and off", async () => {
        let r = await act(frame, ".slot[data-slot='6']", "Locate on");
        assert.equal(r.text.trim(), "Physical Drive 6 ( Adapter 0 ) LED is Active.");
        assert.equal(r.failed, false);
        assert.notEqual(show().drives[6].led, 0);
        r = await act(frame, ".slot[data-slot='6']", "Locate off");
        assert.equal(r.text.trim(), "Physical Drive 6 ( Adapter 0 ) LED is not Active.");
        assert.equal(show().drives[6].led, 0);
    });

    it("makes a drive a hot spare and releases it", async () => {
        let r = await act(frame, ".slot[data-slot='7']", "Make hot spare");
        assert.equal(r.text.trim(), "Adapter 0: Physical Drive 7 was set to the Hot Spare.");
        assert.ok(show().hot_spares.includes(7));
        await waitForPage(frame, "slot 7 as a spare", p => p.adapters[0].slots[7].facts.Class === "Spare No Use");
        r = await act(frame, ".slot[data-slot='7']", "Release spare");
        assert.equal(r.text.trim(), "Adapter 0: Physical Drive 7 was removed to the Hot Spare.");
        assert.ok(!show().hot_spares.includes(7));
        await waitForPage(frame, "slot 7 released", p => p.adapters[0].slots[7].facts.Class !== "Spare No Use");
    });

    it("starts and aborts a consistency check", async () => {
        let r = await act(frame, "tr.vd[data-vd='1']", "Start check");
        assert.equal(r.text.trim(), "Start Consistency Check on Virtual Drive 1 ( Adapter 0 ) succeeded.");
        assert.equal(show().logical_drives[1].operation, "consistency-check");
        await waitForPage(frame, "the running check", p => p.adapters[0].vds[1].operation === "consistency-check");
        r = await act(frame, "tr.vd[data-vd='1']", "Abort check");
        assert.equal(r.text.trim(), "Abort Consistency Check on Virtual Drive 1 ( Adapter 0 ) succeeded.");
        assert.equal(show().logical_drives[1].operation, "none");
        await waitForPage(frame, "the check ended", p => p.adapters[0].vds[1].operation === "none");
    });

    it("runs tavcli only for the actions, and tavstat --json to read", () => {
        assert.deepEqual(calls("tavcli"), [
            "tavcli -PDLocate -Active -PhysDrv[0:6] -a0",
            "tavcli -PDLocate -Passive -PhysDrv[0:6] -a0",
            "tavcli -PDHSP -Set -PhysDrv[0:7] -a0 -nochk",
            "tavcli -PDHSP -Rmv -PhysDrv[0:7] -a0 -nochk",
            "tavcli -LDCC -Start -L1 -a0",
            "tavcli -LDCC -Abort -L1 -a0"
        ]);
        const reads = calls("tavstat");
        assert.notEqual(reads.length, 0);
        assert.ok(reads.every(l => l === "tavstat --json"), reads.join("; "));
    });

    it("follows a failed drive, its rebuild onto the hot spare and the end", async () => {
        // From here on the page refreshes on its own every second.
        frame = await reopen({ tavstat: writeWrapper("tavstat", server, "tavstat"),
                               tavcli: writeWrapper("tavcli", server, "tavcli") });
        await waitForPage(frame, "the adapter", p => p.adapters.length === 1);
        tavsim("inject", server, "fail-drive", "0", "1");
        let p = await waitForPage(frame, "slot 1 failed and VD 0 degraded", q =>
            q.adapters[0].slots[1].colour === "critical" && q.adapters[0].vds[0].state === "Warning0");
        assert.equal(p.adapters[0].slots[1].state, "Alarm0");
        assert.equal(p.adapters[0].slots[1].meaning, "failed");
        assert.equal(p.adapters[0].vds[0].meaning, "degraded");
        assert.match(p.adapters[0].heading, /Critical/);
        await screenshot("degraded");

        const r = await act(frame, ".slot[data-slot='1']", "Rebuild");
        assert.equal(r.text.trim(), "Start Rebuild on Physical Drive 1 ( Adapter 0 ) succeeded.");
        assert.equal(show().logical_drives[0].operation, "rebuild");
        // The bar follows the rebuild as the simulator places it (the
        // percentage counts whole stripes, so it may show one below).
        const near = (q, percent) => Math.abs(q.adapters[0].vds[0].progress - percent) <= 1;
        tavsim("inject", server, "operation-progress", "0", "0", "20", "hold");
        p = await waitForPage(frame, "the rebuild at 20%", q => near(q, 20));
        assert.equal(p.adapters[0].vds[0].operation, "rebuild");
        assert.equal(p.adapters[0].vds[0].meaning, "rebuilding");
        assert.equal(p.adapters[0].vds[0].barWidth, p.adapters[0].vds[0].progress + "%");
        tavsim("inject", server, "operation-progress", "0", "0", "65", "hold");
        p = await waitForPage(frame, "the rebuild at 65%", q => near(q, 65));
        assert.equal(p.adapters[0].vds[0].barWidth, p.adapters[0].vds[0].progress + "%");
        assert.equal(p.adapters[0].slots[3].facts.Class, "Spare Use");
        await screenshot("rebuilding");

        // A check cannot start on a rebuilding drive: tavcli says so, and
        // the page shows its words as a failure.
        const refused = await act(frame, "tr.vd[data-vd='0']", "Start check");
        assert.equal(refused.text.trim(), "Fatal error - Adapter 0-VD 0: Rebuild or Copy Back or Copy is being executed.");
        assert.equal(refused.failed, true);
        assert.equal(show().logical_drives[0].operation, "rebuild");

        tavsim("inject", server, "operation-progress", "0", "0", "98");
        p = await waitForPage(frame, "VD 0 optimal after the rebuild", q => q.adapters[0].vds[0].state === "Good" &&
            q.adapters[0].vds[0].operation === "none", 30000);
        assert.equal(p.adapters[0].slots[3].facts.VD, "0");
        const sim = show();
        assert.equal(sim.logical_drives[0].state, 0);
        assert.ok(sim.logical_drives[0].members.includes(3));
    });

    it("says plainly when there is no adapter or the programs cannot run", async () => {
        const cases = [
            { name: "no adapter", tavstat: writeWrapper("tavstat-empty", emptyServer, "tavstat"),
              expect: /^No RAID adapter was found on this server\.$/ },
            { name: "missing program", tavstat: path.join(work, "missing", "tavstat"),
              expect: /tavstat is not installed \(.*missing\/tavstat\)/ },
            { name: "program that is not executable", tavstat: path.join(work, "server.json"),
              expect: /tavstat cannot be run \(.*server\.json\)/ },
            { name: "program that prints no status", tavstat: "/bin/true",
              expect: /^The RAID adapter program tavstat \(\/bin\/true\) printed no status document\.$/ },
            { name: "no administrative access", tavstat: writeWrapper("tavstat", server, "tavstat"), user: nobody,
              expect: /^Administrative access is needed/ }
        ];
        for (const c of cases) {
            frame = await reopen({ tavstat: c.tavstat, tavcli: c.tavstat }, c.user);
            const p = await waitForPage(frame, c.name + " message", q => q.notice !== null);
            assert.match(p.notice, c.expect, c.name);
            assert.equal(p.adapters.length, 0, c.name);
            await screenshot("message-" + c.name.replace(/ /g, "-"));
        }
    });

    it("shows an adapter that cannot be read", async () => {
        const dir = path.join(work, "unreadable");
        tavsim("init", dir);
        tavsim("inject", dir, "ioctl-error", "EIO", "1000");
        frame = await reopen({ tavstat: writeWrapper("tavstat-unreadable", dir, "tavstat"),
                               tavcli: writeWrapper("tavcli-unreadable", dir, "tavcli") });
        const p = await waitForPage(frame, "the unreadable adapter", q => q.adapters.length === 1);
        assert.match(p.adapters[0].heading, /^Adapter 0 Not readable$/);
        assert.match(p.adapters[0].problem, /^Adapter 0 could not be read \(error 0x[0-9a-f]{8}\)\.$/);
        assert.equal(p.notice, null);
    });

    it("shows the temperature a drive reports, and none for a stopped drive", async () => {
        tavsim("inject", server, "drive-temperature", "0", "2", "41");
        tavsim("inject", server, "drive-stop", "0", "6");
        frame = await reopen({ tavstat: writeWrapper("tavstat", server, "tavstat"),
                               tavcli: writeWrapper("tavcli", server, "tavcli") });
        const p = await waitForPage(frame, "the drives", q => q.adapters.length === 1);
        const sim = show();
        assert.equal(p.adapters[0].slots[2].facts.Temperature, "41 °C");
        assert.ok(!("Temperature" in p.adapters[0].slots[6].facts));
        for (const s of p.adapters[0].slots.filter(s => s.slot !== 2 && s.slot !== 6))
            assert.equal(s.facts.Temperature, sim.drives[s.slot].health.temperature + " °C", "slot " + s.slot);
    });

    it("left no error in the browser console", () => {
        assert.deepEqual(consoleErrors, []);
    });
});
