#!/usr/bin/python3
"""The HTML reports in a real browser. Writes the reports of `fsrank rank` on credit-g and on a
generated file of 2,000 predictors and of `fsrank check`, checks each is well-formed XHTML
(xmllint), loads it in headless chromium, and fails on any console message or a screenshot
without the charts' bars. The screenshots stay in WORK_DIR to be looked at.

    report_browser_test.py FSRANK EXAMPLES_DIR WORK_DIR

Needs chromium, xmllint and python3-pil (Debian packages).
"""

import os
import random
import shutil
import subprocess
import sys

from PIL import Image

FSRANK, EXAMPLES, WORK = sys.argv[1:4]
BAR_BLUE = (43, 108, 176)  # the kept bars (#2b6cb0)


def wide_file(path, predictors=2000, rows=400):
    """A categorical target and 2,000 predictors: a few dozen informative, the rest noise."""
    rng = random.Random(2000)
    with open(path, "w") as f:
        names = ["p%04d" % k if k % 4 else "cat%04d" % k for k in range(predictors)]
        f.write("y," + ",".join(names) + "\n")
        for _ in range(rows):
            y = rng.randrange(3)
            values = []
            for k in range(predictors):
                signal = y * (3.0 / (1 + k)) if k < 60 else 0.0
                if k % 4:
                    values.append("%.4f" % (rng.gauss(0, 1) + signal))
                else:
                    values.append("abc"[min(2, int(rng.random() * 3 + signal / 2))])
            f.write("%d,%s\n" % (y, ",".join(values)))


def run(args):
    result = subprocess.run([FSRANK] + args + ["-q"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit("fsrank %s failed: %s" % (" ".join(args), result.stderr))


def screenshot(page, png):
    profile = os.path.join(WORK, "profile")
    shutil.rmtree(profile, ignore_errors=True)
    log = subprocess.run(
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--user-data-dir=" + profile, "--enable-logging=stderr",
         "--log-level=0", "--hide-scrollbars", "--window-size=1200,2400",
         "--screenshot=" + png, "file://" + os.path.abspath(page)],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120).stdout
    console = [line for line in log.splitlines() if ":CONSOLE" in line]
    if console:
        sys.exit("%s: console messages:\n%s" % (page, "\n".join(console)))
    if not os.path.exists(png):
        sys.exit("%s: chromium wrote no screenshot:\n%s" % (page, log[-2000:]))


def check_pixels(png, want_bars):
    image = Image.open(png).convert("RGB")
    pixels = list(image.getdata())
    ink = sum(1 for p in pixels if p != (255, 255, 255)) / len(pixels)
    bars = sum(1 for p in pixels if p == BAR_BLUE)
    print("%s: %.1f%% not white, %d bar pixels" % (png, 100 * ink, bars))
    if ink < 0.02:
        sys.exit(png + ": the screenshot is blank")
    if want_bars and bars < 2000:
        sys.exit(png + ": no chart bars rendered")


def main():
    os.makedirs(WORK, exist_ok=True)
    wide = os.path.join(WORK, "wide2000.csv")
    wide_file(wide)
    credit = os.path.join(EXAMPLES, "credit-g.csv")
    pages = [
        ("credit", ["rank", credit, "--target", "class", "--select", "fdr=0.05"], True),
        ("credit-k", ["rank", credit, "--target", "class", "--select", "k=5"], True),
        ("wide2000", ["rank", wide, "--target", "y", "--select", "fdr=0.05"], True),
        ("check", ["check", credit, "--max-single", "90"], False),
    ]
    for name, args, bars in pages:
        page = os.path.join(WORK, name + ".html")
        run(args + ["--report", page])
        subprocess.run(["xmllint", "--noout", page], check=True)
        png = os.path.join(WORK, name + ".png")
        screenshot(page, png)
        check_pixels(png, bars)


if __name__ == "__main__":
    main()
