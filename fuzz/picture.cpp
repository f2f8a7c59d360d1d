// Any bytes as graphics/atari.gif and as a game's BMP: our checks and Qt's
// decoders either take the picture or report it, naming the file; nothing
// crashes.

#include "ui/error_report.h"
#include "ui/picture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

class NamingReport final : public ui::ErrorReport {
public:
    QString last;
    void report(ui::ErrorNumber, const QString &description) override { last = description; }
};

QLabel *image = nullptr;

bool takenOrReported(QStringView relativePath, const QByteArray &bytes, const QString &fileName)
{
    QFile file(relativePath.toString().replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    NamingReport errors;
    return ui::showPicture(image, relativePath, &errors) || errors.last.contains(fileName);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false"); // a decoder's every complaint
    static QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    QDir().mkdir(QStringLiteral("graphics"));
    new QApplication(*argc, *argv);
    image = new QLabel;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!takenOrReported(u"graphics\\atari.gif", bytes, QStringLiteral("atari.gif"))
        || !takenOrReported(u"graphics\\airraid.bmp", bytes, QStringLiteral("airraid.bmp")))
        std::abort();
    return 0;
}
