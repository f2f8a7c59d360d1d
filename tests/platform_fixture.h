#pragma once
// What the tests ask of the system beyond Qt, on the platform they run on.
// One table of cases serves Linux and Windows: a row that needs what Windows
// does not have (a named pipe, a socket, a symbolic link, a file mode, a
// file-size limit) is added only where it exists (kPosix), and its helper
// here fails on Windows rather than leaving the suite uncompiled there.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fixture {

#ifdef _WIN32
inline constexpr bool kPosix = false;
#else
inline constexpr bool kPosix = true;
#endif

#ifdef _WIN32

inline bool makeFifo(const QString &) { return false; }
inline bool makeSocket(const QString &) { return false; }
inline bool makeSymlink(const QString &, const QString &) { return false; }
inline bool setMode(const QString &, unsigned) { return false; }
inline bool makeHiddenReadOnly(const QString &path)
{
    return SetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()),
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
}
inline bool makeSystem(const QString &path)
{
    return SetFileAttributesW(reinterpret_cast<const wchar_t *>(path.utf16()), FILE_ATTRIBUTE_SYSTEM);
}
inline unsigned fileMode(const QString &) { return 0; }
inline unsigned currentUmask() { return 0; }
// A new empty file named by these bytes, UTF-8 as the program keeps names there.
inline bool createNamed(const QByteArray &name)
{
    QFile file(QString::fromUtf8(name));
    return !file.exists() && file.open(QIODevice::WriteOnly);
}
inline int openInheritable() { return -1; }
inline void closeDescriptor(int) {}
inline bool processRunning(qint64) { return false; }
inline void killProcess(qint64) {}
inline bool hasChildren(qint64 = -1) { return false; }

// A folder named by these bytes, made and entered: UTF-8 there.
inline bool makeFolder(const QByteArray &name)
{
    return QDir().mkdir(QString::fromUtf8(name));
}
inline bool enterFolder(const QByteArray &name)
{
    return QDir::setCurrent(QString::fromUtf8(name));
}

// Wine runs as the user who started it, and root there reads every file.
inline bool readsEveryFile() { return false; }

// Windows' own way to make a write of the file fail: another program holds
// it open and shares it with no one.
class WriteBlocker {
public:
    explicit WriteBlocker(const QString &path)
        : m_handle(CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~WriteBlocker() { release(); }
    WriteBlocker(const WriteBlocker &) = delete;
    WriteBlocker &operator=(const WriteBlocker &) = delete;
    bool active() const { return m_handle != INVALID_HANDLE_VALUE; }
    void release()
    {
        if (active())
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

#else

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

inline bool makeSocket(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::size_t(native.size()) >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, native.constData(), std::size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

inline bool makeSymlink(const QString &target, const QString &link)
{
    return QFile::link(target, link);
}

inline bool setMode(const QString &path, unsigned mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

inline bool makeHiddenReadOnly(const QString &) { return false; }
inline bool makeSystem(const QString &) { return false; }

// A folder named by these very bytes, made and entered.
inline bool makeFolder(const QByteArray &name)
{
    return ::mkdir(name.constData(), 0755) == 0;
}
inline bool enterFolder(const QByteArray &name)
{
    return ::chdir(name.constData()) == 0;
}

// A descriptor a careless start would hand on to the program it starts.
inline int openInheritable()
{
    return ::open("/dev/null", O_RDONLY);
}

inline void closeDescriptor(int fd)
{
    ::close(fd);
}

inline bool processRunning(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

inline void killProcess(qint64 pid)
{
    ::kill(pid_t(pid), SIGKILL);
}

// Whether `pid` (any, by default) is a child of this process, finished or not.
inline bool hasChildren(qint64 pid = -1)
{
    errno = 0;
    return ::waitpid(pid_t(pid), nullptr, WNOHANG) != -1 || errno != ECHILD;
}

// A new empty file named by these very bytes, whatever their encoding.
inline bool createNamed(const QByteArray &name)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    return fd >= 0 && ::close(fd) == 0;
}

inline unsigned fileMode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? unsigned(st.st_mode & 07777) : ~0u;
}

inline unsigned currentUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return unsigned(mask);
}

inline bool readsEveryFile()
{
    return ::geteuid() == 0;
}

// The one way to make a write fail here whoever runs the tests, root
// included: a file-size limit far below what is written.
class WriteBlocker {
public:
    explicit WriteBlocker(const QString &)
    {
        m_ok = getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        rlimit small = m_saved;
        small.rlim_cur = 1024;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~WriteBlocker() { release(); }
    WriteBlocker(const WriteBlocker &) = delete;
    WriteBlocker &operator=(const WriteBlocker &) = delete;
    bool active() const { return m_ok; }
    void release()
    {
        if (!m_ok)
            return;
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
        m_ok = false;
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_ok = false;
};

#endif

} // namespace fixture
