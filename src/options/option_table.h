#pragma once
// The emulator's option switches as data, in the order Run tests them; the
// options line builder walks these tables instead of naming each box.

#include <array>
#include <string_view>

namespace options {

enum class ValueTest {
    None,     // box without a value field: the text alone is appended
    LessThan, // value must be below the limit
    AtMost,   // value must not exceed the limit
    Any,      // every value passes
    Rule,     // box takes part in a combined rule, not appended on its own
};

struct OptionRow {
    int box;             // 1-based: Check<box>
    int field;           // 1-based: Text<field>; 0 when the row has no value field
    ValueTest test;
    double limit;
    std::string_view text; // appended as is, or followed by the value's number text
};

inline constexpr std::array<OptionRow, 20> kOptionRows{{
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
    {15, 0, ValueTest::Rule, 0, " -s0"},
    {16, 0, ValueTest::Rule, 0, " -s1"},
    {17, 0, ValueTest::Rule, 0, " -s2"},
    {18, 0, ValueTest::None, 0, " -x"},
    {19, 0, ValueTest::Rule, 0, " -d1"},
    {20, 0, ValueTest::Rule, 0, " -d2"},
}};

// A rule's box states: Ticked needs value 1, Clear needs value 0 (a greyed
// box is neither), Either ignores the box.
enum class BoxState { Either, Ticked, Clear };

inline constexpr int kMaxRuleBoxes = 3;

struct RuleCase {
    std::array<BoxState, kMaxRuleBoxes> states; // one per box of the rule, in order
    std::string_view text;
};

struct Rule {
    std::array<int, kMaxRuleBoxes> boxes; // 1-based box numbers; 0 pads
    std::array<RuleCase, 3> cases;        // tested one after the other; every match appends
    int caseCount;
};

namespace detail {
inline constexpr BoxState T = BoxState::Ticked;
inline constexpr BoxState F = BoxState::Clear;
inline constexpr BoxState X = BoxState::Either;
} // namespace detail

// Check15, Check16, Check17: at most one case can match.
inline constexpr Rule kSoundRule{
    {15, 16, 17},
    {{{{detail::T, detail::F, detail::F}, " -s0"},
      {{detail::T, detail::T, detail::T}, " -s1"},
      {{detail::F, detail::F, detail::T}, " -s2"}}},
    3};

// Check19, Check20.
inline constexpr Rule kDspRule{
    {19, 20, 0},
    {{{{detail::T, detail::T, detail::X}, " -d1"},
      {{detail::F, detail::T, detail::X}, " -d2"},
      {}}},
    2};

// A rule is applied where its first box stands in the option table, so the
// sound switch follows " -5" and the DSP switch follows " -x".
inline constexpr std::array<const Rule *, 2> kRules{&kSoundRule, &kDspRule};

} // namespace options
