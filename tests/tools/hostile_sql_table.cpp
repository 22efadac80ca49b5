// Writes a table whose names and values a script or markup reader trips over:
// reserved words and punctuation in the names, quotes, comment markers, markup,
// line breaks, TAB and NUL in the texts, dates before year 1, extreme numbers.
// Usage: korvane-hostile-table OUT.db
#include <cstdio>
#include <limits>
#include <string>

#include "engine/pdxwriter.h"

using namespace korvane;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvane-hostile-table OUT.db\n");
    return 2;
  }
  namespace t = pdxtype;
  // Names in the table's code page (1252): "W\xE4hrung" is "Währung".
  std::vector<TPdxWriterField> fields = {
      {"Order", t::kAlpha, 60},          {"Customer #", t::kAlpha, 40}, {"Say \"hi\" 'x'", t::kAlpha, 20},
      {"W\xE4hrung", t::kCurrency, 0},   {"Datum/Zeit", t::kTimestamp, 0}, {"select", t::kDate, 0},
      {"Time", t::kTime, 0},             {"N", t::kNumber, 0},           {"Ok?", t::kLogical, 0},
      {"Amount", t::kBcd, 4},            {"Raw", t::kBytes, 6},          {"Notes */", t::kMemo, 20},
      {"Pic", t::kBlob, 10},             {"Short", t::kShort, 0},        {"Id", t::kAutoInc, 0},
  };
  TPdxWriterOptions opts;
  opts.Language = TPdxLanguageDriver::AnsiIntl();
  TPdxWriter w(argv[1], fields, opts);
  const double inf = std::numeric_limits<double>::infinity();
  const std::string texts[] = {
      "O'Hara \"the\" */ /* -- end",
      "<b>bold</b> & <i>",
      "<leading",
      std::string("line1\r\nline2\ttab\rcr\nlf"),
      "back\\slash 'q' ''",
      "trailing blank ",
  };
  int id = 1;
  for (int i = 0; i < 6; ++i) {
    TWriterRow r(fields.size());
    r[0] = texts[i];
    r[1] = texts[(i + 1) % 6];
    r[2] = texts[(i + 2) % 6].substr(0, 19);
    r[3] = i == 0 ? 13.002 : i == 1 ? -0.5 : i == 2 ? 1e300 : i == 3 ? 0.1 + 0.2 : 12.5;
    // Time stamps: ms since 0001-01-01 counted from day 1; before year 1 too.
    const int64_t day = i == 0 ? 0 : i == 1 ? -366 : i == 2 ? 730120 : i == 3 ? 1 : 3652059;
    r[4] = static_cast<double>(day * 86400000 + (i * 3600000 + 123 * i));
    r[5] = static_cast<int32_t>(i == 0 ? -5 : i == 1 ? 1 : 731645 + i);
    r[6] = static_cast<int32_t>(i * 3723004 % 86400000);
    r[7] = i == 0 ? inf : i == 1 ? -inf : i == 2 ? 5e-324 : i == 3 ? -1.5e16 : 42.0;
    r[8] = i % 2 == 0;
    r[9] = PdxBcdFromString(i == 0 ? "-12.5000" : i == 1 ? "123456789012345678.1234" : "0.0001");
    r[10] = std::string("\0\x01'\"\xFF\x7F", 6);
    r[11] = i == 3 ? std::string("memo\0with NUL\r\n*/ -- '\"", 24) : "memo */ /* " + texts[i];
    r[12] = std::string("\x89PNG\0\r\n'", 8) + std::string(static_cast<size_t>(i * 50), 'x');
    r[13] = static_cast<int16_t>(i == 0 ? -32767 : i * 1000);
    r[14] = id++;
    if (i == 5)
      for (size_t k = 3; k < fields.size() - 1; ++k) r[k].reset();  // nulls
    w.Append(r);
  }
  w.Finish();
  return 0;
}
