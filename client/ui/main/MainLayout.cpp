// The window's layout follows the font its texts are drawn in: the quick
// bar's port box, the status bar's panels and the status rows' columns are
// measured, not fixed in pixels, so they hold their texts at any program font
// and window width. Saved bounds are brought onto a screen at start.
#include "client/ui/main/Main.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStyleOptionFrame>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

#include "client/ui/main/FilePaneView.h"
#include "client/ui/main/WindowBounds.h"
#include "ui_Main.h"
#include "widgets/skStatusBar.h"

namespace {

// The width a view's item needs for text (and an icon), as its delegate lays it out.
int ItemWidth(const QTreeView* view, const QString& text, bool icon)
{
    QStyleOptionViewItem opt;
    opt.initFrom(view);
    opt.widget = view;
    opt.font = view->font();
    opt.fontMetrics = QFontMetrics(opt.font);
    opt.text = text;
    opt.features = QStyleOptionViewItem::HasDisplay;
    if (icon) {
        opt.features |= QStyleOptionViewItem::HasDecoration;
        const int side = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
        opt.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(side, side);
    }
    opt.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    return view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), view).width();
}

// The width a line edit needs to show text whole, as the edit lays it out.
int EditWidth(const QLineEdit* edit, const QString& text)
{
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
    const QMargins margins = edit->textMargins();
    // The edit keeps 2 pixels of its own each side of the text, and one for the cursor.
    const int inner = edit->fontMetrics().horizontalAdvance(text) + 2 * 2 + 1 + margins.left() + margins.right();
    return edit->style()->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(inner, edit->fontMetrics().height()), edit).width();
}

int Widest(const QFontMetrics& m, std::initializer_list<const char*> texts)
{
    int w = 0;
    for (const char* t : texts) w = std::max(w, m.horizontalAdvance(QString::fromLatin1(t)));
    return w;
}

} // namespace

void TfmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The program font reaches the children before the window hears of it.
    if (event->type() == QEvent::FontChange && FLayoutBuilt && !FDestroyed) FitLayoutToFont();
}

void TfmMain::FitLayoutToFont()
{
    // The port box shows any port whole.
    QLineEdit* port = ui->edPort;
    port->setMinimumWidth(EditWidth(port, "65535"));
    port->setMaximumWidth(EditWidth(port, "6553500"));
    // The status rows: a connection's number beside its picture, every state a row shows.
    QTreeWidget* rows = ui->lvStatus;
    rows->setColumnWidth(0, std::max(ItemWidth(rows, "00", true), rows->header()->sectionSizeHint(0)));
    QString widest;
    for (const char* t : {"Ready", "Connecting", "Connected", "ChangingDir", "Preparing", "Transfering", "Completed", "Failed"})
        if (rows->fontMetrics().horizontalAdvance(t) > rows->fontMetrics().horizontalAdvance(widest)) widest = t;
    rows->setColumnWidth(1, std::max(ItemWidth(rows, widest, false), rows->header()->sectionSizeHint(1)));
    rows->setColumnWidth(2, ItemWidth(rows, "a-file-name.ext", false));
    for (TFilePaneView* lv : {ui->lvLocal, ui->lvHost}) {
        // Wide enough for a size in the hundreds of gigabytes and for a date.
        QTreeView* view = lv->DetailsView();
        view->setColumnWidth(1, ItemWidth(view, "999,999,999,999", false));
        view->setColumnWidth(2, ItemWidth(view, "00-00-00 00:00 Mmm", false));
    }
    // The bar as high as its font needs.
    const QFontMetrics bar(ui->sbStatus->font());
    ui->sbStatus->setFixedHeight(std::max(22, bar.height() + 8));
    FitStatusPanels();
    for (const bool local : {true, false}) SizeNameColumn(local);
}

void TfmMain::FitStatusPanels()
{
    TskStatusBar* bar = ui->sbStatus;
    auto& panels = bar->Panels();
    if (panels.Count() < 6) return;
    // The panels draw in the bar's font, as the program font sets it.
    for (int i = 0; i < panels.Count(); ++i) panels.GetPanel(i)->Font().SetFont(bar->font());
    const QFontMetrics m(bar->font());
    // A panel draws its text 2 pixels inside a frame of 2 pixels a side.
    const int pad = 2 * (2 + 2) + 2;
    const int state = Widest(m, {"Ready", "Connecting", "Connected", "Changing dir", "Preparing", "Transfering"}) + pad;
    // The run's bytes and speed: as wide as a small run's at least, wider as the run grows.
    int bytes = std::max(m.horizontalAdvance("999,999 bytes/999,999 bytes(99,999 bytes/s)"),
                         m.horizontalAdvance(QString::fromStdString(panels.GetPanel(1)->Text()))) + pad;
    int spare = m.horizontalAdvance("00000") + pad;
    const int elapsed = m.horizontalAdvance("Elapsed: 00:00:00") + pad;
    const int remain = m.horizontalAdvance("Remain: 00:00:00") + pad;
    // The gauge, last, takes what the others leave; it keeps room for its
    // percentage twice over, and the size grip beside it. The spare panel
    // gives way first, then the bytes.
    const int grip = std::min(23, bar->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 1);
    const int gauge = 2 * ui->Gauge1->fontMetrics().horizontalAdvance("100%") + 2 * 2 + grip;
    if (bar->width() > 0) {
        int over = state + bytes + spare + elapsed + remain + gauge - bar->width();
        const int fromSpare = std::clamp(over, 0, spare);
        spare -= fromSpare;
        over -= fromSpare;
        if (over > 0) bytes = std::max(0, bytes - over);
    }
    const int widths[] = {state, bytes, spare, elapsed, remain};
    for (int i = 0; i < 5; ++i) panels.GetPanel(i)->SetWidth(std::to_string(widths[i]));
    panels.GetPanel(5)->SetWidth(std::to_string(gauge));
}

QRect TfmMain::SavedBoundsOnScreen() const
{
    std::vector<QRect> screens;
    for (QScreen* s : QGuiApplication::screens()) screens.push_back(s->availableGeometry());
    return OnScreenBounds(QRect(FSettings.Left, FSettings.Top, FSettings.Width, FSettings.Height), screens);
}
