#pragma once
// Test fixtures: file contents whose fingerprint is a chosen catalogue key.
// Usable from any test as #include "unit/rom/rom_fixtures.h".

#include <QFile>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace rom::fixtures {

namespace detail {

inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits `key` into `parts` bytes as the fingerprint writes them: a byte of
// 16 or more as two digits, a smaller one as one. A byte 13 would end the
// line, so it is never chosen.
inline bool split(std::string_view key, int parts, std::string &out)
{
    if (parts == 0)
        return key.empty();
    if (key.size() >= 2 && key[0] != '0') {
        const int hi = hexValue(key[0]);
        const int lo = hexValue(key[1]);
        if (hi >= 0 && lo >= 0) {
            out += char(hi * 16 + lo);
            if (split(key.substr(2), parts - 1, out))
                return true;
            out.pop_back();
        }
    }
    if (!key.empty()) {
        const int v = hexValue(key[0]);
        if (v >= 0 && v != 13) {
            out += char(v);
            if (split(key.substr(1), parts - 1, out))
                return true;
            out.pop_back();
        }
    }
    return false;
}

} // namespace detail

// The byte that makes the first line reach nine characters; no carriage return.
inline constexpr char kFillerByte = '\0';

// Nine bytes, none a carriage return, whose fingerprint is `key` (8 to 16
// uppercase hex digits forming all eight positions). Empty when no such bytes
// exist.
inline std::string bytesForFingerprint(std::string_view key)
{
    std::string bytes;
    if (!detail::split(key, 8, bytes))
        return {};
    bytes += kFillerByte;
    return bytes;
}

// Writes a ROM file of exactly `length` bytes (at least nine) whose
// fingerprint is `key`. The rest of the file is zero bytes, sparse where the
// file system allows, so a large length costs nothing.
inline bool writeRomFile(const QString &path, std::string_view key, std::int64_t length = 4096)
{
    const std::string head = bytesForFingerprint(key);
    if (head.empty() || length < std::int64_t(head.size()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(head.data(), qint64(head.size())) != qint64(head.size()))
        return false;
    return file.resize(length);
}

// Writes `bytes` as the whole content of `path`.
inline bool writeRawFile(const QString &path, std::string_view bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

} // namespace rom::fixtures
