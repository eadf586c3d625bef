// Keeps the page working without a network once it has been loaded: its
// files are kept in a cache named after their contents, answered from there
// first, and an older cache goes when a new one has been filled. web/build.sh
// writes the list and its digest in.
//
// A new build's files are fetched past the browser's HTTP cache: filled from
// there, a new cache would keep the old build for as long as the server lets
// browsers keep its files (Cache-Control: max-age, or old file dates).
const CACHE = "zft-toolkit-@DIGEST@";
const FILES = [@FILES@];

self.addEventListener("install", (event) => {
    event.waitUntil(
        caches.open(CACHE)
            .then((cache) => cache.addAll(FILES.map((file) => new Request(file, { cache: "reload" }))))
            .then(() => self.skipWaiting()));
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
