// Any bytes as graphics/atari.gif and as a game's BMP: our checks and Qt's
// decoders either take the picture or report it, naming the file; nothing
// crashes; and a bitmap that is taken has every pixel written by its decoder,
// none left over from memory.

#include "ui/error_report.h"
#include "ui/picture.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

namespace {

class NamingReport final : public ui::ErrorReport {
public:
    QString last;
    void report(ui::ErrorNumber, const QString &description) override { last = description; }
    void reportLater(const QString &description, const QString &) override { last = description; }
};

QLabel *image = nullptr;

bool takenOrReported(QStringView relativePath, const QByteArray &bytes, const QString &fileName)
{
    QFile file(relativePath.toString().replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    NamingReport errors;
    return ui::showPicture(image, relativePath, &errors) || errors.last.contains(fileName);
}

// The pixels of two pictures of one size and format, the padding at the end
// of each line left out (no decoder writes it).
bool samePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format() || a.colorTable() != b.colorTable())
        return false;
    const qsizetype bitsPerLine = qsizetype(a.width()) * a.depth(), whole = bitsPerLine / 8;
    const uchar lastBits = uchar(0xFF00 >> (bitsPerLine % 8)); // one bit a pixel: the first pixel is the top bit
    for (int y = 0; y < a.height(); ++y) {
        const uchar *x = a.constScanLine(y), *z = b.constScanLine(y);
        if (std::memcmp(x, z, std::size_t(whole)) != 0 || (bitsPerLine % 8 && ((x[whole] ^ z[whole]) & lastBits)))
            return false;
    }
    return true;
}

// Qt's BMP decoder draws into a canvas handed to it when that has the
// picture's size and format. Drawn over two canvases filled differently, a
// picture whose pixels were all written comes out the same both times. (Its
// GIF decoder clears a canvas of its own first, so only bitmaps can differ.)
bool everyPixelWritten(const QByteArray &bytes)
{
    QImage over[2];
    for (int i = 0; i < 2; ++i) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        over[i] = QImage(reader.size(), reader.imageFormat());
        if (over[i].isNull())
            return true; // the size or format did not come from this reader
        std::memset(over[i].bits(), i ? 0xFF : 0x00, std::size_t(over[i].sizeInBytes()));
        if (!reader.read(&over[i]))
            return false;
    }
    return samePixels(over[0], over[1]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false"); // a decoder's every complaint
    static QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    QDir().mkdir(QStringLiteral("graphics"));
    new QApplication(*argc, *argv);
    image = new QLabel;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!takenOrReported(u"graphics\\atari.gif", bytes, QStringLiteral("atari.gif"))
        || !takenOrReported(u"graphics\\airraid.bmp", bytes, QStringLiteral("airraid.bmp")))
        std::abort();
    image->clear();
    const bool shownBitmap = bytes.startsWith("BM") && ui::showPicture(image, u"graphics\\airraid.bmp", nullptr);
    if (shownBitmap && !everyPixelWritten(bytes))
        std::abort();
    return 0;
}
