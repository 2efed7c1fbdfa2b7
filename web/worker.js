// The page's worker: holds the core (kws_web.js and its WebAssembly) and its
// in-memory file system, so that a run never blocks the page. Messages in:
// {type: 'init', wasm?}, {type: 'make', file?, path?, keep?} (neither: the
// built-in sample, whose bytes come back; path: a bitmap the import made),
// {type: 'check', file},
// {type: 'import', file, bitmap?, stem?, tag?, display, safe, fill,
// background, dither}, {type: 'zip', name, images, failures} (a batch's
// images kept by make's keep),
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
let updateWays = '';  // the core's sentence on which image to use, said once in the zip's note

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
  updateWays = start.update_ways;
  core.FS.mkdir('/kws/Check');
  core.FS.mkdir('/kws/Picture');
  core.FS.mkdir('/kws/Import');
  core.FS.mkdir(BATCH);
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

// The six images of one picture, each checked by the inspector and with its
// SHA-256 (null where this browser gives no WebCrypto), and their zip: the
// images, SHA256SUMS and a note of what each is for. With keep, the images
// also stay in the batch's folder, under the names they go by there.
async function make(message) {
  const input = '/kws/Input';
  let path;
  let sample = null;
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
    const made = call('kws_sample', path);
    if (made.error) return { type: 'made', made: false, base: 'sample', reason: made.error, log: [], images: [] };
    sample = core.FS.readFile(path);
  }
  const started = performance.now();
  const reply = call('kws_make', path);
  reply.ms = performance.now() - started;
  reply.type = 'made';
  const transfer = [];
  if (sample) {
    reply.sample = sample;
    transfer.push(sample.buffer);
  }
  for (const image of reply.images) {
    const checked = call('kws_check', image.path);
    if (checked.picture) core.FS.unlink(checked.picture.pixels);
    image.sound = checked.sound;
    image.verdict = checked.verdict;
    image.bytes = core.FS.readFile(image.path);
    image.sha256 = await sha256(image.bytes);
    if (message.keep) core.FS.writeFile(BATCH + '/' + image.name, image.bytes);
    transfer.push(image.bytes.buffer);
  }
  if (reply.made) {
    const name = reply.base + '_update_images.zip';
    const zip = zipOf(reply.images.map((image) => [image.path, image.name]), reply.images, name);
    if (zip) {
      reply.zip = zip;
      transfer.push(zip.bytes.buffer);
    }
  }
  return [reply, transfer];
}

const BATCH = '/kws/Batch';

async function sha256(bytes) {
  if (!(self.crypto && crypto.subtle)) return null;
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
}

// The zip's note: which file is for which receiver and which way of
// updating. The steps themselves are the receiver's manual's.
function note(images) {
  const lines = ['Welcome screen update images made by Kestro Welcome Screen.', ''];
  for (const image of images) {
    lines.push(image.name, '  ' + image.purpose + '.', '  ' + (image.sound ? 'sound \u2014 safe to flash' : image.verdict), '');
  }
  lines.push(updateWays);
  lines.push('SHA256SUMS holds each file\u2019s SHA-256; "sha256sum -c SHA256SUMS" checks them.', '');
  return lines.join('\n');
}

// members: [path, name in the zip] of the update images; images: what the
// page knows of each. Null when the zip could not be made.
function zipOf(members, images, name) {
  const list = members.slice();
  if (images.every((image) => image.sha256)) {
    core.FS.writeFile('/kws/SHA256SUMS', images.map((image) => image.sha256 + '  ' + image.name + '\n').join(''));
    list.push(['/kws/SHA256SUMS', 'SHA256SUMS']);
  }
  core.FS.writeFile('/kws/README.txt', note(images));
  list.push(['/kws/README.txt', 'README.txt']);
  const out = '/kws/' + name;
  const zipped = call('kws_zip', list.map(([path, member]) => path + '\t' + member).join('\n'), out);
  if (zipped.error) return null;
  const zip = { name, bytes: core.FS.readFile(out) };
  core.FS.unlink(out);
  return zip;
}

// The batch's zip: every picture's images, their checksums, the note, and
// for a picture that failed, why.
function batchZip(message) {
  const images = message.images;
  const members = images.map((image) => [BATCH + '/' + image.name, image.name]);
  if (message.failures.length) {
    core.FS.writeFile('/kws/FAILED.txt', message.failures.join('\n') + '\n');
    members.push(['/kws/FAILED.txt', 'FAILED.txt']);
  }
  const zip = zipOf(members, images, message.name);
  emptyFolder(BATCH);
  if (!zip) return { type: 'zipped', error: 'the zip could not be made' };
  return [{ type: 'zipped', zip }, [zip.bytes.buffer]];
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
  // The bitmap's name is the picture's (stem) and, unless it was kept as
  // it was, what it was made for (tag): two settings never give one name.
  const stem = message.stem || message.file.name.replace(/\.[^.]*$/, '') || 'picture';
  emptyFolder('/kws/Import');
  const made = '/kws/Import/made.bmp';
  self.postMessage({ type: 'progress', text: 'Placing it and choosing its colours…' });
  const reply = JSON.parse(core.ccall('kws_import', 'string',
    ['string', 'string', 'string', 'number', 'number', 'string', 'string', 'number', 'string', 'string', 'string'],
    [file, message.file.name, rgba, picture.width, picture.height, message.display, message.safe,
      message.fill ? 1 : 0, message.background, message.dither, made]));
  core.FS.unlink(rgba);
  unmount('/kws/Picture');
  const out = '/kws/Import/' + stem + (reply.kept ? '' : message.tag || '') + '.bmp';
  if (!reply.error) core.FS.rename(made, out);
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
  const transfer = [reply.bitmap.buffer, reply.rgba.buffer];
  if (reply.placed) {
    const placed = core.FS.readFile(reply.placed);
    core.FS.unlink(reply.placed);
    reply.placed = placed;
    transfer.push(placed.buffer);
  }
  return [reply, transfer];
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
    else if (message.type === 'make') answer = await make(message);
    else if (message.type === 'zip') answer = batchZip(message);
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
