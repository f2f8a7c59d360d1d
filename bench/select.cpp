// One ROM selection as the user makes it: the list's current entry changes
// and File2_Click shows the catalogue's texts and a picture. Alternates
// between two recognised ROMs, then between two unrecognised ones (which show
// the default picture), so every selection does the whole work.
//
// usage: zv_bench_select DATA_DIR [REPEATS]   (DATA_DIR holds graphics/)
// Prints: select_window_known|select_window_unknown median_ms q1_ms q3_ms repeats

#include "app/zerivirav.h"
#include "stats.h"
#include "ui/error_report.h"
#include "ui/look.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

class PrintedReport final : public ui::ErrorReport {
public:
    void report(ui::ErrorNumber number, const QString &description) override
    {
        std::fprintf(stderr, "error %d: %s\n", static_cast<int>(number), qPrintable(description));
    }
    void reportLater(const QString &description, const QString &output) override
    {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(description), qPrintable(output));
    }
};

bool writeRom(const QString &name, const QByteArray &start, qint64 length)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(start) == start.size() && file.resize(length);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DATA_DIR [REPEATS]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path data = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;

    QApplication app(argc, argv);
    ui::setUpApplication(app);
    QTemporaryDir dir;
    std::error_code error;
    std::filesystem::copy(data / "graphics", std::filesystem::path(dir.path().toStdString()) / "graphics",
                          std::filesystem::copy_options::recursive, error);
    if (!dir.isValid() || error || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "cannot prepare a folder with the pictures of %s\n", argv[1]);
        return 1;
    }
    // Air Raid and Air-Sea Battle (rows with a picture), then two unknown ROMs.
    if (!writeRom(QStringLiteral("AIRRAID.BIN"), QByteArray::fromHex("78D8A2FF9AE88A95EA"), 4096)
        || !writeRom(QStringLiteral("AIRSEA.BIN"), QByteArray::fromHex("78D8A9AA95E8D0FBEA"), 2048)
        || !writeRom(QStringLiteral("UNKNOWN1.BIN"), QByteArray::fromHex("0102030405060708EA"), 4096)
        || !writeRom(QStringLiteral("UNKNOWN2.BIN"), QByteArray::fromHex("0807060504030201EA"), 4096)) {
        std::fprintf(stderr, "cannot write the ROM files\n");
        return 1;
    }

    PrintedReport errors;
    Zerivirav window(errors);
    if (!window.loaded())
        return 1;
    window.show();
    QCoreApplication::processEvents();

    const QAbstractItemModel *model = window.File2->model();
    const struct {
        const char *name;
        int firstRow;
        QString shown[2];
    } pairs[] = {
        {"select_window_known", 0, {QStringLiteral("Air Raid"), QStringLiteral("Air-Sea Battle")}},
        {"select_window_unknown", 2, {QString(), QString()}},
    };
    for (const auto &pair : pairs) {
        std::vector<double> ms;
        for (int i = 0; i < repeats + 20; ++i) {
            const QModelIndex index = model->index(pair.firstRow + i % 2, 0);
            const auto start = std::chrono::steady_clock::now();
            window.File2->setCurrentIndex(index);
            const auto end = std::chrono::steady_clock::now();
            if (window.Label10->text() != pair.shown[i % 2] || window.Image1->pixmap().isNull()) {
                std::fprintf(stderr, "selecting row %d showed \"%s\"\n", index.row(),
                             qPrintable(window.Label10->text()));
                return 1;
            }
            if (i >= 20)
                ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
        std::printf("%s %.4f %.4f %.4f %zu\n", pair.name, bench::quantile(ms, 0.5), bench::quantile(ms, 0.25),
                    bench::quantile(ms, 0.75), ms.size());
    }
    return 0;
}
