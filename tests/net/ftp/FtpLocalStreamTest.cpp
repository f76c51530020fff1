#include <gtest/gtest.h>

#include "net/FtpLocalStream.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(FtpLocalStream, ShareModesMapToFlagsAndLock)
{
    for (auto m : {ftpShareCompat, ftpShareExclusive, ftpShareDenyWrite, ftpShareDenyRead, ftpShareDenyNone})
        EXPECT_EQ(ShareModeOf(ShareFlagsOf(m)), m);
    EXPECT_EQ(ShareModeOf(0x0077), ftpShareExclusive);

    testsupport::TempDir dir;
    const std::string name = dir / "f";
    TFtpFileStream first(name, TFtpFileStream::fmOpenReadWrite, ShareFlagsOf(ftpShareExclusive));
    ASSERT_TRUE(first.Opened());
    EXPECT_FALSE(TFtpFileStream(name, TFtpFileStream::fmOpenReadWrite, ShareFlagsOf(ftpShareExclusive)).Opened());
    EXPECT_FALSE(TFtpFileStream(name, TFtpFileStream::fmOpenRead, ShareFlagsOf(ftpShareDenyWrite)).Opened());
    EXPECT_TRUE(TFtpFileStream(name, TFtpFileStream::fmOpenReadWrite, ShareFlagsOf(ftpShareDenyNone)).Opened());
}

TEST(FtpLocalStream, WritesPastFourGigabytesKeepOtherBytes)
{
    testsupport::TempDir dir;
    const std::string name = dir / "sparse";
    testsupport::WriteFile(name, "0123456789");
    TFtpFileStream s(name, TFtpFileStream::fmOpenReadWrite, ShareFlagsOf(ftpShareDenyNone));
    ASSERT_TRUE(s.Opened());
    const std::int64_t far = (std::int64_t{5} << 30) + 3;
    ASSERT_TRUE(s.Seek(2));
    ASSERT_TRUE(s.Write("ab", 2));
    ASSERT_TRUE(s.Seek(far));
    ASSERT_TRUE(s.Write("xyz", 3));
    EXPECT_EQ(s.Size(), far + 3);
    char back[3];
    ASSERT_TRUE(s.Seek(far));
    EXPECT_EQ(s.Read(back, 3), 3);
    EXPECT_EQ(std::string(back, 3), "xyz");
    ASSERT_TRUE(s.Seek(0));
    char head[10];
    EXPECT_EQ(s.Read(head, 10), 10);
    EXPECT_EQ(std::string(head, 10), "01ab456789");
}

} // namespace
