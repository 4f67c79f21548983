// Measures the page's budgets in headless chromium on this machine:
//   node bench/web.js [ROUNDS]        (7 rounds unless given)
// - its files, within 3 MiB in all;
// - ready to take a drop (the module started) within 1 s of opening;
// - a dropped 256-colour palette shown within 100 ms;
// - a 65,535-colour palette shown within 2 s, the page responsive meanwhile:
//   the longest task the browser reports while it is shown.
// Each time is from the event to the last swatch on the page, measured by
// the page's own clock; the median of ROUNDS rounds, each in a fresh
// browser, is printed beside its budget. Builds the page (the web preset)
// when it is missing. Exit status 1 when a budget is missed.
"use strict";

const childProcess = require("child_process");
const fs = require("fs");
const path = require("path");

const root = path.resolve(__dirname, "..");
const pageDir = path.join(root, "build/web/web/page");
const { chromium } = require(path.join(root, "build/npm/node_modules/playwright-core"));
const rounds = Number(process.argv[2] || 7);

// A GIMP palette of `count` colours, each of its own.
function gimpPalette(count) {
    const lines = ["GIMP Palette", "Name: Bench"];
    for (let i = 0; i < count; i++) {
        lines.push(`${(i * 7) & 255} ${(i >> 8) & 255} ${i & 255}\tColour ${i}`);
    }
    return lines.join("\n") + "\n";
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted[Math.floor(sorted.length / 2)];
}

// Drops `text` as the file `name` and waits for its card to be shown:
// milliseconds from the drop to then, and the longest task meanwhile.
function dropAndTime(page, name, text) {
    return page.evaluate(({ name, text }) => new Promise((resolve) => {
        let longest = 0;
        const observer = new PerformanceObserver((list) => {
            for (const entry of list.getEntries()) {
                longest = Math.max(longest, entry.duration);
            }
        });
        observer.observe({ type: "longtask" });
        const data = new DataTransfer();
        data.items.add(new File([text], name));
        const started = performance.now();
        const watch = new MutationObserver(() => {
            const card = document.querySelector(`.card[data-file="${name}"]`);
            if (card !== null && card.dataset.state === "shown") {
                watch.disconnect();
                const took = performance.now() - started;
                // The long tasks of the last frame are reported after it.
                setTimeout(() => {
                    observer.disconnect();
                    resolve({ took, longest, swatches: card.querySelectorAll("[data-hex]").length,
                        error: card.dataset.error });
                }, 100);
            }
        });
        watch.observe(document.body, { subtree: true, childList: true, attributes: true });
        document.querySelector("main").dispatchEvent(new DragEvent("drop", { dataTransfer: data,
            bubbles: true, cancelable: true }));
    }), { name, text });
}

async function round(palettes) {
    const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
    try {
        const page = await browser.newPage();
        await page.goto("file://" + path.join(pageDir, "index.html"));
        await page.waitForSelector("html[data-ready=true]", { timeout: 30000 });
        const ready = await page.evaluate(() => performance.getEntriesByName("kolorvane-ready")[0].startTime);
        const small = await dropAndTime(page, "small.gpl", palettes.small);
        const large = await dropAndTime(page, "large.gpl", palettes.large);
        return { ready, small, large };
    } finally {
        await browser.close();
    }
}

async function main() {
    if (!fs.existsSync(path.join(pageDir, "kolorvane.js"))) {
        childProcess.execSync("cmake --preset web && cmake --build --preset web", { cwd: root, stdio: "inherit" });
    }
    const bytes = fs.readdirSync(pageDir).reduce((sum, f) => sum + fs.statSync(path.join(pageDir, f)).size, 0);
    const palettes = { small: gimpPalette(256), large: gimpPalette(65535) };
    const results = [];
    for (let i = 0; i < rounds; i++) {
        const result = await round(palettes);
        results.push(result);
        console.log(`round ${i + 1}: ready ${result.ready.toFixed(0)} ms, 256 colours ` +
            `${result.small.took.toFixed(1)} ms, 65,535 colours ${result.large.took.toFixed(0)} ms ` +
            `(${result.large.swatches} swatches${result.large.error ? ", " + result.large.error : ""}; ` +
            `longest task ${result.large.longest.toFixed(0)} ms)`);
    }
    const rows = [
        ["page files", bytes / 1048576, 3, "MiB"],
        ["ready", median(results.map((r) => r.ready)), 1000, "ms"],
        ["256 colours shown", median(results.map((r) => r.small.took)), 100, "ms"],
        ["65,535 colours shown", median(results.map((r) => r.large.took)), 2000, "ms"],
    ];
    let missed = results.some((r) => r.small.swatches !== 256 || r.large.swatches !== 65535);
    for (const [what, value, budget, unit] of rows) {
        const within = value <= budget;
        missed = missed || !within;
        console.log(`${what.padEnd(22)} ${value.toFixed(unit === "MiB" ? 2 : 0).padStart(8)} ${unit}` +
            `  (budget ${budget} ${unit}) ${within ? "ok" : "MISSED"}`);
    }
    console.log(`longest task while 65,535 colours are shown: median ` +
        `${median(results.map((r) => r.large.longest)).toFixed(0)} ms`);
    process.exit(missed ? 1 : 0);
}

main();
