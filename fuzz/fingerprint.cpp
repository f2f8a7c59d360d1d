// Any bytes as a ROM file's content: the fingerprint has 0 to 16 uppercase hex
// digits, and it is the same whether the file is read through the probe or
// the bytes are handed over.

#include "rom/fingerprint.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool isFingerprint(const std::string &text)
{
    return text.size() <= 16 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

const QByteArray &scratchFile()
{
    static const QByteArray path = [] {
        char name[] = "/tmp/zv-fuzz-rom-XXXXXX";
        ::close(::mkstemp(name));
        std::atexit([] { ::unlink(scratchFile().constData()); });
        return QByteArray(name);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::string fingerprint = rom::fingerprint(rom::firstLineStart(bytes));
    if (!isFingerprint(fingerprint) || !isFingerprint(rom::fingerprint(bytes)))
        std::abort();

    const int fd = ::open(scratchFile().constData(), O_WRONLY | O_TRUNC);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size) || ::close(fd) != 0)
        std::abort();
    const auto probe = rom::probeRom(scratchFile());
    if (size == 0 ? bool(probe)
                  : !probe || probe->length != std::int64_t(size) || rom::fingerprint(probe->firstLine) != fingerprint)
        std::abort();
    return 0;
}
