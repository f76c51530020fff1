// The queue tree as the real window builds it: state images on every node,
// and each broken list with its "hostinfo", "download" and "upload" nodes,
// shown open.
#include <QTreeWidget>

#include "MainFixture.h"
#include "client/engine/OldQuene.h"

namespace {

int Image(const QTreeWidgetItem* n) { return n->data(0, Qt::UserRole).toInt(); }

TEST_F(MainFixture, QueueTreeNodesCarryTheirStateImagesAndBrokenListsShowTheirSite)
{
    TOldQuene q;
    q.DateTime = "2026-01-02 03:04:05";
    q.Host = {"example.org", "2121", "jo", "secret"};
    q.Items = {{true, "/pub/a.zip", "/tmp/a.zip", 100, 0, 50, false}, {true, "/pub/a.zip", "/tmp/a.zip", 100, 50, 100, false}};
    std::vector<TOldQuene> lists{q};
    SaveOldQuenes(dir / "oldquene.ini", lists, {});
    Open();
    auto* tree = Find<QTreeWidget>("tvQuene");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QTreeWidgetItem* current = tree->topLevelItem(0);
    EXPECT_EQ(Image(current), 1);
    EXPECT_EQ(Image(current->child(0)), 6);
    EXPECT_EQ(Image(current->child(1)), 6);

    QTreeWidgetItem* root = tree->topLevelItem(1);
    EXPECT_EQ(root->text(0), "2026-01-02 03:04:05 - Broken");
    EXPECT_EQ(Image(root), 2);
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 3);
    const struct {
        const char* text;
        int image;
        std::vector<std::string> children;
    } nodes[] = {{"hostinfo", 7, {"HostName = example.org", "HostPort = 2121", "UserName = jo"}},
                 {"download", 6, {"/pub/a.zip"}},
                 {"upload", 6, {}}};
    for (int i = 0; i < 3; ++i) {
        const QTreeWidgetItem* n = root->child(i);
        EXPECT_EQ(n->text(0).toStdString(), nodes[i].text);
        EXPECT_EQ(Image(n), nodes[i].image) << nodes[i].text;
        std::vector<std::string> texts;
        for (int j = 0; j < n->childCount(); ++j) {
            texts.push_back(n->child(j)->text(0).toStdString());
            EXPECT_EQ(Image(n->child(j)), 4);
        }
        EXPECT_EQ(texts, nodes[i].children) << nodes[i].text;
    }
}

} // namespace
