#include "travo/gui/text_box.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "lattice_model/theme.h"

namespace travo::gui {
namespace {

constexpr int kTagProperty = QTextFormat::UserProperty + 1;

}  // namespace

Text_Box::Text_Box(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setAcceptRichText(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setStyleSheet(QString("QTextEdit { background-color: %1; color: %2; border: none; border-radius: 0px;"
                        " selection-background-color: %3; }")
                    .arg(lattice_model::theme::kTextBox, lattice_model::theme::kText,
                         lattice_model::theme::kAccent));
}

void Text_Box::insert_end(const QString& text, const QString& tag) {
  QScrollBar* bar = verticalScrollBar();
  const bool at_bottom = bar->value() == bar->maximum();

  QTextCharFormat format;
  if (!tag.isEmpty()) {
    format.setProperty(kTagProperty, tag);
    if (auto it = tag_colours_.constFind(tag); it != tag_colours_.constEnd()) format.setForeground(*it);
  }
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text, format);

  if (at_bottom) bar->setValue(bar->maximum());
}

void Text_Box::delete_all() { document()->clear(); }

void Text_Box::tag_config(const QString& tag, const QColor& colour) {
  tag_colours_[tag] = colour;
  QTextCharFormat recolour;
  recolour.setForeground(colour);
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid() || fragment.charFormat().property(kTagProperty).toString() != tag) continue;
      QTextCursor cursor(document());
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.mergeCharFormat(recolour);
    }
  }
}

QString Text_Box::text() const { return toPlainText(); }

QTextCharFormat Text_Box::format_at(int position) const {
  // A cursor reports the format of the character before it; the document
  // ends with a paragraph separator that is no character of the text.
  if (position < 0 || position + 1 >= document()->characterCount()) return QTextCharFormat();
  QTextCursor cursor(document());
  cursor.setPosition(position + 1);
  return cursor.charFormat();
}

QString Text_Box::tag_at(int position) const { return format_at(position).property(kTagProperty).toString(); }

QColor Text_Box::foreground_at(int position) const {
  const QTextCharFormat format = format_at(position);
  if (format.hasProperty(QTextFormat::ForegroundBrush)) return format.foreground().color();
  return palette().color(QPalette::Text);
}

}  // namespace travo::gui
