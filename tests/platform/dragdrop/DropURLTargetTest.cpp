#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstring>
#include <fstream>
#include <memory>

#include "platform/dragdrop/DropURLTarget.h"

namespace {

const QString kWinFormat = QStringLiteral("application/x-qt-windows-mime;value=\"%1\"");

// What a real drag delivers: enter, a move, then the drop, each as Qt sends
// it to the widget under the pointer. Returns whether the drop was taken.
bool DragAndDrop(QWidget* widget, QMimeData* data, Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction,
                 Qt::KeyboardModifiers keys = Qt::NoModifier)
{
    QPoint at = widget->rect().center();
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, keys);
    QApplication::sendEvent(widget, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, keys);
    QApplication::sendEvent(widget, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), actions, data, Qt::LeftButton, keys);
    QApplication::sendEvent(widget, &drop);
    return drop.isAccepted();
}

QByteArray FileGroupDescriptor(std::uint32_t count, const std::string& name, int size = 4 + 332)
{
    QByteArray block(size, '\0');
    for (int i = 0; i < 4 && i < size; ++i)
        block[i] = static_cast<char>(count >> (8 * i));
    for (std::size_t i = 0; i < name.size() && 76 + static_cast<int>(i) < size; ++i)
        block[76 + static_cast<int>(i)] = name[i];
    return block;
}

// The host box as the main window will have it: an editable combo box whose
// text the drop replaces, with nothing else happening.
struct HostBox : ::testing::Test {
    void SetUp() override
    {
        box.setEditable(true);
        box.setEditText("previous.example");
        box.show();
        target.SetTarget(&box);
        target.OnDrop = [this](TObject*, TShiftState, QPoint, int&) {
            ++drops;
            box.setEditText(QString::fromStdString(target.URL));
            title = target.Title;
        };
    }
    std::string Text() const { return box.currentText().toStdString(); }
    std::string File(const char* name, const std::string& content)
    {
        std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    QMimeData* Files(const std::string& path)
    {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        held.emplace_back(data);
        return data;
    }
    QMimeData* Text(const QString& text)
    {
        auto* data = new QMimeData;
        data->setText(text);
        held.emplace_back(data);
        return data;
    }

    QTemporaryDir dir;
    QComboBox box;
    TDropURLTarget target;
    int drops = 0;
    std::string title;
    std::vector<std::unique_ptr<QMimeData>> held;
};

TEST_F(HostBox, AddressesFromEveryKindOfDropLandInTheBox)
{
    std::string shortcut = File("My Site.url", "[DEFAULT]\r\nBASEURL=x\r\n[InternetShortcut]\r\nURL=ftp://files.example/pub/\r\nIconIndex=0\r\n");
    std::string upper = File("OTHER.URL", "[internetshortcut]\nurl=ftp://other.example/\n");

    struct Case {
        const char* what;
        QMimeData* data;
        const char* url;
        const char* title;
    };
    auto* uriList = new QMimeData;
    uriList->setUrls({QUrl("ftp://jo@ftp.example.org:2121/pub/"), QUrl("ftp://second.example/")});
    held.emplace_back(uriList);
    auto* named = new QMimeData;
    named->setData(kWinFormat.arg("UniformResourceLocator"), QByteArray("ftp://named.example/\0junk", 25));
    named->setData(kWinFormat.arg("FileGroupDescriptor"), FileGroupDescriptor(1, "Named Site.url"));
    held.emplace_back(named);
    auto* contents = new QMimeData; // CR LF line ends: no fixed offset finds this address
    contents->setData(kWinFormat.arg("FileContents"), "[InternetShortcut]\r\nURL=ftp://contents.example/\r\n");
    held.emplace_back(contents);

    std::vector<Case> cases = {
        {"ftp:// text", Text("  ftp://user:pw@host.example/dir/\n"), "ftp://user:pw@host.example/dir/", "ftp://user:pw@host.example/dir/"},
        {"plain host name", Text("ftp.example.net"), "ftp.example.net", "ftp.example.net"},
        {"uri-list", uriList, "ftp://jo@ftp.example.org:2121/pub/", "ftp://jo@ftp.example.org:2121/pub/"},
        {".url file", Files(shortcut), "ftp://files.example/pub/", "My Site"},
        {".URL file, any case", Files(upper), "ftp://other.example/", "OTHER"},
        {"UniformResourceLocator", named, "ftp://named.example/", "Named Site"},
        {"FileContents", contents, "ftp://contents.example/", "ftp://contents.example/"},
    };
    for (const Case& c : cases) {
        box.setEditText("previous.example");
        int before = drops;
        EXPECT_TRUE(DragAndDrop(box.lineEdit(), c.data)) << c.what;
        EXPECT_EQ(drops, before + 1) << c.what;
        EXPECT_EQ(Text(), c.url) << c.what;
        EXPECT_EQ(title, c.title) << c.what;
        EXPECT_EQ(target.URL, "") << c.what; // released after the drop
    }
}

TEST_F(HostBox, JunkChangesNothingAndFiresNothing)
{
    auto* image = new QMimeData;
    image->setData("image/png", QByteArray("\x89PNG\r\n", 6));
    held.emplace_back(image);
    auto* emptyUrl = new QMimeData;
    emptyUrl->setData(kWinFormat.arg("UniformResourceLocator"), QByteArray("\0", 1));
    held.emplace_back(emptyUrl);
    auto* noSection = new QMimeData;
    noSection->setData(kWinFormat.arg("FileContents"), "URL=ftp://no-section.example/\r\n");
    held.emplace_back(noSection);

    struct Case { const char* what; QMimeData* data; };
    std::vector<Case> cases = {
        {"several words", Text("not an address at all")},
        {"several lines", Text("ftp://a.example/\nftp://b.example/")},
        {"blank text", Text(" \t\n")},
        {"an image", image},
        {"an empty URL", emptyUrl},
        {"shortcut contents without their section", noSection},
        {"a text file", Files(File("notes.txt", "[InternetShortcut]\nURL=ftp://x.example/\n"))},
        {"a .url file without URL line", Files(File("broken.url", "[InternetShortcut]\nIconIndex=1\n[Other]\nURL=ftp://y/\n"))},
        {"a .url file with the section last", Files(File("last.url", "URL=ftp://z/\n[InternetShortcut]"))},
        {"a .url file that is not there", Files(dir.path().toStdString() + "/missing.url")},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(DragAndDrop(box.lineEdit(), c.data)) << c.what;
        EXPECT_EQ(Text(), "previous.example") << c.what;
    }
    EXPECT_EQ(drops, 0);
}

TEST_F(HostBox, LinkOnlyTargetRefusesASourceThatOffersOnlyCopy)
{
    EXPECT_FALSE(DragAndDrop(box.lineEdit(), Text("ftp://copy-only.example/"), Qt::CopyAction));
    EXPECT_EQ(Text(), "previous.example");
    EXPECT_TRUE(DragAndDrop(box.lineEdit(), Text("ftp://link.example/"), Qt::CopyAction | Qt::LinkAction));
    EXPECT_EQ(Text(), "ftp://link.example/");
}

TEST_F(HostBox, DropsOnThePlainEditAndAfterRevokeNoneAreTaken)
{
    QLineEdit edit;
    edit.show();
    target.SetTarget(&edit);
    target.OnDrop = [&](TObject*, TShiftState, QPoint, int&) { edit.setText(QString::fromStdString(target.URL)); };
    EXPECT_TRUE(DragAndDrop(&edit, Text("ftp://edit.example/")));
    EXPECT_EQ(edit.text().toStdString(), "ftp://edit.example/");
    target.RevokeTarget();
    EXPECT_TRUE(edit.acceptDrops()); // the edit's own setting is back
    edit.setText("kept");
    QDragEnterEvent enter(edit.rect().center(), Qt::LinkAction, Text("ftp://after.example/"), Qt::LeftButton, {});
    QApplication::sendEvent(&edit, &enter);
    EXPECT_EQ(edit.text().toStdString(), "kept");
}

TEST(FileGroupDescriptor, SizeAndCountAreCheckedAndOnlyUrlIsStripped)
{
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(1, "Site.url")), "Site");
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(1, "Site.URL")), "Site");
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(1, "report.html")), "report.html");
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(1, "abc")), "abc");
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(1, std::string(300, 'n'))), std::string(260, 'n'));
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(0, "Site.url")), "");
    EXPECT_EQ(FileGroupDescriptorName(FileGroupDescriptor(1, "Site.url", 100)), "");
    EXPECT_EQ(FileGroupDescriptorName(QByteArray()), "");
}

// A drop target that takes everything, to see the effect rules alone.
class TAnyTarget : public TDropTarget {
protected:
    bool ReadData(const QMimeData*) override { return true; }
    void ReleaseData() override {}
    bool AcceptsData(const QMimeData*) override { return true; }
};

TEST(DropEffect, KeysAndDragTypesChooseTheEffect)
{
    TAnyTarget target;
    const int all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    struct Case { TShiftState shift; int allowed; TDragTypes types; int effect; };
    const TDragTypes every = (1u << dtCopy) | (1u << dtMove) | (1u << dtLink);
    for (Case c : {Case{0, all, every, DROPEFFECT_COPY},
                   Case{ssShift, all, every, DROPEFFECT_MOVE},
                   Case{ssShift | ssCtrl, all, every, DROPEFFECT_LINK},
                   Case{ssCtrl, all, every, DROPEFFECT_COPY},
                   Case{ssShift | ssCtrl, DROPEFFECT_COPY, every, DROPEFFECT_COPY},
                   Case{0, DROPEFFECT_MOVE | DROPEFFECT_LINK, every, DROPEFFECT_MOVE},
                   Case{0, all, 1u << dtLink, DROPEFFECT_LINK},
                   Case{0, DROPEFFECT_COPY, 1u << dtLink, DROPEFFECT_NONE}}) {
        target.Dragtypes = c.types;
        EXPECT_EQ(target.GetDropEffect(c.shift, QPoint(0, 0), c.allowed), c.effect)
            << c.shift << " " << c.allowed << " " << c.types;
    }
    target.OnGetDropEffect = [](TObject*, TShiftState, QPoint, int& effect) { effect &= DROPEFFECT_LINK; };
    EXPECT_EQ(target.GetDropEffect(0, QPoint(0, 0), all), DROPEFFECT_LINK);
}

TEST(DropEffect, PreferredEffectComesFromTheDrag)
{
    TAnyTarget target;
    QMimeData data;
    EXPECT_EQ(target.GetPreferredEffect(&data), 0);
    data.setData(kWinFormat.arg("Preferred DropEffect"), QByteArray("\x02\0\0\0", 4));
    EXPECT_EQ(target.GetPreferredEffect(&data), DROPEFFECT_MOVE);
    data.setData(kWinFormat.arg("Preferred DropEffect"), QByteArray("\x02", 1));
    EXPECT_EQ(target.GetPreferredEffect(&data), 0);
}

TEST(DropScroll, RestingNearTheBottomEdgeScrollsLineByLine)
{
    QListWidget list;
    for (int i = 0; i < 200; ++i)
        list.addItem(QString::number(i));
    list.resize(200, 150);
    list.show();
    TAnyTarget target;
    target.SetTarget(&list);
    QMimeData data;
    data.setText("x");
    QWidget* viewport = list.viewport();
    QDragEnterEvent enter(viewport->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QScrollBar* bar = list.verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    QDragMoveEvent nearBottom(QPoint(20, viewport->height() - 2), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &nearBottom);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() >= 2; }));
    // Away from the edge the scrolling stops: its timer no longer runs.
    auto* scrolling = target.findChild<QTimer*>();
    ASSERT_NE(scrolling, nullptr);
    EXPECT_TRUE(scrolling->isActive());
    QDragMoveEvent middle(viewport->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &middle);
    EXPECT_FALSE(scrolling->isActive());
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
}

} // namespace
