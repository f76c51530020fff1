#pragma once
// Time texts of the server: the UTC time of a file for MDTM.
#include <cstdint>
#include <ctime>
#include <string>

// "YYYYMMDDHHMMSS.mmm" of a moment in UTC, every number padded, never cut.
std::string UTCTimeString(std::time_t Seconds, int Milliseconds);
// The modification time of the file at Path (inside HomeDir, reached as
// StatConfined reaches it) as UTC text. The time is taken in UTC directly,
// so a file changed under another daylight-saving rule than today's still
// shows its true time. Raises rtl::Exception with the system's message
// when the file cannot be reached.
std::string FileUTCTimeString(const std::string& Path, const std::string& HomeDir);
