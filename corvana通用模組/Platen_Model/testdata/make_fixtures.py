#!/usr/bin/env python3
"""Regenerates the .docx test fixtures of Platen_Model.

commented.docx: two paragraphs, each carrying a Word comment anchored in the
body text (one on a range, one at a point), written by LibreOffice itself:
this script writes a Flat ODT source and converts it with
`soffice --headless --convert-to docx` under a throw-away profile.

Usage: make_fixtures.py [OUTPUT_DIR]   (default: the folder of this script)
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts", "fixtures"))
from fodt_docx import NS, convert_to_docx  # noqa: E402

COMMENTED = f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document {NS} office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
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
    convert_to_docx(SOURCES, out, "docx:MS Word 2007 XML")
    print("fixtures written to", out)


if __name__ == "__main__":
    main()
