#pragma once
// Loading the program's picture files (GIF, BMP, JPEG) by relative path.

#include "ui/error_report.h"

#include <QStringView>

class QLabel;

namespace ui {

// Loads the picture into `image`. On failure `image` is left as it was and,
// when `errors` is given, the failure is reported there.
bool showPicture(QLabel *image, QStringView relativePath, ErrorReport *errors);

} // namespace ui
