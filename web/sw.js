// Keeps the page working without a network once it has been loaded: its
// files are kept in a cache named after their contents, answered from there
// first, and an older cache goes when a new one has been filled. web/build.sh
// writes the list and its digest in.
const CACHE = "zft-toolkit-@DIGEST@";
const FILES = [@FILES@];

self.addEventListener("install", (event) => {
    event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(
        caches.keys()
            .then((names) => Promise.all(names.filter((name) => name.startsWith("zft-toolkit-") && name !== CACHE)
                .map((name) => caches.delete(name))))
            .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET") return;
    event.respondWith(
        caches.open(CACHE)
            .then((cache) => cache.match(event.request, { ignoreSearch: true }))
            .then((kept) => kept ?? fetch(event.request)));
});
