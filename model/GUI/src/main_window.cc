#include "travo/gui/main_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <iostream>
#include <stdexcept>
#include <utility>
#include <variant>

#include "lattice_model/grid.h"
#include "lattice_model/theme.h"
#include "mender_model/try_except_log.h"
#include "os.h"
#include "travo/gui/appearance.h"
#include "travo/platform/paths.h"

namespace travo::gui {
namespace {

using lattice_model::grid;
using lattice_model::Grid_Place;
using lattice_model::Pad;

constexpr const char* kBusyCaptions[] = {"輸出中.", "輸出中..", "輸出中..."};

QPixmap read_image(const std::string& path) {
  QPixmap image;
  if (!image.load(QString::fromStdString(path))) {
    throw std::runtime_error("cannot read the image \"" + path + "\"");
  }
  return image;
}

// A frame that draws no background of its own.
QWidget* transparent_frame(QWidget* parent, const char* name) {
  auto* frame = new QWidget(parent);
  frame->setObjectName(name);
  return frame;
}

// A frame in the theme's frame colour with rounded corners.
QFrame* panel(QWidget* parent, const char* name, int width, int height) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setMinimumSize(width, height);
  frame->setStyleSheet(QString("QFrame#%1 { background-color: %2; border-radius: 6px; }")
                           .arg(name, lattice_model::theme::kFrame));
  return frame;
}

// A disabled, background-less button that only shows an image.
QPushButton* image_button(QWidget* parent, const char* name, const QPixmap& image, QSize size, int width) {
  const QPixmap scaled = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  QIcon icon;
  icon.addPixmap(scaled, QIcon::Normal);
  icon.addPixmap(scaled, QIcon::Disabled);
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setIcon(icon);
  button->setIconSize(size);
  button->setMinimumWidth(width);
  button->setEnabled(false);
  button->setStyleSheet("QPushButton { background: transparent; border: none; padding: 0px; }");
  return button;
}

QString display_text(const Queue_Item& item) {
  struct Visitor {
    QString operator()(std::monostate) const { return QString(); }
    QString operator()(const std::string& s) const { return QString::fromStdString(s); }
    QString operator()(std::int64_t n) const { return QString::number(n); }
    QString operator()(const Start_Data& d) const {
      QStringList fields;
      for (const auto& [key, value] : d.entries()) {
        fields << QString::fromStdString(key) + ": " + QString::fromStdString(text_form(value));
      }
      return "{" + fields.join(", ") + "}";
    }
  };
  return std::visit(Visitor{}, item);
}

}  // namespace

Main_Window::Main_Window(Queue_Map* Queue_All_variable, Event_Map* Event_All_variable, Gui_Options options)
    : Queue_All_variable_(Queue_All_variable),
      Event_All_variable_(Event_All_variable),
      options_(std::move(options)) {
  program_folder_ = (options_.program_folder.empty() ? platform::executable_dir() : options_.program_folder).string();
  if (options_.poll_interval.count() < 0) throw std::invalid_argument("the poll interval must not be negative");
  const Shell desktop = desktop_shell();
  if (!options_.shell.start_detached) options_.shell.start_detached = desktop.start_detached;
  if (!options_.shell.open_url) options_.shell.open_url = desktop.open_url;

  // The window: title, three equally weighted columns, fixed at its content's size.
  setObjectName("app");
  setWindowTitle(kTitle);
  lattice_model::grid_layout(this)->setSizeConstraint(QLayout::SetFixedSize);
  // Windows gives a window a sizing border and a maximise box unless told
  // its size is fixed (other systems ignore the hint).
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
  for (int column = 0; column < 3; ++column) lattice_model::grid_columnconfigure(this, column, 1);

  try {
    const std::string icon_path = template_file("logo.ico");
    read_image(icon_path);  // QIcon itself accepts any path silently
    setWindowIcon(QIcon(QString::fromStdString(icon_path)));
  } catch (const std::exception& e) {
    std::cout << e.what() << std::endl;
  }

  build_frames();

  try {
    build_header();
  } catch (const std::exception& e) {
    std::cout << e.what() << std::endl;
  }

  set_table_ = std::make_unique<lattice_model::Set_Table>(frame_[5]);
  set_table_->add_entry_name(kCommandEntry);
  frame_[5]->layout()->setSizeConstraint(QLayout::SetFixedSize);

  action_001_ = mender_model::try_except_log("button_event_001", [this] { button_event_001(); });
  action_005_ = mender_model::try_except_log("button_event_005", [this] { button_event_005(); });
  action_008_ = mender_model::try_except_log("button_event_008", [this] { button_event_008(); });
  action_stop_ = mender_model::try_except_log("stop_search", [this] { stop_search(); });

  build_buttons();

  action_aa_ = mender_model::try_except_log("aa", [this] { aa(); });
  poll_timer_.setSingleShot(true);
  connect(&poll_timer_, &QTimer::timeout, this, [this] { action_aa_(); });
  poll_timer_.start(options_.poll_interval);
}

Main_Window::~Main_Window() { poll_timer_.stop(); }

std::string Main_Window::template_file(const std::string& name) const {
  return os::template_file(program_folder_, name);
}

void Main_Window::build_frames() {
  FF_ = transparent_frame(this, "FF");
  grid(FF_, this, {.row = 0, .column = 0, .columnspan = 2, .padx = {10, 5}, .pady = {10, 5}, .sticky = "nsew"});
  AA_ = transparent_frame(this, "AA");
  grid(AA_, this, {.row = 1, .column = 0, .padx = {10, 5}, .pady = {5, 0}, .sticky = "nsew"});
  BB_ = transparent_frame(this, "BB");
  grid(BB_, this, {.row = 1, .column = 1, .padx = {0, 10}, .pady = {5, 0}, .sticky = "nsew"});
  DD_ = transparent_frame(this, "DD");
  grid(DD_, this, {.row = 2, .column = 0, .columnspan = 2, .padx = {10, 10}, .pady = {5, 10}, .sticky = "ew"});

  frame_[1] = panel(AA_, "frame1", 395, 110);
  grid(frame_[1], AA_, {.row = 0, .column = 0, .sticky = "new"});
  // Placed, not gridded: the entry rows sit at a fixed spot on the panel.
  frame_[5] = transparent_frame(frame_[1], "frame5");
  frame_[5]->move(10, 30);

  frame_[2] = panel(BB_, "frame2", 300, 110);
  grid(frame_[2], BB_, {.row = 0, .column = 0, .sticky = "new"});

  frame_[4] = transparent_frame(FF_, "frame4");
  frame_[4]->setMinimumHeight(10);
  grid(frame_[4], FF_, {.row = 0, .column = 0, .rowspan = 2, .sticky = "nsew"});

  frame_[6] = transparent_frame(DD_, "frame6");
  frame_[6]->setMinimumHeight(10);
  grid(frame_[6], DD_, {.row = 0, .column = 0, .rowspan = 2, .sticky = "nsew"});

  textbox_ = new Text_Box(frame_[6]);
  textbox_->setObjectName("textbox");
  textbox_->setMinimumSize(700, 300);
  grid(textbox_, frame_[6], {.row = 0, .column = 0, .sticky = "nsew"});
}

void Main_Window::build_header() {
  // Each image is read before its widget is made, so a missing file leaves
  // out that widget and everything after it.
  const QPixmap logo = read_image(template_file("logo.png"));
  grid(image_button(frame_[4], "logo", logo, QSize(50, 50), 50), frame_[4],
       {.row = 0, .column = 0, .padx = {0, 5}, .sticky = "w"});

  const QPixmap text_logo = read_image(template_file("logo(僅文字).png"));
  grid(image_button(frame_[4], "text_logo", text_logo, QSize(120, 30), 50), frame_[4],
       {.row = 0, .column = 1, .padx = {0, 15}, .sticky = "w"});

  auto* title = new QLabel(kTitle, frame_[4]);
  title->setObjectName("title");
  QFont font(kFontFamily);
  font.setPixelSize(16);
  font.setBold(true);
  title->setFont(font);
  grid(title, frame_[4], {.row = 0, .column = 2, .sticky = "nsew"});
}

void Main_Window::build_buttons() {
  set_button_.add_button(BB_, {.button_name = kOutputButton,
                               .text = kOutputButton,
                               .button_event = action_001_,
                               .size = {25, 25},
                               .width = 140,
                               .padx = 50,
                               .pady = 10,
                               .sticky = ""});
  // The two icons share one cell; their padding alone sets them apart.
  set_button_
      .add_button(FF_, {.image_path = template_file("資料夾.png"),
                        .button_event = action_005_,
                        .size = {25, 25},
                        .padx = {178, 55},
                        .row = 0,
                        .column = 1,
                        .fg_color = "transparent"})
      ->setObjectName("folder_icon");
  set_button_
      .add_button(FF_, {.image_path = template_file("問號001.png"),
                        .button_event = action_008_,
                        .size = {25, 25},
                        .padx = {78, 105},
                        .row = 0,
                        .column = 1,
                        .fg_color = "transparent"})
      ->setObjectName("help_icon");
}

Queue_Map& Main_Window::queues() {
  if (!Queue_All_variable_) throw std::runtime_error("no queue map: the window was started without a worker");
  return *Queue_All_variable_;
}

Event_Map& Main_Window::events() {
  if (!Event_All_variable_) throw std::runtime_error("no event map: the window was started without a worker");
  return *Event_All_variable_;
}

void Main_Window::button_event_001() {
  Event& busy = events().at(kBusy);
  const bool was_busy = busy.is_set();
  busy.set();

  Start_Data command;
  for (const char* key : kParameterKeys) command.set(key, PP_.parameters.at(key));
  command.set(kCommandKey, set_table_->get(kCommandEntry));
  const std::string& keywords = std::get<std::string>(command.at(kCommandKey));

  try {
    if (!keywords.empty()) queues().at(kStartData).put(command);
    textbox_->delete_all();
    if (keywords.empty()) {
      textbox_->insert_end("請輸入關鍵字\n");
      // Nothing was sent, so nothing will ever clear the busy state this
      // click set; give it back the state it had.
      if (!was_busy) busy.clear();
    }
  } catch (const std::exception& e) {
    textbox_->insert_end("button_event_001函數出現錯誤\n", kRedTag);
    textbox_->insert_end(QString::fromStdString(e.what()) + "\n");
  } catch (...) {
    textbox_->insert_end("button_event_001函數出現錯誤\n", kRedTag);
    textbox_->insert_end("unknown exception\n");
  }

  try {
    textbox_->tag_config(kRedTag, QColor("red"));
  } catch (...) {
  }
}

void Main_Window::button_event_005() {
  const Process_Start command = output_folder_command();
  if (!options_.shell.start_detached(command.program, command.arguments)) {
    std::string line = command.program;
    for (const auto& a : command.arguments) line += " " + a;
    throw std::runtime_error("cannot start \"" + line + "\"");
  }
}

void Main_Window::button_event_008() {
  bool opened = false;
  try {
    opened = options_.shell.open_url(product_page_url("https", options_.product_host));
  } catch (...) {
    // Only leads to the second attempt.
  }
  if (opened) return;
  const std::string address = product_page_url("http", options_.product_host);
  if (!options_.shell.open_url(address)) throw std::runtime_error("cannot open \"" + address + "\" in a web browser");
}

void Main_Window::stop_search() {
  // Only while a search runs; the worker also drops a stop it finds when it
  // takes the next command, so a late one cannot cut that one short.
  if (events().at(kBusy).is_set()) events().at(kStopSearch).set();
}

void Main_Window::aa() {
  try {
    Event& busy = events().at(kBusy);
    QPushButton* output = set_button_.button(kOutputButton);
    if (output) output->setToolTip(busy.is_set() ? QString(kStopTip) : QString());
    if (busy.is_set()) {
      std::string next = kBusyCaptions[0];
      if (set_button_.cget(kOutputButton, "text") == kBusyCaptions[0]) {
        next = kBusyCaptions[1];
      } else if (set_button_.cget(kOutputButton, "text") == kBusyCaptions[1]) {
        next = kBusyCaptions[2];
      }
      set_button_.configure(kOutputButton, "text", next);
    } else {
      set_button_.configure(kOutputButton, "text", kOutputButton);
    }
  } catch (...) {
    // The next run tries again.
  }

  try {
    Queue& messages = queues().at(kBusy);
    if (!messages.empty()) {
      const Queue_Item item = messages.take();
      const auto* text = std::get_if<std::string>(&item);
      if (text && *text == kDoneMarker) {
        textbox_->insert_end("\n完成");
        events().at(kBusy).clear();
      } else {
        textbox_->insert_end(display_text(item) + "\n");
      }
    }
  } catch (...) {
    // The next run tries again.
  }

  poll_timer_.start(options_.poll_interval);
}

void Main_Window::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    action_stop_();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Main_Window::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted() && !closed_) {
    closed_ = true;
    emit closed();
  }
}

}  // namespace travo::gui
