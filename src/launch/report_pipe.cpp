#include "launch/report_pipe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace launch::report {

void writeAll(int fd, const void *bytes, std::size_t size)
{
    const auto *at = static_cast<const char *>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        at += n;
        size -= std::size_t(n);
    }
}

void send(int fd, Message::Kind kind, int value)
{
    const Message message{kind, value, 0};
    writeAll(fd, &message, sizeof message);
}

std::size_t firstMessage(const char *data, std::size_t size, Message &message)
{
    if (size < sizeof message)
        return 0;
    std::memcpy(&message, data, sizeof message);
    const std::size_t whole = sizeof message + std::size_t(std::clamp(message.length, 0, kTailBytes));
    return size < whole ? 0 : whole;
}

} // namespace launch::report
