#!/usr/bin/python3
"""The peer: fills the benchmark template with docxtpl and saves it.

Usage: peer.py TEMPLATE.docx OUTPUT.docx RUNS
Prints the median milliseconds of render + save (the template is loaded
before the clock starts, as the engine's document is).
"""

import statistics
import sys
import time

from docxtpl import DocxTemplate


def main():
    template, output, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    context = {"k%02d" % k: "值%02d value %d" % (k, k) for k in range(50)}
    times = []
    for _ in range(runs):
        tpl = DocxTemplate(template)
        tpl.init_docx()
        start = time.perf_counter()
        tpl.render(context)
        tpl.save(output)
        times.append((time.perf_counter() - start) * 1000.0)
    print("%.1f" % statistics.median(times))


if __name__ == "__main__":
    main()
