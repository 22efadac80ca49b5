// Writes a table whose names and values break careless writers: names that are
// keywords, hold blanks, "#", "/", "_", accents or start with a digit; values
// with quotes, markup, comment marks, line breaks, TAB, NUL and leading or
// trailing blanks. Usage: korvane-hostile-table OUT.db (the .mb beside it).
#include <cstdio>
#include <exception>
#include <string>

#include "engine/pdxgenerate.h"
#include "engine/pdxwriter.h"

int main(int argc, char** argv) {
  using namespace korvane;
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvane-hostile-table OUT.db\n");
    return 2;
  }
  try {
    // Names are stored in cp1252 (the table's language driver).
    auto fields = ParsePdxFieldSpec(
        "Order=A40,Customer #=A40,x_y=A20,W\xE4hrung=$,0240=I,Datum/Zeit=@,N\xB0 Licence=A10,objectClass=A10,"
        "Notes=M40,Pic=B20");
    const std::string nul("a\0b", 3);
    std::vector<TWriterRow> rows = {
        {TWriterValue("O'Hara \"quoted\""), TWriterValue("<b>bold</b> & co"), TWriterValue("*/ end"),
         TWriterValue(12.5), TWriterValue(1), std::nullopt, TWriterValue("-- x"), TWriterValue("top"),
         TWriterValue("line 1\r\nline 2\ttab"), TWriterValue(std::string("\x00\x01\xFF<", 4))},
        {TWriterValue("<leading"), TWriterValue(" leading blank"), TWriterValue("trailing blank "),
         TWriterValue(-0.5), TWriterValue(2), std::nullopt, TWriterValue(":colon"), TWriterValue("#hash"),
         TWriterValue("memo with " + nul + " NUL"), std::nullopt},
        {TWriterValue("a,b+c;d=e\\f"), TWriterValue("/* open"), TWriterValue("x_y"), std::nullopt,
         std::nullopt, std::nullopt, TWriterValue("\xE9t\xE9"), std::nullopt, TWriterValue("<not a url>"),
         TWriterValue(std::string())},
        {TWriterValue(""), TWriterValue("Order"), TWriterValue("dn: x"), TWriterValue(0.0), TWriterValue(0),
         std::nullopt, TWriterValue("#"), TWriterValue(" "), TWriterValue("\r\n"), std::nullopt},
        {TWriterValue("O'Hara \"quoted\""), TWriterValue("same first value"), std::nullopt, std::nullopt,
         TWriterValue(5), std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    TPdxWriterOptions options;
    options.Language = TPdxLanguageDriver::AnsiIntl();
    TPdxWriter::Write(argv[1], fields, rows, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-hostile-table: %s\n", e.what());
    return 1;
  }
  return 0;
}
