// The pane's model without a window: captions in each file case, sizes to
// the right, the remote pane's extra column, the pictures by row kind and by
// file type, and a reset that follows the pane.
#include <gtest/gtest.h>

#include <QIcon>
#include <QMimeData>
#include <QPixmap>
#include <memory>

#include "client/ui/main/FilePaneModel.h"
#include "client/ui/main/PaneIcons.h"

namespace {

QIcon Solid(Qt::GlobalColor c)
{
    QPixmap p(16, 16);
    p.fill(c);
    return QIcon(p);
}

struct Fixture {
    QIcon file = Solid(Qt::blue);
    TPaneIcons icons{Solid(Qt::red), Solid(Qt::green), file};
    TFilePane pane;
    Fixture()
    {
        pane.SetFiles({{"..", "", "", "", -1, true},
                       {"Docs", "", "24 Dec 01", "drwxr-xr-x", 0, true},
                       {"ReadMe.TXT", "1,234", "2021 Jan 05", "-rw-r--r--", 0, false},
                       {"Änderung.cpp", "7", "10:15 Feb 03", "-rw-r--r--", 0, false}});
    }
};

TEST(FilePaneModel, CaptionsFollowTheFileCaseAndTheParentRowStaysAsItIs)
{
    Fixture f;
    struct Case { int fileCase; const char* docs; const char* readme; const char* other; };
    for (const Case& c : {Case{0, "Docs", "ReadMe.TXT", "Änderung.cpp"}, Case{1, "DOCS", "README.TXT", "ÄNDERUNG.CPP"},
                          Case{2, "docs", "readme.txt", "änderung.cpp"}}) {
        TFilePaneModel model(f.pane, false, f.icons);
        model.FileCase = c.fileCase;
        model.Refresh();
        ASSERT_EQ(model.rowCount(), 4);
        EXPECT_EQ(model.index(0, 0).data().toString(), "..") << c.fileCase;
        EXPECT_EQ(model.index(1, 0).data().toString(), QString::fromUtf8(c.docs)) << c.fileCase;
        EXPECT_EQ(model.index(2, 0).data().toString(), QString::fromUtf8(c.readme)) << c.fileCase;
        EXPECT_EQ(model.index(3, 0).data().toString(), QString::fromUtf8(c.other)) << c.fileCase;
    }
}

TEST(FilePaneModel, ColumnsOfEachPaneAndSizesToTheRight)
{
    Fixture f;
    TFilePaneModel local(f.pane, false, f.icons), remote(f.pane, true, f.icons);
    EXPECT_EQ(local.columnCount(), 3);
    EXPECT_EQ(remote.columnCount(), 4);
    QStringList heads;
    for (int c = 0; c < remote.columnCount(); ++c) heads << remote.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(heads, (QStringList{"Name", "Size", "Time", "Attr"}));
    EXPECT_EQ(remote.index(2, 1).data().toString(), "1,234");
    EXPECT_EQ(remote.index(2, 2).data().toString(), "2021 Jan 05");
    EXPECT_EQ(remote.index(2, 3).data().toString(), "-rw-r--r--");
    EXPECT_EQ(remote.index(2, 1).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_FALSE(remote.index(2, 0).data(Qt::TextAlignmentRole).isValid());
    EXPECT_FALSE(local.index(2, 3).isValid());
    // Rows are selectable and dragged by name; ".." never travels.
    EXPECT_TRUE(local.flags(local.index(2, 0)) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> drag(local.mimeData({local.index(0, 0), local.index(2, 0), local.index(2, 1)}));
    EXPECT_EQ(drag->data(TFilePaneModel::MimeType), "ReadMe.TXT\n");
}

TEST(FilePaneModel, PicturesByRowKindAndFileTypeOneLookupPerExtension)
{
    UseSharedIconThemes();
    Fixture f;
    TFilePaneModel model(f.pane, true, f.icons);
    auto key = [&](int row) { return model.index(row, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(); };
    EXPECT_EQ(key(0), f.icons.Parent().cacheKey());
    EXPECT_EQ(key(1), f.icons.Folder().cacheKey());
    EXPECT_FALSE(model.index(2, 1).data(Qt::DecorationRole).isValid());

    if (!QIcon::hasThemeIcon("text-x-generic")) GTEST_SKIP() << "no shared icon theme (adwaita-icon-theme)";
    // By the name's extension in any case; a name with no type of its own
    // (none, unknown, only a leading dot) gets the plain file picture.
    struct Case { const char* name; QStringList icons; };
    for (const Case& c : {Case{"a.txt", {"text-plain", "text-x-generic"}}, Case{"B.PNG", {"image-png", "image-x-generic"}},
                          Case{"c.tar.gz", {"application-gzip", "application-x-gzip", "package-x-generic"}},
                          Case{"d.mp3", {"audio-mpeg", "audio-x-generic"}}, Case{"README", {""}},
                          Case{"x.no-such-type", {""}}, Case{".profile", {""}}}) {
        const QString name = c.name;
        if (!c.icons.contains("")) {
            EXPECT_TRUE(c.icons.contains(f.icons.FileType(name).name())) << c.name << " "
                                                                         << f.icons.FileType(name).name().toStdString();
        }
        EXPECT_EQ(f.icons.FileType(name).cacheKey() == f.file.cacheKey(), c.icons.contains("")) << c.name;
    }
    EXPECT_EQ(f.icons.FileType("upper.TXT").cacheKey(), f.icons.FileType("lower.txt").cacheKey());
    EXPECT_EQ(key(2), f.icons.FileType("x.txt").cacheKey());
}

TEST(FilePaneModel, ShowsTheRowsOfTheLastRefreshOnly)
{
    Fixture f;
    TFilePaneModel model(f.pane, false, f.icons);
    ASSERT_EQ(model.rowCount(), 4);
    // The pane shrinks before the view is told: nothing reads past its rows.
    f.pane.SetFiles({{"..", "", "", "", -1, true}});
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_FALSE(model.index(3, 0).data().isValid());
    model.Refresh();
    EXPECT_EQ(model.rowCount(), 1);
}

} // namespace
