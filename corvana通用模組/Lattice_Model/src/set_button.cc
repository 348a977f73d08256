#include "lattice_model/set_button.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <iostream>
#include <stdexcept>

namespace lattice_model {
namespace {

QString style_sheet(const std::string& fg_color, bool image_only) {
  return QString(
             "QPushButton { background-color: %1; color: %2; border: none; border-radius: 6px;"
             " padding: %3; }"
             "QPushButton:hover { background-color: %4; }"
             "QPushButton:pressed { background-color: %5; }"
             "QPushButton:disabled { color: %6; }")
      .arg(QString::fromStdString(fg_color), theme::kText, image_only ? "2px" : "0px 8px",
           theme::kAccentHover, theme::kAccentPressed, theme::kDisabledText);
}

void check_option(std::string_view option) {
  if (option != "text") {
    throw std::invalid_argument("Set_Button: option \"" + std::string(option) +
                                "\" is not supported (only \"text\")");
  }
}

}  // namespace

QPushButton* Set_Button::add_button(QWidget* parent, const Button_Options& options) {
  if (!parent) throw std::invalid_argument("Set_Button: no parent widget");
  if (!options.button_name.empty() && buttons_.count(options.button_name)) {
    throw std::invalid_argument("Set_Button: a button is already registered as \"" + options.button_name + "\"");
  }
  if (!QColor(QString::fromStdString(options.fg_color)).isValid()) {
    throw std::invalid_argument("Set_Button: \"" + options.fg_color + "\" is not a colour");
  }
  if (options.width <= 0) throw std::invalid_argument("Set_Button: width must be positive");
  if (options.size.width() <= 0 || options.size.height() <= 0) {
    throw std::invalid_argument("Set_Button: image size must be positive");
  }
  // Read the image before creating anything, so a bad file leaves no half-built button.
  QPixmap image;
  if (!options.image_path.empty()) {
    if (!image.load(QString::fromStdString(options.image_path))) {
      throw std::runtime_error("Set_Button: cannot read the image \"" + options.image_path + "\"");
    }
    image = image.scaled(options.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }

  auto* button = new QPushButton(QString::fromStdString(options.text), parent);
  if (!options.button_name.empty()) button->setObjectName(QString::fromStdString(options.button_name));
  if (!image.isNull()) {
    QIcon icon;
    icon.addPixmap(image, QIcon::Normal);
    icon.addPixmap(image, QIcon::Disabled);
    icon.addPixmap(image, QIcon::Active);
    button->setIcon(icon);
    button->setIconSize(options.size);
  }
  button->setStyleSheet(style_sheet(options.fg_color, !image.isNull() && options.text.empty()));
  button->setMinimumSize(options.width, 28);
  button->setCursor(Qt::PointingHandCursor);

  QObject::connect(button, &QPushButton::clicked, button, [action = options.button_event, name = options.button_name] {
    if (!action) return;
    try {
      action();
    } catch (const std::exception& e) {
      std::cerr << "[Set_Button] " << name << ": " << e.what() << std::endl;
    } catch (...) {
      std::cerr << "[Set_Button] " << name << ": unknown exception" << std::endl;
    }
  });

  try {
    grid(button, parent, Grid_Place{.row = options.row,
                                     .column = options.column,
                                     .padx = options.padx,
                                     .pady = options.pady,
                                     .sticky = options.sticky});
  } catch (...) {
    delete button;
    throw;
  }
  if (!options.button_name.empty()) buttons_[options.button_name] = button;
  return button;
}

QPushButton& Set_Button::registered(const std::string& button_name) const {
  auto it = buttons_.find(button_name);
  if (it == buttons_.end()) {
    throw std::out_of_range("Set_Button: no button is registered as \"" + button_name + "\"");
  }
  if (!it->second) throw std::runtime_error("Set_Button: the button \"" + button_name + "\" no longer exists");
  return *it->second;
}

std::string Set_Button::cget(const std::string& button_name, std::string_view option) const {
  QPushButton& button = registered(button_name);
  check_option(option);
  return button.text().toStdString();
}

void Set_Button::configure(const std::string& button_name, std::string_view option, const std::string& value) {
  QPushButton& button = registered(button_name);
  check_option(option);
  button.setText(QString::fromStdString(value));
}

QPushButton* Set_Button::button(const std::string& button_name) const {
  auto it = buttons_.find(button_name);
  return it == buttons_.end() ? nullptr : it->second.data();
}

}  // namespace lattice_model
