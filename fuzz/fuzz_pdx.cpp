// Fuzz target of the table reader: the input is a data file and a memo file, opened as a
// table; every record is read with every field and BLOB, and turned into text as
// `korvane-cli dump` writes it and as the field objects give it; then a few records by
// number.
//
// Input layout: 4 bytes little-endian = length L of the data file (taken modulo the
// input size), then L bytes of the data file, then the memo file (absent when empty).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/pdx.h"
#include "engine/sysutils.h"

namespace {

std::string Dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/fuzz_pdx-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    return std::string(tmpl);
  }();
  return dir;
}

void Put(const std::string& path, const uint8_t* data, size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (n && std::fwrite(data, 1, n, f) != n) std::abort();
  std::fclose(f);
}

void ReadAll(korvane::TPdx& t) {
  alignas(8) char value[korvane::kAlphaBufferSize + 8];
  std::string text;
  for (int i = 0; i < t.FieldCount(); ++i) {
    const korvane::TField& f = t.Fields(i);
    text.clear();
    try {
      if (f.IsBlob()) {
        t.CreateBlobStream(f, korvane::bmRead);
        t.ReadBlob(f, [&](const char* p, size_t n) { korvane::AppendEscapedText(text, std::string_view(p, n)); });
      } else if (f.GetData(value)) {
        korvane::AppendValueText(text, f, value);
      }
      // The field object's own text forms, as the viewer and the export read them.
      text += f.AsString();
      text += f.DisplayText();
    } catch (const korvane::EBlobError&) {
      // a damaged BLOB: the record's other values are still read
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t len = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                 (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
  const size_t rest = size - 4;
  const size_t dbLen = len % (rest + 1);
  const std::string db = Dir() + "/t.db";
  const std::string mb = Dir() + "/t.mb";
  Put(db, data + 4, dbLen);
  if (rest > dbLen) {
    Put(mb, data + 4 + dbLen, rest - dbLen);
  } else {
    unlink(mb.c_str());
  }

  korvane::TPdx t;
  t.SetTableName(db);
  try {
    t.Open();
  } catch (const korvane::Exception&) {
    return 0;
  }
  // Every record in order, and on to the end even after a broken one.
  const int count = t.RecordCount();
  try {
    for (t.First(); !t.Eof(); t.Next()) ReadAll(t);
  } catch (const korvane::Exception&) {
    // a fault of the table: the reader reported it
  }
  for (int r : {count, 1, count / 2, count - 1, 2}) {
    try {
      t.SetRecNo(r);
      ReadAll(t);
    } catch (const korvane::Exception&) {
      // a fault of the table: the reader reported it
    }
  }
  try {
    t.Last();
    t.Prior();
    ReadAll(t);
  } catch (const korvane::Exception&) {
    // a fault of the table: the reader reported it
  }
  t.Close();
  return 0;
}
