// Set_Table: a table of labelled entry rows inside one parent widget.
//
// Each add_entry_name() call appends a row to the parent's grid: a label
// showing the name, then a one-line text entry registered under the same
// name (the entry's Qt object name is the name, the label's is the name
// followed by "_label"). get() returns an entry's current text, unchanged.
// A name the table does not hold makes get() throw std::out_of_range naming
// it. Widgets belong to the parent (Qt ownership).
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <map>
#include <string>

namespace lattice_model {

class Set_Table {
 public:
  // Throws std::invalid_argument if `parent` is null.
  explicit Set_Table(QWidget* parent);
  Set_Table(const Set_Table&) = delete;
  Set_Table& operator=(const Set_Table&) = delete;

  // Adds the row `name`; returns its entry. Throws std::invalid_argument for
  // an empty name or one already added.
  QLineEdit* add_entry_name(const std::string& name);

  // The current text of the entry `name` (UTF-8).
  std::string get(const std::string& name) const;

  // The entry `name`, or nullptr.
  QLineEdit* entry(const std::string& name) const;

 private:
  QPointer<QWidget> parent_;
  int rows_ = 0;
  std::map<std::string, QPointer<QLineEdit>> entries_;
};

}  // namespace lattice_model
