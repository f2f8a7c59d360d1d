#include "windows/picture.h"

#include "windows/path_lookup.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace ui {

std::variant<QPixmap, PictureFailure> loadPicture(QStringView relativePath)
{
    const QString path = resolveRelativePath(relativePath);
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const QFileInfo info(path);
    if (!info.exists())
        return PictureFailure{ErrorNumber::FileNotFound,
                              QStringLiteral("File not found: %1").arg(shown)};
    if (!info.isFile())
        return PictureFailure{ErrorNumber::PathFileAccess,
                              QStringLiteral("Not a picture file: %1").arg(shown)};

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) {
        const bool denied = reader.error() == QImageReader::FileNotFoundError;
        return PictureFailure{denied ? ErrorNumber::PermissionDenied : ErrorNumber::InvalidPicture,
                              QStringLiteral("Cannot read the picture %1: %2")
                                  .arg(shown, reader.errorString())};
    }
    return QPixmap::fromImage(std::move(image));
}

} // namespace ui
