// ZFT Toolkit's core in the browser: the decoders and the ZFT codec that
// `zft` and the desktop program use, compiled to WebAssembly, for the page
// and for anyone's own pages and scripts. Nothing leaves the machine.
//
//   import { convert, read } from "./zft.js";
//   const zft = await convert(jpegBytes, { notice: "(c) 2026 A. Painter", date: "03/09/2026" });
//   const { width, height, notice, rgb } = await read(zft);
//
// Bytes may be given as a Uint8Array (or any typed array or DataView), an
// ArrayBuffer or a Blob (a File from a picker). A failure rejects with a
// ZftError whose message is the reason zft gives ("the pixel data stops
// after 99,946 of 270,000 bytes"), whose `sentence` names the file as the
// window's box does ("Cannot read the picture photo.jpg: ..."), and whose
// `kind` is one of "Damaged", "Unsupported", "TooLarge", "EndOfFile",
// "OutOfMemory" and "Io".
import createZftCore from "./zft-core.js";

export class ZftError extends Error {
    constructor({ kind, reason, message }) {
        super(reason);
        this.name = "ZftError";
        this.kind = kind;
        this.sentence = message;
    }
}

let core = null;
function instance() {
    core ??= createZftCore();
    return core;
}

// The module's memory is grown by the calls; its views are taken afresh each time.
function heap(module) {
    return module.HEAPU8;
}

async function bytesOf(bytes) {
    if (bytes instanceof Uint8Array) return bytes;
    if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
    if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (typeof Blob !== "undefined" && bytes instanceof Blob) return new Uint8Array(await bytes.arrayBuffer());
    throw new TypeError("bytes: a Uint8Array, an ArrayBuffer or a Blob");
}

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// Calls the module's `name` with the bytes (pointer and length) and then
// `args`: texts are passed as C strings, numbers as they are. Gives the
// outcome's JSON and its bytes, or throws its failure.
async function call(name, input, ...args) {
    const module = await instance();
    const bytes = await bytesOf(input);
    const held = [];
    const place = (data) => {
        const at = module._malloc(data.length + 1);
        held.push(at);
        heap(module).set(data, at);
        heap(module)[at + data.length] = 0;
        return at;
    };
    try {
        const values = args.map((arg) => (typeof arg === "string" ? place(encoder.encode(arg)) : arg));
        const ok = module["_" + name](place(bytes), bytes.length, ...values);
        const jsonAt = module._zft_json();
        const json = decoder.decode(heap(module).subarray(jsonAt, heap(module).indexOf(0, jsonAt)));
        const outcome = json ? JSON.parse(json) : {};
        if (!ok) throw new ZftError(outcome);
        const at = module._zft_bytes();
        return { json: outcome, bytes: heap(module).slice(at, at + module._zft_length()) };
    } finally {
        held.forEach((at) => module._free(at));
    }
}

// "#rrggbb" (or a number 0xRRGGBB) to the number; #efefef, the window's
// colour under Qt's own palette and zft's default, when not given.
function colourOf(background) {
    if (background === undefined || background === null) return 0xefefef;
    if (typeof background === "number" && Number.isInteger(background) && background >= 0 && background <= 0xffffff)
        return background;
    if (typeof background === "string" && /^#[0-9a-fA-F]{6}$/.test(background)) return parseInt(background.slice(1), 16);
    throw new ZftError({
        kind: "Unsupported",
        reason: `the colour '${background}' is not a colour #RRGGBB`,
        message: `the colour '${background}' is not a colour #RRGGBB`,
    });
}

// The ZFT file (a Uint8Array) of a JPEG, GIF, BMP, PNG, PPM or PGM picture:
// the bytes `zft convert` writes for the same picture, notice and date.
// notice: the copyright notice as typed (spaces around it are dropped, it
//   is cut to 48 characters; characters Windows-1252 lacks become "?");
// date: "MM/DD/YYYY" (or "YYYY-MM-DD"), today's local date when not given;
// background: what transparent parts show, "#rrggbb";
// fit: a picture over 999 x 999 pixels reduced to fit, as by zft convert
//   --fit, instead of refused;
// name: what messages call the picture.
export async function convert(bytes, { notice = "", date = "", background, fit = false, name = "" } = {}) {
    const colour = colourOf(background);
    const { bytes: zft } = await call("zft_convert", bytes, String(name), String(notice), String(date), colour, fit ? 1 : 0);
    return zft;
}

// The well-formed ZFT file in `bytes`: {version, date: "MM/DD/YYYY",
// notice (without its padding), width, height, rgb (3 bytes a pixel, rows
// from the top)}. A file that is not as the converter writes it is refused.
export async function read(bytes, { name = "" } = {}) {
    const { json, bytes: rgb } = await call("zft_read", bytes, String(name));
    return { ...json, rgb };
}

// The picture in `bytes` as a ZFT file would hold it, decoded by the same
// decoders: {width, height, rgb}, transparent parts over `background`,
// reduced with `fit` as convert() reduces it.
export async function picture(bytes, { background, fit = false, name = "" } = {}) {
    const colour = colourOf(background);
    const { json, bytes: rgb } = await call("zft_picture", bytes, String(name), colour, fit ? 1 : 0);
    return { ...json, rgb };
}

// The picture's size from its headers, {width, height}, and the size `fit`
// reduces it to, {fitted: {width, height}}. A picture that cannot be decoded
// at all, reduced or not, is refused (TooLarge) naming the limit it passes.
export async function size(bytes, { name = "" } = {}) {
    const { json } = await call("zft_size", bytes, String(name));
    return { width: json.width, height: json.height, fitted: { width: json.fittedWidth, height: json.fittedHeight } };
}

// A ZFT file as the previewer reads it, trusting its header: {lines (the
// three lines of the previewer's box), width, height, rgb (the whole pixels
// the file holds, at most width × height), failure (the sentence told after
// painting a file that ends too soon, or undefined)}. Rejects only a file
// shorter than its header.
export async function preview(bytes, { name = "" } = {}) {
    const { json, bytes: rgb } = await call("zft_preview", bytes, String(name));
    return { ...json, rgb };
}
