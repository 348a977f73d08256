// What Document::check_template finds: a template read against the
// registry before it is filled, so that a placeholder misspelt in the
// template or in the program shows before a report goes out half filled.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quire_model {

// Places of a document that execute_set does not read (it reads the body's
// own paragraphs and the cells of the body's tables).
enum class Template_Place {
  header,
  footer,
  text_box,
  nested_table,  // a table inside a table cell
  footnote,
  endnote,
  other,  // e.g. a content control holding whole paragraphs
};

// "header", "footer", "text_box", "nested_table", "footnote", "endnote",
// "other": the names of the --json result.
std::string_view place_id(Template_Place place);
// "頁首", "頁尾", "文字方塊", "巢狀表格", "註腳", "章節附註", "其他位置".
std::string_view place_label(Template_Place place);

struct Template_Check_Options {
  // What looks like a placeholder: an ECMAScript regular expression. The
  // default, the "{{…}}" of our templates, is matched without the regex
  // engine, so that a paragraph of any length is safe; another pattern
  // is matched by std::regex, over texts longer than 8 KiB in 8 KiB
  // windows that overlap by 1 KiB (a placeholder is far shorter).
  std::string placeholder_pattern = std::string(kDefaultPattern);
  static constexpr std::string_view kDefaultPattern = R"(\{\{[^{}]*\}\})";
};

// A registry key that occurs only where execute_set does not look.
struct Misplaced_Key {
  std::string key;
  std::vector<Template_Place> places;  // each once, in the order found
  friend bool operator==(const Misplaced_Key&, const Misplaced_Key&) = default;
};

// The findings, each list in registry order (keys) or document order
// (placeholders). A key is in at most one of the two key lists.
struct Template_Check {
  // Registry keys that occur nowhere in the document (as the reader sees
  // it, tracked deletions gone), so execute_set does nothing for them.
  std::vector<std::string> unused_keys;
  // Texts matching the placeholder pattern in which no registry key
  // occurs, each once, from every place of the document.
  std::vector<std::string> unregistered_placeholders;
  // Keys that execute_set does not find but that occur elsewhere.
  std::vector<Misplaced_Key> misplaced_keys;

  bool empty() const {
    return unused_keys.empty() && unregistered_placeholders.empty() && misplaced_keys.empty();
  }
  friend bool operator==(const Template_Check&, const Template_Check&) = default;
};

// One line per finding, for people:
//   "未使用的鍵：{{發明人}}"
//   "未登記的佔位符：{{發明⼈}}"
//   "只出現在頁首、頁尾的鍵：{{頁碼}}"
// and the single line "範本檢查沒有發現問題" when there is none.
std::vector<std::string> template_check_lines(const Template_Check& check);

}  // namespace quire_model
