#!/usr/bin/env python3
"""Writes the served page's service worker: its template with the page's
files and a version that is a hash of their contents, so that every change
of the page is a new worker (see service_worker.js).

    offline_page.py TEMPLATE OUT PAGE_DIR FILE...
"""
import hashlib
import json
import os
import sys


def main():
    template, out, page_dir, files = sys.argv[1], sys.argv[2], sys.argv[3], sorted(sys.argv[4:])
    digest = hashlib.sha256()
    for name in files:
        with open(os.path.join(page_dir, name), "rb") as f:
            data = f.read()
        digest.update(f"{name}\0{len(data)}\0".encode())
        digest.update(data)
    with open(template, encoding="utf-8") as f:
        text = f.read()
    for placeholder, value in (("'@VERSION@'", json.dumps(digest.hexdigest()[:16])),
                               ("['@FILES@']", json.dumps(files))):
        if text.count(placeholder) != 1:
            sys.exit(f"offline_page.py: {template} has no single {placeholder}")
        text = text.replace(placeholder, value)
    with open(out + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(out + ".tmp", out)


if __name__ == "__main__":
    main()
