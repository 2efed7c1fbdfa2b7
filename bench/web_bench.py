#!/usr/bin/python3
"""The browser page beside the native command line, in one run: a make of
an 8-bit 720 x 576 bitmap and imports of pictures, the median of several
rounds each, on one thread on each side.

    bench/web_bench.py [ROUNDS]     (after a native build and ./web.sh)

Native: the CPU time (user + system) of the command line's process, pinned to
one CPU with OMP_NUM_THREADS=1, and of a process that does nothing but start
(--version), to tell the start-up apart. Page: the time the page's worker
takes (its WebAssembly runs on that one thread), decoding included for an
import; the page is served from localhost to Debian's chromium, headless.
Not a test: the figures depend on the machine and its load.
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys

from selenium.webdriver.common.by import By

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import web_test  # noqa: E402  (the browser test's page server, browser and page actions)

MAKE = "photo.bmp"
IMPORTS = ["photo.png", "grainy.bmp", "wide.png"]


def cpu_ms(command):
    """The CPU time of one run of command on one CPU, in milliseconds."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    env = dict(os.environ, OMP_NUM_THREADS="1")
    subprocess.run(["taskset", "-c", "0"] + command, env=env, check=True, capture_output=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return 1000 * ((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))


def native(cli, work, rounds):
    home = os.path.join(work, "home")
    out = os.path.join(work, "out.bmp")
    figures = {"start-up": statistics.median(cpu_ms([cli, "--version"]) for _ in range(rounds))}

    def make():
        shutil.rmtree(home, ignore_errors=True)
        return cpu_ms([cli, "--home", home, "make", os.path.join(work, MAKE)])

    figures["make " + MAKE] = statistics.median(make() for _ in range(rounds))
    for picture in IMPORTS:
        figures["import " + picture] = statistics.median(
            cpu_ms([cli, "import", os.path.join(work, picture), out]) for _ in range(rounds))
    return figures


def page(build, work, rounds):
    server = web_test.serve(os.path.join(build, "page"))
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads, exist_ok=True)
    driver = web_test.browser(downloads)
    figures = {}
    try:
        driver.get(f"http://localhost:{server.server_address[1]}/index.html")
        web_test.wait_ready(driver, "bench")

        def worker_ms(status_id):
            return float(driver.find_element(By.ID, status_id).get_attribute("data-ms"))

        runs = []
        for _ in range(rounds):
            web_test.make(driver, os.path.join(work, MAKE), "pick")
            runs.append(worker_ms("make-status"))
        figures["make " + MAKE] = statistics.median(runs)
        for picture in IMPORTS:
            runs = []
            for _ in range(rounds):
                web_test.page_import(driver, os.path.join(work, picture), "pick")
                runs.append(worker_ms("import-status"))
            figures["import " + picture] = statistics.median(runs)
    finally:
        driver.quit()
        server.shutdown()
    return figures


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    build = os.path.join(ROOT, "build", "web")
    cli = os.path.join(ROOT, "build", "release", "bin", "kestro-welcome-cli")
    work = os.path.join(ROOT, "build", "web-bench")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([sys.executable, os.path.join(ROOT, "tests", "web", "make_pictures.py"), work], check=True)
    mine = native(cli, work, rounds)
    theirs = page(build, work, rounds)
    start = mine.pop("start-up")
    print(f"median of {rounds} rounds; native start-up alone: {start:.0f} ms CPU")
    print(f"  {'':22} {'native ms CPU':>14} {'less start-up':>14} {'page ms':>9} {'page / native':>14}")
    for what, ms in mine.items():
        net = max(ms - start, 1e-9)
        print(f"  {what:22} {ms:14.0f} {net:14.0f} {theirs[what]:9.0f} "
              f"{theirs[what] / ms:6.2f} ({theirs[what] / net:.2f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
