// Number and date texts that every export cell goes through, against the C
// library's correctly rounded conversions.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "engine/sysutils.h"
#include "export/ExportDS.h"

namespace korvane {
namespace {

// Significant digits of printf's %.*e, without trailing zeros.
std::string PrintfDigits(double v, int precision) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*e", precision - 1, std::fabs(v));
  std::string d;
  for (const char* q = b; *q && *q != 'e'; ++q)
    if (*q >= '0' && *q <= '9') d += *q;
  while (!d.empty() && d.back() == '0') d.pop_back();
  return d;
}

// Significant digits of a FloatToStr text ("-0.00123" -> "123", "1.5E-5" -> "15").
std::string TextDigits(const std::string& s) {
  std::string d;
  for (char c : s) {
    if (c == 'E') break;
    if (c >= '0' && c <= '9' && !(d.empty() && c == '0')) d += c;
  }
  while (!d.empty() && d.back() == '0') d.pop_back();
  return d;
}

TEST(ValueTexts, FloatTextRoundsLikePrintfAtEveryPrecision) {
  std::mt19937_64 rng(7);
  std::vector<double> values = {0.1, 0.5, 1.0 / 3, 2.0 / 3, 9.9999999999999995, 99999999999999.95, 1e15, 1e16, 123456.785,
                                0.000123456789012345, 1e-300, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                                230677.77, -40810.98, 12.5, 0.125, 1234567890123456789.0};
  for (int i = 0; i < 4000; ++i) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.push_back(d);
    values.push_back(static_cast<double>(static_cast<int64_t>(rng() % 2000000001) - 1000000000) / 100.0);
    values.push_back(std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 200) - 100));
  }
  TFormatSettings fs;
  fs.DecimalSeparator = '.';
  int checked = 0;
  for (double v : values) {
    for (int p = 1; p <= 17; ++p) {
      std::string got = FloatToStr(v, fs, p);
      ASSERT_EQ(TextDigits(got), PrintfDigits(v, p)) << v << " at " << p << ": " << got;
      std::string parsed = got;
      for (char& c : parsed)
        if (c == 'E') c = 'e';
      char ref[64];
      std::snprintf(ref, sizeof ref, "%.*e", p - 1, v);
      ASSERT_EQ(std::strtod(parsed.c_str(), nullptr), std::strtod(ref, nullptr)) << v << " at " << p << ": " << got;
      ++checked;
    }
  }
  EXPECT_GT(checked, 100000);
  EXPECT_EQ(FloatToStrFixed(2.675, 2, fs), "2.68");  // 15 digits first: 2.67500000000000
  EXPECT_EQ(FloatToStrFixed(-0.004, 2, fs), "0.00");
  EXPECT_EQ(FloatToStr(1e20, fs), "1E20");
}

TEST(ValueTexts, DatePartsArePaddedWithZeros) {
  TFormatSettings fs;
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", EncodeDate(5, 1, 2), fs), "0005-01-02");
  EXPECT_EQ(FormatDateTime("hh:nn:ss", EncodeTime(3, 4, 5, 0), fs), "03:04:05");
  EXPECT_EQ(FormatDateTime("d/m/yy", EncodeDate(2024, 3, 7), fs), "7/3/24");
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy", EncodeDate(9999, 12, 31), fs), "31/12/9999");
  EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", EncodeTime(23, 59, 59, 7), fs), "23:59:59.007");
}

TEST(ValueTexts, ReadyMadeDatePatternsGiveFormatDateTimesText) {
  TFormatSettings fs;
  fs.DateSeparator = '.';
  fs.TimeSeparator = 0;
  fs.ShortDateFormat = "dd/mm/yyyy";
  fs.LongTimeFormat = "hh:nn:ss";
  const char* patterns[] = {"DD/MM/YY", "D/M/Y", "YYYY\"-\"MM\"-\"DD", "yyyymmdd", "HH:NN:SS", "h:m:s", "hh:mm",
                            "yy'/'mm 'text' zzz z", "M/D/YYYY HH:NN:SS", "dd-mmm-yyyy", "c", "ddddd", "tt",
                            "hh:nn am/pm", "dddd d", "ampm h", "yyyyy", "x q", "DD-MM-YYYY HH:NN:SS.ZZZ", ""};
  std::mt19937_64 rng(3);
  std::vector<TDateTime> values = {0, 1, -1.5, 2958465.99999, -693593, 45000.5, 0.999999999, 36525.000001};
  for (int i = 0; i < 3000; ++i)
    values.push_back(static_cast<double>(static_cast<int64_t>(rng() % 4000000) - 1000000) / 97.0);
  for (const char* p : patterns) {
    TZelEDateFormatter f(p, fs);
    for (TDateTime dt : values) {
      std::string got;
      f.Append(got, dt);
      ASSERT_EQ(got, FormatDateTime(p, dt, fs)) << p << " " << dt;
    }
  }
  EXPECT_TRUE(TZelEDateFormatter("DD/MM/YY", fs).Compiled());
  EXPECT_FALSE(TZelEDateFormatter("dd-mmm-yyyy", fs).Compiled());
  // The fallback pattern stands in when the pattern cannot be made ready.
  fs.ShortDateFormat = "ddd dd/mm";
  TZelEDateFormatter shortDate(fs.ShortDateFormat, fs, "ddddd");
  std::string got;
  shortDate.Append(got, 45000.25);
  EXPECT_EQ(got, DateToStr(45000.25, fs));
}

}  // namespace
}  // namespace korvane
