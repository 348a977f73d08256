#include "travo/gui/appearance.h"

#include <QFont>
#include <QPalette>
#include <QStyleFactory>

#include "lattice_model/theme.h"

namespace travo::gui {

void apply_dark_appearance(QApplication& app) {
  namespace theme = lattice_model::theme;
  app.setStyle(QStyleFactory::create("Fusion"));

  const QColor window(theme::kWindow), frame(theme::kFrame), text(theme::kText), accent(theme::kAccent);
  const QColor disabled_text(0x7a, 0x7a, 0x7a);
  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, QColor(theme::kTextBox));
  p.setColor(QPalette::AlternateBase, frame);
  p.setColor(QPalette::ToolTipBase, frame);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, QColor(0x9e, 0x9e, 0x9e));
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, accent);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Highlight, accent);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x3b, 0x8e, 0xd0));
  p.setColor(QPalette::Light, frame.lighter(150));
  p.setColor(QPalette::Midlight, frame.lighter(125));
  p.setColor(QPalette::Mid, frame);
  p.setColor(QPalette::Dark, window.darker(150));
  p.setColor(QPalette::Shadow, Qt::black);
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, disabled_text);
  }
  app.setPalette(p);

  // Windows has the family; elsewhere the CJK Noto fonts stand in for it.
  QFont::insertSubstitutions(kFontFamily, {"Noto Sans CJK TC", "Noto Sans TC", "PingFang TC",
                                           "Microsoft JhengHei UI"});
  QFont font(kFontFamily);
  font.setPixelSize(theme::kFontPixelSize);
  app.setFont(font);
}

}  // namespace travo::gui
