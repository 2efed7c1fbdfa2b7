// The page: hands the user's files to the worker that holds the core, and
// shows what comes back. Served as files it starts worker.js; as the single
// file kestro-welcome.html the worker's code and the WebAssembly are inside
// the page and the worker starts from a blob.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);
  let worker = null;
  let busy = false;
  let urls = [];  // the download links of the last run, released before the next
  let importUrl = null;  // the download link of the last imported bitmap
  let imported = null;  // where the worker keeps the last imported bitmap

  function startWorker() {
    const source = $('kws-worker-source');
    if (!source) {
      worker = new Worker('worker.js');
      listen();
      worker.postMessage({ type: 'init' });
      return;
    }
    const blob = new Blob([source.textContent], { type: 'text/javascript' });
    worker = new Worker(URL.createObjectURL(blob));
    listen();
    const text = atob($('kws-wasm').textContent.trim());
    const wasm = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) wasm[i] = text.charCodeAt(i);
    worker.postMessage({ type: 'init', wasm: wasm.buffer }, [wasm.buffer]);
  }

  function setBusy(value, text) {
    busy = value;
    $('make-file').disabled = value;
    $('make-sample').disabled = value;
    $('check-file').disabled = value;
    $('import-file').disabled = value;
    $('import-make').disabled = value || !imported;
    $('import-card').disabled = value;
    if (text !== undefined) $('engine').textContent = text;
  }

  function downloadUrl(bytes) {
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    urls.push(url);
    return url;
  }

  function releaseDownloads() {
    for (const url of urls) URL.revokeObjectURL(url);
    urls = [];
  }

  function showText(id, text) {
    $(id).textContent = text || '';
    $(id).hidden = !text;
  }

  function showMade(reply) {
    releaseDownloads();
    $('make-status').dataset.ms = reply.ms || '';
    $('make-status').textContent = reply.made
      ? reply.base + ': 6 images made'
      : reply.base + ': failed \u2014 ' + (reply.reason || reply.status);
    $('make-log').textContent = (reply.log || []).join('\n');
    $('make-problem').hidden = reply.made || !(reply.left || reply.hint);
    showText('make-left', reply.left);
    showText('make-hint', reply.hint);
    const list = $('make-images');
    list.textContent = '';
    for (const image of reply.images || []) {
      const item = document.createElement('li');
      const link = document.createElement('a');
      link.href = downloadUrl(image.bytes);
      link.download = image.name;
      link.textContent = image.name;
      const kind = image.kind === 'usb' ? 'USB' : 'serial';
      item.append(link, ' \u2014 ' + kind + ' update image for ' + image.receiver + ', ' +
        image.size.toLocaleString('en') + ' bytes');
      list.append(item);
    }
    $('make-result').hidden = !(reply.images && reply.images.length);
    const zip = $('make-zip');
    zip.hidden = !reply.zip;
    if (reply.zip) {
      zip.href = downloadUrl(reply.zip.bytes);
      zip.download = reply.zip.name;
    }
  }

  function showChecked(reply) {
    const verdict = $('check-verdict');
    verdict.textContent = reply.verdict;
    verdict.className = reply.sound ? 'sound' : 'damaged';
    const layers = $('check-layers');
    layers.textContent = '';
    for (const line of reply.layers) {
      const item = document.createElement('li');
      item.textContent = line;
      layers.append(item);
    }
    const canvas = $('check-picture');
    canvas.hidden = !reply.picture;
    if (reply.picture) {
      const { width, height, rgba } = reply.picture;
      canvas.width = width;
      canvas.height = height;
      canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer), width, height), 0, 0);
    }
    $('check-result').hidden = !(reply.layers.length || reply.picture);
  }

  // The bitmap as the TV shows it: stretched to the display's shape, with the
  // action-safe (yellow) and title-safe (cyan) areas drawn over it.
  function showImported(reply) {
    if (importUrl) URL.revokeObjectURL(importUrl);
    importUrl = null;
    imported = reply.error ? null : reply.path;
    $('import-status').dataset.ms = reply.ms || '';
    $('import-status').textContent = reply.error ? 'ERROR: ' + reply.error : reply.name + ': ' + reply.summary;
    $('import-result').hidden = !!reply.error;
    if (reply.error) return;
    $('import-report').textContent = reply.report;
    const frame = new OffscreenCanvas(reply.width, reply.height);
    frame.getContext('2d').putImageData(
      new ImageData(new Uint8ClampedArray(reply.rgba.buffer), reply.width, reply.height), 0, 0);
    const canvas = $('import-picture');
    canvas.width = reply.shown_width;
    canvas.height = reply.height;
    const context = canvas.getContext('2d');
    context.imageSmoothingQuality = 'high';
    context.drawImage(frame, 0, 0, reply.shown_width, reply.height);
    const across = reply.shown_width / reply.width;
    context.lineWidth = 2;
    for (const [rect, colour] of [[reply.action, '#ffd000'], [reply.title, '#00d0ff']]) {
      context.strokeStyle = colour;
      context.strokeRect(rect[0] * across + 1, rect[1] + 1, rect[2] * across - 2, rect[3] - 2);
    }
    const link = $('import-bitmap');
    importUrl = URL.createObjectURL(new Blob([reply.bitmap], { type: 'image/bmp' }));
    link.href = importUrl;
    link.download = reply.name;
    link.textContent = 'Download ' + reply.name;
  }

  function onMessage(event) {
    const reply = event.data;
    if (reply.type === 'ready') {
      $('caption').textContent = reply.caption;
      setBusy(false, reply.error ? reply.error : 'Ready.');
      openWhenReady();
    } else if (reply.type === 'made') {
      showMade(reply);
      setBusy(false, 'Ready.');
    } else if (reply.type === 'checked') {
      showChecked(reply);
      setBusy(false, 'Ready.');
    } else if (reply.type === 'imported') {
      showImported(reply);
      importing(false);
    } else if (reply.type === 'prechecked') {
      if (prechecked) prechecked(reply);
      prechecked = null;
    } else if (reply.type === 'progress') {
      $('import-status').textContent = reply.text;
    } else if (reply.type === 'failed' && reply.request === 'import') {
      showImported({ error: reply.error });
      importing(false);
    } else if (reply.type === 'failed') {
      setBusy(false, 'ERROR: ' + reply.error);
    }
  }

  function listen() {
    worker.onmessage = onMessage;
    worker.onerror = (event) => {
      const error = 'the page\u2019s worker stopped: ' + event.message;
      if (!$('import-cancel').hidden) importFailed(error);
      setBusy(false, 'ERROR: ' + error);
    };
  }

  function importing(value) {
    $('import-cancel').hidden = !value;
    setBusy(value, value ? 'Importing the picture…' : 'Ready.');
  }

  // A worker has no SVG renderer: the page draws an SVG itself, at its own
  // size, and hands the worker the pixels.
  async function drawnSvg(file) {
    // Typed, so that the browser takes it as SVG whatever its name says.
    const url = URL.createObjectURL(new Blob([file], { type: 'image/svg+xml' }));
    try {
      const image = new Image();
      image.src = url;
      await image.decode();
      return await createImageBitmap(image, { premultiplyAlpha: 'none' });
    } catch (error) {
      return null;
    } finally {
      URL.revokeObjectURL(url);
    }
  }

  // The worker's answer to a precheck, awaited by the import that asked.
  let prechecked = null;

  function precheck(file) {
    return new Promise((resolve) => {
      prechecked = resolve;
      worker.postMessage({ type: 'precheck', file });
    });
  }

  function importFailed(error) {
    showImported({ error });
    importing(false);
  }

  // An SVG is counted by the core first, then drawn by the page; anything
  // that goes wrong on the way ends as a message.
  async function sendImport(file) {
    if (busy) return;
    importing(true);
    $('import-status').textContent = 'Reading the picture…';
    const message = {
      type: 'import', file, display: $('import-display').value, safe: $('import-safe').value,
      fill: $('import-fill').checked, background: $('import-background').value, dither: $('import-dither').value,
    };
    const transfer = [];
    const started = worker;
    try {
      if (file.type === 'image/svg+xml' || /\.svg$/i.test(file.name)) {
        const checked = await precheck(file);
        if (worker !== started) return;
        if (checked.error) {
          importFailed(checked.error);
          return;
        }
        message.bitmap = await drawnSvg(file);
        if (worker !== started) return;
        if (!message.bitmap) {
          importFailed('Cannot read ' + file.name + ' as a picture: this browser cannot draw it');
          return;
        }
        transfer.push(message.bitmap);
      }
      worker.postMessage(message, transfer);
    } catch (error) {
      // A drawing the browser keeps to itself (HTML inside a
      // <foreignObject>) cannot be handed to the worker.
      importFailed('Cannot read ' + file.name + ' as a picture: this browser does not hand over what it drew of ' +
        'it (' + (error && error.name || 'error') + '; an SVG holding HTML in a <foreignObject> is kept from ' +
        'pages); export it as a PNG');
    }
  }

  // Cancelling stops the worker where it is and starts a fresh one.
  function cancelImport() {
    worker.terminate();
    imported = null;
    $('import-cancel').hidden = true;
    $('import-status').textContent = 'Import cancelled.';
    setBusy(true, 'Starting…');
    startWorker();
  }

  // The worker reads the file itself, only as far as the core needs.
  function send(type, file) {
    if (busy) return;
    if (type === 'import') {
      sendImport(file);
      return;
    }
    setBusy(true, type === 'make' ? 'Making the update images…' : 'Checking the image…');
    worker.postMessage(file ? { type, file } : { type });
  }

  // A drop zone takes the first file dropped on it; the file field inside
  // it is the keyboard's way to the same.
  function dropZone(zone, input, type) {
    input.addEventListener('change', () => {
      if (input.files.length) send(type, input.files[0]);
      input.value = '';
    });
    zone.addEventListener('dragover', (event) => {
      event.preventDefault();
      zone.classList.add('over');
    });
    zone.addEventListener('dragleave', () => zone.classList.remove('over'));
    zone.addEventListener('drop', (event) => {
      event.preventDefault();
      zone.classList.remove('over');
      if (event.dataTransfer.files.length) send(type, event.dataTransfer.files[0]);
    });
  }

  // A file dropped anywhere else opens nowhere: the browser would leave the
  // page for it.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());

  // A file the installed page was opened with (install.js), held until the
  // core is ready: an update image is checked, a bitmap made into images.
  let opened = null;
  function openWhenReady() {
    if (!opened || busy) return;
    const file = opened;
    opened = null;
    send(/\.img$/i.test(file.name) ? 'check' : 'make', file);
  }
  document.addEventListener('kws-open', (event) => {
    opened = event.detail[0];
    openWhenReady();
  });

  dropZone($('make-drop'), $('make-file'), 'make');
  dropZone($('check-drop'), $('check-file'), 'check');
  dropZone($('import-drop'), $('import-file'), 'import');
  $('make-sample').addEventListener('click', () => send('make'));
  $('import-cancel').addEventListener('click', cancelImport);
  $('import-card').addEventListener('click', () => {
    if (busy) return;
    importing(true);
    worker.postMessage({ type: 'card' });
  });
  $('import-make').addEventListener('click', () => {
    if (busy || !imported) return;
    setBusy(true, 'Making the update images…');
    $('make').scrollIntoView();
    worker.postMessage({ type: 'make', path: imported });
  });
  setBusy(true);
  startWorker();
})();
