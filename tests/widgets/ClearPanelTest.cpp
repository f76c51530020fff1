// The transparent panel: what it paints, and what it lets through.
#include <gtest/gtest.h>

#include "DrawingHelpers.h"
#include "widgets/skClearPanel.h"

namespace {

TEST(ClearPanel, TransparentShowsTheParentAndOpaquePaintsBackgroundAndCaption)
{
    QWidget form;
    form.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, Qt::red);
    form.setPalette(pal);
    form.resize(100, 60);
    auto* panel = new TskCustomTransparentPanel(&form);
    panel->setGeometry(10, 10, 80, 40);
    panel->setFont(ExactFont(14));
    panel->SetCaption("Hi");
    panel->SetBevelOuter(bvNone);
    QImage shot = form.grab().toImage();
    EXPECT_TRUE(InkBox(shot, [](QRgb p) { return (p & 0xFFFFFF) != 0xFF0000; }).isNull())
        << "no bevel, no border: nothing of the panel shows";

    panel->SetBevelOuter(bvRaised);
    shot = form.grab().toImage();
    EXPECT_NE(shot.pixel(10, 10) & 0xFFFFFF, 0xFF0000u) << "the bevel";
    EXPECT_EQ(shot.pixel(50, 30) & 0xFFFFFF, 0xFF0000u) << "the parent inside";

    panel->SetTransparent(false);
    panel->SetColor(clWhite);
    shot = form.grab().toImage();
    EXPECT_EQ(shot.pixel(15, 15) & 0xFFFFFF, 0xFFFFFFu);
    QRect text = InkBox(shot.copy(12, 12, 76, 36), [](QRgb p) { return qGray(p) < 100; });
    EXPECT_FALSE(text.isNull()) << "the caption";
}

} // namespace
