// The log pages, one per connection, and the status rows beside them.
#include "client/ui/main/Main.h"

#include <QPlainTextEdit>
#include <QScrollBar>

#include "client/ui/main/MainCommon.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_Main.h"

using namespace mainwin;

namespace {

QColor LogColour(TLogColor c)
{
    switch (c) {
    case TLogColor::Blue: return QColor(0, 0, 255);
    case TLogColor::Green: return QColor(0, 128, 0);
    default: return QColor(255, 0, 0);
    }
}

} // namespace

QPlainTextEdit* TfmMain::LogEdit(int connection) const
{
    return connection >= 0 && connection < int(LogEdits.size()) ? LogEdits[std::size_t(connection)] : nullptr;
}

int TfmMain::LogPageCount() const { return ui->pcDisplay->count(); }

void TfmMain::BuildLogPages()
{
    while (ui->pcDisplay->count() > 0) {
        QWidget* page = ui->pcDisplay->widget(0);
        ui->pcDisplay->removeTab(0);
        delete page;
    }
    LogEdits.fill(nullptr);
    ResizeLogPages(0, FSettings.FtpCliNum);
}

void TfmMain::ResizeLogPages(int oldCount, int newCount)
{
    for (int i = oldCount - 1; i >= newCount; --i) {
        if (i < ui->pcDisplay->count()) {
            QWidget* page = ui->pcDisplay->widget(i);
            ui->pcDisplay->removeTab(i);
            delete page;
        }
        delete ui->lvStatus->takeTopLevelItem(i);
        LogEdits[std::size_t(i)] = nullptr;
    }
    for (int i = oldCount; i < newCount; ++i) {
        auto* edit = new QPlainTextEdit;
        edit->setObjectName(Q("LogEdit" + std::to_string(i)));
        edit->setReadOnly(true);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        edit->setUndoRedoEnabled(false);
        connect(edit, &QWidget::customContextMenuRequested, this,
                EventHandler([this, edit](const QPoint& p) { pmRichEdit->exec(edit->mapToGlobal(p)); }));
        if (FSettings.RichEditFont) edit->setFont(QFont(Q(FSettings.RichEditFontInfo.Name), FSettings.RichEditFontInfo.Size));
        else edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        if (FSettings.UseSkin != 0 && oldCount == 0) {
            const auto c = FSettings.SkinColor; // stored as 0x00BBGGRR
            QPalette pal = edit->palette();
            pal.setColor(QPalette::Base, QColor(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff)));
            edit->setPalette(pal);
        }
        LogEdits[std::size_t(i)] = edit;
        ui->pcDisplay->addTab(edit, Q(std::to_string(i)));
        if (ui->lvStatus->topLevelItemCount() <= i && oldCount > 0) {
            auto* row = new QTreeWidgetItem(ui->lvStatus, {Q(std::to_string(i)), "Ready", "", ""});
            row->setIcon(0, RowIcon(0));
        }
    }
}

void TfmMain::BuildStatusRows()
{
    ui->lvStatus->clear();
    for (int i = 0; i < FSettings.FtpCliNum; ++i) {
        auto* row = new QTreeWidgetItem(ui->lvStatus, {Q(std::to_string(i)), "Ready", "", ""});
        row->setIcon(0, RowIcon(0));
    }
}

void TfmMain::ClearAllLogs()
{
    for (QPlainTextEdit* e : LogEdits)
        if (e) e->clear();
}

void TfmMain::ClientDisplay(TObject* Sender, std::string& Msg)
{
    DisplayLine(static_cast<TCustomFtpCli*>(Sender)->Tag(), Msg);
}

void TfmMain::DisplayLine(int connection, std::string line)
{
    if (line.empty() || IsTraceLine(line)) return;
    QPlainTextEdit* edit = LogEdit(connection);
    if (!edit) return;
    line = MaskLogLine(line);
    QScrollBar* bar = edit->verticalScrollBar();
    const int keep = bar->value();
    QTextCursor c(edit->document());
    c.movePosition(QTextCursor::End);
    if (!edit->document()->isEmpty()) c.insertBlock();
    QTextCharFormat f;
    f.setForeground(LogColour(LogLineColor(line)));
    c.insertText(Q(line), f);
    // The user reading a focused page keeps his place. The others follow
    // the last line once per pass of the loop, not once per line: a busy
    // transfer writes thousands.
    if (ui->pcDisplay->currentWidget() == edit && !edit->hasFocus()) {
        if (!FScrollPending) {
            FScrollPending = true;
            Later([this] {
                FScrollPending = false;
                auto* current = qobject_cast<QPlainTextEdit*>(ui->pcDisplay->currentWidget());
                if (current && !current->hasFocus())
                    current->verticalScrollBar()->setValue(current->verticalScrollBar()->maximum());
            });
        }
    } else {
        bar->setValue(keep);
    }
    if (FSettings.SaveLogToFile && !FSettings.LogFileName.empty()) {
        const bool firstFailure = !FLogFile.Failed();
        if (!FLogFile.Append(FSettings.LogFileName, line, NowText()) && firstFailure) {
            QTextCursor e(edit->document());
            e.movePosition(QTextCursor::End);
            e.insertBlock();
            QTextCharFormat ef;
            ef.setForeground(LogColour(TLogColor::Red));
            e.insertText(Q("<ERROR>      The log file " + FSettings.LogFileName + " cannot be written."), ef);
        }
    }
}

void TfmMain::LogCommand(std::function<void(QPlainTextEdit*)> action, bool focusHost)
{
    auto* edit = qobject_cast<QPlainTextEdit*>(ui->pcDisplay->currentWidget());
    if (!edit) return;
    action(edit);
    if (focusHost) ui->cbHostName->setFocus();
}
