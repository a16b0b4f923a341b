// The service worker: the page's own files are kept, so that a reload works without a
// network. Each request goes to the network first, so a changed page is seen at once online;
// offline the kept copy answers.
const CACHE = "sondrax-page";
const FILES = [
  "./",
  "index.html",
  "style.css",
  "boot.js",
  "app.js",
  "run.js",
  "inputs.js",
  "map.js",
  "report-text.js",
  "worker.js",
  "sondrax-core.js",
  "example.wav",
];

self.addEventListener("install", (event) => {
  event.waitUntil(
    caches
      .open(CACHE)
      .then((cache) => cache.addAll(FILES))
      .then(() => self.skipWaiting()),
  );
});

self.addEventListener("activate", (event) => event.waitUntil(self.clients.claim()));

self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== location.origin) return;
  // Linked files (?file=) are the user's, not the page's: they are never kept.
  const own = FILES.some((file) => new URL(file, location.href).pathname === url.pathname);
  if (!own) return;
  event.respondWith(
    (async () => {
      try {
        const response = await fetch(event.request);
        if (response.ok) {
          const copy = response.clone();
          event.waitUntil(caches.open(CACHE).then((cache) => cache.put(url.pathname, copy)));
        }
        return response;
      } catch (error) {
        const kept = await caches.match(url.pathname, { ignoreSearch: true });
        if (kept) return kept;
        throw error;
      }
    })(),
  );
});
