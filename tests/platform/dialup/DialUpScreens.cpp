// Shows the dial-up dialog and the dial status window in the middle of a
// (simulated) dial and writes a picture of each, window frame included, into
// the folder given as the argument. Run it on an X display with a window
// manager: scripts/dialup-screenshots.sh does.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "os/qt/QtLoopBridge.h"
#include "platform/dialup/DialUP.h"
#include "tests/platform/dialup/RasSimulation.h"

namespace {

bool Save(QWidget* window, const QString& path)
{
    QRect frame = window->frameGeometry();
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return shot.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialup_screens OUTPUT-FOLDER\n");
        return 2;
    }
    QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    auto sim = std::make_unique<TRasSimulation>();
    TRasSimulation* ras = sim.get();
    TRasSimulation::TEntry entry;
    entry.Name = "ISP";
    entry.Saved.UserName = "jsmith";
    entry.Saved.Password = "secret";
    entry.Saved.Domain = "dialin";
    entry.Saved.PhoneNumber = "5550172";
    ras->Phonebook = {entry};
    SetRasService(std::move(sim));
    os::QtLoopBridge bridge;

    TRasDialer dialer;
    TDialUpOptions options;
    TfmDialUP dialog(dialer, options);
    dialer.OnDialStatus = [&](TObject*, int state) { dialog.RasDialStatus(state); };
    dialog.move(40, 40);
    dialog.show();
    dialog.Button1Click();
    ras->Notify(RASCS_ConnectDevice);

    int result = 1;
    // Time for the window manager to map and frame both windows.
    QTimer::singleShot(1500, [&] {
        bool ok = Save(&dialog, folder + "/dialup-dialog.png");
        ok = dialog.RasStatus()->Form() && Save(dialog.RasStatus()->Form(), folder + "/dial-status.png") && ok;
        result = ok ? 0 : 1;
        dialer.HangupOnDestroy = false;
        app.quit();
    });
    app.exec();
    return result;
}
