#pragma once
// The built-in game catalogue: ten rows tested in order.

#include <array>
#include <cstdint>
#include <string_view>

namespace rom {

struct GameRow {
    std::string_view key;         // fingerprint, 15 or 16 hex digits
    std::int64_t requiredLength;  // file length the row also needs, or 0 for none
    std::string_view name;
    std::string_view sizeText;
    std::string_view romType;
    std::string_view joystick;
    std::string_view maker;
    std::string_view rarity;
    std::string_view picture;     // relative path with backslashes, or empty
};

extern const std::array<GameRow, 10> kCatalogue;

inline constexpr std::string_view kDefaultPicture = "graphics\\atari.gif";

// The last row that matches the fingerprint and file length, or nullptr.
const GameRow *lookup(std::string_view fingerprint, std::int64_t fileLength);

} // namespace rom
