// Shows each of the client's dialogs at its designed size on the running X
// display and saves a picture of it, window frame included, into the folder
// named by the first argument. scripts/client-dialog-shots.sh runs it under
// Xvfb with a window manager.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstdio>
#include <functional>

#include "client/engine/ClientSettings.h"
#include "client/engine/ConnBook.h"
#include "client/ui/connbook/AddCurrSite.h"
#include "client/ui/connbook/ConnectBook.h"
#include "client/ui/preference/Preference.h"
#include "client/ui/small/About.h"
#include "client/ui/small/CommFail.h"
#include "client/ui/small/CustomCommand.h"
#include "client/ui/small/EditBookmark.h"
#include "client/ui/small/EditDirectoryList.h"
#include "client/ui/small/FileExist.h"
#include "client/ui/small/ServerMessage.h"
#include "client/ui/small/ViewRawDir.h"
#include "tests/support/TestSupport.h"

namespace {

QString outDir;

void Pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Shot(QWidget* w, const char* name)
{
    w->show();
    w->raise();
    w->activateWindow();
    Pump(600); // the window manager frames and maps it
    const QRect frame = w->frameGeometry();
    QPixmap pic = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = outDir + "/" + name + ".png";
    if (!pic.save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    std::printf("%s %dx%d\n", qPrintable(path), frame.width(), frame.height());
    w->hide();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s output-folder\n", argv[0]);
        return 2;
    }
    outDir = argv[1];
    QDir().mkpath(outDir);
    testsupport::TempDir dir;

    TConnBookData book;
    book.FolderNames[0] = "Work";
    book.FolderNames[1] = "Mirrors";
    book.Sites[0] = {1, "Build server", "ftp.build.example", "21", "deploy", "secret", "Nightly uploads\r\nKeep 7 days"};
    book.Sites[1] = {1, "Docs", "docs.example", "2121", "anonymous", "guest@example.com", ""};
    book.Sites[2] = {2, "Debian mirror", "mirror.example", "21", "anonymous", "guest@example.com", ""};
    book.SaveToFile(dir / "book20.dat");
    {
        TfmConnBook d(dir.path());
        d.show();
        QTreeWidget* tree = d.findChild<QTreeWidget*>("sitetree");
        tree->expandAll();
        QTreeWidgetItem* site = tree->topLevelItem(0)->child(0);
        tree->setCurrentItem(site);
        emit tree->itemClicked(site, 0);
        d.SkipNextShow = true;
        d.hide();
        d.SkipNextShow = true;
        Shot(&d, "site-manager");
    }
    {
        TfmConnBook b(dir.path());
        TfmAddCurrSite d(&b);
        d.findChild<QLineEdit*>("Edit1")->setText("ftp.example.org");
        Shot(&d, "add-current-site");
    }
    {
        TClientSettings s;
        s.TextExtList = {"txt", "htm", "html", "pl", "cgi"};
        s.QuickConnectList = {"ftp.example.org:21:anonymous:guest@example.com", "files.example:2121:ann:pw"};
        s.RenameExtList = {{"htm", "html"}};
        s.IndexFileList = {"00index.txt", "README"};
        TfmPreference d(s);
        const char* pages[] = {"general", "anti-idle", "proxy", "socks", "multiple-thread", "ascii-extension",
                               "fonts", "quick-launch", "display", "dial-up", "transfer", "rename-ext",
                               "custom-command", "index", "sounds"};
        auto* tree = d.findChild<QTreeWidget*>("TreeView1");
        for (int i = 0; i < 15; ++i) {
            // The tree shows the node of the page, as when the user picks it.
            tree->setCurrentItem(nullptr);
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                if ((*it)->data(0, Qt::UserRole).toInt() == i) {
                    tree->setCurrentItem(*it);
                    break;
                }
            d.ShowPage(i);
            Shot(&d, (std::string("preference-") + pages[i]).c_str());
        }
    }
    {
        TfmFileExists d;
        d.SetLocalPath("/home/ann/Downloads/debian-12.iso");
        Shot(&d, "file-exists");
    }
    {
        TfmAbout d;
        Shot(&d, "about");
    }
    {
        TfmCommFail d;
        d.SetResponse("550 /pub/missing.txt: No such file or directory");
        Shot(&d, "command-failed");
    }
    {
        TfmViewRawDir d;
        d.setWindowTitle("Directory Inforamtion");
        d.SetText("drwxr-xr-x   2 ftp  ftp      4096 Jan 01  2001 pub\n"
                  "-rw-r--r--   1 ftp  ftp    123456 Aug 01  2001 README\n");
        Shot(&d, "raw-directory");
    }
    {
        TClientSettings s;
        TfmServerMessage d(s);
        d.SetText("220 Welcome to the example FTP service.\n230 Login successful.");
        Shot(&d, "server-message");
    }
    {
        std::vector<std::string> names{"List all", "Site help"}, cmds{"LIST -la", "SITE HELP"};
        TfmCustomCmd d(names, cmds);
        Shot(&d, "custom-command");
    }
    {
        std::vector<std::string> list{"Public|/pub", "Incoming|/pub/incoming"};
        TfmEditBookmark d(list);
        Shot(&d, "edit-bookmark");
    }
    {
        std::vector<std::string> list{"/home/ann/", "/srv/ftp/"};
        TfmEditDirectoryList d(list);
        Shot(&d, "edit-directory-list");
    }
    return 0;
}
