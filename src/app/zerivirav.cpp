#include "app/zerivirav.h"

#include "app/controls.h"
#include "app/rom_list.h"
#include "desktop/activation.h"
#include "launch/script.h"
#include "launch/task.h"
#include "options/pages.h"
#include "platform/files.h"
#include "rom/catalogue.h"
#include "rom/fingerprint.h"
#include "ui/error_report.h"
#include "ui/look.h"
#include "ui/picture.h"
#include "ui/picture_button.h"
#include "dialogs/about_window.h"
#include "dialogs/readme_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>

#include <algorithm>
#include <optional>
#include <utility>
#include <variant>

using namespace controls;

namespace {

// One side of the drawn box around the game picture: a one-pixel line in the
// window-text colour.
class LineControl final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::WindowText));
    }
};

// The options frame as the platform draws one: its caption sits on the top
// line, so the line runs above the first option row rather than through it.
class FrameControl final : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int lineY = metrics.height() / 2;
        const QRect frame = rect().adjusted(0, lineY, -1, -1);
        // Etched: a shadow line with a light line inside it.
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.adjusted(1, 1, 0, 0));
        if (title().isEmpty())
            return;
        // The caption, on a patch of the window's colour, 6 px in.
        const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(caption, palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
    }
};

// A file list keeps one entry selected once the user has chosen one, as the
// list of a ROM folder should: Ctrl+click and clicks beside the entries do
// not take the selection away.
class FileList final : public QListView {
public:
    using QListView::QListView;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *) const override
    {
        if (!index.isValid())
            return QItemSelectionModel::NoUpdate;
        return QItemSelectionModel::ClearAndSelect;
    }

    // The view makes the first row current, unselected, when it takes the
    // focus; the first key would then move on from it. With nothing selected
    // yet, the first navigation key selects an end of the list instead.
    void keyPressEvent(QKeyEvent *event) override
    {
        const int key = event->key();
        const bool toFirst = key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_Home
                             || key == Qt::Key_PageUp || key == Qt::Key_Space;
        const int rows = model()->rowCount();
        if ((toFirst || key == Qt::Key_End) && rows > 0 && !selectionModel()->hasSelection()
            && event->modifiers() == Qt::NoModifier) {
            setCurrentIndex(model()->index(toFirst ? 0 : rows - 1, 0));
            return;
        }
        QListView::keyPressEvent(event);
    }
};

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget>
Widget *place(Widget *widget, std::string_view name, const QRect &rect)
{
    return ui::place(widget, fromView(name), rect);
}

QString earlyEndDescription(const QByteArray &romName, const launch::TaskEnd &end)
{
    const QString rom = romName.isEmpty() ? QStringLiteral("with no ROM selected")
                                          : QStringLiteral("on the ROM \"%1\"").arg(platform::nameText(romName));
    return QStringLiteral("%1 ended %2 within %3 seconds of its start, %4.")
        .arg(QLatin1String(launch::kEmulatorName), end.how, QString::number(launch::kWatchSeconds), rom);
}

} // namespace

Zerivirav::StartPictures Zerivirav::readStartPictures()
{
    return {ui::readPicture(fromView(rom::kDefaultPicture)), ui::readPicture(u"graphics\\zerivirav.jpg")};
}

void Zerivirav::ReadAhead::readPictures()
{
    // The decoders are plugins, looked up here on the user-interface thread
    // so that the picture thread only uses them. On Windows the lookup
    // matches file names with a regular expression, and the thread-local
    // state that leaves behind crashed the program as the thread ended.
    QImageReader::supportedImageFormats();
    // Only the pictures: the toolkit's font list stays on this thread, the
    // one Qt's font database is made for.
    pictures = std::async(std::launch::async | std::launch::deferred, [] { return readStartPictures(); });
}

Zerivirav::Zerivirav(ui::ErrorReport &errors, ReadAhead ahead, QWidget *parent)
    : QMainWindow(parent), m_errors(errors), m_pictures(std::move(ahead.pictures)),
      m_activator(new desktop::Activator(this))
{
    setObjectName(QStringLiteral("Zerivirav"));
    setWindowTitle(QStringLiteral("quex Front End"));
    setWindowFlags(ui::kFixedWindowFlags);
    setFont(ui::dialogFont());

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    createControls(client);
    createMenu();
    setFocusOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // The window opens at the screen's top-left: its client area at (-45, 525)
    // twips on the screen, the menu bar just above it.
    // Three pixels off the left edge would cut the first letter of the file
    // list's heading, so the client area is kept on the screen.
    const int menuHeight = menuBar()->sizeHint().height();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    setGeometry(QRect(QPoint(std::max(kScreenLeft, screen.left()), kScreenTop - menuHeight),
                      QSize(kClientWidth, kClientHeight + menuHeight)));

    // The window starts on the Sound page; applying page 1 gives exactly that.
    TabStrip1_Click();
    Form_Load();
    Run->setFocus();
    // Last: the folder's names were read while everything above was made.
    fillFileList(std::move(ahead.folder));
}

Zerivirav::~Zerivirav()
{
    // The secondary windows have no parent; they end with the main window.
    delete m_about.data();
    delete m_readme.data();
}

void Zerivirav::createControls(QWidget *client)
{
    // Creation order is stacking order: what is created later lies on top.
    createGameInfo(client);
    createOptions(client);
    createFileList(client);
    createCommands(client);
}

void Zerivirav::createGameInfo(QWidget *client)
{
    for (const LabelDef &def : kLabels) {
        auto *label = place(new QLabel(fromView(def.caption), client), def.name, pixels(def.rect));
        label->setAutoFillBackground(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (!def.describes.empty())
            label->setAccessibleDescription(fromView(def.describes));
        this->*def.member = label;
    }
    for (const ImageDef &def : kImages) {
        auto *image = place(new QLabel(client), def.name, pixels(def.rect));
        image->setScaledContents(true);
        image->setAccessibleName(fromView(def.accessibleName));
        this->*def.member = image;
    }
    for (const LineDef &def : kLines)
        this->*def.member = place(new LineControl(client), def.name, pixels(def.from, def.to));
}

void Zerivirav::createOptions(QWidget *client)
{
    TabStrip1 = place(new QTabWidget(client), "TabStrip1", pixels(kTabStripRect));
    for (std::string_view caption : options::kPageCaptions)
        TabStrip1->addTab(new QWidget, fromView(caption));
    connect(TabStrip1, &QTabWidget::tabBarClicked, this, [this](int index) {
        // A click on the tab already selected applies its page again.
        if (index == TabStrip1->currentIndex())
            TabStrip1_Click();
    });
    connect(TabStrip1, &QTabWidget::currentChanged, this, &Zerivirav::TabStrip1_Click);

    Frame5 = place(new FrameControl(client), "Frame5", pixels(kFrameRect));
    for (const CheckDef &def : kChecks)
        this->*def.member = place(new QCheckBox(fromView(def.caption), client), def.name, pixels(def.rect));
    for (const TextDef &def : kTexts) {
        auto *field = place(new QLineEdit(client), def.name, pixels(def.rect));
        field->setAccessibleName(fromView(def.accessibleName));
        field->setTextMargins(0, 0, 0, 0);
        this->*def.member = field;
    }
}

void Zerivirav::createFileList(QWidget *client)
{
    File2 = place(new FileList(client), "File2", pixels(kFileListRect));
    File2->setAccessibleName(QStringLiteral("ROM files"));
    File2->setSelectionMode(QAbstractItemView::SingleSelection);
    File2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    File2->setUniformItemSizes(true);
    File2->setLayoutMode(QListView::Batched);
}

void Zerivirav::fillFileList(std::future<RomNames> folder)
{
    // Read while the toolkit started and the window was made, or read now.
    RomNames names = folder.valid() ? folder.get() : RomNames::readCurrentFolder();
    if (const auto &problem = names.problem()) {
        // Reported once the window shows, with what could be read listed.
        const auto number = problem->denied ? ui::ErrorNumber::PermissionDenied : ui::ErrorNumber::PathFileAccess;
        QMetaObject::invokeMethod(
            this, [this, number, text = problem->description] { m_errors.report(number, text); },
            Qt::QueuedConnection);
    }
    m_files = new RomList(std::move(names), this);
    File2->setModel(m_files);
    connect(File2->selectionModel(), &QItemSelectionModel::selectionChanged, this, &Zerivirav::File2_Click);
}

void Zerivirav::createCommands(QWidget *client)
{
    for (const ButtonDef &def : kButtons)
        this->*def.member = place(new ui::PictureButton(fromView(def.words), client), def.name, pixels(def.rect));
    // The face around Run's bitmap has the active-border colour.
    QPalette runFace = Run->palette();
    runFace.setColor(QPalette::Button, QColor(180, 180, 180));
    Run->setPalette(runFace);
    connect(Run, &QPushButton::clicked, this, &Zerivirav::Run_Click);
    Run->installEventFilter(this); // the time of each press
    connect(Command1, &QPushButton::clicked, this, &Zerivirav::Command1_Click);
    connect(Clear, &QPushButton::clicked, this, &Zerivirav::Clear_Click);
}

void Zerivirav::createMenu()
{
    File = menuBar()->addMenu(QStringLiteral("&File"));
    File->setObjectName(QStringLiteral("File"));
    Exit = File->addAction(QStringLiteral("&Exit"));
    Exit->setObjectName(QStringLiteral("Exit"));
    Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(Exit, &QAction::triggered, this, &Zerivirav::Exit_Click);

    Help = menuBar()->addMenu(QStringLiteral("&Help"));
    Help->setObjectName(QStringLiteral("Help"));
    ViewHelp = Help->addAction(QStringLiteral("&View Readme"));
    ViewHelp->setObjectName(QStringLiteral("ViewHelp"));
    ViewHelp->setShortcut(QKeySequence(Qt::Key_F1));
    connect(ViewHelp, &QAction::triggered, this, &Zerivirav::ViewHelp_Click);
    aAbout = Help->addAction(QStringLiteral("&About"));
    aAbout->setObjectName(QStringLiteral("aAbout"));
    connect(aAbout, &QAction::triggered, this, &Zerivirav::aAbout_Click);
}

void Zerivirav::setFocusOrder()
{
    QWidget *previous = nullptr;
    for (ControlOf controlOf : kFocusOrder) {
        QWidget *next = controlOf(*this);
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

QByteArray Zerivirav::selectedFileName() const
{
    const QModelIndexList selected = File2->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return {};
    return m_files->fileName(selected.first().row());
}

void Zerivirav::Form_Load()
{
    // In this order; the first picture that cannot be shown is reported.
    auto [game, banner] = m_pictures.valid() ? m_pictures.get() : readStartPictures();
    m_loaded = ui::showPicture(Image1, std::move(game), &m_errors)
               && ui::showPicture(Image2, std::move(banner), &m_errors);
}

void Zerivirav::File2_Click()
{
    const QByteArray name = selectedFileName();
    // A file that cannot be read (gone, a pipe, no permission, empty) is shown
    // as unrecognised rather than ending the program.
    const auto probe = name.isEmpty() ? std::nullopt : rom::probeRom(name);
    m_firstLine = probe ? probe->firstLine : std::string();
    const std::string key = rom::fingerprint(m_firstLine);

    Label10->clear();
    Label6->clear();
    Label4->clear();
    Label8->clear();
    Image1->clear();
    Label13->clear();
    Label14->clear();

    const rom::GameRow *row = rom::lookup(key, probe ? probe->length : 0);
    // The game's picture, or the default one when it has none or it cannot be
    // read: only the picture that ends up shown is decoded.
    if (!row || row->picture.empty() || !ui::showPicture(Image1, fromView(row->picture), nullptr))
        ui::showPicture(Image1, fromView(rom::kDefaultPicture), nullptr);
    if (!row)
        return;
    Label10->setText(fromView(row->name));
    Label4->setText(fromView(row->sizeText));
    Label6->setText(fromView(row->romType));
    Label8->setText(fromView(row->joystick));
    Label13->setText(fromView(row->maker));
    Label14->setText(fromView(row->rarity));
}

void Zerivirav::TabStrip1_Click()
{
    const int page = TabStrip1->currentIndex() + 1;
    Frame5->setTitle(fromView(options::kPageCaptions[static_cast<std::size_t>(page - 1)]));
    for (const options::PageControl &control : options::kPageControls)
        optionControl(control.control)->setVisible(control.page == page);
}

std::array<QCheckBox *, 20> Zerivirav::checks() const
{
    return {Check1,  Check2,  Check3,  Check4,  Check5,  Check6,  Check7,
            Check8,  Check9,  Check10, Check11, Check12, Check13, Check14,
            Check15, Check16, Check17, Check18, Check19, Check20};
}

std::array<QLineEdit *, 6> Zerivirav::texts() const
{
    return {Text1, Text2, Text3, Text4, Text5, Text6};
}

QWidget *Zerivirav::optionControl(options::OptionControl control) const
{
    const auto n = std::size_t(options::numberOf(control)) - 1;
    return options::isValueField(control) ? static_cast<QWidget *>(texts()[n]) : checks()[n];
}

void Zerivirav::Run_Click()
{
    options::CheckValues values{};
    const auto boxes = checks();
    std::transform(boxes.begin(), boxes.end(), values.begin(),
                   [](const QCheckBox *box) { return box->checkState() == Qt::Checked ? 1 : 0; });
    options::FieldTexts fields;
    const auto edits = texts();
    std::transform(edits.begin(), edits.end(), fields.begin(),
                   [](const QLineEdit *edit) { return edit->text(); });
    m_optionsLine = options::buildOptionsLine(values, fields, options::scriptDecimalPoint(QLocale().decimalPoint()));

    m_romName = selectedFileName();
    const std::optional<Press> press = std::exchange(m_press, std::nullopt);
    if (press && isSecondClick(*press))
        return;
    // The name as the script's command line gives it to the interpreter: in
    // the system's code page on Windows, the name itself elsewhere.
    const auto named = platform::scriptFileName(m_romName);
    const auto *inScript = std::get_if<QByteArray>(&named);
    std::optional<QString> problem = inScript ? launch::romNameProblem(m_romName) : std::get<QString>(named);
    if (!problem && !launch::commandLineRomName(*inScript))
        problem = launch::romNameProblem(*inScript);
    if (problem) {
        m_errors.report(ui::ErrorNumber::BadFileName,
                        QStringLiteral("The ROM file name \"%1\" cannot be passed to %2: %3. Rename "
                                       "the file and try again.")
                            .arg(platform::nameText(m_romName), QLatin1String(launch::kEmulatorName), *problem));
        return;
    }
    const auto romArgument = launch::commandLineRomName(*inScript);

    // The options line is ASCII: switches, digits and an ASCII separator.
    const QByteArray script = launch::scriptBytes(m_optionsLine.toLatin1(), *romArgument);
    if (auto failure = launch::writeScript(script)) {
        m_errors.report(ui::ErrorNumber::PathFileAccess, *failure);
        return;
    }
    m_scriptName = QLatin1String(launch::kScriptName);

    // What runs is the script just written, as this Run wrote it. An
    // emulator that fails at once is reported: started from the menu, its
    // own words would reach no one.
    auto *watch = new launch::TaskWatch(this);
    auto started = launch::startTask(launch::kScriptName, script, launch::StartupToken{m_activator->startupToken()},
                                     watch);
    if (auto *failure = std::get_if<launch::StartFailure>(&started)) {
        delete watch;
        m_errors.report(ui::ErrorNumber::FileNotFound, failure->message);
        return;
    }
    auto processes = watch->processList();
    connect(watch, &launch::TaskWatch::finished, watch, &QObject::deleteLater);
    connect(watch, &launch::TaskWatch::endedEarly, this, [this, rom = m_romName](const launch::TaskEnd &end) {
        m_errors.reportLater(earlyEndDescription(rom, end), launch::readableOutput(end.output));
    });
    m_taskId = std::get<double>(started);
    m_lastStart.reset();
    if (press) {
        // Where presses are timed as they arrive, a second press queued
        // while this Run worked arrives when it is done: the gap is counted
        // from here, so a busy machine does not split a double-click.
        Press first = *press;
        first.arrived = m_clock.elapsed();
        m_lastStart = Start{first, m_optionsLine, m_romName};
    }
    m_activator->activateTask(m_taskId, press ? press->eventTime : 0, std::move(processes));
}

void Zerivirav::Clear_Click()
{
    for (QCheckBox *box : checks())
        box->setCheckState(Qt::Unchecked);
    for (QLineEdit *field : texts())
        field->setText(QString());
}

void Zerivirav::Command1_Click()
{
    endProgram();
}

void Zerivirav::Exit_Click()
{
    endProgram();
}

template <typename Window>
static void showSingleInstance(QPointer<Window> &window, ui::ErrorReport &errors)
{
    if (!window)
        window = Window::create(errors);
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

void Zerivirav::ViewHelp_Click()
{
    showSingleInstance(m_readme, m_errors);
}

void Zerivirav::aAbout_Click()
{
    showSingleInstance(m_about, m_errors);
}

bool Zerivirav::isSecondClick(const Press &press) const
{
    if (!m_lastStart || m_lastStart->optionsLine != m_optionsLine || m_lastStart->romName != m_romName)
        return false;
    const Press &first = m_lastStart->press;
    const quint64 gap = press.eventTime > first.eventTime ? press.eventTime - first.eventTime
                                                          : quint64(press.arrived - first.arrived);
    return gap < quint64(QApplication::doubleClickInterval());
}

bool Zerivirav::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (watched == Run) {
            // The input event a click of Run may come from. It counts only
            // while it is being delivered: one that clicked nothing must not
            // lend its time to a later click that has no input event of its
            // own (a screen reader's press action).
            if (!m_clock.isValid())
                m_clock.start();
            m_press = Press{static_cast<QInputEvent *>(event)->timestamp(), m_clock.elapsed()};
            QMetaObject::invokeMethod(this, [this] { m_press.reset(); }, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Zerivirav::closeEvent(QCloseEvent *event)
{
    event->accept();
    endProgram();
}

void Zerivirav::endProgram()
{
    // Every window goes, shown or hidden; nothing is asked or saved. An
    // emulator started earlier is a separate process and keeps running.
    if (m_about)
        m_about->hide();
    if (m_readme)
        m_readme->hide();
    hide();
    QCoreApplication::exit(0);
}
