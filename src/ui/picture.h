#pragma once
// Loading the program's picture files (GIF, BMP, JPEG) by relative path.

#include "ui/data_file.h"
#include "ui/error_report.h"

#include <QImage>
#include <QStringView>

#include <variant>

class QLabel;

namespace ui {

// A picture file read and decoded, or why it could not be.
using Picture = std::variant<QImage, DataFileFailure>;

// Reads and decodes the picture; safe on any thread once the application
// object exists (the decoders are plugins).
Picture readPicture(QStringView relativePath);

// Shows the picture in `image`. On failure `image` is left as it was and,
// when `errors` is given, the failure is reported there.
bool showPicture(QLabel *image, Picture picture, ErrorReport *errors);
bool showPicture(QLabel *image, QStringView relativePath, ErrorReport *errors);

} // namespace ui
