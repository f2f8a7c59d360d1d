#pragma once
// A command button that shows a drawn 75 x 25 bitmap of pink words on light
// grey instead of a caption. The words double as its accessible name.

#include <QPushButton>

namespace ui {

class PictureButton final : public QPushButton {
    Q_OBJECT
public:
    explicit PictureButton(const QString &words, QWidget *parent = nullptr);

    const QString &words() const { return m_words; }

protected:
    // Enter presses the focused button as Space does; there is no default
    // button, so Enter anywhere else presses nothing.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_words;
};

} // namespace ui
