#!/usr/bin/python3
"""Writes the benchmark template: 2,000 body paragraphs and 100 tables of
4 x 3 cells, with 50 placeholders "{{ k00 }}" ... "{{ k49 }}" each placed in
about 5% of the paragraphs and of the cells. The placeholders are written
as template tags, so the same file serves both engines.

Usage: make_doc.py OUTPUT.docx [SCALE]
SCALE (default 1) repeats the body that many times: the same document grown
for the growth and memory figures.
"""

import random
import re
import sys
import zipfile

import docx

KEYS = 50
PARAGRAPHS = 2000
TABLES = 100
SHARE = 0.05

WORDS = ("patent claim device method system layer signal circuit module "
         "substrate electrode sensor 專利 裝置 方法 系統 基板 電極").split()


def text(rng, words):
    parts = [rng.choice(WORDS) for _ in range(words)]
    for k in range(KEYS):
        if rng.random() < SHARE:
            parts.insert(rng.randrange(len(parts) + 1), "{{ k%02d }}" % k)
    return " ".join(parts)


def main():
    rng = random.Random(20250104)
    d = docx.Document()
    per_table = PARAGRAPHS // TABLES
    for i in range(PARAGRAPHS):
        d.add_paragraph(text(rng, 14))
        if (i + 1) % per_table == 0:
            t = d.add_table(rows=4, cols=3)
            t.style = "Table Grid"
            for row in t.rows:
                for cell in row.cells:
                    cell.text = text(rng, 4)
    d.save(sys.argv[1])
    scale = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    if scale > 1:
        grow(sys.argv[1], scale)


def grow(path, scale):
    """Repeats the body's content (all but its final section properties)."""
    with zipfile.ZipFile(path) as z:
        parts = [(i, z.read(i.filename)) for i in z.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for info, data in parts:
            if info.filename == "word/document.xml":
                xml = data.decode("utf-8")
                m = re.search(r"(<w:body>)(.*?)(<w:sectPr[ >].*</w:body>)", xml, re.S)
                xml = xml[:m.start()] + m.group(1) + m.group(2) * scale + xml[m.start(3):]
                data = xml.encode("utf-8")
            z.writestr(info, data, zipfile.ZIP_DEFLATED)


if __name__ == "__main__":
    main()
