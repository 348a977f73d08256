#!/usr/bin/env python3
"""The peer of docx_bench: python-docx opens the document, reads every body
paragraph's text and saves it. Prints the median milliseconds.

Usage: python_docx_peer.py file|memory IN.docx OUT.docx N

"file" writes the result the way docx::Document::save does (a temporary
file beside the target, flush, fsync, rename, fsync of the folder), so both
sides pay for the same durable write; "memory" saves into a buffer,
comparing the libraries alone.
"""
import io
import os
import statistics
import sys
import time

import docx


def once(mode, src, dst):
    doc = docx.Document(src)
    chars = sum(len(p.text) for p in doc.paragraphs)
    if chars == 0:
        raise SystemExit("no text read")
    buf = io.BytesIO()
    doc.save(buf)
    if mode == "file":
        folder = os.path.dirname(os.path.abspath(dst))
        tmp = os.path.join(folder, ".%s.tmp-%d" % (os.path.basename(dst), os.getpid()))
        with open(tmp, "xb") as f:
            f.write(buf.getvalue())
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, dst)
        fd = os.open(folder, os.O_RDONLY)
        try:
            os.fsync(fd)
        finally:
            os.close(fd)


def main():
    mode, src, dst, n = sys.argv[1], sys.argv[2], sys.argv[3], max(1, int(sys.argv[4]))
    once(mode, src, dst)  # warm-up
    times = []
    for _ in range(n):
        t0 = time.perf_counter()
        once(mode, src, dst)
        times.append((time.perf_counter() - t0) * 1000.0)
    print("%.3f" % statistics.median(times))


if __name__ == "__main__":
    main()
