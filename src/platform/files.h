#pragma once
// Files as the program opens them: by names relative to the current folder,
// given as the file system's own bytes. Opening never waits on a pipe or a
// device, and replacing a file never writes through a link.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <optional>
#include <variant>

namespace platform {

struct FileFailure {
    enum Kind { NotFound, NotRegular, Denied, TooLarge, Other };
    Kind kind;
    QString reason; // the system's words, or ours for NotRegular and TooLarge
    qint64 size = 0; // for TooLarge: the file's length
};

// Opens an existing regular file, or a link to one, for reading. A pipe,
// device, socket or folder of that name is refused without waiting for it.
std::variant<std::unique_ptr<QFile>, FileFailure> openForReading(const QByteArray &path);

// The whole content of a regular file of at most `limit` bytes.
std::variant<QByteArray, FileFailure> readWholeFile(const QByteArray &path, qint64 limit);

// Replaces the folder entry `name` (whatever it is: a file, a link, a pipe)
// by a regular file holding `bytes`: a new file is written beside it and
// renamed over it, so a link's target is never opened and the old file stays
// whole if anything fails. The new file has the permissions any new file
// gets. Where the folder allows no new file, an existing regular file of that
// name is rewritten in place, losing any set-ID, sticky or world-write bit.
// Returns the reason on failure.
std::optional<QString> replaceFile(const QByteArray &name, const QByteArray &bytes);

// The path of the file `path` denotes, where a folder copied from Windows may
// spell its names in another letter case. `path` is relative to the current
// folder or absolute, with '/' between its parts. A path that exists as
// written is taken as it is, whatever it names. Otherwise each part that does
// not exist as written is looked up ignoring ASCII letter case: the inner
// parts among folders, the last among regular files (or links to them). Of
// several such entries the one whose name sorts first by its bytes wins
// ("QUEX.EXE" before "Quex.exe" before "quex.exe"), so the choice never
// depends on the order a folder lists its entries in or on their times.
// Empty when nothing matches.
std::optional<QByteArray> findFile(const QByteArray &path);

// The regular file (or link to one) named `name` in the current folder, in
// any letter case, by the rules of findFile; but under every spelling,
// the exact one too, anything else of that name (a folder, a dangling link)
// is passed over. Empty when there is none.
std::optional<QByteArray> findRegularFile(const QByteArray &name);

// File names as the program keeps them: in bytes, the file system's own on
// POSIX; on Windows, whose names are UTF-16, in UTF-8, so that every name a
// folder holds has a form whatever the system's code page. nameText turns them
// into text to show or to build paths from, nameBytes back.
QString nameText(const QByteArray &name);
QByteArray nameBytes(const QString &text);

// The bytes that name the file `name` of the current folder in the launch
// script's command line, which is read in the system's code page: the name
// itself where that code page has a form of every character of it, else the
// name the volume keeps for it in the code page (its short name on Windows).
// A description of the reason where there is none. Empty for an empty name.
std::variant<QByteArray, QString> scriptFileName(const QByteArray &name);

// The current folder as the user knows it, for messages only. A folder that
// was deleted while the program runs keeps the name it had.
struct CurrentFolder {
    QString path;
    bool gone = false; // deleted since
};
CurrentFolder currentFolder();

// `relative` in the current folder, as the user knows it, for messages only.
QString shownPath(const QByteArray &relative);

} // namespace platform
