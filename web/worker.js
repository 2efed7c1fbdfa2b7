// The page's worker: holds the core (kws_web.js and its WebAssembly) and its
// in-memory file system, so that a run never blocks the page. Messages in:
// {type: 'init', wasm?}, {type: 'make', file?, path?} (neither: the built-in
// sample; path: a bitmap the import made), {type: 'check', file},
// {type: 'import', file, bitmap?, display, safe, fill, background},
// {type: 'card'} (the TV test card, answered as an import), {type:
// 'precheck', file} (whether an SVG may be drawn: {type: 'prechecked',
// error}). Each is
// answered with the core's reply and the files it made; an import also with
// {type: 'progress', text} as it goes.
//
// The user's file is not copied in: its folder (Input, or Check) is the file
// itself, mounted read-only, and the core reads what it needs of it. So the
// core's own size limits refuse a huge file before it is read, as on the
// desktop.
'use strict';

let core = null;

function call(name, ...args) {
  const types = args.map((arg) => (typeof arg === 'number' ? 'number' : 'string'));
  return JSON.parse(core.ccall(name, 'string', types, args));
}

function emptyFolder(folder) {
  for (const entry of core.FS.readdir(folder)) {
    if (entry !== '.' && entry !== '..') core.FS.unlink(folder + '/' + entry);
  }
}

async function init(message) {
  if (typeof KwsCore === 'undefined') importScripts('kws_web.js');
  // The core's texts come back in its replies; what it might print besides
  // is no message for the user, and the console stays quiet.
  core = await KwsCore({ wasmBinary: message.wasm, print: () => {}, printErr: () => {} });
  const start = call('kws_start');
  core.FS.mkdir('/kws/Check');
  core.FS.mkdir('/kws/Picture');
  core.FS.mkdir('/kws/Import');
  return { type: 'ready', caption: start.caption, error: start.error };
}

// Mounts the user's file as the only entry of folder; returns its path.
function mountFile(folder, file) {
  unmount(folder);
  core.FS.mount(core.FS.filesystems.WORKERFS, { files: [file] }, folder);
  return folder + '/' + file.name;
}

function unmount(folder) {
  if (core.FS.lookupPath(folder, { follow_mount: false }).node.mounted) core.FS.unmount(folder);
}

function make(message) {
  const input = '/kws/Input';
  let path;
  if (message.path) {
    path = message.path;
  } else if (message.file) {
    path = mountFile(input, message.file);
  } else {
    // The sample is made under the name the command line's sample command
    // is usually given, so that its images are named alike.
    unmount(input);
    emptyFolder(input);
    path = input + '/sample.bmp';
    const sample = call('kws_sample', path);
    if (sample.error) return { type: 'made', made: false, base: 'sample', reason: sample.error, log: [], images: [] };
  }
  const started = performance.now();
  const reply = call('kws_make', path);
  reply.ms = performance.now() - started;
  const transfer = [];
  for (const image of reply.images) {
    image.bytes = core.FS.readFile(image.path);
    transfer.push(image.bytes.buffer);
  }
  if (reply.made) {
    const zip = '/kws/' + reply.base + '_update_images.zip';
    const zipped = call('kws_zip', reply.base, zip);
    if (!zipped.error) {
      reply.zip = { name: reply.base + '_update_images.zip', bytes: core.FS.readFile(zip) };
      transfer.push(reply.zip.bytes.buffer);
      core.FS.unlink(zip);
    }
  }
  reply.type = 'made';
  return [reply, transfer];
}

function check(message) {
  const path = mountFile('/kws/Check', message.file);
  const reply = call('kws_check', path);
  const transfer = [];
  if (reply.picture) {
    reply.picture.rgba = core.FS.readFile(reply.picture.pixels);
    transfer.push(reply.picture.rgba.buffer);
    core.FS.unlink(reply.picture.pixels);
  }
  unmount('/kws/Check');
  reply.type = 'checked';
  return [reply, transfer];
}

// The import's limits, as the desktop's: 256 MiB of RGBA, no side over a
// million pixels.
const MAX_PIXELS = 256 * 1024 * 1024 / 4;
const MAX_SIDE = 1000000;

function cannotRead(name, why) {
  return new Error('Cannot read ' + name + ' as a picture: ' + why);
}

function checkSize(name, width, height) {
  const size = width.toLocaleString('en') + ' x ' + height.toLocaleString('en');
  if (width > MAX_SIDE || height > MAX_SIDE) {
    throw cannotRead(name, 'at ' + size + ' pixels it is too large: the import takes no side longer than ' +
      MAX_SIDE.toLocaleString('en') + ' pixels');
  }
  if (width * height > MAX_PIXELS) {
    throw cannotRead(name, 'at ' + size + ' pixels it is too large: the import takes up to ' +
      MAX_PIXELS.toLocaleString('en') + ' pixels');
  }
}

// Why the browser's decoder gave nothing. A GIF or run-length bitmap it
// fails on is one that is damaged or cut short, which the desktop program
// reads as far as it goes.
function undecodable(name, header) {
  const desktop = '; the desktop program (kestro-welcome, or kestro-welcome-cli import) imports it, with a ' +
    'warning that part of the picture may be missing';
  if (header.format === 'gif') return cannotRead(name, 'this browser cannot decode this damaged or cut GIF' + desktop);
  if (header.run_length) {
    return cannotRead(name, 'this browser cannot decode this damaged or cut run-length-coded bitmap' + desktop);
  }
  return cannotRead(name, 'this browser cannot decode it; the page reads PNG, JPEG, GIF, WebP, BMP and SVG');
}

// The picture's pixels as its file (mounted at path) holds them: no colour
// management, alpha not premultiplied, turned upright as its orientation tag
// says. Its size is read from its header first, so that a picture too large
// is refused before the browser decodes it. An SVG comes already drawn by
// the page (a worker has no SVG renderer). A PNG the core reads is left in
// the file rgba, and only its size comes back.
async function decode(message, path, rgba) {
  const name = message.file.name;
  let bitmap = message.bitmap;
  if (!bitmap) {
    const header = call('kws_picture_header', path);
    if (header.format) checkSize(name, header.width, header.height);
    // A PNG is read as the desktop reads it, by the core's own libpng.
    const png = header.format === 'png' ? call('kws_read_png', path, rgba, MAX_PIXELS) : {};
    if (png.width) return { width: png.width, height: png.height };
    try {
      bitmap = await createImageBitmap(message.file,
        { colorSpaceConversion: 'none', premultiplyAlpha: 'none', imageOrientation: 'from-image' });
    } catch (error) {
      throw undecodable(name, header);
    }
  }
  const { width, height } = bitmap;
  try {
    checkSize(name, width, height);
  } catch (error) {
    bitmap.close();
    throw error;
  }
  const canvas = new OffscreenCanvas(width, height);
  const context = canvas.getContext('2d', { willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  bitmap.close();
  return { width, height, rgba: context.getImageData(0, 0, width, height).data };
}

// Whether the page may draw an SVG: refused, in the desktop's words, when it
// is too large or too complex to draw within the import's bounds.
function precheck(message) {
  const path = mountFile('/kws/Picture', message.file);
  try {
    const reply = call('kws_svg_refusal', path);
    return { type: 'prechecked', error: reply.error ? cannotRead(message.file.name, reply.error).message : '' };
  } finally {
    unmount('/kws/Picture');
  }
}

async function importPicture(message) {
  const started = performance.now();
  self.postMessage({ type: 'progress', text: 'Reading the picture…' });
  const file = mountFile('/kws/Picture', message.file);
  const rgba = '/kws/decoded.rgba';
  let picture;
  try {
    picture = await decode(message, file, rgba);
  } catch (error) {
    unmount('/kws/Picture');
    throw error;
  }
  if (picture.rgba) core.FS.writeFile(rgba, new Uint8Array(picture.rgba.buffer));
  const base = message.file.name.replace(/\.[^.]*$/, '') || 'picture';
  const out = '/kws/Import/' + base + '.bmp';
  emptyFolder('/kws/Import');
  self.postMessage({ type: 'progress', text: 'Placing it and choosing its colours…' });
  const reply = JSON.parse(core.ccall('kws_import', 'string',
    ['string', 'string', 'string', 'number', 'number', 'string', 'string', 'number', 'string', 'string', 'string'],
    [file, message.file.name, rgba, picture.width, picture.height, message.display, message.safe,
      message.fill ? 1 : 0, message.background, message.dither, out]));
  core.FS.unlink(rgba);
  unmount('/kws/Picture');
  // How long the worker took, decoding included, for bench/web_bench.py.
  reply.ms = performance.now() - started;
  return imported(reply, out);
}

// The bitmap an import (or the test card) wrote to out, and its pixels.
function imported(reply, out) {
  reply.type = 'imported';
  if (reply.error) return reply;
  reply.path = out;
  reply.name = out.slice(out.lastIndexOf('/') + 1);
  reply.bitmap = core.FS.readFile(out);
  reply.rgba = core.FS.readFile(reply.pixels);
  core.FS.unlink(reply.pixels);
  return [reply, [reply.bitmap.buffer, reply.rgba.buffer]];
}

function testCard() {
  emptyFolder('/kws/Import');
  const out = '/kws/Import/test_card.bmp';
  return imported(call('kws_test_card', out), out);
}

self.onmessage = async (event) => {
  const message = event.data;
  try {
    let answer;
    if (message.type === 'init') answer = await init(message);
    else if (message.type === 'make') answer = make(message);
    else if (message.type === 'check') answer = check(message);
    else if (message.type === 'import') answer = await importPicture(message);
    else if (message.type === 'card') answer = testCard();
    else if (message.type === 'precheck') answer = precheck(message);
    else return;
    if (Array.isArray(answer)) self.postMessage(answer[0], answer[1]);
    else self.postMessage(answer);
  } catch (error) {
    self.postMessage({ type: 'failed', request: message.type, error: String(error && error.message || error) });
  }
};

// Whatever escapes the handler above still ends as a message, never as a
// page left waiting.
self.addEventListener('unhandledrejection', (event) => {
  self.postMessage({ type: 'failed', request: 'import', error: String(event.reason && event.reason.message || event.reason) });
});
