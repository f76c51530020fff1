#include "client/browser/Remote.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>

#include "client/browser/LogLine.h"
#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"
#include "client/engine/FileListSort.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/ExceptionHandler.h"
#include "rtl/StrUtils.h"

namespace browser {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Type-ahead text older than this starts afresh.
constexpr auto kTypeAheadPause = std::chrono::milliseconds(1000);

} // namespace

TRemote::TRemote(QComboBox* Combo, QPlainTextEdit* Log, TFtpClient* Client, QLabel* Status, QTreeWidget* List)
    : FCombo(Combo), FList(List), FStatus(Status), FClient(Client), FLog(Log)
{
    FList->clear();
    FList->setColumnCount(4);
    FList->setHeaderLabels({"Name", "Size", "Date", "Attr"});
    FList->setColumnWidth(0, 200);
    for (int c = 1; c < 4; ++c) {
        FList->setColumnWidth(c, 100);
        FList->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    FList->header()->setSectionsClickable(true);
    FClient->OnRequestDone = [this](TObject*, TFtpRequest Rq, std::uint16_t Error) {
        Guarded([&] { RequestDone(Rq, Error); });
    };
    FClient->OnDisplay = [this](TObject*, std::string& Msg) { Display(Msg); };
    // A request the client cannot start is reported here, never thrown
    // through a handler.
    FClient->SetErrorHandler([this](TObject*, std::string& Msg) {
        FRefused = true;
        Display("<ERROR>      " + Msg);
    });
    ConnectHandler(FList->header(), &QHeaderView::sectionClicked, this, [this](int c) { ColumnClick(c); });
    ConnectHandler(FList, &QTreeWidget::itemDoubleClicked, this, [this] { ListDblClick(); });
    FList->installEventFilter(this);
}

TRemote::~TRemote()
{
    FList->removeEventFilter(this);
    FList->clear();
    FClient->OnRequestDone = nullptr;
    FClient->OnDisplay = nullptr;
    FClient->AttachStream(nullptr);
}

bool TRemote::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == FList && Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        bool handled = false;
        Guarded([&] {
            const int k = key->key();
            if (k == Qt::Key_Backspace || k == Qt::Key_Return || k == Qt::Key_Enter) {
                ListKeyPress(k == Qt::Key_Backspace ? 8 : 13, {});
                handled = true;
            } else if (!key->text().isEmpty()) {
                const QChar c = key->text().at(0);
                if (c >= '!' && c <= '}') {
                    ListKeyPress(c.unicode(), key->text());
                    handled = true;
                }
            }
        });
        if (handled) return true;
    }
    return QObject::eventFilter(Watched, Event);
}

void TRemote::Start(TCustomFtpCli::TAction Request)
{
    FRefused = false;
    (FClient->*Request)();
    // Refused at once (not connected, busy): no request-done will come.
    if (FRefused && FState != rsIdle) Fail();
}

void TRemote::Fail()
{
    FState = rsIdle;
    Dialogs().MessageBox("error", ApplicationTitle(), MB_OK);
}

void TRemote::Connect()
{
    FState = rsConnecting;
    Start(&TCustomFtpCli::StartOpen);
}

void TRemote::List()
{
    FState = rsListing;
    FStream.Clear();
    FClient->SetHostFileName("");
    FClient->AttachStream(&FStream);
    Start(&TCustomFtpCli::ChainList);
}

void TRemote::ChangeDir(const std::string& Folder)
{
    // One request at a time: a folder change while another runs would drop it.
    if (FState != rsIdle) return;
    FState = rsChangingDir;
    FClient->SetHostDirName(Folder);
    Start(&TCustomFtpCli::SendCwd);
}

void TRemote::RequestDone(TFtpRequest Request, std::uint16_t Error)
{
    if (FState == rsIdle) return;
    const bool ok = Error == 0;
    switch (FState) {
    case rsConnecting:
        if (Request == rqOpen && ok) Start(&TCustomFtpCli::SendUser);
        // 230 to USER: logged in already; a PASS now would only be refused.
        else if (Request == rqUser && ok) FClient->ReplyCode() == 230 ? List() : Start(&TCustomFtpCli::SendPass);
        else if (Request == rqPass && ok) List();
        else if (Request == rqOpen || Request == rqUser || Request == rqPass) Fail();
        break;
    case rsListing:
        if (Request == rqList && ok) {
            FClient->AttachStream(nullptr);
            FillList();
            Start(&TCustomFtpCli::SendPwd);
        } else if (Request == rqPwd && ok) {
            FState = rsIdle;
            FCurrentDir = FClient->ReplyDirectory();
            if (FCurrentDir.empty() || FCurrentDir.back() != '/') FCurrentDir += '/';
            FCombo->addItem(Q(FCurrentDir));
            FCombo->setCurrentIndex(FCombo->count() - 1);
        } else if (Request == rqList || Request == rqPwd) {
            FClient->AttachStream(nullptr);
            Fail();
        }
        break;
    case rsChangingDir:
        if (Request == rqCwd && ok) List();
        else if (Request == rqCwd) Fail();
        break;
    default: break;
    }
}

void TRemote::FillList()
{
    FRows.clear();
    FTypeAhead.clear();
    TlvFileInfo parent;
    parent.Name = "..";
    parent.ImageIndex = -1;
    parent.IsDir = true; // double click goes up like Backspace
    FRows.push_back(parent);
    std::vector<TDirAnalyze> lines;
    ParseDirListing(FStream.DataString(), lines);
    int folders = 0, files = 0;
    std::int64_t bytes = 0;
    for (const auto& d : lines) {
        TlvFileInfo row;
        row.Name = d.FileName;
        if (const auto arrow = row.Name.find("->"); arrow != std::string::npos)
            row.Name = rtl::Trim(row.Name.substr(0, arrow));
        const std::int64_t size = ListingSizeToInt64(d.Size);
        row.Size = FormatThousands(size);
        row.DateTime = d.TimeOrYear + " " + d.Month + " " + d.Day;
        row.Attr = d.Attr;
        const char first = d.Attr.empty() ? ' ' : d.Attr[0];
        row.IsDir = first == '<' || first == 'd' || first == 'l';
        row.ImageIndex = row.IsDir ? 0 : 1;
        if (row.IsDir) ++folders;
        else ++files;
        bytes += size;
        FRows.push_back(std::move(row));
    }
    SortAndShow();
    FStatus->setText(Q(std::to_string(folders) + " folder(s) " + std::to_string(files) + " file(s) " +
                       FormatThousands(bytes) + " byte(s) listed"));
}

void TRemote::SortAndShow()
{
    SortFileList(FRows, FSortDirection == 1, FSortColumn, true);
    FList->clear();
    auto* st = FList->style();
    for (const auto& r : FRows) {
        auto* item = new QTreeWidgetItem(FList, {Q(r.Name), Q(r.Size), Q(r.DateTime), Q(r.Attr)});
        for (int c = 1; c < 4; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        item->setIcon(0, st->standardIcon(r.ImageIndex < 0   ? QStyle::SP_FileDialogToParent
                                          : r.ImageIndex == 0 ? QStyle::SP_DirIcon
                                                              : QStyle::SP_FileIcon));
    }
    FList->clearSelection();
    FList->setCurrentItem(nullptr);
    if (FList->topLevelItemCount()) FList->scrollToItem(FList->topLevelItem(0));
}

void TRemote::ColumnClick(int Column)
{
    if (Column < 0 || Column > 2) return;
    if (Column == FSortColumn) {
        FSortDirection = FSortDirection == 1 ? 0 : 1;
    } else {
        FSortDirection = 1;
        FSortColumn = static_cast<std::uint8_t>(Column);
    }
    SortAndShow();
}

void TRemote::ListDblClick()
{
    auto* item = FList->currentItem();
    if (!item) return;
    const int i = FList->indexOfTopLevelItem(item);
    if (i < 0 || i >= static_cast<int>(FRows.size()) || !FRows[i].IsDir) return;
    ChangeDir(FRows[i].Name);
}

void TRemote::ListKeyPress(int Key, const QString& Text)
{
    if (Key == 8) {
        // Nothing listed (a refused login): nothing to go up from.
        if (!FRows.empty()) ChangeDir(FRows[0].Name);
        return;
    }
    if (Key == 13) {
        ListDblClick();
        return;
    }
    const auto now = Now();
    if (now - FLastKey > kTypeAheadPause) FTypeAhead.clear();
    FLastKey = now;
    FTypeAhead += Text.toStdString();
    auto* current = FList->currentItem();
    const int from = current ? FList->indexOfTopLevelItem(current) : 0;
    for (int i = std::max(from, 0); i < static_cast<int>(FRows.size()); ++i) {
        if (rtl::StartsText(FTypeAhead, FRows[i].Name)) {
            FList->clearSelection();
            auto* item = FList->topLevelItem(i);
            FList->setCurrentItem(item);
            item->setSelected(true);
            FList->scrollToItem(item);
            return;
        }
    }
}

void TRemote::Display(const std::string& Line)
{
    if (Line.rfind("! ", 0) == 0) return;
    const char* colour = "red";
    if (Line.compare(0, 8, "<STATUS>") == 0) colour = "blue";
    else if (Line.compare(0, 8, std::string(8, ' ')) == 0) colour = "green";
    const std::string shown = Line.rfind("<COMMAND>    PASS", 0) == 0 ? "<COMMAND>    PASS ********" : Line;
    AppendLogLine(FLog, shown, colour);
}

} // namespace browser
