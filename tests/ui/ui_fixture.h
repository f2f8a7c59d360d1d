#pragma once
// A fresh folder for one window test: the default data files, the quex
// stand-in as quex.exe, and whatever ROM files the test writes. The process's
// current directory is moved there for the life of the fixture.

#include "unit/launch/standin_log.h"
#include "ui/error_report.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

#ifndef _WIN32
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

// Collects error reports instead of showing a modal box.
class CapturingReport final : public ui::ErrorReport {
public:
    struct Entry {
        ui::ErrorNumber number;
        QString description;
    };
    void report(ui::ErrorNumber number, const QString &description) override
    {
        entries.append({number, description});
    }
    struct Later {
        QString description;
        QString output;
    };
    void reportLater(const QString &description, const QString &output) override
    {
        later.append({description, output});
    }
    QList<Entry> entries;
    QList<Later> later;
};

// The names the file list shows, top to bottom.
inline QStringList listedNames(const QAbstractItemModel *model)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

// Shows the window and waits until it can be seen.
inline bool shownAndExposed(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// Root may read any folder whatever its permissions. While this lives, the
// calling thread (and the threads it starts) are held to them like any other
// user's: the capabilities that override them are left out of its effective
// set, and given back at the end.
#ifdef _WIN32
// Windows has no permissions that would keep a user out of a folder here.
class PermissionsApply {};
#else
class PermissionsApply {
public:
    PermissionsApply()
    {
        if (::geteuid() != 0 || ::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct held[2] = {m_saved[0], m_saved[1]};
        held[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        m_dropped = ::syscall(SYS_capset, &m_header, held) == 0;
    }
    ~PermissionsApply()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionsApply(const PermissionsApply &) = delete;
    PermissionsApply &operator=(const PermissionsApply &) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};
#endif

class UiFolder {
public:
    explicit UiFolder(bool withData = true, bool withEmulator = true)
        : m_previous(QDir::currentPath())
    {
        namespace fs = std::filesystem;
        const fs::path here = m_dir.path().toStdString();
        const fs::path source = ZV_SOURCE_DIR;
        if (withData) {
            fs::copy(source / "data", here, fs::copy_options::recursive);
        }
        if (withEmulator) {
            const QByteArray standin = qgetenv("ZV_QUEX_STANDIN");
            fs::copy_file(standin.toStdString(), here / "quex.exe");
        }
        QDir::setCurrent(m_dir.path());
    }
    ~UiFolder() { QDir::setCurrent(m_previous); }
    UiFolder(const UiFolder &) = delete;
    UiFolder &operator=(const UiFolder &) = delete;

    QString path() const { return m_dir.path(); }

    static QByteArray readAll(const QString &name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};
