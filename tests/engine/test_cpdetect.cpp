// Code page detection: text of several languages stored in their code pages is
// recognised whatever the header says, the real tables whose code page is known get
// the right guess (or "unsure"), and ASCII text is never flagged.

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>

#include <cstdio>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/language.h"
#include "engine/pdx.h"
#include "engine/pdxgenerate.h"
#include "engine/pdxwriter.h"
#include "platform/cpdetect.h"
#include "platform/textcodec.h"
#include "support/fixtures.h"
#include "support/paths.h"

namespace korvane {
namespace {

// UTF-8 text in a code page (iconv's name).
std::string Encode(const std::string& utf8, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
  std::string out(utf8.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size(), outLeft = out.size();
  char* o = out.data();
  EXPECT_NE(iconv(cd, &in, &inLeft, &o, &outLeft), static_cast<size_t>(-1)) << to;
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

struct TSample {
  const char* Language;
  const char* Iconv;
  int CodePage;
  std::vector<std::string> Lines;
};

const std::vector<TSample>& Samples() {
  static const std::vector<TSample> s = {
      {"Russian", "CP1251", 1251, {"Внешний мир", "Офис на улице Ленина", "Удивительное устройство флешки",
                                   "Счёт за электроэнергию", "Программа установки", "Петров Иван Сергеевич"}},
      {"Russian", "CP866", 866, {"Внешний мир", "Офис на улице Ленина", "Удивительное устройство флешки",
                                 "Счёт за электроэнергию", "Программа установки", "Петров Иван Сергеевич"}},
      {"Russian", "KOI8-R", 20866, {"Внешний мир", "Офис на улице Ленина", "Удивительное устройство флешки",
                                    "Счёт за электроэнергию", "Программа установки", "Петров Иван Сергеевич"}},
      {"Czech", "CP1250", 1250, {"Příliš žluťoučký kůň úpěl ďábelské ódy", "Přihláška k zaměstnání", "Řeka Vltava",
                                 "Číslo měření", "Poznámka k výrobě"}},
      {"Czech", "CP852", 852, {"Příliš žluťoučký kůň úpěl ďábelské ódy", "Přihláška k zaměstnání", "Řeka Vltava",
                               "Číslo měření", "Poznámka k výrobě"}},
      {"Polish", "CP1250", 1250, {"Zażółć gęślą jaźń", "Łódź, ulica Piłsudskiego", "Świętokrzyskie województwo",
                                  "Książka zamówień"}},
      {"Greek", "CP1253", 1253, {"Καλημέρα κόσμε", "Αθήνα, οδός Πανεπιστημίου", "Λογαριασμός ηλεκτρικού ρεύματος",
                                 "Πρόγραμμα εγκατάστασης"}},
      {"Turkish", "CP1254", 1254, {"Müşteri hesapları", "İstanbul şubesi", "Ödeme yapılmadı", "Güncelleştirme",
                                   "Kışlık ürünler ve çeşitler"}},
      {"German", "CP1252", 1252, {"Müller & Söhne", "Straße der Einheit", "Größe über alles", "Bürgermeister Köln"}},
      {"French", "CP850", 850, {"Société générale", "Hôtel de ville, façade", "Électricité et été", "Crème brûlée"}},
      {"Hebrew", "CP1255", 1255, {"שלום עולם", "תל אביב, רחוב הרצל", "חשבון חשמל", "תוכנית התקנה"}},
      {"Lithuanian", "CP1257", 1257, {"Lietuvos Respublika", "Vilniaus universitetas", "Sąskaita už elektrą",
                                      "Įdiegimo programa", "Šiaulių gatvė, Ūkininkų sąjunga"}},
  };
  return s;
}

std::vector<std::string> Encoded(const TSample& s) {
  std::vector<std::string> out;
  for (const std::string& l : s.Lines) out.push_back(Encode(l, s.Iconv));
  return out;
}

TEST(CodePageDetection, TextOfEachLanguageIsFoundUnderAWrongHeader) {
  for (const TSample& s : Samples()) {
    const std::vector<std::string> text = Encoded(s);
    for (int header : {437, 1252, 936}) {
      if (header == s.CodePage) continue;
      const TCodePageGuess g = GuessCodePageOfText(text, header, 0);
      bool readsAlike = true;  // (437 reads most French letters of 850 alike)
      for (const std::string& t : text) readsAlike = readsAlike && DecodeToUtf8(header, t) == DecodeToUtf8(s.CodePage, t);
      if (readsAlike) {
        EXPECT_EQ(g.Verdict, TCodePageGuess::cgAgrees) << s.Language << " under " << header;
        continue;
      }
      ASSERT_EQ(g.Verdict, TCodePageGuess::cgBetter) << s.Language << " " << s.CodePage << " under " << header;
      // The guess, or a code page that reads this text exactly as it does.
      for (const std::string& t : text) {
        EXPECT_EQ(DecodeToUtf8(g.CodePage, t), DecodeToUtf8(s.CodePage, t)) << s.Language << " under " << header;
      }
    }
    // Under its own code page the header stands.
    const TCodePageGuess own = GuessCodePageOfText(text, s.CodePage, 0);
    EXPECT_EQ(own.Verdict, TCodePageGuess::cgAgrees) << s.Language << " " << s.CodePage;
  }
}

TEST(CodePageDetection, AsciiIsNeverFlaggedAndOddBytesRuleOut) {
  const std::vector<std::string> ascii = {"Mari", "Katty", "Elizabet", "123 Main Street", ""};
  for (int header : {437, 936, 1251, 1252}) {
    EXPECT_EQ(GuessCodePageOfText(ascii, header, 0).Verdict, TCodePageGuess::cgNoClue) << header;
  }
  EXPECT_EQ(GuessCodePageOfText({}, 1252, 0).Verdict, TCodePageGuess::cgNoClue);
  // Byte 0x98 has no character in 1251, 0x81 none in 1252: neither can read this.
  const TCodePageGuess g = GuessCodePageOfText({"ab\x98\x81 cd"}, 1251, 0);
  for (const TCodePageScore& s : g.Scores) {
    if (s.CodePage == 1251 || s.CodePage == 1252) {
      EXPECT_TRUE(s.RuledOut) << s.CodePage;
    }
  }
  EXPECT_NE(g.Verdict, TCodePageGuess::cgAgrees);
}

TEST(CodePageDetection, MultiByteHeadersAreRuledOutByBrokenPairs) {
  // Cyrillic 1251 text read as GBK: a lead byte before a space does not decode.
  const std::vector<std::string> text = {Encode("Удивительное устройство USB-флешки Kingston DataTraveler", "CP1251"),
                                         Encode("Вот это да", "CP1251")};
  const TCodePageGuess g = GuessCodePageOfText(text, 936, 0);
  EXPECT_EQ(g.Verdict, TCodePageGuess::cgBetter);
  EXPECT_EQ(g.CodePage, 1251);
  EXPECT_NE(g.Describe().find("Windows Cyrillic (1251)"), std::string::npos);
}

// The real tables whose code page is known: the right guess, or unsure; a header that
// reads the text exactly as the known code page does may stand.
TEST(CodePageDetection, RealTablesWithAKnownCodePage) {
  struct Known {
    const char* Table;
    int CodePage;
  } known[] = {
      {"pyparadox/test.db", 1251},
      {"paradoxdriver/db/GENERAL.DB", 0},  // ASCII only
      {"ParadoxReader-dabide/zakazky.db", 1250},
      {"paradoxdriver-history/27769dce/NOTE1251.DB", 1251},
      {"Rparadox/of.db", 866},
      {"Rparadox/of_cp866.db", 866},
      {"lazarus-paradox/Build/FIRMA.DB", 857},
      {"Rparadox/TypSammlung.DB", 1252},
  };
  for (const Known& k : known) {
    const std::string path = test::TestData(k.Table);
    if (!std::filesystem::exists(path)) continue;
    TPdx t;
    t.SetTableName(path);
    t.Open();
    const int header = SourceCodePage(t, 0);
    const int driver = t.LanguageIndex() >= 1 ? LanguageDrivers[t.LanguageIndex()].CodePageNumber : 0;
    const TCodePageGuess g = GuessCodePage(path, header, driver);
    if (k.CodePage == 0) {
      EXPECT_EQ(g.Verdict, TCodePageGuess::cgNoClue) << k.Table;
      continue;
    }
    switch (g.Verdict) {
      case TCodePageGuess::cgBetter: EXPECT_EQ(g.CodePage, k.CodePage) << k.Table; break;
      case TCodePageGuess::cgUnsure: break;
      case TCodePageGuess::cgNoClue: ADD_FAILURE() << k.Table << ": it has text outside ASCII"; break;
      case TCodePageGuess::cgAgrees: {
        // The header reads every byte of the text as the known code page does.
        std::vector<std::string> values;
        TPdx a, b;
        for (TPdx* x : {&a, &b}) {
          x->SetTableName(path);
          x->Open();
        }
        a.OnEncode = MakeUtf8Encoder(header, DecodeMode::Escape);
        b.OnEncode = MakeUtf8Encoder(k.CodePage, DecodeMode::Escape);
        for (a.First(), b.First(); !a.Eof(); a.Next(), b.Next()) {
          for (int f = 0; f < a.FieldCount(); ++f) {
            if (a.Fields(f).DataType() == ftString) {
              ASSERT_EQ(a.Fields(f).AsString(), b.Fields(f).AsString()) << k.Table;
            }
          }
        }
        break;
      }
    }
  }
}

// Tables of generated words in each script, written in the script's code page under
// a language driver given by the test (the script's own, or a wrong one).
std::string ScriptTable(TPdxScript script, const TPdxLanguageDriver& driver, const std::string& name,
                        int records = 200) {
  const std::string path = test::TempDir() + "/" + name;
  std::vector<TPdxWriterField> fields = ParsePdxFieldSpec("A40,M60,I,A12");
  TPdxWriterOptions opt;
  opt.Language = driver;
  TPdxRowGenerator gen(fields, 11, script);
  TPdxWriter w(path, fields, opt);
  TWriterRow row;
  for (int i = 0; i < records; ++i) {
    gen.Next(row);
    w.Append(row);
  }
  w.Finish();
  return path;
}

// The alpha and memo text of a table as stored.
std::vector<std::string> StoredText(const std::string& path) {
  std::vector<std::string> out;
  TPdx t;
  t.SetTableName(path);
  t.Open();
  t.SetEncodingMemo(false);
  t.OnEncode = [](TDataSet&, const TField&, const std::string& s) { return s; };
  for (t.First(); !t.Eof(); t.Next()) {
    for (int f = 0; f < t.FieldCount(); ++f) {
      const TFieldType k = t.Fields(f).DataType();
      if (k == ftString || k == ftMemo) out.push_back(t.Fields(f).AsString());
    }
  }
  return out;
}

TCodePageGuess GuessOfTable(const std::string& path) {
  TPdx t;
  t.SetTableName(path);
  t.Open();
  const int driver = t.LanguageIndex() >= 1 ? LanguageDrivers[t.LanguageIndex()].CodePageNumber : 0;
  return GuessCodePage(path, SourceCodePage(t, 0), driver);
}

// Does code page a read every byte of the text as code page b does?
bool ReadsAlike(int a, int b, const std::vector<std::string>& text) {
  for (const std::string& t : text)
    if (DecodeToUtf8(a, t) != DecodeToUtf8(b, t)) return false;
  return true;
}

const std::pair<TPdxScript, const char*> kScripts[] = {
    {TPdxScript::Cyrillic, "cyrillic"}, {TPdxScript::Greek, "greek"},   {TPdxScript::Turkish, "turkish"},
    {TPdxScript::Hebrew, "hebrew"},     {TPdxScript::Arabic, "arabic"}, {TPdxScript::Czech, "czech"}};

// Drivers that name code pages other than the scripts': Windows Latin-1, DOS US,
// Simplified Chinese (a double-byte code page) and Windows Cyrillic.
const TPdxLanguageDriver kWrongDrivers[] = {TPdxLanguageDriver::AnsiIntl(), TPdxLanguageDriver::Ascii(),
                                            {0x03, 936, "china"}, {0x8F, 1251, "ancyrr"}};

TEST(CodePageDetection, GeneratedTablesOfEachScript) {
  for (const auto& [script, name] : kScripts) {
    const TPdxLanguageDriver own = PdxScriptDriver(script);
    // Under its own driver the header stands.
    const std::string ownPath = ScriptTable(script, own, std::string(name) + ".db");
    const TCodePageGuess g = GuessOfTable(ownPath);
    EXPECT_EQ(g.Verdict, TCodePageGuess::cgAgrees) << name << ": " << g.Describe();
    const std::vector<std::string> text = StoredText(ownPath);
    // The same words under a header that names another code page: the script's own
    // code page is found (or one that reads every byte of this text alike).
    for (const TPdxLanguageDriver& wrong : kWrongDrivers) {
      if (wrong.CodePage == own.CodePage) continue;
      const std::string path = ScriptTable(script, wrong, std::string(name) + "-" + wrong.SortOrderName + ".db");
      ASSERT_EQ(StoredText(path), text) << name;
      const TCodePageGuess w = GuessOfTable(path);
      ASSERT_EQ(w.Verdict, TCodePageGuess::cgBetter) << name << " under " << wrong.CodePage << ": " << w.Describe();
      EXPECT_TRUE(w.CodePage == own.CodePage || ReadsAlike(w.CodePage, own.CodePage, text))
          << name << " under " << wrong.CodePage << " taken for " << w.CodePage;
    }
  }
}

TEST(CodePageDetection, GeneratedAsciiTablesAreNeverFlagged) {
  // Words of ASCII letters only, under drivers of every kind.
  for (const TPdxLanguageDriver& d : kWrongDrivers) {
    const std::string path = test::TempDir() + "/ascii.db";
    std::vector<TPdxWriterField> fields = ParsePdxFieldSpec("A30,M40,I");
    TPdxWriterOptions opt;
    opt.Language = d;
    TPdxWriter w(path, fields, opt);
    const char* words[] = {"Mari", "Katty Elizabet", "123 Main Street", "x", "Zug und Meer"};
    for (int i = 0; i < 50; ++i) {
      TWriterRow row(3);
      row[0] = TWriterValue(words[i % 5]);
      row[1] = TWriterValue(std::string(words[(i + 2) % 5]) + " memo");
      row[2] = TWriterValue(i);
      w.Append(row);
    }
    w.Finish();
    EXPECT_EQ(GuessOfTable(path).Verdict, TCodePageGuess::cgNoClue) << d.SortOrderName;
  }
}

// korvane-cli's output (stdout only) of a command.
std::string CliOutput(const std::string& args) {
  std::string out;
  FILE* p = ::popen((test::CliPath() + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = ::pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << args;
  return out;
}

TEST(CodePageDetection, DumpWithAutoEncodingReadsWhatTheRightCodePageReads) {
  for (const auto& [script, name] : kScripts) {
    const int cp = PdxScriptDriver(script).CodePage;
    const std::string path = ScriptTable(script, TPdxLanguageDriver::AnsiIntl(), std::string(name) + "-1252.db", 60);
    const std::string right = CliOutput("dump --encoding " + std::to_string(cp) + " '" + path + "'");
    EXPECT_TRUE(CliOutput("dump --encoding auto '" + path + "'") == right) << name;
    EXPECT_FALSE(CliOutput("dump '" + path + "'") == right) << name;  // the header's 1252 reads it otherwise
    // Under the script's own driver, auto keeps the header's code page.
    const std::string ownPath = ScriptTable(script, PdxScriptDriver(script), std::string(name) + ".db", 60);
    EXPECT_TRUE(CliOutput("dump --encoding auto '" + ownPath + "'") == CliOutput("dump '" + ownPath + "'")) << name;
  }
}

// Bytes this process has read through read(2) and pread(2).
uint64_t BytesRead() {
  std::FILE* f = std::fopen("/proc/self/io", "r");
  if (!f) return 0;
  char line[128];
  unsigned long long n = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "rchar: %llu", &n) == 1) break;
  std::fclose(f);
  return n;
}

TEST(CodePageDetection, LongAsciiMemosAreNotReadWhole) {
  // 48 memos of 256 KB of ASCII, then Cyrillic text: detection reads a few MB, not the
  // 12 MB memo file, and what it read tells nothing.
  const std::string path = test::TempDir() + "/longmemo.db";
  std::vector<TPdxWriterField> fields = ParsePdxFieldSpec("M20,A30");
  TPdxWriterOptions opt;
  opt.Language = TPdxLanguageDriver::AnsiIntl();
  {
    TPdxWriter w(path, fields, opt);
    for (int i = 0; i < 60; ++i) {
      TWriterRow row(2);
      if (i < 48) row[0] = TWriterValue(std::string(256 * 1024, static_cast<char>('a' + i % 26)));
      row[1] = TWriterValue(i < 48 ? std::string("plain") : Encode("Счёт за электроэнергию", "CP1251"));
      w.Append(row);
    }
    w.Finish();
  }
  const uint64_t before = BytesRead();
  const TCodePageGuess g = GuessOfTable(path);
  const uint64_t read = BytesRead() - before;
  EXPECT_LT(read, 6u << 20);
  EXPECT_EQ(g.Verdict, TCodePageGuess::cgNoClue);
}

TEST(CodePageDetection, GeneratedTablesOfEachDriver) {
  // The generator writes Western European (1252) words whatever the driver: under a
  // 1252 driver the header stands, under a DOS driver the 1252 text is recognised.
  struct Case {
    TPdxLanguageDriver Driver;
    TCodePageGuess::TVerdict Verdict;
  } cases[] = {{TPdxLanguageDriver::AnsiIntl(), TCodePageGuess::cgAgrees},
               {TPdxLanguageDriver::WinUs(), TCodePageGuess::cgAgrees},
               {TPdxLanguageDriver::WinWestEurope(), TCodePageGuess::cgAgrees},
               {TPdxLanguageDriver::Intl850(), TCodePageGuess::cgBetter},
               {TPdxLanguageDriver::Ascii(), TCodePageGuess::cgBetter}};
  for (const Case& c : cases) {
    TPdxWriterOptions o;
    o.Language = c.Driver;
    const std::string path = test::MakeGeneratedTable("A30,I,A20", 400, 3, o, "gen.db");
    TPdx t;
    t.SetTableName(path);
    t.Open();
    const TCodePageGuess g = GuessCodePage(path, SourceCodePage(t, 0), c.Driver.CodePage);
    EXPECT_EQ(g.Verdict, c.Verdict) << c.Driver.SortOrderName;
    if (c.Verdict == TCodePageGuess::cgBetter) {
      EXPECT_EQ(g.CodePage, 1252) << c.Driver.SortOrderName;
    }
  }
}

}  // namespace
}  // namespace korvane
