// The page: hands the user's files to the worker that holds the core, and
// shows what comes back. Served as files it starts worker.js; as the single
// file kestro-welcome.html the worker's code and the WebAssembly are inside
// the page and the worker starts from a blob.
//
// One path: whatever is dropped, picked or pasted on 1 goes where it
// belongs. A picture is imported with the settings of 2 and its bitmap made
// into the images of 3; a bitmap the receivers take goes straight to 3 (and
// is shown in 2 as it is); an update image is checked in 4. A change of a
// setting imports the same picture again, stopping whatever still runs, so
// that 2 and 3 always show what the settings make.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);
  const SETTINGS = ['display', 'safe', 'dither', 'background', 'fill'];
  const STORED = 'kestro-welcome-settings';
  // The colours of the safe-area guides, the same in a dark page.
  const GUIDES = [['action', '#ffd000'], ['title', '#00d0ff']];

  let worker = null;
  let ready = null;  // resolves once the worker's core has started
  let pending = null;  // the request the worker is on: {resolve, reject}
  let generation = 0;  // bumped by every new piece of work; older work stops where it is
  let current = null;  // what 2 and 3 show: {file, stem, direct} or {card: true}
  const urls = { made: [], imported: [], batch: [] };  // download links, released when replaced

  // ---- the worker ----

  function startWorker() {
    const source = $('kws-worker-source');
    let wasm = null;
    if (source) {
      worker = new Worker(URL.createObjectURL(new Blob([source.textContent], { type: 'text/javascript' })));
      const text = atob($('kws-wasm').textContent.trim());
      wasm = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) wasm[i] = text.charCodeAt(i);
    } else {
      worker = new Worker('worker.js');
    }
    worker.onmessage = onMessage;
    worker.onerror = (event) => {
      event.preventDefault();
      settle({ type: 'failed', error: 'the page\u2019s worker stopped: ' + event.message });
    };
    // The start is never stopped: a fresh worker would start the same way.
    ready = new Promise((resolve) => {
      pending = { resolve, init: true };
    });
    if (wasm) worker.postMessage({ type: 'init', wasm: wasm.buffer }, [wasm.buffer]);
    else worker.postMessage({ type: 'init' });
    ready.then((reply) => {
      $('caption').textContent = reply.caption || '';
      if (reply.error) engine('ERROR: ' + reply.error);
      else if (!working) engine('Ready.');
    });
  }

  function settle(reply) {
    const waiting = pending;
    pending = null;
    if (waiting) waiting.resolve(reply);
  }

  function onMessage(event) {
    const reply = event.data;
    if (reply.type === 'progress') {
      // A batch's pictures are not shown in 2: its progress is 1's.
      if (!batching) $('import-status').textContent = reply.text;
      return;
    }
    settle(reply);
  }

  // One request to the worker, answered with its reply; a request whose
  // work was stopped meanwhile is answered with null.
  async function ask(message, transfer) {
    const mine = generation;
    await ready;
    if (mine !== generation) return null;
    const reply = await new Promise((resolve) => {
      // Set once posted: a message that cannot be handed over throws here.
      worker.postMessage(message, transfer || []);
      pending = { resolve };
    });
    return mine === generation ? reply : null;
  }

  // Stops whatever the worker is on: it is ended where it is and a fresh one
  // started. Returns the new generation, which the new work checks.
  function stopWork() {
    ++generation;
    if (pending && !pending.init) {
      worker.terminate();
      const waiting = pending;
      pending = null;
      waiting.resolve(null);
      startWorker();
    }
    return generation;
  }

  let working = 0;
  function engine(text) {
    $('engine').textContent = text;
  }

  // Runs one piece of work (an async function of its generation) after
  // stopping any other; the engine line says Ready. when the last is done.
  async function work(text, job) {
    const mine = stopWork();
    ++working;
    engine(text);
    try {
      await job(mine);
    } catch (error) {
      if (mine === generation) engine('ERROR: ' + (error && error.message || error));
      return;
    } finally {
      --working;
    }
    if (mine === generation && !working) engine('Ready.');
  }

  function setStatus(id, text) {
    $(id).textContent = text;
  }

  function downloadUrl(group, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type: type || 'application/octet-stream' }));
    urls[group].push(url);
    return url;
  }

  function release(group) {
    for (const url of urls[group]) URL.revokeObjectURL(url);
    urls[group] = [];
  }

  function showText(id, text) {
    $(id).textContent = text || '';
    $(id).hidden = !text;
  }

  // ---- the settings (2) ----

  function settings() {
    return {
      display: $('import-display').value, safe: $('import-safe').value, dither: $('import-dither').value,
      background: $('import-background').value, fill: $('import-fill').checked,
    };
  }

  // What a bitmap's name says of its settings: the TV always, the rest when
  // not the default, so that two settings never download under one name.
  function settingsTag(s) {
    const parts = [s.display.replace(':', 'x')];
    if (s.safe !== 'none') parts.push(s.safe + '-safe');
    if (s.fill) parts.push('fill');
    if (s.background.toLowerCase() !== '#000000') parts.push(s.background.slice(1).toLowerCase());
    if (s.dither !== 'auto') parts.push('dither-' + s.dither);
    return '-' + parts.join('-');
  }

  function remember() {
    try {
      localStorage.setItem(STORED, JSON.stringify(settings()));
    } catch (error) {
      // A browser that keeps nothing for this page: the settings last the visit.
    }
  }

  function recall() {
    let stored = null;
    try {
      stored = JSON.parse(localStorage.getItem(STORED) || 'null');
    } catch (error) {
      return;
    }
    if (!stored || typeof stored !== 'object') return;
    for (const name of SETTINGS) {
      const control = $('import-' + name);
      if (!(name in stored)) continue;
      if (control.type === 'checkbox') {
        control.checked = stored[name] === true;
      } else if (control.tagName === 'SELECT') {
        if (Array.from(control.options).some((option) => option.value === stored[name])) control.value = stored[name];
      } else if (/^#[0-9a-f]{6}$/i.test(stored[name])) {
        control.value = stored[name];
      }
    }
  }

  function settingChanged() {
    remember();
    if (!current || current.card) return;
    if (current.direct && !current.imported) return;
    importAndMake(current);
  }

  // ---- 2: the picture as the TV shows it ----

  // What 2 shows: the bitmap (after) and the picture as placed (before, when
  // its colours were reduced), each as the receiver's 720 x 576 pixels.
  const view = { after: null, before: null, reply: null };

  function frameOf(rgba, width, height, opaque) {
    const pixels = new Uint8ClampedArray(rgba.buffer);
    if (opaque) for (let i = 3; i < pixels.length; i += 4) pixels[i] = 255;
    const frame = new OffscreenCanvas(width, height);
    frame.getContext('2d').putImageData(new ImageData(pixels, width, height), 0, 0);
    return frame;
  }

  // The picture as the TV shows it: stretched to the display's shape, the
  // part left of the slider before its colours were reduced, with the
  // action-safe (yellow) and title-safe (cyan) areas drawn over it.
  function drawView() {
    const reply = view.reply;
    if (!reply) return;
    const canvas = $('import-picture');
    canvas.width = reply.shown_width;
    canvas.height = reply.height;
    const context = canvas.getContext('2d');
    context.imageSmoothingQuality = 'high';
    context.drawImage(view.after, 0, 0, reply.shown_width, reply.height);
    const split = view.before ? Number($('view-split').value) / 100 : 0;
    if (split > 0) {
      const across = Math.round(reply.width * split);
      context.drawImage(view.before, 0, 0, across, reply.height, 0, 0, across * reply.shown_width / reply.width,
        reply.height);
      context.fillStyle = '#ffffff';
      context.fillRect(across * reply.shown_width / reply.width - 1, 0, 2, reply.height);
    }
    const across = reply.shown_width / reply.width;
    context.lineWidth = 2;
    for (const [area, colour] of GUIDES) {
      const rect = reply[area];
      context.strokeStyle = colour;
      context.strokeRect(rect[0] * across + 1, rect[1] + 1, rect[2] * across - 2, rect[3] - 2);
    }
    zoomView();
  }

  // The whole frame fits the page; 1:1 and 2:1 show the TV's pixels larger,
  // panned with the scroll bars, the arrow keys or by dragging.
  function zoomView() {
    const zoom = $('view-zoom').value;
    const canvas = $('import-picture');
    $('view-port').classList.toggle('zoomed', zoom !== 'fit');
    canvas.style.width = zoom === 'fit' ? '' : canvas.width * Number(zoom) + 'px';
  }

  function showImported(reply) {
    release('imported');
    $('import-status').dataset.ms = reply.ms || '';
    $('import-status').textContent = reply.error ? 'ERROR: ' + reply.error : reply.name + ': ' + reply.summary;
    $('import-result').hidden = !!reply.error;
    stale('import-result', false);
    if (reply.error) return;
    $('import-report').textContent = reply.report;
    view.reply = reply;
    view.after = frameOf(reply.rgba, reply.width, reply.height, false);
    view.before = reply.placed ? frameOf(reply.placed, reply.width, reply.height, true) : null;
    $('view-split').disabled = !view.before;
    drawView();
    const budget = $('import-budget');
    budget.max = reply.budget;
    budget.value = Math.min(reply.size, reply.budget);
    $('import-budget-text').textContent = reply.size.toLocaleString('en') + ' of ' +
      reply.budget.toLocaleString('en') + ' bytes (' + Math.round(100 * reply.size / reply.budget) + ' %)';
    const link = $('import-bitmap');
    link.href = downloadUrl('imported', reply.bitmap, 'image/bmp');
    link.download = reply.name;
    link.textContent = 'Download ' + reply.name;
  }

  function clearImported(text) {
    release('imported');
    stale('import-result', false);
    $('import-status').textContent = text || '';
    $('import-result').hidden = true;
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

  function cannotRead(file, why) {
    return { type: 'imported', error: 'Cannot read ' + file.name + ' as a picture: ' + why };
  }

  // The import of file with the current settings; an SVG is counted by the
  // core first, then drawn by the page. Null when stopped meanwhile.
  async function imported(file, stem) {
    const s = settings();
    const message = { type: 'import', file, stem, tag: settingsTag(s), ...s };
    const transfer = [];
    if (file.type === 'image/svg+xml' || /\.svg$/i.test(file.name)) {
      const checked = await ask({ type: 'precheck', file });
      if (!checked) return null;
      if (checked.error) return { type: 'imported', error: checked.error };
      const mine = generation;
      message.bitmap = await drawnSvg(file);
      if (mine !== generation) return null;
      if (!message.bitmap) return cannotRead(file, 'this browser cannot draw it');
      transfer.push(message.bitmap);
    }
    try {
      return await ask(message, transfer);
    } catch (error) {
      // A drawing the browser keeps to itself (HTML inside a
      // <foreignObject>) cannot be handed to the worker.
      return cannotRead(file, 'this browser does not hand over what it drew of it (' +
        (error && error.name || 'error') + '; an SVG holding HTML in a <foreignObject> is kept from pages); ' +
        'export it as a PNG');
    }
  }

  function failedReply(reply) {
    return reply.type === 'failed' ? { type: 'imported', error: reply.error } : reply;
  }

  // Imports the picture with the current settings and makes its images,
  // unless it was a bitmap the receivers take whose images 3 already shows.
  // Until new results come, the old ones stay in sight but out of reach:
  // they belong to other settings.
  function stale(id, value) {
    $(id).inert = value;
    $(id).classList.toggle('stale', value);
  }

  function importAndMake(picture) {
    current = picture;
    picture.imported = true;
    return work('Importing the picture\u2026', async (mine) => {
      stale('import-result', true);
      // A bitmap the receivers take has its images whatever the settings.
      if (!picture.direct) stale('make-result', true);
      $('import-cancel').hidden = false;
      $('import-status').textContent = 'Reading the picture\u2026';
      let reply;
      try {
        reply = await imported(picture.file, picture.stem);
      } finally {
        if (mine === generation) $('import-cancel').hidden = true;
      }
      if (!reply) return;
      reply = failedReply(reply);
      showImported(reply);
      if (reply.error) {
        clearMade();
        return;
      }
      if (reply.kept && picture.direct) return;
      await makeImages({ path: reply.path }, mine);
    });
  }

  // ---- 3: the update images ----

  function clearMade() {
    release('made');
    stale('make-result', false);
    $('make-status').textContent = '';
    $('make-problem').hidden = true;
    $('make-result').hidden = true;
    $('make-log').textContent = '';
  }

  function showMade(reply) {
    release('made');
    stale('make-result', false);
    $('make-status').dataset.ms = reply.ms || '';
    $('make-status').textContent = reply.made
      ? reply.base + ': 6 images made'
      : reply.base + ': failed \u2014 ' + (reply.reason || reply.status);
    $('make-log').textContent = (reply.log || []).join('\n');
    $('make-problem').hidden = reply.made || !(reply.left || reply.hint);
    showText('make-left', reply.left);
    showText('make-hint', reply.hint);
    const rows = $('make-images').tBodies[0];
    rows.textContent = '';
    for (const image of reply.images || []) rows.append(imageRow(image, downloadUrl('made', image.bytes)));
    const digests = (reply.images || []).every((image) => image.sha256);
    showText('make-digest', digests ? '' : 'This browser gives the page no SHA-256 here (WebCrypto), so no ' +
      'checksums are shown and the zip has no SHA256SUMS.');
    $('make-result').hidden = !(reply.images && reply.images.length);
    const zip = $('make-zip');
    zip.hidden = !reply.zip;
    if (reply.zip) {
      zip.href = downloadUrl('made', reply.zip.bytes);
      zip.download = reply.zip.name;
    }
  }

  function cell(row, content, className) {
    const td = document.createElement('td');
    if (className) td.className = className;
    td.append(content);
    row.append(td);
    return td;
  }

  function imageRow(image, href) {
    const row = document.createElement('tr');
    cell(row, image.receiver);
    cell(row, image.kind === 'usb' ? 'USB' : 'serial');
    cell(row, image.sound ? 'sound \u2014 safe to flash' : image.verdict, image.sound ? 'sound' : 'damaged');
    cell(row, image.size.toLocaleString('en') + ' bytes');
    cell(row, image.sha256 || '(not available)', 'digest');
    const link = document.createElement('a');
    link.href = href;
    link.download = image.name;
    link.textContent = image.name;
    cell(row, link, 'name');
    return row;
  }

  async function makeImages(message, mine) {
    engine('Making the update images\u2026');
    const reply = await ask({ type: 'make', ...message });
    if (!reply || mine !== generation) return null;
    if (reply.type === 'failed') throw new Error(reply.error);
    showMade(reply);
    return reply;
  }

  // ---- 1: what comes in, and where it goes ----

  function showRefused(reply, next) {
    $('refused').hidden = false;
    $('refused-status').textContent = reply.base + ': failed \u2014 ' + (reply.reason || reply.status);
    showText('refused-left', reply.left);
    showText('refused-hint', reply.hint);
    showText('refused-next', next);
    $('refused-log').textContent = (reply.log || []).join('\n');
  }

  function hideRefused() {
    $('refused').hidden = true;
  }

  function stemOf(name) {
    return name.replace(/\.[^.]*$/, '') || 'picture';
  }

  function isUpdateImage(file) {
    return /\.img$/i.test(file.name);
  }

  function isBitmap(file) {
    return /\.bmp$/i.test(file.name) || file.type === 'image/bmp';
  }

  // A bitmap goes to the images as it is; one the receivers do not take is
  // said why and imported instead, when the import makes it one they take.
  function makeBitmap(file, sample) {
    hideRefused();
    current = { file, stem: file ? stemOf(file.name) : 'sample', direct: true };
    const picture = current;
    return work('Making the update images\u2026', async (mine) => {
      clearImported();
      const reply = await makeImages(sample ? {} : { file }, mine);
      if (!reply) return;
      if (reply.sample) {
        picture.file = new File([reply.sample], 'sample.bmp', { type: 'image/bmp' });
        picture.stem = 'sample';
      }
      if (reply.made) {
        // Shown in 2 as the TV shows it: the import keeps it as it is.
        importAndMake(picture);
        return;
      }
      if (!reply.remedy) {
        showRefused(reply, '');
        return;
      }
      showRefused(reply, 'So the page imports it for your TV instead: see 2 and 3 below.');
      clearMade();
      importAndMake(picture);
    });
  }

  function importPicture(file, stem) {
    hideRefused();
    clearMade();
    return importAndMake({ file, stem: stem || stemOf(file.name), direct: false });
  }

  function check(file) {
    return work('Checking the image\u2026', async () => {
      setStatus('check-verdict', '');
      const reply = await ask({ type: 'check', file });
      if (!reply) return;
      if (reply.type === 'failed') throw new Error(reply.error);
      showChecked(reply);
      $('check').scrollIntoView({ block: 'nearest' });
    });
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

  function testCard() {
    hideRefused();
    clearMade();
    current = { card: true };
    return work('Making the TV test card\u2026', async (mine) => {
      const reply = failedReply(await ask({ type: 'card' }) || {});
      if (mine !== generation || !reply.type) return;
      showImported(reply);
      if (!reply.error) await makeImages({ path: reply.path }, mine);
    });
  }

  // Where one file goes.
  function take(file, stem) {
    setStatus('picture-status', file.name);
    if (isUpdateImage(file)) return check(file);
    if (isBitmap(file) && !stem) return makeBitmap(file, false);
    return importPicture(file, stem);
  }

  function takeAll(files) {
    files = Array.from(files);
    if (!files.length) return;
    if (files.length === 1) {
      $('batch').hidden = true;
      take(files[0]);
      return;
    }
    batch(files);
  }

  // ---- several files at once: one zip ----

  // The stems of a batch's pictures, those that two share numbered -1, -2.
  function batchStems(files) {
    const count = new Map();
    for (const file of files) count.set(stemOf(file.name), (count.get(stemOf(file.name)) || 0) + 1);
    const seen = new Map();
    return files.map((file) => {
      const stem = stemOf(file.name);
      if (count.get(stem) === 1) return stem;
      seen.set(stem, (seen.get(stem) || 0) + 1);
      return stem + '-' + seen.get(stem);
    });
  }

  let batching = false;

  function batch(files) {
    hideRefused();
    clearMade();
    clearImported();
    current = null;
    const stems = batchStems(files);
    work('Making the update images\u2026', async (mine) => {
      batching = true;
      try {
        await batchAll(files, stems, mine);
      } finally {
        if (mine === generation) batching = false;
      }
    });
  }

  async function batchAll(files, stems, mine) {
    const images = [];
    const failures = [];
    const list = $('batch-list');
    list.textContent = '';
    $('batch').hidden = false;
    $('batch-zip').hidden = true;
    release('batch');
    for (let i = 0; i < files.length; ++i) {
      const file = files[i];
      setStatus('picture-status', (i + 1) + ' of ' + files.length + ': ' + file.name);
      const outcome = await batchOne(file, stems[i], mine);
      if (mine !== generation) return;
      const item = document.createElement('li');
      if (outcome.checked) {
        item.textContent = file.name + ': checked \u2014 ' + outcome.checked;
      } else if (outcome.error) {
        failures.push(file.name + ': ' + outcome.error);
        item.textContent = file.name + ': failed \u2014 ' + outcome.error;
        item.className = 'damaged';
      } else {
        images.push(...outcome.images);
        const faults = outcome.images.filter((image) => !image.sound).length;
        item.textContent = file.name + ': ' + outcome.images.length + ' images, ' +
          (faults ? faults + ' not sound' : 'all sound \u2014 safe to flash');
      }
      list.append(item);
    }
    setStatus('picture-status', files.length + ' of ' + files.length + ' done');
    const zipped = await ask({
      type: 'zip', name: 'update_images.zip', failures,
      images: images.map(({ name, receiver, serial_model, kind, purpose, sound, verdict, sha256 }) =>
        ({ name, receiver, serial_model, kind, purpose, sound, verdict, sha256 })),
    });
    if (!zipped) return;
    if (zipped.error) throw new Error(zipped.error);
    const link = $('batch-zip');
    link.href = downloadUrl('batch', zipped.zip.bytes);
    link.download = zipped.zip.name;
    link.hidden = false;
  }

  // One picture of a batch, made as one on its own would be, with its images
  // kept in the worker for the zip: {images} or {error}; an update image
  // among them is checked: {checked: its verdict}.
  async function batchOne(file, stem, mine) {
    const named = new File([file], stem + (file.name.match(/\.[^.]*$/) || [''])[0], { type: file.type });
    if (isUpdateImage(file)) {
      const checked = await ask({ type: 'check', file });
      if (!checked || mine !== generation) return {};
      return checked.type === 'failed' ? { error: checked.error } : { checked: checked.verdict };
    }
    if (isBitmap(file)) {
      const reply = await ask({ type: 'make', file: named, keep: true });
      if (!reply || mine !== generation) return {};
      if (reply.type === 'failed') return { error: reply.error };
      if (reply.made) return { images: reply.images };
      if (!reply.remedy) return { error: reply.reason || reply.status };
    }
    const reply = failedReply(await imported(named, stem) || {});
    if (mine !== generation) return {};
    if (reply.error) return { error: reply.error };
    const made = await ask({ type: 'make', path: reply.path, keep: true });
    if (!made || mine !== generation) return {};
    if (made.type === 'failed') return { error: made.error };
    if (!made.made) return { error: made.reason || made.status };
    return { images: made.images };
  }

  // ---- the ways in ----

  const zone = $('drop');
  $('file').addEventListener('change', () => {
    const files = Array.from($('file').files);
    $('file').value = '';
    takeAll(files);
  });
  zone.addEventListener('dragover', (event) => {
    event.preventDefault();
    zone.classList.add('over');
  });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    takeAll(event.dataTransfer.files);
  });
  // A file dropped anywhere else opens nowhere: the browser would leave the
  // page for it.
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());

  // A pasted picture has no name of its own: it is named for its kind.
  function pastedFile(blob) {
    const kind = (blob.type.split('/')[1] || 'png').replace('svg+xml', 'svg').replace('jpeg', 'jpg');
    return new File([blob], 'pasted.' + kind, { type: blob.type });
  }

  document.addEventListener('paste', (event) => {
    const files = Array.from(event.clipboardData ? event.clipboardData.files : []);
    if (!files.length) return;
    event.preventDefault();
    takeAll(files.map((file) => (file.name && file.name !== 'image.png' ? file : pastedFile(file))));
  });

  $('paste').addEventListener('click', async () => {
    if (!(navigator.clipboard && navigator.clipboard.read)) {
      setStatus('picture-status', 'This browser does not let the page read the clipboard: press Ctrl+V instead.');
      return;
    }
    try {
      for (const item of await navigator.clipboard.read()) {
        const type = item.types.find((t) => t.startsWith('image/'));
        if (type) {
          take(pastedFile(await item.getType(type)));
          return;
        }
      }
      setStatus('picture-status', 'The clipboard holds no picture.');
    } catch (error) {
      setStatus('picture-status', 'The clipboard could not be read (' + (error && error.name || 'error') +
        '): press Ctrl+V instead.');
    }
  });

  // Files the installed page was opened with (its file handlers) go the
  // same way as dropped ones; before the core is ready they wait for it.
  document.addEventListener('kws-open', (event) => takeAll(event.detail || []));

  $('check-file').addEventListener('change', () => {
    const file = $('check-file').files[0];
    $('check-file').value = '';
    if (file) check(file);
  });
  $('make-sample').addEventListener('click', () => {
    setStatus('picture-status', 'The built-in sample');
    makeBitmap(null, true);
  });
  $('import-card').addEventListener('click', () => {
    setStatus('picture-status', 'The TV test card');
    testCard();
  });
  $('import-cancel').addEventListener('click', () => {
    stopWork();
    current = null;
    $('import-cancel').hidden = true;
    $('import-status').textContent = 'Import cancelled.';
    engine('Ready.');
  });
  for (const name of SETTINGS) $('import-' + name).addEventListener('change', settingChanged);
  $('view-split').addEventListener('input', drawView);
  $('view-zoom').addEventListener('change', zoomView);
  const port = $('view-port');
  port.addEventListener('pointerdown', (event) => {
    if (!port.classList.contains('zoomed')) return;
    const start = { x: event.clientX, y: event.clientY, left: port.scrollLeft, top: port.scrollTop };
    const move = (e) => {
      port.scrollLeft = start.left - (e.clientX - start.x);
      port.scrollTop = start.top - (e.clientY - start.y);
    };
    const up = () => {
      port.removeEventListener('pointermove', move);
      port.removeEventListener('pointerup', up);
    };
    port.setPointerCapture(event.pointerId);
    port.addEventListener('pointermove', move);
    port.addEventListener('pointerup', up);
  });

  recall();
  startWorker();
})();
