// Build step: draws the faces of the program's picture buttons once, so that
// the program starts without drawing them (and without the font they use).
// usage: draw_button_faces OUTPUT WORDS...

#include "ui/button_face.h"

#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: draw_button_faces OUTPUT WORDS...\n");
        return 2;
    }
    // The faces are part of the program: baked in another font than the one
    // asked for (fontconfig picks a stand-in for a missing one), they would
    // silently differ from build to build.
    const QFont wanted = ui::buttonFaceFont();
    const QFontInfo got(wanted);
    if (got.family() != wanted.family() || got.bold() != wanted.bold()) {
        std::fprintf(stderr, "draw_button_faces: the font \"%s\"%s is not installed (got \"%s\"%s); install it "
                             "(Debian: fonts-dejavu-core) and build again\n",
                     qPrintable(wanted.family()), wanted.bold() ? " bold" : "", qPrintable(got.family()),
                     got.bold() ? " bold" : "");
        return 1;
    }
    QByteArray text = "inline constexpr BuiltFace kBuiltFaces[] = {\n";
    for (int i = 2; i < argc; ++i) {
        const QString words = QString::fromUtf8(argv[i]);
        const QImage face = ui::drawButtonFace(words);
        text += "    {u\"";
        for (const QChar c : words)
            text += QByteArray("\\u") + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
        text += "\", {";
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x)
                text += "0x" + QByteArray::number(face.pixel(x, y), 16) + (x + 1 < face.width() || y + 1 < face.height() ? "," : "");
        text += "}},\n";
    }
    text += "};\n";
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
