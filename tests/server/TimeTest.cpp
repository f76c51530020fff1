// UTC time texts of MDTM.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cstdlib>
#include <ctime>

#include "rtl/Exception.h"
#include "server/FtpSrvT.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(ServerTime, UTCTimeStringPadsEveryField)
{
    EXPECT_EQ(UTCTimeString(984579726, 0), "20010314142206.000");
    EXPECT_EQ(UTCTimeString(0, 7), "19700101000000.007");
}

void SetModified(const std::string& path, std::time_t t, long usec)
{
    timeval times[2] = {{t, usec}, {t, usec}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

// The file's own moment in UTC, whatever the zone's daylight-saving rule
// says today: one file in winter and one in summer, under a zone with DST.
TEST(ServerTime, FileTimeIsTrueUTCInAZoneWithDaylightSaving)
{
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "winter", "w");
    testsupport::WriteFile(dir / "summer", "s");
    SetModified(dir / "winter", 1705320000, 250000); // 2024-01-15 12:00:00.250 UTC
    SetModified(dir / "summer", 1721044800, 0);      // 2024-07-15 12:00:00 UTC
    EXPECT_EQ(FileUTCTimeString(dir / "winter", dir.path()), "20240115120000.250");
    EXPECT_EQ(FileUTCTimeString(dir / "summer", dir.path()), "20240715120000.000");
    EXPECT_THROW(FileUTCTimeString(dir / "missing", dir.path()), rtl::Exception);
}

} // namespace
