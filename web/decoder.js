// The page's decoding worker: the module the page runs (zft-core.wasm)
// once more, in a worker of its own, so that a large picture is decoded
// while the page goes on being drawn and answering. page.js hands it the
// compiled module first, then pictures: {job, bytes, name, background,
// width, height}, decoded as the program's decodePicture asks (reduced to
// fit width × height unless both are 0; transparent parts of a GIF over
// `background`). Each is answered with {job, pixels (0xAARRGGBB each, rows
// from the top), width, height, alpha}, with the core's failure {job, kind,
// reason, message}, which the program rebuilds, or, where the module itself
// stopped, with {job, stopped}: the browser's own reason, or null when it
// found no memory; the program words it.
import createZftCore from "./zft-core.js";

let compiled = null;
let core = null;
let answer = null;  // what the module told of the picture under way

// The module, started on the first picture; one that failed or trapped is
// started again on the next.
function instance() {
    core ??= new Promise((resolve, reject) => {
        const module = {
            decoder: {
                decoded(at, width, height, alpha) {
                    answer = { pixels: module.HEAPU8.slice(at, at + width * height * 4), width, height, alpha };
                },
                failed(kind, reason, message) {
                    answer = { kind, reason, message };
                },
            },
            instantiateWasm(imports, receive) {
                WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled), reject);
                return {};
            },
        };
        createZftCore(module).then(resolve, reject);
    });
    return core;
}

const encoder = new TextEncoder();

async function decode({ bytes, name, background, width, height }) {
    const module = await instance();
    const text = encoder.encode(name);
    const nameAt = module._malloc(text.length + 1);
    if (!nameAt) return { stopped: null };
    module.HEAPU8.set(text, nameAt);
    module.HEAPU8[nameAt + text.length] = 0;
    // Bytes that find no room are told as a file too large to read into memory.
    const at = module._malloc(bytes.length + 1);
    if (at) module.HEAPU8.set(bytes, at);
    answer = null;
    try {
        module._zft_web_decode(at, at ? bytes.length : 0, nameAt, background, width, height);
    } finally {
        module._free(at);
        module._free(nameAt);
    }
    return answer ?? { stopped: "" };
}

onmessage = async ({ data }) => {
    if (data.module) {
        compiled = data.module;
        return;
    }
    let reply;
    try {
        reply = await decode(data);
    } catch (error) {
        // A trap leaves the module in no state to be called again: the next
        // picture starts a new one.
        core = null;
        reply = { stopped: String(error.message ?? error) };
    }
    reply.job = data.job;
    postMessage(reply, reply.pixels ? [reply.pixels.buffer] : []);
};
