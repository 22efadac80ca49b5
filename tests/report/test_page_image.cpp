// Page images: what the recorder writes plays back as drawn, and a damaged or
// hostile image is refused before anything is drawn.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "report/RvoPageImage.h"
#include "report/RvoSplay.h"

namespace korvane::report {
namespace {

// Writes every call down as text.
class TLogCanvas : public TRvoCanvas {
 public:
  std::vector<std::string> log;
  void BeginPage(double w, double h) override { Add("begin", w, h); }
  void EndPage() override { log.push_back("end"); }
  void FillRect(double x, double y, double w, double h, TRvoRGB c) override {
    Add("fill", x, y, w, h);
    log.back() += " #" + std::to_string(c);
  }
  void Line(double x1, double y1, double x2, double y2, TRvoRGB c, double w, TRvoPenStyle s) override {
    Add("line", x1, y1, x2, y2);
    log.back() += " #" + std::to_string(c) + " w" + Num(w) + " s" + std::to_string(int(s));
  }
  void Text(double x, double y, const TRvoFontSpec& f, std::string_view t, double cx, double cy,
            double cw, double ch) override {
    Add("text", x, y, cx, cy);
    log.back() += " " + Num(cw) + " " + Num(ch) + " " + f.Name + "/" + Num(f.Size) + (f.Bold ? "b" : "") +
                  (f.Underline ? "u" : "") + " '" + std::string(t) + "'";
  }
  void Image(double x, double y, double w, double h, std::string_view e) override {
    Add("image", x, y, w, h);
    log.back() += " " + std::string(e);
  }

 private:
  static std::string Num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
  }
  void Add(const char* what, double a, double b, double c = -1, double d = -1) {
    std::string s = std::string(what) + " " + Num(a) + " " + Num(b);
    if (c >= 0) s += " " + Num(c) + " " + Num(d);
    log.push_back(s);
  }
};

std::string SamplePage() {
  TRvoPageRecorder rec;
  rec.BeginPage(2100, 2970);
  rec.FillRect(100, 100, 500, 40, 0xFF0000);
  rec.Line(100, 140.04, 600, 140.04, kRvoBlack, 3.5, TRvoPenStyle::Dash);
  TRvoFontSpec bold;
  bold.Bold = true;
  bold.Size = 14;
  rec.Text(120, 100, bold, "Grüße", 100, 100, 500, 40);
  rec.Text(120, 150, bold, "again", 100, 150, 500, 40);  // same font: no second font record
  TRvoFontSpec u;
  u.Underline = true;
  u.Name = "Liberation Sans";
  rec.Text(-50, 200, u, "left of the paper", 0, 200, 300, 40);
  rec.Image(10, 10, 20, 30, "PNGDATA");
  rec.EndPage();
  return rec.TakeImage();
}

uint32_t At32(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}
void Set32(std::string& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); }

// Offset of record r (1-based).
size_t RecordAt(const std::string& img, int r) {
  size_t pos = kPageImageHeaderSize;
  for (int i = 1; i < r; ++i) pos += At32(img, pos + 4);
  return pos;
}

TEST(PageImage, RecordsPlayBackAsDrawn) {
  std::string img = SamplePage();
  TRvoPageInfo info;
  std::string why;
  ASSERT_TRUE(CheckPageImage(img, &info, &why)) << why;
  EXPECT_EQ(info.Width, 2100);
  EXPECT_EQ(info.Height, 2970);
  // White paper, fill, line, font, text, text (same font), font, text, picture.
  EXPECT_EQ(info.Records, 9u);
}

TEST(PageImage, PlayGivesTheCallsBack) {
  std::string img = SamplePage();
  TLogCanvas log;
  std::string why;
  ASSERT_TRUE(PlayPageImage(img, log, &why)) << why;
  std::vector<std::string> want = {
      "begin 2100 2970",
      "fill 100 100 500 40 #16711680",
      "line 100 140 600 140 #0 w3.5 s1",
      "text 120 100 100 100 500 40 Arial/14b 'Grüße'",
      "text 120 150 100 150 500 40 Arial/14b 'again'",
      "text -50 200 0 200 300 40 Liberation Sans/10u 'left of the paper'",
      "image 10 10 20 30 PNGDATA",
      "end",
  };
  EXPECT_EQ(log.log, want);
}

TEST(PageImage, RecorderKeepsEverythingOnThePaper) {
  TRvoPageRecorder rec;
  rec.BeginPage(1000, 500);
  rec.FillRect(-100, -100, 300, 300, 1);        // cut to the paper
  rec.FillRect(2000, 10, 10, 10, 2);           // wholly off: left out
  rec.Line(-10, 20, 5000, 20, 3, 1e9, TRvoPenStyle::Solid);
  TRvoFontSpec f;
  f.Size = 1e9;
  rec.Text(1e12, -1e12, f, "far", -10, -10, 2000, 2000);
  rec.Text(10, 10, f, std::string("bad \xff\xfe utf"), 0, 0, 10, 10);
  rec.Image(900, 10, 200, 10, "cut off");      // would be squeezed: left out
  rec.EndPage();
  std::string img = rec.TakeImage();
  TLogCanvas log;
  std::string why;
  ASSERT_TRUE(PlayPageImage(img, log, &why)) << why;
  std::vector<std::string> want = {
      "begin 1000 500",
      "fill 0 0 200 200 #1",
      "line 0 20 1000 20 #3 w1000 s0",
      "text 2000 -500 0 0 1000 500 Arial/2000 'far'",
      "text 10 10 0 0 10 10 Arial/2000 'bad \xEF\xBF\xBD\xEF\xBF\xBD utf'",
      "end",
  };
  EXPECT_EQ(log.log, want);
}

// Every way of damaging an image is caught by the walk, and nothing is drawn.
TEST(PageImage, DamagedImagesAreRefusedBeforeDrawing) {
  const std::string good = SamplePage();
  struct TCase {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* says;
  };
  const size_t fill = RecordAt(good, 2), line = RecordAt(good, 3), font = RecordAt(good, 4),
               text = RecordAt(good, 5), pic = RecordAt(good, 9);
  std::vector<TCase> cases = {
      {"signature", [](std::string& s) { s[0] = 'X'; }, "signature"},
      {"version", [](std::string& s) { s[4] = 2; }, "version 2"},
      {"length", [](std::string& s) { Set32(s, 8, At32(s, 8) + 4); }, "length"},
      {"too many records", [](std::string& s) { Set32(s, 12, 0x7fffffff); }, "more records"},
      {"one record more", [](std::string& s) { Set32(s, 12, At32(s, 12) + 1); }, "record 10"},
      {"one record less", [](std::string& s) { Set32(s, 12, At32(s, 12) - 1); }, "after its last record"},
      {"paper zero", [](std::string& s) { Set32(s, 16, 0); }, "paper"},
      {"paper huge", [](std::string& s) { Set32(s, 20, 0x7fffffff); }, "paper"},
      {"reserved", [](std::string& s) { s[40] = ' '; }, "reserved"},
      {"no white page", [](std::string& s) { Set32(s, 48 + 24, 0x123456); }, "white"},
      {"record past end", [=](std::string& s) { Set32(s, line + 4, 0x7ffffff0); }, "record 3"},
      {"record length zero", [=](std::string& s) { Set32(s, line + 4, 0); }, "record 3"},
      {"unknown kind", [=](std::string& s) { s[line] = 9; }, "unknown kind 9"},
      {"fill off the page", [=](std::string& s) { Set32(s, fill + 8, 20000); }, "outside"},
      {"fill negative", [=](std::string& s) { Set32(s, fill + 16, uint32_t(-5)); }, "outside"},
      {"line off the page", [=](std::string& s) { Set32(s, line + 16, 400000); }, "outside"},
      {"line style", [=](std::string& s) { s[line + 32] = 77; }, "style"},
      {"line width", [=](std::string& s) { Set32(s, line + 28, 0x7fffffff); }, "wider"},
      {"font name count", [=](std::string& s) { Set32(s, font + 20, 0x7fffffff); }, "longer than allowed"},
      {"font name count short", [=](std::string& s) { Set32(s, font + 20, 2); }, "does not fit"},
      {"font size zero", [=](std::string& s) { Set32(s, font + 8, 0); }, "size"},
      {"text count", [=](std::string& s) { Set32(s, text + 32, 0x7fffffff); }, "longer than allowed"},
      {"text count one word more", [=](std::string& s) { Set32(s, text + 32, At32(s, text + 32) + 4); }, "does not fit"},
      {"text clip off", [=](std::string& s) { Set32(s, text + 24, 0x40000000); }, "clipped outside"},
      {"text far away", [=](std::string& s) { Set32(s, text + 8, 0x40000000); }, "too far"},
      {"text not utf-8", [=](std::string& s) { s[text + 36] = '\xC3'; s[text + 37] = 'A'; }, "UTF-8"},
      {"picture count", [=](std::string& s) { Set32(s, pic + 24, 0xfffffff0); }, "longer than allowed"},
      {"picture off", [=](std::string& s) { Set32(s, pic + 8, 3000000); }, "outside"},
      {"cut short", [](std::string& s) { s.resize(s.size() - 4); Set32(s, 8, uint32_t(s.size())); }, "record 9"},
      {"header only", [](std::string& s) { s.resize(20); }, "too short"},
  };
  for (const TCase& c : cases) {
    std::string img = good;
    c.damage(img);
    TLogCanvas log;
    std::string why;
    EXPECT_FALSE(PlayPageImage(img, log, &why)) << c.name;
    EXPECT_TRUE(log.log.empty()) << c.name;
    EXPECT_NE(why.find(c.says), std::string::npos) << c.name << ": " << why;
  }
}

TEST(PageImage, ATextBeforeAnyFontIsRefused) {
  std::string img = SamplePage();
  // Drop the first font record: the text after it has no font.
  size_t font = RecordAt(img, 4);
  uint32_t len = At32(img, font + 4);
  img.erase(font, len);
  Set32(img, 8, uint32_t(img.size()));
  Set32(img, 12, At32(img, 12) - 1);
  std::string why;
  EXPECT_FALSE(CheckPageImage(img, nullptr, &why));
  EXPECT_NE(why.find("before any font"), std::string::npos) << why;
}

TEST(PageImage, NoImageReadsAsAWindowsMetafile) {
  // The saved file tells EMF images by " EMF" at offset 40 and by "EMF" 37 bytes in;
  // ours keep those bytes zero.
  std::string img = SamplePage();
  for (size_t i = 36; i < 48; ++i) EXPECT_EQ(img[i], '\0') << i;
}

TEST(SplayCode, RoundTripsAnyBytes) {
  std::vector<std::string> inputs = {"", std::string(1, '\0'), "a", SamplePage()};
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(char(i));
  inputs.push_back(all + all + std::string(5000, 'x') + all);
  uint32_t seed = 12345;
  std::string noise;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245 + 12345;
    noise.push_back(char(seed >> 16));
  }
  inputs.push_back(noise);
  for (const std::string& in : inputs) {
    std::string coded = SplayEncode(in);
    auto back = SplayDecode(coded, in.size(), 1 << 30);
    ASSERT_TRUE(back.has_value()) << in.size();
    EXPECT_EQ(*back, in);
  }
  // Repetitive data, like a page image, gets much smaller.
  std::string page = SamplePage();
  std::string many;
  for (int i = 0; i < 50; ++i) many += page;
  EXPECT_LT(SplayEncode(many).size(), many.size() / 2);
}

TEST(SplayCode, ZeroFirstGivesEightyAndTheTreeMoves) {
  EXPECT_EQ(SplayEncode(std::string(1, '\0')), std::string(1, '\x80'));
  // Byte 0xFF's leaf 511 is the left child of node 255, nine levels down the
  // all-left path: nine 0 bits.
  EXPECT_EQ(SplayEncode("\xff"), std::string(2, '\0'));
  // The slot right of node 255 stands for no byte: a code that leads there is refused.
  EXPECT_FALSE(SplayDecode(std::string("\0\x01", 2), 1, 100));
  // After splaying at 0x00 its leaf sits higher: the second 0x00 costs fewer bits.
  std::string two = SplayEncode(std::string(2, '\0'));
  EXPECT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0], '\x80');
  auto back = SplayDecode(two, 2, 100);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, std::string(2, '\0'));
}

TEST(SplayCode, DecodingRefusesLengthsTheInputCannotHold) {
  std::string coded = SplayEncode("hello");
  EXPECT_FALSE(SplayDecode(coded, 8 * coded.size() + 1, 1 << 30));  // more than 8 per byte
  EXPECT_FALSE(SplayDecode(coded, 5, 4));                           // over the cap
  EXPECT_FALSE(SplayDecode("", 1, 100));
  // A length that is possible but not there: the bits run out.
  EXPECT_FALSE(SplayDecode(coded, 8 * coded.size(), 1 << 30));
  EXPECT_EQ(SplayDecode(coded, 5, 5).value_or(""), "hello");
}

}  // namespace
}  // namespace korvane::report
