#pragma once
// The program's one error report: an error number and a description that
// names the file and the reason. Windows receive it by reference, so tests can
// capture reports instead of blocking on a modal box.

#include <QPointer>
#include <QString>

class QDialog;

namespace ui {

// Error numbers in the classic ranges of Windows programs: 5x names, 7x
// access, 481 pictures.
enum class ErrorNumber : int {
    BadFileName = 52,
    FileNotFound = 53,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    InvalidPicture = 481,
};

class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    virtual void report(ErrorNumber number, const QString &description) = 0;
    // A failure that shows only after its handler has returned (an emulator
    // that ended at once): the program goes on, and the report is modal to
    // no window. `output`, plain text, is what the failing program wrote.
    virtual void reportLater(const QString &description, const QString &output) = 0;
};

// Shows a modal message box with the number and the description; a later
// report in a window of its own beside the others, one at a time.
class MessageBoxReport final : public ErrorReport {
public:
    MessageBoxReport();
    ~MessageBoxReport() override;
    void report(ErrorNumber number, const QString &description) override;
    void reportLater(const QString &description, const QString &output) override;

private:
    QPointer<QDialog> m_later;
};

} // namespace ui
