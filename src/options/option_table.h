#pragma once
// The emulator's option switches as data, in the order Run tests them; the
// options line builder walks this table instead of naming each box. The
// sound boxes (Check15 to Check17) and the DSP boxes (Check19, Check20) give
// their switches together, by the rules in options_line.cpp.

#include <array>
#include <string_view>

namespace options {

enum class ValueTest {
    None,     // box without a value field: the text alone is appended
    LessThan, // value must be below the limit
    AtMost,   // value must not exceed the limit
    Any,      // every value passes
};

struct OptionRow {
    int box;             // 1-based: Check<box>
    int field;           // 1-based: Text<field>; 0 when the row has no value field
    ValueTest test;
    double limit;
    std::string_view text; // appended as is, or followed by the value's number text
};

// Check1 to Check14; Check18 follows the sound switch.
inline constexpr std::array<OptionRow, 14> kOptionRows{{
    {1, 0, ValueTest::None, 0, " -0"},
    {2, 0, ValueTest::None, 0, " -1"},
    {3, 0, ValueTest::None, 0, " -r"},
    {4, 1, ValueTest::LessThan, 254, " -r"},
    {5, 0, ValueTest::None, 0, " -q"},
    {6, 0, ValueTest::None, 0, " -j0"},
    {7, 0, ValueTest::None, 0, " -j2"},
    {8, 5, ValueTest::AtMost, 15, " -p"},
    {9, 6, ValueTest::AtMost, 3, " -k"},
    {10, 2, ValueTest::AtMost, 14, " -v"},
    {11, 3, ValueTest::Any, 0, " -u"},
    {12, 0, ValueTest::None, 0, " -b"},
    {13, 4, ValueTest::AtMost, 1, " -c"},
    {14, 0, ValueTest::None, 0, " -5"},
}};

inline constexpr OptionRow kChecksumRow{18, 0, ValueTest::None, 0, " -x"};

} // namespace options
