#pragma once
// The program names its files relative to the current directory with
// backslashes ("graphics\atari.gif"). On a case-sensitive file system a folder
// copied from Windows may spell them differently, so a path that does not
// exist as written is looked up again one component at a time, ignoring case.

#include <QString>
#include <QStringView>

namespace ui {

// The path to open for `relative`: the existing spelling when one is found,
// otherwise the path as written (with the platform's separator).
QString resolveRelativePath(QStringView relative);

} // namespace ui
