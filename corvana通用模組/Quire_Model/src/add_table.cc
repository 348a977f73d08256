// The patent table builder: one fixed-layout table per patent, then a page
// break.

#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "travo/docx/image.h"
#include "travo/docx/table.h"
#include "quire_model/document.h"
#include "travo/platform/paths.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

constexpr const char* kGridStyle = "Table Grid";
constexpr const char* kNoGridMessage = "無法設定格線";
constexpr const char* kPictureMessage = "插入圖片錯誤";
// 16.4 cm / 13 cm, the picture box: a picture at least this many times as
// wide as it is high meets the box with its width, any other with its
// height.
constexpr double kBoxRatio = 1.2615384615384615;

// Which side of the picture box a picture fills.
enum class Fit { width, height };

struct Sized_Picture {
  travo::docx::Image image;
  Fit fit;
};

// Reads the picture and decides its fit. A picture that cannot be read is
// reported with the reader's message and gives nothing.
std::optional<Sized_Picture> size_picture(const std::string& path) {
  try {
    travo::docx::Image image = travo::docx::Image::open(travo::platform::local_path(path));
    const Fit fit = image.width() >= kBoxRatio * image.height() ? Fit::width : Fit::height;
    return Sized_Picture{std::move(image), fit};
  } catch (const std::exception& error) {
    std::cout << error.what() << std::endl;
    return std::nullopt;
  }
}

// Places the picture, centred, in the merged last row. Whatever went before
// a failure stays (the cell emptied, an empty run added); the failure is
// reported and the table kept.
void place_picture(const travo::docx::Table& table, const std::optional<Sized_Picture>& picture) {
  try {
    travo::docx::Cell cell = table.cell(3, 0);
    cell.set_text("");
    travo::docx::Paragraph p = cell.paragraphs().at(0);
    travo::docx::Run run = p.add_run();
    if (!picture) throw std::runtime_error("the picture has no size");
    if (picture->fit == Fit::width) {
      run.add_picture(picture->image, travo::docx::Cm(16.4));
    } else {
      run.add_picture(picture->image, std::nullopt, travo::docx::Cm(13));
    }
    p.set_alignment(travo::docx::Alignment::center);
  } catch (const std::exception&) {
    std::cout << kPictureMessage << std::endl;
  }
}

// Merges the cells of grid columns 0, 1 and 2 of `row` into one, from the
// left, and returns it.
travo::docx::Cell merge_first_three(const travo::docx::Row& row) {
  travo::docx::Cell first = row.cell(0);
  first.merge(row.cell(1));
  first.merge(row.cell(2));
  return first;
}

void build(travo::docx::Table table, const Add_Table_Options& o, const std::string& papn,
           const std::string& title, const std::string& abstract) {
  try {
    table.set_style(kGridStyle);
  } catch (const std::exception&) {
    std::cout << kNoGridMessage << std::endl;
  }

  std::vector<travo::docx::Row> rows = table.rows();
  rows[0].cell(0).set_text("專利編號");
  rows[0].cell(1).set_text("專利名稱");
  rows[0].cell(2).set_text("關聯性");
  // Before the merges, so that merged cells keep the alignment of their
  // first cell.
  for (const travo::docx::Row& row : rows)
    for (travo::docx::Cell& cell : row.cells()) cell.set_vertical_alignment(travo::docx::Vertical_Alignment::center);

  rows[1].cell(0).set_text(papn);
  rows[1].cell(1).set_text(title);
  rows[1].cell(2).set_text("");

  merge_first_three(rows[2]).set_text("摘要：\n" + abstract);

  rows[0].set_height(travo::docx::Cm(0.8));
  rows[1].set_height(travo::docx::Cm(0.8));
  rows[2].set_height(travo::docx::Cm(8));
  rows[3].set_height(travo::docx::Cm(10));

  // Two passes, middle column first: in the merged abstract row all three
  // positions address one cell, which therefore ends with 2 cm.
  for (const travo::docx::Row& row : rows) row.cell(1).set_width(travo::docx::Cm(12.2));
  for (const travo::docx::Row& row : rows) {
    row.cell(0).set_width(travo::docx::Cm(2));
    row.cell(2).set_width(travo::docx::Cm(2));
  }

  // After the widths, so that the picture cell records their sum.
  merge_first_three(rows[3]);

  if (o.image_path) place_picture(table, size_picture(*o.image_path));
}

}  // namespace

void Quire_Model::Document::_add_table(const Add_Table_Options& o) {
  travo::docx::Document& d = working_document();
  // The layout addresses rows 0 to 3 and columns 0 to 2; refuse smaller
  // tables before anything is appended.
  if (o.rows < 4 || o.cols < 3) {
    throw std::invalid_argument("a patent table needs at least 4 rows and 3 columns, not " +
                                std::to_string(o.rows) + " x " + std::to_string(o.cols));
  }
  const std::string papn = o.PAPN.text_form();
  const std::string title = o.title.text_form();
  const std::string abstract = o.abstract.text_form();

  travo::docx::Table table = d.add_table(o.rows, o.cols);
  try {
    build(table, o, papn, title, abstract);
  } catch (...) {
    // Take the half-built table out again. Pictures, the one part that
    // reaches outside the body, are placed last under their own guard, so
    // nothing else refers to it.
    table.remove();
    throw;
  }
  d.add_page_break();
}

void Quire_Model::Document::_add_table(const Value& abstract, const Value& PAPN, const Value& title,
                                       int rows, int cols, std::optional<std::string> image_path) {
  _add_table(Add_Table_Options{.abstract = abstract,
                             .PAPN = PAPN,
                             .title = title,
                             .rows = rows,
                             .cols = cols,
                             .image_path = std::move(image_path)});
}

}  // namespace quire_model
