#pragma once
// The main window's controls as data: names, captions and rectangles in twips
// (15 twips to the pixel at 96 dpi), in stacking order from bottom to top.

#include "app/zerivirav.h"
#include "ui/look.h"
#include "ui/picture_button.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QTabWidget>

#include <QRect>

#include <array>
#include <string_view>

namespace controls {

struct Twips {
    int left, top, width, height;
};
struct Point {
    int x, y;
};

using ui::kTwipsPerPixel;

constexpr QRect pixels(Twips r)
{
    return ui::twipsToPixels(r.left, r.top, r.width, r.height);
}

// A line one pixel wide from `a` to `b`, both ends included.
constexpr QRect pixels(Point a, Point b)
{
    const int x1 = std::min(a.x, b.x) / kTwipsPerPixel, x2 = std::max(a.x, b.x) / kTwipsPerPixel;
    const int y1 = std::min(a.y, b.y) / kTwipsPerPixel, y2 = std::max(a.y, b.y) / kTwipsPerPixel;
    return {x1, y1, x2 - x1 + 1, y2 - y1 + 1};
}

// Where the client area opens on the screen: (-45, 525) twips.
inline constexpr int kScreenLeft = -45 / kTwipsPerPixel;
inline constexpr int kScreenTop = 525 / kTwipsPerPixel;

struct LabelDef {
    QLabel *Zerivirav::*member;
    std::string_view name;
    std::string_view caption;
    Twips rect;
    std::string_view describes; // for value labels: the caption of the label beside it
};

inline constexpr std::array<LabelDef, 14> kLabels{{
    {&Zerivirav::Label2, "Label2", "Select rom from file location.", {0, 0, 2175, 255}, {}},
    {&Zerivirav::label9, "label9", "Name", {1920, 360, 495, 255}, {}},
    {&Zerivirav::Label10, "Label10", "", {2400, 360, 2175, 255}, "Name"},
    {&Zerivirav::Label3, "Label3", "File size", {1920, 600, 615, 255}, {}},
    {&Zerivirav::Label4, "Label4", "", {2520, 600, 855, 255}, "File size"},
    {&Zerivirav::Label1, "Label1", "Type of rom.", {1920, 840, 1095, 255}, {}},
    {&Zerivirav::Label6, "Label6", "", {2880, 840, 2535, 255}, "Type of rom."},
    {&Zerivirav::Label7, "Label7", "Type of joystick.", {1920, 1080, 1215, 255}, {}},
    {&Zerivirav::Label8, "Label8", "", {3120, 1080, 1935, 255}, "Type of joystick."},
    {&Zerivirav::Label11, "Label11", "Maker of game.", {1920, 1320, 1335, 255}, {}},
    {&Zerivirav::Label13, "Label13", "", {3120, 1320, 1215, 255}, "Maker of game."},
    {&Zerivirav::Label12, "Label12", "Rarity.", {1920, 1560, 615, 255}, {}},
    {&Zerivirav::Label14, "Label14", "", {2400, 1560, 1215, 255}, "Rarity."},
    {&Zerivirav::Label5, "Label5", "Emulator Options.", {120, 2640, 1455, 255}, {}},
}};

struct ImageDef {
    QLabel *Zerivirav::*member;
    std::string_view name;
    Twips rect;
    std::string_view accessibleName;
};

inline constexpr std::array<ImageDef, 2> kImages{{
    {&Zerivirav::Image2, "Image2", {2040, 1920, 2535, 975}, "Banner"},
    {&Zerivirav::Image1, "Image1", {5640, 120, 3615, 2175}, "Game picture"},
}};

struct LineDef {
    QWidget *Zerivirav::*member;
    std::string_view name;
    Point from, to;
};

inline constexpr std::array<LineDef, 4> kLines{{
    {&Zerivirav::Line1, "Line1", {5520, 0}, {5520, 2400}},
    {&Zerivirav::Line2, "Line2", {9360, 2400}, {5520, 2400}},
    {&Zerivirav::Line3, "Line3", {9360, 0}, {5520, 0}},
    {&Zerivirav::Line4, "Line4", {9360, 0}, {9360, 2400}},
}};

inline constexpr Twips kFileListRect{0, 240, 1935, 2235};
inline constexpr Twips kTabStripRect{120, 3000, 6015, 2295};
inline constexpr Twips kFrameRect{240, 3360, 5775, 1815};

struct CheckDef {
    QCheckBox *Zerivirav::*member;
    std::string_view name;
    std::string_view caption;
    Twips rect;
};

inline constexpr std::array<CheckDef, 20> kChecks{{
    {&Zerivirav::Check15, "Check15", "Show sound diagnostic messages.", {360, 3600, 5535, 195}},
    {&Zerivirav::Check16, "Check16", "Force sound through internal speaker.", {360, 3840, 4815, 255}},
    {&Zerivirav::Check17, "Check17", "Force sound to run at 15700 samples per second.", {360, 4080, 4815, 195}},
    {&Zerivirav::Check19, "Check19", "Dsp set low.", {360, 4320, 1215, 255}},
    {&Zerivirav::Check20, "Check20", "Dsp set high.", {360, 4560, 1935, 255}},
    {&Zerivirav::Check5, "Check5", "Run emulator with no sound.", {360, 4800, 3735, 195}},
    {&Zerivirav::Check10, "Check10", "Select vidoe mode. From 0 to 14.", {360, 3600, 3375, 255}},
    {&Zerivirav::Check14, "Check14", "Use proper pal emulation.", {360, 3840, 3975, 255}},
    {&Zerivirav::Check13, "Check13", "Change pallette between Ntsc and Pal. 0 for Ntsc and 1 for pal.", {360, 4080, 4815, 255}},
    {&Zerivirav::Check11, "Check11", "Select starting scanline. Usally 39.", {360, 4320, 3615, 255}},
    {&Zerivirav::Check12, "Check12", "Run emulator in black and white mode.", {360, 4560, 3735, 255}},
    {&Zerivirav::Check7, "Check7", "Reverse Joysticks.", {360, 3600, 3855, 195}},
    {&Zerivirav::Check6, "Check6", "Force keyboard only mode.", {360, 3840, 4695, 195}},
    {&Zerivirav::Check8, "Check8", "Paddle sensitivity. From 1 to 15, 3 is the normal.", {360, 4080, 3735, 195}},
    {&Zerivirav::Check9, "Check9", "Paddle button sensitivity. Form 0 to 3.", {360, 4320, 3975, 195}},
    {&Zerivirav::Check1, "Check1", "Player 1 difficulty set to hard.", {360, 3600, 3615, 255}},
    {&Zerivirav::Check2, "Check2", "Player 2 difficulty set to hard.", {360, 3840, 3135, 195}},
    {&Zerivirav::Check3, "Check3", "Run emulator at max speed.", {360, 4080, 3255, 195}},
    {&Zerivirav::Check4, "Check4", "Select emulator frame rate. 1 to 254. The default is 60", {360, 4320, 4215, 255}},
    {&Zerivirav::Check18, "Check18", "Print out file check sum.", {360, 4560, 3255, 195}},
}};

struct TextDef {
    QLineEdit *Zerivirav::*member;
    std::string_view name;
    Twips rect;
    std::string_view accessibleName;
};

inline constexpr std::array<TextDef, 6> kTexts{{
    {&Zerivirav::Text2, "Text2", {3000, 3600, 375, 285}, "Value of the video mode"},
    {&Zerivirav::Text4, "Text4", {5160, 4080, 255, 285}, "Value of the palette choice"},
    {&Zerivirav::Text3, "Text3", {3120, 4320, 375, 285}, "Value of the starting scanline"},
    {&Zerivirav::Text5, "Text5", {4080, 4080, 375, 285}, "Value of the paddle sensitivity"},
    {&Zerivirav::Text6, "Text6", {3360, 4320, 255, 285}, "Value of the paddle button sensitivity"},
    {&Zerivirav::Text1, "Text1", {4560, 4320, 375, 285}, "Value of the frame rate"},
}};

struct ButtonDef {
    ui::PictureButton *Zerivirav::*member;
    std::string_view name;
    std::string_view words;
    Twips rect;
};

inline constexpr std::array<ButtonDef, 3> kButtons{{
    {&Zerivirav::Run, "Run", "Run quex", {7200, 4080, 1215, 495}},
    {&Zerivirav::Command1, "Command1", "Exit", {6360, 4800, 1215, 495}},
    {&Zerivirav::Clear, "Clear", "Clear", {8040, 4800, 1215, 495}},
}};

// A control of the window, named by its member so that a misspelt name does
// not compile.
using ControlOf = QWidget *(*)(const Zerivirav &);
template <auto Member>
QWidget *control(const Zerivirav &w)
{
    return w.*Member;
}

inline constexpr std::array<ControlOf, 31> kFocusOrder{
    control<&Zerivirav::Run>,     control<&Zerivirav::File2>,   control<&Zerivirav::Clear>,
    control<&Zerivirav::Command1>, control<&Zerivirav::TabStrip1>, control<&Zerivirav::Check15>,
    control<&Zerivirav::Check17>, control<&Zerivirav::Check19>, control<&Zerivirav::Check20>,
    control<&Zerivirav::Check5>,  control<&Zerivirav::Check10>, control<&Zerivirav::Text2>,
    control<&Zerivirav::Check14>, control<&Zerivirav::Check13>, control<&Zerivirav::Text4>,
    control<&Zerivirav::Check11>, control<&Zerivirav::Text3>,   control<&Zerivirav::Check12>,
    control<&Zerivirav::Check16>, control<&Zerivirav::Check7>,  control<&Zerivirav::Check6>,
    control<&Zerivirav::Check8>,  control<&Zerivirav::Text5>,   control<&Zerivirav::Check9>,
    control<&Zerivirav::Text6>,   control<&Zerivirav::Check1>,  control<&Zerivirav::Check2>,
    control<&Zerivirav::Check3>,  control<&Zerivirav::Check4>,  control<&Zerivirav::Text1>,
    control<&Zerivirav::Check18>};

} // namespace controls
