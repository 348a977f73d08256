#!/usr/bin/env python3
"""Regenerates the sample report's template and pictures.

template.docx is written by LibreOffice from a Flat ODT source (a report page
with placeholders, tracked changes and a table), with Word's "Table Grid"
style added to its styles part so that the patent tables get their grid.
fig1.png (wide) and fig2.png (tall) are drawn with ImageMagick.

Usage: make_example.py [OUTPUT_DIR]   (default: the folder of this script)
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "fixtures"))
from fodt_docx import NS, add_table_grid_style, convert_to_docx  # noqa: E402

CHANGE = ('<office:change-info><dc:creator>審查員</dc:creator>'
          '<dc:date>2025-01-03T09:00:00</dc:date></office:change-info>')

TEMPLATE = f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document {NS} office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:font-face-decls>
  <style:font-face style:name="Noto Serif CJK TC" svg:font-family="'Noto Serif CJK TC'"/>
 </office:font-face-decls>
 <office:styles>
  <style:default-style style:family="paragraph">
   <style:text-properties style:font-name-asian="Noto Serif CJK TC" fo:font-size="12pt" style:font-size-asian="12pt"/>
  </style:default-style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="Title" style:family="paragraph">
   <style:paragraph-properties fo:text-align="center" fo:margin-bottom="0.4cm"/>
   <style:text-properties fo:font-size="20pt" style:font-size-asian="20pt" fo:font-weight="bold" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="Head" style:family="paragraph">
   <style:paragraph-properties fo:margin-top="0.4cm" fo:margin-bottom="0.2cm"/>
   <style:text-properties fo:font-size="14pt" style:font-size-asian="14pt" fo:font-weight="bold" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="Last" style:family="paragraph">
   <style:paragraph-properties fo:break-after="page"/>
  </style:style>
  <style:style style:name="Tbl" style:family="table">
   <style:table-properties style:width="16cm" table:align="center"/>
  </style:style>
  <style:style style:name="TblA" style:family="table-column"><style:table-column-properties style:column-width="3.5cm"/></style:style>
  <style:style style:name="TblB" style:family="table-column"><style:table-column-properties style:column-width="12.5cm"/></style:style>
  <style:style style:name="Cell" style:family="table-cell">
   <style:table-cell-properties fo:padding="0.1cm" fo:border="0.5pt solid #000000"/>
  </style:style>
 </office:automatic-styles>
 <office:body><office:text>
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="c1"><text:insertion>{CHANGE}</text:insertion></text:changed-region>
   <text:changed-region text:id="c2"><text:deletion>{CHANGE}<text:p>全球專利</text:p></text:deletion></text:changed-region>
   <text:changed-region text:id="c3"><text:deletion>{CHANGE}<text:p>初步</text:p></text:deletion></text:changed-region>
   <text:changed-region text:id="c4"><text:insertion>{CHANGE}</text:insertion></text:changed-region>
  </text:tracked-changes>
  <text:p text:style-name="Title">專利檢索報告</text:p>
  <text:p>報告編號：{{{{編號}}}}</text:p>
  <text:p>委託人：{{{{委託人}}}}</text:p>
  <text:p>報告日期：{{{{日期}}}}</text:p>
  <text:p>檢索範圍：<text:change-start text:change-id="c1"/>{{{{範圍}}}}<text:change-end text:change-id="c1"/><text:change text:change-id="c2"/></text:p>
  <text:p text:style-name="Head">一、檢索條件</text:p>
  <table:table table:name="Conditions" table:style-name="Tbl">
   <table:table-column table:style-name="TblA"/>
   <table:table-column table:style-name="TblB"/>
   <table:table-row>
    <table:table-cell table:style-name="Cell" office:value-type="string"><text:p>檢索主題</text:p></table:table-cell>
    <table:table-cell table:style-name="Cell" office:value-type="string"><text:p>{{{{主題}}}}</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell table:style-name="Cell" office:value-type="string"><text:p>檢索指令</text:p></table:table-cell>
    <table:table-cell table:style-name="Cell" office:value-type="string"><text:p>{{{{指令}}}}</text:p></table:table-cell>
   </table:table-row>
   <table:table-row>
    <table:table-cell table:style-name="Cell" office:value-type="string"><text:p>檢索筆數</text:p></table:table-cell>
    <table:table-cell table:style-name="Cell" office:value-type="string"><text:p>{{{{筆數}}}}</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <text:p text:style-name="Head">二、檢索結果說明</text:p>
  <text:p>本次<text:change text:change-id="c3"/>檢索共<text:change-start text:change-id="c4"/>比對<text:change-end text:change-id="c4"/>下列兩件專利，詳見附件。</text:p>
  <text:p>{{{{說明}}}}</text:p>
  <text:p>【實施方式】感測器10設置於殼體內，並電性連接處理器20。</text:p>
  <text:p>處理器20接收感測器的量測訊號後進行溫度校正。</text:p>
  <text:p>【符號說明】</text:p>
  <text:p>10：感測器　20：處理器</text:p>
  <text:p text:style-name="Last">附件：相關專利列表（次頁起）</text:p>
 </office:text></office:body>
</office:document>
"""

PICTURES = [
    # A wide block diagram: sensor box, wire, processor disc.
    ("fig1.png", "1600x800", [
        "-fill", "#dbeafe", "-stroke", "#1e3a8a", "-strokewidth", "8",
        "-draw", "rectangle 120,160 640,640",
        "-draw", "line 640,400 960,400",
        "-fill", "#fed7aa", "-draw", "circle 1230,400 1230,150",
        "-fill", "#1e3a8a", "-stroke", "none", "-draw", "rectangle 300,330 460,470"]),
    # A tall figure: a housing with three stacked parts.
    ("fig2.png", "900x1200", [
        "-fill", "#f1f5f9", "-stroke", "#334155", "-strokewidth", "8",
        "-draw", "roundrectangle 120,80 780,1120 40,40",
        "-fill", "#bbf7d0", "-draw", "rectangle 220,180 680,420",
        "-fill", "#fde68a", "-draw", "rectangle 220,480 680,720",
        "-fill", "#fecaca", "-draw", "rectangle 220,780 680,1020"]),
]


def make_pictures(out):
    for name, size, draw in PICTURES:
        subprocess.run(["convert", "-size", size, "xc:white"] + draw +
                       ["-strip", os.path.join(out, name)], check=True)


def make_template(out):
    work = tempfile.mkdtemp(prefix="quire-example-")
    try:
        convert_to_docx({"template": TEMPLATE}, work)
        add_table_grid_style(os.path.join(work, "template.docx"), os.path.join(out, "template.docx"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE
    os.makedirs(out, exist_ok=True)
    make_pictures(out)
    make_template(out)
    print("sample template and pictures written to", out)


if __name__ == "__main__":
    main()
