#include "ui/picture.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>

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

// Qt's BMP decoder stops at the end of the data and keeps the rows it has
// not reached as they were in memory. A bitmap counts only when its data
// covers every pixel; how far that is follows the decoder's own reading: the
// colour table after the header, the pixels at the stated offset or, should
// that point back into the table, right after it.
bool isCompleteBmp(const QByteArray &bmp)
{
    const auto u16 = [&bmp](qsizetype at) { return qint64(qFromLittleEndian<quint16>(bmp.constData() + at)); };
    const auto u32 = [&bmp](qsizetype at) { return qint64(qFromLittleEndian<quint32>(bmp.constData() + at)); };
    constexpr qint64 kFileHeader = 14, kCoreHeader = 12, kInfoHeader = 40, kV4Header = 108;
    if (bmp.size() < kFileHeader + kCoreHeader)
        return false;
    const qint64 headerSize = u32(14);
    const bool core = headerSize == kCoreHeader;
    if (!core && bmp.size() < kFileHeader + kInfoHeader)
        return false;
    const qint64 width = core ? u16(18) : u32(18);
    const qint64 height = core ? u16(20) : std::abs(qint64(qint32(u32(22))));
    const qint64 bits = core ? u16(24) : u16(28);
    const qint64 compression = core ? 0 : u32(30);
    const qint64 coloursUsed = core ? 0 : u32(46);
    const qint64 colours = bits > 8 ? 0 : (coloursUsed ? coloursUsed : qint64(1) << bits);
    const qint64 tableEnd = kFileHeader + (headerSize >= kV4Header ? kInfoHeader : headerSize)
                            + colours * (core ? 3 : 4);
    const qint64 start = std::max(u32(10), tableEnd);
    if (start > bmp.size() || width <= 0 || height <= 0)
        return false;

    constexpr qint64 kRle8 = 1, kRle4 = 2;
    if (compression != kRle8 && compression != kRle4) {
        const qint64 rowBytes = (width * bits + 31) / 32 * 4;
        return rowBytes == 0 || (bmp.size() - start) / rowBytes >= height;
    }

    // Run-length data: every row filled to its end by runs, nothing skipped.
    const auto *data = reinterpret_cast<const uchar *>(bmp.constData());
    qint64 at = start, x = 0, y = 0;
    while (y < height) {
        if (at + 2 > bmp.size())
            return false;
        const int count = data[at], code = data[at + 1];
        at += 2;
        if (count > 0 || code >= 3) { // a run, or `code` pixels as they are
            if (count == 0)
                at += ((compression == kRle4 ? (code + 1) / 2 : code) + 1) & ~1;
            x += count > 0 ? count : code;
            if (x > width || at > bmp.size())
                return false;
        } else if (code == 0 && x == width) { // end of a full row
            x = 0;
            ++y;
        } else { // a row ended early, the end of the data too soon, or a jump over pixels
            return code == 1 && x == width && y == height - 1;
        }
    }
    return true;
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

} // namespace

Picture readPicture(QStringView relativePath)
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
    // A picture cut short is no picture: what the decoder would make of the
    // missing part is either nothing (GIF) or leftover memory (BMP).
    if ((format == "gif" && !isCompleteGif(bytes)) || (format == "bmp" && !isCompleteBmp(bytes)))
        return DataFileFailure{ErrorNumber::InvalidPicture,
                               QStringLiteral("Cannot read the picture %1: the file is incomplete").arg(shown)};
    QImage image = reader.read();
    if (image.isNull())
        return DataFileFailure{ErrorNumber::InvalidPicture,
                               QStringLiteral("Cannot read the picture %1: %2").arg(shown, reader.errorString())};
    return image;
}

bool showPicture(QLabel *image, Picture picture, ErrorReport *errors)
{
    if (const auto *failure = std::get_if<DataFileFailure>(&picture)) {
        if (errors)
            errors->report(failure->number, failure->description);
        return false;
    }
    image->setPixmap(QPixmap::fromImage(std::get<QImage>(std::move(picture))));
    return true;
}

bool showPicture(QLabel *image, QStringView relativePath, ErrorReport *errors)
{
    return showPicture(image, readPicture(relativePath), errors);
}

} // namespace ui
