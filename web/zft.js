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
// "OutOfMemory" and "Io". A call that cannot get the memory it needs
// rejects with an OutOfMemory ZftError and leaves the module as it was, so
// that the next call works; an input too large to read into memory is
// refused before it is read.
import createZftCore from "./zft-core.js";

export class ZftError extends Error {
    constructor({ kind, reason, message }) {
        super(reason);
        this.name = "ZftError";
        this.kind = kind;
        this.sentence = message;
    }
}

// A refusal of zft.js's own, before the module is asked: the reason alone.
const refusal = (kind, reason) => new ZftError({ kind, reason, message: reason });

let core = null;
// The module, compiled on the first call. A browser that refuses to compile
// it (a Content-Security-Policy without 'wasm-unsafe-eval') is told in its
// own words, and the next call tries again.
function instance() {
    core ??= createZftCore().catch((error) => {
        core = null;
        throw refusal("Unsupported", `the browser did not start zft-core.wasm: ${error.message}`);
    });
    return core;
}

// The module's memory is grown by the calls; its views are taken afresh each time.
function heap(module) {
    return module.HEAPU8;
}

const isBlob = (bytes) => typeof Blob !== "undefined" && bytes instanceof Blob;

// How many bytes there are, known before any is read.
function lengthOf(bytes) {
    if (ArrayBuffer.isView(bytes) || bytes instanceof ArrayBuffer) return bytes.byteLength;
    if (isBlob(bytes)) return bytes.size;
    throw new TypeError("bytes: a Uint8Array, an ArrayBuffer or a Blob");
}

async function bytesOf(bytes) {
    if (bytes instanceof Uint8Array) return bytes;
    if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
    if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    return new Uint8Array(await bytes.arrayBuffer());
}

// A text option as the module takes it, a C string: null or undefined is
// none, and a NUL, which would end it early there, is refused.
function textOf(value, what) {
    if (value === undefined || value === null) return "";
    const text = String(value);
    if (text.includes("\0")) throw refusal("Unsupported", `the ${what} holds a NUL character (U+0000)`);
    return text;
}

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// Calls the module's `name` with the bytes (pointer and length) and then
// `args`: texts are passed as C strings, numbers as they are. Gives the
// outcome's JSON and its bytes, or throws its failure. Every allocation is
// checked (a full memory gives address 0, and bytes written there would
// overwrite the module itself) and freed whatever happens. Bytes that find
// no room, or more than any picture the core reads takes, are not read: the
// module is given a null pointer, and tells the input as too large to read
// into memory.
async function call(name, input, ...args) {
    const length = lengthOf(input);
    const module = await instance();
    const held = [];
    let trapped = false;
    const reserve = (size) => {
        const at = module._malloc(size);
        if (at) held.push(at);
        return at;
    };
    const place = (text) => {
        const data = encoder.encode(text);
        const at = reserve(data.length + 1);
        if (!at) throw refusal("OutOfMemory", "there is not enough memory to hold the options");
        heap(module).set(data, at);
        heap(module)[at + data.length] = 0;
        return at;
    };
    try {
        const values = args.map((arg) => (typeof arg === "string" ? place(arg) : arg));
        const at = length <= module._zft_most_bytes() ? reserve(length + 1) : 0;
        if (at) heap(module).set(await bytesOf(input), at);
        let ok;
        try {
            ok = module["_" + name](at, at ? length : 0, ...values);
        } catch (error) {
            // A trap leaves the module in no state to be called again: the
            // next call starts a new one.
            core = null;
            trapped = true;
            throw error;
        }
        const jsonAt = module._zft_json();
        const json = decoder.decode(heap(module).subarray(jsonAt, heap(module).indexOf(0, jsonAt)));
        const outcome = json ? JSON.parse(json) : {};
        if (!ok) throw new ZftError(outcome);
        const bytesAt = module._zft_bytes();
        return { json: outcome, bytes: heap(module).slice(bytesAt, bytesAt + module._zft_length()) };
    } finally {
        if (!trapped) held.forEach((at) => module._free(at));
    }
}

// "#rrggbb" (or a number 0xRRGGBB) to the number; #efefef, the window's
// colour under Qt's own palette and zft's default, when not given.
function colourOf(background) {
    if (background === undefined || background === null) return 0xefefef;
    if (typeof background === "number" && Number.isInteger(background) && background >= 0 && background <= 0xffffff)
        return background;
    if (typeof background === "string" && /^#[0-9a-fA-F]{6}$/.test(background)) return parseInt(background.slice(1), 16);
    throw refusal("Unsupported", `the colour '${background}' is not a colour #RRGGBB`);
}

// The ZFT file (a Uint8Array) of a JPEG, GIF, BMP, PNG, PPM or PGM picture:
// the bytes `zft convert` writes for the same picture, notice and date.
// notice: the copyright notice as typed (spaces around it are dropped, it
//   is cut to 48 characters; characters Windows-1252 lacks become "?"),
//   none when not given or null;
// date: "MM/DD/YYYY" (or "YYYY-MM-DD"), today's local date when not given
//   or null;
// background: what transparent parts show, "#rrggbb";
// fit: a picture over 999 x 999 pixels reduced to fit, as by zft convert
//   --fit, instead of refused;
// name: what messages call the picture.
// A notice, date or name holding a NUL character is refused.
export async function convert(bytes, { notice, date, background, fit = false, name } = {}) {
    const texts = [textOf(name, "name"), textOf(notice, "notice"), textOf(date, "date")];
    const colour = colourOf(background);
    const { bytes: zft } = await call("zft_convert", bytes, ...texts, colour, fit ? 1 : 0);
    return zft;
}

// The well-formed ZFT file in `bytes`: {version, date: "MM/DD/YYYY",
// notice (without its padding), width, height, rgb (3 bytes a pixel, rows
// from the top)}. A file that is not as the converter writes it is refused.
export async function read(bytes, { name } = {}) {
    const { json, bytes: rgb } = await call("zft_read", bytes, textOf(name, "name"));
    return { ...json, rgb };
}

// The picture in `bytes` as a ZFT file would hold it, decoded by the same
// decoders: {width, height, rgb}, transparent parts over `background`,
// reduced with `fit` as convert() reduces it.
export async function picture(bytes, { background, fit = false, name } = {}) {
    const given = textOf(name, "name");
    const colour = colourOf(background);
    const { json, bytes: rgb } = await call("zft_picture", bytes, given, colour, fit ? 1 : 0);
    return { ...json, rgb };
}

// The picture's size from its headers, {width, height}, and the size `fit`
// reduces it to, {fitted: {width, height}}. A picture that cannot be decoded
// at all, reduced or not, is refused (TooLarge) naming the limit it passes.
export async function size(bytes, { name } = {}) {
    const { json } = await call("zft_size", bytes, textOf(name, "name"));
    return { width: json.width, height: json.height, fitted: { width: json.fittedWidth, height: json.fittedHeight } };
}

// A ZFT file as the previewer reads it, trusting its header: {lines (the
// three lines of the previewer's box), width, height, rgb (the whole pixels
// the file holds, at most width × height), failure (the sentence told after
// painting a file that ends too soon, or undefined)}. Rejects only a file
// shorter than its header.
export async function preview(bytes, { name } = {}) {
    const { json, bytes: rgb } = await call("zft_preview", bytes, textOf(name, "name"));
    return { ...json, rgb };
}

// Whether the bytes are those of a picture convert() reads, told from their
// first bytes (as the window tells a picture it is opened with from a ZFT
// file): true or false, never a refusal.
export async function isPicture(bytes) {
    lengthOf(bytes);  // refuses what is not bytes, as every call does
    const start = isBlob(bytes) ? bytes.slice(0, 64) : (await bytesOf(bytes)).subarray(0, 64);
    const { json } = await call("zft_is_picture", start);
    return json;
}
