// korvane-cli export: writes a table through the export monitor, as the viewer's
// export does, without a window.
//
// The columns are those the viewer's grid shows for a freshly opened table (every
// field, in field order, titled with the field name), so the command line writes
// what the viewer's default export writes. Table text is decoded to UTF-8 from
// the table's code page (or --encoding). An export settings file saved by the
// wizard can supply every setting; options given on the command line override it.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "cli/commands.h"
#include "engine/grid.h"
#include "engine/pdx.h"
#include "export/ZelEFormats.h"
#include "export/ZelEMonitor.h"
#include "export/formats/ZelE2BDE.h"
#include "export/formats/ZelE2HTML.h"
#include "export/formats/ZelE2LDIF.h"
#include "export/formats/ZelE2OOo.h"
#include "export/formats/ZelE2SQL.h"
#include "export/formats/ZelE2TXT.h"
#include "export/formats/ZelE2XML.h"
#include "platform/odbc/odbc.h"
#include "platform/services.h"
#include "platform/textcodec.h"

namespace korvane::cli {

namespace {

const char kExportHelp[] =
    "usage: korvane-cli export TABLE.db --format F --output FILE [options]\n"
    "\n"
    "Writes the table as the viewer's export does: every field in field order, the\n"
    "text decoded to UTF-8. The output is written under a temporary name beside it\n"
    "(.FILE.XXXXXX) and put in place only when the export completes; a failed or\n"
    "cancelled run (Ctrl-C, SIGTERM, SIGHUP) removes it and leaves an earlier file of\n"
    "that name untouched. Temporaries left by a run that was killed are removed by\n"
    "the next export to that file.\n"
    "  - A symbolic link is followed: its target receives the export, the link stays.\n"
    "  - A file this user may not write is refused, never replaced.\n"
    "  - A file with further hard links, owned by another user, or in a folder this\n"
    "    user may not write, is rewritten in place when the export completes (its\n"
    "    links, owner and permissions stay).\n"
    "  - \"-\" and /dev/stdout mean standard output, written as the export goes;\n"
    "    devices and pipes are written the same way.\n"
    "\n"
    "@FORMATS@"
    "  --output FILE           the file to write (the settings file's output by default)\n"
    "  --spec FILE.zele        load export settings saved by the wizard first;\n"
    "                          the options below override its settings\n"
    "  --columns A,B,...       export only these fields, in this order\n"
    "  --title                 write a row of column titles first (--no-title: none)\n"
    "  --field-names           titles are the field names (the default captions)\n"
    "  --blank-row             an empty row after the titles\n"
    "  --separator C           field separator: one character, or tab, comma,\n"
    "                          semicolon, space, none (default tab)\n"
    "  --qualifier C           text qualifier: one character, or double, single, none\n"
    "                          (default double, or what a settings file says);\n"
    "                          qualified values double it inside\n"
    "  --qualify WHICH         which values get the qualifier: text (default: text\n"
    "                          fields, titles, header and footer lines), non-numeric\n"
    "                          or all; with a qualifier, a value holding the separator,\n"
    "                          the qualifier, CR or LF is qualified whatever the choice.\n"
    "                          Without one such a value splits its row: the export\n"
    "                          completes, says how many values and rows, and fails\n"
    "                          unless --allow-lossy is given\n"
    "  --allow-lossy           exit 0 even when values could not be written as read\n"
    "                          (split rows, NUL bytes left out); the message says how many\n"
    "  --salvage               read a table whose block chain is broken: every record\n"
    "                          that can be found (the figures go to stderr)\n"
    "  --record-separator S    crlf (default), lf or cr\n"
    "  --fixed                 fixed-width columns (--delimited: separated fields)\n"
    "  --layout L              columnar (default), reversed or tabular\n"
    "  --header LINE           a header line (repeat for more lines)\n"
    "  --footer LINE           a footer line (repeat for more lines)\n"
    "  --charset CS            ansi (UTF-8 text, default), oem (code page 437) or ebcdic\n"
    "  --rows-per-file N       records per file; further files get 001, 002, ... before\n"
    "                          the extension (0: one file). Each file is finished and put\n"
    "                          in place when the next one begins: a cancelled or failed\n"
    "                          run keeps the files it finished, each whole, and leaves\n"
    "                          the file it was writing as it was before the run\n"
    "  --merge                 append to an existing file, under an exclusive lock (a\n"
    "                          second export appending to it waits); a failed or\n"
    "                          cancelled run cuts the file back to its earlier length;\n"
    "                          after one killed outright (kill -9, a crash) the next\n"
    "                          export to that file does it first\n"
    "  --no-empty              write no file when the table has no records\n"
    "  --blank-if-zero         numbers and dates equal to zero, and null values, are empty\n"
    "\n"
    "Values are written whole: numbers with every stored digit, money with at least\n"
    "two decimals, times with their milliseconds, pictures and other binary data as\n"
    "lower-case hex, dates outside the years 1 to 9999 as dump writes them. By default\n"
    "they are the plain values in the regional form of the locale (LC_ALL, LC_TIME,\n"
    "LANG), with four-digit years; under C or POSIX dates are YYYY-MM-DD and times\n"
    "HH:MM:SS. The wizard calls this \"export the original value types\".\n"
    "\n"
    "  --display-text          values by the settings below instead (dates and times by\n"
    "                          their patterns, money with the currency symbol, booleans\n"
    "                          by --true/--false); any of the settings below implies it\n"
    "  --no-display-text       the plain values, also when the settings file asks for\n"
    "                          display text (refused together with the settings below)\n"
    "  --date-order O          MDY, DMY (default), YMD, YDM, DYM or MYD\n"
    "  --date-separator C      between the date parts (default /; none for none)\n"
    "  --time-separator C      between hours, minutes and seconds (default :)\n"
    "  --four-digit-year       (the default; --two-digit-year: 1936 is written 36)\n"
    "  --leading-zeros         day and month with two digits (default; --no-leading-zeros)\n"
    "  --date-format PATTERN   a date pattern (DD-MMM-YYYY) instead; time stamps get\n"
    "                          the time after it unless the pattern shows one (HH:NN)\n"
    "  --decimal C             decimal symbol (default .)\n"
    "  --thousand C            thousand separator (default ,)\n"
    "  --currency S            currency symbol (default the pound sign)\n"
    "  --true S, --false S     texts of the boolean values (default True, False)\n"
    "  --set FORMAT.KEY=VALUE  a setting of a format's own (repeat for more); the\n"
    "                          keys of every format: korvane-cli export --list-settings\n"
    "  --table-name NAME       the table's name inside the target (SQL, XML; default\n"
    "                          the table file's base name)\n"
    "  --xml-layout L          XML layout: ie (default), ie-compact, client-dataset,\n"
    "                          element or mssql (also --set XML.XMLFormat=L; the other\n"
    "                          XML keys: --list-settings)\n"
    // HTML
    "  --html-template FILE    HTML: the page around the export (it goes where the\n"
    "                          file's </body> is; default a plain UTF-8 page)\n"
    "  --html-header-footer    HTML: header and footer lines are HTML of your own,\n"
    "                          written as they are (table cells are always escaped)\n"
    "  --format Clipboard      puts the text export on the clipboard (wl-copy, xclip or\n"
    "                          xsel; fails without a display); takes no --output\n"
    "  --ldif-base DN          LDIF: appended to every entry's name after a comma\n"
    "                          (\"ou=people,dc=example,dc=com\"); entries are named\n"
    "                          by the first column's value\n"
    "  --sql-dialect D         SQL scripts for generic (default), sqlite or postgresql\n"
    "  --sql-create-table      SQL: a CREATE TABLE statement first (in the first file\n"
    "                          of a split script only; none when appending to a\n"
    "                          script that has content)\n"
    "  --sql-multi-row         SQL: INSERT statements of up to 1000 rows\n"
    "  --sql-batch N           SQL: commit after every N records (default all at once)\n"
    "  --encoding CP           read the table's text as code page CP (as dump does);\n"
    "                          auto: the code page the text looks like, when it clearly\n"
    "                          beats the header's\n"
    // Code page of 8-bit formats
    "  --code-page CP          DBase, XLS, SPSS, SYLK, DIF, WKS, Quattro: write text in\n"
    "                          code page CP (1252, cp866, ...); default the Windows code\n"
    "                          page of the table's language driver (with --charset oem\n"
    "                          its DOS counterpart), for WKS 850 and for Quattro 437 (the\n"
    "                          code pages their readers take). A character it lacks is\n"
    "                          written \"?\" and counted\n"
    // Pages of paged formats (PDF, RTF)
    "  --orientation O         PDF, RTF: default, portrait or landscape pages\n"
    "  --margins L,T,R,B       PDF, RTF: page margins in --measure units (default the\n"
    "                          format's own edges)\n"
    "  --measure M             unit of --margins: pt (default), in, cm or pc\n"
    "  --generator TEXT        the document's title and generator (PDF, RTF; default\n"
    "                          \"ZelExport 4.99\")\n"
    "  --colors-fonts          cells with their colours and fonts\n"
    "  --font NAME[,SIZE][,bold][,italic]\n"
    "                          the font of every cell and title (default Tahoma 8,\n"
    "                          drawn by the installed face fontconfig picks)\n"
    // Paradox and dBase tables
    "  --table-type T          Paradox: the kind of table to write, paradox (default for\n"
    "                          any name but .dbf) or dbase (written as --format DBase\n"
    "                          writes it); a new Paradox table takes the source's field\n"
    "                          types, file version, block size and language driver (with\n"
    "                          --code-page, text converted into that code page). With\n"
    "                          --merge the records are appended to an existing Paradox\n"
    "                          table (not a keyed or encrypted one); the table is rewritten\n"
    "                          and replaced only when the export completes\n"
    // Database target (ADO)
    "  --format ADO            rows into a database table through ODBC: --output is\n"
    "                          the connection string (\"DRIVER={PostgreSQL Unicode};\n"
    "                          Server=/run/postgresql;Database=db\") or an SQLite\n"
    "                          database file; --table NAME (or --table-name) names\n"
    "                          the table, created when it does not exist and else\n"
    "                          appended to, or is a query (SELECT a, b FROM t) whose\n"
    "                          columns are filled. Values go as typed parameters,\n"
    "                          committed every 10000 rows; a refused value fails the\n"
    "                          run naming record and column, the rows before it stay\n"
    "  --user NAME, --password PW  ADO: the login, added to the connection string\n"
    // Office suite formats
    "  --sheet NAME            Excel: the sheet to write (default \"ZelExport 4.99\"); with\n"
    "                          --merge an existing workbook gets it, or rows below\n"
    "                          those of its sheet of that name. Excel, Word and\n"
    "                          OpenOffice are written by a headless LibreOffice of\n"
    "                          their own (packages libreoffice-calc-nogui and\n"
    "                          libreoffice-writer-nogui); Excel stores .xls, .xlsx or\n"
    "                          .ods by the output's extension, Word .doc, .docx, .odt\n"
    "                          or .rtf\n"
    "  --filter NAME           OpenOffice: LibreOffice's filter the document is stored\n"
    "                          with (MS Word 97, writer8, MS Word 2007 XML, Rich Text\n"
    "                          Format, HTML (StarWriter), DocBook File, Text, Text\n"
    "                          (encoded), writer_pdf_Export); default the one of the\n"
    "                          output's extension, else MS Word 97\n"
    "  --quiet                 no progress bar and no final message\n"
    "\n"
    "Exit status: 0 when the export completed, 1 when it failed or was cancelled or\n"
    "values could not be written as read (see --allow-lossy), 2 for bad arguments or\n"
    "a format that is not available. A run ended by SIGTERM or SIGHUP cleans up and\n"
    "then ends by that signal.\n";

// A character option: a single byte, or a name.
char CharOption(const std::string& option, const std::string& v) {
  struct Named {
    const char* name;
    char c;
  };
  static const Named kNames[] = {{"tab", '\t'},    {"comma", ','}, {"semicolon", ';'}, {"space", ' '},
                                 {"none", '\0'},   {"double", '"'}, {"single", '\''},  {"pipe", '|'},
                                 {"\\t", '\t'},    {"", '\0'}};
  for (const Named& n : kNames)
    if (v == n.name) return n.c;
  if (v.size() == 1) return v[0];
  throw UsageError{"export: " + option + " takes one character or a name, not \"" + v + "\""};
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// HTML: a page template read whole.
bool ReadWholeFile(const std::string& path, std::string& out) {
  std::FILE* f = IsFile(path) ? std::fopen(path.c_str(), "rb") : nullptr;
  if (!f) return false;
  char buf[65536];
  size_t n;
  out.clear();
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Settings given on the command line; unset ones keep the settings file's or the
// default value.
// Page settings of paged formats (PDF, RTF): they set the component's
// PageSetup, KeyGenerator, soColorsFonts and the columns' fonts.
struct TPageArgs {
  std::optional<TZelEOrientation> orientation;
  std::optional<std::vector<float>> margins;
  std::optional<TZelEMeasure> measure;
  std::optional<std::string> generator;
  bool colorsFonts = false;
  std::optional<TFontSpec> font;
};

std::optional<TFontSpec> ParseFontOption(const std::string& v) {
  std::vector<std::string> parts = SplitText(v, ',');
  if (parts.empty() || parts[0].empty()) throw UsageError{"export: --font needs a font name"};
  TFontSpec f;
  f.Name = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string p = AsciiLower(parts[i]);
    if (p == "bold") f.Bold = true;
    else if (p == "italic") f.Italic = true;
    else {
      char* end = nullptr;
      const long n = std::strtol(p.c_str(), &end, 10);
      if (p.empty() || *end != '\0' || n < 1 || n > 200)
        throw UsageError{"export: --font takes NAME[,SIZE][,bold][,italic] with a size from 1 to 200"};
      f.Size = static_cast<int>(n);
    }
  }
  return f;
}

// Answers whether the option is one of the page options.
template <class Value>
bool ParsePageOption(const std::string& a, Value value, TPageArgs& r) {
  if (a == "--orientation") {
    const std::string v = AsciiLower(value());
    if (v == "default") r.orientation = emDefault;
    else if (v == "portrait") r.orientation = emPortrait;
    else if (v == "landscape") r.orientation = emLandscape;
    else throw UsageError{"export: --orientation is default, portrait or landscape"};
  } else if (a == "--margins") {
    std::vector<float> m;
    for (const std::string& part : SplitText(value(), ',')) {
      char* end = nullptr;
      const double d = std::strtod(part.c_str(), &end);
      if (part.empty() || *end != '\0' || !(d >= 0) || d > 100000)
        throw UsageError{"export: --margins takes four numbers L,T,R,B, none negative"};
      m.push_back(static_cast<float>(d));
    }
    if (m.size() != 4) throw UsageError{"export: --margins takes four numbers L,T,R,B"};
    r.margins = m;
  } else if (a == "--measure") {
    const std::string v = AsciiLower(value());
    if (v == "pt") r.measure = emPoint;
    else if (v == "in") r.measure = emInch;
    else if (v == "cm") r.measure = emCentimeters;
    else if (v == "pc") r.measure = emPicas;
    else throw UsageError{"export: --measure is pt, in, cm or pc"};
  } else if (a == "--generator") {
    r.generator = value();
  } else if (a == "--colors-fonts") {
    r.colorsFonts = true;
  } else if (a == "--font") {
    r.font = ParseFontOption(value());
  } else {
    return false;
  }
  return true;
}

void ApplyPageArgs(const TPageArgs& a, TZelExportMonitor& m) {
  if (a.orientation) m.PageSetup.Orientation = *a.orientation;
  if (a.measure) m.PageSetup.Measure = *a.measure;
  if (a.margins) {
    m.PageSetup.UseDefault = false;
    m.PageSetup.LeftMargin = (*a.margins)[0];
    m.PageSetup.TopMargin = (*a.margins)[1];
    m.PageSetup.RightMargin = (*a.margins)[2];
    m.PageSetup.BottomMargin = (*a.margins)[3];
  }
  if (a.generator) m.KeyGenerator = *a.generator;
  if (a.colorsFonts) m.Options.Include(soColorsFonts);
}

void ApplyPageFont(const TPageArgs& a, TGridColumns& grid) {
  if (!a.font) return;
  std::vector<TGridColumn> cols = grid.Columns();
  for (TGridColumn& c : cols) {
    TColor color = c.Font.Color, titleColor = c.Title.Font.Color;
    c.Font = *a.font;
    c.Font.Color = color;
    c.Title.Font = *a.font;
    c.Title.Font.Color = titleColor;
  }
  grid.SetColumns(std::move(cols));
}

struct TExportArgs {
  std::string table, output, spec, encoding, columns;
  std::optional<std::string> format;
  std::optional<bool> title, fieldNames, blankRow, fixed, merge, exportIfEmpty, blankIfZero, displayText;
  std::optional<char> separator, qualifier;
  std::optional<TZelETextQualifying> qualify;
  std::vector<std::string> sets;  // FORMAT.KEY=VALUE
  std::optional<std::string> recordSeparator;
  std::optional<TZelELayout> layout;
  std::vector<std::string> header, footer;
  std::optional<TCharacterSet> charset;
  std::optional<int> rowsPerFile;
  std::optional<TZelEDateOrder> dateOrder;
  std::optional<char> dateSeparator, timeSeparator, decimal, thousand;
  std::optional<bool> fourDigitYear, leadingZeros;
  std::optional<std::string> dateFormat, currency, boolTrue, boolFalse;
  std::optional<std::string> tableName;
  // XML.
  std::optional<TZelEXMLFormat> xmlLayout;
  // HTML
  std::optional<std::string> htmlTemplate;
  std::optional<bool> htmlHeaderFooter;
  std::optional<std::string> ldifBase;
  // SQL scripts.
  std::optional<TZelESQLDialect> sqlDialect;
  std::optional<bool> sqlCreateTable, sqlMultiRow;
  std::optional<int> sqlBatch;
  // Code page of 8-bit formats.
  std::optional<int> codePage;
  TPageArgs page;
  // Paradox and dBase tables.
  std::optional<TBDETableType> tableType;
  // Database target (ADO).
  std::optional<std::string> dbUser, dbPassword;
  // Office suite formats.
  std::optional<std::string> sheet, filter;
  bool columnsGiven = false;
  bool quiet = false;
  bool allowLossy = false;
  bool salvage = false;

  // Whether a setting of the display texts was given.
  bool FormatsGiven() const {
    return dateOrder || dateSeparator || timeSeparator || fourDigitYear || leadingZeros || dateFormat || decimal ||
           thousand || currency || boolTrue || boolFalse;
  }
};

TExportArgs ParseArgs(const std::vector<std::string>& args) {
  TExportArgs r;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string inlineValue;
    bool hasInline = false;
    if (a.rfind("--", 0) == 0) {
      size_t eq = a.find('=');
      if (eq != std::string::npos) {
        inlineValue = a.substr(eq + 1);
        a = a.substr(0, eq);
        hasInline = true;
      }
    }
    auto value = [&]() -> std::string {
      if (hasInline) return inlineValue;
      if (i + 1 >= args.size()) throw UsageError{"export: " + a + " needs a value"};
      return args[++i];
    };
    auto flag = [&](std::optional<bool>& dest, bool v) {
      if (hasInline) throw UsageError{"export: " + a + " takes no value"};
      dest = v;
    };
    if (a == "--format") r.format = value();
    else if (a == "--output" || a == "-o") r.output = value();
    else if (a == "--spec") r.spec = value();
    else if (a == "--columns") {
      r.columns = value();
      r.columnsGiven = true;
    } else if (a == "--title") flag(r.title, true);
    else if (a == "--no-title") flag(r.title, false);
    else if (a == "--field-names") flag(r.fieldNames, true);
    else if (a == "--blank-row") flag(r.blankRow, true);
    else if (a == "--separator") r.separator = CharOption(a, value());
    else if (a == "--qualifier") r.qualifier = CharOption(a, value());
    else if (a == "--qualify") {
      std::string v = value();
      if (v == "text") r.qualify = tqStringOnly;
      else if (v == "non-numeric") r.qualify = tqNoNumber;
      else if (v == "all") r.qualify = tqAny;
      else throw UsageError{"export: --qualify is text, non-numeric or all, not \"" + v + "\""};
    }
    else if (a == "--record-separator") {
      std::string v = value();
      if (v == "crlf") r.recordSeparator = "\r\n";
      else if (v == "lf") r.recordSeparator = "\n";
      else if (v == "cr") r.recordSeparator = "\r";
      else throw UsageError{"export: --record-separator is crlf, lf or cr, not \"" + v + "\""};
    } else if (a == "--fixed") flag(r.fixed, true);
    else if (a == "--delimited") flag(r.fixed, false);
    else if (a == "--layout") {
      std::string v = value();
      if (v == "columnar") r.layout = elColumnar;
      else if (v == "reversed") r.layout = elReversedColumnar;
      else if (v == "tabular") r.layout = elTabularForm;
      else throw UsageError{"export: --layout is columnar, reversed or tabular, not \"" + v + "\""};
    } else if (a == "--header") r.header.push_back(value());
    else if (a == "--footer") r.footer.push_back(value());
    else if (a == "--charset") {
      std::string v = AsciiUpper(value());
      if (v == "ANSI") r.charset = csANSI_WINDOWS;
      else if (v == "OEM" || v == "ASCII" || v == "MSDOS") r.charset = csASCII_MSDOS;
      else if (v == "EBCDIC") r.charset = csEBCDIC;
      else throw UsageError{"export: --charset is ansi, oem or ebcdic"};
    } else if (a == "--rows-per-file") {
      std::string v = value();
      char* end = nullptr;
      long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 0 || n > 2147483647L)
        throw UsageError{"export: --rows-per-file needs a number of records, not \"" + v + "\""};
      r.rowsPerFile = static_cast<int>(n);
    } else if (a == "--merge") flag(r.merge, true);
    else if (a == "--no-empty") flag(r.exportIfEmpty, false);
    else if (a == "--blank-if-zero") flag(r.blankIfZero, true);
    else if (a == "--display-text") flag(r.displayText, true);
    else if (a == "--no-display-text") flag(r.displayText, false);
    else if (a == "--date-order") {
      std::string v = AsciiUpper(value());
      bool found = false;
      for (int d = doMDY; d <= doMYD; ++d) {
        if (v == DateOrderName(static_cast<TZelEDateOrder>(d))) {
          r.dateOrder = static_cast<TZelEDateOrder>(d);
          found = true;
        }
      }
      if (!found) throw UsageError{"export: --date-order is MDY, DMY, YMD, YDM, DYM or MYD"};
    } else if (a == "--date-separator") r.dateSeparator = CharOption(a, value());
    else if (a == "--time-separator") r.timeSeparator = CharOption(a, value());
    else if (a == "--four-digit-year") flag(r.fourDigitYear, true);
    else if (a == "--two-digit-year") flag(r.fourDigitYear, false);
    else if (a == "--leading-zeros") flag(r.leadingZeros, true);
    else if (a == "--no-leading-zeros") flag(r.leadingZeros, false);
    else if (a == "--date-format") r.dateFormat = value();
    else if (a == "--decimal") r.decimal = CharOption(a, value());
    else if (a == "--thousand") r.thousand = CharOption(a, value());
    else if (a == "--currency") r.currency = value();
    else if (a == "--true") r.boolTrue = value();
    else if (a == "--false") r.boolFalse = value();
    else if (a == "--set") r.sets.push_back(value());
    else if (a == "--table-name" || a == "--table") r.tableName = value();
    else if (a == "--xml-layout") {
      std::string v = value();
      const char* names[] = {"ie", "ie-compact", "client-dataset", "element", "mssql"};
      bool found = false;
      for (int k = 0; k < 5; ++k)
        if (v == names[k]) {
          r.xmlLayout = static_cast<TZelEXMLFormat>(k);
          found = true;
        }
      if (!found) throw UsageError{"export: --xml-layout is ie, ie-compact, client-dataset, element or mssql"};
    }
    // HTML
    else if (a == "--html-template") r.htmlTemplate = value();
    else if (a == "--html-header-footer") flag(r.htmlHeaderFooter, true);
    else if (a == "--ldif-base") r.ldifBase = value();
    else if (a == "--sql-dialect") {
      const std::string d = AsciiLower(value());
      if (d == "generic") r.sqlDialect = sdGeneric;
      else if (d == "sqlite") r.sqlDialect = sdSQLite;
      else if (d == "postgresql") r.sqlDialect = sdPostgreSQL;
      else throw UsageError{"export: --sql-dialect is generic, sqlite or postgresql"};
    } else if (a == "--sql-create-table") r.sqlCreateTable = true;
    else if (a == "--sql-multi-row") r.sqlMultiRow = true;
    else if (a == "--sql-batch") {
      const std::string v = value();
      char* end = nullptr;
      const long long n = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 1 || n > 2147483647)
        throw UsageError{"export: --sql-batch takes a number of records from 1 to 2147483647"};
      r.sqlBatch = static_cast<int>(n);
    }
    else if (a == "--encoding") r.encoding = value();
    else if (a == "--code-page") {
      const std::string v = value();
      try {
        r.codePage = ParseCodePage(v);
      } catch (const std::exception& e) {
        throw UsageError{std::string("export: --code-page: ") + e.what()};
      }
    }
    else if (ParsePageOption(a, value, r.page)) {}
    // Paradox and dBase tables
    else if (a == "--table-type") {
      const std::string v = AsciiLower(value());
      if (v == "paradox") r.tableType = ttParadox;
      else if (v == "dbase") r.tableType = ttDBase;
      else if (v == "foxpro") r.tableType = ttFoxPro;
      else if (v == "ascii") r.tableType = ttASCII;
      else throw UsageError{"export: --table-type is paradox or dbase"};
    }
    // Database target (ADO)
    else if (a == "--user") r.dbUser = value();
    else if (a == "--password") r.dbPassword = value();
    // Office suite formats
    else if (a == "--sheet") {
      r.sheet = value();
      if (r.sheet->empty()) throw UsageError{"export: --sheet needs a sheet name"};
    } else if (a == "--filter") {
      r.filter = value();
      if (r.filter->empty()) throw UsageError{"export: --filter needs a filter name"};
    }
    else if (a == "--quiet" || a == "-q") r.quiet = true;
    else if (a == "--allow-lossy") r.allowLossy = true;
    else if (a == "--salvage") r.salvage = true;
    else if (a.size() > 1 && a[0] == '-') throw UsageError{"export: unknown option \"" + args[i] + "\""};
    else if (r.table.empty()) r.table = a;
    else throw UsageError{"export: only one table can be exported"};
  }
  if (r.table.empty()) throw UsageError{"export: no table given"};
  // The value settings act on display texts only, as on the wizard's formats page.
  if (r.displayText == false && r.FormatsGiven())
    throw UsageError{"export: the date, number and boolean settings apply to display texts; "
                     "they cannot be given with --no-display-text"};
  return r;
}

// The help text with the formats this build writes, from the format table, in
// the --format line (wrapped under its description column).
std::string ExportHelp() {
  std::string words = "format name:";
  bool first = true;
  for (const TZelEFormat& f : ExportFormats()) {
    if (!f.Built()) continue;
    words += first ? " " : ", ";
    words += TableTypeName(f.Type);
    first = false;
  }
  words += " (the others are not available in this build)";
  const size_t column = 26, width = 80;
  std::string lines, line = "  --format F" + std::string(column - 12, ' ');
  size_t i = 0;
  while (i < words.size()) {
    size_t end = words.find(' ', i);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(i, end - i);
    if (line.size() > column && line.size() + 1 + word.size() > width) {
      lines += line + "\n";
      line = std::string(column, ' ');
    }
    if (line.size() > column) line += ' ';
    line += word;
    i = end + 1;
  }
  lines += line;
  lines += "\n";
  std::string help = kExportHelp;
  const size_t at = help.find("@FORMATS@");
  if (at != std::string::npos) help.replace(at, 9, lines);
  return help;
}

// The format of a run must have a writer in this build.
void CheckFormatBuilt(TTableTypeExport t) {
  // Access cannot be written on Linux; ADO needs an ODBC driver; the office formats
  // need LibreOffice.
  const std::string why = FormatUnavailableReason(t);
  if (why.empty()) return;
  if (t == teAccess || t == teADO) throw UsageError{"export: " + why};
  if (ExportFormat(t).Create)
    throw UsageError{std::string("export: the ") + TableTypeName(t) + " format is not available: " + why};
  throw UsageError{std::string("export: the ") + TableTypeName(t) + " format is not available in this build"};
}

// --set FORMAT.KEY=VALUE: a setting of a format's own.
void ApplySetting(const std::string& spec, TZelEFormatSettingsSet& settings) {
  size_t dot = spec.find('.');
  size_t eq = spec.find('=');
  if (dot == std::string::npos || eq == std::string::npos || dot > eq)
    throw UsageError{"export: --set takes FORMAT.KEY=VALUE, not \"" + spec + "\""};
  TTableTypeExport t;
  if (!TableTypeFromName(spec.substr(0, dot), t))
    throw UsageError{"export: --set names no format: \"" + spec.substr(0, dot) + "\""};
  TZelEFormatSettings* s = settings.Of(t);
  if (!s) throw UsageError{std::string("export: the ") + TableTypeName(t) + " format has no settings of its own"};
  try {
    s->Set(spec.substr(dot + 1, eq - dot - 1), spec.substr(eq + 1), true);
  } catch (const EZelESettingError& e) {
    throw UsageError{std::string("export: --set ") + TableTypeName(t) + ": " + e.what()};
  }
}

// --list-settings: every format's own settings with what they take.
void ListSettings() {
  TZelEFormatSettingsSet all;
  all.AddAll();
  for (const auto& [t, s] : all.Items()) {
    std::printf("%s%s\n", TableTypeName(t), ExportFormat(t).Built() ? "" : " (format not built yet)");
    for (const std::string& key : s->KeyNames())
      std::printf("  %s.%s=%s  (default %s)\n", TableTypeName(t), key.c_str(), s->Describe(key).c_str(),
                  s->Get(key).c_str());
  }
}

void ApplyArgs(const TExportArgs& a, TZelExportMonitor& m) {
  // Database target (ADO): the login goes into the connection string.
  if (a.dbUser || a.dbPassword) {
    if (m.TableType() != teADO) throw UsageError{"export: --user and --password are for --format ADO"};
    m.FileName = odbc::ConnectionStringFor(m.FileName, a.dbUser.value_or(""), a.dbPassword.value_or(""));
  }
  if (a.title) m.AddTitle = *a.title;
  if (a.tableName) m.TableName = *a.tableName;
  // HTML
  if (a.htmlTemplate) {
    std::string page;
    if (!ReadWholeFile(*a.htmlTemplate, page))
      throw UsageError{"export: --html-template: cannot read \"" + *a.htmlTemplate + "\""};
    m.FormatSettings.Get<TZelEHTMLSettings>(teHTML).HTMLPattern = page;
  }
  if (a.htmlHeaderFooter) m.FormatSettings.Get<TZelEHTMLSettings>(teHTML).HeaderFooterWithHTML = *a.htmlHeaderFooter;
  if (a.ldifBase) m.FormatSettings.Get<TZelELDIFSettings>(teLDIF).LDIFBaseDN = *a.ldifBase;
  if (a.sqlDialect || a.sqlCreateTable || a.sqlMultiRow || a.sqlBatch) {
    TZelESQLOptions& sql = m.FormatSettings.Get<TZelESQLOptions>(teSQL);
    if (a.sqlDialect) sql.Dialect = *a.sqlDialect;
    if (a.sqlCreateTable) sql.AddCreateTable = true;
    if (a.sqlMultiRow) sql.MultiRowInsert = true;
    if (a.sqlBatch) sql.BatchRecCount = *a.sqlBatch;
  }
  if (a.fieldNames) m.Options.Set(soUseFieldNameAsCaption, *a.fieldNames);
  if (a.blankRow) m.Options.Set(soBlankRowAfterCaptions, *a.blankRow);
  if (a.separator) m.Separator = *a.separator;
  if (a.qualifier) m.TextQualifier = *a.qualifier;
  if (a.qualify) m.FormatSettings.Get<TZelETextSettings>(teText).TextQualifying = *a.qualify;
  if (a.xmlLayout) m.FormatSettings.Get<TZelEXMLSettings>(teXML).Format = *a.xmlLayout;
  for (const std::string& s : a.sets) ApplySetting(s, m.FormatSettings);
  if (a.recordSeparator) m.RecordSeparator = *a.recordSeparator;
  if (a.fixed) m.Fixed = *a.fixed;
  if (a.layout) m.Layout = *a.layout;
  if (!a.header.empty()) m.Header = a.header;
  if (!a.footer.empty()) m.Footer = a.footer;
  if (a.charset) m.CharacterSet = *a.charset;
  if (a.codePage) m.CodePage = *a.codePage;
  // Paradox and dBase tables
  if (a.tableType) {
    if (m.TableType() != teParadox) throw UsageError{"export: --table-type goes with --format Paradox"};
    m.FormatSettings.Get<TZelEBDESettings>(teParadox).TableType = *a.tableType;
  }
  // Office suite formats: the sheet is named by the run's key; the document's
  // filter follows the output's extension unless one is given.
  if (a.sheet) m.KeyGenerator = *a.sheet;
  if (a.filter) {
    m.FilterName = *a.filter;
  } else if (m.TableType() == teOpenOffice) {
    const size_t dot = m.FileName.find_last_of('.'), slash = m.FileName.find_last_of('/');
    const std::string ext =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : m.FileName.substr(dot);
    for (const std::string& f : TZelExportToOpenOffice::TextDocumentFilters())
      if (f != "Text (encoded)" && SameTextAscii(TZelExportToOpenOffice::FilterExtension(f), ext)) {
        m.FilterName = f;
        break;
      }
  }
  if (a.rowsPerFile) m.RowsPerFile = *a.rowsPerFile;
  ApplyPageArgs(a.page, m);
  if (a.merge) m.Options.Set(soMergeData, *a.merge);
  if (a.exportIfEmpty) m.ExportIfEmpty = *a.exportIfEmpty;
  if (a.blankIfZero) m.BlankIfZero = *a.blankIfZero;
  if (a.displayText) m.Options.Set(soFieldMask, *a.displayText);
  // A value setting asks for the texts it shapes.
  if (a.FormatsGiven()) m.Options.Include(soFieldMask);
  TZelEDataFormats& df = m.DataFormats;
  if (a.dateOrder) df.DateOrder = *a.dateOrder;
  if (a.dateSeparator) df.DateSeparator = *a.dateSeparator;
  if (a.timeSeparator) df.TimeSeparator = *a.timeSeparator;
  if (a.fourDigitYear) df.FourDigitYear = *a.fourDigitYear;
  if (a.leadingZeros) df.LeadingZerosInDate = *a.leadingZeros;
  if (a.dateFormat) df.CustomDateTimeFormat = *a.dateFormat;
  if (a.decimal) df.DecimalSeparator = *a.decimal;
  if (a.thousand) df.ThousandSeparator = *a.thousand;
  if (a.currency) df.CurrencyString = *a.currency;
  if (a.boolTrue) df.BooleanTrue = *a.boolTrue;
  if (a.boolFalse) df.BooleanFalse = *a.boolFalse;
  // Settings from the command line are meant as given.
  if (a.dateOrder || a.dateSeparator || a.timeSeparator || a.fourDigitYear || a.leadingZeros || a.dateFormat ||
      a.decimal || a.thousand || a.currency)
    df.UseRegionalSettings = false;
}

// The grid's columns for --columns: the named fields in the given order.
void SelectColumns(TGridColumns& grid, const std::string& list) {
  std::vector<TGridColumn> all = grid.Columns();
  std::vector<TGridColumn> chosen;
  for (const std::string& name : SplitText(list, ',')) {
    if (name.empty()) throw UsageError{"export: --columns holds an empty field name"};
    const TGridColumn* found = nullptr;
    // Field names are matched as shown (decoded), then as stored, then without
    // regard to case.
    for (const TGridColumn& c : all)
      if (c.Title.Caption == name || c.FieldName == name) found = found ? found : &c;
    if (!found)
      for (const TGridColumn& c : all)
        if (SameTextAscii(c.Title.Caption, name)) found = found ? found : &c;
    if (!found) throw UsageError{"export: the table has no field \"" + name + "\""};
    chosen.push_back(*found);
  }
  grid.SetColumns(std::move(chosen));
}

}  // namespace

int CmdExport(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(ExportHelp().c_str(), stdout);
      return kExitOk;
    }
    if (a == "--list-settings") {
      ListSettings();
      return kExitOk;
    }
  }
  TExportArgs a = ParseArgs(args);
  std::optional<TTableTypeExport> format;
  if (a.format) {
    TTableTypeExport t;
    if (!TableTypeFromName(*a.format, t)) throw UsageError{"export: unknown format \"" + *a.format + "\""};
    CheckFormatBuilt(t);
    format = t;
  }
  if (!a.spec.empty() && !IsFile(a.spec))
    throw Exception("cannot read the export settings file \"" + a.spec + "\": no such file");
  int overrideCp = 0;
  const bool autoEncoding = a.encoding == "auto";
  if (!a.encoding.empty() && !autoEncoding) {
    try {
      overrideCp = ParseCodePage(a.encoding);
    } catch (const std::exception& e) {
      throw UsageError{std::string("export: ") + e.what()};
    }
  }

  THeadlessServices services(a.quiet);
  TZelExportMonitor m;
  m.SetServices(&services);
  m.DataFormats = TZelEDataFormats::MainWindowDefaults();
  if (!a.spec.empty()) {
    m.LoadSpecification(a.spec);
    if (!format) CheckFormatBuilt(m.TableType());
  } else {
    // Values holding the separator or a line break stay whole only in a
    // qualifier; a settings file keeps the qualifier it names.
    m.TextQualifier = '"';
  }
  if (format) {
    // The format given here does not rename the settings file's output.
    std::string name = m.FileName;
    m.SetTableType(*format);
    m.FileName = name;
  }
  if (m.TableType() == teClipboard) {
    // The clipboard is the output; the name only fills the final message.
    if (!a.output.empty()) throw UsageError{"export: --format Clipboard takes no --output (the text goes to the clipboard)"};
    m.FileName = "clipboard";
  } else if (!a.output.empty()) {
    m.FileName = a.output;
  } else if (a.spec.empty()) {
    throw UsageError{"export: no output file given (--output FILE)"};
  }
  if (m.FileName.empty()) throw UsageError{"export: the export settings name no file; give --output FILE"};
  ApplyArgs(a, m);

  // The table is opened as dump opens it, so a table that cannot be read fails
  // with the same message.
  TPdx table;
  table.SetTableName(a.table);
  table.SetSalvage(a.salvage);
  table.Open();
  RefuseEncrypted(table);
  WarnReadProblems(table);
  if (autoEncoding) overrideCp = AutoCodePage(table);
  const int codePage = SourceCodePage(table, overrideCp);
  std::shared_ptr<const TTextDecoder> decoder = TTextDecoder::For(codePage);
  // Text that cannot be decoded becomes U+FFFD; formatted memos, which are written
  // as dump writes them, keep such bytes as escapes ("\x90") as in dump.
  table.OnEncode = [decoder](TDataSet&, const TField& field, const std::string& text) {
    return decoder->Decode(text, field.DataType() == ftFmtMemo ? DecodeMode::Escape : DecodeMode::Replace);
  };

  // The viewer's grid for a freshly opened table; titles are the decoded names.
  TDataSource source;
  source.SetDataSet(&table);
  TGridColumns grid;
  grid.SetDataSource(&source);
  grid.RebuildFromFields();
  {
    std::vector<TGridColumn> cols = grid.Columns();
    for (TGridColumn& c : cols) c.Title.Caption = decoder->Decode(c.FieldName, DecodeMode::Replace);
    grid.SetColumns(std::move(cols));
  }
  if (a.columnsGiven) {
    SelectColumns(grid, a.columns);
    m.Columns.Clear();  // the command line's choice replaces the settings file's
  }
  ApplyPageFont(a.page, grid);
  m.DBGrid = &grid;
  m.DataSet = &table;
  m.ColumnSource = csDBGrid;
  m.DataEngine = nullptr;
  m.SelectedRecord = false;
  // The command line reports the outcome itself, once; nothing is opened or mailed.
  m.Options.Exclude(soShowMessage);
  m.ActionAfterExport = aeNone;
  m.AnimatedStatus = true;  // the progress bar (drawn unless --quiet) carries Ctrl-C

  m.Run();
  const TZelEStatistic& st = m.Statistic;
  if (st.Result != erCompleted) {
    std::string msg = st.Message.empty() ? std::string("the export did not complete") : st.Message;
    std::fprintf(stderr, "korvane-cli: %s\n", msg.c_str());
    if (table.ChainFault() && !table.Salvage())
      std::fprintf(stderr, "korvane-cli: the block chain is broken; --salvage reads every record that can be found\n");
    if (!st.FilesWritten.empty())
      std::fprintf(stderr, "korvane-cli: %zu finished files were kept, %s to %s\n", st.FilesWritten.size(),
                   st.FilesWritten.front().c_str(), st.FilesWritten.back().c_str());
    // Ended by a signal: its output is cleaned up, now the program ends by it.
    if (int sig = TerminationSignal()) {
      std::fflush(stderr);
      std::signal(sig, SIG_DFL);
      std::raise(sig);
    }
    return kExitError;
  }
  const bool lost = ReportSalvage(table);
  const bool lossy = (st.TotalErrors > 0 || lost) && !a.allowLossy;
  if ((!a.quiet || lossy) && !st.Message.empty()) std::fprintf(stderr, "korvane-cli: %s\n", st.Message.c_str());
  return lossy ? kExitError : kExitOk;
}

}  // namespace korvane::cli
