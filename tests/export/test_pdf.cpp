// PDF documents: the file's structure read back (every cross-reference offset
// at its object, every stream as long as its /Length says), pages broken only
// where a whole row fits, wide tables capped and scaled, strings and names
// escaped, text that extracts as stored (ToUnicode), pictures placed and a
// damaged one refused without a huge allocation; the BMP decoder, the filters
// and line wrapping.

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <regex>

#include "engine/pdxgenerate.h"
#include "export/ZelEBitmap.h"
#include "export/formats/ZelE2PDF.h"
#include "export_test_util.h"
#include "platform/fonts.h"

namespace korvane::test {
namespace {

std::string Inflate(const std::string& data) {
  std::string out(std::max<size_t>(data.size() * 8, 4096), '\0');
  while (true) {
    uLongf n = static_cast<uLongf>(out.size());
    int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()));
    if (rc == Z_BUF_ERROR) {
      out.resize(out.size() * 4);
      continue;
    }
    if (rc != Z_OK) return "<inflate failed>";
    out.resize(n);
    return out;
  }
}

// A PDF file read back by object.
struct TPdf {
  std::string Bytes;
  std::map<int, std::string> Dict;    // object number -> text up to "stream" or "endobj"
  std::map<int, std::string> Stream;  // object number -> stream data (by /Length)
  std::vector<std::string> Problems;

  explicit TPdf(std::string bytes) : Bytes(std::move(bytes)) {
    const size_t xref = Bytes.rfind("\nxref\n");
    const size_t start = Bytes.rfind("startxref\n");
    if (xref == std::string::npos || start == std::string::npos) {
      Problems.push_back("no xref");
      return;
    }
    if (std::stoll(Bytes.substr(start + 10)) != static_cast<long long>(xref + 1)) Problems.push_back("startxref");
    size_t p = Bytes.find('\n', xref + 6);
    const int count = std::stoi(Bytes.substr(Bytes.find(' ', xref + 6) + 1));
    ++p;
    for (int n = 0; n < count; ++n, p += 20) {
      const std::string entry = Bytes.substr(p, 20);
      if (entry.size() != 20 || entry.substr(18) != "\r\n") Problems.push_back("entry " + std::to_string(n));
      if (entry[17] != 'n') continue;
      const size_t off = std::stoull(entry.substr(0, 10));
      const std::string head = std::to_string(n) + " 0 obj\n";
      if (Bytes.compare(off, head.size(), head) != 0) {
        Problems.push_back("object " + std::to_string(n) + " not at its offset");
        continue;
      }
      const size_t body = off + head.size();
      const size_t end = Bytes.find("endobj", body);
      const size_t st = Bytes.find("stream\n", body);
      if (st != std::string::npos && st < end) {
        Dict[n] = Bytes.substr(body, st - body);
        std::smatch m;
        if (!std::regex_search(Dict[n], m, std::regex("/Length (\\d+)"))) {
          Problems.push_back("no length " + std::to_string(n));
          continue;
        }
        const size_t len = std::stoull(m[1]);
        Stream[n] = Bytes.substr(st + 7, len);
        if (Bytes.compare(st + 7 + len, 11, "\nendstream\n") != 0)
          Problems.push_back("length of " + std::to_string(n));
      } else {
        Dict[n] = Bytes.substr(body, end - body);
      }
    }
  }
  std::vector<int> Of(const std::string& type) const {
    std::vector<int> out;
    for (const auto& [n, d] : Dict)
      if (d.find("/Type " + type + " ") != std::string::npos || d.find("/Type " + type + "\n") != std::string::npos)
        out.push_back(n);
    return out;
  }
  // The page contents, inflated, in page order.
  std::vector<std::string> Contents() const {
    std::vector<std::string> out;
    for (int page : Of("/Page")) {
      std::smatch m;
      const std::string& d = Dict.at(page);
      if (std::regex_search(d, m, std::regex("/Contents (\\d+) 0 R"))) out.push_back(Inflate(Stream.at(std::stoi(m[1]))));
    }
    return out;
  }
};

void AppendUtf8(std::string& s, uint32_t cp) {
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The operations of a content stream that set and show text: "Tf" (font
// number), "Td" (the absolute start of the line: a text object starts at 0 0
// and each Td moves from the line before), "Tj" (the string's bytes, from a
// literal or a hex string) and "ET".
struct TTextOp {
  std::string Op;
  int Font = 0;
  double X = 0, Y = 0;
  std::string Bytes;
};

std::vector<TTextOp> TextOps(const std::string& c) {
  std::vector<TTextOp> ops;
  std::vector<std::string> operands;
  std::vector<std::string> strings;  // of the operands, in order
  double x = 0, y = 0;
  size_t p = 0;
  auto isDelim = [](char ch) { return std::string_view(" \t\r\n()<>[]/%").find(ch) != std::string_view::npos; };
  while (p < c.size()) {
    const char ch = c[p];
    if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t' || ch == '[' || ch == ']') {
      ++p;
    } else if (ch == '(') {
      std::string bytes;
      int depth = 1;
      ++p;
      while (p < c.size()) {
        const char b = c[p++];
        if (b == '\\' && p < c.size()) {
          const char e = c[p++];
          if (e == 'n') bytes += '\n';
          else if (e == 'r') bytes += '\r';
          else if (e == 't') bytes += '\t';
          else if (e >= '0' && e <= '7') {
            int v = e - '0';
            for (int k = 0; k < 2 && p < c.size() && c[p] >= '0' && c[p] <= '7'; ++k) v = v * 8 + (c[p++] - '0');
            bytes += static_cast<char>(v);
          } else {
            bytes += e;
          }
        } else if (b == '(') {
          ++depth;
          bytes += b;
        } else if (b == ')') {
          if (--depth == 0) break;
          bytes += b;
        } else {
          bytes += b;
        }
      }
      strings.push_back(bytes);
    } else if (ch == '<' && p + 1 < c.size() && c[p + 1] != '<') {
      const size_t end = c.find('>', p);
      std::string bytes;
      const std::string hex = c.substr(p + 1, end - p - 1);
      for (size_t k = 0; k + 2 <= hex.size(); k += 2) bytes += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
      strings.push_back(bytes);
      p = end + 1;
    } else {
      size_t end = p + 1;
      while (end < c.size() && !isDelim(c[end])) ++end;
      const std::string word = c.substr(p, end - p);
      p = end;
      if (word == "BT") {
        x = y = 0;
      } else if (word == "Td" && operands.size() >= 2) {
        x += std::stod(operands[operands.size() - 2]);
        y += std::stod(operands.back());
        ops.push_back({"Td", 0, x, y, ""});
      } else if (word == "Tf" && operands.size() >= 2) {
        ops.push_back({"Tf", std::stoi(operands[operands.size() - 2].substr(2)), 0, 0, ""});
      } else if (word == "Tj" || word == "TJ") {
        for (const std::string& b : strings) ops.push_back({"Tj", 0, 0, 0, b});
      } else if (word == "ET") {
        ops.push_back({"ET", 0, 0, 0, ""});
      } else if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' ||
                                   word[0] == '.' || word[0] == '/')) {
        operands.push_back(word);
        continue;
      }
      if (!word.empty() && !(std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' || word[0] == '.' ||
                             word[0] == '/')) {
        operands.clear();
        strings.clear();
      }
    }
  }
  return ops;
}

// Where the lines of text start on a page.
std::vector<std::pair<double, double>> LineStarts(const std::string& c) {
  std::vector<std::pair<double, double>> out;
  for (const TTextOp& op : TextOps(c))
    if (op.Op == "Td") out.emplace_back(op.X, op.Y);
  return out;
}

// UTF-8 of the texts a document's fonts map their codes to, in drawing order
// (a line break where a line of text starts or a text object ends).
std::string ExtractText(const TPdf& pdf) {
  std::map<int, std::map<std::string, std::string>> codes;  // font object -> code -> UTF-16 hex
  for (int f : pdf.Of("/Font")) {
    std::smatch m;
    const std::string& d = pdf.Dict.at(f);
    if (!std::regex_search(d, m, std::regex("/ToUnicode (\\d+) 0 R"))) continue;
    const std::string cmap = Inflate(pdf.Stream.at(std::stoi(m[1])));
    std::regex entry("<([0-9A-F]{4})> <([0-9A-F]*)>");
    for (auto it = std::sregex_iterator(cmap.begin(), cmap.end(), entry); it != std::sregex_iterator(); ++it)
      codes[f][(*it)[1]] = (*it)[2];
  }
  std::string out;
  for (int page : pdf.Of("/Page")) {
    const std::string& d = pdf.Dict.at(page);
    std::map<std::string, int> resources;
    std::regex res("/F(\\d+) (\\d+) 0 R");
    for (auto it = std::sregex_iterator(d.begin(), d.end(), res); it != std::sregex_iterator(); ++it)
      resources[(*it)[1]] = std::stoi((*it)[2]);
    std::smatch m;
    if (!std::regex_search(d, m, std::regex("/Contents (\\d+) 0 R"))) continue;
    const std::string c = Inflate(pdf.Stream.at(std::stoi(m[1])));
    int font = 0;
    for (const TTextOp& op : TextOps(c)) {
      if (op.Op == "Tf") {
        font = resources[std::to_string(op.Font)];
      } else if (op.Op == "Tj") {
        for (size_t k = 0; k + 2 <= op.Bytes.size(); k += 2) {
          char code[8];
          std::snprintf(code, sizeof code, "%02X%02X", static_cast<unsigned char>(op.Bytes[k]),
                        static_cast<unsigned char>(op.Bytes[k + 1]));
          const std::string u = codes[font][code];
          for (size_t j = 0; j + 4 <= u.size(); j += 4) {
            uint32_t cp = static_cast<uint32_t>(std::stoul(u.substr(j, 4), nullptr, 16));
            if (cp >= 0xD800 && cp < 0xDC00 && j + 8 <= u.size()) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (std::stoul(u.substr(j + 4, 4), nullptr, 16) - 0xDC00);
              j += 4;
            }
            std::string s;
            AppendUtf8(s, cp);
            out += s;
          }
        }
      } else {
        out += '\n';
      }
    }
  }
  return out;
}

using TPdfRun = TWriterRun<TZelExportToPDF>;

TEST_F(TPdfRun, StructureIsExactAndTextExtractsAsStored) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.AddTitle = true;
  w.Header = {"a(b)c\\d { }"};
  w.Footer = {"end"};
  w.KeyGenerator = "Report (draft) \\ \xC3\xBC";
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty()) << ::testing::PrintToString(pdf.Problems);
  EXPECT_EQ(pdf.Bytes.substr(0, 9), "%PDF-1.4\n");
  // The title is one escaped string: ASCII escaped, anything else UTF-16BE.
  EXPECT_NE(pdf.Dict.at(2).find("/Title <FEFF"), std::string::npos) << pdf.Dict.at(2);
  EXPECT_EQ(pdf.Dict.at(2).find("http"), std::string::npos);
  const std::string text = ExtractText(pdf);
  for (const char* want : {"a(b)c\\d { }", "Name", "apple", "1.5", "plum", "-4", "end"})
    EXPECT_NE(text.find(want), std::string::npos) << want << " in " << text;
  EXPECT_LT(text.find("apple"), text.find("pear"));
  EXPECT_LT(text.find("pear"), text.find("plum"));
  // Fonts: a Type0 font over an embedded subset.
  const std::vector<int> fonts = pdf.Of("/Font");
  bool type0 = false;
  for (int f : fonts) {
    const std::string& d = pdf.Dict.at(f);
    if (d.find("/Subtype /Type0") == std::string::npos) continue;
    type0 = true;
    EXPECT_NE(d.find("/Encoding /Identity-H"), std::string::npos);
    EXPECT_TRUE(std::regex_search(d, std::regex("/BaseFont /[A-Z]{6}\\+"))) << d;
  }
  EXPECT_TRUE(type0);
  bool file2 = false;
  for (const auto& [n, d] : pdf.Dict)
    if (d.find("/Length1 ") != std::string::npos) file2 = true;
  EXPECT_TRUE(file2);
  // No picture: no XObject, text procedures only.
  EXPECT_EQ(pdf.Bytes.find("/XObject"), std::string::npos);
}

TEST_F(TPdfRun, PagesHoldWholeRowsAndNoBlankPageFollows) {
  // Rows are 20 points; a portrait page holds (792 - 20) / 20 = 38 of them.
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 38 * 3; ++i) rows.push_back({TWriterValue("r" + std::to_string(i)), TWriterValue(i), TWriterValue(1.0)});
  TOpenTable t(kThreeSpec, rows);
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  EXPECT_EQ(w.PageCount(), 3);
  EXPECT_EQ(pdf.Of("/Page").size(), 3u);
  // Every drawn baseline and rule lies inside the margins.
  for (const std::string& c : pdf.Contents()) {
    const auto starts = LineStarts(c);
    EXPECT_FALSE(starts.empty());
    for (auto [x, y] : starts) {
      EXPECT_GE(y, 10.0);
      EXPECT_LE(y, 782.0);
    }
    std::regex re("([0-9.-]+) ([0-9.-]+) ([0-9.-]+) ([0-9.-]+) re");
    for (auto it = std::sregex_iterator(c.begin(), c.end(), re); it != std::sregex_iterator(); ++it) {
      EXPECT_GE(std::stod((*it)[2]), 10.0 - 0.01);
      EXPECT_LE(std::stod((*it)[2]) + std::stod((*it)[4]), 782.0 + 0.01);
    }
  }
}

TEST_F(TPdfRun, ColumnRulesRunOverTheRowsOfAPageOnly) {
  // Two full pages and five rows on a third.
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 38 * 2 + 5; ++i) rows.push_back({TWriterValue("r"), TWriterValue(i), TWriterValue(1.0)});
  TOpenTable t(kThreeSpec, rows);
  TPdf pdf(Run(t));
  ASSERT_EQ(pdf.Of("/Page").size(), 3u);
  const std::vector<int> rowsOn = {38, 38, 5};
  const std::vector<std::string> contents = pdf.Contents();
  for (size_t page = 0; page < contents.size(); ++page) {
    const std::string& c = contents[page];
    // Each column's rule is one line from the first row's top to the last
    // row's bottom: no gap, nothing past the page's rows.
    std::map<double, int> lines;
    std::regex line("([0-9.-]+) ([0-9.-]+) m ([0-9.-]+) ([0-9.-]+) l");
    for (auto it = std::sregex_iterator(c.begin(), c.end(), line); it != std::sregex_iterator(); ++it) {
      const double x0 = std::stod((*it)[1]), y0 = std::stod((*it)[2]), x1 = std::stod((*it)[3]), y1 = std::stod((*it)[4]);
      if (x0 != x1) continue;
      ++lines[x0];
      EXPECT_NEAR(std::max(y0, y1), 782.0, 0.01) << "page " << page;
      EXPECT_NEAR(std::max(y0, y1) - std::min(y0, y1), 20.0 * rowsOn[page], 0.01) << "page " << page;
    }
    EXPECT_EQ(lines.size(), 4u) << "page " << page;  // left of three columns and the right edge
    for (const auto& [x, n] : lines) EXPECT_EQ(n, 1) << x;
  }
}

TEST_F(TPdfRun, HundredsOfDistinctCharactersReadBack) {
  // Enough characters that codes take every byte value, parentheses,
  // backslash and line ends among them; the characters themselves too.
  std::vector<TWriterRow> rows;
  std::vector<std::string> texts;
  for (uint32_t first = 0x21; first < 0x250; first += 16) {
    std::string s;
    for (uint32_t cp = first; cp < first + 16; ++cp)
      if (cp < 0x7F || cp >= 0xA1) AppendUtf8(s, cp);
    texts.push_back(s);
    rows.push_back({TWriterValue("x"), TWriterValue(1), TWriterValue(1.0)});
  }
  TOpenTable t("Name=A40,Qty=I,Price=N", rows);
  size_t k = 0;
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* f, std::string& text, TFontSpec&, TAlignment&,
                          TColor&, TCellType&) {
    if (f && f->FieldName() == "Name") text = texts[k++ % texts.size()];
  };
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  const std::string text = ExtractText(pdf);
  size_t at = 0;
  for (const std::string& s : texts) {
    const size_t p = text.find(s, at);
    ASSERT_NE(p, std::string::npos) << s;
    at = p + s.size();
  }
}

TEST_F(TPdfRun, ElevenPagesMakeTwoGroupNodes) {
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 38 * 11; ++i) rows.push_back({TWriterValue("x"), TWriterValue(i), TWriterValue(0.5)});
  TOpenTable t(kThreeSpec, rows);
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  EXPECT_EQ(w.PageCount(), 11);
  EXPECT_NE(pdf.Dict.at(3).find("/Count 11"), std::string::npos) << pdf.Dict.at(3);
  EXPECT_EQ(std::count(pdf.Dict.at(3).begin(), pdf.Dict.at(3).end(), 'R'), 2);
}

TEST_F(TPdfRun, WrappedValuesMakeTallRowsAndLongOnesContinue) {
  std::string memo;
  for (int i = 0; i < 900; ++i) memo += "word" + std::to_string(i) + " ";
  memo += "\r\nlast line";
  TOpenTable t("Name=A10,Notes=M10", {{TWriterValue("first"), TWriterValue(memo)},
                                      {TWriterValue("second"), TWriterValue("short")}});
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  EXPECT_GE(w.PageCount(), 2);
  const std::string text = ExtractText(pdf);
  // Every word once, in order, and nothing past the column's right edge.
  size_t at = 0;
  for (int i = 0; i < 900; i += 37) {
    const size_t p = text.find("word" + std::to_string(i) + "\n", at);
    const size_t q = text.find("word" + std::to_string(i) + " ", at);
    ASSERT_TRUE(p != std::string::npos || q != std::string::npos) << i;
    at = std::min(p, q);
  }
  EXPECT_NE(text.find("last line"), std::string::npos);
  EXPECT_LT(text.find("last line"), text.find("second"));
  for (const std::string& c : pdf.Contents()) {
    for (auto [x, y] : LineStarts(c)) EXPECT_LT(x, w.PageWidth());
  }
}

TEST_F(TPdfRun, WideTablesAreCappedAndScaled) {
  std::string spec;
  std::vector<TWriterValue> values;
  for (int i = 0; i < 8; ++i) {
    spec += (i ? "," : "") + std::string("F") + std::to_string(i) + "=A240";
    values.emplace_back("v" + std::to_string(i));
  }
  TOpenTable t(spec, {TWriterRow(values.begin(), values.end())});
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  EXPECT_EQ(w.PageWidth(), TZelExportToPDF::kMaxPageWidth);
  EXPECT_LT(w.Scale(), 1.0);
  EXPECT_NE(pdf.Bytes.find("/MediaBox [0 0 14400 792]"), std::string::npos);
  EXPECT_NE(ExtractText(pdf).find("v7"), std::string::npos);
}

TEST_F(TPdfRun, ColumnsWidenThePageInWholePageWidths) {
  TOpenTable t("A=A40,B=A40", {{TWriterValue("x"), TWriterValue("y")}});
  w.PageSetup.Orientation = emLandscape;
  TPdf pdf(Run(t));
  // 10 + 2 x 40 x 8 + 10 = 660 points: one landscape page width.
  EXPECT_NE(pdf.Bytes.find("/MediaBox [0 0 792 612]"), std::string::npos);
  w.PageSetup.Orientation = emPortrait;
  TPdf portrait(Run(t));
  EXPECT_NE(portrait.Bytes.find("/MediaBox [0 0 1224 792]"), std::string::npos);
}

TEST_F(TPdfRun, LinesTallerThanThePageAreStillDrawn) {
  TOpenTable t("Name=A40", {{TWriterValue("alpha beta gamma")}, {TWriterValue("delta")}});
  w.PageSetup.UseDefault = false;
  w.PageSetup.TopMargin = w.PageSetup.BottomMargin = 370;
  w.OnGetCellParams = [](TZelECustomBaseComponent&, const TField*, std::string&, TFontSpec& font, TAlignment&,
                         TColor&, TCellType&) { font.Size = 200; };
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  // Words wider than the column are broken between characters.
  std::string text = ExtractText(pdf);
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  for (const char* word : {"alpha", "beta", "gamma", "delta"}) EXPECT_NE(text.find(word), std::string::npos) << word;
  EXPECT_LT(text.find("gamma"), text.find("delta"));
}

TEST_F(TPdfRun, MarginsOfThePageSetup) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.PageSetup.UseDefault = false;
  w.PageSetup.Measure = emInch;
  w.PageSetup.LeftMargin = 1;
  w.PageSetup.TopMargin = 2;
  w.PageSetup.RightMargin = 1;
  w.PageSetup.BottomMargin = 1;
  TPdf pdf(Run(t));
  const std::string c = pdf.Contents().at(0);
  double maxY = 0, minX = 1e9;
  for (auto [x, y] : LineStarts(c)) {
    minX = std::min(minX, x);
    maxY = std::max(maxY, y);
  }
  EXPECT_GE(minX, 72.0);
  EXPECT_LE(maxY, 792.0 - 144.0);
}

TEST_F(TPdfRun, PicturesAreDrawnInsideTheirRowAndCountedOnce) {
  TOpenTable t("Name=A10,Pic=G", {{TWriterValue("a"), TWriterValue(PdxGraphicBmp(40, 300, 3))},
                                  {TWriterValue("b"), std::nullopt},
                                  {TWriterValue("c"), TWriterValue(PdxGraphicBmp(900, 30, 4))}});
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty()) << ::testing::PrintToString(pdf.Problems);
  const std::vector<int> images = pdf.Of("/XObject");
  EXPECT_EQ(images.size(), 2u);
  const std::string c = pdf.Contents().at(0);
  // Scaled down to the column (10 characters = 80 points, less padding), never
  // past the page.
  std::regex cm("q ([0-9.]+) 0 0 ([0-9.]+) ([0-9.]+) ([0-9.]+) cm /Im");
  int drawn = 0;
  for (auto it = std::sregex_iterator(c.begin(), c.end(), cm); it != std::sregex_iterator(); ++it) {
    ++drawn;
    EXPECT_LE(std::stod((*it)[1]), 80.0);
    EXPECT_GE(std::stod((*it)[4]), 10.0);
  }
  EXPECT_EQ(drawn, 2);
  // The pixels come back: the first picture inflates to 40 x 300 RGB bytes.
  EXPECT_EQ(Inflate(pdf.Stream.at(images[0])).size(), 40u * 300u * 3u);
  // The row under the tall picture starts below it.
  const std::string text = ExtractText(pdf);
  EXPECT_NE(text.find("b"), std::string::npos);
}

TEST_F(TPdfRun, DamagedPictureFailsNamingRecordAndField) {
  std::string bmp = PdxGraphicBmp(4, 4, 1);
  // The header now claims 60000 x 60000 pixels.
  bmp[8 + 18] = '\x60', bmp[8 + 19] = '\xEA';
  bmp[8 + 22] = '\x60', bmp[8 + 23] = '\xEA';
  TOpenTable t("Name=A10,Pic=G", {{TWriterValue("a"), TWriterValue(bmp)}});
  w.DBGrid = &t.Grid;
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("record 1"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("Pic"), std::string::npos) << w.Statistic.Message;
}

TEST_F(TPdfRun, ScriptsExtractAsStoredAndRightToLeftIsReordered) {
  TOpenTable t("Name=A40", {{TWriterValue("x")}, {TWriterValue("y")}, {TWriterValue("z")}, {TWriterValue("w")}});
  // Hebrew, Arabic, a character no installed face draws, a Cyrillic word.
  const std::vector<std::string> texts = {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85",
                                          "\xF4\x8F\xBF\xBD", "\xD0\x9C\xD0\xB8\xD1\x80"};
  int k = 0;
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* f, std::string& text, TFontSpec&, TAlignment&,
                          TColor&, TCellType&) {
    if (f) text = texts[static_cast<size_t>(k++)];
  };
  TPdf pdf(Run(t));
  EXPECT_TRUE(pdf.Problems.empty());
  const std::string text = ExtractText(pdf);
  // Right-to-left text is drawn in display order, so it reads back reversed
  // character by character; left-to-right text as stored.
  EXPECT_NE(text.find("\xD0\x9C\xD0\xB8\xD1\x80"), std::string::npos);
  EXPECT_NE(text.find("\xF4\x8F\xBF\xBD"), std::string::npos) << "a character no face has still extracts";
  EXPECT_NE(text.find("\xD7\x9D\xD7\x95\xD7\x9C\xD7\xA9"), std::string::npos) << text;
  EXPECT_EQ(w.Statistic.Notes.size(), 1u);
}

TEST_F(TPdfRun, SplitFilesAreEachComplete) {
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 5; ++i) rows.push_back({TWriterValue("n" + std::to_string(i)), TWriterValue(i), TWriterValue(1.0)});
  TOpenTable t(kThreeSpec, rows);
  const std::string dir = TempDir();
  w.RowsPerFile = 2;
  w.FileName = dir + "/out.pdf";
  w.DBGrid = &t.Grid;
  w.Options.Exclude(soShowMessage);
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  ASSERT_EQ(w.Statistic.FilesWritten.size(), 3u);
  for (const std::string& f : w.Statistic.FilesWritten) {
    TPdf pdf(ReadFile(f));
    EXPECT_TRUE(pdf.Problems.empty()) << f;
    EXPECT_EQ(pdf.Bytes.substr(pdf.Bytes.size() - 6), "%%EOF\n");
  }
}

TEST(PdfHelpers, StringsNamesAndFilters) {
  EXPECT_EQ(pdf::LiteralString("a(b)c\\d"), "(a\\(b\\)c\\\\d)");
  EXPECT_EQ(pdf::LiteralString("x\ry\n"), "(x\\ry\\n)");
  EXPECT_EQ(pdf::LiteralString("\xC3\xBC"), "<FEFF00FC>");
  EXPECT_EQ(pdf::LiteralString("\xF0\x9F\x98\x80"), "<FEFFD83DDE00>");
  EXPECT_EQ(pdf::Name("Times New Roman"), "Times#20New#20Roman");
  EXPECT_EQ(pdf::Name("a/b#(c)"), "a#2Fb#23#28c#29");
  std::string filter;
  EXPECT_EQ(pdf::Encode(std::string("\x00\xFF", 2), fdASCIIHex, cmNormal, filter), "00FF>");
  EXPECT_EQ(filter, "ASCIIHexDecode");
  // The classic ASCII85 example, an all-zero group as "z", a short tail.
  EXPECT_EQ(pdf::Encode("Man ", fdASCII85, cmNormal, filter), "9jqo^~>");
  EXPECT_EQ(pdf::Encode(std::string(4, '\0'), fdASCII85, cmNormal, filter), "z~>");
  EXPECT_EQ(pdf::Encode("Ma", fdASCII85, cmNormal, filter), "9jn~>");
  for (TPDFFilterDecode f : {fdLZW, fdDCT, fdFlate}) {
    const std::string z = pdf::Encode("hello hello hello", f, cmMaxCompress, filter);
    EXPECT_EQ(filter, "FlateDecode");
    EXPECT_EQ(Inflate(z), "hello hello hello");
  }
  // Level 0 is stored blocks: the text stands in the stream as it is.
  EXPECT_NE(pdf::Encode("hello hello hello", fdFlate, cmFastest, filter).find("hello hello hello"), std::string::npos);
  EXPECT_DOUBLE_EQ(pdf::Points(1.5, emInch), 108);
  EXPECT_DOUBLE_EQ(pdf::Points(2.54, emCentimeters), 72);
  EXPECT_DOUBLE_EQ(pdf::Points(2, emPicas), 24);
}

TEST(PdfHelpers, WrapLineBreaksAtSpacesElseBetweenCharacters) {
  auto one = [](char32_t) { return 1.0; };
  auto pieces = [&](std::u32string s, double w) {
    std::vector<std::u32string> out;
    for (auto [a, b] : pdf::WrapLine(s, w, one)) out.push_back(s.substr(a, b - a));
    return out;
  };
  EXPECT_EQ(pieces(U"aaa bbb ccc", 7), (std::vector<std::u32string>{U"aaa bbb", U"ccc"}));
  EXPECT_EQ(pieces(U"abcdefgh", 3), (std::vector<std::u32string>{U"abc", U"def", U"gh"}));
  EXPECT_EQ(pieces(U"", 3), (std::vector<std::u32string>{U""}));
  EXPECT_EQ(pieces(U"ab", 0.1), (std::vector<std::u32string>{U"a", U"b"}));
  EXPECT_EQ(pieces(U"ab    cd", 3), (std::vector<std::u32string>{U"ab", U"cd"}));
}

}  // namespace
}  // namespace korvane::test
