#include "lattice_model/grid.h"

#include <QWidgetItem>
#include <stdexcept>

namespace lattice_model {
namespace {

// A widget item that reserves outer padding around its widget: the layout
// sees the padded size, the widget gets the cell minus the padding (and is
// then aligned inside that by the item's alignment).
class Padded_Item : public QWidgetItem {
 public:
  Padded_Item(QWidget* widget, const QMargins& padding) : QWidgetItem(widget), padding_(padding) {}

  QSize sizeHint() const override { return padded(QWidgetItem::sizeHint()); }
  QSize minimumSize() const override { return padded(QWidgetItem::minimumSize()); }
  QSize maximumSize() const override {
    const QSize max = QWidgetItem::maximumSize();
    return QSize(capped(max.width(), padding_.left() + padding_.right()),
                 capped(max.height(), padding_.top() + padding_.bottom()));
  }
  int heightForWidth(int width) const override {
    const int h = QWidgetItem::heightForWidth(width - padding_.left() - padding_.right());
    return h < 0 ? h : h + padding_.top() + padding_.bottom();
  }
  // QWidgetItem::setGeometry() would align with the padded hints (they are
  // virtual), so the widget is aligned inside the padded cell here instead.
  void setGeometry(const QRect& rect) override {
    if (isEmpty()) return;
    const QRect r = rect.marginsRemoved(padding_);
    const QSize preferred = QWidgetItem::sizeHint();
    QSize s = r.size().boundedTo(QWidgetItem::maximumSize()).expandedTo(QSize(0, 0));
    const Qt::Alignment a = alignment();
    if (a & Qt::AlignHorizontal_Mask) s.setWidth(qMin(s.width(), preferred.width()));
    if (a & Qt::AlignVertical_Mask) s.setHeight(qMin(s.height(), preferred.height()));
    int x = r.x();
    int y = r.y();
    if (a & Qt::AlignRight) {
      x += r.width() - s.width();
    } else if (!(a & Qt::AlignLeft)) {
      x += (r.width() - s.width()) / 2;
    }
    if (a & Qt::AlignBottom) {
      y += r.height() - s.height();
    } else if (!(a & Qt::AlignTop)) {
      y += (r.height() - s.height()) / 2;
    }
    widget()->setGeometry(x, y, s.width(), s.height());
  }
  QRect geometry() const override { return QWidgetItem::geometry().marginsAdded(padding_); }

 private:
  QSize padded(const QSize& size) const {
    if (isEmpty()) return QSize(0, 0);
    return size.grownBy(padding_);
  }
  static int capped(int value, int extra) {
    return value >= QLAYOUTSIZE_MAX - extra ? QLAYOUTSIZE_MAX : value + extra;
  }

  QMargins padding_;
};

void check_pad(const Pad& pad, const char* name) {
  if (pad.first < 0 || pad.second < 0) {
    throw std::invalid_argument(std::string("grid: ") + name + " must not be negative");
  }
}

}  // namespace

Qt::Alignment sticky_alignment(std::string_view sticky) {
  bool n = false, s = false, e = false, w = false;
  for (char c : sticky) {
    switch (c) {
      case 'n': n = true; break;
      case 's': s = true; break;
      case 'e': e = true; break;
      case 'w': w = true; break;
      case ' ':
      case ',': break;
      default:
        throw std::invalid_argument("grid: sticky \"" + std::string(sticky) +
                                    "\" may hold only the letters n, s, e and w");
    }
  }
  Qt::Alignment a;
  if (e != w) a |= w ? Qt::AlignLeft : Qt::AlignRight;
  if (!e && !w) a |= Qt::AlignHCenter;
  if (n != s) a |= n ? Qt::AlignTop : Qt::AlignBottom;
  if (!n && !s) a |= Qt::AlignVCenter;
  return a;
}

QGridLayout* grid_layout(QWidget* parent) {
  if (!parent) throw std::invalid_argument("grid: no parent widget");
  if (QLayout* existing = parent->layout()) {
    auto* grid = qobject_cast<QGridLayout*>(existing);
    if (!grid) throw std::invalid_argument("grid: the parent already has a layout that is not a grid");
    return grid;
  }
  auto* grid = new QGridLayout(parent);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  grid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return grid;
}

void grid(QWidget* widget, QWidget* parent, const Grid_Place& place) {
  if (!widget) throw std::invalid_argument("grid: no widget");
  if (place.row < 0 || place.column < 0) throw std::invalid_argument("grid: row and column must not be negative");
  if (place.rowspan < 1 || place.columnspan < 1) throw std::invalid_argument("grid: spans must be at least 1");
  check_pad(place.padx, "padx");
  check_pad(place.pady, "pady");
  const Qt::Alignment alignment = sticky_alignment(place.sticky);
  QGridLayout* layout = grid_layout(parent);

  if (widget->parentWidget() != parent) widget->setParent(parent);
  auto* item = new Padded_Item(
      widget, QMargins(place.padx.first, place.pady.first, place.padx.second, place.pady.second));
  layout->addItem(item, place.row, place.column, place.rowspan, place.columnspan, alignment);
  // Like QLayout::addChildWidget: a widget added to a shown parent appears
  // unless it was hidden on purpose.
  const bool hidden_on_purpose =
      widget->testAttribute(Qt::WA_WState_ExplicitShowHide) && widget->testAttribute(Qt::WA_WState_Hidden);
  if (parent->isVisible() && !hidden_on_purpose) widget->show();
}

void grid_columnconfigure(QWidget* parent, int column, int weight) {
  if (column < 0 || weight < 0) throw std::invalid_argument("grid: column and weight must not be negative");
  QGridLayout* layout = grid_layout(parent);
  layout->setColumnStretch(column, weight);
  // A weighted column takes extra width, so the content no longer keeps to the left.
  if (weight > 0) layout->setAlignment(layout->alignment() & ~Qt::AlignHorizontal_Mask);
}

void grid_rowconfigure(QWidget* parent, int row, int weight) {
  if (row < 0 || weight < 0) throw std::invalid_argument("grid: row and weight must not be negative");
  QGridLayout* layout = grid_layout(parent);
  layout->setRowStretch(row, weight);
  if (weight > 0) layout->setAlignment(layout->alignment() & ~Qt::AlignVertical_Mask);
}

}  // namespace lattice_model
