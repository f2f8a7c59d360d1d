#pragma once
// The Readme window: the readme file "zerivirav.txt" in a read-only text box
// with an Ok button below. Top-level without owner, hidden by Ok and destroyed
// by its close box; the file is read once, when the window is created.

#include <QWidget>

class QPlainTextEdit;

namespace ui {
class ErrorReport;
class PictureButton;
} // namespace ui

namespace windows {

class Form2 final : public QWidget {
    Q_OBJECT
public:
    // Creates the window and runs its Form_Load, which reads "zerivirav.txt".
    // When the file cannot be read the failure goes to `errors` and nullptr is
    // returned.
    static Form2 *create(ui::ErrorReport &errors);

    // Plain-text box: it lays out only what is visible, so a readme of many
    // megabytes opens at once.
    QPlainTextEdit *RichTextBox1;
    ui::PictureButton *Command1;

public slots:
    void Command1_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    explicit Form2();
    bool Form_Load(ui::ErrorReport &errors);
};

} // namespace windows
