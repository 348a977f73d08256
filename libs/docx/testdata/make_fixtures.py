#!/usr/bin/env python3
"""Regenerates the .docx test fixtures of libs/docx.

Good documents are written by LibreOffice: this script writes Flat ODT
sources and converts them with `soffice --headless --convert-to docx`.
A few documents are then derived from that output with zipfile (a table
style LibreOffice does not export, and the malformed packages under bad/).
Pictures come from ImageMagick.

Usage: make_fixtures.py [OUTPUT_DIR]   (default: the folder of this script)
"""

import base64
import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))

sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts", "fixtures"))
from fodt_docx import TABLE_GRID_STYLE, convert_to_docx as convert, fodt as _fodt, rewrite  # noqa: E402


def fodt(body, automatic_styles=""):
    return _fodt(body, automatic_styles, fonts=("Liberation Serif", "Liberation Mono", "Noto Sans CJK TC"))


def plain():
    return fodt("""
  <text:p>First paragraph.</text:p>
  <text:p>Second paragraph with a<text:tab/>tab.</text:p>
  <text:p/>
  <text:p>Fourth paragraph, after an empty one.</text:p>
""")


def formatting():
    styles = """
  <style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="T2" style:family="text"><style:text-properties fo:font-style="italic" fo:color="#ff0000"/></style:style>
  <style:style style:name="T3" style:family="text"><style:text-properties style:font-name="Liberation Mono" fo:font-size="14pt"/></style:style>
  <style:style style:name="P1" style:family="paragraph"><style:paragraph-properties fo:text-align="center"/></style:style>
  <style:style style:name="P2" style:family="paragraph"><style:paragraph-properties fo:text-align="end" fo:margin-left="1cm"/></style:style>
"""
    return fodt("""
  <text:p>Plain <text:span text:style-name="T1">bold</text:span> then <text:span text:style-name="T2">red italic</text:span> and <text:span text:style-name="T3">mono 14</text:span>.</text:p>
  <text:p text:style-name="P1">Centred paragraph.</text:p>
  <text:p text:style-name="P2">Right aligned, indented.</text:p>
  <text:p>See <text:a xlink:type="simple" xlink:href="https://example.com/">the link</text:a> here.</text:p>
""", styles)


def tracked():
    info = ('<office:change-info><dc:creator>Tester</dc:creator>'
            '<dc:date>2024-01-02T03:04:05</dc:date></office:change-info>')
    return fodt(f"""
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="ct1"><text:insertion>{info}</text:insertion></text:changed-region>
   <text:changed-region text:id="ct2"><text:deletion>{info}<text:p>removed words</text:p></text:deletion></text:changed-region>
   <text:changed-region text:id="ct3"><text:insertion>{info}</text:insertion></text:changed-region>
  </text:tracked-changes>
  <text:p>Kept <text:change-start text:change-id="ct1"/>inserted <text:change-end text:change-id="ct1"/>text<text:change text:change-id="ct2"/> ends here.</text:p>
  <text:p>Untouched paragraph.</text:p>
  <text:p><text:change-start text:change-id="ct3"/>Whole paragraph inserted.<text:change-end text:change-id="ct3"/></text:p>
""")


def breaks():
    styles = """
  <style:style style:name="PB" style:family="paragraph"><style:paragraph-properties fo:break-before="page"/></style:style>
"""
    return fodt("""
  <text:p>Line one<text:line-break/>line two</text:p>
  <text:p text:style-name="PB">Second page starts here.</text:p>
  <text:p>Last paragraph.</text:p>
""", styles)


def tables():
    # Table 1: 3x3 with a horizontal merge in row 0 (columns 0-1) and a
    # vertical merge in column 2 (rows 1-2). Table 2: plain 2x2.
    return fodt("""
  <text:p>Before the tables.</text:p>
  <table:table table:name="Merged">
   <table:table-column table:number-columns-repeated="3"/>
   <table:table-row>
    <table:table-cell table:number-columns-spanned="2" office:value-type="string"><text:p>A1-B1</text:p></table:table-cell>
    <table:covered-table-cell/>
    <table:table-cell office:value-type="string"><text:p>C1</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>A2</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>B2</text:p><text:p>B2 second line</text:p></table:table-cell>
    <table:table-cell table:number-rows-spanned="2" office:value-type="string"><text:p>C2-C3</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>A3</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>B3</text:p></table:table-cell>
    <table:covered-table-cell/>
   </table:table-row>
  </table:table>
  <text:p>Between the tables.</text:p>
  <table:table table:name="Plain">
   <table:table-column table:number-columns-repeated="2"/>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>x</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>y</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>z</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>w</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <text:p>After the tables.</text:p>
""")


def east_asian():
    styles = """
  <style:style style:name="T1" style:family="text"><style:text-properties style:font-name-asian="Noto Sans CJK TC" style:font-size-asian="16pt"/></style:style>
"""
    return fodt("""
  <text:p><text:span text:style-name="T1">專利檢索報告</text:span></text:p>
  <text:p>混合 mixed 文字 text。</text:p>
""", styles)


def picture(png):
    data = base64.b64encode(png).decode()
    return fodt(f"""
  <text:p>Picture follows: <draw:frame draw:name="Image1" text:anchor-type="as-char" svg:width="4cm" svg:height="2cm" draw:z-index="0"><draw:image><office:binary-data>{data}</office:binary-data></draw:image></draw:frame> end.</text:p>
""")


SOURCES = {
    "plain": plain,
    "formatting": formatting,
    "tracked": tracked,
    "breaks": breaks,
    "tables": tables,
    "east_asian": east_asian,
}

def make_images(out):
    img = os.path.join(out, "images")
    os.makedirs(img, exist_ok=True)
    pictures = [("pic_200x100.png", "200x100", "xc:red"),
             ("pic_120x90.jpg", "120x90", "xc:blue"),
             ("pic_64x64.gif", "64x64", "xc:green"),
             ("pic_50x100.bmp", "50x100", "xc:yellow")]
    for name, size, fill in pictures:
        subprocess.run(["convert", "-size", size, fill, "-strip", os.path.join(img, name)], check=True)
    with open(os.path.join(img, "not_a_picture.png"), "w") as f:
        f.write("this is text, not a picture\n")
    with open(os.path.join(img, "pic_200x100.png"), "rb") as f:
        return f.read()


def make_derived(out):
    # A document whose styles part holds the "Table Grid" table style.
    def add_grid(name, data):
        if name == "word/styles.xml":
            return data.replace(b"</w:styles>", TABLE_GRID_STYLE + b"</w:styles>")
        return data
    rewrite(os.path.join(out, "tables.docx"), os.path.join(out, "table_grid.docx"), add_grid)

    bad = os.path.join(out, "bad")
    os.makedirs(bad, exist_ok=True)
    plain_docx = os.path.join(out, "plain.docx")
    with open(os.path.join(bad, "not_a_zip.docx"), "wb") as f:
        f.write(b"This is plain text pretending to be a document.\n" * 4)
    rewrite(plain_docx, os.path.join(bad, "no_document.docx"),
            lambda n, d: None if n == "word/document.xml" else d)
    rewrite(plain_docx, os.path.join(bad, "malformed_xml.docx"),
            lambda n, d: d.replace(b"</w:body>", b"</w:bdy>") if n == "word/document.xml" else d)
    rewrite(plain_docx, os.path.join(bad, "doctype.docx"),
            lambda n, d: d.replace(b"?>", b"?><!DOCTYPE w:document [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>", 1)
            if n == "word/document.xml" else d)
    # 4 MiB of zeros deflate to a few KiB: far above any plausible ratio.
    rewrite(plain_docx, os.path.join(bad, "bomb.docx"), lambda n, d: d)
    with zipfile.ZipFile(os.path.join(bad, "bomb.docx"), "a", zipfile.ZIP_DEFLATED) as z:
        z.writestr("word/media/zeros.bin", b"\0" * (4 << 20))
    for bad_name, entry in [("dotdot.docx", "word/../../evil.xml"), ("absolute.docx", "/etc/evil.xml")]:
        rewrite(plain_docx, os.path.join(bad, bad_name), lambda n, d: d)
        with zipfile.ZipFile(os.path.join(bad, bad_name), "a") as z:
            info = zipfile.ZipInfo("placeholder")
            info.filename = entry  # bypasses ZipInfo's name clean-up
            z.writestr(info, b"<x/>")
    rewrite(plain_docx, os.path.join(bad, "duplicate.docx"), lambda n, d: d)
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        with zipfile.ZipFile(os.path.join(bad, "duplicate.docx"), "a") as z:
            z.writestr("word/styles.xml", b"<x/>")


def main():
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE
    os.makedirs(out, exist_ok=True)
    png = make_images(out)
    sources = {name: make() for name, make in SOURCES.items()}
    sources["picture"] = picture(png)
    convert(sources, out)
    make_derived(out)
    print("fixtures written to", out)


if __name__ == "__main__":
    main()
