// Pictures of the client's logo window, of the main window connected to a
// server on this computer (its panes also in other view styles) and of each of its menus, frames included, taken
// from the running X display. scripts/skelwick-screenshots.sh runs it under
// Xvfb with a window manager: main_shots OUTDIR PORT USER PASS FOLDER.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QPixmap>
#include <QScreen>
#include <QTreeView>
#include <QTreeWidget>
#include <cstdio>
#include <sys/stat.h>

#include "client/ui/main/LogoWindow.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/FilePaneView.h"
#include "client/ui/main/Main.h"
#include "client/ui/main/QueneInfo.h"
#include "client/ui/small/FileProperties.h"
#include "os/qt/QtLoopBridge.h"
#include "platform/dialogs/ExceptionHandler.h"
#include "tests/support/TestSupport.h"

namespace {

QString outDir;

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Save(const QRect& area, const char* name)
{
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString file = outDir + "/" + name + ".png";
    std::printf("%s %s\n", shot.save(file) ? "wrote" : "FAILED", qPrintable(file));
}

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: main_shots OUTDIR PORT USER PASS FOLDER\n");
        return 2;
    }
    outDir = argv[1];
    testsupport::TempDir dir;
    for (const char* f : {"def_setting.ini", "def_book20.dat", "def_oldquene.ini", "Logo.bmp"})
        testsupport::WriteFile(dir / f, testsupport::ReadFile(std::string(CLIENT_FILES_DIR) + "/" + f));
    const std::string program = dir.path() + "/";
    ::mkdir((program + "ico").c_str(), 0755);
    testsupport::WriteFile(program + "ico/goup.png", testsupport::ReadFile(std::string(CLIENT_FILES_DIR) + "/ico/goup.png"));

    {
        TLogoWindow logo(program);
        logo.show();
        Pump(800);
        Save(logo.frameGeometry(), "logo");
    }

    os::QtLoopBridge bridge;
    TClientSettings s;
    s.LoadFromFile(dir / "def_setting.ini", program);
    s.ShowLoginMessage = false;
    s.MoniterClipboard = false;
    s.LocalPath = CLIENT_FILES_DIR;
    s.SaveToFile(dir / "setting.ini");
    TfmMain win(program);
    win.CommandLineUrl = std::string("ftp://") + argv[3] + ":" + argv[4] + "@127.0.0.1:" + argv[2] + "/" + argv[5];
    win.move(40, 30);
    win.show();
    QElapsedTimer t;
    t.start();
    auto* lv = win.findChild<TFilePaneView*>("lvHost");
    while ((win.SessionState() != 2 || lv->Model()->rowCount() < 2) && t.elapsed() < 15000) Pump(50);
    if (win.SessionState() != 2) std::fprintf(stderr, "not connected\n");
    win.findChild<TFilePaneView*>("lvLocal")->setFocus();
    Pump(800);
    Save(win.frameGeometry(), "main-connected");
    // The panes in two other view styles.
    win.SetPaneViewStyle(true, 0);
    win.SetPaneViewStyle(false, 2);
    Pump(600);
    Save(win.frameGeometry(), "panes-icons");
    win.SetPaneViewStyle(true, 3);
    win.SetPaneViewStyle(false, 3);
    Pump(300);

    for (QAction* top : win.menuBar()->actions()) {
        QMenu* menu = top->menu();
        if (!menu) continue;
        win.menuBar()->setActiveAction(top);
        Pump(500);
        const QRect area = win.frameGeometry().united(menu->geometry());
        const std::string name = "menu-" + menu->objectName().mid(2).toLower().toStdString();
        Save(area, name.c_str());
        menu->hide();
        Pump(200);
    }
    // The panes' pop-up menus for a selected row, the local path box dropped
    // down and the properties of a local file.
    for (const bool local : {true, false}) {
        auto* pane = win.findChild<TFilePaneView*>(local ? "lvLocal" : "lvHost");
        pane->setFocus();
        int pick = -1;
        for (int i = 0; i < pane->Model()->rowCount(); ++i)
            if (win.PaneRow(local, i)->Name == (local ? "Skelwick.html" : "pub")) pick = i;
        if (pick < 0) continue;
        pane->SelectOnly(pick);
        QTreeView* view = pane->DetailsView();
        const QPoint at = view->visualRect(pane->Model()->index(pick, 0)).center();
        QContextMenuEvent ask(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &ask);
        Pump(500);
        if (QWidget* popup = QApplication::activePopupWidget()) {
            Save(win.frameGeometry().united(popup->geometry()), local ? "popup-local" : "popup-remote");
            popup->close();
            Pump(200);
        }
    }
    win.MutableSettings().CheckFreeSpace = true;
    auto* pathBox = win.findChild<QComboBox*>("cbLocal");
    pathBox->showPopup();
    Pump(500);
    Save(win.frameGeometry(), "local-path-box");
    pathBox->hidePopup();
    Pump(200);
    if (const auto info = ReadFileProperties(std::string(CLIENT_FILES_DIR) + "/Skelwick.html")) {
        TfmFileProperties properties(*info, &win);
        properties.show();
        Pump(800);
        Save(properties.frameGeometry(), "properties");
    }
    // An input box as the window asks with it, its title whole in the frame.
    QTimer::singleShot(800, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            Save(box->frameGeometry(), "input-box");
            static_cast<QDialog*>(box)->reject();
        }
    });
    win.ChangeDirectoryClick(false);
    Pump(200);
    // A run in progress: the pub folder down over four connections.
    const std::string down = dir.path() + "/downloads/";
    ::mkdir(down.c_str(), 0755);
    win.LocalPath = down;
    win.ListLocalDir(down);
    win.SetConnectionCount(4);
    std::vector<bool> pub;
    for (int i = 0; i < lv->Model()->rowCount(); ++i) pub.push_back(win.PaneRow(false, i)->Name == "pub");
    lv->SetSelectedRows(pub);
    win.QueueDownloads();
    t.restart();
    while (win.SessionState() != 5 && t.elapsed() < 5000) Pump(20);
    Pump(600);
    Save(win.frameGeometry(), "main-run");
    win.MutableSettings().ConfirmFlags.Abort = false;
    win.sbAbortClick();
    t.restart();
    while (win.SessionState() == 5 && t.elapsed() < 10000) Pump(50);
    Pump(500);
    if (!win.BrokenLists().empty()) {
        win.SelectBrokenList(int(win.BrokenLists().size()) - 1);
        auto* tv = win.findChild<QTreeWidget*>("tvQuene");
        tv->expandItem(tv->topLevelItem(tv->topLevelItemCount() - 1));
        tv->expandAll();
        Pump(300);
        Save(win.frameGeometry(), "main-broken");
        TfmQueneInfo info(win.BrokenLists().back(), &win);
        info.show();
        Pump(800);
        Save(info.frameGeometry(), "broken-details");
        info.close();
        // The question before a broken list resumes, its title whole in the frame.
        QTimer::singleShot(800, [&win] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                // Over the window: the frame the box reports may lag its title bar.
                Save(win.frameGeometry().united(box->frameGeometry()), "confirm-resume");
                box->button(QMessageBox::No)->click();
            }
        });
        win.findChild<QAction*>("miResumeBroken")->trigger();
        Pump(200);
    } else {
        std::fprintf(stderr, "the run ended before the abort\n");
    }
    win.SetSessionState(0);
    return 0;
}
