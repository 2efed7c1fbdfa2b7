#!/usr/bin/env python3
"""Makes kestro-welcome.html: the page with its style, script, worker and
WebAssembly inside, so that the one file works opened from the disk.

    single_file.py PAGE_DIR OUT.html

The worker's code and the WebAssembly (base64) sit in script elements of
types the browser does not run; the page starts the worker from a blob. The
Content-Security-Policy allows the page's own script and style by their
hashes, WebAssembly, and a worker from a blob: nothing else, and no request
at all. Prints the file's SHA-256 and writes it beside the file, as
sha256sum does (OUT.html.sha256).
"""
import base64
import hashlib
import os
import re
import sys


def read(folder, name, mode="r"):
    with open(os.path.join(folder, name), mode, **({} if "b" in mode else {"encoding": "utf-8"})) as f:
        return f.read()


def inline_safe(text, tag, what):
    # An end tag inside would end the element early.
    if re.search(r"</" + tag, text, re.IGNORECASE):
        sys.exit(f"single_file.py: {what} holds '</{tag}', which cannot be put inside the page")
    return text


def csp_hash(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode() + "'"


def main():
    page_dir, out = sys.argv[1], sys.argv[2]
    html = read(page_dir, "index.html")
    style = inline_safe(read(page_dir, "style.css"), "style", "style.css")
    app = inline_safe(read(page_dir, "app.js"), "script", "app.js")
    worker = inline_safe(read(page_dir, "kws_web.js") + "\n" + read(page_dir, "worker.js"), "script", "the worker")
    wasm = base64.b64encode(read(page_dir, "kws_web.wasm", "rb")).decode()

    policy = ("default-src 'none'; script-src " + csp_hash(app) + " 'wasm-unsafe-eval'; worker-src blob:; "
              "style-src " + csp_hash(style) + "; img-src data: blob:; base-uri 'none'; form-action 'none'")
    replacements = [
        (re.compile(r'(<meta http-equiv="Content-Security-Policy" content=")[^"]*(">)'),
         lambda m: m.group(1) + policy + m.group(2)),
        (re.compile(r'<link rel="stylesheet" href="style.css">'), lambda m: "<style>" + style + "</style>"),
        (re.compile(r'<script src="app.js"></script>'),
         lambda m: '<script type="text/plain" id="kws-worker-source">' + worker + "</script>\n"
                   '<script type="application/octet-stream" id="kws-wasm">' + wasm + "</script>\n"
                   "<script>" + app + "</script>"),
    ]
    # Opened from the disk the page is not installed: no manifest, no service worker.
    replacements += [(re.compile(r'<link rel="manifest" href="manifest.webmanifest">\n'), lambda m: ""),
                     (re.compile(r'<script src="install.js"></script>\n'), lambda m: "")]
    for pattern, replace in replacements:
        html, count = pattern.subn(replace, html)
        if count != 1:
            sys.exit(f"single_file.py: index.html has no single place for {pattern.pattern}")

    data = html.encode("utf-8")
    with open(out + ".tmp", "wb") as f:
        f.write(data)
    os.replace(out + ".tmp", out)
    digest = hashlib.sha256(data).hexdigest()
    # Beside it for those who publish it: sha256sum -c kestro-welcome.html.sha256
    with open(out + ".sha256", "w", encoding="utf-8") as f:
        f.write(f"{digest}  {os.path.basename(out)}\n")
    print(f"kestro-welcome.html: {len(data)} bytes, SHA-256 {digest}")


if __name__ == "__main__":
    main()
