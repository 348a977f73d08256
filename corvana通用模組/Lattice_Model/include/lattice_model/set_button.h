// Set_Button: a table of buttons registered by name.
//
// add_button() creates a push button inside a parent widget, places it in the
// parent's grid (see grid.h) and, when it has a registration name, records it
// under that name. cget() and configure() read and change a registered
// button's options by name. A name the table does not hold makes cget() and
// configure() throw std::out_of_range naming it.
//
// The button looks like the module's other widgets: rounded, 28 pixels high,
// the blue accent as background unless fg_color says otherwise, light text.
// An image is read from image_path, scaled to `size` and shown the same way
// whether the button is enabled or not; a file that cannot be read as an
// image makes add_button() throw std::runtime_error naming the file, and no
// button is created.
//
// Buttons belong to their parent widget (Qt ownership); the table only refers
// to them, so it may outlive them; a destroyed button can no longer be
// addressed (std::runtime_error).
#pragma once

#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "lattice_model/grid.h"
#include "lattice_model/theme.h"

namespace lattice_model {

struct Button_Options {
  std::string button_name{};             // registration name; "" registers nothing
  std::string text{};                    // caption
  std::string image_path{};              // image shown on the button; "" for none
  std::function<void()> button_event{};  // run on click; should not throw (see below)
  QSize size{20, 20};                    // image size in pixels
  int width = 28;                        // least button width in pixels
  Pad padx{};                            // outer padding left/right
  Pad pady{};                            // outer padding top/bottom
  std::string sticky{};                  // alignment in the grid cell; "" centres
  int row = 0;
  int column = 0;
  std::string fg_color = theme::kAccent; // background colour name, or "transparent"
};

class Set_Button {
 public:
  Set_Button() = default;
  Set_Button(const Set_Button&) = delete;
  Set_Button& operator=(const Set_Button&) = delete;

  // Creates, places and registers a button; returns it (owned by `parent`).
  // The click runs options.button_event. An exception thrown by it is caught
  // and reported on standard error, since it must not cross the toolkit's
  // event dispatch; callers wrap their actions to report failures their way.
  // Throws std::invalid_argument for a null parent, a name already
  // registered, a bad colour or a non-positive image size or width.
  QPushButton* add_button(QWidget* parent, const Button_Options& options);

  // The value of `option` of the button registered as `button_name`.
  // Supported option: "text" (the caption).
  std::string cget(const std::string& button_name, std::string_view option) const;

  // Sets `option` of the button registered as `button_name` to `value`.
  // Supported option: "text" (the caption).
  void configure(const std::string& button_name, std::string_view option, const std::string& value);

  // The button registered as `button_name`, or nullptr.
  QPushButton* button(const std::string& button_name) const;

 private:
  QPushButton& registered(const std::string& button_name) const;

  std::map<std::string, QPointer<QPushButton>> buttons_;
};

}  // namespace lattice_model
