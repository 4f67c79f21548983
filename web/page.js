// The page: files in by a drop or the chooser, one card each, outputs out
// as downloads. Everything a palette needs is done by the core through the
// module's C API (api.h); this only moves bytes and words between it and
// the page.
"use strict";

(function () {
    const WORDS = {
        en: {
            intro: "Drop palettes anywhere on this page, or choose them. They are converted here, on your own machine: nothing is uploaded.",
            choose: "Choose files…",
            saveAll: "Save all",
            truncate: "Keep the first colours a smaller format holds",
            profile: "CMYK profile…",
            builtInProfile: "ISO Coated v2 300% (basICColor), built in",
            loading: "Loading…",
            ready: "Ready: drop palettes or choose them.",
            dropHere: "Drop palettes to convert them",
            controls: "Files and options",
            cards: "Palettes",
            colour: "colour",
            colours: "colours",
            saveAs: "Save as",
            save: "Save",
            swatches: "Colours of",
            saved: (name) => `Saved ${name}.`,
            savedAll: (count) => `Saved ${count} ${count === 1 ? "file" : "files"} in kolorvane.zip.`,
            nothingToSave: "No palette to save.",
            profileRefused: (name, words) => `${name}: ${words}`,
            profileChosen: (name) => `CMYK profile: ${name}`,
            noMemory: "out of memory",
            notStarted: "The page could not start its converter.",
        },
        ja: {
            intro: "パレットをこのページのどこかにドロップするか、選んでください。変換はこのコンピューターの中で行われ、何もアップロードされません。",
            choose: "ファイルを選ぶ…",
            saveAll: "すべて保存",
            truncate: "小さな形式には入るだけの色を先頭から保存する",
            profile: "CMYK プロファイル…",
            builtInProfile: "ISO Coated v2 300% (basICColor)、内蔵",
            loading: "読み込み中…",
            ready: "準備ができました。パレットをドロップするか選んでください。",
            dropHere: "ドロップして変換",
            controls: "ファイルとオプション",
            cards: "パレット",
            colour: "色",
            colours: "色",
            saveAs: "保存する形式",
            save: "保存",
            swatches: "色の一覧:",
            saved: (name) => `${name} を保存しました。`,
            savedAll: (count) => `${count} 個のファイルを kolorvane.zip に保存しました。`,
            nothingToSave: "保存できるパレットがありません。",
            profileRefused: (name, words) => `${name}: ${words}`,
            profileChosen: (name) => `CMYK プロファイル: ${name}`,
            noMemory: "メモリーが足りません",
            notStarted: "変換の準備ができませんでした。",
            // The window's own notices, for .pal and .act files.
            converted: "変換を完了しました",
            badHeader: "読込エラー1",
            unsupported: "取り扱えるファイルではありません",
        },
    };

    // The refusals kv_refusal tells apart.
    const REFUSED_NAME = 1;
    const UNKNOWN_PAL = 2;
    // Swatches added to the page between two frames, so that a large
    // palette never holds the page still.
    const SWATCHES_A_FRAME = 4096;
    const SWATCHES_A_BLOCK = 1024;
    const COLUMNS = 16;

    const japanese = (navigator.languages || [navigator.language]).length > 0 &&
        /^ja\b/i.test((navigator.languages || [navigator.language])[0]);
    const words = japanese ? WORDS.ja : WORDS.en;

    const page = {
        module: null,
        session: 0,
        formats: [],  // {name, title, extension, writes}
        cards: [],    // {element, file, bytes, refused}
        queue: Promise.resolve(),
    };

    // --- words and the static page ---

    function translate() {
        document.documentElement.lang = japanese ? "ja" : "en";
        for (const element of document.querySelectorAll("[data-text]")) {
            element.textContent = words[element.dataset.text];
        }
        for (const element of document.querySelectorAll("[data-text-label]")) {
            element.setAttribute("aria-label", words[element.dataset.textLabel]);
        }
    }

    function setStatus(text) {
        document.querySelector(".status").textContent = text;
    }

    // Control characters shown as U+FFFD, as the command line lists names.
    function shown(text) {
        return text.replace(/[\u0000-\u001F\u007F-\u009F]/g, "\uFFFD");
    }

    // --- the module ---

    function text(pointer, size) {
        return size === 0 ? "" : page.module.UTF8ToString(pointer, size);
    }

    function withStrings(strings, call) {
        const M = page.module;
        const pointers = strings.map((value) => {
            const size = M.lengthBytesUTF8(value) + 1;
            const pointer = M._malloc(size);
            M.stringToUTF8(value, pointer, size);
            return pointer;
        });
        try {
            return pointers.includes(0) ? 0 : call(...pointers);
        } finally {
            pointers.forEach((pointer) => M._free(pointer));
        }
    }

    // The bytes handed to the session; false when it has no room for them.
    function give(bytes) {
        const pointer = page.module._kv_source(page.session, bytes.length);
        if (pointer === 0) {
            return false;
        }
        page.module.HEAPU8.set(bytes, pointer);
        return true;
    }

    function readFormats() {
        const M = page.module;
        for (let i = 0; i < M._kv_format_count(); i++) {
            page.formats.push({
                name: M.UTF8ToString(M._kv_format_name(i)),
                title: M.UTF8ToString(M._kv_format_title(i)),
                extension: M.UTF8ToString(M._kv_format_extension(i)),
                writes: M._kv_format_writes(i) === 1,
            });
        }
    }

    // What the core made of the file: its palette, or why it was refused.
    function showBytes(name, bytes) {
        const M = page.module;
        const s = page.session;
        if (!give(bytes)) {
            return { message: words.noMemory, refusal: 3 };
        }
        if (withStrings([name, ""], (n, from) => M._kv_show(s, bytes.length, n, from)) !== 1) {
            return { message: M.UTF8ToString(M._kv_message(s)), refusal: M._kv_refusal(s) };
        }
        const count = M._kv_count(s);
        const colors = M.HEAPU8.slice(M._kv_colors(s), M._kv_colors(s) + 3 * count);
        const names = new Array(count);
        for (let i = 0; i < count; i++) {
            names[i] = shown(text(M._kv_color_name(s, i), M._kv_color_name_size(s, i)));
        }
        return {
            format: M.UTF8ToString(M._kv_format(s)),
            target: M.UTF8ToString(M._kv_target(s)),
            warning: M.UTF8ToString(M._kv_warning(s)),
            name: shown(text(M._kv_palette_name(s), M._kv_palette_name_size(s))),
            colors,
            names,
        };
    }

    // The file converted into `to`: its output's name and bytes, or why not.
    function convertBytes(name, bytes, to) {
        const M = page.module;
        const s = page.session;
        if (!give(bytes)) {
            return { message: words.noMemory };
        }
        const truncate = document.querySelector("input[name=truncate]").checked ? 1 : 0;
        const done = withStrings([name, "", to],
            (n, from, target) => M._kv_convert(s, bytes.length, n, from, target, truncate));
        if (done !== 1) {
            return { message: M.UTF8ToString(M._kv_message(s)) };
        }
        const output = M._kv_output(s);
        return {
            name: M.UTF8ToString(M._kv_output_name(s)),
            bytes: M.HEAPU8.slice(output, output + M._kv_output_size(s)),
            note: M.UTF8ToString(M._kv_note(s)),
        };
    }

    // --- downloads ---

    function download(name, bytes, type) {
        const url = URL.createObjectURL(new Blob([bytes], { type }));
        const link = document.createElement("a");
        link.href = url;
        link.download = name;
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(url), 60000);
    }

    // Whether the window's own notices speak for this card, in Japanese.
    function windowFormat(card) {
        return japanese && (card.format === "edge" || card.format === "act");
    }

    function saveCard(card) {
        const to = card.element.querySelector("select[name=format]").value;
        const result = convertBytes(card.file.name, card.bytes, to);
        const notice = card.element.querySelector(".notice");
        if (result.message !== undefined) {
            notice.textContent = result.message;
            return;
        }
        download(result.name, result.bytes, "application/octet-stream");
        const saved = windowFormat(card) ? WORDS.ja.converted : words.saved(result.name);
        notice.textContent = result.note === "" ? saved : `${saved} ${result.note}`;
    }

    // A name not yet in the archive: "x.act", then "x (2).act".
    function uniqueName(name, taken) {
        const dot = name.lastIndexOf(".");
        const stem = dot > 0 ? name.slice(0, dot) : name;
        const extension = dot > 0 ? name.slice(dot) : "";
        let unique = name;
        for (let n = 2; taken.has(unique); n++) {
            unique = `${stem} (${n})${extension}`;
        }
        taken.add(unique);
        return unique;
    }

    function saveAll() {
        const M = page.module;
        const s = page.session;
        const taken = new Set();
        M._kv_zip_start(s);
        for (const card of page.cards.filter((c) => !c.refused)) {
            const to = card.element.querySelector("select[name=format]").value;
            const result = convertBytes(card.file.name, card.bytes, to);
            const notice = card.element.querySelector(".notice");
            if (result.message !== undefined) {
                notice.textContent = result.message;
                continue;
            }
            if (withStrings([uniqueName(result.name, taken)], (n) => M._kv_zip_add(s, n)) !== 1) {
                setStatus(words.noMemory);
                return;
            }
            notice.textContent = result.note;
        }
        if (taken.size === 0) {
            setStatus(words.nothingToSave);
            return;
        }
        if (M._kv_zip_finish(s) !== 1) {
            setStatus(words.noMemory);
            return;
        }
        const archive = M.HEAPU8.slice(M._kv_output(s), M._kv_output(s) + M._kv_output_size(s));
        download("kolorvane.zip", archive, "application/zip");
        setStatus(words.savedAll(taken.size));
    }

    // --- cards ---

    function element(tag, className, textContent) {
        const made = document.createElement(tag);
        if (className) {
            made.className = className;
        }
        if (textContent !== undefined) {
            made.textContent = textContent;
        }
        return made;
    }

    function formatNamed(name) {
        return page.formats.find((format) => format.name === name);
    }

    function factsLine(shownFile) {
        const count = shownFile.colors.length / 3;
        const parts = [formatNamed(shownFile.format).title,
            `${count} ${count === 1 ? words.colour : words.colours}`];
        if (shownFile.name !== "") {
            parts.push(`“${shownFile.name}”`);
        }
        return parts.join(" · ");
    }

    function hex(colors, i) {
        let digits = "#";
        for (let c = 0; c < 3; c++) {
            digits += colors[3 * i + c].toString(16).padStart(2, "0").toUpperCase();
        }
        return digits;
    }

    function formatMenu(target, id) {
        const label = element("label", "", words.saveAs + " ");
        const select = element("select");
        select.name = "format";
        select.id = id;
        for (const format of page.formats.filter((f) => f.writes)) {
            const option = element("option", "", `${format.title} (${format.extension})`);
            option.value = format.name;
            option.selected = format.name === target;
            select.append(option);
        }
        label.append(select);
        return label;
    }

    // A block of up to SWATCHES_A_BLOCK swatches from `first`: the browser
    // lays out and paints only the blocks in view (content-visibility), so
    // that 65,535 swatches cost little more than a screenful.
    function swatchBlock(shownFile, first, count) {
        const block = element("div", "block");
        block.setAttribute("role", "none");
        const rows = Math.ceil(count / COLUMNS);
        block.style.containIntrinsicSize = `auto calc(${rows} * var(--row))`;
        for (let i = first; i < first + count; i++) {
            const swatch = document.createElement("span");
            const code = hex(shownFile.colors, i);
            const name = shownFile.names[i];
            swatch.setAttribute("role", "listitem");
            swatch.dataset.hex = code;
            swatch.dataset.name = name;
            swatch.style.backgroundColor = code;
            swatch.tabIndex = i === 0 ? 0 : -1;
            swatch.setAttribute("aria-label", name === "" ? code : `${code} ${name}`);
            block.append(swatch);
        }
        return block;
    }

    // Swatches in index order, a frame's worth at a time; resolves once
    // every one is on the page.
    function addSwatches(list, shownFile) {
        const count = shownFile.colors.length / 3;
        return new Promise((resolve) => {
            let next = 0;
            const step = () => {
                const fragment = document.createDocumentFragment();
                const end = Math.min(count, next + SWATCHES_A_FRAME);
                for (; next < end; next += SWATCHES_A_BLOCK) {
                    fragment.append(swatchBlock(shownFile, next, Math.min(SWATCHES_A_BLOCK, end - next)));
                }
                list.append(fragment);
                if (next < count) {
                    requestAnimationFrame(step);
                } else {
                    resolve();
                }
            };
            // The first swatches in a frame of their own, not in the task
            // that read the palette, which is long enough for a large one.
            requestAnimationFrame(step);
        });
    }

    // The swatch's colour and name under the grid, on hover and focus; the
    // arrow keys move among the swatches, which are one stop for Tab.
    function watchSwatches(list, info) {
        const describe = (event) => {
            const swatch = event.target.closest("[data-hex]");
            if (swatch !== null && list.contains(swatch)) {
                const name = swatch.dataset.name;
                info.textContent = name === "" ? swatch.dataset.hex : `${swatch.dataset.hex} ${name}`;
            }
        };
        list.addEventListener("mouseover", describe);
        list.addEventListener("focusin", describe);
        list.addEventListener("keydown", (event) => {
            const moves = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: COLUMNS, ArrowUp: -COLUMNS,
                Home: -Infinity, End: Infinity };
            const swatch = event.target.closest("[data-hex]");
            if (!(event.key in moves) || swatch === null) {
                return;
            }
            const swatches = list.querySelectorAll("[data-hex]");
            const at = Array.prototype.indexOf.call(swatches, swatch);
            const to = Math.max(0, Math.min(swatches.length - 1, at + moves[event.key]));
            event.preventDefault();
            swatch.tabIndex = -1;
            swatches[to].tabIndex = 0;
            swatches[to].focus();
        });
    }

    function refusedCard(card, result) {
        const li = card.element;
        li.dataset.error = result.message;
        let line = result.message;
        if (japanese && result.refusal === REFUSED_NAME) {
            line = WORDS.ja.unsupported;
        } else if (japanese && result.refusal === UNKNOWN_PAL) {
            line = WORDS.ja.badHeader;
        }
        const error = element("p", "error", line);
        error.setAttribute("role", "alert");
        li.append(error);
        card.refused = true;
        li.dataset.state = "shown";
    }

    async function shownCard(card, shownFile, index) {
        const li = card.element;
        card.format = shownFile.format;
        li.append(element("p", "facts", factsLine(shownFile)));
        if (shownFile.warning !== "") {
            li.append(element("p", "warning", shownFile.warning));
        }
        const list = element("div", "swatches");
        list.setAttribute("role", "list");
        list.setAttribute("aria-label", `${words.swatches} ${card.file.name}`);
        const info = element("p", "info");
        info.setAttribute("aria-live", "polite");
        li.append(list, info);
        const save = element("div", "save");
        const button = element("button", "", words.save);
        button.type = "button";
        button.dataset.action = "save";
        button.addEventListener("click", () => saveCard(card));
        save.append(formatMenu(shownFile.target, `format-${index}`), button);
        li.append(save, element("p", "notice"));
        watchSwatches(list, info);
        await addSwatches(list, shownFile);
        li.dataset.state = "shown";
    }

    async function addCard(file) {
        const card = { file, bytes: null, refused: false, element: element("li", "card") };
        card.element.dataset.file = file.name;
        card.element.dataset.state = "reading";
        card.element.append(element("h2", "", file.name));
        document.querySelector(".cards").append(card.element);
        page.cards.push(card);
        card.bytes = new Uint8Array(await file.arrayBuffer());
        const result = showBytes(file.name, card.bytes);
        if (result.message !== undefined) {
            refusedCard(card, result);
        } else {
            await shownCard(card, result, page.cards.length);
        }
        document.querySelector("[data-action=save-all]").disabled = false;
    }

    // Files are shown one after another, in the order given.
    function addFiles(files) {
        for (const file of Array.from(files)) {
            page.queue = page.queue.then(() => addCard(file)).catch((error) => setStatus(String(error)));
        }
    }

    // --- the CMYK profile ---

    async function useProfile(file) {
        const M = page.module;
        const bytes = new Uint8Array(await file.arrayBuffer());
        const label = document.querySelector(".profile");
        if (!give(bytes)) {
            setStatus(words.noMemory);
        } else if (M._kv_use_profile(page.session, bytes.length) !== 1) {
            setStatus(words.profileRefused(file.name, M.UTF8ToString(M._kv_message(page.session))));
        } else {
            label.textContent = words.profileChosen(`${file.name} (${M.UTF8ToString(M._kv_profile(page.session))})`);
            setStatus("");
        }
    }

    // A chooser of its own, on the page only while it is open, so that the
    // palettes' input stays the page's one input[type=file] otherwise.
    function chooseProfile() {
        const input = document.createElement("input");
        input.type = "file";
        input.name = "profile";
        input.accept = ".icc,.icm";
        input.hidden = true;
        const done = () => input.remove();
        input.addEventListener("change", () => {
            if (input.files.length > 0) {
                const file = input.files[0];
                page.queue = page.queue.then(() => useProfile(file));
            }
            done();
        });
        input.addEventListener("cancel", done);
        document.body.append(input);
        input.click();
    }

    // --- getting files in ---

    function watchDrops() {
        const root = document.documentElement;
        let depth = 0;
        window.addEventListener("dragenter", (event) => {
            event.preventDefault();
            depth++;
            root.classList.add("dragging");
        });
        window.addEventListener("dragleave", () => {
            depth = Math.max(0, depth - 1);
            if (depth === 0) {
                root.classList.remove("dragging");
            }
        });
        window.addEventListener("dragover", (event) => {
            event.preventDefault();
            event.dataTransfer.dropEffect = "copy";
        });
        window.addEventListener("drop", (event) => {
            event.preventDefault();
            depth = 0;
            root.classList.remove("dragging");
            if (page.module !== null && event.dataTransfer.files.length > 0) {
                addFiles(event.dataTransfer.files);
            }
        });
    }

    function watchControls() {
        const input = document.querySelector("input[name=files]");
        input.addEventListener("change", () => {
            addFiles(input.files);
            input.value = "";
        });
        document.querySelector("[data-action=choose]").addEventListener("click", () => input.click());
        document.querySelector("[data-action=save-all]").addEventListener("click", () => {
            page.queue = page.queue.then(saveAll);
        });
        document.querySelector("[data-action=profile]").addEventListener("click", chooseProfile);
    }

    async function start() {
        translate();
        watchDrops();
        watchControls();
        try {
            page.module = await KolorvaneModule();  // eslint-disable-line no-undef
        } catch (error) {
            setStatus(`${words.notStarted} ${error}`);
            return;
        }
        page.session = page.module._kv_start();
        if (page.session === 0) {
            setStatus(words.notStarted);
            return;
        }
        readFormats();
        for (const button of document.querySelectorAll("[data-action=choose], [data-action=profile]")) {
            button.disabled = false;
        }
        setStatus(words.ready);
        performance.mark("kolorvane-ready");
        document.documentElement.dataset.ready = "true";
    }

    start();
}());
