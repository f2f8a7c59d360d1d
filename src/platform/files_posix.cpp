#include "platform/files.h"

#include "base/ascii.h"

#include <QDir>

#include <string_view>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString lastError()
{
    return qt_error_string(errno);
}

FileFailure openFailure(int error)
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

// Writes all of `bytes` to `fd` from where it stands, makes sure they reached
// the disk (a network or full file system may only say so then) and closes
// it. The reason on failure.
std::optional<QString> writeAndClose(int fd, const QByteArray &bytes)
{
    QString reason;
    for (qsizetype done = 0; done < bytes.size() && reason.isEmpty();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0)
            reason = QStringLiteral("only part of it could be written");
        else if (errno != EINTR)
            reason = lastError();
    }
    if (reason.isEmpty() && ::fsync(fd) != 0 && errno != EINVAL) // EINVAL: nothing to sync there
        reason = lastError();
    if (::close(fd) != 0 && reason.isEmpty())
        reason = lastError();
    return reason.isEmpty() ? std::nullopt : std::optional(reason);
}

// Set-user-ID, set-group-ID, sticky and writable by anyone: no file we write
// keeps them.
constexpr mode_t kUnsafeBits = S_ISUID | S_ISGID | S_ISVTX | S_IWOTH;

// Where the folder takes no new file but the file itself may be written, it
// is rewritten in place; only then is the old content not kept on failure.
std::optional<QString> rewriteInPlace(const QByteArray &name, const QByteArray &bytes, int createError)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && errno == ENOENT)
        return qt_error_string(createError);
    if (fd < 0 && errno == ELOOP)
        return QStringLiteral("it is a link, and the folder allows no new file to take its place");
    if (fd < 0)
        return lastError();
    struct stat st {};
    std::optional<QString> reason;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        reason = QStringLiteral("it is not a regular file");
    else if ((st.st_mode & kUnsafeBits) && ::fchmod(fd, st.st_mode & 07777 & ~kUnsafeBits) != 0)
        reason = QStringLiteral("others may change it or run it with its owner's rights (%1), and its permissions "
                                "cannot be changed: %2")
                     .arg(QString::number(st.st_mode & 07777, 8), lastError());
    else if (::ftruncate(fd, bytes.size()) != 0)
        reason = lastError();
    if (!reason)
        return writeAndClose(fd, bytes);
    ::close(fd);
    return reason;
}

// The entry of `folder` named `name` but for letter case that is a folder
// (`folder` true) or a regular file, links followed; the first by bytes.
std::optional<QByteArray> entryIgnoringCase(const QByteArray &folder, std::string_view name, bool wantFolder)
{
    const int dirFd = ::open(folder.isEmpty() ? "." : folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return std::nullopt;
    }
    std::optional<QByteArray> best;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view candidate(entry->d_name);
        if (!ascii::equalIgnoringCase(candidate, name) || (best && QByteArrayView(candidate) >= *best))
            continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, 0) == 0 && (wantFolder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)))
            best = QByteArray(candidate.data(), qsizetype(candidate.size()));
    }
    ::closedir(dir);
    return best;
}

} // namespace

std::optional<QByteArray> findFile(const QByteArray &path)
{
    struct stat st {};
    if (path.isEmpty())
        return std::nullopt;
    if (::lstat(path.constData(), &st) == 0)
        return path;

    QList<QByteArray> parts = path.split('/');
    parts.removeAll(QByteArray());
    QByteArray found = path.startsWith('/') ? QByteArray("/") : QByteArray();
    const auto joined = [&found](const QByteArray &part) {
        return found.isEmpty() || found.endsWith('/') ? found + part : found + '/' + part;
    };
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray candidate = joined(parts.at(i));
        if (::lstat(candidate.constData(), &st) != 0) {
            const std::string_view name(parts.at(i).constData(), std::size_t(parts.at(i).size()));
            const auto match = entryIgnoringCase(found, name, i + 1 < parts.size());
            if (!match)
                return std::nullopt;
            candidate = joined(*match);
        }
        found = std::move(candidate);
    }
    return found;
}

std::optional<QByteArray> findRegularFile(const QByteArray &name)
{
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode))
        return name;
    return entryIgnoringCase({}, std::string_view(name.constData(), std::size_t(name.size())), false);
}

CurrentFolder currentFolder()
{
    if (const QString path = QDir::currentPath(); !path.isEmpty())
        return {path, false};
    // getcwd() fails once the folder is deleted; the kernel still knows the
    // name it had, and marks it.
    constexpr QByteArrayView kDeleted = " (deleted)";
    QByteArray name(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/cwd", name.data(), std::size_t(name.size()));
    if (length <= 0 || length >= name.size())
        return {QStringLiteral("(a folder that no longer exists)"), true};
    name.truncate(length);
    if (name.endsWith(kDeleted))
        name.chop(kDeleted.size());
    return {QFile::decodeName(name), true};
}

std::variant<std::unique_ptr<QFile>, FileFailure> openForReading(const QByteArray &path)
{
    // O_NONBLOCK: opening a pipe for reading would otherwise wait for a
    // writer. What was opened is then checked on the descriptor itself, so
    // nothing can take the file's place between a check and the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return openFailure(errno);
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    const int error = errno;
    auto file = std::make_unique<QFile>();
    if (statted && S_ISREG(st.st_mode)) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
            return file;
    }
    ::close(fd);
    if (!statted)
        return openFailure(error);
    if (!S_ISREG(st.st_mode))
        return FileFailure{FileFailure::NotRegular, S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder")
                                                                        : QStringLiteral("it is not a regular file")};
    return FileFailure{FileFailure::Other, file->errorString()};
}

std::optional<QString> replaceFile(const QByteArray &name, const QByteArray &bytes)
{
    // The new file has the permissions of any new file (0666 less the umask),
    // whatever lay there before: a file planted under the name passes on
    // none of its own.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = '.' + name + '.' + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return errno == EACCES || errno == EPERM ? rewriteInPlace(name, bytes, errno) : lastError();

    std::optional<QString> reason = writeAndClose(fd, bytes);
    // rename() replaces the entry itself, whatever it is, and never follows it.
    if (!reason && ::rename(temporary.constData(), name.constData()) != 0)
        reason = lastError();
    if (reason)
        ::unlink(temporary.constData());
    return reason;
}

QString nameText(const QByteArray &name)
{
    return QFile::decodeName(name);
}

QByteArray nameBytes(const QString &text)
{
    return QFile::encodeName(text);
}

// No interpreter reads the script here: its command line goes to the
// emulator in the file system's own bytes.
std::variant<QByteArray, QString> scriptFileName(const QByteArray &name)
{
    return name;
}

} // namespace platform
