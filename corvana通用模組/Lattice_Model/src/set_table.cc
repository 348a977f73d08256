#include "lattice_model/set_table.h"

#include <QLabel>
#include <stdexcept>

#include "lattice_model/grid.h"
#include "lattice_model/theme.h"

namespace lattice_model {

Set_Table::Set_Table(QWidget* parent) : parent_(parent) {
  if (!parent) throw std::invalid_argument("Set_Table: no parent widget");
  grid_layout(parent);
}

QLineEdit* Set_Table::add_entry_name(const std::string& name) {
  if (name.empty()) throw std::invalid_argument("Set_Table: an entry row needs a name");
  if (entries_.count(name)) throw std::invalid_argument("Set_Table: the entry row \"" + name + "\" exists already");
  if (!parent_) throw std::runtime_error("Set_Table: the parent widget no longer exists");

  const QString qname = QString::fromStdString(name);
  auto* label = new QLabel(qname, parent_);
  label->setObjectName(qname + "_label");
  label->setStyleSheet(QString("QLabel { color: %1; background: transparent; }").arg(theme::kLabelText));

  auto* entry = new QLineEdit(parent_);
  entry->setObjectName(qname);
  entry->setFixedSize(280, 28);
  entry->setStyleSheet(QString("QLineEdit { background-color: %1; color: %2; border: 2px solid %3;"
                               " border-radius: 6px; padding: 0px 6px; selection-background-color: %4; }")
                           .arg(theme::kEntry, theme::kText, theme::kEntryBorder, theme::kAccent));

  grid(label, parent_, Grid_Place{.row = rows_, .column = 0, .padx = Pad(0, 10), .sticky = "w"});
  grid(entry, parent_, Grid_Place{.row = rows_, .column = 1, .sticky = "w"});
  ++rows_;
  entries_[name] = entry;
  return entry;
}

std::string Set_Table::get(const std::string& name) const {
  QLineEdit* e = entry(name);
  if (!e) {
    if (entries_.count(name)) throw std::runtime_error("Set_Table: the entry \"" + name + "\" no longer exists");
    throw std::out_of_range("Set_Table: no entry row is named \"" + name + "\"");
  }
  return e->text().toStdString();
}

QLineEdit* Set_Table::entry(const std::string& name) const {
  auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : it->second.data();
}

}  // namespace lattice_model
