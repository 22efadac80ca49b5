// Generated tables in other scripts: the words go into the table in the script's code
// page under its language driver, and the reader gives them back as the same words.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/language.h"
#include "engine/pdx.h"
#include "engine/pdxgenerate.h"
#include "platform/textcodec.h"
#include "support/paths.h"

namespace korvane {
namespace {

const TPdxScript kAllScripts[] = {TPdxScript::Latin,  TPdxScript::Cyrillic, TPdxScript::Greek, TPdxScript::Turkish,
                                  TPdxScript::Hebrew, TPdxScript::Arabic,   TPdxScript::Czech};

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

TEST(GenerateScript, NamesAndDrivers) {
  EXPECT_EQ(PdxScriptByName("cyrillic"), TPdxScript::Cyrillic);
  EXPECT_EQ(PdxScriptByName("czech"), TPdxScript::Czech);
  EXPECT_FALSE(PdxScriptByName("Cyrillic").has_value());
  EXPECT_FALSE(PdxScriptByName("klingon").has_value());
  // Each script's driver is a known one, found again from what the header stores,
  // and its code page is the one the driver table gives.
  const std::pair<TPdxScript, const char*> drivers[] = {
      {TPdxScript::Cyrillic, "ancyrr"}, {TPdxScript::Greek, "angreek1"},  {TPdxScript::Turkish, "ANTURK"},
      {TPdxScript::Hebrew, "ANHEBREW"}, {TPdxScript::Arabic, "BLWINAR0"}, {TPdxScript::Czech, "anczech"}};
  for (const auto& [script, name] : drivers) {
    TPdxLanguageDriver d = PdxScriptDriver(script);
    EXPECT_EQ(d.SortOrderName, name);
    int index = FindLanguage(12, d.SortOrder, d.CodePage, d.SortOrderName);
    ASSERT_GT(index, 0) << name;
    EXPECT_EQ(LanguageDrivers[index].CodePageNumber, d.CodePage) << name;
    EXPECT_STREQ(LanguageDrivers[index].DriverName, name);
  }
}

// Every script's words survive the trip through the file: written in the code page,
// decoded by the reader's decoder of the header's code page.
TEST(GenerateScript, ReaderGivesTheWordsBack) {
  for (TPdxScript script : kAllScripts) {
    const std::vector<std::string>& words = PdxScriptWords(script);
    const std::set<std::string> known(words.begin(), words.end());
    const std::string path = test::TempDir() + "/script.db";
    std::vector<TPdxWriterField> fields = ParsePdxFieldSpec("A60,M200,I");
    TPdxWriterOptions opt;
    opt.Language = PdxScriptDriver(script);
    TPdxRowGenerator gen(fields, 7, script);
    {
      TPdxWriter w(path, fields, opt);
      TWriterRow row;
      for (int i = 0; i < 40; ++i) {
        gen.Next(row);
        w.Append(row);
      }
      w.Finish();
    }
    TPdx pdx;
    pdx.SetTableName(path);
    pdx.Open();
    EXPECT_EQ(pdx.Header().DosCodePage(), opt.Language.CodePage);
    auto decoder = TTextDecoder::For(SourceCodePage(pdx, 0));
    std::set<std::string> seen;
    int values = 0;
    for (pdx.First(); !pdx.Eof(); pdx.Next()) {
      for (const char* field : {"Alpha1", "Memo2"}) {
        TField& f = pdx.FieldByName(field);
        const std::string raw = f.AsString();  // memo text as stored
        if (raw.empty()) continue;
        const std::string text = decoder->Decode(raw);
        EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << text;  // nothing undecodable
        std::vector<std::string> ws = Words(text);
        // A value is cut at its field size, so its last word may be a piece of one.
        for (size_t k = 0; k + 1 < ws.size(); ++k) {
          EXPECT_TRUE(known.count(ws[k])) << "\"" << ws[k] << "\" in \"" << text << "\"";
          seen.insert(ws[k]);
        }
        ++values;
      }
    }
    EXPECT_GT(values, 60);
    EXPECT_GT(seen.size(), words.size() / 2) << PdxScriptDriver(script).SortOrderName;
  }
}

// The default script keeps the cp1252 words the generated tables always had, so the
// same seed still gives the same file.
TEST(GenerateScript, LatinWordsAreTheCp1252Ones) {
  std::vector<TPdxWriterField> fields = ParsePdxFieldSpec("A200");
  TPdxRowGenerator a(fields, 3), b(fields, 3, TPdxScript::Latin);
  TWriterRow ra, rb;
  bool accented = false;
  for (int i = 0; i < 50; ++i) {
    a.Next(ra);
    b.Next(rb);
    ASSERT_EQ(ra[0].has_value(), rb[0].has_value());
    if (!ra[0]) continue;
    EXPECT_EQ(ra[0]->Bytes(), rb[0]->Bytes());
    for (unsigned char c : ra[0]->Bytes()) {
      EXPECT_NE(c, 0xC3) << "UTF-8 lead byte in cp1252 text";
      if (c == 0xE9 || c == 0xDF) accented = true;  // é, ß in cp1252
    }
  }
  EXPECT_TRUE(accented);
}

}  // namespace
}  // namespace korvane
