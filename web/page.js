// ZFT Toolkit's windows as a page: the intro, the main window with its menu,
// the boxes, and the commands behind the menu, over zft.js (the core in
// WebAssembly). Sizes are CSS pixels; the program's twips are 15 to one.
//
// The browser's side of the seams (asking its pickers, the save box before
// its save dialog, the files the system opens the installed page with, a
// page that cannot start) are functions of their own below, with no text
// of the program's in them: the commands hand them their titles.
import { convert, isPicture, picture, preview, size } from "./zft.js";

const TITLE = "ZFT Toolkit - SP1";
const ABOUT = "ZFT Toolkit SP1, written by the ZFT Toolkit developers.\r\n" +
    "Questions and bug reports: the ZFT Toolkit project's issue tracker.";
const EXIT_QUESTION = "Are you sure you want to quit ZFT Toolkit ?";
const SOURCE_FILTER = "*.JPG;*.GIF;*.BMP";
const SOURCE_TITLE = "Select a file to convert ...";
const TARGET_FILTER = "*.ZFT";
const TARGET_TITLE = "Select a filename to save ...";
const PREVIEW_TITLE = "Select a file to preview ...";
const CONFIRMATION = "Click <OK> to start convertion (this can take a moment)";
const NOTICE_PROMPT = "Please enter Copyright notice (max. 48 chars)";
const SUCCESS = "Conversion succesfull !";

// The picture area `beeld` stands at (4, 4) of the drawing surface; the
// window is 11 pixels wider and 30 taller than it (a one-pixel frame, the
// 19-pixel menu bar, the margins), and with the minimum at least 261 x 230,
// the window around the 250 x 200 logo.
const BEELD_LEFT = 4;
const BEELD_TOP = 4;
const FRAME = 1;
const MENU_BAR = 19;
const MINIMUM = { width: 261, height: 230 };

const $ = (id) => document.getElementById(id);
const introscreen = $("introscreen");
const mainscreen = $("mainscreen");
const surface = $("surface");
const CommonDialog1 = $("CommonDialog1");

// ---- The window's state: what the drawing surface shows -----------------

const state = {
    logo: null,  // ImageData, the picture `backup` keeps
    beeld: { picture: null, width: 250, height: 200, visible: true },
    background: null,  // the window's background picture, ImageData
    running: false,  // a command is under way: another is refused
};

// The window's colour, as the surface shows it: what transparent pixels take.
function windowColour() {
    const [r, g, b] = getComputedStyle(mainscreen).backgroundColor.match(/\d+/g).map(Number);
    return "#" + [r, g, b].map((v) => v.toString(16).padStart(2, "0")).join("");
}

function imageOf({ width, height, rgb }) {
    const image = new ImageData(Math.max(width, 1), Math.max(height, 1));
    const rgba = image.data;
    for (let i = 0, j = 0; i < rgb.length; i += 3, j += 4) {
        rgba[j] = rgb[i];
        rgba[j + 1] = rgb[i + 1];
        rgba[j + 2] = rgb[i + 2];
        rgba[j + 3] = 255;
    }
    return image;
}

// Sizes the main window around `beeld`; the drawing surface is its client
// area below the menu bar.
function fitWindowToPicture(withMinimum) {
    let width = state.beeld.width + 11;
    let height = state.beeld.height + 30;
    if (withMinimum) {
        width = Math.max(width, MINIMUM.width);
        height = Math.max(height, MINIMUM.height);
    }
    mainscreen.style.width = width + "px";
    mainscreen.style.height = height + "px";
    surface.width = Math.max(width - 2 * FRAME, 0);
    surface.height = Math.max(height - 2 * FRAME - MENU_BAR, 0);
    keepOnPage();
    refresh();
}

// Repaints the surface: the window's colour, the background picture from
// the top-left corner, then `beeld` when shown. Points painted on it before
// are gone.
function refresh() {
    const context = surface.getContext("2d");
    context.fillStyle = windowColour();
    context.fillRect(0, 0, surface.width, surface.height);
    if (state.background) context.putImageData(state.background, 0, 0);
    const { picture: shown, visible, width, height } = state.beeld;
    if (visible && shown) context.putImageData(shown, BEELD_LEFT, BEELD_TOP, 0, 0, width, height);
}

// What assistive technologies hear the surface shows.
function nameBeeld(name) {
    surface.setAttribute("aria-label", name ? `${name}, ${state.beeld.width} × ${state.beeld.height} pixels` : "logo");
}

// Until the browser has drawn what the window now shows.
function painted() {
    return new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
}

function centre(element, width, height) {
    element.style.left = Math.max(0, Math.round((innerWidth - width) / 2)) + scrollX + "px";
    element.style.top = Math.max(0, Math.round((innerHeight - height) / 3)) + scrollY + "px";
}

// A window that grows is moved left and up as far as it must to stay on the page.
function keepOnPage() {
    const width = parseFloat(mainscreen.style.width);
    const height = parseFloat(mainscreen.style.height);
    const left = Math.min(parseFloat(mainscreen.style.left) || 0, Math.max(0, innerWidth + scrollX - width));
    const top = Math.min(parseFloat(mainscreen.style.top) || 0, Math.max(0, innerHeight + scrollY - height));
    mainscreen.style.left = left + "px";
    mainscreen.style.top = top + "px";
}

// ---- Boxes ---------------------------------------------------------------

const ICONS = {
    information: '<circle cx="16" cy="16" r="14" fill="#2a5db0"/><rect x="14" y="13" width="4" height="11" fill="#fff"/><circle cx="16" cy="9" r="2.3" fill="#fff"/>',
    question: '<circle cx="16" cy="16" r="14" fill="#2a5db0"/><text x="16" y="23" font-size="20" font-weight="bold" text-anchor="middle" fill="#fff" font-family="sans-serif">?</text>',
    stop: '<circle cx="16" cy="16" r="14" fill="#c62828"/><path d="M10 10l12 12M22 10L10 22" stroke="#fff" stroke-width="3.5"/>',
    exclamation: '<path d="M16 3L30 28H2z" fill="#f2c230" stroke="#8a6d00"/><rect x="14.5" y="11" width="3" height="10" fill="#000"/><circle cx="16" cy="24.5" r="1.8" fill="#000"/>',
};
ICONS.error = ICONS.stop;

// The buttons of each style: the first answers Return, the last Escape.
const BUTTONS = {
    information: ["OK"],
    question: ["Yes", "No"],
    stop: ["OK", "Cancel"],
    exclamation: ["OK"],
    error: ["OK"],
};

let boxes = 0;

// A modal box; `fill` puts its content beside the icon. Resolves with the
// answer (the button's text) when the box is closed.
function modal({ title, icon, buttons, fill, alert }) {
    const id = `box${++boxes}`;
    const dialog = document.createElement("dialog");
    dialog.className = "box";
    dialog.setAttribute("role", alert ? "alertdialog" : "dialog");
    dialog.setAttribute("aria-labelledby", `${id}-title`);
    dialog.innerHTML = `<div class="box-title" id="${id}-title"></div><div class="box-body"></div><div class="box-buttons"></div>`;
    dialog.querySelector(".box-title").textContent = title;
    const body = dialog.querySelector(".box-body");
    if (icon) {
        body.insertAdjacentHTML("beforeend", `<svg class="box-icon" viewBox="0 0 32 32" aria-hidden="true">${ICONS[icon]}</svg>`);
    }
    const focus = fill(body, id);
    const row = dialog.querySelector(".box-buttons");
    const escape = buttons[buttons.length - 1];
    closeMenus();
    return new Promise((resolve) => {
        const answer = (text) => {
            dialog.close();
            dialog.remove();
            resolve(text);
        };
        for (const text of buttons) {
            const button = document.createElement("button");
            button.type = "button";
            button.textContent = text;
            button.addEventListener("click", () => answer(text));
            row.append(button);
        }
        dialog.addEventListener("cancel", (event) => {
            event.preventDefault();
            answer(escape);
        });
        dialog.addEventListener("keydown", (event) => {
            if (event.key === "Enter" && !event.isComposing && event.target.tagName !== "BUTTON") {
                event.preventDefault();
                answer(buttons[0]);
            }
        });
        document.body.append(dialog);
        dialog.showModal();
        (focus ?? row.firstElementChild).focus();
    });
}

// A message box: the text with its line breaks, the style's icon and buttons.
function messageBox(text, style, title = TITLE) {
    return modal({
        title,
        icon: style,
        buttons: BUTTONS[style],
        alert: style !== "information",
        fill(body, id) {
            const shown = document.createElement("div");
            shown.className = "box-text";
            shown.id = `${id}-text`;
            shown.textContent = text.replaceAll("\r\n", "\n");
            body.append(shown);
            body.parentElement.setAttribute("aria-describedby", shown.id);
        },
    });
}

// A box with a one-line entry under `label`: the text, or null when it is
// answered by another button than the first.
async function fieldBox(title, label, buttons) {
    let field;
    const answer = await modal({
        title,
        buttons,
        fill(body, id) {
            body.insertAdjacentHTML("beforeend", `<label class="box-field" for="${id}-field"><span></span><input id="${id}-field" type="text" autocomplete="off" spellcheck="false"></label>`);
            body.querySelector("span").textContent = label;
            field = body.querySelector("input");
            return field;
        },
    });
    return answer === buttons[0] ? field.value : null;
}

// A one-line entry under `prompt`: the text, or "" when cancelled.
async function inputBox(prompt, title = TITLE) {
    return (await fieldBox(title, prompt, ["OK", "Cancel"])) ?? "";
}

// ---- The browser's side: its pickers, files opened with the page ----------

// The file the user picks in the browser's open dialog (`accept`, the
// extensions it offers: ".jpg,.gif"; `title` and `filter` what assistive
// technologies hear of it), or null when the dialog is dismissed. Browsers
// open it only on a user's click or key, and that activation is then used up.
function askOpenFile(title, filter, accept) {
    return new Promise((resolve) => {
        CommonDialog1.value = "";
        CommonDialog1.accept = accept;
        CommonDialog1.setAttribute("aria-label", `${title} (${filter})`);
        const done = (file) => {
            CommonDialog1.onchange = CommonDialog1.oncancel = null;
            resolve(file);
        };
        CommonDialog1.onchange = () => done(CommonDialog1.files[0] ?? null);
        CommonDialog1.oncancel = () => done(null);
        CommonDialog1.click();
    });
}

// The save box's own words, as a system's file dialog has its own.
const SAVE_BOX = { label: (filter) => `File name (${filter}):`, save: "Save", cancel: "Cancel" };

// Where a file is to be saved: {name, write(bytes)}, or null when the user
// cancels, in the box or in the browser's dialog. A box titled `title` takes
// a name for a file of `filter` ("*.ZFT"). Where the browser has a save
// dialog, the box's Save button opens it with that name suggested: a click
// or key there is an activation of the user's, which the dialog needs (one
// asked for after an open dialog, with the activation used up, is refused).
// Elsewhere the file is downloaded under that name. write() puts the whole
// file there or throws, leaving an existing file as it was.
async function askSaveTarget(title, filter) {
    const name = await fieldBox(title, SAVE_BOX.label(filter), [SAVE_BOX.save, SAVE_BOX.cancel]);
    if (name === null) return null;
    if (typeof window.showSaveFilePicker !== "function") return downloadTarget(name);
    const extensions = filter.split(";").map((pattern) => pattern.replace(/^\*/, "").toLowerCase());
    let handle;
    try {
        handle = await window.showSaveFilePicker({
            id: "zft",
            suggestedName: name || undefined,
            types: [{ description: filter, accept: { "application/octet-stream": extensions } }],
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

// Files the system opens with the installed page (the manifest's
// file_handlers, one window a file): `take` gets the File.
function onLaunchedFile(take) {
    if (!("launchQueue" in window)) return;
    window.launchQueue.setConsumer(async ({ files }) => {
        if (files?.length) take(await files[0].getFile());
    });
}

// The page cannot work: the windows go, and the page says why in place of
// them (the words around `reason` are the page's own, in index.html).
function showStartFailure(reason) {
    const failed = $("failed");
    failed.querySelector(".reason").textContent = reason;
    failed.hidden = false;
    document.documentElement.dataset.ready = "failed";
}

// ---- The commands ----------------------------------------------------------

// The source picture as the window shows it, and whether it was reduced: a
// picture too large for a ZFT file is offered reduced to fit, as zft convert
// --fit reduces it; null when the user declines.
async function decodeSource(bytes, name, background) {
    try {
        return { fit: false, shown: await picture(bytes, { background, name }) };
    } catch (error) {
        if (error.kind !== "TooLarge") throw error;
        // Too much work to decode, reduced or not, size() refuses it too, in
        // the same words: no reduction is offered.
        const { width, height, fitted } = await size(bytes, { name });
        if (width <= 999 && height <= 999) throw error;
        const offer = `${error.sentence}\r\n\r\nReduce it to ${fitted.width} × ${fitted.height} pixels?`;
        if ((await messageBox(offer, "question")) !== "Yes") return null;
        return { fit: true, shown: await picture(bytes, { background, fit: true, name }) };
    }
}

// File > Convert; `source`, a file the page was opened with, is converted
// without asking for one.
async function convertCommand(source) {
    source ??= await askOpenFile(SOURCE_TITLE, SOURCE_FILTER, ".jpg,.jpeg,.jpe,.jfif,.gif,.bmp");
    if (!source || source.name.length <= 3) return;
    let target;
    try {
        target = await askSaveTarget(TARGET_TITLE, TARGET_FILTER);
    } catch (error) {
        await messageBox(`Cannot write the file: ${error.message}`, "error");
        return;
    }
    if (!target || target.name.length <= 3) return;

    const background = windowColour();
    try {
        // The File itself to zft.js, which refuses one too large for its memory unread.
        const decoded = await decodeSource(source, source.name, background);
        if (decoded) {
            const shown = imageOf(decoded.shown);
            state.beeld = { picture: shown, width: shown.width, height: shown.height, visible: false };
            nameBeeld(source.name);
            state.background = shown;
            fitWindowToPicture(true);
            await painted();

            if ((await messageBox(CONFIRMATION, "stop")) === "OK") {
                const notice = await inputBox(NOTICE_PROMPT);
                refresh();
                const zft = await convert(source, { notice, background, fit: decoded.fit, name: source.name });
                try {
                    await target.write(zft);
                } catch (error) {
                    throw { sentence: `Cannot write ${target.name}: ${error.message}` };
                }
                await messageBox(SUCCESS, "exclamation");
            }
        }
    } catch (error) {
        await messageBox(error.sentence ?? String(error.message ?? error), "error");
    }

    state.beeld = { ...state.beeld, picture: state.logo, width: state.logo.width, height: state.logo.height };
    nameBeeld();
    state.background = null;
    fitWindowToPicture(true);
}

// File > Preview; `file`, a file the page was opened with, is previewed
// without asking for one.
async function previewCommand(file) {
    file ??= await askOpenFile(PREVIEW_TITLE, TARGET_FILTER, ".zft");
    if (!file || file.name.length <= 3) return;
    let zft;
    try {
        zft = await preview(file, { name: file.name });
    } catch (error) {
        await messageBox(error.sentence ?? String(error.message), "error");
        return;
    }
    await messageBox(zft.lines.join("\r\n"), "information", file.name);

    state.beeld = { picture: null, width: zft.width, height: zft.height, visible: true };
    nameBeeld(file.name);
    fitWindowToPicture(false);
    await painted();

    // The whole rows the file holds, then what it holds of the next.
    const { width, rgb } = zft;
    const pixels = rgb.length / 3;
    if (width > 0 && pixels > 0) {
        const rows = Math.floor(pixels / width);
        const image = imageOf({ width, height: Math.ceil(pixels / width), rgb });
        const context = surface.getContext("2d");
        if (rows > 0) context.putImageData(image, BEELD_LEFT, BEELD_TOP, 0, 0, width, rows);
        if (pixels % width) context.putImageData(image, BEELD_LEFT, BEELD_TOP, 0, rows, pixels % width, 1);
    }
    if (zft.failure) await messageBox(zft.failure, "error");
}

async function aboutCommand() {
    await messageBox(ABOUT, "information");
}

async function exitCommand() {
    if ((await messageBox(EXIT_QUESTION, "question")) !== "Yes") return;
    // A page cannot close its own tab unless a script opened it: the
    // windows go, and the page says so.
    mainscreen.hidden = true;
    $("ended").hidden = false;
    document.removeEventListener("keydown", onKey, true);
    window.close();
}

// A file the page was opened with, as `zft-toolkit FILE` takes it: a picture
// is converted, anything else previewed (which says why it is no ZFT file).
async function openCommand(file) {
    if (await isPicture(file).catch(() => false)) await convertCommand(file);
    else await previewCommand(file);
}

const COMMANDS = {
    preview_zft_file: previewCommand,
    convert_jpg_gif_bmp_file: convertCommand,
    exit_zft_toolkit: exitCommand,
    about_zft_toolkit: aboutCommand,
    open: openCommand,
};

// Runs one command from its start to its end; another picked meanwhile is refused.
async function run(name, ...args) {
    closeMenus();
    if (state.running) return;
    state.running = true;
    mainscreen.setAttribute("aria-busy", "true");
    try {
        await COMMANDS[name](...args);
    } finally {
        state.running = false;
        mainscreen.removeAttribute("aria-busy");
    }
}

// ---- The menu ----------------------------------------------------------------

const titles = [$("bestand"), $("hulp")];

function menuOf(title) {
    return $(title.getAttribute("aria-controls"));
}

function itemsOf(title) {
    return [...menuOf(title).querySelectorAll('[role="menuitem"]')];
}

function openMenu(title, focusFirst = true) {
    closeMenus(title);
    const menu = menuOf(title);
    const place = title.getBoundingClientRect();
    menu.style.left = place.left + "px";
    menu.style.top = place.bottom + "px";
    menu.hidden = false;
    title.setAttribute("aria-expanded", "true");
    if (focusFirst) itemsOf(title)[0].focus();
    else title.focus();
}

function closeMenus(except) {
    for (const title of titles) {
        if (title === except) continue;
        menuOf(title).hidden = true;
        title.setAttribute("aria-expanded", "false");
    }
}

function openTitle() {
    return titles.find((title) => title.getAttribute("aria-expanded") === "true");
}

for (const title of titles) {
    title.addEventListener("click", () => (openTitle() === title ? closeMenus() : openMenu(title)));
    title.addEventListener("mouseenter", () => {
        if (openTitle() && openTitle() !== title) openMenu(title);
    });
    for (const item of itemsOf(title)) {
        item.addEventListener("click", () => run(item.id));
        item.addEventListener("mouseenter", () => item.focus());
    }
}
document.addEventListener("pointerdown", (event) => {
    if (!event.target.closest(".menu-title-holder")) closeMenus();
});

// Keys of the main window: F1 anywhere, the menus' access keys with Alt,
// F10 to the menu bar, and within an open menu arrows, Return, Escape and
// the items' access keys.
function onKey(event) {
    if (mainscreen.hidden || document.querySelector("dialog[open]")) return;
    const key = event.key.toLowerCase();
    const open = openTitle();
    const handled = () => {
        event.preventDefault();
        event.stopPropagation();
    };
    if (event.key === "F1") {
        handled();
        run("about_zft_toolkit");
        return;
    }
    if (event.altKey && !event.ctrlKey && !event.metaKey) {
        const title = titles.find((t) => t.querySelector("u").textContent.toLowerCase() === key);
        if (title) {
            handled();
            openMenu(title);
        }
        return;
    }
    if (event.key === "F10") {
        handled();
        titles[0].focus();
        return;
    }
    const focusedTitle = titles.includes(document.activeElement) ? document.activeElement : null;
    if (!open && !focusedTitle) return;
    const title = open ?? focusedTitle;
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
        const next = step(titles, titles.indexOf(title), event.key === "ArrowRight" ? 1 : -1);
        if (open) openMenu(next);
        else next.focus();
        return;
    }
    case "Enter":
    case " ":
        handled();
        if (open && at >= 0) run(items[at].id);
        else openMenu(title);
        return;
    default:
        if (open && !event.ctrlKey && !event.metaKey) {
            const item = items.find((i) => i.dataset.key === key);
            if (item) {
                handled();
                run(item.id);
            }
        }
    }
}
document.addEventListener("keydown", onKey, true);

// ---- Start ---------------------------------------------------------------------

async function loadMainscreen() {
    const bytes = new Uint8Array(await (await fetch("logo.jpg")).arrayBuffer());
    state.logo = imageOf(await picture(bytes, { name: "logo.jpg" }));
    state.beeld = { picture: state.logo, width: state.logo.width, height: state.logo.height, visible: true };
    nameBeeld();
    fitWindowToPicture(false);
}

// A file the page was opened with, until the main window shows.
let launched = null;

// The intro goes at the first click on it, for good, and the main window
// comes, then the command for a file the page was opened with; keys do
// nothing here.
async function introClick(event) {
    event.preventDefault();
    $("intro").removeEventListener("click", introClick);
    introscreen.remove();
    try {
        await loaded;
    } catch (error) {
        showStartFailure(error.message);
        return;
    }
    centre(mainscreen, parseFloat(mainscreen.style.width), parseFloat(mainscreen.style.height));
    mainscreen.hidden = false;
    document.documentElement.dataset.ready = "main";
    if (launched) run("open", launched);
    launched = null;
}

onLaunchedFile((file) => {
    if (mainscreen.hidden) launched = file;
    else run("open", file);
});

// The main window is loaded behind the intro, so that the click shows it at once.
const loaded = loadMainscreen();
introscreen.hidden = false;
centre(introscreen, 260, 337);
$("intro").addEventListener("click", introClick);
loaded.catch(() => {}).then(() => (document.documentElement.dataset.ready ??= "intro"));

if ("serviceWorker" in navigator) {
    // The worker's own script past the HTTP cache too, so that a new build is found at once.
    navigator.serviceWorker.register("sw.js", { updateViaCache: "none" }).catch(() => {});
}
