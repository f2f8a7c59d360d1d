#include "ui/picture.h"

#include "ui/data_file.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QtEndian>

namespace ui {

namespace {

// Far beyond any picture the program shows; a larger file is no picture of ours.
constexpr qint64 kLargestPicture = 64 * 1024 * 1024;
constexpr qint64 kLargestPixelCount = 4096 * 4096;

// Qt shows whatever part of a GIF arrived. A file cut short is still not a
// readable picture, so its blocks are walked up to the trailer.
bool isCompleteGif(const QByteArray &gif)
{
    const auto byte = [&gif](qsizetype i) { return static_cast<unsigned char>(gif.at(i)); };
    const auto colourTable = [](unsigned char flags) { return flags & 0x80 ? 3 << ((flags & 7) + 1) : 0; };
    qsizetype at = 13; // signature and logical screen descriptor
    if (gif.size() < at)
        return false;
    at += colourTable(byte(10));
    const auto skipDataBlocks = [&] {
        while (at < gif.size()) {
            const int length = byte(at++);
            if (length == 0)
                return true;
            at += length;
        }
        return false;
    };
    while (at < gif.size()) {
        switch (byte(at++)) {
        case 0x3B: // trailer
            return true;
        case 0x21: // extension: label, data blocks
            if (++at > gif.size() || !skipDataBlocks())
                return false;
            break;
        case 0x2C: // image: descriptor, colour table, code size, data blocks
            if (at + 9 > gif.size())
                return false;
            at += 9 + colourTable(byte(at + 8));
            if (++at > gif.size() || !skipDataBlocks())
                return false;
            break;
        default:
            return false;
        }
    }
    return false;
}

// The size the picture claims; a GIF is drawn on its logical screen, which
// Qt's reader does not report.
QSize claimedSize(QImageReader &reader, const QByteArray &bytes)
{
    QSize size = reader.size();
    if (bytes.startsWith("GIF8") && bytes.size() >= 10)
        size = size.expandedTo(QSize(qFromLittleEndian<quint16>(bytes.constData() + 6),
                                     qFromLittleEndian<quint16>(bytes.constData() + 8)));
    return size;
}

QByteArray formatOf(const QByteArray &bytes)
{
    if (bytes.startsWith("GIF8"))
        return "gif";
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("\x89PNG"))
        return "png";
    return {};
}

std::variant<QPixmap, DataFileFailure> loadPicture(QStringView relativePath)
{
    auto read = readDataFile(relativePath, kLargestPicture);
    if (auto *failure = std::get_if<DataFileFailure>(&read))
        return *failure;
    auto [bytes, shown] = std::get<DataFile>(std::move(read));
    QBuffer buffer(&bytes);
    // The content decides, not the name. Naming the decoder for the common
    // formats spares loading every other one to ask it.
    const QByteArray format = formatOf(bytes);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(format.isEmpty());
    // A few bytes can claim a picture of hundreds of megabytes; decoding it
    // would hold the window. Ours are shown at a few hundred pixels.
    if (const QSize size = claimedSize(reader, bytes); qint64(size.width()) * size.height() > kLargestPixelCount)
        return DataFileFailure{ErrorNumber::InvalidPicture,
                               QStringLiteral("Cannot read the picture %1: it is %2 by %3 pixels, too large to show")
                                   .arg(shown)
                                   .arg(size.width())
                                   .arg(size.height())};
    QImage image = reader.read();
    if (!image.isNull() && bytes.startsWith("GIF8") && !isCompleteGif(bytes))
        return DataFileFailure{ErrorNumber::InvalidPicture,
                               QStringLiteral("Cannot read the picture %1: the file is incomplete").arg(shown)};
    if (image.isNull())
        return DataFileFailure{ErrorNumber::InvalidPicture,
                               QStringLiteral("Cannot read the picture %1: %2").arg(shown, reader.errorString())};
    return QPixmap::fromImage(std::move(image));
}

} // namespace

bool showPicture(QLabel *image, QStringView relativePath, ErrorReport *errors)
{
    auto picture = loadPicture(relativePath);
    if (const auto *failure = std::get_if<DataFileFailure>(&picture)) {
        if (errors)
            errors->report(failure->number, failure->description);
        return false;
    }
    image->setPixmap(std::get<QPixmap>(picture));
    return true;
}

} // namespace ui
