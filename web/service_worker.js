// The served page's service worker (a page opened from the disk has none):
// it keeps the page's own files, so that the page installs and works
// offline. The build writes in its version, a hash of those files: a page
// that changed is a new worker, which the browser installs beside the one
// in charge, and which takes over only when the page's "Reload" asks it to,
// so that no open page runs half old, half new files.
'use strict';

const VERSION = '@VERSION@';
const FILES = ['@FILES@'];
const CACHE = 'kestro-welcome-' + VERSION;

self.addEventListener('install', (event) => {
  // Past the browser's HTTP cache, which may still hold the old files.
  const requests = FILES.map((file) => new Request(file, { cache: 'reload' }));
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(requests)));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith('kestro-welcome-') && name !== CACHE) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data && event.data.type === 'take-over') self.skipWaiting();
});

// The page's files from the cache; anything else the page asks of its own
// server goes there as usual.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) return;
  const key = request.mode === 'navigate' && url.pathname.endsWith('/') ? new URL('index.html', url).href : request;
  event.respondWith(caches.open(CACHE)
    .then((cache) => cache.match(key, { ignoreSearch: true }))
    .then((kept) => kept || fetch(request)));
});
