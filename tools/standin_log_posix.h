#pragma once
// The POSIX stand-ins' one record per run in "quex.log" (standin_record.h).

#include "standin_record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

inline std::string logLine(int argc, char **argv)
{
    std::string line = std::to_string(static_cast<long long>(::getpid()));
    for (int i = 1; i < argc; ++i)
        appendRecordField(line, argv[i]);
    return line + '\n';
}

// One write() on an O_APPEND file, so lines of runs started together never
// interleave.
inline bool appendToLog(const std::string &line)
{
    const int fd = ::open("quex.log", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "quex stand-in: cannot open quex.log: %s\n", std::strerror(errno));
        return false;
    }
    ssize_t written;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    const bool ok = written == static_cast<ssize_t>(line.size());
    if (!ok) {
        std::fprintf(stderr, "quex stand-in: cannot write quex.log: %s\n",
                     written < 0 ? std::strerror(writeError) : "short write");
    }
    if (::close(fd) != 0 && ok) {
        std::fprintf(stderr, "quex stand-in: cannot write quex.log: %s\n", std::strerror(errno));
        return false;
    }
    return ok;
}

inline bool appendRunToLog(int argc, char **argv)
{
    return appendToLog(logLine(argc, argv));
}
