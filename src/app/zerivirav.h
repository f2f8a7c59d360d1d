#pragma once
// The main window: file list, game info, option pages and the three commands.

#include "app/rom_list.h"
#include "options/options_line.h"
#include "options/pages.h"
#include "ui/picture.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QTabWidget;
class QWidget;

namespace desktop {
class Activator;
} // namespace desktop
namespace ui {
class ErrorReport;
class PictureButton;
} // namespace ui
namespace windows {
class About;
class Form2;
} // namespace windows

class Zerivirav final : public QMainWindow {
    Q_OBJECT
public:
    // The two start-up pictures: the default game picture and the banner.
    using StartPictures = std::pair<ui::Picture, ui::Picture>;
    static StartPictures readStartPictures();

    // What the window reads from the disk as it starts, read ahead on threads
    // of their own while the toolkit starts (see main()); a part left empty
    // is read when the window needs it. The window takes both before it can
    // be shown.
    struct ReadAhead {
        std::future<RomNames> folder;
        std::future<StartPictures> pictures;
        // Starts reading the pictures; only once the application object
        // exists (their decoders are plugins).
        void readPictures();
    };

    explicit Zerivirav(ui::ErrorReport &errors, ReadAhead ahead = {}, QWidget *parent = nullptr);
    ~Zerivirav() override;

    // False when a start-up picture could not be loaded; the window must not be shown.
    bool loaded() const { return m_loaded; }

    // The name selected in File2 as the file system spells it, empty when none.
    QByteArray selectedFileName() const;

    // Window-level values of the Run command, kept for tests and the next Run.
    const QString &optionsLine() const { return m_optionsLine; }
    double taskId() const { return m_taskId; }

    // Client area of the window in pixels at 96 dpi.
    static constexpr int kClientWidth = 9510 / 15;
    static constexpr int kClientHeight = 5370 / 15;

    // ROM selection and game info
    QLabel *Label2 = nullptr;
    QListView *File2 = nullptr;
    QLabel *label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label13 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label14 = nullptr;
    QLabel *Image2 = nullptr;
    QLabel *Image1 = nullptr;
    QWidget *Line1 = nullptr;
    QWidget *Line2 = nullptr;
    QWidget *Line3 = nullptr;
    QWidget *Line4 = nullptr;

    // Emulator options
    QLabel *Label5 = nullptr;
    QTabWidget *TabStrip1 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QCheckBox *Check1 = nullptr, *Check2 = nullptr, *Check3 = nullptr, *Check4 = nullptr,
              *Check5 = nullptr, *Check6 = nullptr, *Check7 = nullptr, *Check8 = nullptr,
              *Check9 = nullptr, *Check10 = nullptr, *Check11 = nullptr, *Check12 = nullptr,
              *Check13 = nullptr, *Check14 = nullptr, *Check15 = nullptr, *Check16 = nullptr,
              *Check17 = nullptr, *Check18 = nullptr, *Check19 = nullptr, *Check20 = nullptr;
    QLineEdit *Text1 = nullptr, *Text2 = nullptr, *Text3 = nullptr, *Text4 = nullptr,
              *Text5 = nullptr, *Text6 = nullptr;

    // Commands
    ui::PictureButton *Run = nullptr;
    ui::PictureButton *Command1 = nullptr;
    ui::PictureButton *Clear = nullptr;

    // Menu
    QMenu *File = nullptr;
    QAction *Exit = nullptr;
    QMenu *Help = nullptr;
    QAction *ViewHelp = nullptr;
    QAction *aAbout = nullptr;

public slots:
    void Form_Load();
    void File2_Click();
    void TabStrip1_Click();
    void Run_Click();
    void Clear_Click();
    void Command1_Click();
    void Exit_Click();
    void ViewHelp_Click();
    void aAbout_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls(QWidget *client);
    void createGameInfo(QWidget *client);
    void createOptions(QWidget *client);
    void createFileList(QWidget *client);
    void fillFileList(std::future<RomNames> folder);
    void createCommands(QWidget *client);
    void createMenu();
    void setFocusOrder();
    void endProgram();

    std::array<QCheckBox *, 20> checks() const;
    std::array<QLineEdit *, 6> texts() const;
    // The widget of an option control of the page table.
    QWidget *optionControl(options::OptionControl control) const;

    ui::ErrorReport &m_errors;
    RomList *m_files = nullptr;
    std::future<StartPictures> m_pictures;
    desktop::Activator *m_activator; // brings each started task's window forward
    bool m_loaded = false;

    // Values of the Run command
    QString m_optionsLine;
    QByteArray m_romName;
    QString m_scriptName;
    double m_taskId = 0;
    std::string m_firstLine;

    // A double-click on Run is one press: a second press within the
    // desktop's double-click interval, for the same ROM and options, starts
    // nothing. Presses are timed by their input events, so a busy moment
    // between two clicks changes nothing, and by the clock when they arrive
    // where the events' times do not advance (virtual keyboards send 0).
    struct Press {
        quint64 eventTime;
        qint64 arrived; // ms on m_clock
    };
    struct Start {
        Press press;
        QString optionsLine;
        QByteArray romName;
    };
    bool isSecondClick(const Press &press) const;
    QElapsedTimer m_clock;
    std::optional<Press> m_press; // the user's press that Run_Click is serving
    std::optional<Start> m_lastStart;

    QPointer<windows::About> m_about;
    QPointer<windows::Form2> m_readme;
};
