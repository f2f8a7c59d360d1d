#include "rom/catalogue.h"

namespace rom {

// clang-format off
const std::array<GameRow, 10> kCatalogue = {{
    {"A9FD85858D8A2FF",  0,    "Acid Drop",              "16 KB", "Standard 16K bank switching", "Joystick", "Salu",             "Extremly Rare",  ""},
    {"4CEFF278D84C6F3",  0,    "Adventure",              "4 KB",  "Standard 4K game",            "Joystick", "Atari",            "Common",         "graphics\\adventure.bmp"},
    {"78D8A28A959A8685", 0,    "Action Force",           "4 KB",  "Standard 4K game",            "Paddle",   "Parker Bros",      "Extremly Rare",  "graphics\\actionmn.bmp"},
    {"7E666666667E7E18", 0,    "Adventures of the TRON", "4 KB",  "Standard 4K game",            "Joystick", "M-Network",        "Uncommon",       "graphics\\tron.bmp"},
    {"78D8A2FF9AE88A95", 0,    "Air Raid",               "4 KB",  "Standard 4K game",            "Joystick", "Unknown company",  "Prototype",      "graphics\\airraid.bmp"},
    {"78D8A9AA95E8D0FB", 0,    "Air-Sea Battle",         "2 KB",  "Standard 2K game",            "Joystick", "Atari",            "Uncommon",       "graphics\\airsea.bmp"},
    {"FEC6D6D6C6FE3818", 0,    "Air Raiders",            "4 KB",  "Standard 4K game",            "Joystick", "M-Network",        "Rare",           "graphics\\airraids.bmp"},
    {"78D8A9AA95CAD0FB", 0,    "Airlock",                "4 KB",  "Standard 4K game",            "Joystick", "Data Age",         "Common",         "graphics\\airlock.bmp"},
    {"78D8A9AA95E8D0FB", 4096, "Air-Sea Battle (Changed Graphics)", "4 KB", "Standard 4K game",   "Joystick", "Unknown",          "Hack/Prototype", "graphics\\airsea2.bmp"},
    {"1E33333333331E3F", 0,    "Alien",                  "4 KB",  "Standard 4K game",            "Joystick", "20th Century Fox", "Rare",           "graphics\\alien.bmp"},
}};
// clang-format on

const GameRow *lookup(std::string_view fingerprint, std::int64_t fileLength)
{
    // Every row is tested; a later match replaces an earlier one, which is how
    // the 4096-byte variant of a key wins over the plain row before it.
    const GameRow *found = nullptr;
    for (const GameRow &row : kCatalogue) {
        if (row.key != fingerprint)
            continue;
        if (row.requiredLength != 0 && row.requiredLength != fileLength)
            continue;
        found = &row;
    }
    return found;
}

} // namespace rom
