#pragma once
// Generated tables: the compact field spec syntax of `korvane-cli generate` and a
// deterministic generator of record values for test and benchmark tables.

#include <cstdint>
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

// Deterministic record values for generated tables: the same fields and seed give the
// same records. About one value in sixteen is null (never for auto-increment fields);
// numbers include negatives; alpha and memo text is cp1252 text with a few accented
// letters; most BLOB data fits the record slot, some goes to shared memo blocks, one in
// 256 to memo blocks of its own; graphic fields hold small BMP pictures with the graphic
// leader; auto-increment fields count from 1.
class TPdxRowGenerator {
 public:
  TPdxRowGenerator(std::vector<TPdxWriterField> fields, uint64_t seed);
  // Fills row with the values of the next record.
  void Next(TWriterRow& row);

 private:
  uint64_t Rand();
  uint64_t Below(uint64_t n) { return n ? Rand() % n : 0; }
  std::string Text(size_t maxLen, bool exact = false);
  size_t BlobLength(const TPdxWriterField& f);
  std::vector<TPdxWriterField> fields_;
  uint64_t state_;
  uint32_t count_ = 0;
};

// A small BMP picture (24-bit, width x height, a colour pattern chosen by seed)
// preceded by the 8-byte leader that graphic fields store before image data.
std::string PdxGraphicBmp(int width, int height, uint32_t seed);

}  // namespace korvane
