// A Word-processing document (.docx) held in memory.
//
// Document opens a package, finds its main document part through the
// package relationships (word/document.xml in practice) and gives access to
// the body: paragraphs and tables, in the manner of python-docx. Paragraph,
// Run, Table, Row and Cell are handles into the document; they stay valid
// (and safe to use) as long as the Document object lives, also after the
// content they stand for has been removed from the body.
//
// A Document is not thread-safe; use one from one thread at a time.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "travo/docx/package.h"
#include "travo/docx/paragraph.h"
#include "travo/docx/table.h"

namespace travo::docx {

namespace detail {
struct Context;
}

// A direct child of the body that holds content.
using Block = std::variant<Paragraph, Table>;

class Document {
 public:
  // Opens the .docx at `path` / in `bytes`. Throws travo::docx::Error when it is
  // no zip, breaks the package Limits, has no main document part or holds
  // malformed XML in a part that is read.
  static Document open(const std::filesystem::path& path, const Limits& limits = {});
  static Document from_bytes(std::string bytes, const Limits& limits = {});

  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();

  // The paragraphs / tables that are direct children of the body, in
  // order (paragraphs inside tables, headers or text boxes are not).
  std::vector<Paragraph> paragraphs() const;
  std::vector<Table> tables() const;
  // Both, in body order.
  std::vector<Block> blocks() const;

  // Appends at the end of the body, before the final section properties.
  Paragraph add_paragraph(std::string_view text = "");
  // A new paragraph holding a single page break.
  Paragraph add_page_break();
  // A table of `rows` x `cols` empty cells, columns of equal width sharing
  // the page's text width. Throws unless 0 <= rows <= 32767 and
  // 1 <= cols <= 63.
  Table add_table(int rows, int cols);

  // Writes the document to `path` atomically (see Package::save).
  void save(const std::filesystem::path& path);
  std::string to_bytes();

  // The package underneath, for parts this class does not model.
  Package& package();
  // Name of the main document part ("word/document.xml").
  const std::string& main_part_name() const;

 private:
  Document();
  std::unique_ptr<detail::Context> ctx_;
};

}  // namespace travo::docx
