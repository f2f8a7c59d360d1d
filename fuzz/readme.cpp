// Any bytes as the readme (plain, rich text, UTF-8, UTF-16 with a mark,
// Windows-1252): decoding never crashes, and its time is linear in the length
// (the test runs every input under a one-second limit).

#include "dialogs/readme_text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = windows::readmeDisplayText(bytes);
    // Broken into lines no longer than the box can lay out at once.
    qsizetype column = 0;
    for (QChar c : text) {
        column = c == u'\n' ? 0 : column + 1;
        if (column > windows::kLongestReadmeLine + 1)
            std::abort();
    }
    return 0;
}
