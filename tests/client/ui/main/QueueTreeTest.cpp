// Queue marks without a screen.
#include <gtest/gtest.h>

#include "client/ui/main/BrokenList.h"
#include "client/ui/main/QueueTree.h"

TEST(QueueTree, MarksFollowTheConnectionsByExactPath)
{
    TQueueTree t;
    EXPECT_EQ(t.Add(true, "/up/x/up/a.zip"), 0);
    EXPECT_EQ(t.Add(true, "/up/a.zip"), 1);
    EXPECT_EQ(t.Add(true, "/up/a.zip"), 1); // queued twice: one node
    EXPECT_EQ(t.Add(false, "/up/a.zip"), 0);
    ASSERT_EQ(t.Download.size(), 2u);

    // The longer path holding the shorter one is left alone.
    EXPECT_EQ(t.ShowSlot(true, "/up/a.zip", 3), 1);
    EXPECT_EQ(t.Download[0].Text(), "/up/x/up/a.zip");
    EXPECT_EQ(t.Download[1].Text(), "#3/up/a.zip");
    EXPECT_EQ(t.Download[1].StateImage(), 5);
    EXPECT_EQ(t.Download[0].StateImage(), 4);

    // Connections 1 and 12 on one file keep their own marks.
    t.ShowSlot(true, "/up/x/up/a.zip", 1);
    t.ShowSlot(true, "/up/x/up/a.zip", 12);
    EXPECT_EQ(t.Download[0].Text(), "#12#1/up/x/up/a.zip");
    t.Completed(true, "/up/x/up/a.zip", 1);
    EXPECT_EQ(t.Download[0].Text(), "#12/up/x/up/a.zip");
    t.Completed(true, "/up/x/up/a.zip", 12);
    EXPECT_EQ(t.Download[0].Text(), "!!/up/x/up/a.zip");
    EXPECT_EQ(t.Download[0].StateImage(), 3);
    // Another connection takes the next part.
    t.ShowSlot(true, "/up/x/up/a.zip", 4);
    EXPECT_EQ(t.Download[0].Text(), "#4/up/x/up/a.zip");

    // Unmark takes the first carrying node, downloads first.
    bool down = false;
    TQueueNode* n = t.Unmark(3, &down);
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(down);
    EXPECT_EQ(n->Text(), "/up/a.zip");
    EXPECT_EQ(t.Unmark(3), nullptr);
    EXPECT_EQ(t.ShowSlot(true, "/nope", 2), -1);
    EXPECT_EQ(t.Completed(false, "/nope", 2), -1);
}

TEST(QueueTree, BrokenListDetailsAddUpThePartsOfAFile)
{
    TOldQuene q;
    q.Items = {{true, "/a.zip", "/l/a.zip", 1000, 200, 300, false},
               {true, "/b.txt", "/l/b.txt", 0, 0, 0, false}, // a manual download: size unknown
               {true, "/a.zip", "/l/a.zip", 1000, 700, 1000, false},
               {true, "/c.txt", "/l/c.txt", 0, 4096, 0, false}}; // the same, cut off at 4096
    const auto rows = BrokenListDetails(q);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].SizeLeft, "400");
    EXPECT_EQ(rows[0].LeftPercent, "40%");
    EXPECT_EQ(rows[1].LeftPercent, "-");
    EXPECT_EQ(rows[2].SizeLeft, "-");
    EXPECT_EQ(rows[2].LeftPercent, "-");
    EXPECT_TRUE(SameSite({"h", "21", "u", "p"}, {"h", "21", "u", "p"}));
    EXPECT_FALSE(SameSite({"h", "21", "u", "p"}, {"h", "2121", "u", "p"}));
}
