#include "client/ui/main/QueneInfo.h"

#include <QHeaderView>
#include <QScreen>
#include <algorithm>

#include "client/ui/main/BrokenList.h"
#include "platform/dialogs/EventHandler.h"
#include "ui_QueneInfo.h"

TfmQueneInfo::TfmQueneInfo(const TOldQuene& queue, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfmQueneInfo>()), FQueue(queue)
{
    ui->setupUi(this);
    setWindowTitle(QString::fromStdString(queue.DateTime));
    ConnectHandler(ui->btnResume, &QPushButton::clicked, this, [this] { done(1); });
    ConnectHandler(ui->btnCancel, &QPushButton::clicked, this, [this] { done(2); });
    FormShow();
}

TfmQueneInfo::~TfmQueneInfo() = default;

void TfmQueneInfo::FormShow()
{
    auto q = [](const std::string& s) { return QString::fromStdString(s); };
    ui->lbHostName->setText(q("HostName = " + FQueue.Host.HostName));
    ui->lbHostPort->setText(q("HostPort = " + FQueue.Host.HostPort));
    ui->lbUserName->setText(q("UserName = " + FQueue.Host.UserName));
    ui->lvFileInfo->clear();
    for (const TBrokenDetailRow& r : BrokenListDetails(FQueue)) {
        auto* item = new QTreeWidgetItem(ui->lvFileInfo, {q(r.HostFileName), q(r.LocalFileName), q(r.FileSize),
                                                          q(r.SizeLeft), q(r.LeftPercent)});
        for (int c = 2; c <= 4; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int c = 0; c < 5; ++c) ui->lvFileInfo->resizeColumnToContents(c);
    // Wide enough for every column, up to the screen's width.
    const int want = ui->lvFileInfo->header()->length() + 60;
    const QScreen* screen = this->screen();
    resize(std::min(std::max(width(), want), screen ? screen->availableGeometry().width() - 40 : want), height());
}
