// korvane-hostile-values OUT.db: writes a table whose field names and values
// readers of markup and data formats stumble over (reserved words, "#", quotes,
// "&", tags, comment marks, line breaks, TAB, NUL, a leading "<", pictures), with
// the project's own table writer. Text is cp1252 (language driver ANSIINTL).
#include <cstdio>
#include <exception>
#include <string>

#include "engine/pdxgenerate.h"
#include "engine/pdxwriter.h"

int main(int argc, char** argv) {
  using namespace korvane;
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvane-hostile-values OUT.db\n");
    return 2;
  }
  try {
    std::vector<TPdxWriterField> fields = ParsePdxFieldSpec(
        "Order=A40,Customer #=A60,Notes=M20,Pic=G,Raw=B,Code=Y6,Amount=N,Datum/Zeit=@,select=L");
    const int64_t when = (730000LL * 86400000LL) + 45296789;
    std::vector<TWriterRow> rows = {
        {TWriterValue("Smith & \"Sons\""), TWriterValue("<b>bold</b>"),
         TWriterValue("line1\r\nline2\ttab */ -- end\rCR\nLF"), TWriterValue(PdxGraphicBmp(40, 24, 7)),
         TWriterValue(std::string("\0\x01\xFF<&>", 6)), TWriterValue(std::string("\0\"'<>&", 6)), TWriterValue(-12.5),
         TWriterValue(when), TWriterValue(true)},
        {TWriterValue("O'Hara"), TWriterValue("<leading"), TWriterValue(std::string("nul\0inside\x01" "ctl", 14)),
         std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, TWriterValue(false)},
        {TWriterValue(""), TWriterValue("caf\xE9 \xA9 \xB0 | &amp; &nbsp;"), TWriterValue("--"),
         TWriterValue(PdxGraphicBmp(12, 30, 9)), TWriterValue(std::string("]]>", 3)), TWriterValue("*/"),
         TWriterValue(0.0), TWriterValue(int64_t{0}), std::nullopt},
        {TWriterValue("<"), TWriterValue("' OR 1=1 --"), TWriterValue("  spaced  \r\n\r\n"),
         TWriterValue(std::string("\x01\0\0\x01\x04\0\0\0junk", 12)), TWriterValue(std::string()),
         TWriterValue("x"), TWriterValue(1e300), TWriterValue(int64_t{86400000}), TWriterValue(true)},
    };
    TPdxWriterOptions opt;
    opt.Language = TPdxLanguageDriver::AnsiIntl();
    TPdxWriter::Write(argv[1], fields, rows, opt);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-hostile-values: %s\n", e.what());
    return 1;
  }
  return 0;
}
