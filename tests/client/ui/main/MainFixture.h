#pragma once
// The real main window in a temporary program folder made from the files
// the build leaves beside the program, with the os/ loop driven by Qt and a
// scripted dialogs service answering every question.
#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QItemSelectionModel>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "client/engine/ClientSettings.h"
#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/FilePaneView.h"
#include "client/ui/main/Main.h"
#include "os/qt/QtLoopBridge.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

class MainFixture : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::unique_ptr<os::QtLoopBridge> bridge;
    TScriptedDialogsScope dialogs;
    std::unique_ptr<TfmMain> win;

    std::string Program() const { return dir.path() + "/"; }

    void SetUp() override
    {
        bridge = std::make_unique<os::QtLoopBridge>();
        for (const char* f : {"def_setting.ini", "def_book20.dat", "def_oldquene.ini", "Logo.bmp"})
            testsupport::WriteFile(dir / f, testsupport::ReadFile(std::string(CLIENT_FILES_DIR) + "/" + f));
    }
    void TearDown() override
    {
        win.reset();
        bridge.reset();
    }

    // Writes setting.ini from the shipped defaults with quiet test choices
    // and tweak applied, then builds the window.
    TfmMain& Open(const std::function<void(TClientSettings&)>& tweak = {})
    {
        TClientSettings s;
        s.LoadFromFile(dir / "def_setting.ini", Program());
        s.ShowLoginMessage = false;
        s.MoniterClipboard = false;
        s.AntiIdleEnable = false;
        s.ConnectionRetryTimes = 1;
        s.PasvMode = true;
        s.ConfirmFlags.TransferOver = false;
        if (tweak) tweak(s);
        s.SaveToFile(dir / "setting.ini");
        win = make ? make(Program()) : std::make_unique<TfmMain>(Program());
        win->StartProgram = [this](const std::string& p, const std::vector<std::string>& args) {
            std::vector<std::string> v{p};
            v.insert(v.end(), args.begin(), args.end());
            started.push_back(v);
            return true;
        };
        return *win;
    }
    // Builds a window of a derived class when set.
    std::function<std::unique_ptr<TfmMain>(const std::string& programDir)> make;
    // Open builds a W (one that notes what the window does), reached through as.
    template <class W>
    void BuildAs(W*& as)
    {
        make = [&as](const std::string& programDir) {
            auto w = std::make_unique<W>(programDir);
            as = w.get();
            return std::unique_ptr<TfmMain>(std::move(w));
        };
    }
    // The programs the window started, each with its arguments.
    std::vector<std::vector<std::string>> started;

    bool WaitFor(const std::function<bool()>& cond, int ms = 20000) { return QTest::qWaitFor(cond, ms); }
    // Waits until Qt has delivered every event posted before the call. The
    // window's 0 ms timers and queued calls (a box told at a run's end, the
    // start of a dropped transfer) are posted events, delivered in the order
    // they were posted: a call posted now comes after them.
    bool Drain(int ms = 20000)
    {
        auto reached = std::make_shared<bool>(false);
        QMetaObject::invokeMethod(qApp, [reached] { *reached = true; }, Qt::QueuedConnection);
        return WaitFor([reached] { return *reached; }, ms);
    }
    bool WaitState(int state, int ms = 20000)
    {
        return WaitFor([&] { return win->SessionState() == state; }, ms);
    }
    template <class T>
    T* Find(const char* name)
    {
        T* w = win->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::string PageText(int page) const
    {
        return win->LogEdit(page) ? win->LogEdit(page)->toPlainText().toStdString() : std::string();
    }

    // The panes as a person sees them: the rows shown by name, and a
    // selection made by clicking (the first name becomes the current row).
    TFilePaneView* PaneView(bool local) { return Find<TFilePaneView>(local ? "lvLocal" : "lvHost"); }
    int PaneRowCount(bool local) { return PaneView(local)->Model()->rowCount(); }
    // The row showing name, -1 for none.
    int PaneRowOf(bool local, const QString& name)
    {
        QAbstractItemModel* m = PaneView(local)->Model();
        for (int i = 0; i < m->rowCount(); ++i)
            if (m->index(i, 0).data().toString() == name) return i;
        return -1;
    }
    bool PaneShows(bool local, const QString& name) { return PaneRowOf(local, name) >= 0; }
    // The names shown, in display order.
    std::vector<std::string> PaneNames(bool local)
    {
        QAbstractItemModel* m = PaneView(local)->Model();
        std::vector<std::string> names;
        for (int i = 0; i < m->rowCount(); ++i) names.push_back(m->index(i, 0).data().toString().toStdString());
        return names;
    }
    // The names selected, in display order.
    std::vector<std::string> PaneSelectedNames(bool local)
    {
        std::vector<std::string> names;
        for (int i : PaneView(local)->SelectedRowIndexes())
            names.push_back(PaneView(local)->Model()->index(i, 0).data().toString().toStdString());
        return names;
    }
    // Connects to url as a start with it on the command line does, and waits
    // until the session is ready and the remote pane shows the row shown.
    void ConnectTo(const std::string& url, const QString& shown)
    {
        win->CommandLineUrl = url;
        win->show();
        ASSERT_TRUE(WaitFor([&] { return win->SessionState() == 2 && PaneShows(false, shown); })) << PageText(0);
    }
    // Selects the remote rows and starts their download as a person would.
    void StartDownload(const QStringList& names)
    {
        ASSERT_TRUE(SelectRows(false, names));
        TriggerDownload();
    }
    // Selects every remote row and starts their download; the run has begun.
    void StartDownloadAll()
    {
        win->SelectRows(false, false);
        TriggerDownload();
        ASSERT_NE(win->SessionState(), 2);
    }
    // Download of the remote rows selected: the pane focused, Download
    // enabled for it, then triggered.
    void TriggerDownload()
    {
        win->activateWindow();
        PaneView(false)->setFocus();
        QAction* download = Find<QAction>("miDownload");
        ASSERT_TRUE(WaitFor([&] {
            win->UpdateEnabling();
            return download->isEnabled();
        }));
        download->trigger();
    }
    // Selects exactly these rows; false when one is not shown.
    bool SelectRows(bool local, const QStringList& names)
    {
        TFilePaneView* lv = PaneView(local);
        QItemSelectionModel* sel = lv->CurrentView()->selectionModel();
        sel->clearSelection();
        int found = 0;
        for (const QString& name : names) {
            const int row = PaneRowOf(local, name);
            if (row < 0) continue;
            ++found;
            const QModelIndex i = lv->Model()->index(row, 0);
            const auto how = QItemSelectionModel::Select | QItemSelectionModel::Rows;
            if (found == 1) sel->setCurrentIndex(i, how);
            else sel->select(i, how);
        }
        return found == names.size();
    }
    // Waits until at least n connections show a position in their status
    // rows (a run carried by several connections at once).
    bool WaitBusyConnections(int n)
    {
        auto* status = Find<QTreeWidget>("lvStatus");
        return WaitFor([&] {
            int busy = 0;
            for (int i = 0; i < status->topLevelItemCount(); ++i) busy += !status->topLevelItem(i)->text(3).isEmpty();
            return busy >= n;
        });
    }
};
