// Main_Window: the TRAVO main window and its actions.
//
// The constructor builds the window: the user parameters PP and the button
// table, the fixed-size window titled "TRAVO專利檢索軟體" with its icon,
// frames, header, the entry row "檢索指令", the button "輸出檢索列表", the
// folder and help icons and the message area; then it schedules the first
// polling step one poll interval later. It does
// not show the window or run an event loop (GUI() does), so tests can build
// it and drive its actions directly.
//
// The window's images are read from <program folder>/格式範本/. A missing
// "logo.ico" leaves the default icon; a missing "logo.png" leaves the header
// without the logo, the text logo and the title; a missing "logo(僅文字).png"
// leaves the logo alone. Each of these writes one line to standard output.
// A missing icon image ("資料夾.png", "問號001.png") or any other failure
// while building throws: the window cannot be used.
//
// The maps may be null (the preview start): every step that reaches a map
// then fails and is handled like any other failure of that step.
//
// Actions (each run by the window through mender_model::try_except_log):
//   button_event_001  the output action of "輸出檢索列表": sets the busy
//                     event, puts the start-data command (the four user
//                     parameters and "檢索指令") on "起始數據" unless the
//                     entry is empty, clears the message area, and shows
//                     "請輸入關鍵字" for an empty entry, when it also gives
//                     the busy event back the state it had before the click.
//                     Failures after the busy event is set show the red line
//                     "button_event_001函數出現錯誤" and the description.
//   button_event_005  opens the output folder in the file manager.
//   button_event_008  opens the product page over https, or over http when
//                     that fails.
//   stop_search       the Esc key: while the busy event is set, sets the
//                     event "stop_search", which makes the worker stop the
//                     search, save the rows read and end the command as
//                     usual; otherwise does nothing.
//   aa                the polling step: cycles the caption of "輸出檢索列表"
//                     through "輸出中." "輸出中.." "輸出中..." while the busy
//                     event is set, with the tooltip kStopTip, and shows
//                     "輸出檢索列表" without a tooltip when it is clear;
//                     moves at most one message from the queue "get_receipt"
//                     into the message area, "\n完成" for the completion
//                     marker (which also clears the busy event); then
//                     schedules itself again one poll interval later.
// All run on the thread that owns the window.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "lattice_model/set_button.h"
#include "lattice_model/set_table.h"
#include "travo/channel/shared_maps.h"
#include "travo/gui/gui_options.h"
#include "travo/gui/parameters.h"
#include "travo/gui/text_box.h"

namespace travo::gui {

// The window title, also the text of the header's title label.
inline constexpr const char* kTitle = "TRAVO專利檢索軟體";
// Registration name and idle caption of the output button.
inline constexpr const char* kOutputButton = "輸出檢索列表";
// Name of the search command entry row.
inline constexpr const char* kCommandEntry = "檢索指令";
// Tooltip of the output button while a search runs.
inline constexpr const char* kStopTip = "檢索進行中：按 Esc 鍵可停止檢索";
// Tag of the red error lines in the message area.
inline constexpr const char* kRedTag = "red_tag";

class Main_Window : public QWidget {
  Q_OBJECT

 public:
  Main_Window(Queue_Map* Queue_All_variable, Event_Map* Event_All_variable, Gui_Options options = {});
  ~Main_Window() override;

  // The actions, unwrapped; failures leave them as exceptions.
  void button_event_001();
  void button_event_005();
  void button_event_008();
  void stop_search();
  void aa();

  // The actions as the window runs them: never throw, report failures.
  void run_button_event_001() { action_001_(); }
  void run_aa() { action_aa_(); }

  const Parameters& PP() const { return PP_; }
  lattice_model::Set_Button& set_button() { return set_button_; }
  lattice_model::Set_Table& set_table() { return *set_table_; }
  Text_Box& textbox() { return *textbox_; }
  const QTimer& poll_timer() const { return poll_timer_; }
  // The program folder the images are read from (as text).
  const std::string& program_folder() const { return program_folder_; }

  // <program folder>/格式範本/<name>, with the platform's separator.
  std::string template_file(const std::string& name) const;

  // Whether the window has been closed by the user or by close().
  bool was_closed() const { return closed_; }

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Esc anywhere in the window (the entry and the message area pass it on).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Queue_Map& queues();
  Event_Map& events();
  void build_frames();
  void build_header();
  void build_buttons();

  Queue_Map* Queue_All_variable_;
  Event_Map* Event_All_variable_;
  Gui_Options options_;
  std::string program_folder_;

  Parameters PP_;
  lattice_model::Set_Button set_button_;
  std::unique_ptr<lattice_model::Set_Table> set_table_;

  QWidget* FF_ = nullptr;  // header
  QWidget* AA_ = nullptr;  // middle left
  QWidget* BB_ = nullptr;  // middle right
  QWidget* DD_ = nullptr;  // bottom
  std::array<QWidget*, 10> frame_{};  // slots 1, 2, 4, 5, 6 are used
  Text_Box* textbox_ = nullptr;

  std::function<void()> action_001_, action_005_, action_008_, action_stop_, action_aa_;
  QTimer poll_timer_;
  bool closed_ = false;
};

}  // namespace travo::gui
