#!/usr/bin/env python3
"""Regenerates the .docx test fixtures of Quire_Model.

The documents are written by LibreOffice: this script writes Flat ODT
sources and converts them with `soffice --headless --convert-to docx`.
LibreOffice splits a paragraph at a page break, so the one fixture that
needs a page break inside a paragraph is derived from its output with
zipfile: the text "[[PB]]" becomes a page break inside the run. Pictures
come from ImageMagick.

Usage: make_fixtures.py [OUTPUT_DIR [NAME...]]
  OUTPUT_DIR defaults to the folder of this script; NAMEs (such as "body"
  or "textbox") limit the run to those documents, pictures left alone.
"""

import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))

sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts", "fixtures"))
from fodt_docx import add_table_grid_style, convert_to_docx as convert, fodt as _fodt  # noqa: E402


def fodt(body, automatic_styles="", master=""):
    return _fodt(body, automatic_styles, master,
                 fonts=("Liberation Serif", "Liberation Mono", "Noto Serif CJK TC"))


CHANGE_INFO = ('<office:change-info><dc:creator>Tester</dc:creator>'
               '<dc:date>2024-01-02T03:04:05</dc:date></office:change-info>')


def body():
    """Body paragraphs: one placeholder situation per paragraph, in order.

    0  plain text with formatted prefix and suffix, indented paragraph
    1  placeholder inside a tracked insertion, another inside a deletion
    2  placeholder split over three runs of different formatting
    3  line break before the placeholder
    4  tab before the placeholder
    5  PAGE field before the placeholder
    6  placeholder inside a hyperlink
    7  East Asian text
    8  placeholder, then a page break (the next paragraph starts a page)
    9  "Second page."
    10 (after a table) page break, then the placeholder
    11 page break inside the placeholder (derived: "[[PB]]")
    12 the placeholder twice, with text around and between
    13 "XY" exactly (registry order, the first key holds the second)
    14 "PQ" exactly (registry order, the first key is part of the second)
    15 a body placeholder whose replacement holds "__remark__"
    16 a text box holding a placeholder, anchored in plain text
    17 tab and tracked insertion, no placeholder
    """
    styles = """
  <style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="T2" style:family="text"><style:text-properties fo:font-style="italic" fo:color="#ff0000"/></style:style>
  <style:style style:name="T3" style:family="text"><style:text-properties style:font-name="Liberation Mono" fo:font-size="14pt"/></style:style>
  <style:style style:name="P1" style:family="paragraph"><style:paragraph-properties fo:margin-left="1cm" fo:text-align="end"/></style:style>
  <style:style style:name="PB" style:family="paragraph"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="fr1" style:family="graphic"><style:graphic-properties fo:border="0.06pt solid #000000"/></style:style>
"""
    return fodt(f"""
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="ct1"><text:insertion>{CHANGE_INFO}</text:insertion></text:changed-region>
   <text:changed-region text:id="ct2"><text:deletion>{CHANGE_INFO}<text:p>{{{{gone}}}}</text:p></text:deletion></text:changed-region>
   <text:changed-region text:id="ct3"><text:insertion>{CHANGE_INFO}</text:insertion></text:changed-region>
  </text:tracked-changes>
  <text:p text:style-name="P1"><text:span text:style-name="T1">Name:</text:span> {{{{name}}}} <text:span text:style-name="T2">(end)</text:span></text:p>
  <text:p>Kept <text:change-start text:change-id="ct1"/>{{{{ins}}}} <text:change-end text:change-id="ct1"/>text<text:change text:change-id="ct2"/> ends.</text:p>
  <text:p>Split {{{{<text:span text:style-name="T1">sp</text:span><text:span text:style-name="T2">li</text:span><text:span text:style-name="T3">t</text:span>}}}} here.</text:p>
  <text:p>Line one<text:line-break/>{{{{lb}}}} two</text:p>
  <text:p>Tab<text:tab/>{{{{tab}}}}</text:p>
  <text:p>Page <text:page-number text:select-page="current">1</text:page-number> of {{{{field}}}}</text:p>
  <text:p>See <text:a xlink:type="simple" xlink:href="https://example.com/">{{{{link}}}}</text:a> here.</text:p>
  <text:p>申請人：{{{{申請人}}}}。</text:p>
  <text:p>Break after {{{{pb_after}}}}</text:p>
  <text:p text:style-name="PB">Second page.</text:p>
  <table:table table:name="Spacer"><table:table-column/><table:table-row><table:table-cell office:value-type="string"><text:p>spacer</text:p></table:table-cell></table:table-row></table:table>
  <text:p text:style-name="PB">After table {{{{pb_before}}}}</text:p>
  <text:p>Before {{{{NA[[PB]]ME}}}} after</text:p>
  <text:p>{{{{dup}}}} and {{{{dup}}}} and tail</text:p>
  <text:p>XY</text:p>
  <text:p>PQ</text:p>
  <text:p>Remark {{{{body_remark}}}}</text:p>
  <text:p>Anchor <draw:frame draw:style-name="fr1" draw:name="Box" text:anchor-type="as-char" svg:width="4cm" svg:height="1cm" draw:z-index="0"><draw:text-box><text:p>{{{{textbox}}}}</text:p></draw:text-box></draw:frame> text</text:p>
  <text:p>Tab<text:tab/>kept <text:change-start text:change-id="ct3"/>new<text:change-end text:change-id="ct3"/></text:p>
""", styles)


def cells():
    """Tables.

    Table "Merged" (3 columns):
      row 0: one cell spanning the three columns: "{{span}}"
      row 1: "{{remark}}" | "{{remark2}}" | "{{cellpb}}"
      row 2: "first line" + "{{multi}}" (two paragraphs) | "{{vm}}" spanning
             rows 2 and 3 | "{{dup}} {{dup}}!"
      row 3: a nested table holding "{{nested}}" | (covered) | "{{red}}"
    Table "Pictures" (1 row, 5 columns): "{{pic1}}" ... "{{pic5}}"
    """
    return fodt("""
  <text:p>Before the tables.</text:p>
  <table:table table:name="Merged">
   <table:table-column table:number-columns-repeated="3"/>
   <table:table-row>
    <table:table-cell table:number-columns-spanned="3" office:value-type="string"><text:p>{{span}}</text:p></table:table-cell>
    <table:covered-table-cell/><table:covered-table-cell/>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>{{remark}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{remark2}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{cellpb}}</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>first line</text:p><text:p>{{multi}}</text:p></table:table-cell>
    <table:table-cell table:number-rows-spanned="2" office:value-type="string"><text:p>{{vm}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{dup}} {{dup}}!</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell office:value-type="string">
     <table:table table:name="Inner">
      <table:table-column/>
      <table:table-row><table:table-cell office:value-type="string"><text:p>{{nested}}</text:p></table:table-cell></table:table-row>
     </table:table>
     <text:p>outer</text:p>
    </table:table-cell>
    <table:covered-table-cell/>
    <table:table-cell office:value-type="string"><text:p>{{red}}</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <text:p>Between the tables.</text:p>
  <table:table table:name="Pictures">
   <table:table-column table:number-columns-repeated="5"/>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>{{pic1}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{pic2}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{pic3}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{pic4}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string"><text:p>{{pic5}}</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <text:p>After the tables.</text:p>
""")


def header():
    """A header and a body paragraph holding the same placeholder."""
    styles = '<style:page-layout style:name="pm1"><style:header-style/></style:page-layout>'
    master = ('<style:master-page style:name="Standard" style:page-layout-name="pm1">'
              '<style:header><text:p>Header {{name}}</text:p></style:header></style:master-page>')
    return fodt("<text:p>Body {{name}}</text:p>", styles, master)


def patent():
    """A plain report page to which patent tables are appended. LibreOffice
    writes no "Table Grid" style; patent_grid.docx is this document with one
    added (see add_table_grid_style)."""
    return fodt("<text:p>專利檢索報告</text:p><text:p>Patents follow.</text:p>")


def inspection():
    """Body paragraphs for the term check (registry A -> A10, BA -> BA20).

    0  A alone, before A10 is first mentioned
    1  first mention of A10
    2  A10 twice
    3  A10, then A alone
    4  only BA20
    5  BA alone, then A10
    6  A alone, then BA20
    7  only X-A
    8  X-A, then A alone
    9  A10 in a tracked insertion, A in a tracked deletion, a bold run
    10 A10, a page break inside the run (derived: "[[PB]]"), text
    11 the reference-sign heading
    12 A after the heading
    A table after paragraph 12 holds A alone (tables are not checked).
    """
    styles = """
  <style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>
"""
    return fodt(f"""
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="ct1"><text:insertion>{CHANGE_INFO}</text:insertion></text:changed-region>
   <text:changed-region text:id="ct2"><text:deletion>{CHANGE_INFO}<text:p>A </text:p></text:deletion></text:changed-region>
  </text:tracked-changes>
  <text:p>Before the range: A alone.</text:p>
  <text:p>First mention of A10 here.</text:p>
  <text:p>A10 twice: A10.</text:p>
  <text:p>A10 and then A alone.</text:p>
  <text:p>Only BA20 here.</text:p>
  <text:p>BA alone and A10.</text:p>
  <text:p>A alone, then BA20.</text:p>
  <text:p>Only X-A here.</text:p>
  <text:p>X-A and A.</text:p>
  <text:p>Tracked <text:change-start text:change-id="ct1"/>A10<text:change-end text:change-id="ct1"/> <text:change text:change-id="ct2"/><text:span text:style-name="T1">kept</text:span>.</text:p>
  <text:p>Page A10[[PB]]break</text:p>
  <text:p>【符號說明】</text:p>
  <text:p>A after the heading.</text:p>
  <table:table table:name="Signs"><table:table-column/><table:table-row><table:table-cell office:value-type="string"><text:p>A</text:p></table:table-cell></table:table-row></table:table>
""", styles)


def textbox():
    """Text boxes, which Word and LibreOffice store twice in one run: as
    DrawingML in mc:Choice and as VML in mc:Fallback.

    0  a text box anchored at the paragraph, then text with a placeholder,
       a page break inside the run (derived: "[[PB]]") and more text
    1  a text box anchored as a character, then a tracked insertion
    """
    styles = """
  <style:style style:name="fr1" style:family="graphic"><style:graphic-properties fo:border="0.06pt solid #000000"/></style:style>
"""
    frame = ('<draw:frame draw:style-name="fr1" draw:name="{name}" text:anchor-type="{anchor}" '
             'svg:width="6cm" svg:height="1cm" draw:z-index="{z}"><draw:text-box>'
             '<text:p>{text}</text:p></draw:text-box></draw:frame>')
    first = frame.format(name="Box1", anchor="paragraph", z=0,
                         text="Words inside a text box frame.")
    second = frame.format(name="Box2", anchor="as-char", z=1, text="Second box.")
    return fodt(f"""
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="ct1"><text:insertion>{CHANGE_INFO}</text:insertion></text:changed-region>
  </text:tracked-changes>
  <text:p>{first}Paragraph that holds a text box and {{{{tb}}}}[[PB]]after the break.</text:p>
  <text:p>Box {second} then <text:change-start text:change-id="ct1"/>inserted<text:change-end text:change-id="ct1"/> text.</text:p>
""", styles)


SOURCES = {"body": body, "cells": cells, "header": header, "patent": patent,
           "inspection": inspection, "textbox": textbox}

PICTURES = [("800x600.png", "800x600", "xc:red"),
            ("400x100.png", "400x100", "xc:blue"),
            ("30x20.png", "30x20", "xc:green"),
            ("2x1.png", "2x1", "xc:orange"),
            ("50x100.jpg", "50x100", "xc:purple"),
            # Patent pictures: wide, square, and exactly the box's 16.4:13.
            ("2000x1000.png", "2000x1000", "xc:teal"),
            ("1300x1300.png", "1300x1300", "xc:navy"),
            ("1640x1300.png", "1640x1300", "xc:maroon")]


def make_images(out):
    img = os.path.join(out, "images")
    os.makedirs(img, exist_ok=True)
    for name, size, fill in PICTURES:
        subprocess.run(["convert", "-size", size, fill, "-strip", os.path.join(img, name)], check=True)
    with open(os.path.join(img, "not_a_picture.png"), "w") as f:
        f.write("plain text, not a picture\n")


def put_page_break_inside_run(path):
    """Turns the text "[[PB]]" of the body into a page break in its run."""
    tmp = path + ".tmp"
    with zipfile.ZipFile(path) as zin, zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as zout:
        for info in zin.infolist():
            data = zin.read(info.filename)
            if info.filename == "word/document.xml":
                if b"[[PB]]" not in data:
                    sys.exit(os.path.basename(path) + " lost its [[PB]] marker")
                data = data.replace(
                    b"[[PB]]", b'</w:t><w:br w:type="page"/><w:t xml:space="preserve">')
            zout.writestr(info, data)
    os.replace(tmp, path)


def main():
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE
    names = sys.argv[2:] or list(SOURCES)
    unknown = [n for n in names if n not in SOURCES]
    if unknown:
        sys.exit("unknown fixture: " + ", ".join(unknown))
    os.makedirs(out, exist_ok=True)
    if len(names) == len(SOURCES):
        make_images(out)
    convert({name: SOURCES[name]() for name in names}, out)
    for name in ("body", "inspection", "textbox"):
        if name in names:
            put_page_break_inside_run(os.path.join(out, name + ".docx"))
    if "patent" in names:
        add_table_grid_style(os.path.join(out, "patent.docx"), os.path.join(out, "patent_grid.docx"))
    print("fixtures written to", out)


if __name__ == "__main__":
    main()
