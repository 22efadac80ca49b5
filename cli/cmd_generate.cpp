// korvane-cli generate: writes a table of generated records, or the bundled sample tables.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "engine/pdxgenerate.h"

namespace korvane::cli {

namespace {

const char kGenerateHelp[] =
    "usage: korvane-cli generate --records N [--fields SPEC] [--block-kb K] [--seed S]\n"
    "                            [--version 3|3.5|4|5|7] [--language NAME] [--chain file|swapped]\n"
    "                            [--script cyrillic|greek|turkish|hebrew|arabic|czech] OUT.db\n"
    "       korvane-cli generate --sample OUT_DIR\n"
    "\n"
    "Writes a Paradox table of N generated records (and its .mb memo file when it has BLOB\n"
    "fields). The same options and seed always give the same file.\n"
    "  --records N      number of records\n"
    "  --fields SPEC    the fields (default A20,I,S,N,$,D,T,@,L,M40)\n"
    "  --block-kb K     data block size 1, 2, 4, 8, 16 or 32 (default: 2, or the smallest\n"
    "                   that holds N records in the 65535 blocks a table can have)\n"
    "  --seed S         seed of the generated values (default 1)\n"
    "  --version V      Paradox file version: 3 (3.0), 3.5, 4 (4.x), 5 (5.x), 7 (7.x; default)\n"
    "  --language NAME  language driver: ascii, ANSIINTL (default), DBWINUS0, DBWINWE0, intl850, cyrr\n"
    "  --script NAME    text in words of a script, in its Windows code page under a language\n"
    "                   driver of it: cyrillic (ancyrr, 1251), greek (angreek1, 1253), turkish\n"
    "                   (ANTURK, 1254), hebrew (ANHEBREW, 1255), arabic (BLWINAR0, 1256), czech\n"
    "                   (anczech, 1250), latin (ANSIINTL, 1252); not with --language; version 5 or 7\n"
    "  --chain ORDER    block chain in file order (default) or in swapped pairs 2,1,4,3...\n"
    "  --sample DIR     write the bundled sample tables sample.db (+ .mb) and legacy.db into DIR\n"
    "\n";

// Header time stamp of generated tables: fixed, so that a seed gives the same bytes.
constexpr uint32_t kGeneratedTime = 1700000000;

uint64_t ParseUnsigned(const std::string& option, const std::string& text, uint64_t max) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError{option + " needs a number, not \"" + text + "\""};
  unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (v > max) throw UsageError{option + " " + text + " is too large (at most " + std::to_string(max) + ")"};
  return v;
}

int VersionByte(const std::string& v) {
  if (v == "3" || v == "3.0") return 3;
  if (v == "3.5") return 4;
  if (v == "4" || v == "4.x") return 9;
  if (v == "5" || v == "5.x") return 11;
  if (v == "7" || v == "7.x") return 12;
  throw UsageError{"--version takes 3, 3.5, 4, 5 or 7, not \"" + v + "\""};
}

// Words of the sample tables, in cp1252.
const char* const kFirstNames[] = {"Anna",        "Bj\366rn", "Chlo\351", "Dami\341n", "Elif",
                                   "Fran\347ois", "Grete",    "Hakon",    "In\351s",   "J\374rgen",
                                   "Ka\357",      "Lu\355s",  "Mar\355a", "Nils",      "\330ystein",
                                   "Pilar",       "Ren\351",  "S\370ren", "Tom\341s",  "Zo\353"};
const char* const kLastNames[] = {
    "Andersson",   "B\351rub\351", "Castell\363",   "D\374rr",    "Esteves",    "Fa\337bender", "Garc\355a",
    "H\344kkinen", "Ib\341\361ez", "Jonsd\363ttir", "K\366hler",  "Lef\350vre", "M\374ller",    "N\372\361ez",
    "\326zdemir",  "Pe\361a",      "Qui\361ones",   "R\370nning", "Sch\344fer", "Vasconcelos"};
const char* const kCities[] = {"M\374nchen",  "Z\374rich", "K\366ln",  "S\343o Paulo", "Reykjav\355k",
                               "Montr\351al", "Krak\363w", "Malm\366", "Gen\350ve",    "Lisboa",
                               "Sevilla",     "Troms\370", "Li\350ge", "Bra\361a",     "\305rhus"};
const char* const kNotes[] = {
    "Prefers contact by letter.",
    "Caf\351 owner; orders every month. Likes cr\350me br\373l\351e.",
    "Moved from the old branch office in 1998; all records were carried over by hand.",
    "Long-standing customer. Visits the shop on Saturdays, usually with a list of spare parts "
    "for the tractor, and pays in cash. Asked twice about the extended warranty.",
    "\273Sehr zuverl\344ssig\253 \226 so the branch manager wrote in the 2004 review.",
};

struct TSampleRng {
  uint64_t s;
  uint64_t Next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
  template <size_t N>
  const char* Pick(const char* const (&a)[N]) {
    return a[Below(N)];
  }
};

std::string LongNote(TSampleRng& rng, size_t target) {
  std::string s;
  while (s.size() < target) {
    if (!s.empty()) s += "\r\n";
    s += rng.Pick(kNotes);
  }
  return s;
}

// sample.db: a 7.x table with most field kinds, cp1252 text, memos in the record, in shared
// memo blocks and in blocks of their own, and small pictures.
void WriteSampleTable(const std::string& path) {
  std::vector<TPdxWriterField> fields = {
      {"ID", pdxtype::kAutoInc, 0},        {"Name", pdxtype::kAlpha, 30},
      {"City", pdxtype::kAlpha, 20},       {"Born", pdxtype::kDate, 0},
      {"Visits", pdxtype::kShort, 0},      {"Points", pdxtype::kLong, 0},
      {"Balance", pdxtype::kCurrency, 0},  {"Rating", pdxtype::kNumber, 0},
      {"Member", pdxtype::kLogical, 0},    {"Opens", pdxtype::kTime, 0},
      {"Updated", pdxtype::kTimestamp, 0}, {"Credit", pdxtype::kBcd, 2},
      {"Notes", pdxtype::kMemo, 60},       {"Photo", pdxtype::kGraphic, 10},
  };
  TPdxWriterOptions opt;
  opt.FileVersion = 12;
  opt.BlockSizeKB = 2;
  opt.Language = TPdxLanguageDriver::AnsiIntl();
  opt.UpdateTime = kGeneratedTime;
  opt.HeaderTableName = "sample.db";
  TPdxWriter w(path, fields, opt);
  TSampleRng rng{20240601};
  const int kRecords = 300;
  for (int i = 1; i <= kRecords; ++i) {
    TWriterRow row(fields.size());
    row[0] = i;
    row[1] = std::string(rng.Pick(kFirstNames)) + " " + rng.Pick(kLastNames);
    row[2] = std::string(rng.Pick(kCities));
    if (i % 17 != 0)
      row[3] = PdxDayNumber(1930 + static_cast<int>(rng.Below(75)), 1 + static_cast<int>(rng.Below(12)),
                            1 + static_cast<int>(rng.Below(28)));
    if (i % 11 != 0) row[4] = static_cast<int64_t>(rng.Below(400));
    row[5] = static_cast<int64_t>(rng.Below(200000)) - 20000;
    row[6] = static_cast<double>(static_cast<int64_t>(rng.Below(2000000)) - 500000) / 100.0;
    if (i % 13 != 0) row[7] = static_cast<double>(rng.Below(50001)) / 10000.0;
    if (i % 7 != 0) row[8] = rng.Below(3) != 0;
    row[9] = PdxTimeOfDay(6 + static_cast<int>(rng.Below(6)), static_cast<int>(rng.Below(4)) * 15, 0);
    row[10] = PdxTimestamp(2015 + static_cast<int>(rng.Below(10)), 1 + static_cast<int>(rng.Below(12)),
                           1 + static_cast<int>(rng.Below(28)), static_cast<int>(rng.Below(24)),
                           static_cast<int>(rng.Below(60)), static_cast<int>(rng.Below(60)));
    if (i % 5 != 0) {
      int64_t cents = static_cast<int64_t>(rng.Below(10000000)) - 2000000;
      char buf[40];
      std::snprintf(buf, sizeof(buf), "%s%lld.%02lld", cents < 0 ? "-" : "",
                    static_cast<long long>(std::llabs(cents) / 100),
                    static_cast<long long>(std::llabs(cents) % 100));
      row[11] = std::string(buf);
    }
    switch (i % 6) {
      case 0: break;                                           // no notes
      case 1: row[12] = std::string(rng.Pick(kNotes)); break;  // in the record or a shared block
      case 2: row[12] = LongNote(rng, 300 + rng.Below(1200)); break;
      case 3: row[12] = LongNote(rng, 4000 + rng.Below(6000)); break;  // a memo block of its own
      default: row[12] = std::string(rng.Pick(kNotes)).substr(0, 40); break;
    }
    if (i % 10 == 1)
      row[13] = PdxGraphicBmp(24 + static_cast<int>(rng.Below(40)), 24 + static_cast<int>(rng.Below(40)),
                              static_cast<uint32_t>(i));
    w.Append(row);
  }
  w.Finish();
}

// legacy.db: a Paradox 3.5 table (no BLOB fields then) with cp437 text.
void WriteLegacyTable(const std::string& path) {
  std::vector<TPdxWriterField> fields = {{"Part No", pdxtype::kShort, 0},
                                         {"Description", pdxtype::kAlpha, 32},
                                         {"Price", pdxtype::kCurrency, 0},
                                         {"Weight kg", pdxtype::kNumber, 0},
                                         {"Since", pdxtype::kDate, 0}};
  TPdxWriterOptions opt;
  opt.FileVersion = 4;
  opt.BlockSizeKB = 1;
  opt.Language = TPdxLanguageDriver::Ascii();
  opt.HeaderTableName = "LEGACY.DB";
  // cp437: \201 u-umlaut, \204 a-umlaut, \224 o-umlaut, \341 sharp s, \202 e-acute
  const char* const kParts[] = {
      "Schraube M8 verzinkt",        "Unterlegscheibe",   "Fl\201gelmutter",   "Kettenrad 42 Z\204hne",
      "Dichtring \224lbest\204ndig", "Gewindestange 1 m", "Sto\341d\204mpfer", "Caf\202-Maschine Ersatzteil"};
  TPdxWriter w(path, fields, opt);
  TSampleRng rng{1993};
  for (int i = 1; i <= 120; ++i) {
    TWriterRow row(fields.size());
    row[0] = 1000 + i;
    row[1] = std::string(kParts[rng.Below(8)]);
    row[2] = static_cast<double>(rng.Below(100000)) / 100.0;
    if (i % 9 != 0) row[3] = static_cast<double>(rng.Below(25000)) / 1000.0;
    row[4] = PdxDayNumber(1985 + static_cast<int>(rng.Below(10)), 1 + static_cast<int>(rng.Below(12)),
                          1 + static_cast<int>(rng.Below(28)));
    w.Append(row);
  }
  w.Finish();
}

}  // namespace

int CmdGenerate(const std::vector<std::string>& args) {
  std::string records, spec = kPdxDefaultFieldSpec, blockKb, seed = "1", version = "7", language = "ANSIINTL",
                       chain = "file", sampleDir, out, script;
  bool languageGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kGenerateHelp, stdout);
      std::fputs(kPdxFieldSpecHelp, stdout);
      return kExitOk;
    }
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--records")
      records = value();
    else if (a == "--fields")
      spec = value();
    else if (a == "--block-kb")
      blockKb = value();
    else if (a == "--seed")
      seed = value();
    else if (a == "--version")
      version = value();
    else if (a == "--language") {
      language = value();
      languageGiven = true;
    }
    else if (a == "--chain")
      chain = value();
    else if (a == "--script")
      script = value();
    else if (a == "--sample")
      sampleDir = value();
    else if (!a.empty() && a[0] == '-')
      throw UsageError{"generate: unknown option " + a};
    else if (out.empty())
      out = a;
    else
      throw UsageError{"generate: more than one output file"};
  }

  if (!sampleDir.empty()) {
    if (!out.empty() || !records.empty()) throw UsageError{"generate --sample takes only the output folder"};
    std::error_code ec;
    std::filesystem::create_directories(sampleDir, ec);
    WriteSampleTable(sampleDir + "/sample.db");
    WriteLegacyTable(sampleDir + "/legacy.db");
    return kExitOk;
  }
  if (records.empty()) throw UsageError{"generate needs --records N"};
  if (out.empty()) throw UsageError{"generate needs an output file"};

  const uint64_t n = ParseUnsigned("--records", records, 0xFFFFFFFFull);
  const uint64_t s = ParseUnsigned("--seed", seed, ~uint64_t{0});
  std::vector<TPdxWriterField> fields;
  try {
    fields = ParsePdxFieldSpec(spec);
  } catch (const EPdxWriterError& e) {
    throw UsageError{e.Message()};
  }
  TPdxWriterOptions opt;
  opt.FileVersion = VersionByte(version);
  TPdxScript textScript = TPdxScript::Latin;
  if (!script.empty()) {
    auto sc = PdxScriptByName(script);
    if (!sc) throw UsageError{"--script takes " + std::string(kPdxScriptNames) + ", not \"" + script + "\""};
    if (languageGiven) throw UsageError{"--script sets the language driver; leave out --language"};
    // Tables before version 5 name no code page; their text would be read as 437.
    if (opt.FileVersion < 10) throw UsageError{"--script needs --version 5 or 7"};
    textScript = *sc;
    opt.Language = PdxScriptDriver(textScript);
  } else {
    auto lang = TPdxLanguageDriver::ByName(language);
    if (!lang) throw UsageError{"unknown language driver \"" + language + "\""};
    opt.Language = *lang;
  }
  if (chain == "swapped")
    opt.ChainOrder = TPdxChainOrder::SwappedPairs;
  else if (chain != "file")
    throw UsageError{"--chain takes file or swapped"};
  opt.UpdateTime = kGeneratedTime;

  std::unique_ptr<TPdxWriter> w;
  if (!blockKb.empty()) {
    opt.BlockSizeKB = static_cast<int>(ParseUnsigned("--block-kb", blockKb, 64));
    w = std::make_unique<TPdxWriter>(out, fields, opt);
  } else {
    // The smallest block size from 2 KB up whose 65535 blocks hold every record.
    for (int kb : {2, 4, 8, 16, 32}) {
      opt.BlockSizeKB = kb;
      w.reset();
      try {
        w = std::make_unique<TPdxWriter>(out, fields, opt);
      } catch (const EPdxWriterError&) {
        if (kb == 32) throw;
        continue;  // records longer than the block
      }
      uint64_t perBlock = static_cast<uint64_t>(kb * 1024 - 6) / static_cast<uint64_t>(w->RecordLength());
      if ((n + perBlock - 1) / perBlock + 2 <= 65535) break;
    }
  }
  TPdxRowGenerator gen(fields, s, textScript);
  TWriterRow row;
  for (uint64_t i = 0; i < n; ++i) {
    gen.Next(row);
    w->Append(row);
  }
  w->Finish();
  return kExitOk;
}

}  // namespace korvane::cli
