#!/usr/bin/python3
"""Regenerates the template-check fixtures of Quire_Model, one document per
producer, so that check_template is tried on what real writers emit.

template_lo.docx, written by LibreOffice from a Flat ODT source:
  body   "發明人：{{發明人}}"
         "申請人：{{申" 請 "人}}" (the key over three runs, each formatted)
         "案號 {{案號}}" inside a tracked insertion, "{{刪除}}" in a deletion
         "網址 {{網址}}" inside a hyperlink
         "{{未知欄位}}" (a placeholder the registry lacks)
         "Anchor [text box "{{方塊}}"] text"
         "日期 {{日期}}", a footnote "{{註腳}}"
  table  "{{表格}}" | a nested table holding "{{巢狀}}"
  header "{{頁首}}"; footer "{{頁尾}} {{日期}}"

template_pydocx.docx, written by python-docx (Debian's python3-docx):
  body   "{{發" 明 "人}}" (three runs), "{{未登記}}"
  table  "{{表格}}" | a nested table holding "{{巢狀}}"
  header "{{頁首}}"; footer "第 {{頁尾}} 頁"

report_fonts.docx, written by python-docx: one paragraph per placeholder
  {{標楷體}}, {{新細明體}}, {{正黑體}}, {{Calibri}}, {{Times}}, {{Arial}}, for
  a report filled with the Windows fonts of our templates.

Usage: make_template_check_fixtures.py [OUTPUT_DIR]  (default: this folder)
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts", "fixtures"))
from fodt_docx import convert_to_docx, fodt  # noqa: E402

CHANGE_INFO = ('<office:change-info><dc:creator>Tester</dc:creator>'
               '<dc:date>2024-01-02T03:04:05</dc:date></office:change-info>')


def libreoffice_source():
    styles = """
  <style:style style:name="T1" style:family="text"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="T2" style:family="text"><style:text-properties fo:font-style="italic" fo:color="#ff0000"/></style:style>
  <style:style style:name="fr1" style:family="graphic"><style:graphic-properties fo:border="0.06pt solid #000000"/></style:style>
  <style:page-layout style:name="pm1"><style:header-style/><style:footer-style/></style:page-layout>
"""
    master = ('<style:master-page style:name="Standard" style:page-layout-name="pm1">'
              '<style:header><text:p>{{頁首}}</text:p></style:header>'
              '<style:footer><text:p>{{頁尾}} {{日期}}</text:p></style:footer></style:master-page>')
    body = f"""
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="ct1"><text:insertion>{CHANGE_INFO}</text:insertion></text:changed-region>
   <text:changed-region text:id="ct2"><text:deletion>{CHANGE_INFO}<text:p>{{{{刪除}}}}</text:p></text:deletion></text:changed-region>
  </text:tracked-changes>
  <text:p>發明人：{{{{發明人}}}}</text:p>
  <text:p>申請人：<text:span text:style-name="T1">{{{{申</text:span><text:span text:style-name="T2">請</text:span>人}}}}</text:p>
  <text:p>案號 <text:change-start text:change-id="ct1"/>{{{{案號}}}}<text:change-end text:change-id="ct1"/>，<text:change text:change-id="ct2"/>完</text:p>
  <text:p>網址 <text:a xlink:type="simple" xlink:href="https://example.com/">{{{{網址}}}}</text:a></text:p>
  <text:p>{{{{未知欄位}}}}</text:p>
  <text:p>Anchor <draw:frame draw:style-name="fr1" draw:name="Box" text:anchor-type="as-char" svg:width="4cm" svg:height="1cm" draw:z-index="0"><draw:text-box><text:p>{{{{方塊}}}}</text:p></draw:text-box></draw:frame> text</text:p>
  <text:p>日期 {{{{日期}}}}<text:note text:id="n1" text:note-class="footnote"><text:note-citation>1</text:note-citation><text:note-body><text:p>{{{{註腳}}}}</text:p></text:note-body></text:note></text:p>
  <table:table table:name="Outer"><table:table-column table:number-columns-repeated="2"/>
   <table:table-row>
    <table:table-cell office:value-type="string"><text:p>{{{{表格}}}}</text:p></table:table-cell>
    <table:table-cell office:value-type="string">
     <table:table table:name="Inner"><table:table-column/>
      <table:table-row><table:table-cell office:value-type="string"><text:p>{{{{巢狀}}}}</text:p></table:table-cell></table:table-row>
     </table:table>
    </table:table-cell>
   </table:table-row>
  </table:table>
  <text:p/>
"""
    return fodt(body, styles, master, fonts=("Liberation Serif", "Noto Serif CJK TC"))


def python_docx(path):
    import docx  # Debian: python3-docx

    d = docx.Document()
    p = d.add_paragraph()
    p.add_run("{{發")
    p.add_run("明").bold = True
    p.add_run("人}}").italic = True
    d.add_paragraph("{{未登記}}")
    table = d.add_table(rows=1, cols=2)
    table.cell(0, 0).text = "{{表格}}"
    inner = table.cell(0, 1).add_table(rows=1, cols=1)
    inner.cell(0, 0).text = "{{巢狀}}"
    section = d.sections[0]
    section.header.paragraphs[0].text = "{{頁首}}"
    section.footer.paragraphs[0].text = "第 {{頁尾}} 頁"
    d.save(path)


def report_fonts(path):
    import docx

    d = docx.Document()
    for key in ("標楷體", "新細明體", "正黑體", "Calibri", "Times", "Arial"):
        d.add_paragraph("{{" + key + "}}")
    d.save(path)


def main():
    out = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE
    os.makedirs(out, exist_ok=True)
    convert_to_docx({"template_lo": libreoffice_source()}, out)
    python_docx(os.path.join(out, "template_pydocx.docx"))
    report_fonts(os.path.join(out, "report_fonts.docx"))
    print("fixtures written to", out)


if __name__ == "__main__":
    main()
