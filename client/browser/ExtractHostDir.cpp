#include "client/browser/ExtractHostDir.h"

#include <ctime>

#include "client/engine/CommFunc.h"
#include "client/engine/DirListing.h"

namespace {

std::string ThisYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return std::to_string(tm.tm_year + 1900);
}

std::string TwoDigitDay(const std::string& Day) { return Day.size() == 1 ? "0" + Day : Day; }

// "Jan".."Dec" to "01".."12", exactly; anything else empty.
std::string MonthNumber(const std::string& Month)
{
    static const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (Month == names[i]) return PadTwoDigits(i + 1);
    return {};
}

// mm-dd-yy (also with "/" or ".") to yyyy-mm-dd; yy above 49 is 19yy.
std::string DosDate(const std::string& Token)
{
    if (Token.size() < 8) return Token;
    const std::string mm = Token.substr(0, 2), dd = Token.substr(3, 2), yy = Token.substr(6);
    if (yy.size() == 4) return yy + "-" + mm + "-" + dd;
    return (yy[0] > '4' ? "19" : "20") + yy.substr(0, 2) + "-" + mm + "-" + dd;
}

} // namespace

std::string EntryName(const std::string& Name)
{
    const auto arrow = Name.find(" -> ");
    return arrow == std::string::npos ? Name : Name.substr(0, arrow);
}

TExtractHostDir::TExtractHostDir(std::string CurrentYear)
    : FCurrentYear(CurrentYear.empty() ? ThisYear() : std::move(CurrentYear))
{
}

void TExtractHostDir::Parse(std::string_view Text, std::vector<TFileItem>& List) const
{
    std::vector<TDirAnalyze> lines;
    ParseDirListing(Text, lines);
    for (const auto& d : lines) {
        TFileItem item;
        item.Name = d.FileName;
        item.Size = ListingSizeToInt64(d.Size);
        item.Attr = d.Attr;
        if (!d.Attr.empty() && (d.Attr[0] == '<' || d.Attr[0] == ' ')) {
            // A DOS line: the parser keeps the date token in Month and the
            // time, already in 24 hours, in TimeOrYear.
            item.IsFolder = d.Attr == "<DIR>";
            item.Date = DosDate(d.Month);
            item.Time = d.TimeOrYear;
        } else {
            item.IsFolder = d.Attr[0] == 'd' || d.Attr[0] == 'l';
            const std::string month = MonthNumber(d.Month), day = TwoDigitDay(d.Day);
            if (d.TimeOrYear.find(':') != std::string::npos) {
                item.Date = FCurrentYear + "-" + month + "-" + day;
                item.Time = d.TimeOrYear;
            } else {
                item.Date = d.TimeOrYear + "-" + month + "-" + day;
            }
        }
        item.Icon = item.IsFolder ? 0 : 1;
        List.push_back(std::move(item));
    }
}
