#include "platform/files.h"


#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

FileFailure failureFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return {FileFailure::NotFound, qt_error_string(error)};
    case EACCES:
    case EPERM:
        return {FileFailure::Denied, qt_error_string(error)};
    case ENXIO: // a socket
        return {FileFailure::NotRegular, QStringLiteral("it is not a regular file")};
    default:
        return {FileFailure::Other, qt_error_string(error)};
    }
}

bool writeAll(int fd, const QByteArray &bytes, QString &reason)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = qt_error_string(errno);
            return false;
        }
        if (n == 0) {
            reason = QStringLiteral("only part of it could be written");
            return false;
        }
        done += n;
    }
    return true;
}

// Makes sure what was written has reached the disk; a network or full file
// system may only say so now.
bool finish(int fd, QString &reason)
{
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL; // EINVAL: nothing to sync here
    const int syncError = errno;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed) {
        reason = qt_error_string(synced ? errno : syncError);
        return false;
    }
    return true;
}

// Where the folder takes no new file but the file itself may be written, it
// is rewritten in place; only then is the old content not kept on failure.
std::optional<QString> rewriteInPlace(const QByteArray &name, const QByteArray &bytes, int createError)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return qt_error_string(createError);
        if (error == ELOOP)
            return QStringLiteral("it is a link, and the folder allows no new file to take its place");
        return qt_error_string(error);
    }
    struct stat st {};
    QString reason;
    if (::fstat(fd, &st) != 0) {
        reason = qt_error_string(errno);
    } else if (!S_ISREG(st.st_mode)) {
        reason = QStringLiteral("it is not a regular file");
    } else if (writeAll(fd, bytes, reason)) {
        if (::ftruncate(fd, bytes.size()) != 0)
            reason = qt_error_string(errno);
        else if (finish(fd, reason))
            return std::nullopt;
        else
            return reason;
    }
    ::close(fd);
    return reason;
}

} // namespace

std::variant<std::unique_ptr<QFile>, FileFailure> openForReading(const QByteArray &path)
{
    // O_NONBLOCK: opening a pipe for reading would otherwise wait for a
    // writer. What was opened is then checked on the descriptor itself, so
    // nothing can take the file's place between a check and the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failureFromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return failureFromErrno(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return FileFailure{FileFailure::NotRegular, S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder")
                                                                        : QStringLiteral("it is not a regular file")};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FileFailure{FileFailure::Other, file->errorString()};
    }
    return file;
}

std::optional<QString> replaceFile(const QByteArray &name, const QByteArray &bytes)
{
    // The new file takes the permissions of a regular file it replaces.
    struct stat old {};
    const bool keepMode = ::lstat(name.constData(), &old) == 0 && S_ISREG(old.st_mode);

    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = '.' + name + '.' + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            return rewriteInPlace(name, bytes, error);
        return qt_error_string(error);
    }

    QString reason;
    if (keepMode)
        ::fchmod(fd, old.st_mode & 07777);
    if (!writeAll(fd, bytes, reason)) {
        ::close(fd);
        ::unlink(temporary.constData());
        return reason;
    }
    if (!finish(fd, reason)) {
        ::unlink(temporary.constData());
        return reason;
    }
    if (::rename(temporary.constData(), name.constData()) != 0) {
        reason = qt_error_string(errno);
        ::unlink(temporary.constData());
        return reason;
    }
    return std::nullopt;
}

} // namespace platform
