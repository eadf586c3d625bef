// ZFT Toolkit in a browser: the browser's side of the program's seams. The
// program (its windows, boxes, menus, texts, sizes and steps) is C++ in
// zft-core.wasm: shell/ over platform/web, started by app/web_main.cpp.
// This module draws what the program tells it in the DOM and on canvases,
// asks the browser's pickers and reads the files they give, hosts the worker
// that decodes pictures (decoder.js), and hands back the user's clicks, keys
// and answers. It holds no text of the program's; sizes come worked out, in
// CSS pixels.
//
// The program calls the functions of `seams` (Module.page, in
// platform/web's EM_JS functions); those that answer later call one of the
// program's entry points (core._zft_web_*) with the number they were given.
import createZftCore from "./zft-core.js";

const $ = (id) => document.getElementById(id);
let core = null;  // the module, once it runs

// ---- Across the boundary ---------------------------------------------------

const encoder = new TextEncoder();

// Calls `call` with each of `texts` as a C string in the module's memory
// (0 for null, or for one that finds no room), and frees them afterwards.
function withTexts(texts, call) {
    const held = texts.map((text) => {
        if (text === null || text === undefined) return 0;
        const bytes = encoder.encode(String(text));
        const at = core._malloc(bytes.length + 1);
        if (at) {
            core.HEAPU8.set(bytes, at);
            core.HEAPU8[at + bytes.length] = 0;
        }
        return at;
    });
    try {
        return call(...held);
    } finally {
        held.forEach((at) => at && core._free(at));
    }
}

// The bytes of `file` read into the module's memory, as zft.js reads its
// inputs: {at, length, unread}. `at` is 0 where they are more than any
// picture the core reads or find no room (the program then refuses the file
// unread, saying so), or where the browser cannot read them (`unread`, its
// reason); otherwise the program's to free.
async function hold(file) {
    const length = file.size;
    const at = length <= core._zft_most_bytes() ? core._malloc(length + 1) : 0;
    if (!at) return { at: 0, length, unread: null };
    try {
        core.HEAPU8.set(new Uint8Array(await file.arrayBuffer()), at);
        return { at, length, unread: null };
    } catch (error) {
        core._free(at);
        return { at: 0, length, unread: error.message };
    }
}

// ---- Windows ---------------------------------------------------------------------------

// By the program's numbers: {element, menubar, client, canvas, titles,
// items, parts: [picture areas, click areas], shortcuts}.
const windows = new Map();
// The window that takes the keys: the one shown last.
let active = null;

// "&File" as the menus show it: the access key underlined. Gives the
// element's content and the key, lower case.
function caption(element, text) {
    const at = text.indexOf("&");
    if (at < 0 || at + 1 >= text.length) {
        element.textContent = text;
        return "";
    }
    const key = document.createElement("u");
    key.textContent = text[at + 1];
    element.append(text.slice(0, at), key, text.slice(at + 2));
    return text[at + 1].toLowerCase();
}

function place(element, left, top, width, height) {
    Object.assign(element.style, { left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px` });
}

function makeWindow(number, name, withMenuBar) {
    const element = document.createElement("div");
    element.className = "window";
    element.id = name;
    element.hidden = true;
    element.setAttribute("role", withMenuBar ? "application" : "group");
    const client = document.createElement("div");
    client.className = "client";
    const canvas = document.createElement("canvas");
    client.append(canvas);
    let menubar = null;
    if (withMenuBar) {
        menubar = document.createElement("div");
        menubar.className = "menubar";
        menubar.setAttribute("role", "menubar");
        element.append(menubar);
    }
    element.append(client);
    document.body.append(element);
    windows.set(number, { number, element, menubar, client, canvas, titles: [], items: [], parts: [[], []],
        shortcuts: new Map() });
}

// The menu bar's height as its captions need it in the page's font.
function menuBarHeight(number) {
    const { element, menubar } = windows.get(number);
    const { hidden } = element;
    element.hidden = false;
    element.style.visibility = "hidden";
    menubar.style.height = "";
    const height = Math.ceil(menubar.getBoundingClientRect().height);
    element.hidden = hidden;
    element.style.visibility = "";
    return height;
}

// The window's frame (its one-pixel border) at (left, top) of the page; the
// menu bar and, below it, the client area inside the frame.
function placeWindow(number, left, top, width, height, menuBar, clientWidth, clientHeight) {
    const { element, menubar, client, canvas } = windows.get(number);
    place(element, left, top, width, height);
    if (menubar) menubar.style.height = `${menuBar}px`;
    place(client, 0, menuBar, clientWidth, clientHeight);
    // A new size clears the canvas; the program draws it again.
    if (canvas.width !== clientWidth) canvas.width = clientWidth;
    if (canvas.height !== clientHeight) canvas.height = clientHeight;
}

function windowPlace(number) {
    const { style } = windows.get(number).element;
    return [parseInt(style.left, 10) || 0, parseInt(style.top, 10) || 0];
}

// The part of the page the browser shows: [width, height, left, top].
function viewport() {
    const { clientWidth, clientHeight } = document.documentElement;
    return [clientWidth, clientHeight, Math.round(scrollX), Math.round(scrollY)];
}

function showWindow(number, shown) {
    const { element } = windows.get(number);
    element.hidden = !shown;
    if (shown) {
        // In front of the others.
        document.body.append(element);
        active = number;
    } else if (active === number) {
        closeMenus();
        active = [...windows.values()].filter((w) => !w.element.hidden).pop()?.number ?? null;
    }
}

function removeWindow(number) {
    const w = windows.get(number);
    if (!w) return;
    showWindow(number, false);
    w.element.remove();
    windows.delete(number);
}

// The page's window colour (the browser's ButtonFace), as 0xRRGGBB.
function windowColour(number) {
    const [r, g, b] = getComputedStyle(windows.get(number).element).backgroundColor.match(/\d+/g).map(Number);
    return (r << 16) | (g << 8) | b;
}

function addMenu(number, menu, name, text) {
    const w = windows.get(number);
    const holder = document.createElement("div");
    holder.className = "menu-title-holder";
    const title = document.createElement("button");
    title.className = "menu-title";
    title.dataset.name = name;
    title.tabIndex = -1;
    title.setAttribute("role", "menuitem");
    title.setAttribute("aria-haspopup", "menu");
    title.setAttribute("aria-expanded", "false");
    title.dataset.key = caption(title, text);
    if (title.dataset.key) title.setAttribute("aria-keyshortcuts", `Alt+${title.dataset.key.toUpperCase()}`);
    const list = document.createElement("div");
    list.className = "menu";
    list.hidden = true;
    list.setAttribute("role", "menu");
    list.dataset.name = `${name}-menu`;
    holder.append(title, list);
    w.menubar.append(holder);
    w.titles[menu] = title;
    // A menu opens as the button goes down, as a desktop's does.
    title.addEventListener("mousedown", (event) => {
        if (event.button !== 0) return;
        event.preventDefault();
        if (openTitle() === title) closeMenus();
        else openMenu(title);
    });
    title.addEventListener("mouseenter", () => {
        if (openTitle() && openTitle() !== title) openMenu(title, false);
    });
}

function addItem(number, menu, item, name, text, shortcut) {
    const w = windows.get(number);
    const button = document.createElement("button");
    button.dataset.name = name;
    button.tabIndex = -1;
    button.setAttribute("role", "menuitem");
    const label = document.createElement("span");
    button.dataset.key = caption(label, text);
    button.append(label);
    if (shortcut) {
        const shown = document.createElement("span");
        shown.className = "shortcut";
        shown.textContent = shortcut;
        shown.setAttribute("aria-hidden", "true");
        button.append(shown);
        button.setAttribute("aria-keyshortcuts", shortcut);
        w.shortcuts.set(shortcut, item);
    }
    button.addEventListener("click", () => pick(number, item));
    button.addEventListener("mouseenter", () => button.focus());
    w.titles[menu].nextElementSibling.append(button);
    w.items[item] = button;
}

function pick(number, item) {
    closeMenus();
    core._zft_web_menu_item(number, item);
}

function addLabel(number, name, left, top, width, height, family, points, bold, text) {
    const label = document.createElement("div");
    label.className = "label";
    label.dataset.name = name;
    place(label, left, top, width, height);
    // Where the family is missing, the system's sans-serif font stands in.
    label.style.font = `${bold ? "bold " : ""}${points}pt "${family}", sans-serif`;
    label.textContent = text;
    windows.get(number).client.append(label);
}

const PICTURE_AREA = 0;
const CLICK_AREA = 1;

// A picture area stands in the DOM for assistive technologies; a click area
// is a button that keys do not reach.
function addPart(number, kind, index, name) {
    const w = windows.get(number);
    const part = document.createElement("div");
    part.dataset.name = name;
    part.className = kind === PICTURE_AREA ? "picture" : "click";
    part.setAttribute("role", kind === PICTURE_AREA ? "img" : "button");
    if (kind === CLICK_AREA) {
        part.addEventListener("click", (event) => {
            if (event.button !== 0) return;
            swallowSecondClick();
            core._zft_web_click(number, index);
        });
    } else {
        dragsWindow(part, w.element);
    }
    w.client.append(part);
    w.parts[kind][index] = part;
}

// `takesPointer`: a picture area that drags its window, a click area.
function placePart(number, kind, index, left, top, width, height, visible, takesPointer) {
    const part = windows.get(number).parts[kind][index];
    place(part, left, top, width, height);
    part.hidden = !visible;
    part.classList.toggle("active", takesPointer);
}

function name(number, kind, index, text) {
    const w = windows.get(number);
    if (kind < 0) {
        w.element.setAttribute("aria-label", text);
        w.menubar?.setAttribute("aria-label", text);
    } else {
        w.parts[kind][index].setAttribute("aria-label", text);
    }
}

// The window follows the pointer dragged from `area` once it has gone a few
// pixels; a press released before then is left alone.
function dragsWindow(area, element) {
    let from = null;
    area.addEventListener("pointerdown", (event) => {
        if (event.button !== 0 || !area.classList.contains("active")) return;
        from = { x: event.pageX, y: event.pageY, left: parseInt(element.style.left, 10), top: parseInt(element.style.top, 10), moving: false };
        area.setPointerCapture(event.pointerId);
    });
    area.addEventListener("pointermove", (event) => {
        if (!from) return;
        const dx = event.pageX - from.x;
        const dy = event.pageY - from.y;
        from.moving ||= Math.abs(dx) + Math.abs(dy) >= 4;
        if (from.moving) {
            element.style.left = `${Math.max(0, from.left + dx)}px`;
            element.style.top = `${Math.max(0, from.top + dy)}px`;
        }
    });
    const end = () => (from = null);
    area.addEventListener("pointerup", end);
    area.addEventListener("pointercancel", end);
}

// The surface's pixels at `rgba` (red, green, blue, alpha bytes), `width` ×
// `height`, onto the canvas at (left, top).
function present(number, rgba, left, top, width, height) {
    const pixels = new Uint8ClampedArray(core.HEAPU8.buffer, rgba, width * height * 4);
    windows.get(number).canvas.getContext("2d").putImageData(new ImageData(pixels, width, height), left, top);
}

function requestFrame(number) {
    requestAnimationFrame(() => core._zft_web_frame(number));
}

function post(job) {
    setTimeout(() => core._zft_web_run(job));
}

// After a click a click area took, the second press of a double click is
// swallowed: the click may take its window away and show another under the
// pointer, which must not take that press as a click of its own. The
// browser counts a double click's presses (`detail`) by the system's
// interval and distance.
function swallowSecondClick() {
    let swallowing = false;
    const swallow = (event) => {
        if (event.type === "mousedown") swallowing = event.detail >= 2;
        if (!swallowing) {
            if (event.type === "mousedown") stop();
            return;
        }
        event.preventDefault();
        event.stopImmediatePropagation();
        if (event.type === "dblclick") stop();
    };
    const types = ["mousedown", "mouseup", "click", "dblclick"];
    const stop = () => types.forEach((type) => removeEventListener(type, swallow, true));
    types.forEach((type) => addEventListener(type, swallow, true));
}

// ---- Menus and keys -----------------------------------------------------------------------

function openTitle() {
    return document.querySelector('.menu-title[aria-expanded="true"]');
}

function itemsOf(title) {
    return [...title.nextElementSibling.querySelectorAll('[role="menuitem"]')];
}

function openMenu(title, focusFirst = true) {
    closeMenus(title);
    const menu = title.nextElementSibling;
    const where = title.getBoundingClientRect();
    menu.style.left = `${where.left}px`;
    menu.style.top = `${where.bottom}px`;
    menu.hidden = false;
    title.setAttribute("aria-expanded", "true");
    if (focusFirst) itemsOf(title)[0]?.focus();
    else title.focus();
}

function closeMenus(except) {
    for (const title of document.querySelectorAll(".menu-title")) {
        if (title === except) continue;
        title.nextElementSibling.hidden = true;
        title.setAttribute("aria-expanded", "false");
    }
}

document.addEventListener("pointerdown", (event) => {
    if (!event.target.closest(".menu-title-holder")) closeMenus();
});

// Keys of the window shown last: the items' shortcuts, the menus' access
// keys with Alt, F10 to the menu bar, and in an open menu the arrows,
// Return, Escape and the items' access keys. The keys a window takes (F1,
// F10, Alt with a letter) reach no further, whatever they do in it: on the
// intro they do nothing, in the browser neither.
function onKey(event) {
    if (active === null) return;
    if (document.querySelector("dialog[open]")) {
        // A box has the keys; the browser's own F1 and F10 stay away.
        if (event.key === "F1" || event.key === "F10") event.preventDefault();
        return;
    }
    const w = windows.get(active);
    const key = event.key.toLowerCase();
    const handled = () => {
        event.preventDefault();
        event.stopPropagation();
    };
    const alone = !event.altKey && !event.ctrlKey && !event.metaKey && !event.shiftKey;
    if (alone && w.shortcuts.has(event.key)) {
        handled();
        pick(w.number, w.shortcuts.get(event.key));
        return;
    }
    if (event.altKey && !event.ctrlKey && !event.metaKey && /^[a-z0-9]$/.test(key)) {
        handled();
        const title = w.titles.find((t) => t.dataset.key === key);
        if (title) openMenu(title);
        return;
    }
    if (event.key === "F1" || event.key === "F10") {
        handled();
        if (event.key === "F10") w.titles[0]?.focus();
        return;
    }
    const open = openTitle();
    const focused = w.titles.includes(document.activeElement) ? document.activeElement : null;
    const title = open ?? focused;
    if (!title) return;
    const items = itemsOf(title);
    const at = items.indexOf(document.activeElement);
    const step = (list, from, by) => list[(from + by + list.length) % list.length];
    switch (event.key) {
    case "Escape":
        handled();
        closeMenus();
        title.focus();
        return;
    case "ArrowDown":
    case "ArrowUp":
        handled();
        if (!open) openMenu(title);
        else step(items, at < 0 ? (event.key === "ArrowDown" ? -1 : 0) : at, event.key === "ArrowDown" ? 1 : -1).focus();
        return;
    case "ArrowLeft":
    case "ArrowRight": {
        handled();
        const next = step(w.titles, w.titles.indexOf(title), event.key === "ArrowRight" ? 1 : -1);
        if (open) openMenu(next);
        else next.focus();
        return;
    }
    case "Enter":
    case " ":
        handled();
        if (open && at >= 0) items[at].click();
        else openMenu(title);
        return;
    default:
        if (open && !event.ctrlKey && !event.metaKey) {
            const item = items.find((i) => i.dataset.key === key);
            if (item) {
                handled();
                item.click();
            }
        }
    }
}
document.addEventListener("keydown", onKey, true);

// ---- Boxes -----------------------------------------------------------------------------------

const ICONS = {
    information: '<circle cx="16" cy="16" r="14" fill="#2a5db0"/><rect x="14" y="13" width="4" height="11" fill="#fff"/><circle cx="16" cy="9" r="2.3" fill="#fff"/>',
    question: '<circle cx="16" cy="16" r="14" fill="#2a5db0"/><text x="16" y="23" font-size="20" font-weight="bold" text-anchor="middle" fill="#fff" font-family="sans-serif">?</text>',
    stop: '<circle cx="16" cy="16" r="14" fill="#c62828"/><path d="M10 10l12 12M22 10L10 22" stroke="#fff" stroke-width="3.5"/>',
    exclamation: '<path d="M16 3L30 28H2z" fill="#f2c230" stroke="#8a6d00"/><rect x="14.5" y="11" width="3" height="10" fill="#000"/><circle cx="16" cy="24.5" r="1.8" fill="#000"/>',
};
ICONS.error = ICONS.stop;

let boxes = 0;

// A modal box titled `title` with `buttons`, the first answering Return and
// the one at `escape` Escape; `fill` puts its content beside the icon and
// may give the element to focus. Resolves with the place of the button that
// answered.
function modal({ title, icon, buttons, escape, fill, alert }) {
    const id = `box${++boxes}`;
    const dialog = document.createElement("dialog");
    dialog.className = "box";
    dialog.setAttribute("role", alert ? "alertdialog" : "dialog");
    dialog.setAttribute("aria-labelledby", `${id}-title`);
    dialog.innerHTML = '<div class="box-title"></div><div class="box-body"></div><div class="box-buttons"></div>';
    dialog.querySelector(".box-title").id = `${id}-title`;
    dialog.querySelector(".box-title").textContent = title;
    const body = dialog.querySelector(".box-body");
    if (icon) body.insertAdjacentHTML("beforeend", `<svg class="box-icon" viewBox="0 0 32 32" aria-hidden="true">${ICONS[icon]}</svg>`);
    const focus = fill(body, id);
    const row = dialog.querySelector(".box-buttons");
    closeMenus();
    return new Promise((resolve) => {
        const answer = (button) => {
            dialog.close();
            dialog.remove();
            resolve(button);
        };
        buttons.forEach((text, button) => {
            const element = document.createElement("button");
            element.type = "button";
            element.textContent = text;
            element.addEventListener("click", () => answer(button));
            row.append(element);
        });
        dialog.addEventListener("cancel", (event) => {
            event.preventDefault();
            answer(escape);
        });
        dialog.addEventListener("keydown", (event) => {
            if (event.key === "Enter" && !event.isComposing && event.target.tagName !== "BUTTON") {
                event.preventDefault();
                answer(0);
            }
        });
        document.body.append(dialog);
        dialog.showModal();
        (focus ?? row.firstElementChild).focus();
    });
}

function messageBox(answer, text, icon, title, buttons, escape, alert) {
    modal({
        title, icon, buttons, escape, alert,
        fill(body, id) {
            const shown = document.createElement("div");
            shown.className = "box-text";
            shown.id = `${id}-text`;
            shown.textContent = text;
            body.append(shown);
            body.parentElement.setAttribute("aria-describedby", shown.id);
        },
    }).then((button) => core._zft_web_answer(answer, button, 0));
}

// A box with a one-line entry under `label`, holding `text` at first: the
// text, or null when another button than the first answers it;
// `required`, the first answers only with a text entered.
async function fieldBox(title, label, buttons, required = false, text = "") {
    let field;
    const button = await modal({
        title, buttons, escape: buttons.length - 1,
        fill(body, id) {
            body.insertAdjacentHTML("beforeend", `<label class="box-field" for="${id}-field"><span></span><input id="${id}-field" type="text" autocomplete="off" spellcheck="false"></label>`);
            body.querySelector("span").textContent = label;
            field = body.querySelector("input");
            field.value = text;
            if (required) {
                const first = () => body.parentElement.querySelector(".box-buttons button");
                const check = () => (first().disabled = field.value === "");
                field.addEventListener("input", check);
                queueMicrotask(check);
                field.addEventListener("keydown", (event) => {
                    if (event.key === "Enter" && field.value === "") event.stopPropagation();
                });
            }
            return field;
        },
    });
    return button === 0 ? field.value : null;
}

function inputBox(answer, prompt, title, ok, cancel) {
    fieldBox(title, prompt, [ok, cancel]).then((text) =>
        withTexts([text], (entered) => core._zft_web_answer(answer, text === null ? 0 : 1, entered)));
}

// ---- The browser's pickers ----------------------------------------------------------------

const chooser = document.createElement("input");
chooser.type = "file";
chooser.className = "offscreen";
chooser.tabIndex = -1;
chooser.setAttribute("aria-hidden", "true");
document.body.append(chooser);

// The file the user picks in the browser's open dialog (`accept`, the
// extensions it offers: ".jpg,.gif"; `title` and `filter` what assistive
// technologies hear of it), or null when the dialog is dismissed. Browsers
// open it only on a user's click or key, and that activation is then used up.
function askOpenFile(title, filter, accept) {
    return new Promise((resolve) => {
        chooser.value = "";
        chooser.accept = accept;
        chooser.setAttribute("aria-label", `${title} (${filter})`);
        const done = (file) => {
            chooser.onchange = chooser.oncancel = null;
            resolve(file);
        };
        chooser.onchange = () => done(chooser.files[0] ?? null);
        chooser.oncancel = () => done(null);
        chooser.click();
    });
}

// Where a file is to be saved: {name, write(bytes)}, or null when the user
// cancels, in the box or in the browser's dialog. A box titled `title`
// (with the words `label`, `save` and `cancel`) takes a name for a file of
// `filter` ("*.ZFT", of the extensions `accept`), `suggested` at first. Where the browser has a
// save dialog, the box's Save button opens it with that name suggested: a
// click or key there is an activation of the user's, which the dialog needs
// (one asked for after an open dialog, with the activation used up, is
// refused). Elsewhere the file is downloaded under that name. write() puts
// the whole file there or throws, leaving an existing file as it was.
async function askSaveTarget(title, filter, accept, { label, save, cancel }, suggested = "") {
    const name = await fieldBox(title, label, [save, cancel], true, suggested);
    if (name === null) return null;
    if (typeof window.showSaveFilePicker !== "function") return downloadTarget(name);
    let handle;
    try {
        handle = await window.showSaveFilePicker({
            id: "zft",
            suggestedName: name,
            types: [{ description: filter, accept: { "application/octet-stream": accept.split(",") } }],
        });
    } catch (error) {
        if (error.name === "AbortError") return null;
        throw error;
    }
    return {
        name: handle.name,
        async write(bytes) {
            // Written to a copy that takes the file's place when closed:
            // whole or not at all.
            const file = await handle.createWritable();
            try {
                await file.write(bytes);
            } catch (error) {
                await file.abort();
                throw error;
            }
            await file.close();
        },
    };
}

// A file the browser downloads as `name`, for browsers without a save dialog.
function downloadTarget(name) {
    return {
        name,
        async write(bytes) {
            const link = document.createElement("a");
            link.href = URL.createObjectURL(new Blob([bytes], { type: "application/octet-stream" }));
            link.download = name;
            document.body.append(link);
            link.click();
            link.remove();
            setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
        },
    };
}

function askOpen(answer, title, filter, accept) {
    askOpenFile(title, filter, accept).then(async (file) => {
        if (!file) return core._zft_web_opened(answer, 0, 0, 0, 0, 0);
        const { at, length, unread } = await hold(file);
        withTexts([file.name, unread], (name, why) => core._zft_web_opened(answer, 1, name, at, length, why));
    });
}

// Save targets by number, until written or dropped.
const targets = new Map();
let lastTarget = 0;

function askSave(answer, title, filter, accept, label, save, cancel, suggested) {
    askSaveTarget(title, filter, accept, { label, save, cancel }, suggested).catch((error) => {
        // The browser refused its dialog: as dismissed, the command ends.
        console.warn("The save dialog was refused:", error);
        return null;
    }).then((target) => {
        if (!target) return core._zft_web_save_target(answer, 0, 0);
        targets.set(++lastTarget, target);
        withTexts([target.name], (name) => core._zft_web_save_target(answer, lastTarget, name));
    });
}

// The whole file to the target `target`; tells job `job` when it is written
// or has failed (with the reason).
function write(target, bytes, length, job) {
    const written = (reason) => withTexts([reason], (why) => core._zft_web_written(job, reason === null ? 1 : 0, why));
    new Promise((resolve) => resolve(targets.get(target).write(core.HEAPU8.slice(bytes, bytes + length))))
        .then(() => written(null), (error) => written(error.message))
        .finally(() => targets.delete(target));
}

function dropTarget(target) {
    targets.delete(target);
}

// ---- The decoding worker -----------------------------------------------------------------------

let decoder = null;
const decoding = new Set();

function startDecoder(compiled) {
    try {
        decoder = new Worker(new URL("decoder.js", import.meta.url), { type: "module" });
    } catch (error) {
        console.warn("Pictures are decoded in the page, without a worker:", error);
        return;
    }
    decoder.postMessage({ module: compiled });
    decoder.onmessage = ({ data }) => decoded(data);
    decoder.onerror = (event) => {
        // Its pictures fail, and the next ones are decoded in the page.
        decoder = null;
        for (const job of decoding) withTexts([event.message ?? ""], (why) => core._zft_web_decoder_stopped(job, why));
        decoding.clear();
    };
}

// The picture `name` in `bytes` to the worker; false when the page has none.
function decode(job, bytes, length, name, background, width, height) {
    if (!decoder) return false;
    let copy;
    try {
        copy = core.HEAPU8.slice(bytes, bytes + length);
    } catch {
        return false;
    }
    decoding.add(job);
    decoder.postMessage({ job, bytes: copy, name, background, width, height }, [copy.buffer]);
    return true;
}

function decoded({ job, pixels, width, height, alpha, kind, reason, message, stopped }) {
    if (!decoding.delete(job)) return;
    if (stopped !== undefined) {
        withTexts([stopped], (why) => core._zft_web_decoder_stopped(job, why));
        return;
    }
    if (!pixels) {
        withTexts([reason, message], (r, m) => core._zft_web_decode_failed(job, kind, r, m));
        return;
    }
    const at = core._zft_web_decoded_pixels(job, width, height);
    if (!at) return;
    core.HEAPU8.set(pixels, at);
    core._zft_web_decoded(job, alpha ? 1 : 0);
}

// ---- The page around the windows ---------------------------------------------------------------

// A short tone, where the browser lets the page play one.
let audio = null;
function beep() {
    try {
        audio ??= new AudioContext();
        const tone = audio.createOscillator();
        const volume = audio.createGain();
        tone.frequency.value = 880;
        volume.gain.value = 0.1;
        tone.connect(volume).connect(audio.destination);
        tone.start();
        tone.stop(audio.currentTime + 0.08);
    } catch {
        // No sound, then.
    }
}

// A page cannot close its own tab unless a script opened it: the windows
// go, and the page says so.
function endProgram() {
    for (const number of [...windows.keys()]) removeWindow(number);
    for (const dialog of document.querySelectorAll("dialog.box")) dialog.remove();
    document.removeEventListener("keydown", onKey, true);
    $("ended").hidden = false;
    document.documentElement.dataset.ready = "ended";
    window.close();
}

// Files the system opens with the installed page (the manifest's
// file_handlers, one window a file): `take` gets the File.
function onLaunchedFile(take) {
    if (!("launchQueue" in window)) return;
    window.launchQueue.setConsumer(async ({ files }) => {
        if (files?.length) take(await files[0].getFile());
    });
}

// The page cannot work: it says why in place of its windows (the words
// around `reason` are the page's own, in index.html).
function showStartFailure(reason) {
    const failed = $("failed");
    failed.querySelector(".reason").textContent = reason;
    failed.hidden = false;
    document.documentElement.dataset.ready = "failed";
}

const seams = {
    makeWindow, menuBarHeight, placeWindow, windowPlace, viewport, showWindow, removeWindow, windowColour,
    addMenu, addItem, addLabel, addPart, placePart, name, present, requestFrame, post,
    messageBox, inputBox, askOpen, askSave, write, dropTarget,
    decode, beep, endProgram,
};

// zft-core.wasm compiled once, for the page and for its worker.
async function compile() {
    try {
        return await WebAssembly.compileStreaming(fetch("zft-core.wasm"));
    } catch (error) {
        // A server that does not serve it as application/wasm.
        if (!(error instanceof TypeError)) throw error;
        return WebAssembly.compile(await (await fetch("zft-core.wasm")).arrayBuffer());
    }
}

async function start() {
    let compiled;
    try {
        compiled = await compile();
        // Some browsers compile the module and refuse it only here.
        core = await new Promise((resolve, reject) => {
            createZftCore({
                page: seams,
                instantiateWasm(imports, receive) {
                    WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled), reject);
                    return {};
                },
            }).then(resolve, reject);
        });
    } catch (error) {
        showStartFailure(error.message);
        return;
    }
    startDecoder(compiled);
    core._zft_web_start();
    document.documentElement.dataset.ready = "intro";
    onLaunchedFile(async (file) => {
        const { at, length, unread } = await hold(file);
        withTexts([file.name, unread], (name, why) => core._zft_web_launched(name, at, length, why));
    });
}

start();

if ("serviceWorker" in navigator) {
    // The worker's own script past the HTTP cache too, so that a new build is found at once.
    navigator.serviceWorker.register("sw.js", { updateViaCache: "none" }).catch(() => {});
}
