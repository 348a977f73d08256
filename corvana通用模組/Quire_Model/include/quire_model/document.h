// Quire_Model::Document: the engine's working object.
//
// A Document keeps a table of template versions (version key to template
// file), opens one of them as the working document `doc`, keeps the
// replacement registry `replace_value` (placeholder text to entry, see
// replacement_entry.h), and knows the output folder `save_path` and the
// PDF converter `platen_model`. All fields are public: the driving program
// and the engine's operations read and write them directly.
//
// Expected use: construct; register every template with
// set_word_version_path; open one with run_version; register replacements
// with set (before or after run_version: the registry does not depend on
// the open document); apply them with execute_set and append patent tables
// with _add_table; write the result with output. show_all_text and
// show_execute_set inspect the document at any point without changing it.
// delete_ empties the registry between batches, and run_version may be
// called again to fill another version with the same registry.
//
// Failures: operations that need the working document throw
// std::logic_error while none is open; errors of the docx layer
// (travo::docx::Error) reach the caller unchanged, except where an operation below
// says that it prints a line on standard output and carries on.
//
// A Document is single-threaded: one caller at a time.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "travo/docx/document.h"
#include "travo/docx/paragraph.h"
#include "quire_model/ordered_map.h"
#include "quire_model/quire_model.h"
#include "quire_model/replacement_entry.h"
#include "quire_model/template_check.h"
#include "quire_model/value.h"

namespace platen_model {
class Platen_Model;
}

namespace quire_model {

// What one inspection found for one placeholder: the texts of the
// paragraphs that use it inconsistently, in document order (key "text").
struct Check_Finding {
  std::vector<std::string> text;
  friend bool operator==(const Check_Finding&, const Check_Finding&) = default;
};
// Findings per placeholder, in the order in which placeholders were first
// found.
using Check_Dict = Ordered_Map<Check_Finding>;

// The arguments of Document::_add_table, to be named as needed:
//
//   doc._add_table({.abstract = "一種…", .PAPN = "TWI123456B", .title = "…",
//                   .image_path = "C:/corvana/圖/1.png"});
//
// abstract, PAPN and title are written in their text form (a number gives
// its decimal text). rows and cols must be at least 4 and 3; extra rows and
// columns only get the vertical alignment. image_path absent: no picture.
struct Add_Table_Options {
  Value abstract = "";
  Value PAPN = "";
  Value title = "";
  int rows = 4;
  int cols = 3;
  std::optional<std::string> image_path = std::nullopt;
};

class Quire_Model::Document {
 public:
  // Page-break markers in extracted text (plain text, never escaped).
  static constexpr std::string_view kPageMarker = "$$$page$$$";      // get_accepted_text
  static constexpr std::string_view kRunPageMarker = "$$$AAAA$$$";   // ttff
  // In a table cell's replacement text: the start of the remark run.
  static constexpr std::string_view kRemarkMarker = "__remark__";
  // The heading of the list of reference signs, where show_execute_set
  // stops checking when asked to keep to a range.
  static constexpr std::string_view kSignListHeading = "【符號說明】";
  // The WordprocessingML namespace in the braced form that prefixes local
  // names in "{uri}local" tags, for report programs that read the
  // paragraph XML themselves.
  static constexpr std::string_view WORD_NAMESPACE =
      "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}";

  // Empty version table and registry, a new converter; doc, version,
  // save_path, name and check_dict unset. An error constructing the
  // converter reaches the caller.
  Document();
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Template file of each version key (the key's text form), as given.
  std::map<std::string, std::string> version_path;
  // The replacement registry, in order of first registration.
  Replacement_Registry replace_value;
  // The docx-to-PDF converter, made by the constructor.
  std::unique_ptr<::platen_model::Platen_Model> platen_model;
  // Output folder prefix; output file names are appended to it without a
  // separator. Set by every run_version call.
  std::optional<std::string> save_path;
  // The version now open, exactly as the caller gave it.
  std::optional<Value> version;
  // The working document, in memory.
  std::optional<travo::docx::Document> doc;
  // Base name of the last output.
  std::optional<std::string> name;
  // Findings of the last inspection.
  std::optional<Check_Dict> check_dict;

  // Registers (or re-registers) the template file `path` under the text
  // form of `name`. The path is stored as given and only read by
  // run_version.
  void set_word_version_path(const Value& name, std::string path);

  // Stores `save_path` (always, first), then opens the template registered
  // under the text form of `version`: on success `version` holds the
  // caller's value and `doc` the opened document (a document open before
  // is dropped unsaved). A path under "C:/corvana/" is opened from the
  // local folder that stands for it; save_path keeps the text as given.
  //
  // An unregistered version prints "word的檔案格式名稱並沒有定義" and
  // returns; version and doc keep what they held. A registered template
  // that cannot be opened throws travo::docx::Error; version and doc then also
  // keep what they held.
  void run_version(const Value& version, std::string save_path = "C:/corvana/");

  // Registers the placeholder `old_text` (its text form is the key) with
  // the replacement `new_text` (stored as its text form) and `options`.
  // An earlier entry under the same key is replaced whole, nothing of it
  // kept, and the key keeps its place in the registry order.
  void set(const Value& old_text, const Value& new_text, const Set_Options& options = {});

  // Empties the registry. (The name `delete` is taken by C++.)
  void delete_();

  // The text of `p` as it reads with every tracked change accepted:
  // inserted text kept, deleted text left out, each page break written as
  // kPageMarker. A paragraph whose markup, written with the prefix "w",
  // does not contain "w:del", "w:ins" or "w:br" anywhere (so w:delText and
  // a field's w:instrText count as well) is answered with the docx layer's
  // paragraph text, tabs and all; any other is read from its runs at every
  // depth, where only text elements and page breaks count (tabs, line
  // breaks and field codes give nothing). Content held in several forms in
  // mc:AlternateContent (a text box: DrawingML and VML) is read once, from
  // its first mc:Choice. Does not change the document.
  std::string get_accepted_text(const travo::docx::Paragraph& p) const;

  // As get_accepted_text, but page breaks are dropped, only "w:del" and
  // "w:ins" send the paragraph down the markup path, and there the text of
  // every w:t element counts (of mc:AlternateContent, the first mc:Choice).
  std::string _get_accepted_text(const travo::docx::Paragraph& p) const;

  // The text of the runs that are direct children of the root element of
  // `xml` (a serialised paragraph, say): per run, kRunPageMarker when its
  // first w:br is a page break, then the text of its first w:t. Runs nested
  // deeper (insertions, hyperlinks) are not read. Throws travo::docx::Error for
  // XML that does not parse.
  std::string ttff(std::string_view xml) const;

  // Applies the registry to the working document, in two walks.
  //
  // Body paragraphs (direct children of the body, in order): a paragraph's
  // accepted text is taken once as its snapshot. For each key in registry
  // order that occurs in the snapshot and still occurs in the paragraph's
  // current accepted text, every occurrence is replaced by the entry's
  // text and the paragraph is rebuilt from the result: its content is
  // removed (paragraph properties stay), and one run per piece of the text
  // between kPageMarker markers is appended, each but the last followed by
  // a page break. The runs get the entry's font name, East Asian font, size
  // and colour, the paragraph its alignment, left indent and exact line
  // spacing. A paragraph holding several keys is rebuilt once per key, so
  // its final formatting is that of the last of them.
  //
  // Table cells (every table of the body, row by row, each cell once, at
  // the first grid position it covers, so a cell merged across columns or
  // rows is replaced once per call): a cell's plain text is its snapshot. For each key that occurs in the
  // snapshot and still occurs in the cell's current text, every occurrence
  // is replaced and the cell's whole content becomes one paragraph with one
  // run of the new text. Text after the first kRemarkMarker of a run moves
  // into a run of its own with the remark size (further markers are
  // dropped, their text kept). Runs get the entry's fonts, size and colour;
  // with an image_path, each paragraph gets the picture appended in a run
  // of its own; then each paragraph gets the alignment, indent and spacing.
  //
  // Picture size: with image_fixed_ratio true, the largest size with the
  // picture's proportions that fits the box image_width x image_height
  // (inches), both of which must then be given. Otherwise a box of both
  // sides stretches the picture to it; a box of one side sets that side,
  // the other following the proportions; no box gives the picture's
  // native size at 96 pixels per inch. A picture that cannot be placed
  // (missing file, no picture, no box) prints
  // "execute_set設定照片錯誤 --> " and the error's text, and the walk goes
  // on; the cell keeps its replaced text.
  //
  // Any other error (a value the document refuses, such as a colour
  // component above 255) throws; changes made before it stay. The registry
  // is not changed. Throws std::logic_error when no document is open.
  void execute_set();

  // Appends one patent to the end of the working document: a table in the
  // style "Table Grid" of 4 rows and 3 columns, then a paragraph holding a
  // page break, so that the next patent starts a new page.
  //
  //   row 0 (0.8 cm): "專利編號" | "專利名稱" | "關聯性"
  //   row 1 (0.8 cm): PAPN      | title      | (empty)
  //   row 2 (8 cm):   one cell over the three columns: "摘要：", a line
  //                   break, the abstract
  //   row 3 (10 cm):  one cell over the three columns: the picture, centred
  //
  // Every cell is centred vertically. Widths are given cell by cell: the
  // cell at column 1 of every row gets 12.2 cm, then the cells at columns 0
  // and 2 get 2 cm (so the abstract cell, merged beforehand, records 2 cm;
  // the picture cell is merged afterwards and records the sum, 16.2 cm).
  // A picture at least 16.4/13 times as wide as it is high is placed
  // 16.4 cm wide, any other 13 cm high; the other side follows its
  // proportions. Heights are minimum heights: content may grow a row.
  //
  // Absorbed on standard output, the operation carrying on: a document
  // without the table style ("無法設定格線"; the table keeps the default
  // style), a picture that cannot be read (the error's text, then
  // "插入圖片錯誤") or that the document refuses ("插入圖片錯誤").
  //
  // Throws std::invalid_argument, before anything is appended, when rows is
  // below 4 or cols below 3, and travo::docx::Error for sizes the document cannot
  // hold. Any other failure (a text a document cannot carry, say) throws
  // after the half-built table has been removed again: a failed call leaves
  // the document as it was. Throws std::logic_error when no document is
  // open.
  void _add_table(const Add_Table_Options& options = {});
  // The same with the arguments by position.
  void _add_table(const Value& abstract, const Value& PAPN = "", const Value& title = "",
                  int rows = 4, int cols = 3,
                  std::optional<std::string> image_path = std::nullopt);

  // Writes the working document under the base name save_path + name (glued
  // on with no separator, so a save_path meant as a folder must end in
  // "/"): always as base + ".docx" first, replacing any file there; with
  // `pdf`, converts it to base + ".pdf" with platen_model (resident office,
  // keep_active) and checks that a non-empty PDF is there; without `docx`,
  // then deletes the Word file. Ends with the line "[完成！] " and the file
  // produced: the PDF when one was made, else the Word file. Stores `name`
  // in the field name first. Paths under "C:/corvana/" are written to the
  // local folder that stands for it; the completion line shows the path as
  // given.
  //
  // Errors (folder missing, file locked, conversion failed, PDF missing or
  // empty, deletion failed) throw and end the operation: no completion
  // line, and the Word file stays on disk whatever `docx` says, so a failed
  // conversion never costs the only copy. The document stays open and
  // unchanged, so output may be called again. Throws std::logic_error when
  // no document is open.
  void output(const std::string& name, bool pdf = false, bool docx = true);

  // The accepted text (get_accepted_text) of every body paragraph, in
  // order, as the paragraph would read once rewritten as that plain text.
  // Does not change the document. Throws std::logic_error when no document
  // is open.
  std::vector<std::string> show_all_text() const;

  // Checks the body text against the registry, for registries whose
  // replacement texts contain their placeholder (an element name replaced
  // by the name with its reference numeral): every later mention of the
  // name should carry the numeral. Replaces check_dict with the findings:
  // per placeholder, the accepted texts of the body paragraphs in which it
  // occurs outside any replacement text, in document order (a paragraph
  // appears once under each placeholder it fails). Placeholders without a
  // finding have no key.
  //
  // Per paragraph and placeholder P with replacement R: a P that does not
  // occur in R is recorded wherever P occurs. Otherwise each occurrence of
  // P (left to right, not overlapping) is covered when R stands in the text
  // around it at the place where P stands in R, or, failing that, when the
  // replacement text S of another placeholder Q containing P stands in the
  // text at offset (position of P in R) + (position of P in Q) before it.
  // The paragraph is recorded when the last occurrence that R does not
  // cover is covered by no Q either.
  //
  // With `specify_range`, the check of each placeholder starts at the first
  // paragraph holding its replacement text, and all checking ends at the
  // first paragraph holding kSignListHeading (that one unchecked). An empty
  // placeholder is never checked. Does not change the document. Throws
  // std::logic_error when no document is open.
  void show_execute_set(bool specify_range = false);

  // Reads the template against the registry before it is filled (see
  // template_check.h): the keys that occur nowhere in the document; the
  // keys that execute_set would not find (it reads the accepted text of
  // the body's paragraphs and the text of the body's table cells) but that
  // occur in a header, footer, text box, nested table, footnote or endnote,
  // each with the places; and the texts matching the placeholder pattern
  // anywhere in the document in which no registry key occurs. A key counts
  // as found where its text stands as the reader sees it, however the
  // producer cut it into runs, insertions or hyperlinks. Does not change
  // the document. Throws std::invalid_argument for a pattern that is no
  // regular expression, travo::docx::Error for a header, footer or notes
  // part that is not well-formed XML, std::logic_error when no document is
  // open.
  Template_Check check_template(const Template_Check_Options& options = {});

  // The working document; throws std::logic_error when none is open.
  travo::docx::Document& working_document();
  const travo::docx::Document& working_document() const;
};

// Shorter name for the working object.
using Document = Quire_Model::Document;

}  // namespace quire_model
