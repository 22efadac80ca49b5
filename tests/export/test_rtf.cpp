// Rich Text documents: text escaped so that no value changes the document's
// structure, Unicode with a code page 1252 fallback, a row definition before
// every row, twips of the page setup, fonts and colours, embedded bitmaps, long
// BLOBs in pieces, and the body kept in a temporary file.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/pdxgenerate.h"
#include "export/formats/ZelE2PDF.h"
#include "export/formats/ZelE2RTF.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

std::string Rtf(std::string_view utf8, size_t* replaced = nullptr) {
  std::string out;
  const size_t n = TZelExportToRTF::AppendRtfText(out, utf8);
  if (replaced) *replaced = n;
  return out;
}

// The document's structure: braces balance outside escapes, and every table row
// is "\trowd", its \cellx edges, as many cells, "\row".
struct TRtfShape {
  bool Balanced = true;
  std::vector<int> CellsPerRow;  // cells of each row, -1 where they differ from its \cellx count
  std::vector<std::vector<int>> Edges;

  explicit TRtfShape(const std::string& d) {
    int depth = 0;
    for (size_t i = 0; i < d.size(); ++i) {
      if (d[i] == '\\') {
        ++i;
        continue;
      }
      if (d[i] == '{') ++depth;
      if (d[i] == '}' && --depth < 0) Balanced = false;
    }
    Balanced = Balanced && depth == 0;
    size_t at = 0;
    while ((at = d.find("\\trowd", at)) != std::string::npos) {
      const size_t end = d.find("\\row\r\n", at);
      if (end == std::string::npos) {
        CellsPerRow.push_back(-2);
        break;
      }
      const std::string row = d.substr(at, end - at);
      std::vector<int> edges;
      for (size_t p = row.find("\\cellx"); p != std::string::npos; p = row.find("\\cellx", p + 1))
        edges.push_back(std::atoi(row.c_str() + p + 6));
      int cells = 0;
      for (size_t p = row.find("\\cell\r\n"); p != std::string::npos; p = row.find("\\cell\r\n", p + 1)) ++cells;
      CellsPerRow.push_back(cells == static_cast<int>(edges.size()) ? cells : -1);
      Edges.push_back(edges);
      at = end;
    }
  }
};

using Rtf_ = TWriterRun<TZelExportToRTF>;

TEST(RtfText, EscapesWhatWouldChangeTheDocument) {
  EXPECT_EQ(Rtf("a(b)c\\d"), "a(b)c\\\\d");
  EXPECT_EQ(Rtf("C:\\temp {x} }{"), "C:\\\\temp \\{x\\} \\}\\{");
  // CR LF, CR and LF are each one line break; TAB a tab.
  EXPECT_EQ(Rtf("1\r\n2\r3\n4\t5"), "1\\line 2\\line 3\\line 4\\tab 5");
  EXPECT_EQ(Rtf("end\r"), "end\\line ");
  // Other control characters cannot be held: a space each, counted.
  size_t replaced = 0;
  EXPECT_EQ(Rtf(std::string("a\x01" "b\x1F\x7F", 5), &replaced), "a b  ");
  EXPECT_EQ(replaced, 3u);
  EXPECT_EQ(Rtf("plain text", &replaced), "plain text");
  EXPECT_EQ(replaced, 0u);
}

TEST(RtfText, UnicodeWithItsCodePage1252Fallback) {
  EXPECT_EQ(Rtf("M\xC3\xBCller"), "M\\u252\\'fcller");
  EXPECT_EQ(Rtf("\xE2\x82\xAC"), "\\u8364\\'80");                // euro sign, 80 in 1252
  EXPECT_EQ(Rtf("\xD0\x96"), "\\u1046\\'3f");                    // Cyrillic Zhe: none in 1252
  EXPECT_EQ(Rtf("\xEF\xAC\x81"), "\\u-1279\\'3f");               // U+FB01 past 7FFF: negative
  EXPECT_EQ(Rtf("\xF0\x9F\x98\x80"), "\\u-10179\\'3f\\u-8704\\'3f");  // U+1F600 as a surrogate pair
  EXPECT_EQ(TZelExportToRTF::Cp1252Byte(0x0178), 0x9F);
  EXPECT_EQ(TZelExportToRTF::Cp1252Byte(0x0416), 0);
}

TEST(RtfText, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  size_t replaced = 0;
  // A lone continuation byte, a cut sequence, an overlong form, a surrogate.
  EXPECT_EQ(Rtf("a\x80z", &replaced), "a\\u-3\\'3fz");
  EXPECT_EQ(replaced, 1u);
  EXPECT_EQ(Rtf("\xC3", &replaced), "\\u-3\\'3f");
  EXPECT_EQ(Rtf("\xC0\x80", &replaced), "\\u-3\\'3f\\u-3\\'3f");
  EXPECT_EQ(replaced, 2u);
  EXPECT_EQ(Rtf("\xED\xA0\x80", &replaced), "\\u-3\\'3f\\u-3\\'3f\\u-3\\'3f");
  EXPECT_EQ(Rtf("\xF4\x90\x80\x80", &replaced).substr(0, 8), "\\u-3\\'3f");
  EXPECT_EQ(replaced, 4u);
}

TEST(RtfMeasures, TwipsAreRoundedAfterMultiplying) {
  EXPECT_EQ(TZelExportToRTF::TwipsOf(1.4, emInch), 2016);
  EXPECT_EQ(TZelExportToRTF::TwipsOf(36, emPoint), 720);
  EXPECT_EQ(TZelExportToRTF::TwipsOf(2.5, emCentimeters), 1418);
  EXPECT_EQ(TZelExportToRTF::TwipsOf(3, emPicas), 720);
  EXPECT_EQ(TZelExportToRTF::CellEdges({10, 20}), (std::vector<int>{2646, 7856}));
}

TEST_F(Rtf_, EveryRowHasItsOwnDefinitionAndHostileTextStaysText) {
  TOpenTable t("Name=A20,Qty=I,Note=M30",
               {{TWriterValue("C:\\temp"), TWriterValue(1), TWriterValue("a {brace")},
                {TWriterValue("}{"), TWriterValue(2), TWriterValue("line1\r\nline2\tx")},
                {TWriterValue("M\xC3\xBCller"), std::nullopt, std::nullopt},
                {TWriterValue("\\par"), TWriterValue(4), TWriterValue("}}}}")},
                {TWriterValue("last"), TWriterValue(5), TWriterValue("{\\b bold?}")}});
  w.AddTitle = true;
  w.Header = {"a(b)c\\d", "{head}"};
  w.Footer = {"foot ( ) \\ { }"};
  const std::string d = Run(t);
  ASSERT_EQ(d.rfind("{\\rtf1\\ansi\\ansicpg1252\\uc1\r\n{\\fonttbl}\r\n{\\colortbl;}\r\n{\\*\\generator ", 0), 0u)
      << d.substr(0, 200);
  EXPECT_EQ(d.substr(d.size() - 5), "\\par}");
  TRtfShape shape(d);
  EXPECT_TRUE(shape.Balanced);
  EXPECT_EQ(shape.CellsPerRow, (std::vector<int>(6, 3)));  // the title row and five records
  EXPECT_NE(d.find("{C:\\\\temp}\\cell"), std::string::npos);
  EXPECT_NE(d.find("{\\}\\{}\\cell"), std::string::npos);
  EXPECT_NE(d.find("{\\\\par}\\cell"), std::string::npos);
  EXPECT_NE(d.find("{line1\\line line2\\tab x}\\cell"), std::string::npos);
  EXPECT_NE(d.find("{M\\u252\\'fcller}"), std::string::npos);
  // Header and footer lines: paragraphs of their own, outside the table.
  EXPECT_NE(d.find("\\pard\\plain {a(b)c\\\\d} \\par\r\n\\pard\\plain {\\{head\\}} \\par\r\n\\par\r\n\\trowd"),
            std::string::npos);
  EXPECT_NE(d.find("\\row\r\n\\pard\r\n\\pard\\plain {foot ( ) \\\\ \\{ \\}} \\par\r\n\\par}"), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Rtf_, GeneratorPageMarginsAndPaper) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.KeyGenerator = "Gen {1} \\ \xC3\xA9";
  std::string d = Run(t);
  EXPECT_NE(d.find("{\\title Gen \\{1\\} \\\\ \\u233\\'e9}"), std::string::npos);
  EXPECT_NE(d.find("{\\*\\generator Gen \\{1\\} \\\\ \\u233\\'e9;}"), std::string::npos);
  EXPECT_EQ(d.find("\\margl"), std::string::npos);  // the reader's own margins
  EXPECT_EQ(d.find("\\paperw"), std::string::npos);
  EXPECT_TRUE(TRtfShape(d).Balanced);

  w.PageSetup.UseDefault = false;
  w.PageSetup.Measure = emInch;
  w.PageSetup.LeftMargin = 1.4f;
  w.PageSetup.RightMargin = 0.5f;
  w.PageSetup.TopMargin = 1;
  w.PageSetup.BottomMargin = 0.75f;
  w.PageSetup.Orientation = emLandscape;
  d = Run(t);
  EXPECT_NE(d.find("\\margl2016\\margr720\\margt1440\\margb1080\r\n\\paperw16840\\paperh11907\\landscape\r\n"),
            std::string::npos);
  w.PageSetup.Measure = emCentimeters;
  w.PageSetup.LeftMargin = 2;
  w.PageSetup.Orientation = emPortrait;
  d = Run(t);
  EXPECT_NE(d.find("\\margl1134\\margr284"), std::string::npos);
  EXPECT_NE(d.find("\\paperw11907\\paperh16840\r\n"), std::string::npos);
}

TEST_F(Rtf_, FontsAndColoursShareTheirTableEntries) {
  TOpenTable t("Name=A10,Qty=I,Price=N", {{TWriterValue("x"), TWriterValue(5), TWriterValue(1.5)}});
  w.AddTitle = false;
  w.Options.Include(soColorsFonts);
  TZelEColumn& a = w.Columns.Add();
  a.FieldName = "Name";
  a.Font.Name = "Arial";
  a.Font.Size = 9;
  a.Font.Bold = a.Font.Italic = true;
  a.Font.Color = 0x0000FF;  // red text
  a.Color = 0x0000FF;       // on red
  a.Width = 10;
  TZelEColumn& b = w.Columns.Add();
  b.FieldName = "Qty";
  b.Font.Name = "Arial";
  b.Font.Color = clWhite;  // white text is written white
  b.Color = clBlack;
  b.Alignment = taRightJustify;
  b.Width = 20;
  TZelEColumn& c = w.Columns.Add();
  c.FieldName = "Price";
  c.Font.Name = "Courier {New}";
  c.Font.Color = clBlack;  // black needs no colour
  c.Color = clWhite;
  c.Alignment = taCenter;
  w.PageSetup.Orientation = emLandscape;  // room for the three columns
  const std::string d = Run(t);
  EXPECT_NE(d.find("{\\fonttbl{\\f0\\fnil Arial;}{\\f1\\fnil Courier \\{New\\};}}\r\n"), std::string::npos) << d;
  EXPECT_NE(d.find("{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue0;\\red255\\green255\\blue255;}\r\n"),
            std::string::npos);
  EXPECT_NE(d.find("\\pard\\intbl\\li30\\ri30{\\f0\\fs18\\i\\b\\highlight1\\cf1 x}\\cell"), std::string::npos);
  EXPECT_NE(d.find("\\pard\\intbl\\li30\\ri30\\qr{\\f0\\fs16\\highlight2\\cf3 5}\\cell"), std::string::npos);
  EXPECT_NE(d.find("\\pard\\intbl\\li30\\ri30\\qc{\\f1\\fs16 1.5}\\cell"), std::string::npos);
  EXPECT_EQ(TRtfShape(d).Edges, (std::vector<std::vector<int>>{{2646, 7856, 10466}}));

  // Without soColorsFonts: empty tables, no font words.
  w.Options.Exclude(soColorsFonts);
  const std::string plain = Run(t);
  EXPECT_NE(plain.find("{\\fonttbl}\r\n{\\colortbl;}\r\n"), std::string::npos);
  EXPECT_NE(plain.find("\\pard\\intbl\\li30\\ri30{x}\\cell"), std::string::npos);
}

// Columns wider than the page's text are narrowed to it, keeping their proportions.
TEST_F(Rtf_, RowsWiderThanThePageAreNarrowedToIt) {
  TOpenTable t("A=A10,B=A10", {{TWriterValue("x"), TWriterValue("y")}});
  w.AddTitle = false;
  for (const char* n : {"A", "B"}) {
    TZelEColumn& c = w.Columns.Add();
    c.FieldName = n;
    c.Width = std::string(n) == "A" ? 10 : 30;
  }
  // US Letter less 1.25-inch margins: 8640 twips.
  std::vector<std::vector<int>> edges = TRtfShape(Run(t)).Edges;
  EXPECT_EQ(edges, (std::vector<std::vector<int>>{{36 + 2155, 8640}}));
  // Landscape A4 with 1-inch margins holds them as they are.
  w.PageSetup.Orientation = emLandscape;
  w.PageSetup.UseDefault = false;
  w.PageSetup.Measure = emInch;
  w.PageSetup.LeftMargin = w.PageSetup.RightMargin = 1;
  edges = TRtfShape(Run(t)).Edges;
  EXPECT_EQ(edges, (std::vector<std::vector<int>>{TZelExportToRTF::CellEdges({10, 30})}));
  EXPECT_EQ(edges[0].back(), 10456);
  w.PageSetup.LeftMargin = w.PageSetup.RightMargin = 3;
  EXPECT_EQ(TRtfShape(Run(t)).Edges[0].back(), 16840 - 2 * 4320);  // 36 + 8164
}

TEST_F(Rtf_, LongFontTableLinesAreBroken) {
  std::vector<TWriterRow> rows = {{}};
  std::string spec;
  for (int i = 0; i < 30; ++i) {
    spec += (i ? ",F" : "F") + std::to_string(i) + "=A5";
    rows[0].push_back(TWriterValue("v"));
  }
  TOpenTable t(spec, rows);
  w.AddTitle = false;
  w.Options.Include(soColorsFonts);
  for (int i = 0; i < 30; ++i) {
    TZelEColumn& c = w.Columns.Add();
    c.FieldName = "F" + std::to_string(i);
    c.Font.Name = "A font of a long name " + std::to_string(i);
  }
  const std::string d = Run(t);
  const size_t start = d.find("{\\fonttbl"), end = d.find("{\\colortbl");
  ASSERT_LT(start, end);
  size_t lines = 0, at = start;
  while (at < end) {
    const size_t eol = d.find("\r\n", at);
    EXPECT_LE(eol - at, 254u);
    ++lines;
    at = eol + 2;
  }
  EXPECT_GT(lines, 3u);
  EXPECT_NE(d.find("{\\f29\\fnil A font of a long name 29;}}"), std::string::npos);
}

// The bitmap is the BMP without its file header, its size in pixels; a BMP whose
// header promises more than its BLOB holds is written as its text.
TEST_F(Rtf_, BitmapsAreEmbeddedAndBrokenOnesStayText) {
  const std::string good = PdxGraphicBmp(7, 5, 1);
  std::string lying = PdxGraphicBmp(6, 6, 2);
  lying[8 + 18] = '\x30';  // width 0x7530 = 30000 pixels in a BLOB of 6 x 6
  lying[8 + 19] = '\x75';
  TOpenTable t("Name=A10,Pic=G10", {{TWriterValue("a"), TWriterValue(good)},
                                    {TWriterValue("b"), TWriterValue(lying)},
                                    {TWriterValue("c"), std::nullopt}});
  w.AddTitle = false;
  std::string d = Run(t);
  EXPECT_EQ(TRtfShape(d).CellsPerRow, (std::vector<int>{2, 2, 2}));
  std::string hex;
  for (unsigned char c : good.substr(8 + 14)) {
    hex += "0123456789ABCDEF"[c >> 4];
    hex += "0123456789ABCDEF"[c & 15];
  }
  const size_t pict = d.find("{\\pict\\picw7\\pich5\\picwgoal105\\pichgoal75\\dibitmap0\r\n");
  ASSERT_NE(pict, std::string::npos) << d;
  std::string data = d.substr(pict, d.find('}', pict) - pict);
  data = data.substr(data.find("\r\n") + 2);
  std::string bare;
  for (char c : data)
    if (c != '\r' && c != '\n') bare += c;
  EXPECT_EQ(bare, hex);
  EXPECT_EQ(d.find("\\pict", pict + 2), std::string::npos);  // the lying one is no picture
  EXPECT_NE(d.find("{01000001ae000000424d"), std::string::npos);  // but its value as text
  EXPECT_EQ(d.find("\\nonshppict"), std::string::npos);

  // A picture wider than its cell is shown at the cell's width (less its
  // indents), its proportions kept; the pixels stay as they are.
  TOpenTable wide("Pic=G10", {{TWriterValue(PdxGraphicBmp(400, 100, 3))}});
  d = Run(wide);
  EXPECT_NE(d.find("{\\pict\\picw400\\pich100\\picwgoal2550\\pichgoal637\\dibitmap0"), std::string::npos);

  // With the metafile alternative.
  w.RTFOptions().CreateUnlikedPictureType = true;
  d = Run(t);
  EXPECT_TRUE(TRtfShape(d).Balanced);
  EXPECT_NE(d.find("{{\\*\\shppict{\\pict\\picw7\\pich5"), std::string::npos);
  EXPECT_NE(d.find("}}{\\nonshppict{\\pict\\picw7\\pich5\\picwgoal105\\pichgoal75\\wmetafile8\\blipupi96\r\n"
                   "010009000003"),
            std::string::npos);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANE_HAS_ASAN 1
#endif
#endif
#ifndef KORVANE_HAS_ASAN
#define KORVANE_HAS_ASAN 0
#endif

// A bitmap whose header promises 60 000 x 60 000 pixels in a BLOB of a few
// bytes: both writers read it with the same decoder and name the same record,
// field and reason (PDF ends the run; RTF writes the value as text and says
// so), and neither asks for memory for the promise. Run in a child process
// whose address space is capped at 512 MB more than it uses.
TEST(PictureErrors, DamagedBitmapIsNamedAlikeAndNothingHugeIsAllocated) {
  std::string bmp = PdxGraphicBmp(4, 4, 1);
  bmp[8 + 18] = '\x60', bmp[8 + 19] = '\xEA';
  bmp[8 + 22] = '\x60', bmp[8 + 23] = '\xEA';
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
#if !defined(__SANITIZE_ADDRESS__) && !KORVANE_HAS_ASAN
    // (The address sanitizer reserves its shadow memory as address space: it
    // runs the checks without the cap.)
    long vmKb = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmSize:", 0) == 0) vmKb = std::atol(line.c_str() + 7);
    const rlim_t cap = static_cast<rlim_t>(vmKb + 512 * 1024) * 1024;
    rlimit limit{cap, cap};
    if (vmKb == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(10);
#endif
    TRecordingServices services;
    TOpenTable t("Name=A10,Pic=G", {{TWriterValue("a"), TWriterValue(bmp)}});
    TZelExportToPDF pdfWriter;
    pdfWriter.SetServices(&services);
    pdfWriter.DBGrid = &t.Grid;
    TZelEStringStream pdfOut;
    pdfWriter.ExportToStream(&pdfOut);
    if (pdfWriter.Statistic.Result != erFailed) _exit(11);
    // The run's message leads with the export's own words.
    const std::string message = pdfWriter.Statistic.Message;
    const size_t at = message.find("The picture in record 1, field \"Pic\"");
    if (at == std::string::npos || message.find("promises") == std::string::npos) _exit(12);
    const std::string named = message.substr(at);
    for (bool pieces : {false, true}) {
      TZelExportToRTF rtfWriter;
      rtfWriter.SetServices(&services);
      rtfWriter.DBGrid = &t.Grid;
      if (pieces) rtfWriter.StreamBlobsAbove = 10;
      TZelEStringStream rtfOut;
      rtfWriter.ExportToStream(&rtfOut);
      if (rtfWriter.Statistic.Result != erCompleted || rtfWriter.Statistic.TotalErrors != 1) _exit(13);
      bool same = false;
      for (const std::string& note : rtfWriter.Statistic.Notes) same = same || note.rfind(named, 0) == 0;
      if (!same) _exit(14);
      if (rtfOut.Data().find("\\pict") != std::string::npos) _exit(15);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no cap, 11-12: PDF, 13-15: RTF";
}

// A bitmap whose last row lacks its padding is complete in the RTF picture:
// the device-independent bitmap holds every row whole.
TEST_F(Rtf_, BitmapsWithoutTheirLastPaddingAreCompleted) {
  std::string bmp = PdxGraphicBmp(5, 3, 2);  // 24 bits: rows of 15 bytes, 16 stored
  bmp.pop_back();
  TOpenTable t("Pic=G10", {{TWriterValue(bmp)}});
  const std::string d = Run(t);
  const size_t pict = d.find("\\dibitmap0\r\n");
  ASSERT_NE(pict, std::string::npos) << d;
  std::string data = d.substr(pict + 12, d.find('}', pict) - pict - 12);
  std::string bare;
  for (char c : data)
    if (c != '\r' && c != '\n') bare += c;
  // The info header (40 bytes) and three rows of 16 bytes.
  EXPECT_EQ(bare.size(), 2u * (40 + 3 * 16));
  EXPECT_EQ(bare.substr(bare.size() - 2), "00");
}

TEST(RtfMetafile, RecordsAddUpToTheHeader) {
  const std::string dib = PdxGraphicBmp(3, 2, 1).substr(8 + 14);
  const std::string wmf = TZelExportToRTF::MetafileOfDib(dib, 3, 2);
  ASSERT_GT(wmf.size(), 18u);
  auto le32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(wmf[at]) | static_cast<uint8_t>(wmf[at + 1]) << 8 |
                                 static_cast<uint8_t>(wmf[at + 2]) << 16 | static_cast<uint8_t>(wmf[at + 3]) << 24);
  };
  EXPECT_EQ(le32(6) * 2, wmf.size());  // the size in words
  // The records, each its size in words and a function, end with the EOF record.
  size_t at = 18, largest = 0, count = 0;
  uint16_t last = 0xFFFF;
  while (at + 6 <= wmf.size()) {
    const uint32_t words = le32(at);
    ASSERT_GE(words, 3u);
    largest = std::max<size_t>(largest, words);
    last = static_cast<uint16_t>(static_cast<uint8_t>(wmf[at + 4]) | static_cast<uint8_t>(wmf[at + 5]) << 8);
    at += words * 2;
    ++count;
  }
  EXPECT_EQ(at, wmf.size());
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(le32(12), largest);
  EXPECT_NE(wmf.find(dib), std::string::npos);
  EXPECT_EQ(TZelExportToRTF::MetafileOfDib(dib, 40000, 2), "");
}

// Long BLOBs are read in pieces; the document must be the one whole values give.
TEST_F(Rtf_, LongBlobsInPiecesWriteWhatWholeValuesWrite) {
  const std::string memo = LongMemoText();
  const std::string bmp = PdxGraphicBmp(300, 200, 5);
  TOpenTable t("Name=A10,Notes=M20,Pic=G10",
               {{TWriterValue("one"), TWriterValue(memo), TWriterValue(bmp)},
                {TWriterValue("two"), TWriterValue("short"), TWriterValue(PdxGraphicBmp(4, 4, 1))}});
  w.AddTitle = true;
  auto body = [](const std::string& d) { return d.substr(d.find("{\\header")); };
  w.StreamBlobsAbove = int64_t{1} << 40;
  const std::string whole = Run(t);
  const int errors = w.Statistic.TotalErrors;
  EXPECT_EQ(errors, 1);  // the memo's control characters
  w.StreamBlobsAbove = 100;
  const std::string pieces = Run(t);
  EXPECT_EQ(w.Statistic.TotalErrors, errors);
  EXPECT_EQ(whole.size(), pieces.size());
  EXPECT_TRUE(body(whole) == body(pieces));
  EXPECT_EQ(TRtfShape(pieces).CellsPerRow, (std::vector<int>{3, 3, 3}));
  EXPECT_NE(pieces.find("\\picw300\\pich200"), std::string::npos);
  EXPECT_EQ(w.Statistic.Notes.size(), 1u);
}

TEST_F(Rtf_, ChangedValuesAreCountedAndNamed) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.OnGetCellParams = [](TZelECustomBaseComponent&, const TField* f, std::string& text, TFontSpec&, TAlignment&,
                         TColor&, TCellType&) {
    if (f && f->FieldName() == "Name") text += "\xFF";
  };
  const std::string d = Run(t);
  EXPECT_EQ(w.Statistic.TotalErrors, 3);
  ASSERT_EQ(w.Statistic.Notes.size(), 1u);
  EXPECT_NE(w.Statistic.Notes[0].find("3 values"), std::string::npos);
  EXPECT_NE(d.find("{apple\\u-3\\'3f}\\cell"), std::string::npos);
}

// Records become columns in the reversed layout: a row per exported column, a
// cell per record and its title; tabular form gives each value a row.
TEST_F(Rtf_, LayoutsKeepCellsAndDefinitionsTogether) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.AddTitle = true;
  w.Layout = elReversedColumnar;
  w.Header = {"head 1", "head 2"};  // rows of the output before the titles
  std::string d = Run(t);
  TRtfShape shape(d);
  EXPECT_TRUE(shape.Balanced);
  EXPECT_EQ(shape.CellsPerRow, (std::vector<int>{4, 4, 4}));
  EXPECT_NE(d.find("\\pard\\plain {head 2} \\par\r\n\\par\r\n\\trowd\\irow0"), std::string::npos);
  w.Header.clear();
  EXPECT_NE(d.find("{Name}\\cell\r\n\\pard\\intbl\\li30\\ri30{apple}\\cell\r\n\\pard\\intbl\\li30\\ri30{pear}"),
            std::string::npos);

  w.Layout = elTabularForm;
  d = Run(t);
  shape = TRtfShape(d);
  EXPECT_EQ(shape.CellsPerRow, (std::vector<int>(9, 2)));
  EXPECT_NE(d.find("{Price}\\cell\r\n\\pard\\intbl\\li30\\ri30\\qr{-4}\\cell"), std::string::npos) << d;

  w.Layout = elColumnar;
  w.Options.Include(soBlankRowAfterCaptions);
  shape = TRtfShape(Run(t));
  EXPECT_EQ(shape.CellsPerRow, (std::vector<int>(5, 3)));
}

// The body waits in an unlinked file of $TMPDIR: a run leaves nothing there, and
// one that cannot create it fails instead of writing half a document.
TEST_F(Rtf_, TheBodyIsSpooledToTheTemporaryFolder) {
  TOpenTable t(kThreeSpec, ThreeRows());
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  const std::string dir = TempDir() + "/spool";
  ::mkdir(dir.c_str(), 0700);
  ::setenv("TMPDIR", dir.c_str(), 1);
  const std::string d = Run(t);
  EXPECT_NE(d.find("{pear}"), std::string::npos);
  EXPECT_TRUE(FolderEntries(dir).empty());
  ::setenv("TMPDIR", (dir + "/missing").c_str(), 1);
  TZelEStringStream out;
  w.DBGrid = &t.Grid;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("temporary file"), std::string::npos) << w.Statistic.Message;
  if (old) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");
}

// A cancelled run leaves no document and nothing in the temporary folder; a
// split one leaves whole documents.
TEST_F(Rtf_, CancelledRunsLeaveNothingAndPartsAreWhole) {
  TOpenTable t(kThreeSpec, ThreeRows());
  const std::string dir = TempDir();
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/c.rtf";
  int records = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++records == 2; };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_TRUE(FolderEntries(dir).empty()) << FolderEntries(dir).size();

  w.OnAfterRecord = nullptr;
  w.RowsPerFile = 2;
  w.AddTitle = true;
  w.Footer = {"end"};
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  ASSERT_EQ(FolderEntries(dir), (std::vector<std::string>{"c.rtf", "c001.rtf"}));
  for (const char* n : {"/c.rtf", "/c001.rtf"}) {
    const std::string d = ReadFile(dir + n);
    TRtfShape shape(d);
    EXPECT_TRUE(shape.Balanced) << n;
    EXPECT_EQ(shape.CellsPerRow.size(), std::string(n) == "/c.rtf" ? 3u : 2u) << n;
    EXPECT_EQ(d.substr(d.size() - 29), "\\pard\\plain {end} \\par\r\n\\par}") << n;
  }
}

}  // namespace
}  // namespace korvane::test
