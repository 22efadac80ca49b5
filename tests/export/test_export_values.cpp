// Values a text export writes: whole in both the plain and the display form.

#include <gtest/gtest.h>

#include "export/formats/ZelE2TXT.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

struct Values : TTextRun {
  void SetUp() override {
    TTextRun::SetUp();
    w.Separator = '|';
    w.DataFormats = TZelEDataFormats::MainWindowDefaults();
    // ISO regional settings, as under C.
    services.Regional.ShortDateFormat = "yyyy/mm/dd";
    services.Regional.DateSeparator = '-';
    services.Regional.LongTimeFormat = "hh:nn:ss";
  }
};

TEST_F(Values, DatesAndTimesKeepCenturyDayAndMilliseconds) {
  const double minus1 = -366.0 * 86400000.0 + 3600000.0;  // -0001-12-31 01:00:00
  TOpenTable t("D=D,T=T,S=@",
               {{TWriterValue(-366), TWriterValue(PdxTimeOfDay(1, 10, 12) + 7), TWriterValue(minus1)},
                {TWriterValue(0), TWriterValue(0), TWriterValue(PdxTimestamp(1899, 12, 29, 6, 0, 0, 250))},
                {TWriterValue(PdxDayNumber(9999, 12, 31)), std::nullopt, TWriterValue(PdxTimestamp(1936, 5, 1, 0, 0, 0))},
                {TWriterValue(PdxDayNumber(1936, 5, 1)), std::nullopt, TWriterValue(PdxTimestamp(1, 1, 1, 0, 0, 1))}});
  EXPECT_EQ(Run(t),
            "-0001-12-31|01:10:12.007|-0001-12-31 01:00:00\r\n"
            "0000-12-31|00:00:00|1899-12-29 06:00:00.250\r\n"
            "9999-12-31||1936-05-01\r\n"
            "1936-05-01||0001-01-01 00:00:01\r\n");
  // The display form: the patterns of DataFormats, four-digit years by default.
  w.Options.Include(soFieldMask);
  EXPECT_EQ(Run(t),
            "-0001-12-31|01:10:12.007|-0001-12-31 01:00:00\r\n"
            "0000-12-31|00:00:00|29/12/1899 06:00:00.250\r\n"
            "31/12/9999||01/05/1936\r\n"
            "01/05/1936||01/01/0001 00:00:01\r\n");
  // Even a two-digit year never wraps a year outside 1..9999.
  w.DataFormats.FourDigitYear = false;
  EXPECT_EQ(Run(t).substr(0, 12), "-0001-12-31|");
}

TEST_F(Values, MoneyAndNumbersKeepEveryDigit) {
  TOpenTable t("C=$,N=N", {{TWriterValue(13.002), TWriterValue(0.1 + 0.2)},
                           {TWriterValue(13.5), TWriterValue(1e20)},
                           {TWriterValue(-40.0), TWriterValue(-2.5)}});
  EXPECT_EQ(Run(t), "13.002|0.30000000000000004\r\n13.50|1E20\r\n-40.00|-2.5\r\n");
  w.Options.Include(soFieldMask);
  w.DataFormats.CurrencyString = "EUR ";
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.ThousandSeparator = '.';
  EXPECT_EQ(Run(t), "EUR 13,002|0,30000000000000004\r\nEUR 13,50|1E20\r\n(EUR 40,00)|-2,5\r\n");
}

TEST_F(Values, BinaryDataAsHexAndNoNulByte) {
  std::string picture("\x89PNG\r\n\x1a\n\0\0", 10);
  TOpenTable t("Y=Y4,B=B,G=G,M=M", {{TWriterValue(std::string("\x01\0\xff", 3)), TWriterValue(std::string("\0\x10", 2)),
                                     TWriterValue(picture), TWriterValue(std::string("end\0", 4))}});
  // Binary data as hex; the memo's NUL byte is left out and counted.
  const std::string want = "0100ff00|0010|89504e470d0a1a0a0000|end\r\n";
  EXPECT_EQ(Run(t), want);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  w.Options.Include(soFieldMask);
  EXPECT_EQ(Run(t), want);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
}

}  // namespace
}  // namespace korvane::test
