// The caption label.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "DrawingHelpers.h"
#include "widgets/skLabel.h"

namespace {

TEST(Label, AutoSizeFitsTheCaptionAndARightAlignedLabelKeepsItsRightEdge)
{
    QWidget form;
    TskLabel label(&form);
    EXPECT_EQ(label.size(), QSize(65, 17));
    label.setFont(ExactFont(20));
    label.SetCaption("one\r\nlonger line");
    QFontMetrics fm(ExactFont(20));
    EXPECT_EQ(label.height(), 2 * fm.height() + 5);
    EXPECT_EQ(label.width(), fm.horizontalAdvance("longer line"));

    label.TextOptions().SetAlignment(taRightJustify);
    label.move(300, 10);
    int right = label.x() + label.width();
    label.SetCaption("a much longer caption line");
    EXPECT_EQ(label.x() + label.width(), right);
    EXPECT_GT(label.width(), fm.horizontalAdvance("longer line"));

    label.SetAutoSize(false);
    label.resize(40, 40);
    label.SetCaption("x");
    EXPECT_EQ(label.size(), QSize(40, 40));
}

TEST(Label, TransparentDrawsNoBackgroundAndDisabledDrawsTheDisabledLook)
{
    QWidget form;
    form.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, Qt::red);
    form.setPalette(pal);
    form.resize(120, 60);
    TskLabel label(&form);
    label.setFont(ExactFont(20));
    label.SetAutoSize(false);
    label.setGeometry(0, 0, 120, 60);
    label.SetColor(clWhite);
    label.Font().SetColor(clBlack);
    label.SetCaption("Hi");
    QImage image = form.grab().toImage();
    EXPECT_EQ(image.pixel(110, 50) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_FALSE(InkBox(image, 0x000000).isNull());

    label.SetTransparent(true);
    EXPECT_TRUE(label.Transparent());
    image = form.grab().toImage();
    EXPECT_EQ(image.pixel(110, 50) & 0xFFFFFF, 0xFF0000u);

    label.TextOptions().DisabledColors().SetShadeColor(clBlue);
    label.TextOptions().DisabledColors().SetHighlightColor(clLime);
    label.setEnabled(false);
    image = form.grab().toImage();
    EXPECT_TRUE(InkBox(image, 0x000000).isNull());
    EXPECT_FALSE(InkBox(image, 0x0000FF).isNull());
    EXPECT_FALSE(InkBox(image, 0x00FF00).isNull());
}

TEST(Label, ItsAcceleratorFocusesTheFocusControl)
{
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* label = new TskLabel(&form);
    auto* other = new QLineEdit(&form);
    auto* target = new QLineEdit(&form);
    layout->addWidget(label);
    layout->addWidget(other);
    layout->addWidget(target);
    label->SetCaption("&Host name");
    label->SetFocusControl(target);
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    other->setFocus();
    QTest::keyClick(&form, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(target->hasFocus());

    // Without accelerators shown the same key does nothing.
    other->setFocus();
    label->TextOptions().SetOptions(0);
    QTest::keyClick(&form, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(other->hasFocus());
}

} // namespace
