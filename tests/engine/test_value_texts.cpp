// The texts a value leaves the program as: time stamps before 1899, years outside
// 1 to 9999, milliseconds, money with every digit, binary data, regional dates.

#include <gtest/gtest.h>

#include <string>

#include "engine/pdxwriter.h"
#include "engine/sysutils.h"
#include "platform/services.h"

namespace korvane {
namespace {

std::string Dump(double timestamp) {
  std::string s;
  AppendTimestamp(s, timestamp);
  return s;
}

TEST(ValueTexts, TimestampsBefore1899KeepTheirDayAndTime) {
  TFormatSettings fs;
  fs.ShortDateFormat = "yyyy/mm/dd";
  fs.DateSeparator = '-';
  fs.LongTimeFormat = "hh:nn:ss";
  // 1899-12-29 06:00 is -1.25: the day counts back, the fraction runs forward.
  const double ts = PdxTimestamp(1899, 12, 29, 6, 0, 0);
  EXPECT_EQ(TimestampToDateTime(ts), -1.25);
  EXPECT_EQ(DateTimeToTimestamp(-1.25), ts);
  EXPECT_EQ(TimestampToStr(ts, fs), "1899-12-29 06:00:00");
  EXPECT_EQ(TimestampToStr(PdxTimestamp(1066, 10, 14, 23, 59, 59, 999), fs), "1066-10-14 23:59:59.999");
  EXPECT_EQ(TimestampToStr(PdxTimestamp(1899, 12, 30, 0, 0, 1), fs), "1899-12-30 00:00:01");
  EXPECT_EQ(TimestampToStr(PdxTimestamp(2024, 2, 29, 12, 0, 0), fs), "2024-02-29 12:00:00");
  // A time stamp of every century round-trips through TDateTime.
  for (int y : {1, 99, 100, 1582, 1899, 1900, 2000, 9999}) {
    const double v = PdxTimestamp(y, 3, 1, 1, 2, 3, 4);
    EXPECT_EQ(DateTimeToTimestamp(TimestampToDateTime(v)), v) << y;
  }
}

TEST(ValueTexts, YearsOutsideThePatternsAreWrittenAsDumpWritesThem) {
  TFormatSettings fs;  // m/d/yyyy, h:nn:ss AMPM
  // Year -1 at 01:00 was written 0000-01-01 23:00:00 when day and time were split as one number.
  const double ts = -366.0 * 86400000.0 + 3600000.0;  // day -366 is -0001-12-31
  EXPECT_EQ(Dump(ts), "-0001-12-31 01:00:00");
  EXPECT_EQ(TimestampToStr(ts, fs), "-0001-12-31 01:00:00");
  EXPECT_EQ(DateToStr(DayNumberToDateTime(-366), fs), "-0001-12-31");
  EXPECT_EQ(DateToStr(DayNumberToDateTime(-365), fs), "0000-01-01");
  EXPECT_EQ(DateToStr(DayNumberToDateTime(0), fs), "0000-12-31");
  EXPECT_EQ(FormatDateTime("dd/mm/yy", DayNumberToDateTime(0), fs), "0000-12-31");  // never two digits
  EXPECT_EQ(DateToStr(DayNumberToDateTime(PdxDayNumber(9999, 12, 31)), fs), "12/31/9999");
  EXPECT_EQ(DateToStr(DayNumberToDateTime(PdxDayNumber(9999, 12, 31) + 1), fs), "10000-01-01");
  EXPECT_EQ(DateToStr(DayNumberToDateTime(1), fs), "1/1/0001");
  // Times alone are never out of range.
  EXPECT_EQ(FormatDateTime("hh:nn", TimestampToDateTime(ts), fs), "01:00");
  EXPECT_EQ(FormatDateTime("yyyy hh:nn", TimestampToDateTime(ts), fs), "-0001-12-31 01:00:00");
  // Beyond any calendar: the stored number.
  EXPECT_EQ(TimestampToStr(1.326038263290434e+117, fs), "1.326038263290434e+117");
}

TEST(ValueTexts, MillisecondsAreKept) {
  TFormatSettings fs;
  const TDateTime t = EncodeTime(13, 2, 3, 45);
  EXPECT_EQ(TimeToStr(t, fs), "1:02:03 PM");
  EXPECT_EQ(TimeToStrExact(t, fs), "1:02:03.045 PM");
  EXPECT_EQ(TimeToStrExact(EncodeTime(13, 2, 3, 0), fs), "1:02:03 PM");
  EXPECT_EQ(DateTimeToStrExact(EncodeDate(2020, 5, 6) + EncodeTime(0, 0, 0, 500), fs), "5/6/2020 12:00:00.500 AM");
  EXPECT_EQ(DateTimeToStrExact(EncodeDate(2020, 5, 6), fs), "5/6/2020");
  EXPECT_EQ(WithMilliseconds("hh:nn:ss ampm"), "hh:nn:ss.zzz ampm");
  EXPECT_EQ(WithMilliseconds("HH\"s\"NN"), "HH\"s\"NN");  // no seconds: unchanged
  EXPECT_EQ(WithMilliseconds("hh:nn:ss.zzz"), "hh:nn:ss.zzz");
}

TEST(ValueTexts, MoneyKeepsEveryStoredDigit) {
  TFormatSettings fs;
  EXPECT_EQ(CurrToStr(13.5, fs), "13.50");
  EXPECT_EQ(CurrToStr(13.002, fs), "13.002");
  EXPECT_EQ(CurrToStr(-40, fs), "-40.00");
  EXPECT_EQ(CurrToStr(0.1 + 0.2, fs), "0.30000000000000004");
  EXPECT_EQ(CurrToStr(-0.0, fs), "0.00");
  EXPECT_EQ(CurrToStr(123456789012.25, fs), "123456789012.25");
  EXPECT_EQ(CurrToStr(-1e-300, fs), "-1E-300");
  EXPECT_EQ(CurrToStrF(13.002, fs), "$13.002");
  EXPECT_EQ(CurrToStrF(-1234.5, fs), "($1,234.50)");
  EXPECT_EQ(CurrToStrF(13.002, fs, 2), "$13.00");  // decimals asked for are decimals given
  fs.DecimalSeparator = ',';
  fs.CurrencyDecimals = 0;
  EXPECT_EQ(CurrToStr(13.002, fs), "13,002");
  EXPECT_EQ(CurrToStr(13, fs), "13");
  EXPECT_EQ(FloatToStrExact(0.1 + 0.2, fs), "0,30000000000000004");
  EXPECT_EQ(FloatToStrExact(1e20, fs), "1E20");
  EXPECT_EQ(FloatToStrExact(-2.5, fs), "-2,5");
}

TEST(ValueTexts, BinaryDataAsLowerCaseHex) {
  std::string s = "x";
  AppendHex(s, "\x00\xAB\x7f", 3);
  EXPECT_EQ(s, "x00ab7f");
  AppendHex(s, "", 0);
  EXPECT_EQ(s, "x00ab7f");
}

TEST(ValueTexts, RegionalDatesHaveFourDigitYears) {
  // C and POSIX have no regional format: ISO 8601.
  for (const char* name : {"C", "POSIX"}) {
    TFormatSettings c = LocaleFormatSettings(name);
    EXPECT_EQ(c.DateSeparator, '-') << name;
    EXPECT_EQ(DateToStr(EncodeDate(1936, 2, 7), c), "1936-02-07") << name;
    EXPECT_EQ(TimeToStr(EncodeTime(17, 4, 5, 0), c), "17:04:05") << name;
  }
  TFormatSettings us = LocaleFormatSettings("en_US.UTF-8");
  if (us.ShortDateFormat != LocaleFormatSettings("C").ShortDateFormat) {
    EXPECT_EQ(DateToStr(EncodeDate(1936, 2, 7), us), "02/07/1936");
  }
  TFormatSettings de = LocaleFormatSettings("de_DE.UTF-8");
  if (de.DateSeparator == '.') {
    EXPECT_EQ(DateToStr(EncodeDate(1936, 2, 7), de), "07.02.1936");
    EXPECT_EQ(de.DecimalSeparator, ',');
  }
}

}  // namespace
}  // namespace korvane
