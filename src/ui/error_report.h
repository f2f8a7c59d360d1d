#pragma once
// The program's one error report: an error number and a description that
// names the file and the reason. Windows receive it by reference, so tests can
// capture reports instead of blocking on a modal box.

#include <QString>

class QWidget;

namespace ui {

// Error numbers in the classic ranges of Windows programs: 5x names, 7x
// access, 481 pictures.
enum class ErrorNumber : int {
    BadFileName = 52,
    FileNotFound = 53,
    PermissionDenied = 70,
    PathFileAccess = 75,
    InvalidPicture = 481,
};

class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    virtual void report(ErrorNumber number, const QString &description) = 0;
};

// Shows a modal message box with the number and the description.
class MessageBoxReport final : public ErrorReport {
public:
    void report(ErrorNumber number, const QString &description) override;
};

} // namespace ui
