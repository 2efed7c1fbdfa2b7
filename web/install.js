// The served page as an installable app: its service worker
// (service_worker.js) keeps it working offline, and says when the server
// holds a newer page. Nothing of this runs from the disk (file://), where
// the page is one file that never changes under it.
'use strict';

(function () {
  if (location.protocol === 'file:' || !('serviceWorker' in navigator)) return;

  // Only a hand-over the user asked for reloads the page; the first
  // worker's taking charge of an open page does not. One asked for in
  // another window leaves this one's files old beside the new worker's:
  // it is offered the reload too.
  let asked = false;
  let registration = null;
  const hadWorker = !!navigator.serviceWorker.controller;
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (asked) location.reload();
    else if (hadWorker) offerReload();
  });

  // Reload hands over to the newest worker waiting, or, when one has taken
  // over already, only reloads.
  function offerReload() {
    if (document.getElementById('update-banner')) return;
    const banner = document.createElement('div');
    banner.id = 'update-banner';
    banner.className = 'update-banner';
    banner.setAttribute('role', 'alert');
    const reload = document.createElement('button');
    reload.type = 'button';
    reload.id = 'update-reload';
    reload.textContent = 'Reload';
    reload.addEventListener('click', () => {
      reload.disabled = true;
      const waiting = registration && registration.waiting;
      if (!waiting) {
        location.reload();
        return;
      }
      asked = true;
      waiting.postMessage({ type: 'take-over' });
    });
    banner.append('A new version of this page is ready \u2014 ', reload);
    document.body.prepend(banner);
  }

  // A newer worker waits while an older one is in charge of this page.
  function watch(worker) {
    if (!worker) return;
    const offer = () => {
      if (worker.state === 'installed' && navigator.serviceWorker.controller) offerReload();
    };
    worker.addEventListener('statechange', offer);
    offer();
  }

  navigator.serviceWorker.register('service_worker.js').then((registered) => {
    registration = registered;
    watch(registration.waiting);
    watch(registration.installing);
    registration.addEventListener('updatefound', () => watch(registration.installing));
    // The browser looks for a newer page when the page is opened; a page
    // left open looks again whenever it is shown again.
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'visible') registration.update().catch(() => {});
    });
  }, () => {
    // Without its worker the page works as before, only not offline.
  });

  // "Open with" on an installed page: the files go where a drop would take them.
  if ('launchQueue' in window) {
    window.launchQueue.setConsumer(async (launch) => {
      const files = await Promise.all((launch.files || []).map((handle) => handle.getFile()));
      if (files.length) document.dispatchEvent(new CustomEvent('kws-open', { detail: files }));
    });
  }
})();
