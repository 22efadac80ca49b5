// Code page detection: text of several languages stored in their code pages is
// recognised whatever the header says, the real tables whose code page is known get
// the right guess (or "unsure"), and ASCII text is never flagged.

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/language.h"
#include "engine/pdx.h"
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
