#pragma once
// Date, number and text helpers shared by the engine, the export framework and
// the viewer. Formatting never reads process-wide state: every call that needs
// separators or patterns takes a TFormatSettings.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Days since 30 December 1899, the fraction being the time of day.
using TDateTime = double;

// Day number of the table format (day 1 = 1 January of year 1) to TDateTime and back.
constexpr int32_t kDayNumberOf18991230 = 693594;
inline TDateTime DayNumberToDateTime(int32_t day) { return static_cast<TDateTime>(day) - kDayNumberOf18991230; }
inline TDateTime MillisecondsToTime(int32_t ms) { return ms / 86400000.0; }
// A stored time stamp (day number * 86400000 + milliseconds of the day) to
// TDateTime and back. Before 1899-12-30 the integral part of a TDateTime counts
// the days back and its fraction still runs forward through the day (-1.25 is
// 1899-12-29 06:00), so the day and the time are converted apart.
TDateTime TimestampToDateTime(double timestamp);
double DateTimeToTimestamp(TDateTime dt);

// Regional settings for number, date and currency text.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';  // 0 = none
  char TimeSeparator = ':';  // 0 = none
  std::string ShortDateFormat = "m/d/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "h:nn AMPM";
  std::string LongTimeFormat = "h:nn:ss AMPM";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string CurrencyString = "$";
  int CurrencyFormat = 0;     // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  int NegCurrFormat = 0;      // 0..15 as the classic runtime numbers them
  int CurrencyDecimals = 2;
  std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string LongMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
  std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::string LongDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
};

// Date arithmetic on TDateTime (proleptic Gregorian calendar).
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);  // throws Exception on bad input
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday .. 7 = Saturday

// The classic runtime's pattern language: d dd ddd dddd ddddd dddddd m mm mmm mmmm
// yy yyyy h hh n nn s ss z zzz t tt c am/pm a/p ampm / : "quoted" 'quoted'.
std::string FormatDateTime(const std::string& format, TDateTime dt, const TFormatSettings& fs);
std::string DateToStr(TDateTime dt, const TFormatSettings& fs);      // ShortDateFormat
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs);      // LongTimeFormat
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs);  // date, and time when not midnight
// The same, with milliseconds that are not 0 after the seconds (".zzz"): the
// texts a value leaves the program as.
std::string TimeToStrExact(TDateTime dt, const TFormatSettings& fs);
std::string DateTimeToStrExact(TDateTime dt, const TFormatSettings& fs);
// A stored time stamp by DateTimeToStrExact; outside the years 1 to 9999 (and
// beyond any calendar) as dump writes it.
std::string TimestampToStr(double timestamp, const TFormatSettings& fs);
// A time pattern with ".zzz" after its seconds (unchanged when it has none).
std::string WithMilliseconds(const std::string& pattern);
// Dates of the years 1 to 9999 follow the patterns above; any other date is
// written in the form of korvane-cli dump (AppendDayNumber, and AppendTimestamp
// when the pattern shows a time too), never with a year cut to two digits.
bool DateInPatternRange(TDateTime dt);

// Float text: general format with the given significant digits (15 by default),
// as the classic FloatToStr ("1.5", "1E20", "-0.001").
std::string FloatToStr(double v, const TFormatSettings& fs, int precision = 15);
// Fixed-point with the given decimals ("1234.50").
std::string FloatToStrFixed(double v, int decimals, const TFormatSettings& fs);
// Number with thousand separators and the given decimals ("1,234.50").
std::string FloatToStrNumber(double v, int decimals, const TFormatSettings& fs);
// Currency text with the symbol, by CurrencyFormat / NegCurrFormat. Without
// decimals: the currency decimals, more when the value has more (13.002 stays
// 13.002), so that no stored digit is lost.
std::string CurrToStrF(double v, const TFormatSettings& fs, int decimals = -1);
// The plain text of a currency value: fixed-point with at least the currency
// decimals and every further digit the value has ("13.50", "13.002"); beyond
// 18 digits either side of the point in the general format ("-1E-300").
std::string CurrToStr(double v, const TFormatSettings& fs);
// Float text in the general format with the shortest digits that read back as
// the same double ("0.30000000000000004", "1.5", "1E20").
std::string FloatToStrExact(double v, const TFormatSettings& fs);
// The classic FormatFloat pattern language: 0 # . , E+ E- ; sections, quoted text.
std::string FormatFloat(const std::string& format, double v, const TFormatSettings& fs);

// The shortest decimal digits that read back as the same double, written as
// Python's repr writes a float: "40.0", "-0.0", "0.1", "1e+16", "1.5e-05", "inf", "nan".
std::string ReprDouble(double v);

// The forms korvane-cli dump writes; every text a value leaves the program as
// uses them where no setting decides otherwise.
// Decoded UTF-8 text with "\" as "\\", TAB "\t", LF "\n", CR "\r", other bytes below
// 0x20 and 0x7F as "\xhh", and every escaped undecodable byte (U+DC00 + byte) as
// "\xhh" of the byte.
void AppendEscapedText(std::string& out, std::string_view text);
// Day number (day 1 = 1 January of year 1) as YYYY-MM-DD; years before 1 get a sign.
void AppendDayNumber(std::string& out, int64_t day);
// Milliseconds since midnight as HH:MM:SS, with .mmm only when the milliseconds are not 0.
void AppendTimeOfDay(std::string& out, int64_t ms);
// Day number * 86400000 + milliseconds as date, one space, time.
void AppendTimestamp(std::string& out, double value);
// Bytes as lower-case hex digits, two per byte.
void AppendHex(std::string& out, const void* data, size_t n);

// Case-insensitive comparisons for ASCII letters (bytes above 0x7F compare as they are).
std::string AsciiUpper(std::string s);
std::string AsciiLower(std::string s);
bool SameTextAscii(const std::string& a, const std::string& b);

// A name or value from a table made safe to quote in a message for a terminal or a
// window: a backslash is doubled, TAB becomes \t, LF \n, CR \r, other bytes below 0x20
// and 0x7F \xhh (the escapes of `korvane-cli dump`). Other bytes stay as they are.
std::string EscapeControlBytes(const std::string& s);

// The pieces of s between the separators, empty ones too ("a,,b" gives a, "", b).
std::vector<std::string> SplitText(const std::string& s, char separator);

}  // namespace korvane
