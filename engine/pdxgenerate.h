#pragma once
// Generated tables: the compact field spec syntax of `korvane-cli generate` and a
// deterministic generator of record values for test and benchmark tables.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/pdxwriter.h"

namespace korvane {

// The field spec syntax of `korvane-cli generate`: comma-separated fields, each
// [NAME=]CODE[SIZE], with the type codes
//   A alpha (size 1..255, default 20)      N number        $ currency
//   S short integer     I long integer     + auto-increment
//   D date      T time      @ timestamp    L logical
//   # BCD (size = decimals 0..32, default 2)   Y bytes (size 1..255, default 8)
//   M memo   F formatted memo   B binary BLOB   O OLE   G graphic
//     (BLOB kinds: size = record slot 10..250 including the 10-byte leader, default 10)
// Names default to the type's name and the field's position ("Alpha1", "Long2").
std::vector<TPdxWriterField> ParsePdxFieldSpec(const std::string& spec);
// The letter of a type code in a field spec ('?' for a code without one).
char PdxFieldSpecCode(uint8_t type);
// The default spec: ten fields of mixed types.
extern const char kPdxDefaultFieldSpec[];
// Help text of the syntax, for usage messages.
extern const char kPdxFieldSpecHelp[];

// The writing systems a generated table's text can be in. Latin is the default
// cp1252 text; each other script has its own words, stored in its Windows code page
// under a Paradox language driver of that code page.
enum class TPdxScript { Latin, Cyrillic, Greek, Turkish, Hebrew, Arabic, Czech };
// A script by its lower-case name ("latin", "cyrillic", "greek", "turkish", "hebrew",
// "arabic", "czech"), else nothing.
std::optional<TPdxScript> PdxScriptByName(const std::string& name);
// The names of the scripts, separated by "|", for usage texts.
extern const char kPdxScriptNames[];
// The language driver a script's text is stored under: ANSIINTL (1252), ancyrr (1251),
// angreek1 (1253), ANTURK (1254), ANHEBREW (1255), BLWINAR0 (1256), anczech (1250).
TPdxLanguageDriver PdxScriptDriver(TPdxScript script);
// The words of a script's generated text, in UTF-8.
const std::vector<std::string>& PdxScriptWords(TPdxScript script);

// Deterministic record values for generated tables: the same fields and seed give the
// same records. About one value in sixteen is null (never for auto-increment fields);
// numbers include negatives; alpha and memo text is words of the script (for Latin
// cp1252 text with a few accented letters) in the script's code page; most BLOB data fits the record slot, some goes to shared memo blocks, one in
// 256 to memo blocks of its own; graphic fields hold small BMP pictures with the graphic
// leader; auto-increment fields count from 1.
class TPdxRowGenerator {
 public:
  // Throws EPdxWriterError when the system cannot encode the script's code page.
  TPdxRowGenerator(std::vector<TPdxWriterField> fields, uint64_t seed, TPdxScript script = TPdxScript::Latin);
  // Fills row with the values of the next record.
  void Next(TWriterRow& row);

 private:
  uint64_t Rand();
  uint64_t Below(uint64_t n) { return n ? Rand() % n : 0; }
  std::string Text(size_t maxLen, bool exact = false);
  size_t BlobLength(const TPdxWriterField& f);
  std::vector<TPdxWriterField> fields_;
  std::vector<std::string> words_;  // in the table's code page
  uint64_t state_;
  uint32_t count_ = 0;
};

// A small BMP picture (24-bit, width x height, a colour pattern chosen by seed)
// preceded by the 8-byte leader that graphic fields store before image data.
std::string PdxGraphicBmp(int width, int height, uint32_t seed);

}  // namespace korvane
