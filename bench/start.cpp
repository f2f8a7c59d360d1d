// The real main window, started as main() starts it, ending after its first
// paint; with a row count, after the first paint that shows that many ROMs.
//
// usage: zv_bench_start [ROWS]

#include "app/rom_list.h"
#include "app/zerivirav.h"
#include "first_paint.h"
#include "ui/error_report.h"
#include "ui/look.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QListView>

#include <cstdio>
#include <cstdlib>

namespace {

// A benchmark must never wait on a message box.
class PrintedReport final : public ui::ErrorReport {
public:
    void report(ui::ErrorNumber number, const QString &description) override
    {
        std::fprintf(stderr, "error %d: %s\n", static_cast<int>(number), qPrintable(description));
    }
};

} // namespace

int main(int argc, char *argv[])
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : -1;
    // As main() does: the folder is read while the toolkit starts.
    std::future<RomNames> folder = RomNames::readCurrentFolderAsync();
    QApplication app(argc, argv);
    ui::setUpApplication(app);

    PrintedReport errors;
    Zerivirav window(errors, std::move(folder));
    if (!window.loaded())
        return 1;
    if (rows < 0) {
        new bench::ExitAfterFirstPaint(&window);
    } else {
        new bench::ExitAfterFirstPaint(&window, [&window, rows] {
            return window.File2->model()->rowCount() == rows;
        });
    }
    window.show();
    return app.exec();
}
