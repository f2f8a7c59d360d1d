#pragma once
// ROM fingerprint: a short hex text made from the first line of a ROM file.

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rom {

// How many bytes of the first line the fingerprint can use: eight characters,
// plus one more to know whether the line reaches nine.
inline constexpr int kFirstLineBytesNeeded = 9;

// The fingerprint of a first line. `line` holds the bytes before the first
// carriage return (any bytes beyond the ninth are ignored).
std::string fingerprint(std::string_view line);

// The start of a file's first line: at most kFirstLineBytesNeeded bytes, cut
// at the first carriage return.
std::string firstLineStart(std::string_view fileStart);

struct RomProbe {
    std::string firstLine; // at most kFirstLineBytesNeeded bytes
    std::int64_t length = 0;
};

// Reads what identification needs from the file `path` (the file system's
// bytes for its name): the start of its first line and its length. Empty when
// the path is not a readable regular file (missing, folder, pipe, broken
// link, no permission) or has zero bytes. Never waits on special files.
std::optional<RomProbe> probeRom(const QByteArray &path);

} // namespace rom
