// Colours of the dark appearance with the blue accent shared by every widget
// the module builds. Values are Qt colour names.
#pragma once

namespace lattice_model::theme {

inline constexpr const char* kWindow = "#242424";        // window background
inline constexpr const char* kFrame = "#2b2b2b";         // framed panels
inline constexpr const char* kAccent = "#1f6aa5";        // buttons, selection
inline constexpr const char* kAccentHover = "#144870";   // button under the pointer
inline constexpr const char* kAccentPressed = "#10385a"; // button held down
inline constexpr const char* kText = "#dce4ee";          // text on buttons, entries, text boxes
inline constexpr const char* kLabelText = "#d6d6d6";     // label text
inline constexpr const char* kDisabledText = "#bdbdbd";  // text of disabled buttons
inline constexpr const char* kEntry = "#343638";         // entry background
inline constexpr const char* kEntryBorder = "#565b5e";   // entry border
inline constexpr const char* kTextBox = "#1d1e1e";       // multi-line text box background

// Pixel size of the module's default widget font.
inline constexpr int kFontPixelSize = 13;

}  // namespace lattice_model::theme
