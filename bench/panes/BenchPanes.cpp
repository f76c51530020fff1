// A folder of 10,000 entries in the file panes (offscreen unless a display
// is asked for): the local folder listed from disk, a remote listing parsed
// by the engine, each shown through the pane's model in a laid-out view;
// then a sort by each column and each view style. Prints the median of
// several rounds in milliseconds, and the same rows put in a tree widget
// item by item, as the panes once were, for comparison.
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QListView>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "client/engine/DirListing.h"
#include "client/ui/main/FilePane.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/FilePaneView.h"
#include "client/ui/main/LocalPane.h"
#include "client/ui/main/PaneIcons.h"
#include "client/ui/main/RemotePane.h"
#include "platform/dialogs/ExceptionHandler.h"
#include "tests/support/TestSupport.h"

namespace {

const char* const kExtensions[] = {"txt", "zip", "png", "pdf", "cpp", "mp3", "tar.gz", "bin", "iso", "html"};

// Runs step `rounds` times and gives the median in ms.
double Median(int rounds, const std::function<void()>& step)
{
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// Lays the view out and paints it, as the next pass of the event loop would.
void Settle(QWidget* top)
{
    QApplication::processEvents();
    top->repaint();
}

std::string UnixListing(int entries)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string text;
    for (int i = 0; i < entries; ++i) {
        const bool dir = i % 10 == 0;
        char line[200];
        std::snprintf(line, sizeof line, "%s 1 owner group %10d %s %2d %s %s%05d%s%s\r\n",
                      dir ? "drwxr-xr-x" : "-rw-r--r--", dir ? 4096 : (i * 7919) % 5000000, months[i % 12],
                      1 + i % 28, i % 3 ? "2021" : "12:34", dir ? "folder" : "file", i, dir ? "" : ".",
                      dir ? "" : kExtensions[i % 10]);
        text += line;
    }
    return text;
}

// The old way: one tree widget item per row, made anew on every change.
void OldFill(QTreeWidget* lv, const TFilePane& pane, const QIcon& dirIcon, const QIcon& fileIcon)
{
    lv->setUpdatesEnabled(false);
    lv->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(pane.RowCount());
    for (int i = 0; i < pane.RowCount(); ++i) {
        const TlvFileInfo& r = pane.Row(i);
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(r.Name), QString::fromStdString(r.Size),
                                                     QString::fromStdString(r.DateTime), QString::fromStdString(r.Attr)});
        item->setData(0, Qt::UserRole, r.IsDir);
        item->setData(0, Qt::UserRole + 1, i);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setIcon(0, r.IsDir ? dirIcon : fileIcon);
        items.push_back(item);
    }
    lv->addTopLevelItems(items);
    lv->setUpdatesEnabled(true);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;

    testsupport::TempDir dir;
    for (int i = 0; i < entries; ++i) {
        const std::string name = i % 10 == 0 ? "folder" + std::to_string(i)
                                             : "file" + std::to_string(i) + "." + kExtensions[i % 10];
        if (i % 10 == 0) ::mkdir((dir / name).c_str(), 0755);
        else testsupport::WriteFile(dir / name, std::string(std::size_t(i % 97), 'x'));
    }
    const std::string listing = UnixListing(entries);

    UseSharedIconThemes();
    QStyle* style = app.style();
    TPaneIcons icons(style->standardIcon(QStyle::SP_FileDialogToParent), style->standardIcon(QStyle::SP_DirIcon),
                     style->standardIcon(QStyle::SP_FileIcon));
    TFilePane local, remote;
    TFilePaneModel localModel(local, false, icons), remoteModel(remote, true, icons);
    QWidget top;
    top.resize(900, 600);
    TFilePaneView localView(&top), remoteView(&top);
    localView.setObjectName("lvLocal");
    remoteView.setObjectName("lvHost");
    localView.setGeometry(0, 0, 450, 600);
    remoteView.setGeometry(450, 0, 450, 600);
    localView.SetModel(&localModel);
    remoteView.SetModel(&remoteModel);
    top.show();
    Settle(&top);

    std::printf("file panes, %d entries, median of %d rounds (ms)\n", entries, rounds);
    std::vector<TlvFileInfo> localRows;
    const double list = Median(rounds, [&] { localRows = ListLocalEntries(dir.path(), false); });
    const double localRowsMs = Median(rounds, [&] { local.SetFiles(localRows); });
    const double localShow = Median(rounds, [&] {
        localModel.Refresh();
        Settle(&top);
    });
    const double localAll = Median(rounds, [&] {
        local.SetFiles(ListLocalEntries(dir.path(), false));
        localModel.Refresh();
        Settle(&top);
    });
    std::printf("  local:  list %.1f  rows %.1f  model reset + view %.1f  = whole step %.1f\n", list, localRowsMs,
                localShow, localAll);

    std::vector<TDirAnalyze> parsed;
    const double parse = Median(rounds, [&] {
        parsed.clear();
        ParseDirListing(listing, parsed);
    });
    const double remoteRowsMs = Median(rounds, [&] { remote.SetFiles(RemoteEntries(parsed, true, false)); });
    const double remoteShow = Median(rounds, [&] {
        remoteModel.Refresh();
        Settle(&top);
    });
    const double remoteAll = Median(rounds, [&] {
        parsed.clear();
        ParseDirListing(listing, parsed);
        remote.SetFiles(RemoteEntries(parsed, true, false));
        remoteModel.Refresh();
        Settle(&top);
    });
    std::printf("  remote: parse %.1f  rows %.1f  model reset + view %.1f  = whole step %.1f\n", parse, remoteRowsMs,
                remoteShow, remoteAll);

    std::printf("  sort (remote pane, pane + reset + view):");
    for (int column = 0; column < 4; ++column) {
        static const char* const names[] = {"name", "size", "time", "extension"};
        std::printf("  %s %.1f", names[column], Median(rounds, [&] {
                        remote.Sort(column);
                        remoteModel.Refresh();
                        Settle(&top);
                    }));
    }
    std::printf("\n  view styles (switch + reset + view):");
    for (int s : {0, 1, 2, 3}) {
        static const char* const names[] = {"large icons", "small icons", "list", "details"};
        remoteView.SetViewStyle(s);
        Settle(&top);
        std::printf("  %s %.1f", names[s], Median(rounds, [&] {
                        remoteView.SetViewStyle(s);
                        remoteModel.Refresh();
                        Settle(&top);
                    }));
    }
    std::vector<bool> all(std::size_t(remote.RowCount()), true);
    const double selectAll = Median(rounds, [&] {
        remoteView.SetSelectedRows(all);
        Settle(&top);
    });
    std::printf("\n  select all %.1f\n", selectAll);

    // For comparison: the same remote rows put in a tree widget item by item.
    QTreeWidget old(&top);
    old.setColumnCount(4);
    old.setUniformRowHeights(true);
    old.setRootIsDecorated(false);
    old.setGeometry(450, 0, 450, 600);
    remoteView.hide();
    old.show();
    const QIcon dirIcon = style->standardIcon(QStyle::SP_DirIcon), fileIcon = style->standardIcon(QStyle::SP_FileIcon);
    const double oldFill = Median(rounds, [&] {
        OldFill(&old, remote, dirIcon, fileIcon);
        Settle(&top);
    });
    std::printf("  old tree widget fill (remote rows + view): %.1f\n", oldFill);
    return 0;
}
