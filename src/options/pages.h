#pragma once
// The four option pages and which of the 26 option controls each one shows.

#include <array>
#include <string_view>

namespace options {

inline constexpr int kPageCount = 4;

// Tab captions, left to right; the frame takes the same caption.
inline constexpr std::array<std::string_view, kPageCount> kPageCaptions{
    "Sound", "Video", "Joystick", "General"};

struct PageControl {
    std::string_view name; // objectName of the control, e.g. "Check15"
    int page;              // 1-based page that shows it
};

// Every option control in the order a page change sets its visibility.
inline constexpr std::array<PageControl, 26> kPageControls{{
    {"Check15", 1}, {"Check16", 1}, {"Check17", 1}, {"Check19", 1}, {"Check20", 1}, {"Check5", 1},
    {"Check13", 2}, {"Check14", 2}, {"Check11", 2}, {"Check12", 2}, {"Check10", 2},
    {"Text2", 2},   {"Text3", 2},   {"Text4", 2},
    {"Check7", 3},  {"Check6", 3},  {"Check8", 3},  {"Check9", 3},  {"Text5", 3},  {"Text6", 3},
    {"Check1", 4},  {"Check2", 4},  {"Check3", 4},  {"Check4", 4},  {"Check18", 4}, {"Text1", 4},
}};

} // namespace options
