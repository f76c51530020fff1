#pragma once
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "client/engine/LvFileInfo.h"

// Sortable keys for two remote date texts "time-or-year month day": year,
// month number, two-digit day, then the time when there is one. A time stands
// for this year, or for last year when that date would lie ahead of now (ls
// shows times for the last six months only).
std::pair<std::string, std::string> ListingDateKey(std::string_view a, std::string_view b,
                                                   std::time_t now = std::time(nullptr));
std::string ListingDateKey(std::string_view text, std::time_t now = std::time(nullptr));

// Orders file rows by column (0 name, 1 size, 2 date, 3 extension): ".."
// first always, folders before files regardless of direction when
// directoryOnTop is on, rows that compare equal keep their order.
void SortFileList(std::vector<TlvFileInfo*>& rows, bool ascending, int column, bool directoryOnTop,
                  std::time_t now = std::time(nullptr));
void SortFileList(std::vector<TlvFileInfo>& rows, bool ascending, int column, bool directoryOnTop,
                  std::time_t now = std::time(nullptr));
