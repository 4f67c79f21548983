// The page without a display: opened in headless chromium, FILE dropped on
// it by a drop event carrying it, a swatch pointed at, and the page saved
// as PICTURE, for the README (run-web.sh).
//   node demo.js --page DIR --npm NODE_MODULES --picture PICTURE FILE
"use strict";

const fs = require("fs");
const path = require("path");

const options = {};
const files = [];
for (let i = 2; i < process.argv.length; i++) {
    if (process.argv[i].startsWith("--")) {
        options[process.argv[i].slice(2)] = process.argv[++i];
    } else {
        files.push(process.argv[i]);
    }
}
const { chromium } = require(path.join(path.resolve(options.npm), "playwright-core"));

async function main() {
    const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
    try {
        const page = await browser.newPage({ viewport: { width: 1000, height: 760 } });
        await page.goto("file://" + path.resolve(options.page, "index.html"));
        await page.waitForSelector("html[data-ready=true]", { timeout: 20000 });
        const dropped = files.map((file) => ({ name: path.basename(file), bytes: Array.from(fs.readFileSync(file)) }));
        const transfer = await page.evaluateHandle((list) => {
            const data = new DataTransfer();
            for (const file of list) {
                data.items.add(new File([new Uint8Array(file.bytes)], file.name));
            }
            return data;
        }, dropped);
        await page.dispatchEvent("main", "drop", { dataTransfer: transfer });
        await page.waitForFunction((n) => document.querySelectorAll(".card[data-state=shown]").length === n,
            dropped.length, { timeout: 20000 });
        await page.hover(".card [data-hex]:nth-child(3)");
        for (const card of await page.$$eval(".card", (cards) => cards.map((c) => c.querySelector(".facts, .error").textContent))) {
            console.log(`shown: ${card}`);
        }
        await page.screenshot({ path: options.picture, fullPage: true });
        console.log(`screenshot: ${path.resolve(options.picture)}`);
    } finally {
        await browser.close();
    }
}

main().catch((error) => {
    console.error(error);
    process.exit(1);
});
