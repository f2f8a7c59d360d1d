#pragma once
// Loading the program's picture files (GIF, BMP, JPEG) by relative path.

#include "windows/error_report.h"

#include <QPixmap>
#include <QString>
#include <QStringView>

#include <variant>

class QLabel;

namespace ui {

struct PictureFailure {
    ErrorNumber number;
    QString description; // names the file and the reason
};

std::variant<QPixmap, PictureFailure> loadPicture(QStringView relativePath);

// Loads the picture into `image`. On failure `image` is left as it was and,
// when `errors` is given, the failure is reported there.
bool showPicture(QLabel *image, QStringView relativePath, ErrorReport *errors);

} // namespace ui
