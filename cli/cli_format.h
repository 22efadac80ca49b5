#pragma once
// Text forms shared by the info and dump commands.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::cli {

// Appends decoded UTF-8 text with "\" as "\\", TAB "\t", LF "\n", CR "\r", other bytes
// below 0x20 and 0x7F as "\xhh", and every escaped undecodable byte (U+DC00 + byte) as
// "\xhh" of the byte.
void AppendEscapedText(std::string& out, std::string_view text);

// Day number (day 1 = 1 January of year 1) as YYYY-MM-DD; years before 1 get a sign.
void AppendDayNumber(std::string& out, int64_t day);
// Milliseconds since midnight as HH:MM:SS, with .mmm only when the milliseconds are not 0.
void AppendTimeOfDay(std::string& out, int64_t ms);
// Day number * 86400000 + milliseconds as date, one space, time.
void AppendTimestamp(std::string& out, double value);

}  // namespace korvane::cli
