#!/usr/bin/env python3
"""Regenerates the .docx test fixtures of Platen_Model.

commented.docx: two paragraphs, each carrying a Word comment anchored in the
body text (one on a range, one at a point), written by LibreOffice itself:
this script writes a Flat ODT source and converts it with
`soffice --headless --convert-to docx` under a throw-away profile.

Usage: make_fixtures.py [OUTPUT_DIR]   (default: the folder of this script)
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

COMMENTED = """<?xml version="1.0" encoding="UTF-8"?>
<office:document office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text"
 xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0">
 <office:body>
  <office:text>
   <text:p>Commented marker <office:annotation office:name="c1"><dc:creator>Reviewer</dc:creator><dc:date>2024-01-02T03:04:05</dc:date><text:p>Please check this sentence.</text:p></office:annotation>first sentence<office:annotation-end office:name="c1"/> of the body.</text:p>
   <text:p>Second paragraph 註解 beta<office:annotation><dc:creator>Reviewer</dc:creator><dc:date>2024-01-02T03:05:00</dc:date><text:p>A point comment.</text:p></office:annotation> ends here.</text:p>
  </office:text>
 </office:body>
</office:document>
"""

SOURCES = {"commented": COMMENTED}


def main():
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="platen-fixtures-")
    try:
        paths = []
        for name, text in SOURCES.items():
            p = os.path.join(work, name + ".fodt")
            with open(p, "w", encoding="utf-8") as f:
                f.write(text)
            paths.append(p)
        profile = "file://" + os.path.join(work, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", "docx:MS Word 2007 XML", "--outdir", out] + paths,
                       check=True, stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for name in SOURCES:
        if not os.path.exists(os.path.join(out, name + ".docx")):
            sys.exit(f"LibreOffice did not produce {name}.docx")
    print("fixtures written to", out)


if __name__ == "__main__":
    main()
