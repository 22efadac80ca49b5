#include "engine/pdxgenerate.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace korvane {

namespace {
[[noreturn]] void Fail(const std::string& message) { throw EPdxWriterError(message); }
void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Field spec

const char kPdxDefaultFieldSpec[] = "A20,I,S,N,$,D,T,@,L,M40";

const char kPdxFieldSpecHelp[] =
    "field spec: comma-separated fields, each [NAME=]CODE[SIZE]:\n"
    "  A alpha (size 1..255, default 20)   N number   $ currency\n"
    "  S short integer   I long integer    + auto-increment\n"
    "  D date   T time   @ timestamp       L logical\n"
    "  # BCD (size = decimals 0..32, default 2)   Y bytes (size 1..255, default 8)\n"
    "  M memo   F formatted memo   B binary   O OLE   G graphic\n"
    "    (size = record slot 10..250 with its 10-byte leader, default 10)\n"
    "  default: A20,I,S,N,$,D,T,@,L,M40\n";

namespace {
struct TSpecCode {
  char Code;
  uint8_t Type;
  int DefaultSize;
  bool Sized;
  const char* Name;
};
constexpr TSpecCode kSpecCodes[] = {
    {'A', pdxtype::kAlpha, 20, true, "Alpha"},
    {'N', pdxtype::kNumber, 0, false, "Number"},
    {'$', pdxtype::kCurrency, 0, false, "Money"},
    {'S', pdxtype::kShort, 0, false, "Short"},
    {'I', pdxtype::kLong, 0, false, "Long"},
    {'+', pdxtype::kAutoInc, 0, false, "AutoInc"},
    {'D', pdxtype::kDate, 0, false, "Date"},
    {'T', pdxtype::kTime, 0, false, "Time"},
    {'@', pdxtype::kTimestamp, 0, false, "Timestamp"},
    {'L', pdxtype::kLogical, 0, false, "Logical"},
    {'#', pdxtype::kBcd, 2, true, "Bcd"},
    {'Y', pdxtype::kBytes, 8, true, "Bytes"},
    {'M', pdxtype::kMemo, 10, true, "Memo"},
    {'F', pdxtype::kFmtMemo, 10, true, "FmtMemo"},
    {'B', pdxtype::kBlob, 10, true, "Binary"},
    {'O', pdxtype::kOle, 10, true, "Ole"},
    {'G', pdxtype::kGraphic, 10, true, "Graphic"},
};
}  // namespace

char PdxFieldSpecCode(uint8_t type) {
  for (const TSpecCode& c : kSpecCodes)
    if (c.Type == type) return c.Code;
  return '?';
}

std::vector<TPdxWriterField> ParsePdxFieldSpec(const std::string& spec) {
  std::vector<TPdxWriterField> out;
  size_t start = 0;
  while (start <= spec.size()) {
    size_t comma = spec.find(',', start);
    std::string item = spec.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (item.empty()) Fail("empty field in field spec \"" + spec + "\"");
    std::string name;
    size_t eq = item.find('=');
    if (eq != std::string::npos) {
      name = item.substr(0, eq);
      item = item.substr(eq + 1);
      if (name.empty() || item.empty()) Fail("bad field \"" + name + "=" + item + "\" in field spec");
    }
    char code = static_cast<char>(item[0] >= 'a' && item[0] <= 'z' ? item[0] - 'a' + 'A' : item[0]);
    const TSpecCode* c = nullptr;
    for (const TSpecCode& k : kSpecCodes)
      if (k.Code == code) c = &k;
    if (!c) Fail("unknown field type \"" + item + "\" in field spec (see --help)");
    std::string digits = item.substr(1);
    int size = c->DefaultSize;
    if (!digits.empty()) {
      if (!c->Sized) Fail("field type " + std::string(1, code) + " takes no size (\"" + item + "\")");
      if (digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
        Fail("bad size in field \"" + item + "\"");
      size = std::stoi(digits);
    }
    if (name.empty()) name = std::string(c->Name) + std::to_string(out.size() + 1);
    out.push_back(TPdxWriterField{name, c->Type, size});
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Generated values

std::string PdxGraphicBmp(int width, int height, uint32_t seed) {
  width = std::clamp(width, 1, 4096);
  height = std::clamp(height, 1, 4096);
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
  const uint32_t pixels = rowBytes * static_cast<uint32_t>(height);
  const uint32_t fileSize = 54 + pixels;
  std::string s(8 + fileSize, '\0');
  uint8_t* p = reinterpret_cast<uint8_t*>(s.data());
  // The graphic leader: 01 00 00 01 and the image length.
  p[0] = 1;
  p[3] = 1;
  PutLe32(p + 4, fileSize);
  uint8_t* b = p + 8;
  b[0] = 'B';
  b[1] = 'M';
  PutLe32(b + 2, fileSize);
  PutLe32(b + 10, 54);
  PutLe32(b + 14, 40);
  PutLe32(b + 18, static_cast<uint32_t>(width));
  PutLe32(b + 22, static_cast<uint32_t>(height));
  PutLe16(b + 26, 1);
  PutLe16(b + 28, 24);
  PutLe32(b + 34, pixels);
  PutLe32(b + 38, 2835);  // 72 dpi
  PutLe32(b + 42, 2835);
  const uint8_t r0 = static_cast<uint8_t>(seed * 37), g0 = static_cast<uint8_t>(seed * 91),
                b0 = static_cast<uint8_t>(seed * 151);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b + 54 + static_cast<uint32_t>(y) * rowBytes;
    for (int x = 0; x < width; ++x) {
      bool ring = ((x - width / 2) * (x - width / 2) + (y - height / 2) * (y - height / 2)) * 9 <
                  width * width + height * height;
      row[3 * x + 0] = static_cast<uint8_t>(b0 + (ring ? 255 - x * 255 / width : y * 255 / height));
      row[3 * x + 1] = static_cast<uint8_t>(g0 + (ring ? 40 : x * 255 / width));
      row[3 * x + 2] = static_cast<uint8_t>(r0 + (ring ? y * 255 / height : 80));
    }
  }
  return s;
}

// ---------------------------------------------------------------------------------------------
// Scripts

const char kPdxScriptNames[] = "latin|cyrillic|greek|turkish|hebrew|arabic|czech";

namespace {
struct TScriptInfo {
  TPdxScript Script;
  const char* Name;
  TPdxLanguageDriver Driver;
};
const TScriptInfo kScripts[] = {
    {TPdxScript::Latin, "latin", {0x62, 1252, "ANSIINTL"}},
    {TPdxScript::Cyrillic, "cyrillic", {0x8F, 1251, "ancyrr"}},
    {TPdxScript::Greek, "greek", {0x0E, 1253, "angreek1"}},
    {TPdxScript::Turkish, "turkish", {0xD5, 1254, "ANTURK"}},
    {TPdxScript::Hebrew, "hebrew", {0x4C, 1255, "ANHEBREW"}},
    {TPdxScript::Arabic, "arabic", {0x3F, 1256, "BLWINAR0"}},
    {TPdxScript::Czech, "czech", {0xDC, 1250, "anczech"}},
};

const TScriptInfo& ScriptInfo(TPdxScript script) {
  for (const TScriptInfo& i : kScripts)
    if (i.Script == script) return i;
  return kScripts[0];
}

// A word in a single-byte Windows code page; every word of the lists has all its
// characters there (a test checks it).
std::string EncodeWord(const std::string& utf8, int codePage) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)))
    Fail("the system cannot encode code page " + std::to_string(codePage));
  std::string out(utf8.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* o = out.data();
  size_t outLeft = out.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || inLeft != 0)
    Fail("\"" + utf8 + "\" has characters code page " + std::to_string(codePage) + " lacks");
  out.resize(out.size() - outLeft);
  return out;
}
}  // namespace

std::optional<TPdxScript> PdxScriptByName(const std::string& name) {
  for (const TScriptInfo& i : kScripts)
    if (name == i.Name) return i.Script;
  return std::nullopt;
}

TPdxLanguageDriver PdxScriptDriver(TPdxScript script) { return ScriptInfo(script).Driver; }

const std::vector<std::string>& PdxScriptWords(TPdxScript script) {
  static const std::vector<std::string> kLatin = {
      "alpha", "Borke",  "Café",  "delta", "Eiche", "fjörd", "Garten", "hôtel", "index",  "Jahr",
      "Käse",  "lima",   "Meer",  "naïve", "Ofen",  "Paradox", "quer", "résumé", "Straße", "table",
      "Über",  "value",  "Wald",  "xylo",  "yacht", "Zug",   "record", "field", "block",  "memo"};
  static const std::vector<std::string> kCyrillic = {
      "привет", "мир",  "таблица", "запись", "поле", "Москва", "ёлка",  "щука", "Жуков", "съезд",
      "язык",   "данные", "Эхо",   "Юг",     "ЦЕНА", "шифр",   "объём", "хлеб", "чай",   "Ёж"};
  static const std::vector<std::string> kGreek = {
      "άλφα",  "βήτα",  "γάμμα",  "δέλτα", "Ελλάδα", "ζωή",    "ήλιος",  "θάλασσα", "ιστορία", "καλημέρα",
      "λόγος", "μήλο",  "νερό",   "ξένος", "όμορφος", "πίνακας", "ρήμα",  "σπίτι",   "ΥΨΗΛΟΣ",  "ψυχή"};
  static const std::vector<std::string> kTurkish = {
      "İstanbul", "ağaç", "çiçek", "dağ",  "ışık",  "öğrenci", "şehir", "üzüm",  "güneş", "kitap",
      "masa",     "ılık", "Çarşı", "ŞEKER", "İĞNE", "Öykü",    "Üçgen", "kağıt", "Iğdır", "yol"};
  static const std::vector<std::string> kHebrew = {
      "שלום", "עולם", "ספר", "בית",  "מים",  "ירושלים", "תודה", "אבא", "אמא", "לחם",
      "שמש",  "ילד",  "עץ",  "כלב",  "חתול", "ים",      "טבלה", "רשומה", "שדה", "ערך"};
  static const std::vector<std::string> kArabic = {
      "مرحبا", "سلام", "كتاب", "بيت", "ماء", "شمس", "قمر", "مدرسة", "جدول", "سجل",
      "حقل",   "القاهرة", "عربي", "بحر", "شجرة", "لغة", "قيمة", "ملف", "أحمد", "مصطفى"};
  static const std::vector<std::string> kCzech = {
      "Příliš", "žluťoučký", "kůň", "úpěl", "ďábelské", "ódy",  "Praha", "Brno", "čeština", "řeka",
      "ŽIVOT",  "stůl",      "něco", "Ústí", "šťáva",   "Ďáblice", "Ťapka", "Řím", "dvůr",  "hřeben"};
  switch (script) {
    case TPdxScript::Latin: return kLatin;
    case TPdxScript::Cyrillic: return kCyrillic;
    case TPdxScript::Greek: return kGreek;
    case TPdxScript::Turkish: return kTurkish;
    case TPdxScript::Hebrew: return kHebrew;
    case TPdxScript::Arabic: return kArabic;
    case TPdxScript::Czech: return kCzech;
  }
  return kLatin;
}

TPdxRowGenerator::TPdxRowGenerator(std::vector<TPdxWriterField> fields, uint64_t seed, TPdxScript script)
    : fields_(std::move(fields)), state_(seed ^ 0x9E3779B97F4A7C15ull) {
  const int codePage = PdxScriptDriver(script).CodePage;
  for (const std::string& w : PdxScriptWords(script)) words_.push_back(EncodeWord(w, codePage));
}

uint64_t TPdxRowGenerator::Rand() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string TPdxRowGenerator::Text(size_t maxLen, bool exact) {
  std::string s;
  size_t target = exact || maxLen == 0 ? maxLen : 1 + Below(maxLen);
  while (s.size() < target) {
    if (!s.empty()) s.push_back(' ');
    s += words_[Below(words_.size())];
  }
  if (s.size() > maxLen) s.resize(maxLen);
  while (!exact && !s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Most BLOB data fits the record slot, a good part goes into shared memo blocks, one
// in 256 gets memo blocks of its own.
size_t TPdxRowGenerator::BlobLength(const TPdxWriterField& f) {
  const uint64_t inlineCap = static_cast<uint64_t>(std::max(0, f.Size - 10));
  const uint64_t r = Below(256);
  if (r < 150) return static_cast<size_t>(Below(inlineCap + 1));
  if (r < 255) return static_cast<size_t>(inlineCap + 1 + Below(300));
  return static_cast<size_t>(2049 + Below(6000));
}

void TPdxRowGenerator::Next(TWriterRow& row) {
  ++count_;
  row.resize(fields_.size());
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TPdxWriterField& f = fields_[i];
    std::optional<TWriterValue>& cell = row[i];
    if (f.Type != pdxtype::kAutoInc && Below(16) == 0) {
      cell.reset();
      continue;
    }
    switch (f.Type) {
      case pdxtype::kAlpha: cell = Text(static_cast<size_t>(f.Size)); break;
      case pdxtype::kShort: cell = static_cast<int64_t>(Below(65535)) - 32767; break;
      case pdxtype::kLong: cell = static_cast<int64_t>(Below(2000001)) - 1000000; break;
      case pdxtype::kAutoInc: cell = static_cast<int64_t>(count_); break;
      case pdxtype::kNumber: cell = (static_cast<double>(Below(2000000001)) - 1e9) / 1000.0; break;
      case pdxtype::kCurrency: cell = (static_cast<double>(Below(20000001)) - 1e7) / 100.0; break;
      case pdxtype::kDate:
        cell = static_cast<int64_t>(PdxDayNumber(1900, 1, 1) + static_cast<int32_t>(Below(73049)));
        break;
      case pdxtype::kTime: cell = static_cast<int64_t>(Below(86400) * 1000); break;
      case pdxtype::kTimestamp:
        cell =
            static_cast<double>(PdxDayNumber(1990, 1, 1) + static_cast<int32_t>(Below(18262))) * 86400000.0 +
            static_cast<double>(Below(86400) * 1000);
        break;
      case pdxtype::kLogical: cell = Below(2) == 1; break;
      case pdxtype::kBcd: {
        std::string digits = std::to_string(Below(1000000000000ull));
        TBcdValue b;
        b.Negative = Below(4) == 0 && digits != "0";
        b.Decimals = std::min(f.Size, 12);
        std::memcpy(b.Digits, digits.data(), digits.size());
        cell = b;
        break;
      }
      case pdxtype::kBytes: {
        std::string s(1 + Below(static_cast<uint64_t>(f.Size)), '\0');
        for (char& c : s) c = static_cast<char>(1 + Below(255));
        cell = s;
        break;
      }
      case pdxtype::kMemo:
      case pdxtype::kFmtMemo: cell = Text(BlobLength(f), true); break;
      case pdxtype::kGraphic:
        cell = PdxGraphicBmp(8 + static_cast<int>(Below(24)), 8 + static_cast<int>(Below(24)),
                             static_cast<uint32_t>(Rand()));
        break;
      case pdxtype::kBlob:
      case pdxtype::kOle: {
        std::string s(BlobLength(f), '\0');
        for (char& c : s) c = static_cast<char>(Rand());
        cell = s;
        break;
      }
      default: cell.reset(); break;
    }
  }
}

}  // namespace korvane
