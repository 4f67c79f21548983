// The page in Debian's chromium, driven by playwright-core, against the
// Linux build of kolorvane-cli: every sample shown as --show lists it and
// saved as --to writes it, in every format written; damaged files refused
// with the command line's words; a CMYK .ase; no request leaving the page;
// file:// and a static server; the keyboard alone; axe-core; --lang=ja; a
// real drop event.
//   node page.test.js --page DIR --cli CLI --samples DIR --work DIR
//                     --npm NODE_MODULES --rgb-profile ICC [CASE...]
"use strict";

const assert = require("assert/strict");
const childProcess = require("child_process");
const fs = require("fs");
const http = require("http");
const path = require("path");

const options = {};
const only = [];
for (let i = 2; i < process.argv.length; i++) {
    const argument = process.argv[i];
    if (argument.startsWith("--")) {
        options[argument.slice(2)] = process.argv[++i];
    } else {
        only.push(argument);
    }
}
options.npm = path.resolve(options.npm);
const { chromium } = require(path.join(options.npm, "playwright-core"));
const pageUrl = "file://" + path.resolve(options.page, "index.html");
const WAIT = { timeout: 20000 };

function run(command, args, cwd) {
    const result = childProcess.spawnSync(command, args,
        { cwd, encoding: "utf8", timeout: 60000, maxBuffer: 64 * 1024 * 1024 });
    if (result.error) {
        throw result.error;
    }
    return result;
}

function fresh(name) {
    const folder = path.join(options.work, name);
    fs.rmSync(folder, { recursive: true, force: true });
    fs.mkdirSync(folder, { recursive: true });
    return folder;
}

// --show's listing of one file, as the page should show it: title, count,
// palette name, and each colour's hex and name.
function cliShow(folder, name) {
    const result = run(options.cli, ["--show", name], folder);
    if (result.status !== 0) {
        return { error: result.stderr.trim() };
    }
    const lines = result.stdout.split("\n").filter((line) => line !== "");
    const head = lines[0].split("\t");
    return {
        title: head[2],
        count: Number(head[3]),
        name: head.length > 4 ? head.slice(4).join("\t") : "",
        swatches: lines.slice(1).map((line) => {
            const fields = line.split("\t");
            return { hex: fields[1], name: fields.slice(2).join("\t") };
        }),
        warning: result.stderr.trim(),
    };
}

async function launch(args = [], contextOptions = {}) {
    const browser = await chromium.launch({
        executablePath: "/usr/bin/chromium",
        args: ["--no-sandbox", ...args],
    });
    const context = await browser.newContext({ acceptDownloads: true, ...contextOptions });
    const page = await context.newPage();
    const downloads = [];
    const requests = [];
    // Choosers are caught from the start: a listener added with the key
    // press that opens one may come too late for it.
    const choosers = [];
    page.on("filechooser", (chooser) => choosers.push(chooser));
    page.on("download", (download) => downloads.push(download));
    page.on("request", (request) => requests.push(request.url()));
    page.on("pageerror", (error) => {
        throw error;
    });
    return { browser, page, downloads, requests, choosers };
}

// The file chooser that `action` opens.
async function chooserOf(session, action) {
    const before = session.choosers.length;
    await action();
    for (let waited = 0; session.choosers.length === before; waited += 50) {
        assert.ok(waited < WAIT.timeout, "no file chooser opened");
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    return session.choosers[before];
}

async function open(session, url = pageUrl) {
    await session.page.goto(url);
    await session.page.waitForSelector("html[data-ready=true]", WAIT);
}

async function waitShown(page, count) {
    await page.waitForFunction(
        (n) => document.querySelectorAll(".card[data-state=shown]").length === n, count, WAIT);
}

async function cardOf(page, file) {
    return page.$eval(`.card[data-file="${file}"]`, (card) => ({
        error: card.dataset.error,
        facts: card.querySelector(".facts")?.textContent,
        warning: card.querySelector(".warning")?.textContent ?? "",
        target: card.querySelector("select[name=format]")?.value,
        swatches: Array.from(card.querySelectorAll("[data-hex]"),
            (s) => ({ hex: s.dataset.hex, name: s.dataset.name })),
    }));
}

// What the page shows of a file against what --show lists.
function checkShown(shown, listed, file) {
    if (listed.error !== undefined) {
        assert.equal(`kolorvane-cli: ${file}: ${shown.error}`, listed.error, file);
        return;
    }
    assert.equal(shown.error, undefined, `${file}: ${shown.error}`);
    const facts = [listed.title, `${listed.count} ${listed.count === 1 ? "colour" : "colours"}`];
    if (listed.name !== "") {
        facts.push(`“${listed.name}”`);
    }
    assert.equal(shown.facts, facts.join(" · "), file);
    assert.deepEqual(shown.swatches, listed.swatches, file);
    const warning = listed.warning === "" ? "" : `kolorvane-cli: ${file}: ${shown.warning}`;
    assert.equal(warning, listed.warning, file);
}

function readZip(bytes, folder) {
    const archive = path.join(folder, "all.zip");
    fs.writeFileSync(archive, bytes);
    const script = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n" +
        "assert z.testzip() is None\nz.extractall(sys.argv[2])\nprint('\\n'.join(z.namelist()))";
    const result = run("/usr/bin/python3", ["-c", script, archive, path.join(folder, "zip")]);
    assert.equal(result.status, 0, result.stderr);
    return result.stdout.trim().split("\n");
}

async function downloaded(download) {
    const file = await download.path();
    return { name: download.suggestedFilename(), bytes: fs.readFileSync(file) };
}

function formatsWritten() {
    const help = run(options.cli, ["--help"]).stdout.split("\n");
    const start = help.findIndex((line) => line.startsWith("Formats"));
    return help.slice(start + 1).filter((line) => /^ {2}\S/.test(line) && !/read only\)/.test(line))
        .map((line) => line.trim().split(/\s+/)[0]);
}

// Each sample, under a name of its own (its extension in its stem), so that
// the outputs of one format never share a name.
function copySamples(folder) {
    return fs.readdirSync(options.samples).sort().map((file) => {
        const dot = file.lastIndexOf(".");
        const name = `${file.slice(0, dot)}-${file.slice(dot + 1)}${file.slice(dot)}`;
        fs.copyFileSync(path.join(options.samples, file), path.join(folder, name));
        return name;
    });
}

const cases = {
    // Every sample shown as --show lists it; then, format by format, every
    // card saved at once by "Save all" and one by its own "Save", each
    // output the bytes and name --to gives.
    async samples(session) {
        const folder = fresh("samples");
        const names = copySamples(folder);
        await open(session);
        await session.page.setInputFiles("input[type=file]", names.map((n) => path.join(folder, n)));
        await waitShown(session.page, names.length);
        for (const name of names) {
            checkShown(await cardOf(session.page, name), cliShow(folder, name), name);
        }
        const formats = formatsWritten();
        assert.ok(formats.length >= 17, formats.join(" "));
        for (const [i, format] of formats.entries()) {
            const out = fresh(`samples-${format}`);
            const cli = run(options.cli, ["--to", format, "-o", out, ...names], folder);
            await session.page.$$eval("select[name=format]", (menus, f) => menus.forEach((m) => {
                m.value = f;
            }), format);
            const [archive] = await Promise.all([session.page.waitForEvent("download", WAIT),
                session.page.click("[data-action=save-all]")]);
            const zip = await downloaded(archive);
            assert.equal(zip.name, "kolorvane.zip");
            const entries = readZip(zip.bytes, out);
            assert.deepEqual(entries.sort(), fs.readdirSync(out).filter((f) => f !== "zip" && f !== "all.zip").sort(),
                `${format}: ${cli.stderr}`);
            for (const entry of entries) {
                assert.ok(fs.readFileSync(path.join(out, "zip", entry)).equals(fs.readFileSync(path.join(out, entry))),
                    `${format}: ${entry}`);
            }
            // A card of this round's own, among those the format holds
            // (Procreate's 30 colours, say, refuse the 256 of an EDGE PAL).
            const written = new Set(fs.readdirSync(out).map((f) => f.slice(0, f.lastIndexOf("."))));
            const shifted = names.slice(i % names.length).concat(names.slice(0, i % names.length));
            const name = shifted.find((n) => written.has(n.slice(0, n.lastIndexOf("."))));
            assert.ok(name, `${format}: no sample it holds`);
            const [one] = await Promise.all([session.page.waitForEvent("download", WAIT),
                session.page.click(`.card[data-file="${name}"] button[data-action=save]`)]);
            const saved = await downloaded(one);
            assert.ok(saved.bytes.equals(fs.readFileSync(path.join(out, saved.name))), `${format}: ${name}`);
        }
    },

    // Damaged files and names no format reads: the command line's line,
    // no save button, nothing downloaded.
    async badFiles(session) {
        const folder = fresh("bad");
        const edge = fs.readFileSync(path.join(options.samples, "edge.pal"));
        const png = fs.readFileSync(path.join(options.samples, "five.png"));
        const bad = {
            "header.pal": Buffer.concat([Buffer.from("EDGE PAX"), edge.subarray(8)]),
            "notes.doc": Buffer.from("notes"),
            "cut.png": png.subarray(0, 40),
            "crc.png": Buffer.concat([png.subarray(0, 30), Buffer.from([png[30] ^ 1]), png.subarray(31)]),
            "empty.gpl": Buffer.alloc(0),
            "cut.ase": fs.readFileSync(path.join(options.samples, "five.ase")).subarray(0, 30),
            "lying.hex": Buffer.from("#12345G\n"),
            "none.gif": Buffer.from("GIF89a\x01\x00\x01\x00\x00\x00\x00;", "latin1"),
        };
        for (const [name, bytes] of Object.entries(bad)) {
            fs.writeFileSync(path.join(folder, name), bytes);
        }
        await open(session);
        await session.page.setInputFiles("input[type=file]", Object.keys(bad).map((n) => path.join(folder, n)));
        await waitShown(session.page, Object.keys(bad).length);
        for (const name of Object.keys(bad)) {
            const shown = await cardOf(session.page, name);
            assert.notEqual(shown.error, undefined, name);
            checkShown(shown, cliShow(folder, name), name);
        }
        assert.equal(await session.page.$$eval("button[data-action=save]", (b) => b.length), 0);
        await session.page.click("[data-action=save-all]");
        await session.page.waitForFunction(() => document.querySelector(".status").textContent !== "", null, WAIT);
        assert.equal(session.downloads.length, 0);
    },

    // CMYK swatches converted through the built-in profile, with the
    // command line's warning; an RGB profile and an empty file chosen with
    // the button, refused in --cmyk-profile's words, the built-in one kept.
    async cmyk(session) {
        const folder = fresh("cmyk");
        fs.writeFileSync(path.join(folder, "inks.ase"), cmykAse([[0, 0, 0, 1], [1, 0, 0, 0], [0, 0.5, 1, 0]]));
        await open(session);
        await session.page.setInputFiles("input[type=file]", [path.join(folder, "inks.ase")]);
        await waitShown(session.page, 1);
        const shown = await cardOf(session.page, "inks.ase");
        assert.match(shown.warning, /3 colours converted to sRGB: 3 CMYK through/);
        checkShown(shown, cliShow(folder, "inks.ase"), "inks.ase");
        fs.writeFileSync(path.join(folder, "empty.icc"), "");
        for (const profile of [options["rgb-profile"], path.join(folder, "empty.icc")]) {
            const chooser = await chooserOf(session, () => session.page.click("[data-action=profile]"));
            await chooser.setFiles(profile);
            const name = path.basename(profile);
            await session.page.waitForFunction((n) => document.querySelector(".status").textContent.startsWith(n),
                name, WAIT);
            const usage = run(options.cli, ["--cmyk-profile", profile, "--show", "inks.ase"], folder).stderr;
            const words = usage.split("\n")[0].replace(`kolorvane-cli: --cmyk-profile ${profile}: `, "");
            assert.equal(await session.page.textContent(".status"), `${name}: ${words}`);
        }
        assert.equal(await session.page.textContent(".profile"), "ISO Coated v2 300% (basICColor), built in");
    },

    // Nothing but the page's own files is asked for, and the page's policy
    // forbids connections: a fetch to a server that listens is refused
    // before it leaves.
    async noRequests(session) {
        let reached = 0;
        const server = http.createServer((request, response) => {
            reached++;
            response.end("x");
        });
        await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
        try {
            await open(session);
            await session.page.setInputFiles("input[type=file]", [path.join(options.samples, "five.png")]);
            await waitShown(session.page, 1);
            const url = `http://127.0.0.1:${server.address().port}/`;
            const refused = await session.page.evaluate((u) => fetch(u).then(() => false, () => true), url);
            assert.ok(refused);
            assert.equal(reached, 0);
            const own = ["index.html", "page.css", "kolorvane.js", "page.js"].map((f) => new URL(f, pageUrl).href);
            assert.deepEqual(session.requests.filter((r) => !own.includes(r)), []);
            const policy = await session.page.getAttribute("meta[http-equiv=Content-Security-Policy]", "content");
            assert.match(policy, /connect-src 'none'/);
        } finally {
            server.close();
        }
    },

    // The same page from a static server works as from file://.
    async server(session) {
        const server = http.createServer((request, response) => {
            const file = path.join(options.page, path.basename(new URL(request.url, "http://x").pathname) || "index.html");
            const types = { ".html": "text/html", ".css": "text/css", ".js": "text/javascript" };
            response.setHeader("Content-Type", types[path.extname(file)] || "application/octet-stream");
            response.end(fs.readFileSync(file));
        });
        await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
        try {
            await open(session, `http://127.0.0.1:${server.address().port}/index.html`);
            await session.page.setInputFiles("input[type=file]", [path.join(options.samples, "five.gpl")]);
            await waitShown(session.page, 1);
            assert.equal((await cardOf(session.page, "five.gpl")).swatches.length, 5);
        } finally {
            server.close();
        }
    },

    // Tab to the chooser, Enter; Tab to the format menu, an arrow key;
    // Tab to Save, Enter: the file saved.
    async keyboard(session) {
        await open(session);
        const page = session.page;
        const tabTo = async (selector) => {
            for (let i = 0; i < 40; i++) {
                await page.keyboard.press("Tab");
                if (await page.evaluate((s) => document.activeElement.matches(s), selector)) {
                    return;
                }
            }
            assert.fail(`Tab never reached ${selector}`);
        };
        await tabTo("[data-action=choose]");
        const chooser = await chooserOf(session, () => page.keyboard.press("Enter"));
        await chooser.setFiles(path.join(options.samples, "edge.pal"));
        await waitShown(page, 1);
        await tabTo("select[name=format]");
        await page.keyboard.press("ArrowDown");
        assert.equal(await page.$eval("select[name=format]", (s) => s.value), "jasc");
        await tabTo("button[data-action=save]");
        const [download] = await Promise.all([page.waitForEvent("download", WAIT), page.keyboard.press("Enter")]);
        assert.equal(download.suggestedFilename(), "edge.pal");
    },

    // axe-core finds nothing serious or critical, with a palette shown and
    // a file refused.
    async accessibility(session) {
        await open(session);
        await session.page.setInputFiles("input[type=file]",
            [path.join(options.samples, "named.gpl"), path.join(options.npm, "axe-core", "package.json")]);
        await waitShown(session.page, 2);
        await session.page.evaluate(fs.readFileSync(path.join(options.npm, "axe-core", "axe.min.js"), "utf8"));
        const results = await session.page.evaluate(() => window.axe.run());
        const serious = results.violations.filter((v) => v.impact === "serious" || v.impact === "critical");
        assert.deepEqual(serious.map((v) => `${v.id}: ${v.help}`), []);
    },

    // More colours than a format holds: refused as the command line refuses
    // them, then with the option the first ones saved, as --truncate saves
    // them, with its note; and 65,535 colours shown, the last one as --show
    // lists it.
    async capacity(session) {
        const folder = fresh("capacity");
        const gimp = (count) => "GIMP Palette\n" + Array.from({ length: count },
            (_, i) => `${i & 255} ${(i >> 8) & 255} ${(i * 3) & 255}\tc${i}\n`).join("");
        fs.writeFileSync(path.join(folder, "wide.gpl"), gimp(300));
        fs.writeFileSync(path.join(folder, "full.gpl"), gimp(65535));
        const page = session.page;
        await open(session);
        await page.setInputFiles("input[type=file]", ["wide.gpl", "full.gpl"].map((n) => path.join(folder, n)));
        await waitShown(page, 2);
        const save = '[data-file="wide.gpl"] button[data-action=save]';
        await page.selectOption('[data-file="wide.gpl"] select[name=format]', "edge");
        await page.click(save);
        const refused = run(options.cli, ["--to", "edge", "wide.gpl"], folder).stderr.trim();
        assert.equal(`kolorvane-cli: wide.gpl: ${await page.textContent('[data-file="wide.gpl"] .notice')}`, refused);
        await page.check("input[name=truncate]");
        const [download] = await Promise.all([page.waitForEvent("download", WAIT), page.click(save)]);
        const out = fresh("capacity-out");
        const truncated = run(options.cli, ["--truncate", "--to", "edge", "-o", out, "wide.gpl"], folder);
        assert.ok((await downloaded(download)).bytes.equals(fs.readFileSync(path.join(out, "wide.pal"))));
        const note = truncated.stderr.trim().replace("kolorvane-cli: wide.gpl: ", "");
        assert.equal(await page.textContent('[data-file="wide.gpl"] .notice'), `Saved wide.pal. ${note}`);
        const full = await cardOf(page, "full.gpl");
        assert.equal(full.swatches.length, 65535);
        assert.deepEqual(full.swatches[65534], cliShow(folder, "full.gpl").swatches[65534]);
    },

    // A drop event carrying files, dispatched as a browser does it.
    async drop(session) {
        await open(session);
        const page = session.page;
        const files = ["five.aco", "edge.pal"].map((name) => ({
            name, bytes: Array.from(fs.readFileSync(path.join(options.samples, name))),
        }));
        const transfer = await page.evaluateHandle((list) => {
            const data = new DataTransfer();
            for (const file of list) {
                data.items.add(new File([new Uint8Array(file.bytes)], file.name));
            }
            return data;
        }, files);
        await page.dispatchEvent("main", "dragenter", { dataTransfer: transfer });
        await page.dispatchEvent("main", "dragover", { dataTransfer: transfer });
        await page.dispatchEvent("main", "drop", { dataTransfer: transfer });
        await waitShown(page, 2);
        const names = await page.$$eval(".card", (cards) => cards.map((c) => c.dataset.file));
        assert.deepEqual(names, ["five.aco", "edge.pal"]);
        checkShown(await cardOf(page, "five.aco"), cliShow(options.samples, "five.aco"), "five.aco");
    },
};

// The Japanese page under --lang=ja: its words, and the window's notices
// for a .pal and an .act.
async function japanese() {
    // Headless chromium takes the languages a page is told from
    // --accept-lang; --lang alone sets its own menus' language.
    const session = await launch(["--lang=ja", "--accept-lang=ja"]);
    try {
        await open(session);
        const page = session.page;
        assert.equal(await page.getAttribute("html", "lang"), "ja");
        assert.equal(await page.textContent("[data-action=save-all]"), "すべて保存");
        const folder = fresh("ja");
        const edge = fs.readFileSync(path.join(options.samples, "edge.pal"));
        fs.writeFileSync(path.join(folder, "bad.pal"), Buffer.concat([Buffer.from("EDGE PAX"), edge.subarray(8)]));
        fs.writeFileSync(path.join(folder, "notes.doc"), "notes");
        await page.setInputFiles("input[type=file]",
            ["bad.pal", "notes.doc"].map((n) => path.join(folder, n)).concat(path.join(options.samples, "act.act")));
        await waitShown(page, 3);
        assert.equal(await page.textContent('[data-file="bad.pal"] .error'), "読込エラー1");
        assert.equal(await page.textContent('[data-file="notes.doc"] .error'), "取り扱えるファイルではありません");
        assert.equal(await page.getAttribute('[data-file="bad.pal"]', "data-error"), 'the header is not "EDGE PAL"');
        await Promise.all([page.waitForEvent("download", WAIT), page.click('[data-file="act.act"] button[data-action=save]')]);
        assert.equal(await page.textContent('[data-file="act.act"] .notice'), "変換を完了しました");
    } finally {
        await session.browser.close();
    }
}

// An .ase of CMYK swatches, inks from 0 to 1.
function cmykAse(inks) {
    const blocks = inks.map((ink, i) => {
        const name = Buffer.from(`\0I\0n\0k\0${String.fromCharCode(0x31 + i)}\0\0`, "latin1");
        const body = Buffer.alloc(2 + name.length + 4 + 16 + 2);
        body.writeUInt16BE(name.length / 2, 0);
        name.copy(body, 2);
        body.write("CMYK", 2 + name.length, "latin1");
        ink.forEach((v, k) => body.writeFloatBE(v, 6 + name.length + 4 * k));
        const head = Buffer.alloc(6);
        head.writeUInt16BE(1, 0);
        head.writeUInt32BE(body.length, 2);
        return Buffer.concat([head, body]);
    });
    const header = Buffer.alloc(12);
    header.write("ASEF", 0, "latin1");
    header.writeUInt16BE(1, 4);
    header.writeUInt32BE(blocks.length, 8);
    return Buffer.concat([header, ...blocks]);
}

async function main() {
    fs.mkdirSync(options.work, { recursive: true });
    let failed = 0;
    const all = Object.entries(cases).concat([["japanese", null]]);
    for (const [name, test] of all.filter(([n]) => only.length === 0 || only.includes(n))) {
        const started = Date.now();
        let session = null;
        try {
            if (test === null) {
                await japanese();
            } else {
                session = await launch();
                await test(session);
            }
            console.log(`ok   ${name} (${Date.now() - started} ms)`);
        } catch (error) {
            failed++;
            console.log(`FAIL ${name}: ${error.stack}`);
        } finally {
            if (session !== null) {
                await session.browser.close();
            }
        }
    }
    process.exit(failed === 0 ? 0 : 1);
}

main();
