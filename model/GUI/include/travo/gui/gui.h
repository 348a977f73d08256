// GUI: the desktop front end's entry point.
//
// GUI(Queue_All_variable, Event_All_variable) runs the whole life of the
// main window on the calling thread, in this order:
//   1. creates the output folders "C:/corvana/" and then
//      "C:/corvana/TRAVO專利檢索軟體/" (mapped by the platform layer),
//      ignoring any failure of either;
//   2. applies the dark appearance with the blue accent;
//   3. builds the main window (see main_window.h) and shows it;
//   4. runs the window's event loop until the window is closed;
//   5. sends the worker the three stop signals: the empty value on the queue
//      "end", the event "end" set, the empty value on "起始數據".
// It returns only after all that. A failure while building the window ends
// GUI() with that exception before any event loop runs and before any stop
// signal is sent; the caller must then stop the worker itself.
//
// A QApplication is created for the call when none exists yet; callers that
// want Qt to see their command line create it first.
//
// Null maps are the preview start: the window works as far as it can without
// a worker (see main_window.h) and step 5 is skipped.
#pragma once

#include "travo/channel/shared_maps.h"
#include "travo/gui/gui_options.h"

namespace travo::gui {

void GUI(Queue_Map* Queue_All_variable, Event_Map* Event_All_variable, const Gui_Options& options = {});
void GUI(Queue_Map& Queue_All_variable, Event_Map& Event_All_variable, const Gui_Options& options = {});

// Step 1 on its own.
void ensure_output_folders();

}  // namespace travo::gui
