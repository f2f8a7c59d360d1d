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
