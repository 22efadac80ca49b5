// Date arithmetic, date and time patterns and number text under explicit settings.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "engine/dataset.h"
#include "engine/sysutils.h"

namespace korvane {
namespace {

std::string Ymd(TDateTime dt) {
  int y, m, d;
  DecodeDate(dt, y, m, d);
  return std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d);
}

TEST(SysDates, DayNumbersAtTheEdgesOfTheCalendar) {
  // Day 1 is 1 January of year 1; 1899-12-30 is the origin of TDateTime.
  EXPECT_EQ(DayNumberToDateTime(693594), 0.0);
  EXPECT_EQ(Ymd(DayNumberToDateTime(1)), "1-1-1");
  EXPECT_EQ(Ymd(DayNumberToDateTime(730120)), "2000-1-1");
  EXPECT_EQ(DayNumberToDateTime(3652059), 2958465.0);  // 9999-12-31
  EXPECT_EQ(Ymd(DayNumberToDateTime(3652059)), "9999-12-31");
  EXPECT_EQ(Ymd(DayNumberToDateTime(3652060)), "10000-1-1");
  // Day 0 and before run on into the proleptic year 0 and negative years.
  EXPECT_EQ(Ymd(DayNumberToDateTime(0)), "0-12-31");
  EXPECT_EQ(Ymd(DayNumberToDateTime(-1)), "0-12-30");
  // The whole range of a stored day number converts without overflow.
  EXPECT_EQ(Ymd(DayNumberToDateTime(INT32_MAX)), "5879611-7-11");
  EXPECT_EQ(Ymd(DayNumberToDateTime(INT32_MIN)), "-5879610-6-22");
  EXPECT_EQ(Ymd(DayNumberToDateTime(INT32_MIN + 1)), "-5879610-6-23");

  // 0001-01-01 was a Monday, 2000-01-01 a Saturday (1 = Sunday).
  EXPECT_EQ(DayOfWeek(DayNumberToDateTime(1)), 2);
  EXPECT_EQ(DayOfWeek(DayNumberToDateTime(730120)), 7);
  EXPECT_EQ(DayOfWeek(DayNumberToDateTime(INT32_MAX)), 2);
  EXPECT_EQ(DayOfWeek(DayNumberToDateTime(INT32_MIN)), 6);

  TFormatSettings fs;
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", DayNumberToDateTime(1), fs), "0001-01-01");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", DayNumberToDateTime(INT32_MAX), fs), "5879611-07-11");
  EXPECT_EQ(FormatDateTime("yy", DayNumberToDateTime(730120), fs), "00");
  // Non-finite and absurd values never crash nor overflow.
  EXPECT_NO_THROW(FormatDateTime("c", std::numeric_limits<double>::quiet_NaN(), fs));
  EXPECT_NO_THROW(FormatDateTime("c", 1e300, fs));
  EXPECT_NO_THROW(FormatDateTime("c", -1e300, fs));
}

TEST(SysDates, EncodeAndDecodeRoundTrip) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), DayNumberToDateTime(1));
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeDate(2000, 2, 29), DayNumberToDateTime(730120 + 59));
  TDateTime out = 0;
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, out));  // not a leap year
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, out));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, out));
  EXPECT_FALSE(TryEncodeDate(2000, 13, 1, out));
  EXPECT_THROW(EncodeDate(2001, 2, 29), Exception);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), Exception);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), Exception);

  int h, n, s, ms;
  DecodeTime(MillisecondsToTime(86399999), h, n, s, ms);
  EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 235959999);
  // Before 1899-12-30 the fraction is still the time of day: -1.25 is 1899-12-29 06:00.
  EXPECT_EQ(Ymd(-1.25), "1899-12-29");
  DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(n, 0);
}

TEST(SysDates, PatternsOfTheFormatLanguage) {
  TFormatSettings fs;
  const TDateTime dt = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
  EXPECT_EQ(FormatDateTime("d/m/yy", dt, fs), "5/3/24");
  EXPECT_EQ(FormatDateTime("dd.mm.yyyy", dt, fs), "05.03.2024");
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", dt, fs), "Tue Tuesday Mar March");
  EXPECT_EQ(FormatDateTime("h:n:s", dt, fs), "14:7:9");
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", dt, fs), "14:07:09.045");
  EXPECT_EQ(FormatDateTime("hh:mm", dt, fs), "14:07");  // m after h is the minute
  const TDateTime ms5 = EncodeTime(0, 0, 0, 5);
  EXPECT_EQ(FormatDateTime("z", ms5, fs), "5");
  EXPECT_EQ(FormatDateTime("zz", ms5, fs), "5");
  EXPECT_EQ(FormatDateTime("zzz", ms5, fs), "005");
  EXPECT_EQ(FormatDateTime("zzzz", ms5, fs), "005");
  EXPECT_EQ(FormatDateTime("h:nn am/pm", dt, fs), "2:07 pm");
  EXPECT_EQ(FormatDateTime("h:nn A/P", dt, fs), "2:07 P");
  EXPECT_EQ(FormatDateTime("hh AMPM", EncodeTime(0, 30, 0, 0), fs), "12 AM");
  EXPECT_EQ(FormatDateTime("\"Day\" d 'of' m", dt, fs), "Day 5 of 3");
  EXPECT_EQ(FormatDateTime("ddddd", dt, fs), "3/5/2024");
  EXPECT_EQ(FormatDateTime("dddddd", dt, fs), "Tuesday, March 5, 2024");
  EXPECT_EQ(FormatDateTime("t", dt, fs), "2:07 PM");
  EXPECT_EQ(FormatDateTime("tt", dt, fs), "2:07:09 PM");
  EXPECT_EQ(FormatDateTime("c", dt, fs), "3/5/2024 2:07:09 PM");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2024, 3, 5), fs), "3/5/2024");  // midnight: date only

  // Separators come from the settings, never from the process locale.
  TFormatSettings de;
  de.DateSeparator = '.';
  de.TimeSeparator = '-';
  de.ShortDateFormat = "dd/mm/yyyy";
  de.LongTimeFormat = "hh:nn:ss";
  EXPECT_EQ(DateToStr(dt, de), "05.03.2024");
  EXPECT_EQ(TimeToStr(dt, de), "14-07-09");
  EXPECT_EQ(DateTimeToStr(dt, de), "05.03.2024 14-07-09");
  de.DateSeparator = 0;
  EXPECT_EQ(DateToStr(dt, de), "05032024");
}

TEST(SysNumbers, FloatTextInGeneralAndFixedForms) {
  TFormatSettings fs;
  EXPECT_EQ(FloatToStr(1.5, fs), "1.5");
  EXPECT_EQ(FloatToStr(-40.0, fs), "-40");
  EXPECT_EQ(FloatToStr(0.1 + 0.2, fs), "0.3");
  EXPECT_EQ(FloatToStr(0.0001, fs), "0.0001");
  EXPECT_EQ(FloatToStr(0.00001, fs), "1E-5");
  EXPECT_EQ(FloatToStr(1e20, fs), "1E20");
  EXPECT_EQ(FloatToStr(999999999999999.0, fs), "999999999999999");
  EXPECT_EQ(FloatToStr(123456789012345678.0, fs), "1.23456789012346E17");
  EXPECT_EQ(FloatToStr(-0.0, fs), "0");
  EXPECT_EQ(FloatToStr(5e-324, fs), "4.94065645841247E-324");
  EXPECT_EQ(FloatToStr(1.0 / 3, fs, 4), "0.3333");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity(), fs), "INF");
  EXPECT_EQ(FloatToStr(std::nan(""), fs), "NAN");

  EXPECT_EQ(FloatToStrFixed(2.675, 2, fs), "2.68");
  EXPECT_EQ(FloatToStrFixed(-0.004, 2, fs), "0.00");
  EXPECT_EQ(FloatToStrFixed(12.5, 0, fs), "13");
  EXPECT_EQ(FloatToStrNumber(1234567.891, 2, fs), "1,234,567.89");
  EXPECT_EQ(CurrToStrF(1234.5, fs), "$1,234.50");
  EXPECT_EQ(CurrToStrF(-1234.5, fs), "($1,234.50)");

  TFormatSettings de;
  de.DecimalSeparator = ',';
  de.ThousandSeparator = '.';
  de.CurrencyString = "EUR";
  de.CurrencyFormat = 3;
  de.NegCurrFormat = 8;
  EXPECT_EQ(FloatToStr(-1.25, de), "-1,25");
  EXPECT_EQ(FloatToStr(1.5e-7, de), "1,5E-7");
  EXPECT_EQ(FloatToStrNumber(1234.5, 1, de), "1.234,5");
  EXPECT_EQ(CurrToStrF(1234.5, de), "1.234,50 EUR");
  EXPECT_EQ(CurrToStrF(-2, de), "-2,00 EUR");
}

TEST(SysNumbers, FormatFloatPatterns) {
  TFormatSettings fs;
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891, fs), "1,234,567.89");
  EXPECT_EQ(FormatFloat("#,##0.00", 0.5, fs), "0.50");
  EXPECT_EQ(FormatFloat("#,##0", 1234567, fs), "1,234,567");
  EXPECT_EQ(FormatFloat("#,##0", -1234567, fs), "-1,234,567");
  EXPECT_EQ(FormatFloat("#,##0", 999, fs), "999");
  EXPECT_EQ(FormatFloat("0.###", 2.5, fs), "2.5");
  EXPECT_EQ(FormatFloat("0.###", 1.0, fs), "1");
  EXPECT_EQ(FormatFloat("000.0", -1.25, fs), "-001.3");
  EXPECT_EQ(FormatFloat("0", 1234.5, fs), "1235");
  EXPECT_EQ(FormatFloat("00", 12345, fs), "12345");  // digits that do not fit still show
  EXPECT_EQ(FormatFloat("0.00E+00", 12345, fs), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.00E-00", 0.00012345, fs), "1.23E-04");
  EXPECT_EQ(FormatFloat("0.00E-00", 12345, fs), "1.23E04");
  EXPECT_EQ(FormatFloat("0.0;(0.0);'zero'", -2, fs), "(2.0)");
  EXPECT_EQ(FormatFloat("0.0;(0.0);'zero'", 0, fs), "zero");
  EXPECT_EQ(FormatFloat("0.0;(0.0);'zero'", 0.01, fs), "zero");  // rounds to zero
  EXPECT_EQ(FormatFloat("0.0;(0.0);'zero'", 3.14, fs), "3.1");
  EXPECT_EQ(FormatFloat("\"Total: \"0", 5, fs), "Total: 5");
  EXPECT_EQ(FormatFloat("", 1.5, fs), "1.5");

  TFormatSettings de;
  de.DecimalSeparator = ',';
  de.ThousandSeparator = '.';
  EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, de), "1.234,50");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345, de), "1,23E+04");
}

TEST(SysNumbers, ReprAndBcdText) {
  EXPECT_EQ(ReprDouble(40.0), "40.0");
  EXPECT_EQ(ReprDouble(-0.0), "-0.0");
  EXPECT_EQ(ReprDouble(0.1), "0.1");
  EXPECT_EQ(ReprDouble(1e16), "1e+16");
  EXPECT_EQ(ReprDouble(1e15), "1000000000000000.0");
  EXPECT_EQ(ReprDouble(1.5e-5), "1.5e-05");
  EXPECT_EQ(ReprDouble(0.0001), "0.0001");

  TBcdValue b;
  std::snprintf(b.Digits, sizeof b.Digits, "%s", "5");
  b.Decimals = 2;
  EXPECT_EQ(b.ToString(), "0.05");
  EXPECT_EQ(b.ToString(','), "0,05");
  EXPECT_DOUBLE_EQ(b.ToDouble(), 0.05);
  b.Negative = true;
  std::snprintf(b.Digits, sizeof b.Digits, "%s", "123456");
  EXPECT_EQ(b.ToString(), "-1234.56");
  EXPECT_DOUBLE_EQ(b.ToDouble(), -1234.56);
  b.Decimals = 0;
  EXPECT_EQ(b.ToString(), "-123456");
  TBcdValue zero;
  EXPECT_EQ(zero.ToString(), "0");
  EXPECT_EQ(zero.ToDouble(), 0.0);
}

TEST(SysText, AsciiCaseOnlyTouchesAsciiLetters) {
  EXPECT_EQ(AsciiUpper("abz\xe4"), "ABZ\xe4");
  EXPECT_EQ(AsciiLower("ABZ\xc4"), "abz\xc4");
  EXPECT_TRUE(SameTextAscii("Name", "nAME"));
  EXPECT_FALSE(SameTextAscii("Name", "Names"));
  EXPECT_FALSE(SameTextAscii("\xe4", "\xc4"));
}

TEST(SysText, SplitKeepsEmptyPieces) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitText("", ','), V{""});
  EXPECT_EQ(SplitText("a", ','), V{"a"});
  EXPECT_EQ(SplitText("a,,b", ','), (V{"a", "", "b"}));
  EXPECT_EQ(SplitText(",a,", ','), (V{"", "a", ""}));
}

}  // namespace
}  // namespace korvane
