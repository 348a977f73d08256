// Text_Box: the window's multi-line message area, with named text tags.
//
// Text is appended with insert_end(), optionally carrying one tag. A tag's
// foreground colour is set with tag_config(); it applies to every character
// carrying the tag, those inserted before the call included, and to later
// inserts. Untagged text uses the box's own text colour. delete_all()
// removes all text (tag colours are kept). The box is read-only for the
// user; programs write to it through these calls.
#pragma once

#include <QColor>
#include <QMap>
#include <QString>
#include <QTextCharFormat>
#include <QTextEdit>

namespace travo::gui {

class Text_Box : public QTextEdit {
 public:
  explicit Text_Box(QWidget* parent = nullptr);

  // Appends `text` at the end; with a non-empty `tag`, the text carries it.
  // A view scrolled to the bottom stays there, so the newest text shows.
  void insert_end(const QString& text, const QString& tag = QString());

  // Deletes all text, from the first character to the end.
  void delete_all();

  // Gives `tag` the foreground `colour`, for text carrying it now and later.
  void tag_config(const QString& tag, const QColor& colour);

  // All text, line feeds as "\n".
  QString text() const;

  // The tag carried by the character at `position` ("" for none) and the
  // colour it is drawn in. Positions count characters from 0.
  QString tag_at(int position) const;
  QColor foreground_at(int position) const;

 private:
  QTextCharFormat format_at(int position) const;

  QMap<QString, QColor> tag_colours_;
};

}  // namespace travo::gui
