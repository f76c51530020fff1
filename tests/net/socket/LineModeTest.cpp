// Line mode: the received stream cut into lines, with echo and editing.
#include <gtest/gtest.h>

#include "tests/net/socket/SocketTestUtil.h"

using namespace sockettest;

namespace {

// A component in line mode connected to a plain socket the test writes to.
struct LinePeer {
    TAsyncSocket s;
    int peer = -1;
    std::vector<std::string> lines;
    std::vector<std::string> events;
    int readSize = 1 << 16;

    explicit LinePeer(bool lineMode = true)
    {
        int port = 0;
        int lfd = RawListen(port);
        s.SetLineMode(lineMode);
        int connected = -1;
        s.OnSessionConnected = [&](TObject*, std::uint16_t e) { connected = e; };
        s.OnDataAvailable = [this](TObject*, std::uint16_t) {
            // Read the offered line, possibly in small pieces.
            std::string line;
            for (;;) {
                std::int64_t n = s.RcvdCount();
                if (n <= 0) break;
                std::string buf(static_cast<std::size_t>(std::min<std::int64_t>(n, readSize)), '\0');
                int got = s.ReadBytes(buf.data(), static_cast<int>(buf.size()));
                if (got <= 0) break;
                line.append(buf.data(), static_cast<std::size_t>(got));
                if (!s.LineMode()) break;
            }
            if (!line.empty()) {
                lines.push_back(line);
                events.push_back("data " + line);
            }
        };
        s.OnSessionClosed = [this](TObject*, std::uint16_t) { events.push_back("closed"); };
        s.SetAddr("127.0.0.1");
        s.SetPort(std::to_string(port));
        s.Connect();
        peer = ::accept(lfd, nullptr, nullptr);
        ::close(lfd);
        EXPECT_TRUE(Pump([&] { return connected == 0; }));
        s.OnSessionConnected = nullptr;
    }
    ~LinePeer()
    {
        if (peer >= 0) ::close(peer);
    }
    // Each chunk is written on its own, with time to be read on its own.
    void Feed(const std::vector<std::string>& chunks)
    {
        for (const auto& c : chunks) {
            RawSendAll(peer, c);
            PumpFor(40);
        }
    }
};

struct LineCase {
    const char* name;
    std::vector<std::string> chunks;
    bool closeAfter;
    std::vector<std::string> lines;
    int readSize = 1 << 16;
    std::string lineEnd = "\r\n";
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineChunks : public ::testing::TestWithParam<LineCase> {};

} // namespace

TEST_P(LineChunks, DeliverLinesWithTheirEnds)
{
    const LineCase& c = GetParam();
    LinePeer p;
    p.readSize = c.readSize;
    p.s.SetLineEnd(c.lineEnd);
    p.Feed(c.chunks);
    if (c.closeAfter) {
        ::close(p.peer);
        p.peer = -1;
        ASSERT_TRUE(Pump([&] { return !p.events.empty() && p.events.back() == "closed"; }));
        // Every line, the unterminated last one too, comes before the close.
        EXPECT_EQ(p.events.size(), c.lines.size() + 1);
    } else {
        Pump([&] { return p.lines.size() >= c.lines.size(); }, 2000);
        PumpFor(30);
    }
    EXPECT_EQ(p.lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineChunks,
    ::testing::Values(LineCase{"two_lines_in_one_read", {"USER a\r\nPASS b\r\n"}, false, {"USER a\r\n", "PASS b\r\n"}},
                      LineCase{"line_end_split_over_reads", {"USER a\r", "\nPASS b\r\n"}, false,
                               {"USER a\r\n", "PASS b\r\n"}},
                      LineCase{"line_over_three_reads", {"US", "ER ", "a\r\n"}, false, {"USER a\r\n"}},
                      LineCase{"unterminated_last_line_at_close", {"NOOP\r\nQU", "IT"}, true, {"NOOP\r\n", "QUIT"}},
                      LineCase{"read_in_small_pieces", {"abcdefghij\r\nxy\r\n"}, false, {"abcdefghij\r\n", "xy\r\n"}, 3},
                      LineCase{"own_line_end", {"a\nb", "\n"}, false, {"a\n", "b\n"}, 1 << 16, "\n"},
                      LineCase{"empty_lines", {"\r\n\r\nx\r\n"}, false, {"\r\n", "\r\n", "x\r\n"}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(LineMode, EditAndEchoLikeATerminal)
{
    struct EditCase {
        std::vector<std::string> chunks;
        std::string line;
        std::string echo;
    } cases[] = {
        {{std::string("ab\bc\r\n")}, "ac\r\n", "ab\b \bc\r\n"},
        {{"abc\tx\r\n"}, "abc     x\r\n", "abc     x\r\n"},
        // A backspace erases bytes of an earlier read that formed no line yet.
        {{"ab", "\b\bz\r\n"}, "z\r\n", "ab\b \b\b \bz\r\n"},
        // Backspace on nothing echoes nothing.
        {{"\bq\r\n"}, "q\r\n", "q\r\n"},
    };
    for (const auto& c : cases) {
        LinePeer p;
        p.s.SetLineEdit(true);
        p.s.SetLineEcho(true);
        p.Feed(c.chunks);
        ASSERT_TRUE(Pump([&] { return !p.lines.empty(); })) << c.line;
        EXPECT_EQ(p.lines, std::vector<std::string>{c.line});
        timeval tv{2, 0};
        ::setsockopt(p.peer, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        EXPECT_EQ(RawRecvN(p.peer, c.echo.size()), c.echo);
    }
}

TEST(LineMode, SwitchingOffWithHalfALineBufferedDeliversItFirstFromTheLoop)
{
    LinePeer p;
    p.Feed({"CMD 1\r\nhalf"});
    ASSERT_TRUE(Pump([&] { return p.lines.size() == 1; }));
    p.s.SetLineMode(false);
    EXPECT_EQ(p.lines.size(), 1u) << "delivered inside the setter";
    EXPECT_EQ(p.s.RcvdCount(), 4);
    RawSendAll(p.peer, "-rest");
    ASSERT_TRUE(Pump([&] {
        std::string all;
        for (std::size_t i = 1; i < p.lines.size(); ++i) all += p.lines[i];
        return all == "half-rest";
    }));
    EXPECT_EQ(p.lines[1].substr(0, 4), "half");

    // And back on: bytes buffered in plain mode are not lost either.
    LinePeer q(false);
    q.s.SetLineMode(true);
    q.Feed({"one\r\ntw", "o\r\n"});
    ASSERT_TRUE(Pump([&] { return q.lines.size() == 2; }));
    EXPECT_EQ(q.lines, (std::vector<std::string>{"one\r\n", "two\r\n"}));
    EXPECT_EQ(q.s.ReadCount(), 10);
}
