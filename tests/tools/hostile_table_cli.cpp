// korvane-hostile-table OUT.db: a table whose names and values trouble the
// markup and data formats (reserved words, punctuation in names, quotes,
// markup, comment ends, line breaks, tabs, NUL bytes, a leading "<").
#include <cstdio>
#include <exception>
#include <string>

#include "engine/pdxwriter.h"

int main(int argc, char** argv) {
  using namespace korvane;
  if (argc != 2) {
    std::fputs("usage: korvane-hostile-table OUT.db\n", stderr);
    return 2;
  }
  using namespace korvane::pdxtype;
  std::vector<TPdxWriterField> fields = {
      {"Order", kAlpha, 40},  {"Customer #", kAlpha, 40}, {"Datum/Zeit", kTimestamp, 0},
      {"a b", kLong, 0},      {"a_b", kLong, 0},          {"0240", kNumber, 0},
      {"Notes", kMemo, 20},   {"Pic", kBlob, 10},         {"Raw", kBytes, 4},
      {"Ok?", kLogical, 0},
  };
  const std::string nul("nul\0end", 7);
  std::vector<TWriterRow> rows = {
      {TWriterValue("O\"Hara 'x' & <b>bold</b>"), TWriterValue("*/ -- /*"), TWriterValue(PdxTimestamp(2004, 3, 5, 14, 30, 0)),
       TWriterValue(1), TWriterValue(-2), TWriterValue(12.5), TWriterValue("line1\r\nline2\ttab & <b>"),
       TWriterValue(std::string("\x89PNG\0\x01", 6)), TWriterValue(std::string("\0\x01\xFE\xFF", 4)), TWriterValue(true)},
      {TWriterValue("<leading"), TWriterValue("tab\there"), TWriterValue(PdxTimestamp(1999, 12, 31, 0, 0, 0)),
       std::nullopt, TWriterValue(0), TWriterValue(-0.001), TWriterValue(nul), std::nullopt, std::nullopt,
       TWriterValue(false)},
      {TWriterValue("\xE4\xF6\xFC \xDF \x80"), TWriterValue("]]> --> <!--"), std::nullopt, TWriterValue(2147483647),
       std::nullopt, std::nullopt, TWriterValue("<only>"), TWriterValue(std::string("x")), TWriterValue("abcd"),
       std::nullopt},
  };
  TPdxWriterOptions opt;
  opt.Language = TPdxLanguageDriver::AnsiIntl();
  try {
    TPdxWriter::Write(argv[1], fields, rows, opt);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-hostile-table: %s\n", e.what());
    return 1;
  }
  return 0;
}
