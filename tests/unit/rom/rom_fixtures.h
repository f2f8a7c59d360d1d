#pragma once
// Test fixtures: file contents whose fingerprint is a chosen catalogue key.
// Usable from any test as #include "unit/rom/rom_fixtures.h".

#include "base/ascii.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace rom::fixtures {

namespace detail {

// Fingerprints are uppercase.
inline int hexValue(char c)
{
    return c >= 'a' && c <= 'f' ? -1 : ascii::hexDigitValue(c);
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

// Should the program ever block opening a FIFO, this opens the writing end after
// a grace period so the test fails instead of hanging.
class FifoRescuer final
{
public:
    explicit FifoRescuer(const QString &fifoPath)
        : m_path(QFile::encodeName(fifoPath)), m_thread([this] { run(); })
    {
    }
    ~FifoRescuer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    bool hadToRescue() const { return m_rescued; }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_done) {
            if (m_wake.wait_for(lock, std::chrono::seconds(3)) == std::cv_status::timeout && !m_done) {
#ifndef _WIN32 // no named pipes among file names there
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    m_rescued = true;
                    ::close(fd);
                }
#endif
            }
        }
    }

    QByteArray m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_rescued{false};
    std::thread m_thread;
};

// Bytes this process has read through read() and its kin so far (rchar), or
// -1 where the system does not tell.
inline qint64 bytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = io.readAll();
    const qsizetype at = text.indexOf("rchar:");
    return at < 0 ? -1 : text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().toLongLong();
}

} // namespace rom::fixtures
