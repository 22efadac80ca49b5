#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/conv.h"
#include "engine/language.h"

namespace korvane {
namespace {

TEST(Language, DriverTable) {
  EXPECT_STREQ(LanguageDrivers[0].Name, "");
  for (int i = 1; i <= kLanguageDriverCount; ++i) {
    const TLanguageDriver& d = LanguageDrivers[i];
    EXPECT_GT(std::strlen(d.Name), 0u) << i;
    EXPECT_LE(std::strlen(d.Name), 20u) << i;
    EXPECT_GT(std::strlen(d.DriverName), 0u) << i;
    EXPECT_LE(std::strlen(d.DriverName), 8u) << i;
  }
  struct Row {
    int Index;
    const char* Name;
    int SortOrder;
    int CodePage;
    const char* DriverName;
  };
  const Row rows[] = {
      {1, "Access General", 0xA1, 1252, "ACCGEN"},         {6, "'ascii' ANSI", 0x4C, 1252, "DBWINUS0"},
      {43, "dBASE HUN cp852", 0x94, 852, "db852hdc"},      {60, "dBASE TRK cp857", 0x00, 857, "DB857TR0"},
      {71, "Paradox ANSI HEBREW", 0x4C, 1255, "ANHEBREW"}, {75, "Paradox Cyrr 866", 0xC0, 866, "cyrr"},
      {96, "Pdox ANSI Cyrillic", 0x8F, 1251, "ancyrr"},    {113, "pdx ISO L_2 Czech", 0x5B, 592, "il2czw"},
      {115, "SQL Link ROMAN8", 0x14, 8, "BLROM800"},       {118, "'WEurope' ANSI", 0x40, 1252, "DBWINWE0"},
  };
  for (const Row& r : rows) {
    const TLanguageDriver& d = LanguageDrivers[r.Index];
    EXPECT_STREQ(d.Name, r.Name);
    EXPECT_EQ(d.SortOrder, r.SortOrder) << r.Index;
    EXPECT_EQ(d.CodePageNumber, r.CodePage) << r.Index;
    EXPECT_STREQ(d.DriverName, r.DriverName);
  }
}

TEST(Language, FindBeforeVersion5MatchesSortOrderOnly) {
  // 0x4C is shared by entries 6 and 71: the first one wins.
  EXPECT_EQ(FindLanguage(4, 0x4C, 0, ""), 6);
  EXPECT_EQ(FindLanguage(4, 0x4C, 1255, "ANHEBREW"), 6);
  EXPECT_EQ(FindLanguage(3, 0x27, 0, ""), 12);
  EXPECT_EQ(FindLanguage(3, 0x00, 0, ""), 60);
  EXPECT_EQ(FindLanguage(4, 0xC0, 0, ""), 75);  // of.db: a 3.5 table with cp866 text
  EXPECT_EQ(FindLanguage(4, 0x01, 0, ""), 0);
}

TEST(Language, FindFromVersion5MatchesAllThree) {
  EXPECT_EQ(FindLanguage(7, 0xC0, 866, "cyrr"), 75);
  EXPECT_EQ(FindLanguage(7, 0xC0, 866, "CYRR"), 0);  // names are case-sensitive
  EXPECT_EQ(FindLanguage(7, 0xC0, 1251, "cyrr"), 0);
  EXPECT_EQ(FindLanguage(5, 0x4C, 1255, "ANHEBREW"), 71);
  EXPECT_EQ(FindLanguage(5, 0x27, 850, "FOXNO850"), 67);
  EXPECT_EQ(FindLanguage(12, 0x27, 1252, "BLLT1FR0"), 14);
  // Header values of real tables: of_cp866.db, pyparadox test.db, CUSTOMER.DB,
  // TypSammlung.DB, FIRMA.DB, GENERAL.DB, MEMBRE.DB, memo.db and ROMAN8.db.
  EXPECT_EQ(FindLanguage(9, 0xC0, 866, "cyrr"), 75);
  EXPECT_EQ(FindLanguage(12, 0x4C, 1252, "DBWINUS0"), 6);
  EXPECT_EQ(FindLanguage(12, 0x11, 1252, "ANSII850"), 101);
  EXPECT_EQ(FindLanguage(12, 0x62, 1252, "ANSIINTL"), 100);
  EXPECT_EQ(FindLanguage(12, 0xC6, 857, "turk"), 94);
  EXPECT_EQ(FindLanguage(11, 0x03, 936, "china"), 74);
  EXPECT_EQ(FindLanguage(12, 0xB7, 437, "intl"), 82);
  EXPECT_EQ(FindLanguage(11, 0x00, 850, "ascii"), 0);  // "ascii" is listed with code page 437
  EXPECT_EQ(FindLanguage(9, 0x14, 0, "BLROM800"), 0);  // the header's code page is 0, the entry's 8
  EXPECT_EQ(FindLanguage(12, 0x00, 437, "ascii"), 72);
  EXPECT_EQ(FindLanguage(12, 0x00, 437, ""), 0);
}

TEST(Language, Names) {
  EXPECT_EQ(LanguageName(75), "Paradox Cyrr 866");
  EXPECT_EQ(LanguageName(118), "'WEurope' ANSI");
  EXPECT_EQ(LanguageName(0), "");
  EXPECT_EQ(LanguageName(119), "");
  EXPECT_EQ(LanguageName(-1), "");
  EXPECT_EQ(LanguageIndexByName("Paradox Cyrr 866"), 75);
  EXPECT_EQ(LanguageIndexByName("Paradox 'ascii'"), 72);
  EXPECT_EQ(LanguageIndexByName("paradox cyrr 866"), 0);
  EXPECT_EQ(LanguageIndexByName("Paradox Cyrr 866 "), 0);
  EXPECT_EQ(LanguageIndexByName(""), 0);
  for (int i = 1; i <= kLanguageDriverCount; ++i) EXPECT_EQ(LanguageIndexByName(LanguageName(i)), i);
}

TEST(Language, RecodeCp866Driver) {
  const int cyrr = 75;
  EXPECT_EQ(RecodeText(cyrr, "UTF-8", "\x80"), "\xD0\x90");
  EXPECT_EQ(RecodeText(cyrr, "KOI8R", "\x80"), "\xE1");
  EXPECT_EQ(RecodeText(cyrr, "CP1251", "\x80\xE0"), "\xC0\xF0");
  EXPECT_EQ(RecodeText(55, "UTF-8", "A\xF0"), "A\xD0\x81");  // dBASE RUS cp866
  // Only the exact names recode.
  for (const char* cp : {"", "utf-8", "UTF8", "koi8r", "KOI8-R", "cp1251", "CP866", "UTF-8 "})
    EXPECT_EQ(RecodeText(cyrr, cp, "\x80"), "\x80") << cp;
  // A box-drawing line has no place in code page 1251.
  try {
    RecodeText(cyrr, "CP1251", "\xC4");
    ADD_FAILURE() << "no error";
  } catch (const eConvException& e) {
    EXPECT_STREQ(e.what(), "Can't convert from UCS4 to Cp1251 symbol $00002500");
  }
}

TEST(Language, RecodeCp1251Driver) {
  const int ancyrr = 96;
  EXPECT_EQ(RecodeText(ancyrr, "UTF-8", "\xC0\xB9"), "\xD0\x90\xE2\x84\x96");
  EXPECT_EQ(RecodeText(ancyrr, "KOI8R", "\xC0"), "\xE1");
  EXPECT_EQ(RecodeText(ancyrr, "CP1251", "\xC0\x98"), "\xC0\x98");  // already code page 1251
  EXPECT_THROW(RecodeText(ancyrr, "UTF-8", "\x98"), eConvException);
}

TEST(Language, RecodeOtherDriversUnchanged) {
  for (int index : {0, 6, 74, 118, 119, -5})
    for (const char* cp : {"UTF-8", "KOI8R", "CP1251"})
      EXPECT_EQ(RecodeText(index, cp, "\x80\x98\xC4"), "\x80\x98\xC4");
}

}  // namespace
}  // namespace korvane
