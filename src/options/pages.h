#pragma once
// The four option pages and which of the 26 option controls each one shows.

#include <array>
#include <string_view>

namespace options {

inline constexpr int kPageCount = 4;

// Tab captions, left to right; the frame takes the same caption.
inline constexpr std::array<std::string_view, kPageCount> kPageCaptions{
    "Sound", "Video", "Joystick", "General"};

// The option controls of the main window: Check1 to Check20, then Text1 to Text6.
enum class OptionControl {
    Check1, Check2, Check3, Check4, Check5, Check6, Check7, Check8, Check9, Check10,
    Check11, Check12, Check13, Check14, Check15, Check16, Check17, Check18, Check19, Check20,
    Text1, Text2, Text3, Text4, Text5, Text6,
};
inline constexpr int kCheckBoxCount = 20;

constexpr bool isValueField(OptionControl c)
{
    return int(c) >= kCheckBoxCount;
}

// N of CheckN or TextN.
constexpr int numberOf(OptionControl c)
{
    return isValueField(c) ? int(c) - kCheckBoxCount + 1 : int(c) + 1;
}

struct PageControl {
    OptionControl control;
    int page; // 1-based page that shows it
};

// Every option control in the order a page change sets its visibility.
inline constexpr std::array<PageControl, 26> kPageControls{{
    {OptionControl::Check15, 1}, {OptionControl::Check16, 1}, {OptionControl::Check17, 1},
    {OptionControl::Check19, 1}, {OptionControl::Check20, 1}, {OptionControl::Check5, 1},
    {OptionControl::Check13, 2}, {OptionControl::Check14, 2}, {OptionControl::Check11, 2},
    {OptionControl::Check12, 2}, {OptionControl::Check10, 2},
    {OptionControl::Text2, 2},   {OptionControl::Text3, 2},   {OptionControl::Text4, 2},
    {OptionControl::Check7, 3},  {OptionControl::Check6, 3},  {OptionControl::Check8, 3},
    {OptionControl::Check9, 3},  {OptionControl::Text5, 3},   {OptionControl::Text6, 3},
    {OptionControl::Check1, 4},  {OptionControl::Check2, 4},  {OptionControl::Check3, 4},
    {OptionControl::Check4, 4},  {OptionControl::Check18, 4}, {OptionControl::Text1, 4},
}};

} // namespace options
