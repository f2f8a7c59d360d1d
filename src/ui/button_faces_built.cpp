#include "ui/button_face.h"

#include <cstdint>
#include <iterator>

namespace ui {

namespace {

struct BuiltFace {
    const char16_t *words;
    std::uint32_t pixels[75 * 25]; // 0xffRRGGBB, row by row
};

// Generated at build time by draw_button_faces, from drawButtonFace.
#include "button_faces.inc"

} // namespace

QImage builtButtonFace(const QString &words)
{
    for (const BuiltFace &face : kBuiltFaces) {
        if (words == QStringView(face.words))
            // The pixels are constant data of the program: no copy is made.
            return QImage(reinterpret_cast<const uchar *>(face.pixels), kButtonFaceSize.width(),
                          kButtonFaceSize.height(), kButtonFaceSize.width() * 4, QImage::Format_RGB32);
    }
    return {};
}

} // namespace ui
