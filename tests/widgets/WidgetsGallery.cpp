// Shows the status bar with every panel style, a caption in every effect and
// the buttons, group and outlook bar in their states,
// and saves each window, frame included, as a picture:
//   widgets_gallery OUTPUT_DIR
// Run on an X display with a window manager (scripts/widget-screenshots.sh).
#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>

#include "ButtonsGallery.h"
#include "widgets/skKeyState.h"
#include "widgets/skLabel.h"
#include "widgets/skStatusBar.h"

namespace {

TskStatusPanel* AddPanel(TskStatusBar* bar, const char* width, TskStatusPanelStyle style, const char* text = "")
{
    TskStatusPanel* p = bar->Panels().Add();
    p->SetWidth(width);
    p->SetStyle(style);
    p->SetText(text);
    return p;
}

TskStatusBar* AddBar(QVBoxLayout* layout, QWidget* window, const char* title)
{
    auto* caption = new QLabel(title, window);
    layout->addWidget(caption);
    auto* bar = new TskStatusBar(window);
    bar->SetSizeGrip(false);
    layout->addWidget(bar);
    layout->addSpacing(6);
    return bar;
}

QWidget* StatusBars(QList<QPixmap>* images)
{
    auto* window = new QWidget;
    window->setWindowTitle("Status bar panels");
    auto* layout = new QVBoxLayout(window);
    auto* edit = new QPlainTextEdit("Line one\nLine two of the notes", window);
    edit->setMaximumHeight(60);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(14);
    edit->setTextCursor(cursor);
    layout->addWidget(edit);

    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    {
        QPainter p(&glyph);
        p.setBrush(QColor(0, 128, 0));
        p.setPen(Qt::black);
        p.drawEllipse(2, 2, 12, 12);
    }
    images->append(glyph);

    TskStatusBar* a = AddBar(layout, window, "Text, glyph, hosted control, caret of the edit above, hint:");
    a->SetImages(images);
    AddPanel(a, "90", psTextOnly, "Ready");
    AddPanel(a, "110", psGlyph, "Connected");
    TskStatusPanel* gauge = AddPanel(a, "150", psTextOnly, "Gauge");
    auto* progress = new QProgressBar(window);
    progress->setValue(62);
    gauge->SetMargin(1);
    gauge->SetComponent(progress);
    AddPanel(a, "110", psTextOnly)->SetComponent(edit);
    AddPanel(a, "100%", psHint);
    TskCustomStatusBar::SetApplicationHint("Hint of the control under the mouse");

    TskStatusBar* b = AddBar(layout, window, "Key states (Caps Lock and Insert on), date, time, date and time:");
    AddPanel(b, "50", psCapsLock);
    AddPanel(b, "45", psNumLock);
    AddPanel(b, "55", psScrollLock);
    AddPanel(b, "80", psOverWrite);
    AddPanel(b, "95", psDate);
    AddPanel(b, "70", psTime);
    AddPanel(b, "100%", psDateTime);

    TskStatusBar* c = AddBar(layout, window, "User name, computer name, bevels (none, raised) and a caption effect:");
    AddPanel(c, "110", psUserName);
    AddPanel(c, "160", psComputerName);
    AddPanel(c, "90", psTextOnly, "No bevel")->SetBevel(pbNone);
    AddPanel(c, "90", psTextOnly, "Raised")->SetBevel(pbRaised);
    TskStatusPanel* shadow = AddPanel(c, "100%", psTextOnly, "Shadowed, centred");
    shadow->TextOptions().SetAlignment(taCenter);
    shadow->TextOptions().Shadow().SetEnabled(true);
    shadow->TextOptions().Shadow().SetXOffset(1);
    shadow->TextOptions().Shadow().SetYOffset(1);
    shadow->TextOptions().Shadow().SetColor(clSilver);
    shadow->Font().SetColor(clNavy);

    TskStatusBar* d = AddBar(layout, window, "Simple panel, and the size grip of the window's own bar below:");
    d->SetSimplePanel(true);
    d->SetSimpleText("One simple part across the bar");

    layout->addStretch();
    auto* main = new TskStatusBar(window);
    layout->addWidget(main);
    AddPanel(main, "120", psTextOnly, "Right aligned")->TextOptions().SetAlignment(taRightJustify);
    AddPanel(main, "50%", psTextOnly, "50 %");
    AddPanel(main, "50%", psTextOnly, "50 %, before the grip");
    layout->setContentsMargins(0, 6, 0, 0);
    window->resize(860, 330);
    return window;
}

TskLabel* Caption(QGridLayout* grid, QWidget* window, int row, int column, const char* text)
{
    auto* label = new TskLabel(window);
    QFont font("DejaVu Sans");
    font.setPixelSize(24);
    font.setBold(true);
    label->setFont(font);
    label->SetAutoSize(false);
    label->setFixedSize(250, 110);
    label->SetColor(clWhite);
    label->Font().SetColor(RGBColor(20, 60, 160));
    label->TextOptions().SetAlignment(taCenter);
    label->TextOptions().SetVAlignment(vaVCenter);
    label->SetCaption(text);
    grid->addWidget(label, row, column);
    return label;
}

QWidget* Captions()
{
    auto* window = new QWidget;
    window->setWindowTitle("Caption effects");
    auto* grid = new QGridLayout(window);
    grid->setSpacing(4);
    Caption(grid, window, 0, 0, "Default");
    TskLabel* shadow = Caption(grid, window, 0, 1, "Shadow");
    shadow->TextOptions().Shadow().SetEnabled(true);
    shadow->TextOptions().Shadow().SetXOffset(4);
    shadow->TextOptions().Shadow().SetYOffset(4);
    shadow->TextOptions().Shadow().SetColor(clGray);
    TskLabel* extrude = Caption(grid, window, 0, 2, "Extrusion");
    extrude->TextOptions().ExtrudeEffects().SetEnabled(true);
    extrude->TextOptions().ExtrudeEffects().SetDepth(8);
    extrude->TextOptions().ExtrudeEffects().SetNearColor(RGBColor(120, 160, 255));
    extrude->TextOptions().ExtrudeEffects().SetFarColor(RGBColor(10, 10, 60));
    TskLabel* striated = Caption(grid, window, 1, 0, "Striated");
    striated->TextOptions().ExtrudeEffects().SetEnabled(true);
    striated->TextOptions().ExtrudeEffects().SetDepth(8);
    striated->TextOptions().ExtrudeEffects().SetStriated(true);
    striated->TextOptions().ExtrudeEffects().SetOrientation(skTopLeft);
    striated->TextOptions().ExtrudeEffects().SetNearColor(RGBColor(255, 160, 0));
    striated->TextOptions().ExtrudeEffects().SetFarColor(RGBColor(120, 40, 0));
    TskLabel* outline = Caption(grid, window, 1, 1, "Outline");
    outline->TextOptions().SetStyle(sklsOutline);
    outline->TextOptions().SetOutlineColor(RGBColor(220, 30, 30));
    outline->Font().SetColor(clWhite);
    TskLabel* lowered = Caption(grid, window, 1, 2, "Lowered");
    lowered->SetColor(clSilver);
    lowered->TextOptions().SetStyle(sklsLowered);
    lowered->TextOptions().SetHighlightColor(clWhite);
    lowered->TextOptions().SetShadeColor(clBlack);
    lowered->Font().SetColor(clSilver);
    TskLabel* raised = Caption(grid, window, 2, 0, "Raised");
    raised->SetColor(clSilver);
    raised->TextOptions().SetStyle(sklsRaised);
    raised->TextOptions().SetHighlightColor(clWhite);
    raised->TextOptions().SetShadeColor(clBlack);
    raised->Font().SetColor(clSilver);
    TskLabel* rotated = Caption(grid, window, 2, 1, "Rotated 20");
    rotated->TextOptions().SetRotation(20);
    TskLabel* disabled = Caption(grid, window, 2, 2, "Disabled");
    disabled->setEnabled(false);
    TskLabel* wrapped = Caption(grid, window, 3, 0, "Word wrap of a longer caption");
    wrapped->TextOptions().SetWordWrap(true);
    wrapped->TextOptions().SetAlignment(taLeftJustify);
    TskLabel* lines = Caption(grid, window, 3, 1, "Two\r\nlines");
    lines->TextOptions().SetAlignment(taRightJustify);
    lines->TextOptions().SetVAlignment(vaBottom);
    TskLabel* vertical = Caption(grid, window, 3, 2, "Up 90");
    vertical->TextOptions().SetRotation(90);
    vertical->TextOptions().Shadow().SetEnabled(true);
    vertical->TextOptions().Shadow().SetXOffset(3);
    vertical->TextOptions().Shadow().SetYOffset(3);
    vertical->TextOptions().Shadow().SetColor(clSilver);
    return window;
}

// The window with its frame, as the screen shows it.
bool Save(QWidget* window, const QString& path)
{
    QRect frame = window->frameGeometry();
    QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return shot.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: widgets_gallery OUTPUT_DIR\n");
        return 2;
    }
    QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    // Two lock states on, to show both looks.
    if (!KeyToggled(VK_CAPITAL))
        ToggleKey(VK_CAPITAL);
    if (KeyToggled(VK_NUMLOCK))
        ToggleKey(VK_NUMLOCK);
    if (!KeyToggled(VK_INSERT))
        ToggleKey(VK_INSERT);
    QList<QPixmap> images;
    QWidget* bars = StatusBars(&images);
    QWidget* captions = Captions();
    QWidget* buttons = ButtonsGallery();
    buttons->move(20, 20);
    bars->move(20, 20);
    captions->move(20, 20);
    bars->show();
    int rc = 0;
    // Time for the window manager to frame each window before it is taken.
    QTimer::singleShot(1500, [&] {
        rc |= !Save(bars, out + "/statusbar-panels.png");
        bars->hide();
        captions->show();
        QTimer::singleShot(1500, [&] {
            rc |= !Save(captions, out + "/caption-effects.png");
            captions->hide();
            buttons->show();
            QTimer::singleShot(1500, [&] {
                rc |= !Save(buttons, out + "/buttons-and-outlook.png");
                if (KeyToggled(VK_CAPITAL))
                    ToggleKey(VK_CAPITAL);
                app.quit();
            });
        });
    });
    app.exec();
    delete bars;
    delete captions;
    delete buttons;
    return rc;
}
