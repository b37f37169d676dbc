#!/usr/bin/env python3
"""The pictures both programs draw with --plot, checked as a reader would.

For the worked cases of the end-to-end tables and for large generated
inputs, each program is run with --plot; its SVG must be well-formed XML, the
expected document (960 x 540, a title, framed panels), self-contained (no
script, no link, no outside font), every number finite and every shape inside
the view box, under 1 MB; and the picture's facts must be the run's: the
first and last times and the most downloads in progress, the first, last,
highest and lowest levels, as computed here from the input and the output.
The drawing must agree with the facts: the highest point of the line is the
most in progress (or the highest level), its ends the first and last times.

    plot_test.py LINKSHARE LEAKLEVELS CASES_FOLDER SCRATCH [--render CHROMIUM]

With --render, a few pictures are also rendered to PNG by headless Chromium
and the pixels checked (see render_check). With the environment variable
EMULATOR set (Wine), the programs run under it.
"""
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

SVG = "{http://www.w3.org/2000/svg}"
WIDTH, HEIGHT = 960.0, 540.0
COLOURS = {"line": (0x1F, 0x77, 0xB4), "bars": (0xFF, 0x7F, 0x0E), "columns": (0x2C, 0xA0, 0x2C),
           "marks": (0xD6, 0x27, 0x28)}

failures = []


def fail(where, message):
    failures.append(f"{where}: {message}")


# --- the cases ------------------------------------------------------------------

def worked_cases(table):
    """(id, input text) of each case in an end-to-end table that succeeds."""
    cases, current, section = [], None, None
    for line in open(table, encoding="utf-8").read().split("\n"):
        if line.startswith("=== "):
            if current and current.get("input") is not None and not current.get("fails"):
                cases.append((current["id"], current["input"]))
            current, section = {"id": line.split()[1], "input": None}, None
        elif current is None:
            continue
        elif line.startswith("--- "):
            section = line[4:]
            if section.startswith("status") and section.split()[1] != "0" or section.startswith("args") \
                    or section.startswith("only"):
                current["fails"] = True  # errors and special arguments are not worked cases
            if section in ("input", "input: no final newline"):
                current["input"] = ""
        elif section in ("input", "input: no final newline"):
            current["input"] += line + "\n"
    if current and current.get("input") is not None and not current.get("fails"):
        cases.append((current["id"], current["input"]))
    return [(case_id, text) for case_id, text in cases if text.strip()]


def large_downloads(n):
    lines = [f"{n} 100"]
    time = 0
    for i in range(n):
        time += (i * 7919) % 5
        lines.append(f"{time} {1 + (i * 104729) % 400}")
    return "\n".join(lines) + "\n"


def large_vases(n, steps):
    lines = [f"{n} {steps}"]
    for i in range(n):
        loss = 1 + (i * 7919) % 1000
        lines.append(f"{min(2147483647, loss * ((i * 104729) % (steps + 1)) + i % loss)} {loss}")
    return "\n".join(lines) + "\n"


# --- reading the picture -------------------------------------------------------

NUMBER = re.compile(r"-?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?|nan|inf", re.IGNORECASE)


def shapes(root):
    """Every drawn element, with its attributes."""
    return [element for element in root.iter() if element.tag[len(SVG):] in
            ("rect", "line", "path", "text", "polyline", "circle")]


def points_of(element):
    """The (x, y) points an element reaches."""
    tag = element.tag[len(SVG):]
    a = element.attrib
    if tag == "rect":
        if a.get("width") == "100%":
            return []
        x, y, w, h = (float(a[k]) for k in ("x", "y", "width", "height"))
        return [(x, y), (x + w, y + h)]
    if tag == "line":
        return [(float(a["x1"]), float(a["y1"])), (float(a["x2"]), float(a["y2"]))]
    if tag == "path":
        numbers = [float(v) for v in NUMBER.findall(a["d"])]
        return list(zip(numbers[0::2], numbers[1::2]))
    if tag == "text":
        return [(float(a["x"]), float(a["y"]))]
    return []


def check_document(where, path):
    size = os.path.getsize(path)
    if size >= 1 << 20:
        fail(where, f"the picture is {size} bytes, 1 MB or more")
    raw = open(path, "rb").read()
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as error:
        fail(where, f"not well-formed XML: {error}")
        return None
    if root.tag != SVG + "svg" or root.get("viewBox") != "0 0 960 540":
        fail(where, f"not a 960 x 540 SVG document: {root.tag} {root.get('viewBox')}")
    if root.find(SVG + "title") is None or not (root.find(SVG + "title").text or "").strip():
        fail(where, "no title")
    for element in root.iter():
        tag = element.tag[len(SVG):] if element.tag.startswith(SVG) else element.tag
        if tag in ("script", "foreignObject", "image", "use", "style", "a"):
            fail(where, f"a <{tag}> element: the picture must stand alone")
        for name, value in element.attrib.items():
            if "href" in name or name.startswith("on") or "url(" in value:
                fail(where, f"<{tag} {name}=...> reaches outside the picture")
            if name in ("x", "y", "width", "height", "x1", "y1", "x2", "y2", "font-size", "stroke-width") \
                    and value != "100%":
                number = float(value)
                if not math.isfinite(number):
                    fail(where, f"<{tag} {name}=\"{value}\">: not finite")
        if tag == "path":
            for value in NUMBER.findall(element.get("d")):
                if not math.isfinite(float(value)):
                    fail(where, f"a path with {value}")
    for element in shapes(root):
        for x, y in points_of(element):
            if not (0 <= x <= WIDTH and 0 <= y <= HEIGHT):
                fail(where, f"<{element.tag[len(SVG):]}> at ({x}, {y}): outside the view box")
                break
    return root


def frames(root):
    """The panels' frames, top to bottom, as (left, top, right, bottom)."""
    found = []
    for element in root.iter(SVG + "rect"):
        if element.get("data-role") == "frame":
            x, y, w, h = (float(element.get(k)) for k in ("x", "y", "width", "height"))
            found.append((x, y, x + w, y + h))
    return sorted(found, key=lambda frame: frame[1])


def role_extent(root, role):
    """The smallest and largest x and y of the shapes drawn in a role."""
    xs, ys = [], []
    for element in shapes(root):
        if element.get("data-role") == role:
            for x, y in points_of(element):
                xs.append(x)
                ys.append(y)
    return (min(xs), max(xs), min(ys), max(ys)) if xs else None


def near(a, b, tolerance):
    return abs(a - b) <= tolerance


def value_y(frame, value, low, high):
    """Where the programs draw `value` in a panel whose scale runs from
    `low` at the bottom to 8 % above `high` at the top."""
    return frame[3] - (frame[3] - frame[1]) * (value - low) / ((max(high, low + 1) - low) * 1.08)


# --- linkshare -------------------------------------------------------------------

def most_in_progress(arrivals, completions):
    """The most downloads in progress at once, with completions before
    arrivals at equal times (the least it can be) and after (the most): the
    simulation's order decides between them only where they coincide."""
    def sweep(completions_first):
        events = []
        for a, c in zip(arrivals, completions):
            start, end = min(a, c), max(a, c)
            events.append((start, 1 if completions_first else 0, 1))
            events.append((end, 0 if completions_first else 1, -1))
        # A download that completes when it arrives is in progress for an
        # instant: its own arrival comes before its own completion.
        events.sort(key=lambda event: (event[0], event[1]))
        count = most = 0
        for _, _, change in events:
            count += change
            most = max(most, count)
        return most
    zero_length = sum(1 for a, c in zip(arrivals, completions) if a == c)
    return sweep(True), max(sweep(False), 1 if zero_length else 0)


def numbers(input_text):
    """The header and the pairs of an input, as integers (text after them is not read)."""
    tokens = input_text.lstrip("\ufeff").split()
    count = max(int(tokens[0]), 0)
    return [int(v) for v in tokens[:2 + 2 * count]]


def check_linkshare(where, root, input_text, output_text):
    values = numbers(input_text)
    n = values[0]
    arrivals = [float(values[2 + 2 * i]) for i in range(n)]
    completions = [float(line) for line in output_text.split()]
    facts = root.attrib
    if int(facts["data-downloads"]) != n or int(facts["data-completed"]) != n:
        fail(where, f"downloads {facts['data-downloads']}, completed {facts['data-completed']}, expected {n}")
    if n == 0:
        return
    first, last = min(arrivals + completions), max(arrivals + completions)
    for name, expected in (("first-time", first), ("last-time", last)):
        stated = float(facts["data-" + name])
        if not near(stated, expected, 1e-9 + 1e-15 * abs(expected)):
            fail(where, f"{name} {stated}, the run's is {expected}")
    stated_most = int(facts["data-most-in-progress"])
    sizes = values[3::2]
    if all(a <= b for a, b in zip(arrivals, arrivals[1:])) and all(size >= 0 for size in sizes):
        least, most = most_in_progress(arrivals, completions)
        if not least <= stated_most <= most:
            fail(where, f"most in progress {stated_most}, the run's is {least}" + (f" to {most}" if most != least else ""))
    elif not 1 <= stated_most <= n:
        # With the clock running backwards "in progress" is the simulation's
        # own count, not a span of time: only its bounds are known here.
        fail(where, f"most in progress {stated_most}, outside 1 to {n}")

    # The drawing: the line's highest point is the most in progress, and it
    # spans the first to the last time.
    top = frames(root)[0]
    extent = role_extent(root, "in-progress")
    if extent is None:
        fail(where, "no line of downloads in progress")
        return
    left, right, highest, _ = extent
    expected_y = value_y(top, stated_most, 0, stated_most)
    if not near(highest, expected_y, 1.5):
        fail(where, f"the line's top at y = {highest}, the most in progress is at {expected_y}")
    width = top[2] - top[0]
    x_first = top[0] + width * 0.02 / 1.04 if last > first else top[0] + width / 2
    x_last = top[2] - width * 0.02 / 1.04 if last > first else top[0] + width / 2
    if not (near(left, x_first, 2) and near(right, x_last, 2.5)):
        fail(where, f"the line spans x = {left} to {right}, the run {x_first} to {x_last}")


# --- leaklevels ----------------------------------------------------------------

def check_leaklevels(where, root, input_text, output_text, last_step):
    facts = root.attrib
    steps = max(last_step, 0) + 1
    if int(facts["data-steps"]) != steps:
        fail(where, f"steps {facts['data-steps']}, expected {steps}")
    if output_text is not None:
        levels = [int(line) for line in output_text.split()]
        expected = {"first-level": levels[0], "last-level": levels[-1],
                    "highest-level": max(levels), "lowest-level": min(levels)}
    else:  # too long to keep: the first level is the sum of the amounts
        values = numbers(input_text)
        expected = {"first-level": sum(values[2::2])}
    for name, value in expected.items():
        if int(facts["data-" + name]) != value:
            fail(where, f"{name} {facts['data-' + name]}, the run's is {value}")
    panel = frames(root)[0]
    extent = role_extent(root, "level")
    if extent is None:
        fail(where, "no level line")
        return
    highest, lowest = int(facts["data-highest-level"]), int(facts["data-lowest-level"])
    y_of = lambda level: value_y(panel, level, min(0, lowest), max(highest, 1))
    if not near(extent[2], y_of(highest), 1.5):
        fail(where, f"the line's top at y = {extent[2]}, the highest level is at {y_of(highest)}")
    if not near(extent[3], y_of(lowest), 2.0):
        fail(where, f"the line's bottom at y = {extent[3]}, the lowest level is at {y_of(lowest)}")


# --- running -----------------------------------------------------------------------

EMULATOR = [os.environ["EMULATOR"]] if os.environ.get("EMULATOR") else []
NULL_DEVICE = "NUL" if EMULATOR else "/dev/null"


def run(program, folder, input_text, output="out.txt"):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "in.txt"), "w", encoding="utf-8") as f:
        f.write(input_text)
    done = subprocess.run(EMULATOR + [program, "-i", "in.txt", "-o", output, "--plot", "picture.svg"],
                          cwd=folder, capture_output=True, text=True)
    if done.returncode != 0:
        return None, None, done.stderr
    text = None
    if output != NULL_DEVICE:
        text = open(os.path.join(folder, output), encoding="utf-8").read().replace("\r\n", "\n")
    return os.path.join(folder, "picture.svg"), text, None


# --- rendering ------------------------------------------------------------------

def read_png(path):
    """Width, height and rows of (r, g, b) of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat, width, height, channels = 8, b"", 0, 0, 3
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "an unusual PNG"
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            up_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else up_left
                line[i] = (line[i] + predictor) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def render_check(chromium, svg_path, expected_colours, scratch):
    """Renders the picture with headless Chromium and checks the pixels: not
    blank, the expected colours there, and no data colour outside the
    panels' frames."""
    where = os.path.basename(os.path.dirname(svg_path)) + " (rendered)"
    png = svg_path[:-4] + ".png"
    done = subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                           "--disable-background-networking", "--disable-component-update", "--disable-sync",
                           "--hide-scrollbars", f"--user-data-dir={scratch}/chromium-profile",
                           f"--screenshot={png}", "--window-size=960,540", "file://" + os.path.abspath(svg_path)],
                          capture_output=True, text=True, timeout=120)
    if done.returncode != 0 or not os.path.exists(png):
        fail(where, f"Chromium did not render it: {done.stderr[-400:]}")
        return
    width, height, rows = read_png(png)
    if (width, height) != (960, 540):
        fail(where, f"rendered {width} x {height}")
    root = ET.parse(svg_path).getroot()
    panels = frames(root)
    inked = sum(1 for row in rows for pixel in row if sum(pixel) < 3 * 235)
    if inked < 0.01 * width * height:
        fail(where, f"nearly blank: {inked} pixels with ink")
    def like(pixel, colour, tolerance):
        return all(abs(p - c) <= tolerance for p, c in zip(pixel, colour))
    # Present: near the colour, as anti-aliased edges are; outside the
    # panels: the colour itself, as any shape drawn there would show.
    counts = {name: 0 for name in COLOURS}
    outside = 0
    for y, row in enumerate(rows):
        for x, pixel in enumerate(row):
            for name, colour in COLOURS.items():
                if like(pixel, colour, 40):
                    counts[name] += 1
                if like(pixel, colour, 12):
                    if not any(f[0] - 1 <= x <= f[2] + 1 and f[1] - 1 <= y <= f[3] + 1 for f in panels):
                        outside += 1
    for name in expected_colours:
        if counts[name] < 20:
            fail(where, f"hardly any {name} colour: {counts[name]} pixels")
    if outside:
        fail(where, f"{outside} pixels of data colours outside the panels")
    print(f"{where}: {inked} pixels with ink; " + ", ".join(f"{k} {v}" for k, v in counts.items()))


def main():
    linkshare, leaklevels, cases_folder, scratch = (os.path.abspath(a) for a in sys.argv[1:5])
    chromium = sys.argv[6] if len(sys.argv) > 6 and sys.argv[5] == "--render" else None
    shutil.rmtree(scratch, ignore_errors=True)
    rendered = []

    link_cases = worked_cases(os.path.join(cases_folder, "linkshare.cases"))
    link_cases.append(("large-300000", large_downloads(300000)))
    # Arrivals going back in time: the columns widen to the left as well.
    backwards = [f"2000 10"] + [f"{1000000 - 3 * i} {1 + (i * 7919) % 50}" for i in range(2000)]
    link_cases.append(("large-backwards", "\n".join(backwards) + "\n"))
    for case_id, text in link_cases:
        folder = os.path.join(scratch, "linkshare-" + case_id)
        svg_path, output, error = run(linkshare, folder, text)
        if error:
            fail(case_id, f"linkshare failed: {error}")
            continue
        root = check_document("linkshare " + case_id, svg_path)
        if root is not None:
            check_linkshare("linkshare " + case_id, root, text, output)
        if case_id in ("07-completion-before-arrival", "large-300000"):
            rendered.append((svg_path, ["line", "bars"] if case_id.startswith("07") else ["line", "columns"]))

    vase_cases = worked_cases(os.path.join(cases_folder, "leaklevels.cases"))
    vase_cases.append(("large-100000-vases", large_vases(100000, 1000000)))
    for case_id, text in vase_cases:
        folder = os.path.join(scratch, "leaklevels-" + case_id)
        svg_path, output, error = run(leaklevels, folder, text)
        if error:
            fail(case_id, f"leaklevels failed: {error}")
            continue
        root = check_document("leaklevels " + case_id, svg_path)
        if root is not None:
            check_leaklevels("leaklevels " + case_id, root, text, output, numbers(text)[1])
        if case_id in ("worked-example", "large-100000-vases"):
            rendered.append((svg_path, ["line", "marks"] if case_id == "worked-example" else ["line"]))
    # A table too long to keep: only the picture is looked at.
    long_table = "2 20000000\n1000000000 100\n7 3\n"
    folder = os.path.join(scratch, "leaklevels-long-table")
    svg_path, _, error = run(leaklevels, folder, long_table, output=NULL_DEVICE)
    if error:
        fail("long-table", f"leaklevels failed: {error}")
    else:
        root = check_document("leaklevels long-table", svg_path)
        if root is not None:
            check_leaklevels("leaklevels long-table", root, long_table, None, 20000000)

    if chromium:
        for svg_path, colours in rendered:
            render_check(chromium, svg_path, colours, scratch)

    print(f"{len(link_cases) + len(vase_cases) + 1} pictures checked")
    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
