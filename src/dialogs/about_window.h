#pragma once
// The About window: the banner, two notices about authorship and an Ok button.
// It is a top-level window of its own (no owner), hidden by Ok and destroyed
// by its close box.

#include <QWidget>

class QLabel;

namespace ui {
class ErrorReport;
class PictureButton;
} // namespace ui

namespace windows {

class About final : public QWidget {
    Q_OBJECT
public:
    // Creates the window and runs its Form_Load. When the banner cannot be
    // loaded the failure goes to `errors` and nullptr is returned.
    static About *create(ui::ErrorReport &errors);

    QLabel *Image1;
    QLabel *Label1;
    QLabel *Label2;
    ui::PictureButton *Cmd1;

public slots:
    void Cmd1_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    explicit About();
    bool Form_Load(ui::ErrorReport &errors);
};

} // namespace windows
