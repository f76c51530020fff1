#pragma once
// Turns a LIST reply into the browser's entries: dates as yyyy-mm-dd, sizes
// as numbers. Pure text work: it runs on the worker thread and never touches
// a local file, so no remote name ever becomes a local path.
#include <string>
#include <string_view>
#include <vector>

#include "client/browser/BrTypes.h"

class TExtractHostDir {
public:
    // Year stands in for listings that show a time instead of a year; the
    // default is this year of the calendar, whatever the locale.
    explicit TExtractHostDir(std::string CurrentYear = {});

    // Appends one entry per entry of the reply; an empty text adds nothing.
    void Parse(std::string_view Text, std::vector<TFileItem>& List) const;

    const std::string& CurrentYear() const { return FCurrentYear; }

private:
    std::string FCurrentYear;
};
