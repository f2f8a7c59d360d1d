// The floor for start-up: a plain main window of the real one's size, with a
// menu bar holding one menu and a label of text, so it pays for fonts too.

#include "app/zerivirav.h"
#include "first_paint.h"
#include "ui/look.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ui::setUpApplication(app);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("quex Front End"));
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Exit"));
    window.setCentralWidget(new QLabel(QStringLiteral("ROM images"), &window));
    window.resize(Zerivirav::kClientWidth,
                  Zerivirav::kClientHeight + window.menuBar()->sizeHint().height());
    new bench::ExitAfterFirstPaint(&window);
    window.show();
    return app.exec();
}
