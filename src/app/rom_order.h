#pragma once
// The file list's order: QString::compare with Qt::CaseInsensitive on the
// names as shown, the exact spelling breaking ties, and at last the bytes on
// disk (two names that are not UTF-8 can look alike). Each name's sort key is
// made as the folder is read, so that sorting is all that is left once the
// last name has come.

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

class RomOrder {
public:
    void reserve(std::size_t names);

    // The next name read; names are numbered 0, 1, ... in the order they come.
    void add(std::string_view name);

    // The numbers of the names in list order. `bytes` holds every name added,
    // back to back, and `ends` where each of them ends.
    std::vector<std::uint32_t> sorted(std::string_view bytes, const std::vector<std::uint32_t> &ends) const;

private:
    static constexpr int kHeadBytes = 16;
    using Head = std::array<unsigned char, kHeadBytes>;
    class Sorter;

    std::vector<Head> m_heads;
    Head m_first{};
    std::uint64_t m_differ[2] = {0, 0}; // the head bytes' differences from the first head
    std::vector<QString> m_decoded;     // the names with other characters than ASCII, as shown
};
