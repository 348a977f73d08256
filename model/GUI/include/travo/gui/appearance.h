// The window's appearance: dark mode with the blue colour theme.
//
// apply_dark_appearance() sets the Fusion style, a dark palette with the blue
// accent for highlights and buttons, and the default font: "Microsoft
// JhengHei" at 13 pixels. Where that family is not installed (everywhere but
// Windows), Qt substitutes Noto Sans CJK TC, so Traditional Chinese stays
// legible. Affects the whole application; call it before building windows.
#pragma once

#include <QApplication>

namespace travo::gui {

void apply_dark_appearance(QApplication& app);

// The family requested for every text of the window.
inline constexpr const char* kFontFamily = "Microsoft JhengHei";

}  // namespace travo::gui
