#!/usr/bin/python3
"""The browser page in Debian's chromium: the images it makes are the
native command line's, byte for byte; Check's verdicts are the inspector's;
a PNG of any kind, an opaque GIF, lossless WebP or 24-bit bitmap imported is
the command line's import, byte for byte, and other pictures come within
0.5 dB of it (or both beyond 60 dB,
where neither is a quarter of a level off); an import can be
cancelled; everything comes in by one drop target (picked, dropped or
pasted) and goes where it belongs; a change of a setting imports the same
picture again and makes its images anew, named for the settings; each image
is listed with the inspector's verdict and its SHA-256, and the zips'
SHA256SUMS pass sha256sum -c; several pictures give one zip; the keyboard
alone goes the whole way; the settings outlast a reload; a dark page keeps
the preview's colours; served, the page installs, opens .bmp and .img files,
works with its server stopped and offers the reload when the server holds a
newer page, and starts with its policy sent as a header too; no console
errors and no request beyond the page's own files. Runs the page
served from localhost and the single file opened from file://; every host
but localhost is unreachable for the browser.

    web_test.py BUILD_WEB_DIR CLI WORK_DIR
"""
import base64
import functools
import hashlib
import io
import http.server
import json
import math
import os
import re
import shutil
import socketserver
import subprocess
import sys
import threading
import time
import zipfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

HERE = os.path.dirname(os.path.abspath(__file__))
WAIT = 120  # seconds; a ceiling for a hung page, never a measure of speed
POLL = 0.05  # seconds between looks at the page while waiting
RECLICK = 10  # seconds without a download before its link is clicked again
# (picture, how it comes to the page, whether the receivers take it, whether
# a refusal comes with a hint)
PICTURES = [("sample.bmp", "sample", True, False), ("logo.bmp", "pick", True, False),
            ("photo.bmp", "drop", True, False), ("grainy.bmp", "pick", False, True),
            ("deep.bmp", "drop", False, True), ("huge.bmp", "pick", False, False),
            ("rle.bmp", "pick", False, True), ("rle4.bmp", "drop", False, True), ("small.bmp", "pick", False, True),
            ("topdown.bmp", "drop", False, True), ("four.bmp", "pick", False, True), ("cut.bmp", "drop", False, False)]
# (picture, how it comes to the page, whether the page's bitmap must be the
# command line's byte for byte, the import's options besides the defaults).
# Opaque PNGs and bitmaps the browser decodes as Qt does, and both scale and
# place them with the same code: the same bytes, whatever the options.
# kept.bmp is a bitmap the receivers take: kept as it is. grainy.bmp takes
# the whole search for a version that fits. The page reads a PNG with the
# core's own libpng, as Qt does: 16-bit samples (deep.png) rounded to 8 bits
# as Qt rounds them, half-transparent pixels (wide.png's edges) not
# premultiplied. A GIF, a PNG with a palette and a lossless WebP the browser
# decodes as Qt does. Its JPEG decoder and Qt's need not agree, nor their SVG
# renderers.
IMPORT_DEFAULTS = {"display": "4:3", "safe": "none", "fill": False, "background": "#000000", "dither": "auto"}
SHOWN_WIDTH = {"4:3": 768, "16:9": 1024, "square": 720}
IMPORTS = [("kept.bmp", "drop", True, {}), ("photo.png", "pick", True, {}),
           ("photo.png", "drop", True, {"dither": "seen"}), ("photo.png", "pick", True, {"dither": "selective"}),
           ("photo.png", "drop", True, {"dither": "none"}), ("deep.bmp", "drop", True, {}),
           ("grainy.bmp", "pick", True, {}),
           ("banner.png", "pick", True, {"display": "16:9", "safe": "title", "fill": True, "background": "#336699"}),
           ("banner.png", "drop", True, {"display": "square", "safe": "action"}),
           ("deep.png", "pick", True, {}), ("palette.png", "drop", True, {}), ("palette.gif", "pick", True, {}),
           ("photo.webp", "drop", True, {}), ("wide.png", "pick", True, {}), ("drawn.jpg", "pick", False, {}),
           ("shape.svg", "drop", False, {})]
failures = []


def stem(path):
    """A picture's name without its folder and extension, as the page's bitmap is named."""
    return os.path.splitext(os.path.basename(path))[0]


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


# ---- the native command line: what the page must match ----

def native(cli, work, picture):
    """The six images the command line makes of picture, by name, or its
    failure: (images, reason, hint)."""
    home = os.path.join(work, "native-" + picture)
    shutil.rmtree(home, ignore_errors=True)
    run = subprocess.run([cli, "--home", home, "make", os.path.join(work, picture)], capture_output=True, text=True)
    output = os.path.join(home, "Output")
    images = {}
    if os.path.isdir(output):
        for name in sorted(os.listdir(output)):
            with open(os.path.join(output, name), "rb") as f:
                images[name] = f.read()
    reason = re.search(r": failed \u2014 (.*)", run.stderr)
    hint = re.search(r"^(hint: [^:]*)", run.stderr, re.MULTILINE)
    return images, reason.group(1) if reason else "", hint.group(1) if hint else ""


def native_verdict(cli, path):
    run = subprocess.run([cli, "inspect", path], capture_output=True, text=True)
    return (run.stdout + run.stderr).strip().split(": ", 1)[1]


def bitmap_rgb(path, points):
    """Colours of a bottom-up 8-bit bitmap at (x, y) points, top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset = int.from_bytes(data[10:14], "little")
    info = int.from_bytes(data[14:18], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    table = 14 + info
    out = []
    for x, y in points:
        index = data[offset + (height - 1 - y) * width + x]
        b, g, r = data[table + 4 * index:table + 4 * index + 3]
        out.append([r, g, b])
    return out


# ---- the browser ----

class PageServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


class Handler(http.server.SimpleHTTPRequestHandler):
    requested = []

    def log_message(self, fmt, *args):
        Handler.requested.append(self.path)


def serve(folder, port=0, handler=None):
    server = PageServer(("127.0.0.1", port), functools.partial(handler or Handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def stop(server):
    """Stops the server once; its port refuses connections afterwards."""
    if not getattr(server, "stopped", False):
        server.shutdown()
        server.server_close()
        server.stopped = True


def browser(downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # --no-sandbox: chromium runs as root in build containers only without it.
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--disable-background-networking", "--disable-component-update",
                "--disable-default-apps", "--disable-sync", "--window-size=1366,768",
                "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE localhost, EXCLUDE 127.0.0.1"):
        options.add_argument(arg)
    options.add_experimental_option("prefs", {
        "download.default_directory": downloads,
        "download.prompt_for_download": False,
        "profile.default_content_setting_values.automatic_downloads": 1,
    })
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return driver


def requests_made(driver):
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message.get("method") == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
    return urls


def wait_ready(driver, what):
    WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "engine").text in ("Ready.",)
                                      or d.find_element(By.ID, "engine").text.startswith("ERROR"))
    check(driver.find_element(By.ID, "engine").text == "Ready.", what + ": the core started")


def download(link, downloads):
    """Clicks a download link and returns its file once it has arrived
    (its name and bytes; None for bytes when it did not come)."""
    name = link.get_attribute("download")
    stem, ext = os.path.splitext(name)
    # Chromium now and then lets a click on a download link go without a
    # download when many come in a row: the link is clicked once more after
    # a while, and a second copy (name (1).ext) counts as the file.
    copies = [os.path.join(downloads, name), os.path.join(downloads, f"{stem} (1){ext}")]

    def arrived():
        return next((p for p in copies if os.path.exists(p) and not os.path.exists(p + ".crdownload")), None)

    link.click()
    start = time.monotonic()
    clicked_again = False
    while time.monotonic() < start + WAIT and not arrived():
        if not clicked_again and time.monotonic() > start + RECLICK:
            link.click()
            clicked_again = True
        time.sleep(0.05)
    path = arrived()
    if path is None:
        return name, None
    with open(path, "rb") as f:
        return name, f.read()


def download_all(driver, downloads):
    """Clicks the page's download links one after the other, each once its
    file has arrived, and returns the files they gave by name."""
    for name in os.listdir(downloads):
        os.remove(os.path.join(downloads, name))
    files = {}
    for link in driver.find_elements(By.CSS_SELECTOR, "#make-images a, #make-zip"):
        if not link.is_displayed():
            continue
        name, data = download(link, downloads)
        if data is not None:
            files[name] = data
    return files


def files_script(paths, names=None):
    """A script's start that makes window.kwsTransfer, a DataTransfer holding
    the files at paths (under names), and its arguments."""
    files = []
    for path, name in zip(paths, names or [os.path.basename(p) for p in paths]):
        with open(path, "rb") as f:
            files.append([name, base64.b64encode(f.read()).decode(), TYPES.get(os.path.splitext(name)[1], "")])
    return ("const transfer = new DataTransfer();"
            "for (const [name, data, type] of arguments[0]) {"
            "  const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));"
            "  transfer.items.add(new File([bytes], name, {type}));"
            "}"), files


TYPES = {".png": "image/png", ".jpg": "image/jpeg", ".bmp": "image/bmp", ".svg": "image/svg+xml"}


def drop(driver, zone, path, then="", names=None):
    """Drops the file (or the files, a list) on the page's drop zone, as a
    file manager does; then runs the script then, in the same turn of the
    page's event loop."""
    start, files = files_script(path if isinstance(path, list) else [path], names)
    driver.execute_script(
        start + "document.getElementById(arguments[1]).dispatchEvent("
        "  new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));" + then,
        files, zone)


def paste(driver, path, name=None):
    """Pastes the picture as the system's clipboard hands it to a page."""
    start, files = files_script([path], [name or os.path.basename(path)])
    driver.execute_script(
        start + "document.dispatchEvent(new ClipboardEvent('paste', {clipboardData: transfer, bubbles: true,"
        "  cancelable: true}));", files)


def make(driver, path, how):
    """Makes path's images in the page, the file picked or dropped on the
    one target, or the sample's; returns the page's status line, or the
    refusal's when the bitmap is not one the receivers take as it is."""
    driver.execute_script("for (const id of ['make-status', 'refused-status'])"
                          "  document.getElementById(id).textContent = '';")
    if how == "pick":
        driver.find_element(By.ID, "file").send_keys(path)
    elif how == "drop":
        drop(driver, "drop", path)
    else:
        driver.find_element(By.ID, "make-sample").click()
    WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "make-status").text != ""
                                      or d.find_element(By.ID, "refused-status").text != ""
                                      or d.find_element(By.ID, "engine").text.startswith("ERROR"))
    return (driver.find_element(By.ID, "refused-status").text or driver.find_element(By.ID, "make-status").text
            or driver.find_element(By.ID, "engine").text)


def check_page_makes(driver, label, cli, work, downloads, pictures):
    for picture, how, takes, hinted in pictures:
        images, reason, hint = native(cli, work, picture)
        status = make(driver, os.path.join(work, picture), how)
        shown = f"{label} ({how})"
        base = picture[:-4]
        if not takes:
            check(images == {}, f"{shown} {picture}: the command line refuses it too")
            check(status == f"{base}: failed \u2014 {reason}", f"{shown} {picture}: the reason is the command line's: {status}")
            page_hint = driver.find_element(By.ID, "refused-hint").text
            check((hint != "") == hinted and page_hint == hint,
                  f"{shown} {picture}: the hint is the command line's: {page_hint or '(none)'}")
            check(driver.find_element(By.ID, "refused-log").get_attribute("textContent").count("ERROR: ") >= 1,
                  f"{shown} {picture}: the activity log shows the error")
            # No dead end: what an import mends, the page imports.
            goes_on = driver.find_element(By.ID, "refused-next").text
            check(("imports it" in goes_on) == hinted, f"{shown} {picture}: the page goes on: {goes_on or '(no)'}")
            continue
        check(status == f"{base}: 6 images made", f"{shown} {picture}: {status}")
        check(len(images) == 6, f"{shown} {picture}: the command line made six images")
        zip_name = base + "_update_images.zip"
        got = download_all(driver, downloads)
        check(sorted(got) == sorted(list(images) + [zip_name]), f"{shown} {picture}: the page offers the six images and the zip")
        for name, data in images.items():
            check(got.get(name) == data, f"{shown} {picture}: {name} is the command line's, byte for byte")
            table.setdefault((picture, name), set()).add(label if got.get(name) == data else label + " DIFFERS")
        check_zip(os.path.join(downloads, zip_name), images, f"{shown} {picture}")
        check_verdicts(driver, cli, work, images, f"{shown} {picture}")
        log = driver.find_element(By.ID, "make-log").get_attribute("textContent")
        check("mkserialimg: Ret=0" in log and "ERROR" not in log, f"{shown} {picture}: the activity log shows the run")


def check_zip(path, images, shown):
    """The zip holds the images, SHA256SUMS that sha256sum -c passes, and a
    note naming each image's receiver and way of updating."""
    with zipfile.ZipFile(path) as z:
        check(z.testzip() is None, f"{shown}: the zip reads back")
        members = {i.filename: z.read(i) for i in z.infolist()}
    check({n: d for n, d in members.items() if n.endswith(".img")} == images, f"{shown}: the zip holds the images")
    extra = sorted(set(members) - set(images))
    check(extra == ["README.txt", "SHA256SUMS"], f"{shown}: besides them SHA256SUMS and README.txt {extra}")
    # Beside the downloads folder, which the page's downloads empty.
    unpacked = os.path.join(os.path.dirname(os.path.dirname(path)), "unzipped")
    shutil.rmtree(unpacked, ignore_errors=True)
    os.makedirs(unpacked)
    for name, data in members.items():
        with open(os.path.join(unpacked, name), "wb") as f:
            f.write(data)
    run = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=unpacked, capture_output=True, text=True)
    check(run.returncode == 0 and run.stdout.count(": OK") == len(images),
          f"{shown}: sha256sum -c SHA256SUMS passes for {run.stdout.count(': OK')} files {run.stderr.strip()}")
    note = members.get("README.txt", b"").decode()
    described = [n for n in images if re.search(re.escape(n) + r"\n  (USB|serial) update image for the \w+ receiver",
                                                 note)]
    check(len(described) == len(images) and "manual" in note, f"{shown}: README.txt says what each image is for")


def check_verdicts(driver, cli, work, images, shown):
    """Each image is listed with its receiver, USB or serial, the
    inspector's verdict, its size, SHA-256 and download."""
    rows = driver.execute_script(
        "return Array.from(document.querySelectorAll('#make-images tbody tr'))"
        "  .map((r) => Array.from(r.cells, (c) => c.textContent));")
    check(len(rows) == 6, f"{shown}: six images listed ({len(rows)})")
    for receiver, kind, verdict, size, digest, name in rows:
        data = images.get(name, b"")
        path = os.path.join(work, "verdict.img")
        with open(path, "wb") as f:
            f.write(data)
        sound = native_verdict(cli, path).startswith("sound \u2014 ")
        expected = [f"_{receiver}_", "_usb_" if kind == "USB" else "_serial_"]
        check(all(e in name for e in expected) and (verdict == "sound \u2014 safe to flash") == sound and
              size == f"{len(data):,} bytes" and digest == hashlib.sha256(data).hexdigest(),
              f"{shown}: {name}: {receiver}, {kind}, {verdict}, {size}")


def check_page_checks(driver, label, cli, work):
    sound = os.path.join(work, "native-sample.bmp", "Output", "sample_kestro300_serial_welcome.img")
    damaged = os.path.join(work, "damaged_serial_welcome.img")
    with open(sound, "rb") as f:
        data = bytearray(f.read())
    data[64 + 4096 + 400] ^= 0x5A  # inside the welcome image's colour table
    with open(damaged, "wb") as f:
        f.write(data)
    bitmap = os.path.join(work, "logo.bmp")
    prefixes = {sound: "sound \u2014 ", damaged: "DAMAGED \u2014 do not flash: ", bitmap: ""}
    for path, prefix in prefixes.items():
        sound_expected = path == sound
        driver.execute_script("document.getElementById('check-verdict').textContent = '';")
        if path == damaged:
            # An update image dropped on the one target goes to Check.
            drop(driver, "drop", path)
        else:
            driver.find_element(By.ID, "check-file").send_keys(path)
        WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "check-verdict").text != "")
        verdict = driver.find_element(By.ID, "check-verdict").text
        # The inspector's verdict; its advice for a picture in the page's words.
        expected = in_page_words(native_verdict(cli, path))
        check(verdict.startswith(prefix) and verdict == expected, f"{label} check: {verdict}")
        layers = driver.find_elements(By.CSS_SELECTOR, "#check-layers li")
        if sound_expected:
            check(len(layers) >= 3, f"{label} check: {len(layers)} layers shown")
            points = [(x, y) for x in range(5, 720, 71) for y in range(3, 576, 57)]
            drawn = driver.execute_script(
                "const c = document.getElementById('check-picture').getContext('2d');"
                "return arguments[0].map(([x, y]) => Array.from(c.getImageData(x, y, 1, 1).data.slice(0, 3)));",
                points)
            source = os.path.join(work, "sample.bmp")
            check(drawn == bitmap_rgb(source, points), f"{label} check: the picture inside is drawn as the sample's")


def bitmap_pixels(data):
    """The red, green and blue planes of an 8-bit bottom-up bitmap's bytes,
    rows top first, each as bytes."""
    offset = int.from_bytes(data[10:14], "little")
    table = 14 + int.from_bytes(data[14:18], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    stride = (width + 3) & ~3
    indices = b"".join(data[offset + y * stride:offset + y * stride + width] for y in range(height - 1, -1, -1))
    colours = data[table:table + 4 * 256].ljust(4 * 256, b"\0")
    return [indices.translate(bytes(colours[4 * i + channel] for i in range(256))) for channel in (2, 1, 0)]


def psnr(a, b):
    """Between two bitmaps' planes (bitmap_pixels)."""
    error = sum((x - y) ** 2 for pa, pb in zip(a, b) for x, y in zip(pa, pb)) / (3 * len(a[0]))
    return float("inf") if error == 0 else 10 * math.log10(255 ** 2 / error)


@functools.lru_cache(maxsize=None)
def native_import_once(cli, work, picture, options):
    return native_import(cli, work, picture, dict(options))


def native_import(cli, work, picture, options):
    """The command line's import of picture with these options (the rest its
    defaults): the bitmap's bytes and its report (without the line naming the
    file written)."""
    out = os.path.join(work, "native-import-" + picture + ".bmp")
    flags = []
    for name, value in options.items():
        flags += [f"--{name}"] if value is True else [f"--{name}", value]
    source = os.path.join(work, picture)
    run = subprocess.run([cli, "import"] + flags + [source, out], capture_output=True, text=True)
    report = [line for line in run.stdout.splitlines() if not line.startswith("Written: ")]
    # The command line says the picture's warnings once, on stderr; the page
    # shows them at the end of its report.
    said = f"kestro-welcome-cli: warning: {source}: "
    report += ["Warning: " + line[len(said):] for line in run.stderr.splitlines() if line.startswith(said)]
    with open(out, "rb") as f:
        return f.read(), "\n".join(report)


def psnr_in(report):
    """The PSNR a report gives; none for a bitmap kept as it was, nothing lost."""
    found = re.search(r"PSNR:\s+([0-9.]+) dB", report)
    return float(found.group(1)) if found else float("inf")


def bitmap_name(picture, options, kept=False):
    """The name the page gives the bitmap of picture imported with these
    options: the TV always, each other option when not the default."""
    o = dict(IMPORT_DEFAULTS, **(options or {}))
    if kept:
        return stem(picture) + ".bmp"
    tag = [o["display"].replace(":", "x")] + ([o["safe"] + "-safe"] if o["safe"] != "none" else [])
    tag += (["fill"] if o["fill"] else []) + ([o["background"][1:]] if o["background"] != "#000000" else [])
    tag += ["dither-" + o["dither"]] if o["dither"] != "auto" else []
    return stem(picture) + "-" + "-".join(tag) + ".bmp"


# The command line's words in a warning's advice, and the page's for the same.
PAGE_WORDS = [("(--safe action)", "(choose Safe area: action-safe)"), ("(--safe title)", "(choose Safe area: title-safe)"),
              ("\u2014 import it, then use make",
               "\u2014 drop it on 1 Your picture, which imports it and makes its update images"),
              ("\u2014 use make", "\u2014 drop it on 1 Your picture to make its update images")]


def in_page_words(report):
    for line_words, page_words in PAGE_WORDS:
        report = report.replace(line_words, page_words)
    return report


def set_options(driver, options):
    """Sets the page's import options as a script would, without the change
    events that import the shown picture again."""
    driver.execute_script(
        "const options = arguments[0];"
        "for (const [name, value] of Object.entries(options)) {"
        "  const control = document.getElementById('import-' + name);"
        "  if (control.type === 'checkbox') control.checked = value; else control.value = value;"
        "}"
        "document.getElementById('import-status').textContent = '';",
        dict(IMPORT_DEFAULTS, **(options or {})))


def page_import(driver, path, how, options=None, kept=False):
    """Imports path in the page with these options (the rest the page's
    defaults), picked, dropped or pasted on the one target; returns its
    status line once its images are made too."""
    set_options(driver, options)
    if how == "pick":
        driver.find_element(By.ID, "file").send_keys(path)
    elif how == "paste":
        paste(driver, path)
    else:
        drop(driver, "drop", path)
    return import_done(driver, bitmap_name(os.path.basename(path), options, kept))


def import_done(driver, name):
    WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "engine").text == "Ready." and (
        d.find_element(By.ID, "import-status").text.startswith((name + ": ", "ERROR"))))
    return driver.find_element(By.ID, "import-status").text


def draw_jpeg(driver, path):
    """A JPEG the browser draws and encodes itself: a picture that Qt's and
    the browser's decoders read a little differently."""
    data = driver.execute_script(
        "const c = document.createElement('canvas'); c.width = 1280; c.height = 960;"
        "const x = c.getContext('2d');"
        "const g = x.createLinearGradient(0, 0, 1280, 960);"
        "g.addColorStop(0, '#204080'); g.addColorStop(0.5, '#e0a030'); g.addColorStop(1, '#30a060');"
        "x.fillStyle = g; x.fillRect(0, 0, 1280, 960);"
        "x.fillStyle = '#fff'; x.beginPath(); x.arc(640, 480, 300, 0, 7); x.fill();"
        "return c.toDataURL('image/jpeg', 0.9).split(',')[1];")
    with open(path, "wb") as f:
        f.write(base64.b64decode(data))


def check_page_imports(driver, label, cli, work, downloads):
    # Cancelled while the worker reads a 24-megapixel picture (the click comes
    # with the drop, before the worker can have finished): the page starts a
    # fresh worker, and the imports below run on it.
    driver.execute_script(
        "const status = document.getElementById('import-status'); window.kwsStatuses = [];"
        "new MutationObserver(() => kwsStatuses.push(status.textContent))"
        "  .observe(status, {childList: true, characterData: true, subtree: true});")
    drop(driver, "drop", os.path.join(work, "large.png"),
         "const cancel = document.getElementById('import-cancel');"
         "if (cancel.hidden) throw new Error('Cancel is not offered while importing');"
         "cancel.click();")
    check(driver.find_element(By.ID, "import-status").text == "Import cancelled.", f"{label} import: cancelled")
    wait_ready(driver, f"{label} import: after the cancel")
    # The TV test card: the command line's, shown as a 4:3 TV shows it.
    card = os.path.join(work, "native-card.bmp")
    if not os.path.exists(card):
        subprocess.run([cli, "-q", "sample", "--test-card", card], check=True)
    driver.execute_script("document.getElementById('import-status').textContent = '';")
    driver.find_element(By.ID, "import-card").click()
    WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "engine").text == "Ready." and (
        d.find_element(By.ID, "import-status").text.startswith(("test_card.bmp: ", "ERROR"))))
    for name in os.listdir(downloads):
        os.remove(os.path.join(downloads, name))
    name, data = download(driver.find_element(By.ID, "import-bitmap"), downloads)
    with open(card, "rb") as f:
        check(name == "test_card.bmp" and data == f.read(), f"{label} test card: the command line's, byte for byte")
    for picture, how, identical, options in IMPORTS:
        shown = f"{label} import ({how}) {picture} {options or ''}"
        native_bytes, native_report = native_import_once(cli, work, picture, tuple(options.items()))
        kept = picture == "kept.bmp"
        expected_name = bitmap_name(picture, options, kept)
        status = page_import(driver, os.path.join(work, picture), how, options, kept)
        if not status.startswith(expected_name + ": "):
            check(False, f"{shown}: {status}")
            continue
        check(not driver.find_element(By.ID, "import-cancel").is_displayed(), f"{shown}: Cancel is gone once done")
        canvas_width = driver.execute_script("return document.getElementById('import-picture').width;")
        display = options.get("display", "4:3")
        check(canvas_width == SHOWN_WIDTH[display],
              f"{shown}: shown as a {display} TV shows it, {canvas_width} pixels wide")
        for name in os.listdir(downloads):
            os.remove(os.path.join(downloads, name))
        name, data = download(driver.find_element(By.ID, "import-bitmap"), downloads)
        check(data is not None and name == expected_name, f"{shown}: the bitmap downloads as {name}")
        if data is None:
            continue
        page_report = driver.find_element(By.ID, "import-report").get_attribute("textContent").strip()
        between = float("inf") if data == native_bytes else psnr(bitmap_pixels(data), bitmap_pixels(native_bytes))
        line = (f"page {psnr_in(page_report):.2f} dB, command line {psnr_in(native_report):.2f} dB (each against "
                f"its placed canvas), {between:.2f} dB between the two bitmaps")
        named = " ".join(options[k] for k in ("display", "dither") if k in options)
        imports.append((label, picture + (" " + named if named else ""), data == native_bytes, line))
        if identical:
            check(data == native_bytes, f"{shown}: the command line's import, byte for byte ({line})")
            check(page_report == in_page_words(native_report),
                  f"{shown}: the report in the command line's words, its warnings' advice in the page's")
        else:
            # Above 60 dB both are within a quarter of a level of their
            # canvas: a tenth of a level more or less is no difference.
            page_db, native_db = psnr_in(page_report), psnr_in(native_report)
            check(abs(page_db - native_db) <= 0.5 or min(page_db, native_db) >= 60,
                  f"{shown}: within 0.5 dB of the command line's, or both beyond 60 dB ({line})")
    # The imports above took longer than the cancelled one would have.
    late = [t for t in driver.execute_script("return window.kwsStatuses;") if t.startswith("large")]
    check(late == [], f"{label} import: nothing of the cancelled import came back {late}")
    # Made from what was imported last, without a click.
    status = driver.find_element(By.ID, "make-status").text
    made_from = bitmap_name(IMPORTS[-1][0], IMPORTS[-1][3])[:-4]
    check(status == made_from + ": 6 images made", f"{label} import: made from the import: {status}")
    # No picture at all: refused in the desktop's words, and the page goes on.
    junk = os.path.join(work, "junk.png")
    with open(junk, "w") as f:
        f.write("no picture\n")
    run = subprocess.run([cli, "import", junk, os.path.join(work, "junk.bmp")], capture_output=True, text=True)
    status = page_import(driver, junk, "pick")
    words = "Cannot read junk.png as a picture: "
    check(driver.find_element(By.ID, "make-status").text == "", f"{label} import: no images of a picture refused")
    check(run.returncode != 0 and f"Cannot read {junk} as a picture: " in run.stderr and
          status.startswith("ERROR: " + words),
          f"{label} import: a file that is no picture is refused as the command line refuses it: {status}")


# Hostile pictures: each ends in a message, never in a page left importing.
# Where the command line refuses one too, the page gives its reason word for
# word, found before anything draws or decodes it. A cut GIF, which the
# browser cannot decode, is refused with a word that the desktop program
# imports it (with its warning); a drawing holding HTML, which the browser
# keeps to itself, with that reason.
HOSTILE = [("dashed.svg", "too complex"), ("paths.svg", "too complex"), ("vast.png", "too large"),
           ("cut.gif", "the desktop program"), ("html.svg", "foreignObject")]


def check_page_hostile(driver, label, cli, work):
    for picture, words in HOSTILE:
        shown = f"{label} hostile {picture}"
        run = subprocess.run([cli, "import", os.path.join(work, picture), os.path.join(work, "hostile.bmp")],
                             capture_output=True, text=True)
        try:
            status = page_import(driver, os.path.join(work, picture), "pick")
        except TimeoutException:
            check(False, f"{shown}: the page is left at {driver.find_element(By.ID, 'import-status').text!r}")
            driver.find_element(By.ID, "import-cancel").click()
            wait_ready(driver, f"{shown}: after the cancel")
            continue
        print(f"  {shown}: {status[:200]}")
        check(driver.find_element(By.ID, "engine").text == "Ready." and
              not driver.find_element(By.ID, "import-cancel").is_displayed(), f"{shown}: the page is ready again")
        if run.returncode != 0:
            reason = run.stderr.splitlines()[0].split(" as a picture: ", 1)[-1]
            check(words in reason and status == f"ERROR: Cannot read {picture} as a picture: {reason}",
                  f"{shown}: refused in the command line's words ({reason}): {status}")
        else:
            check(status.startswith(f"ERROR: Cannot read {picture} as a picture: ") and words in status,
                  f"{shown}: refused with its reason ({words}): {status}")


def native_make_of(cli, work, bitmap, name):
    """The six images the command line makes of the bitmap's bytes under name."""
    folder = os.path.join(work, "made-of")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bitmap)
    return native(cli, folder, name)[0]


def change_setting(driver, name, value):
    """Changes one of the page's settings as a person does: the change event
    comes with it."""
    control = driver.find_element(By.ID, "import-" + name)
    if control.tag_name == "select":
        Select(control).select_by_value(value)
    elif control.get_attribute("type") == "checkbox":
        if control.is_selected() != value:
            control.click()
    else:
        driver.execute_script("arguments[0].value = arguments[1];"
                              "arguments[0].dispatchEvent(new Event('change', {bubbles: true}));", control, value)


# A person's path: (picture, how it comes to the page, whether the page's
# bitmap is the command line's byte for byte). Each is imported for a 4:3
# TV, then the TV is switched to 16:9 with no new pick.
PATHS = [("drawn.jpg", "drop", False), ("photo.png", "paste", True)]


def check_person_path(driver, label, cli, work, downloads):
    for picture, how, identical in PATHS:
        shown = f"{label} path ({how}) {picture}"
        status = page_import(driver, os.path.join(work, picture), how)
        check(status.startswith(bitmap_name(picture, {}) + ": "), f"{shown}: imported for a 4:3 TV: {status}")
        # The 4:3 results stay in sight, out of reach, until the 16:9 ones come.
        driver.execute_script(
            "window.kwsOutOfReach = new Set();"
            "for (const id of ['import-result', 'make-result']) {"
            "  const e = document.getElementById(id);"
            "  new MutationObserver(() => { if (e.inert) kwsOutOfReach.add(id); })"
            "    .observe(e, {attributes: true, attributeFilter: ['inert']});"
            "}")
        change_setting(driver, "display", "16:9")
        options = {"display": "16:9"}
        name = bitmap_name(picture, options)
        status = import_done(driver, name)
        stale = sorted(driver.execute_script("return Array.from(kwsOutOfReach);"))
        check(stale == ["import-result", "make-result"],
              f"{shown}: the 4:3 results could not be taken once 16:9 was chosen {stale}")
        check(status.startswith(name + ": "), f"{shown}: the 16:9 switch imports it again, no new pick: {status}")
        native_bytes, native_report = native_import_once(cli, work, picture, tuple(options.items()))
        report = driver.find_element(By.ID, "import-report").get_attribute("textContent").strip()
        display = [line for line in report.splitlines() if line.startswith("Display:")]
        check(display and display == [line for line in native_report.splitlines() if line.startswith("Display:")],
              f"{shown}: the report shown is for 16:9: {display}")
        if identical:
            check(report == in_page_words(native_report), f"{shown}: the report is the command line's")
        base = name[:-4]
        check(driver.find_element(By.ID, "make-status").text == base + ": 6 images made",
              f"{shown}: the images are made for 16:9 without a click")
        check(driver.execute_script("return !document.getElementById('make-result').inert;"),
              f"{shown}: the 16:9 images can be taken")
        for old in os.listdir(downloads):
            os.remove(os.path.join(downloads, old))
        got_name, bitmap = download(driver.find_element(By.ID, "import-bitmap"), downloads)
        check(got_name == name and bitmap is not None, f"{shown}: the bitmap downloads as {got_name}")
        if bitmap is None:
            continue
        if identical:
            check(bitmap == native_bytes, f"{shown}: the bitmap is the command line's 16:9 import, byte for byte")
        else:
            between = psnr(bitmap_pixels(bitmap), bitmap_pixels(native_bytes))
            check(between > 30, f"{shown}: the bitmap is near the command line's 16:9 import ({between:.1f} dB)")
        images = native_make_of(cli, work, bitmap if not identical else native_bytes, name)
        got = download_all(driver, downloads)
        check(len(images) == 6 and all(got.get(n) == d for n, d in images.items()),
              f"{shown}: the six images are the command line's of the 16:9 bitmap, byte for byte")
        check_zip(os.path.join(downloads, base + "_update_images.zip"), images, shown)
    set_options(driver, {})


def check_before_after(driver, label, work):
    """The slider shows the picture as placed left of it, the bitmap right of
    it; zoom 2:1 pans inside the preview, not the page; the budget bar is the
    report's size."""
    shown = f"{label} before/after"
    page_import(driver, os.path.join(work, "photo.png"), "pick")
    # A checksum of the left half of the frame, inside the guides.
    read = ("const c = document.getElementById('import-picture');"
            "const d = c.getContext('2d').getImageData(48, 48, c.width / 2 - 60, c.height - 96).data;"
            "let h = 2166136261;"
            "for (let i = 0; i < d.length; ++i) if (i % 4 !== 3) h = Math.imul(h ^ d[i], 16777619) >>> 0;"
            "return h;")
    after = driver.execute_script(read)

    def slide(value):
        driver.execute_script("const s = document.getElementById('view-split'); s.value = arguments[0];"
                              "s.dispatchEvent(new Event('input', {bubbles: true}));", value)

    slide(100)
    before = driver.execute_script(read)
    slide(0)
    again = driver.execute_script(read)
    check(before != after and again == after, f"{shown}: the slider shows the picture before its colours were "
          "reduced, and back")
    report = driver.find_element(By.ID, "import-report").get_attribute("textContent")
    size = int(re.search(r"Size:\s+([0-9,]+) of", report).group(1).replace(",", ""))
    meter = driver.execute_script("const m = document.getElementById('import-budget'); return [m.value, m.max];")
    check(meter == [size, 180208], f"{shown}: the budget bar shows {meter[0]:,} of {meter[1]:,} bytes")
    Select(driver.find_element(By.ID, "view-zoom")).select_by_value("2")
    zoomed = driver.execute_script(
        "const p = document.getElementById('view-port'), c = document.getElementById('import-picture');"
        "p.scrollLeft = 200;"
        "return [c.clientWidth, p.scrollLeft, document.documentElement.scrollWidth - innerWidth];")
    check(zoomed[0] == 2 * 768 and zoomed[1] == 200 and zoomed[2] <= 0,
          f"{shown}: 2:1 shows the TV's pixels twice as large and pans inside the preview {zoomed}")
    Select(driver.find_element(By.ID, "view-zoom")).select_by_value("fit")


def check_batch(driver, label, cli, work, downloads):
    """Three pictures at once, two of one base name: one zip of their images,
    one SHA256SUMS, progress n of m."""
    shown = f"{label} batch"
    driver.execute_script(
        "const status = document.getElementById('picture-status'); window.kwsProgress = [];"
        "new MutationObserver(() => kwsProgress.push(status.textContent))"
        "  .observe(status, {childList: true, characterData: true, subtree: true});")
    set_options(driver, {})
    paths = [os.path.join(work, n) for n in ("logo.bmp", "photo.png", "banner.png")]
    drop(driver, "drop", paths, names=["logo.bmp", "logo.png", "banner.png"])
    WebDriverWait(driver, WAIT * 3, POLL).until(lambda d: d.find_element(By.ID, "batch-zip").is_displayed()
                                          or d.find_element(By.ID, "engine").text.startswith("ERROR"))
    progress = driver.execute_script("return window.kwsProgress;")
    check(all(any(p.startswith(f"{n} of 3") for p in progress) for n in (1, 2, 3)), f"{shown}: progress n of 3 {progress}")
    items = [li.text for li in driver.find_elements(By.CSS_SELECTOR, "#batch-list li")]
    check(len(items) == 3 and all("all sound" in i for i in items), f"{shown}: every picture's verdicts {items}")
    for old in os.listdir(downloads):
        os.remove(os.path.join(downloads, old))
    name, data = download(driver.find_element(By.ID, "batch-zip"), downloads)
    expected = {}
    for source, stem in (("logo.bmp", "logo-1"), ("photo.png", "logo-2-4x3"), ("banner.png", "banner-4x3")):
        bitmap = open(os.path.join(work, source), "rb").read() if source.endswith(".bmp") else \
            native_import_once(cli, work, source, ())[0]
        expected.update(native_make_of(cli, work, bitmap, stem + ".bmp"))
    check(data is not None and len(expected) == 18, f"{shown}: the zip {name} arrives")
    if data is not None:
        check_zip(os.path.join(downloads, name), expected, shown)


def check_remembered(driver, label):
    chosen = {"display": "16:9", "safe": "title", "dither": "none", "fill": True, "background": "#336699"}
    for name, value in chosen.items():
        change_setting(driver, name, value)
    driver.refresh()
    wait_ready(driver, f"{label} after a reload")
    found = driver.execute_script(
        "return Object.fromEntries(arguments[0].map((n) => {"
        "  const c = document.getElementById('import-' + n);"
        "  return [n, c.type === 'checkbox' ? c.checked : c.value]; }));", list(chosen))
    check(found == chosen, f"{label}: the settings are remembered after a reload {found}")
    for name, value in IMPORT_DEFAULTS.items():
        change_setting(driver, name, value)


def guide_pixels(png):
    """How many pixels of a screenshot are the action-safe (yellow) and
    title-safe (cyan) guides' colours."""
    from PIL import Image
    image = Image.open(io.BytesIO(png)).convert("RGB")
    counts = {"#ffd000": 0, "#00d0ff": 0}
    for r, g, b in image.getdata():
        if r > 235 and 190 < g < 225 and b < 30:
            counts["#ffd000"] += 1
        elif r < 30 and 190 < g < 225 and b > 235:
            counts["#00d0ff"] += 1
    return counts


def check_dark(driver, label, work):
    """In a dark page the preview, its guides and the test card keep their
    colours."""
    driver.find_element(By.ID, "import-card").click()
    import_done(driver, "test_card.bmp")
    canvas = driver.find_element(By.ID, "import-picture")
    light = driver.execute_script("return arguments[0].toDataURL();", canvas)
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                           {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    try:
        dark_page = driver.execute_script("return matchMedia('(prefers-color-scheme: dark)').matches;")
        background = driver.execute_script("return getComputedStyle(document.documentElement).backgroundColor;")
        driver.execute_script("arguments[0].scrollIntoView();", canvas)
        png = canvas.screenshot_as_png
        with open(os.path.join(work, "dark-preview.png"), "wb") as f:
            f.write(png)
        driver.save_screenshot(os.path.join(work, "dark-page.png"))
        counts = guide_pixels(png)
        dark = driver.execute_script("return arguments[0].toDataURL();", canvas)
        check(dark_page and background == "rgb(22, 24, 28)", f"{label} dark: the page is dark ({background})")
        check(all(n > 500 for n in counts.values()), f"{label} dark: the guides keep their colours {counts}")
        check(dark == light, f"{label} dark: the preview and the test card are drawn as in a light page")
    finally:
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})


def check_keyboard(driver, label):
    """The path without a mouse: the sample made with Enter, the TV switched
    with the arrow keys, the images kept as they are."""
    set_options(driver, {})
    driver.execute_script("document.getElementById('make-status').textContent = '';"
                          "document.activeElement && document.activeElement.blur();")

    def tab_to(control):
        for _ in range(60):
            ActionChains(driver).send_keys(Keys.TAB).perform()
            if driver.switch_to.active_element.get_attribute("id") == control:
                return True
        return False

    check(tab_to("make-sample"), f"{label} keyboard: Tab reaches the sample")
    ActionChains(driver).send_keys(Keys.ENTER).perform()
    import_done(driver, "sample.bmp")
    check(driver.find_element(By.ID, "make-status").text == "sample: 6 images made",
          f"{label} keyboard: Enter makes the sample's images")
    check(tab_to("import-display"), f"{label} keyboard: Tab reaches the TV")
    ActionChains(driver).send_keys(Keys.ARROW_DOWN).perform()
    WebDriverWait(driver, WAIT, POLL).until(
        lambda d: d.execute_script("return document.getElementById('import-picture').width;") == 1024)
    import_done(driver, "sample.bmp")
    check(driver.find_element(By.ID, "make-status").text == "sample: 6 images made",
          f"{label} keyboard: the TV switched with the arrow keys, the sample shown for 16:9, its images kept")
    change_setting(driver, "display", "4:3")
    import_done(driver, "sample.bmp")


def screenshots(driver, label, work):
    """The page at a laptop's and a phone's width, whole, for the report."""
    for width, height in ((1366, 768), (390, 844)):
        driver.set_window_size(width, height)
        driver.execute_script("window.scrollTo(0, 0);")
        driver.save_screenshot(os.path.join(work, f"{label}-{width}.png"))
        shot = driver.execute_cdp_cmd("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})
        with open(os.path.join(work, f"{label}-{width}-full.png"), "wb") as f:
            f.write(base64.b64decode(shot["data"]))
    driver.set_window_size(1366, 768)


def check_reachable(driver, label):
    """Every control has a label and the keyboard reaches it; nothing spills
    sideways at a laptop's and at a phone's width."""
    unlabelled = driver.execute_script(
        "return Array.from(document.querySelectorAll('input, button, a[href], canvas, pre'))"
        ".filter(e => !(e.labels && e.labels.length) && !e.textContent.trim() && !e.getAttribute('aria-label'))"
        ".map(e => e.id);")
    check(unlabelled == [], f"{label}: every control has a label {unlabelled}")
    driver.find_element(By.TAG_NAME, "body").click()
    reached = set()
    for _ in range(45):
        ActionChains(driver).send_keys(Keys.TAB).perform()
        reached.add(driver.switch_to.active_element.get_attribute("id"))
    for control in ("file", "paste", "make-sample", "import-card", "check-file", "import-display", "import-safe",
                    "import-dither", "import-fill", "import-background"):
        check(control in reached, f"{label}: the keyboard reaches {control}")
    for width, height in ((1366, 768), (390, 844)):
        driver.set_window_size(width, height)
        spill = driver.execute_script("return document.documentElement.scrollWidth - window.innerWidth;")
        check(spill <= 0, f"{label}: nothing spills sideways at {width} x {height}")
    driver.set_window_size(1366, 768)


def check_quiet(driver, label, allowed, expected):
    errors = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check(errors == [], f"{label}: no console errors {errors}")
    urls = requests_made(driver)
    # The browser's record of requests is read at all: it holds the page's own.
    seen = [name for name in expected if any(u.split("?")[0].endswith(name) for u in urls)]
    check(seen == expected, f"{label}: the browser's request record holds the page's files {seen}")
    foreign = [u for u in urls if not any(u.startswith(a) for a in allowed)]
    check(foreign == [], f"{label}: no request beyond the page's own files {foreign}")


def controlled(driver):
    return driver.execute_script("return !!navigator.serviceWorker.controller;")


LATER = "<!-- a later build -->"


def later(driver):
    """Whether the page open is the one rebuilt() made."""
    return driver.execute_script("return document.body.innerHTML.includes(arguments[0]);", LATER)


def rebuilt(folder):
    """The page in folder as a new build of a changed page leaves it: a file
    changed, and the service worker's version made anew."""
    index = os.path.join(folder, "index.html")
    with open(index, encoding="utf-8") as f:
        html = f.read()
    with open(index, "w", encoding="utf-8") as f:
        f.write(html.replace("</body>", LATER + "\n</body>"))
    files = sorted(n for n in os.listdir(folder) if n != "service_worker.js")
    subprocess.run([sys.executable, os.path.join(HERE, "..", "..", "web", "offline_page.py"),
                    os.path.join(HERE, "..", "..", "web", "service_worker.js"),
                    os.path.join(folder, "service_worker.js"), folder] + files, check=True)


def open_with(driver, path):
    """Hands the file to the page as its "Open with" does once installed
    (install.js passes the launch's files on as a kws-open event)."""
    with open(path, "rb") as f:
        data = base64.b64encode(f.read()).decode()
    driver.execute_script(
        "const file = new File([Uint8Array.from(atob(arguments[1]), (c) => c.charCodeAt(0))], arguments[0]);"
        "document.dispatchEvent(new CustomEvent('kws-open', {detail: [file]}));", os.path.basename(path), data)


def check_opened(driver, cli, work):
    """A bitmap opened with the page is made into images, an update image
    checked."""
    native(cli, work, "logo.bmp")
    driver.execute_script("document.getElementById('make-status').textContent = '';")
    open_with(driver, os.path.join(work, "logo.bmp"))
    WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "make-status").text != "")
    status = driver.find_element(By.ID, "make-status").text
    check(status == "logo: 6 images made", f"installed: a bitmap opened with the page: {status}")
    image = os.path.join(work, "native-logo.bmp", "Output", "logo_kestro300_serial_welcome.img")
    driver.execute_script("document.getElementById('check-verdict').textContent = '';")
    open_with(driver, image)
    WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_element(By.ID, "check-verdict").text != "")
    verdict = driver.find_element(By.ID, "check-verdict").text
    check(verdict == native_verdict(cli, image), f"installed: an update image opened with the page: {verdict}")


def check_installed(driver, page, cli, work):
    """The served page installs (the browser finds nothing missing), opens
    .bmp and .img files, works with its server stopped once its service
    worker is in charge, and, when the server holds a newer page, says so
    and offers to reload."""
    folder = os.path.join(os.path.dirname(page), "web-test-installed")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(page, folder)
    server = serve(folder)
    port = server.server_address[1]
    origin = f"http://localhost:{port}/"
    asked_before = len(Handler.requested)
    try:
        driver.get(origin + "index.html")
        wait_ready(driver, "installed")
        errors = driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"]
        check(errors == [], f"installed: the browser finds the page installable {errors}")
        manifest = driver.execute_cdp_cmd("Page.getAppManifest", {})
        handlers = json.loads(manifest["data"]).get("file_handlers", [])
        opens = sorted(ext for handler in handlers for exts in handler["accept"].values() for ext in exts)
        check(manifest["errors"] == [] and opens == [".bmp", ".img"],
              f"installed: the manifest opens {opens} {manifest['errors']}")
        check_opened(driver, cli, work)
        WebDriverWait(driver, WAIT, POLL).until(controlled)
        check(True, "installed: the service worker is in charge of the page")
        check(driver.find_elements(By.ID, "update-banner") == [], "installed: no newer version is offered")

        stop(server)
        driver.refresh()
        wait_ready(driver, "installed, server stopped")
        status = make(driver, None, "sample")
        check(status == "sample: 6 images made", f"installed, server stopped: {status}")
        driver.get(origin)
        wait_ready(driver, "installed, server stopped, opened at the folder's address")

        rebuilt(folder)
        server = serve(folder, port)
        driver.refresh()
        wait_ready(driver, "installed, a newer page served")
        check(not later(driver), "installed: the page open is the older one")
        WebDriverWait(driver, WAIT, POLL).until(lambda d: d.find_elements(By.ID, "update-banner"))
        banner = driver.find_element(By.ID, "update-banner").get_attribute("textContent")
        check(banner == "A new version of this page is ready \u2014 Reload", f"installed: {banner}")
        driver.set_window_size(390, 844)
        spill = driver.execute_script("return document.documentElement.scrollWidth - window.innerWidth;")
        check(spill <= 0, "installed: with the offer, nothing spills sideways at 390 x 844")
        driver.set_window_size(1366, 768)
        driver.find_element(By.ID, "update-reload").click()
        WebDriverWait(driver, WAIT, POLL).until(lambda d: not d.find_elements(By.ID, "update-banner"))
        wait_ready(driver, "installed, reloaded")
        check(later(driver), "installed: after Reload the newer page is open")
        check_quiet(driver, "installed", [origin, "blob:" + origin[:-1]], ["/index.html", "/app.js"])
        page_files = {"/" + n for n in os.listdir(folder)}
        strays = sorted({p for p in Handler.requested[asked_before:] if p.split("?")[0] not in page_files})
        check(strays == [], f"installed: the server was asked only for the page's files {strays}")
    finally:
        stop(server)


def check_header_policy(driver, page):
    """Served with the page's own policy as a header on every file, as the
    README says a host may (connect-src 'self' added), the page starts and
    its service worker takes charge."""
    with open(os.path.join(page, "index.html"), encoding="utf-8") as f:
        policy = re.search(r'http-equiv="Content-Security-Policy" content="([^"]*)"', f.read()).group(1)
    policy = policy.replace("default-src 'none';", "default-src 'none'; connect-src 'self';")

    class WithPolicy(Handler):
        def end_headers(self):
            self.send_header("Content-Security-Policy", policy)
            super().end_headers()

    server = serve(page, handler=WithPolicy)
    origin = f"http://localhost:{server.server_address[1]}/"
    try:
        driver.get(origin + "index.html")
        wait_ready(driver, "policy as a header")
        WebDriverWait(driver, WAIT, POLL).until(controlled)
        check(True, "policy as a header: the service worker is in charge of the page")
        check_quiet(driver, "policy as a header", [origin, "blob:" + origin[:-1]], ["/index.html", "/app.js"])
    finally:
        stop(server)


table = {}
imports = []


def main():
    build, cli, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    page = os.path.join(build, "page")
    single = os.path.abspath(os.path.join(build, "kestro-welcome.html"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([cli, "-q", "sample", os.path.join(work, "sample.bmp")], check=True)
    subprocess.run([sys.executable, os.path.join(HERE, "make_pictures.py"), work], check=True)
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads)

    server = serve(page)
    origin = f"http://localhost:{server.server_address[1]}/"
    driver = browser(downloads)
    try:
        driver.get(origin + "index.html")
        wait_ready(driver, "served")
        check("Nothing leaves this computer" in driver.find_element(By.TAG_NAME, "body").text,
              "served: the page says that nothing leaves the computer")
        check_page_makes(driver, "served", cli, work, downloads, PICTURES)
        check_page_checks(driver, "served", cli, work)
        draw_jpeg(driver, os.path.join(work, "drawn.jpg"))
        check_page_imports(driver, "served", cli, work, downloads)
        check_page_hostile(driver, "served", cli, work)
        check_person_path(driver, "served", cli, work, downloads)
        check_before_after(driver, "served", work)
        screenshots(driver, "served", work)
        check_batch(driver, "served", cli, work, downloads)
        check_keyboard(driver, "served")
        check_dark(driver, "served", work)
        check_remembered(driver, "served")
        check_reachable(driver, "served")
        check_quiet(driver, "served", [origin, "blob:" + origin[:-1]], ["/index.html", "/app.js", "/worker.js"])
        page_files = {"/" + n for n in os.listdir(page)}
        strays = sorted({p for p in Handler.requested if p.split("?")[0] not in page_files})
        check(strays == [], f"served: the server was asked only for the page's files {strays}")
        check_installed(driver, page, cli, work)
        check_header_policy(driver, page)

        driver.get("file://" + single)
        wait_ready(driver, "single file")
        with open(single, encoding="utf-8") as f:
            html = f.read()
        check('rel="manifest"' not in html and "serviceWorker" not in html,
              "single file: neither a manifest nor a service worker, opened from the disk")
        check_page_makes(driver, "single file", cli, work, downloads, PICTURES[:3])
        check_page_checks(driver, "single file", cli, work)
        check_page_imports(driver, "single file", cli, work, downloads)
        check_page_hostile(driver, "single file", cli, work)
        check_person_path(driver, "single file", cli, work, downloads)
        check_remembered(driver, "single file")
        check_quiet(driver, "single file", ["file://" + single, "blob:null/"], ["/kestro-welcome.html"])
    finally:
        driver.quit()
        server.shutdown()

    print("\nbyte identity with the command line (picture x image: pages that match):")
    for (picture, name), labels in sorted(table.items()):
        print(f"  {picture:11} {name:40} {', '.join(sorted(labels))}")
    print("\nimports (page: picture: the same bytes as the command line's; quality):")
    for label, picture, same, line in imports:
        print(f"  {label:11} {picture:17} {'identical' if same else 'differs  '} {line}")
    if failures:
        print(f"\n{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("\nall browser checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
