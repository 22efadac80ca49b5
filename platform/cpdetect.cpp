// Code page detection: every candidate code page reads the table's text, and the one
// whose reading looks most like words of a language written in it wins.

#include "platform/cpdetect.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_map>

#include "engine/pdx.h"
#include "platform/textcodec.h"

namespace korvane {

namespace {

struct TLanguagePairs {
  const char* Language;
  std::vector<uint32_t> Letters;  // pairs of code points, one pair after the other
};

const std::vector<TLanguagePairs>& LanguageTables() {
  static const std::vector<TLanguagePairs> tables = {
#include "platform/cpbigrams.inc"
  };
  return tables;
}

// The languages written in a code page.
std::vector<std::string> LanguagesOf(int codePage) {
  switch (codePage) {
    case 866: case 1251: case 20866: case 855: case 28595: return {"ru", "uk", "bg"};
    case 852: case 1250: case 28592: return {"cs", "pl", "hu", "sk", "sl", "hr"};
    case 437: case 850: case 1252: case 28591: case 860: case 863: case 865: case 861:
      return {"de", "fr", "es", "it", "pt", "nl", "sv", "da", "nb", "fi"};
    case 857: case 1254: return {"tr"};
    case 737: case 869: case 1253: case 28597: return {"el"};
    case 862: case 1255: return {"he"};
    case 775: case 1257: return {"lt", "lv", "et"};
    case 720: case 864: case 1256: case 28596: return {"ar"};
    default: return {};
  }
}

uint64_t PairKey(uint32_t a, uint32_t b) { return (static_cast<uint64_t>(a) << 32) | b; }

// The letter pairs of the languages written in a code page: for each pair, a bit per
// language (in the order of LanguagesOf) that counts it among its frequent pairs. One
// look-up per pair, whatever the number of languages.
const std::unordered_map<uint64_t, uint32_t>& PairLanguagesOf(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::unordered_map<uint64_t, uint32_t>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(codePage);
  if (it != cache.end()) return it->second;
  std::unordered_map<uint64_t, uint32_t>& pairs = cache[codePage];
  const std::vector<std::string> languages = LanguagesOf(codePage);
  for (size_t l = 0; l < languages.size(); ++l) {
    for (const TLanguagePairs& t : LanguageTables()) {
      if (languages[l] != t.Language) continue;
      for (size_t i = 0; i + 1 < t.Letters.size(); i += 2) pairs[PairKey(t.Letters[i], t.Letters[i + 1])] |= 1u << l;
    }
  }
  return pairs;
}

// First code point of UTF-8 text (0 when there is none or it is an escaped byte).
uint32_t FirstCodePoint(const std::string& s) {
  if (s.empty()) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  uint32_t c;
  size_t n;
  if (p[0] < 0x80) return p[0];
  if ((p[0] & 0xE0) == 0xC0) {
    c = p[0] & 0x1F;
    n = 2;
  } else if ((p[0] & 0xF0) == 0xE0) {
    c = p[0] & 0x0F;
    n = 3;
  } else {
    c = p[0] & 0x07;
    n = 4;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) c = (c << 6) | (p[i] & 0x3F);
  if (c >= 0xD800 && c <= 0xDFFF) return 0;  // an escaped byte: not decodable
  return c;
}

enum TScript { scNone, scLatin, scGreek, scCyrillic, scHebrew, scArabic, scOther };

TScript ScriptOf(uint32_t u) {
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return scLatin;
  if ((u >= 0xC0 && u <= 0x24F && u != 0xD7 && u != 0xF7)) return scLatin;
  if (u >= 0x386 && u <= 0x3CE && u != 0x387) return scGreek;
  if (u >= 0x400 && u <= 0x4FF) return scCyrillic;
  if (u >= 0x5D0 && u <= 0x5EA) return scHebrew;
  // Arabic letters, the tatweel and the vowel signs written inside words; the letters
  // Persian and Urdu add.
  if ((u >= 0x620 && u <= 0x652) || (u >= 0x671 && u <= 0x6D3)) return scArabic;
  if (u == 0xAA || u == 0xBA || u == 0xB5) return scLatin;
  return scNone;
}

bool IsUpper(uint32_t u) {
  if (u >= 'A' && u <= 'Z') return true;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return true;
  if (u >= 0x100 && u <= 0x17F) return u % 2 == 0 && u != 0x138;
  if (u >= 0x391 && u <= 0x3AB) return true;
  if (u >= 0x400 && u <= 0x42F) return true;
  return false;
}

uint32_t Lower(uint32_t u) {
  if (u >= 'A' && u <= 'Z') return u + 32;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return u + 32;
  if (u >= 0x100 && u <= 0x17F && u % 2 == 0 && u != 0x138) return u + 1;
  if (u >= 0x391 && u <= 0x3AB) return u + 32;
  if (u >= 0x410 && u <= 0x42F) return u + 32;
  if (u >= 0x400 && u <= 0x40F) return u + 80;
  return u;
}

// Typographic signs that text holds now and then (no letters, but no sign of a wrong
// code page either): no-break space, guillemets, degree, section, dashes, quotes...
bool IsTextSign(uint32_t u) {
  switch (u) {
    case 0xA0: case 0xAB: case 0xBB: case 0xB0: case 0xA7: case 0xB1: case 0xA9: case 0xAE: case 0xB7:
    case 0x2013: case 0x2014: case 0x2018: case 0x2019: case 0x201A: case 0x201C: case 0x201D: case 0x201E:
    case 0x2026: case 0x2022: case 0x20AC: case 0x2116: case 0xBD: case 0xBC: case 0xB2: case 0xB3:
      return true;
    default: return false;
  }
}

struct TCandidate {
  int CodePage = 0;
  std::array<uint32_t, 256> Map{};  // code point of each byte; 0 for none
  bool SingleByte = true;
};

bool BuildCandidate(int codePage, TCandidate& c) {
  c.CodePage = codePage;
  std::shared_ptr<const TTextDecoder> d;
  try {
    d = TTextDecoder::For(codePage);
  } catch (const std::exception&) {
    return false;
  }
  c.SingleByte = d->SingleByte();
  if (!c.SingleByte) return true;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    c.Map[static_cast<size_t>(b)] = FirstCodePoint(d->Decode(std::string_view(&byte, 1), DecodeMode::Escape));
  }
  return true;
}

// Scores one single-byte candidate on the samples.
TCodePageScore Score(const TCandidate& c, const std::vector<std::string>& samples) {
  TCodePageScore s;
  s.CodePage = c.CodePage;
  const std::unordered_map<uint64_t, uint32_t>& known = PairLanguagesOf(c.CodePage);
  std::vector<int64_t> hits(LanguagesOf(c.CodePage).size(), 0);
  int64_t high = 0, invalid = 0, signs = 0, symbols = 0, pairs = 0, mixed = 0, oddCase = 0, dense = 0;
  std::vector<uint32_t> word;
  auto endWord = [&] {
    if (word.empty()) return;
    size_t nonAscii = 0;
    TScript script = scNone;
    bool mix = false;
    for (size_t i = 0; i < word.size(); ++i) {
      const uint32_t u = word[i];
      if (u >= 0x80) ++nonAscii;
      const TScript sc = ScriptOf(u);
      if (script == scNone) script = sc;
      else if (sc != script) mix = true;
      if (i > 0 && !IsUpper(word[i - 1]) && IsUpper(u)) ++oddCase;
    }
    if (nonAscii > 0) {
      if (mix) ++mixed;
      if (script == scLatin && word.size() >= 3 && nonAscii * 2 > word.size()) ++dense;
      for (size_t i = 0; i + 1 < word.size(); ++i) {
        const uint32_t a = Lower(word[i]), b = Lower(word[i + 1]);
        if (a < 0x80 && b < 0x80) continue;
        ++pairs;
        const auto k = known.find(PairKey(a, b));
        if (k == known.end()) continue;
        for (size_t l = 0; l < hits.size(); ++l)
          if (k->second & (1u << l)) ++hits[l];
      }
    }
    word.clear();
  };
  for (const std::string& text : samples) {
    for (char ch : text) {
      const auto b = static_cast<uint8_t>(ch);
      if (b < 0x80) {
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
          word.push_back(b);
        else
          endWord();
        continue;
      }
      ++high;
      const uint32_t u = c.Map[b];
      if (u == 0 || u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
        ++invalid;
        endWord();
      } else if (ScriptOf(u) != scNone) {
        word.push_back(u);
      } else {
        if (IsTextSign(u))
          ++signs;
        else
          ++symbols;
        endWord();
      }
    }
    endWord();
  }
  if (high == 0) return s;
  s.RuledOut = invalid > 0 && (high < 200 || invalid * 200 > high);
  const int64_t best = hits.empty() ? 0 : *std::max_element(hits.begin(), hits.end());
  s.Score = (2.0 * static_cast<double>(best) - 0.5 * static_cast<double>(pairs - best) - 3.0 * static_cast<double>(symbols) -
             0.3 * static_cast<double>(signs) - 2.0 * static_cast<double>(mixed) - static_cast<double>(oddCase) -
             static_cast<double>(dense) - 3.0 * static_cast<double>(invalid)) /
            static_cast<double>(high);
  return s;
}

// A multi-byte code page: ruled out when the text does not decode; otherwise it keeps
// a neutral score (no letter statistics of its scripts are kept).
TCodePageScore ScoreMultiByte(int codePage, const std::vector<std::string>& samples) {
  TCodePageScore s;
  s.CodePage = codePage;
  std::shared_ptr<const TTextDecoder> d = TTextDecoder::For(codePage);
  int64_t bad = 0, high = 0;
  for (const std::string& text : samples) {
    high += std::count_if(text.begin(), text.end(), [](char ch) { return static_cast<uint8_t>(ch) >= 0x80; });
    const std::string out = d->Decode(text, DecodeMode::Escape);
    for (size_t i = 0; i + 1 < out.size(); ++i)
      if (static_cast<uint8_t>(out[i]) == 0xED && (static_cast<uint8_t>(out[i + 1]) & 0xF0) == 0xB0) ++bad;
  }
  s.RuledOut = bad > 0;
  s.Score = 0;
  return s;
}

bool SameReading(const TCandidate& a, const TCandidate& b, const std::array<bool, 256>& seen) {
  if (!a.SingleByte || !b.SingleByte) return false;
  for (int i = 128; i < 256; ++i)
    if (seen[static_cast<size_t>(i)] && a.Map[static_cast<size_t>(i)] != b.Map[static_cast<size_t>(i)]) return false;
  return true;
}

}  // namespace

const std::vector<int>& CodePageCandidates() {
  static const std::vector<int> c = {437, 850, 852, 866, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 20866};
  return c;
}

std::string TCodePageGuess::Describe() const {
  switch (Verdict) {
    case cgNoClue: return "no text outside ASCII to tell by";
    case cgAgrees: return "the text agrees";
    case cgBetter: return "looks like " + CodePageLabel(CodePage);
    case cgUnsure: return "unsure (the text does not fit it well, and no other code page fits clearly better)";
  }
  return {};
}

TCodePageGuess GuessCodePageOfText(const std::vector<std::string>& samples, int headerCodePage, int driverCodePage) {
  TCodePageGuess g;
  g.HeaderCodePage = headerCodePage;
  g.CodePage = headerCodePage;
  std::array<bool, 256> seen{};
  for (const std::string& t : samples) {
    g.TextBytes += t.size();
    for (char ch : t) seen[static_cast<uint8_t>(ch)] = true;
  }
  if (std::none_of(seen.begin() + 128, seen.end(), [](bool b) { return b; })) return g;

  std::vector<int> cps = {headerCodePage};
  if (driverCodePage > 0) cps.push_back(driverCodePage);
  for (int cp : CodePageCandidates()) cps.push_back(cp);
  std::vector<TCandidate> cands;
  std::set<int> done;
  for (int cp : cps) {
    if (cp <= 0 || !done.insert(cp).second) continue;
    TCandidate c;
    if (BuildCandidate(cp, c)) cands.push_back(c);
  }
  std::map<int, const TCandidate*> byCp;
  for (const TCandidate& c : cands) {
    byCp[c.CodePage] = &c;
    g.Scores.push_back(c.SingleByte ? Score(c, samples) : ScoreMultiByte(c.CodePage, samples));
  }
  std::stable_sort(g.Scores.begin(), g.Scores.end(), [](const TCodePageScore& a, const TCodePageScore& b) {
    if (a.RuledOut != b.RuledOut) return !a.RuledOut;
    return a.Score > b.Score;
  });
  const TCodePageScore* header = nullptr;
  for (const TCodePageScore& s : g.Scores)
    if (s.CodePage == headerCodePage) header = &s;
  const TCodePageScore& best = g.Scores.front();
  auto same = [&](int a, int b) {
    return a == b || (byCp.count(a) && byCp.count(b) && SameReading(*byCp[a], *byCp[b], seen));
  };
  constexpr double kClearly = 0.5;
  if (best.RuledOut) {
    g.Verdict = TCodePageGuess::cgUnsure;
    return g;
  }
  if (header && !header->RuledOut && (same(best.CodePage, headerCodePage) || best.Score - header->Score < kClearly)) {
    g.Verdict = TCodePageGuess::cgAgrees;
    return g;
  }
  // The runner-up that reads the text otherwise than the best.
  const TCodePageScore* second = nullptr;
  for (size_t i = 1; i < g.Scores.size(); ++i) {
    if (!g.Scores[i].RuledOut && !same(g.Scores[i].CodePage, best.CodePage)) {
      second = &g.Scores[i];
      break;
    }
  }
  if (best.Score <= 0 || (second && best.Score - second->Score < 0.3)) {
    g.Verdict = TCodePageGuess::cgUnsure;
    return g;
  }
  g.Verdict = TCodePageGuess::cgBetter;
  g.CodePage = best.CodePage;
  // Among code pages that read this text alike, the driver's or the most common one.
  if (driverCodePage > 0 && same(driverCodePage, best.CodePage) && driverCodePage != headerCodePage)
    g.CodePage = driverCodePage;
  return g;
}

namespace {
// Thrown by a memo's sink to stop reading it once enough of it is kept.
struct TEnoughOfMemo {};
}  // namespace

TCodePageGuess GuessCodePage(const std::string& tablePath, int headerCodePage, int driverCodePage) {
  // Text outside ASCII examined, records read, and all bytes read: records and memo
  // text, ASCII or not (a table of long ASCII memos would otherwise be read whole).
  constexpr size_t kMaxText = 512 * 1024;
  constexpr int kMaxRecords = 10000;
  constexpr size_t kMaxRead = 4 * 1024 * 1024;
  constexpr size_t kMaxMemo = 16 * 1024;
  std::vector<std::string> samples;
  size_t total = 0;
  TPdx t("CodePageProbe");
  t.SetTableName(tablePath);
  t.Open();
  if (!t.Encrypted()) {
    std::vector<int> text, memo;
    for (int i = 0; i < t.FieldCount(); ++i) {
      const TFieldType k = t.Fields(i).DataType();
      if (k == ftString) text.push_back(i);
      if (k == ftMemo || k == ftFmtMemo) memo.push_back(i);
    }
    t.SetEncodingMemo(false);
    t.OnEncode = [](TDataSet&, const TField&, const std::string& s) { return s; };
    std::vector<char> buf(kAlphaBufferSize + 8);
    int n = 0;
    auto keep = [&](std::string s) {
      // Only text outside ASCII tells code pages apart.
      if (std::any_of(s.begin(), s.end(), [](char ch) { return static_cast<uint8_t>(ch) >= 0x80; })) {
        total += s.size();
        samples.push_back(std::move(s));
      }
    };
    const size_t recordSize = static_cast<size_t>(std::max(t.RecordSize(), 1));
    size_t read = 0;
    try {
      for (t.First(); !t.Eof() && total < kMaxText && n < kMaxRecords && read < kMaxRead; t.Next(), ++n) {
        read += recordSize;
        for (int i : text)
          if (t.Fields(i).GetData(buf.data())) keep(std::string(buf.data()));
        for (int i : memo) {
          std::string m;
          try {
            t.ReadBlob(t.Fields(i), [&](const char* p, size_t len) {
              read += len;
              m.append(p, std::min<size_t>(len, kMaxMemo - m.size()));
              if (m.size() >= kMaxMemo) throw TEnoughOfMemo{};
            });
          } catch (const EBlobError&) {
          } catch (const TEnoughOfMemo&) {
          }
          keep(std::move(m));
        }
      }
    } catch (const EParadoxError&) {
      // What was read before the damage is enough to tell by.
    }
  }
  return GuessCodePageOfText(samples, headerCodePage, driverCodePage);
}

}  // namespace korvane
