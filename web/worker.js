// The page's worker: holds the core (kws_web.js and its WebAssembly) and its
// in-memory file system, so that a run never blocks the page. Messages in:
// {type: 'init', wasm?}, {type: 'make', file?} (no file: the built-in
// sample), {type: 'check', file}. Each is answered with the core's reply and
// the files it made.
//
// The user's file is not copied in: its folder (Input, or Check) is the file
// itself, mounted read-only, and the core reads what it needs of it. So the
// core's own size limits refuse a huge file before it is read, as on the
// desktop.
'use strict';

let core = null;

function call(name, ...args) {
  return JSON.parse(core.ccall(name, 'string', args.map(() => 'string'), args));
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
  if (message.file) {
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
  const reply = call('kws_make', path);
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

self.onmessage = async (event) => {
  const message = event.data;
  try {
    let answer;
    if (message.type === 'init') answer = await init(message);
    else if (message.type === 'make') answer = make(message);
    else if (message.type === 'check') answer = check(message);
    else return;
    if (Array.isArray(answer)) self.postMessage(answer[0], answer[1]);
    else self.postMessage(answer);
  } catch (error) {
    self.postMessage({ type: 'failed', request: message.type, error: String(error && error.message || error) });
  }
};
