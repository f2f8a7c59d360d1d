#include "rom/fingerprint.h"

#include "base/ascii.h"
#include "platform/files.h"

#include <algorithm>

namespace rom {

namespace {

constexpr char kCarriageReturn = '\r';

// Positions 4 to 8 need a line of nine characters, not just of their own
// position; a line of 3 to 8 characters contributes only its first three.
constexpr std::size_t kShortLinePositions = 3;
constexpr std::size_t kFullLinePositions = 8;

void appendHexWithoutLeadingZero(std::string &out, unsigned char byte)
{
    if (byte >= 16)
        out += ascii::kUpperHexDigits[byte >> 4];
    out += ascii::kUpperHexDigits[byte & 0x0F];
}

} // namespace

std::string fingerprint(std::string_view line)
{
    const std::size_t taken = line.size() >= std::size_t(kFirstLineBytesNeeded)
                                  ? kFullLinePositions
                                  : std::min(line.size(), kShortLinePositions);
    std::string out;
    out.reserve(2 * taken);
    for (std::size_t i = 0; i < taken; ++i)
        appendHexWithoutLeadingZero(out, static_cast<unsigned char>(line[i]));
    return out;
}

std::string firstLineStart(std::string_view fileStart)
{
    fileStart = fileStart.substr(0, kFirstLineBytesNeeded);
    return std::string(fileStart.substr(0, fileStart.find(kCarriageReturn)));
}

std::optional<RomProbe> probeRom(const QByteArray &path)
{
    auto opened = platform::openForReading(path);
    if (!std::holds_alternative<std::unique_ptr<QFile>>(opened))
        return std::nullopt;
    QFile &file = *std::get<std::unique_ptr<QFile>>(opened);

    // The length of the file actually opened, from the file system.
    const qint64 length = file.size();
    if (length <= 0)
        return std::nullopt;

    char buffer[kFirstLineBytesNeeded];
    const qint64 got = file.read(buffer, kFirstLineBytesNeeded);
    if (got <= 0)
        return std::nullopt;

    RomProbe probe;
    probe.firstLine = firstLineStart(std::string_view(buffer, std::size_t(got)));
    probe.length = length;
    return probe;
}

} // namespace rom
