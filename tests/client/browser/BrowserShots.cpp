// Opens both browsing windows on a pyftpdlib server with a few files, on the
// running X display, and saves a picture of each, window frame included, into
// the folder named by the first argument. scripts/browser-shots.sh runs it
// under Xvfb with a window manager.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTreeWidget>
#include <cstdio>
#include <functional>
#include <sys/stat.h>

#include "client/browser/Browser.h"
#include "client/browser/BrowserServer.h"
#include "client/browser/Remote.h"
#include "net/FtpCli.h"
#include "tests/client/browser/BrowserPeers.h"

namespace {

QString outDir;

bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done && done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return !done || done();
}

void Shot(QWidget* w, const char* name)
{
    w->raise();
    w->activateWindow();
    PumpUntil(nullptr, 800); // the window manager frames and maps it
    const QRect frame = w->frameGeometry();
    QPixmap pic = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = outDir + "/" + name + ".png";
    if (!pic.save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    std::printf("%s %dx%d\n", qPrintable(path), frame.width(), frame.height());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    outDir = argc > 1 ? argv[1] : "docs/screenshots/browser";
    QDir().mkpath(outDir);

    auto server = browsertest::StartServer("pyftpdlib");
    if (!server->error.empty()) {
        std::fprintf(stderr, "%s\n", server->error.c_str());
        return 1;
    }
    const std::string root = server->root;
    for (const char* d : {"docs", "images", "releases"}) ::mkdir((root + "/" + d).c_str(), 0755);
    testsupport::WriteFile(root + "/README.txt", std::string(2300, 'r'));
    testsupport::WriteFile(root + "/setup-2.4.tar.gz", std::string(1536000, 's'));
    testsupport::WriteFile(root + "/notes.md", "n");
    testsupport::WriteFile(root + "/releases/skelwick-1.0.zip", std::string(734003, 'z'));
    testsupport::WriteFile(root + "/releases/skelwick-1.1.zip", std::string(801112, 'z'));
    const TBrHostInfo site{"127.0.0.1", std::to_string(server->port), server->user, server->pass};

    {
        TfmBrowser form;
        form.resize(820, 560);
        form.View().SetHostName(site.HostName);
        form.View().Manager().Connect(site);
        form.show();
        auto* tree = form.findChild<QTreeWidget*>("tvFolder");
        auto* list = form.findChild<QTreeWidget*>("lvFile");
        PumpUntil([&] { return list->topLevelItemCount() == 6; }, 20000);
        QTreeWidgetItem* releases = nullptr;
        for (int i = 0; i < tree->topLevelItem(0)->childCount(); ++i)
            if (tree->topLevelItem(0)->child(i)->text(0) == "releases") releases = tree->topLevelItem(0)->child(i);
        if (releases) tree->setCurrentItem(releases);
        PumpUntil([&] { return list->topLevelItemCount() == 2; }, 20000);
        list->topLevelItem(1)->setSelected(true);
        Shot(&form, "ftp-browser");
    }
    {
        TfmBrowserServer form;
        form.resize(640, 460);
        form.Client().SetHostName(site.HostName);
        form.Client().SetPort(site.Port);
        form.Client().SetUserName(site.UserName);
        form.Client().SetPassWord(site.PassWord);
        form.Remote().Connect();
        form.show();
        auto* combo = form.findChild<QComboBox*>("ComboBox1");
        PumpUntil([&] { return combo->count() == 1; }, 20000);
        Shot(&form, "browse-server");
    }
    return 0;
}
