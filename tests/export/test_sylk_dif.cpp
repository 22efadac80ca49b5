// SYLK and DIF: every value a quoted text in the run's code page, bounds and
// counts that match the cells written, and values that keep their text whole
// (";" doubled in SYLK, quotes as they stand), or are counted where a line
// break or a NUL byte had to become a blank.

#include <gtest/gtest.h>

#include <regex>

#include "export/formats/ZelE2DIF.h"
#include "export/formats/ZelE2SYLK.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

template <class W>
struct Sheet : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
  }
  std::string Run(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    TZelEStringStream out;
    w.ExportToStream(&out);
    EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
    return out.Data();
  }
  std::string Notes() const {
    std::string s;
    for (const std::string& n : w.Statistic.Notes) s += n + "\n";
    return s;
  }
  W w;
  TRecordingServices services;
};

using Sylk = Sheet<TZelExportToSYLK>;
using Dif = Sheet<TZelExportToDIF>;

TEST_F(Sylk, TwoColumnsTwoRecordsWithCaptions) {
  TOpenTable t("Name=A10,Qty=I", {{TWriterValue("apple"), TWriterValue(3)}, {TWriterValue("pear"), std::nullopt}});
  w.AddTitle = true;
  EXPECT_EQ(Run(t),
            "ID;PZelExport 4.99;N;E\r\n"
            "B;Y3;X2\r\n"
            "F;W1 1 10\r\n"
            "F;W2 2 11\r\n"
            "C;Y1;X1;K\"Name\"\r\nF;FG0L\r\n"
            "C;Y1;X2;K\"Qty\"\r\nF;FG0L\r\n"
            "C;Y2;X1;K\"apple\"\r\nF;FG0L\r\n"
            "C;Y2;X2;K\"3\"\r\nF;FG0R\r\n"
            "C;Y3;X1;K\"pear\"\r\nF;FG0L\r\n"
            "C;Y3;X2;K\"\"\r\nF;FG0R\r\n"
            "E\r\n");
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Sylk, SemicolonsDoubledQuotesKeptLineBreaksAndNulAsOneBlankCounted) {
  const std::string long_text = std::string(298, 'x') + ";\"";
  TOpenTable t("A=A40,M=M10", {{TWriterValue("a;b \"q\" c;;"), TWriterValue(std::string("one\r\ntwo\rthree\nf\0g", 18))},
                               {TWriterValue("plain"), TWriterValue(long_text)}});
  w.KeyGenerator = "Gen;1\r\nline";
  const std::string s = Run(t);
  EXPECT_NE(s.find("ID;PGen;;1 line;N;E\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find("C;Y1;X1;K\"a;;b \"q\" c;;;;\"\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find("C;Y1;X2;K\"one two three f g\"\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find("C;Y2;X1;K\"plain\"\r\n"), std::string::npos) << s;
  // 300 characters are written whole.
  EXPECT_NE(s.find("C;Y2;X2;K\"" + std::string(298, 'x') + ";;\"\"\r\n"), std::string::npos);
  // Every line is a record: no CR or LF but at line ends, no NUL.
  EXPECT_EQ(s.find('\0'), std::string::npos);
  EXPECT_EQ(std::regex_replace(s, std::regex("\r\n"), "").find_first_of("\r\n"), std::string::npos);
  // One value lost its line breaks and NUL: it counts once, both notes say why.
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(Notes().find("1 values held line breaks"), std::string::npos) << Notes();
  EXPECT_NE(Notes().find("1 values held NUL bytes"), std::string::npos) << Notes();
}

TEST_F(Sylk, TextInTheRunsCodePage) {
  TOpenTable t("A=A30", {{TWriterValue("Zo\xEB \xE9 \xF8 \xA3 \xDF")}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  w.CodePage = 1252;
  EXPECT_NE(Run(t).find("K\"Zo\xEB \xE9 \xF8 \xA3 \xDF\""), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  w.CodePage = 850;
  EXPECT_NE(Run(t).find("K\"Zo\x89 \x82 \x9B \x9C \xE1\""), std::string::npos);
  w.CodePage = 866;  // no ë, é, ø, £ or ß: "?" counted once for the value
  EXPECT_NE(Run(t).find("K\"Zo? ? ? ? ?\""), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(Notes().find("code page 866"), std::string::npos) << Notes();
}

TEST_F(Sylk, BinaryAsLowercaseHex) {
  TOpenTable t("R=B10,Y=Y3", {{TWriterValue(std::string("\x01\xAB\0", 3)), TWriterValue(std::string("\xFF\x10\x00", 3))}});
  const std::string s = Run(t);
  EXPECT_NE(s.find("C;Y1;X1;K\"01ab00\""), std::string::npos) << s;
  EXPECT_NE(s.find("C;Y1;X2;K\"ff1000\""), std::string::npos) << s;
}

// The bounds and the header say as many rows and columns as the cells fill,
// whatever the layout, titles, blank row and header or footer lines.
struct TLayoutCase {
  const char* name;
  TZelELayout layout;
  bool titles, blankRow, lines;
};
const std::vector<TLayoutCase> kLayouts = {
    {"columnar", elColumnar, false, false, false},    {"columnar titles", elColumnar, true, true, true},
    {"reversed", elReversedColumnar, true, false, false}, {"reversed lines", elReversedColumnar, true, true, true},
    {"tabular", elTabularForm, false, false, false},  {"tabular titles", elTabularForm, true, true, true},
    {"tabular titles only", elTabularForm, true, false, false}};

template <class W>
void Configure(W& w, const TLayoutCase& c) {
  w.Layout = c.layout;
  w.AddTitle = c.titles;
  if (c.blankRow) w.Options.Include(soBlankRowAfterCaptions);
  else w.Options.Exclude(soBlankRowAfterCaptions);
  w.Header.clear();
  w.Footer.clear();
  if (c.lines) {
    w.Header = {"head 1", "head 2"};
    w.Footer = {"foot"};
  }
}

TEST_F(Sylk, BoundsAreTheRowsAndColumnsWritten) {
  TOpenTable t(kThreeSpec, ThreeRows());
  for (const TLayoutCase& c : kLayouts) {
    Configure(w, c);
    const std::string s = Run(t);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(s, m, std::regex("\r\nB;Y(\\d+);X(\\d+)\r\n"))) << c.name;
    const int by = std::stoi(m[1]), bx = std::stoi(m[2]);
    int maxY = 0, maxX = 0;
    const std::regex cell("C;Y(\\d+);X(\\d+);K");
    for (auto it = std::sregex_iterator(s.begin(), s.end(), cell); it != std::sregex_iterator(); ++it) {
      maxY = std::max(maxY, std::stoi((*it)[1]));
      maxX = std::max(maxX, std::stoi((*it)[2]));
    }
    EXPECT_EQ(by, maxY) << c.name << "\n" << s;
    EXPECT_EQ(bx, maxX) << c.name << "\n" << s;
  }
}

TEST_F(Dif, ThreeRecordsTwoColumnsAnEmptyCell) {
  TOpenTable t("Name=A10,Qty=I", {{TWriterValue("apple"), TWriterValue(3)},
                                  {TWriterValue("pear"), std::nullopt},
                                  {TWriterValue("plum"), TWriterValue(-4)}});
  EXPECT_EQ(Run(t),
            "TABLE\r\n0,1\r\n\"ZelExport 4.99\"\r\n"
            "VECTORS\r\n0,2\r\n\"\"\r\n"
            "TUPLES\r\n0,3\r\n\"\"\r\n"
            "DATA\r\n0,0\r\n\"\"\r\n"
            "-1,0\r\nBOT\r\n1,0\r\n\"apple\"\r\n1,0\r\n\"3\"\r\n"
            "-1,0\r\nBOT\r\n1,0\r\n\"pear\"\r\n1,0\r\n\"\"\r\n"
            "-1,0\r\nBOT\r\n1,0\r\n\"plum\"\r\n1,0\r\n\"-4\"\r\n"
            "-1,0\r\nEOD\r\n");
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Dif, LineBreaksAndNulAsOneBlankCountedQuotesAsTheyStand) {
  TOpenTable t("A=A40,M=M10", {{TWriterValue("say \"hi\"; \"\" x\""), TWriterValue(std::string("l1\r\nl2\rl3\nl4\0", 13))},
                               {TWriterValue("ok"), TWriterValue(std::string(300, 'y'))}});
  w.KeyGenerator = "Gen\r\n2";
  const std::string s = Run(t);
  EXPECT_NE(s.find("TABLE\r\n0,1\r\n\"Gen 2\"\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find("1,0\r\n\"say \"hi\"; \"\" x\"\"\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find("1,0\r\n\"l1 l2 l3 l4 \"\r\n"), std::string::npos) << s;
  EXPECT_NE(s.find("1,0\r\n\"" + std::string(300, 'y') + "\"\r\n"), std::string::npos) << s;
  EXPECT_EQ(s.find('\0'), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(Notes().find("1 values held line breaks"), std::string::npos) << Notes();
  EXPECT_NE(Notes().find("1 values held NUL bytes"), std::string::npos) << Notes();

  // In the run's code page.
  TOpenTable u("A=A30", {{TWriterValue("Zo\xEB \xE9")}});
  u.Table.OnEncode = MakeUtf8Encoder(1252);
  w.CodePage = 1252;
  EXPECT_NE(Run(u).find("\"Zo\xEB \xE9\"\r\n"), std::string::npos);
}

TEST_F(Dif, VectorsAreColumnsTuplesAreRows) {
  TOpenTable t(kThreeSpec, ThreeRows());
  for (const TLayoutCase& c : kLayouts) {
    Configure(w, c);
    const std::string s = Run(t);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(s, m, std::regex("VECTORS\r\n0,(\\d+)\r\n\"\"\r\nTUPLES\r\n0,(\\d+)\r\n"))) << c.name;
    const int vectors = std::stoi(m[1]), tuples = std::stoi(m[2]);
    // Values per tuple.
    int count = 0, widest = 0, values = -1;
    for (size_t at = s.find("-1,0\r\n"); at != std::string::npos; at = s.find("-1,0\r\n", at + 1)) {
      widest = std::max(widest, values);
      values = 0;
      if (s.compare(at + 6, 3, "BOT") == 0) ++count;
      for (size_t v = s.find("1,0\r\n", at + 6); v != std::string::npos && v < s.find("-1,0\r\n", at + 6);
           v = s.find("1,0\r\n", v + 1))
        if (s[v - 1] == '\n') ++values;
    }
    EXPECT_EQ(tuples, count) << c.name << "\n" << s;
    EXPECT_EQ(vectors, widest) << c.name << "\n" << s;
  }
}

}  // namespace
}  // namespace korvane::test
