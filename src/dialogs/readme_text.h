#pragma once
// Turning the bytes of the readme file into the text the Readme window shows.
// Readme files come from Notepad and WordPad as often as from Linux editors,
// so the encoding is guessed and a rich-text file is reduced to its words.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace windows {

// UTF-8 when the bytes are valid UTF-8 (a byte-order mark is dropped), UTF-16
// when a UTF-16 byte-order mark says so, otherwise Windows-1252.
QString decodeText(QByteArrayView bytes);

// Windows-1252; the five bytes the code page leaves undefined become U+FFFD.
QString decodeWindows1252(QByteArrayView bytes);

bool isRichText(QByteArrayView bytes);

// The plain text of a rich-text document: paragraphs, tabs and characters are
// kept, formatting and non-text groups (font tables, pictures, ...) dropped.
QString richTextToPlainText(QByteArrayView rtf);

// The text box lays out a whole line whenever any of it is visible, so one
// huge line (only binary or generated files have them) would freeze it; a
// line longer than this is broken.
inline constexpr qsizetype kLongestReadmeLine = 4096;

// What the Readme window shows for the file's bytes: rich text reduced to
// plain text, line ends made uniform, NULs made visible as U+FFFD and lines
// longer than kLongestReadmeLine broken.
QString readmeDisplayText(QByteArrayView bytes);

} // namespace windows
