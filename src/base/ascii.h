#pragma once
// ASCII character classes and hex digits, for the bytes of files and names
// and the characters of value fields alike (char or char16_t).

namespace ascii {

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

template <typename C>
constexpr bool isDigit(C c)
{
    return c >= '0' && c <= '9';
}

template <typename C>
constexpr bool isLetter(C c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

template <typename C>
constexpr C toLower(C c)
{
    return c >= 'A' && c <= 'Z' ? C(c + ('a' - 'A')) : c;
}

// Two names equal but for the letter case of ASCII letters; other bytes
// (UTF-8 sequences among them) must match exactly.
template <typename Text>
constexpr bool equalIgnoringCase(const Text &a, const Text &b)
{
    if (a.size() != b.size())
        return false;
    for (decltype(a.size()) i = 0; i < a.size(); ++i)
        if (toLower(a[i]) != toLower(b[i]))
            return false;
    return true;
}

// 0 to 15, or -1 for a character that is no hex digit.
template <typename C>
constexpr int hexDigitValue(C c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace ascii
