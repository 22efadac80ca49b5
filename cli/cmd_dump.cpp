// korvane-cli dump: every record of a table as UTF-8 text, one line per record.
//
// The form is canonical so that dumps can be compared byte for byte: a line of field
// names, then one line per record in record order, cells separated by TAB, every line
// ended by LF. In names and text "\" is written "\\", TAB "\t", LF "\n", CR "\r", any
// other control byte and every byte the code page cannot decode "\xhh". A null value
// (and an empty text) is an empty cell.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/cli_format.h"
#include "engine/pdx.h"
#include "engine/sysutils.h"
#include "platform/textcodec.h"

namespace korvane::cli {

namespace {

// Buffered writer to stdout that reports write failures.
class TOutput {
 public:
  TOutput() { buf_.reserve(kFlushAt + 64 * 1024); }
  std::string& Buf() { return buf_; }
  void MaybeFlush() {
    if (buf_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), stdout) != buf_.size()) {
      throw Exception(std::string("cannot write the output: ") + std::strerror(errno));
    }
    buf_.clear();
  }
  void Finish() {
    Flush();
    if (std::fflush(stdout) != 0) throw Exception(std::string("cannot write the output: ") + std::strerror(errno));
  }

 private:
  static constexpr size_t kFlushAt = 1 << 20;
  std::string buf_;
};

template <typename T>
void AppendInt(std::string& out, T v) {
  char b[24];
  auto r = std::to_chars(b, b + sizeof b, v);
  out.append(b, r.ptr);
}

void AppendHex(std::string& out, const uint8_t* p, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  size_t at = out.size();
  out.resize(at + 2 * n);
  char* d = out.data() + at;
  for (size_t i = 0; i < n; ++i) {
    d[2 * i] = kHex[p[i] >> 4];
    d[2 * i + 1] = kHex[p[i] & 15];
  }
}

}  // namespace

int CmdDump(const std::vector<std::string>& args) {
  std::string path;
  std::string encoding;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--encoding") {
      if (i + 1 >= args.size()) throw UsageError{"--encoding needs a code page"};
      encoding = args[++i];
    } else if (a.rfind("--encoding=", 0) == 0) {
      encoding = a.substr(11);
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"dump: unknown option \"" + a + "\""};
    } else if (path.empty()) {
      path = a;
    } else {
      throw UsageError{"dump: only one table can be dumped"};
    }
  }
  if (path.empty()) throw UsageError{"dump: no table given"};
  int overrideCp = 0;
  if (!encoding.empty()) {
    try {
      overrideCp = ParseCodePage(encoding);
    } catch (const std::exception& e) {
      throw UsageError{std::string("dump: ") + e.what()};
    }
  }

  TPdx table;
  table.SetTableName(path);
  table.Open();
  const int codePage = SourceCodePage(table, overrideCp);
  std::shared_ptr<const TTextDecoder> decoder = TTextDecoder::For(codePage);
  table.OnEncode = MakeUtf8Encoder(codePage, DecodeMode::Escape);
  table.DisableControls();

  TOutput out;
  std::string& o = out.Buf();
  const int n = table.FieldCount();
  std::string scratch;
  for (int i = 0; i < n; ++i) {
    if (i) o += '\t';
    scratch.clear();
    decoder->DecodeAppend(table.Fields(i).FieldName(), DecodeMode::Escape, scratch);
    AppendEscapedText(o, scratch);
  }
  o += '\n';

  std::vector<TField*> fields;
  for (int i = 0; i < n; ++i) fields.push_back(&table.Fields(i));
  alignas(8) char value[kAlphaBufferSize + 8];
  try {
    for (table.First(); !table.Eof(); table.Next()) {
      for (int i = 0; i < n; ++i) {
        if (i) o += '\t';
        const TField& f = *fields[static_cast<size_t>(i)];
        const TFieldType kind = f.DataType();
        if (IsBlobType(kind)) {
          std::unique_ptr<TMemoryStream> s = table.CreateBlobStream(f, bmRead);
          const std::string& data = s->Data();
          if (kind == ftMemo) {
            AppendEscapedText(o, data);
          } else if (kind == ftFmtMemo) {
            scratch.clear();
            decoder->DecodeAppend(data, DecodeMode::Escape, scratch);
            AppendEscapedText(o, scratch);
          } else {
            AppendHex(o, reinterpret_cast<const uint8_t*>(data.data()), data.size());
          }
          continue;
        }
        if (!f.GetData(value)) continue;
        switch (kind) {
          case ftString: AppendEscapedText(o, std::string_view(value, std::strlen(value))); break;
          case ftSmallint: {
            int16_t v;
            std::memcpy(&v, value, 2);
            AppendInt(o, v);
            break;
          }
          case ftInteger:
          case ftAutoInc: {
            int32_t v;
            std::memcpy(&v, value, 4);
            AppendInt(o, v);
            break;
          }
          case ftFloat:
          case ftCurrency: {
            double v;
            std::memcpy(&v, value, 8);
            o += ReprDouble(v);
            break;
          }
          case ftBoolean: {
            int16_t v;
            std::memcpy(&v, value, 2);
            o += v ? "true" : "false";
            break;
          }
          case ftDate: {
            int32_t v;
            std::memcpy(&v, value, 4);
            AppendDayNumber(o, v);
            break;
          }
          case ftTime: {
            int32_t v;
            std::memcpy(&v, value, 4);
            AppendTimeOfDay(o, v);
            break;
          }
          case ftDateTime: {
            double v;
            std::memcpy(&v, value, 8);
            AppendTimestamp(o, v);
            break;
          }
          case ftBCD: {
            TBcdValue v;
            std::memcpy(&v, value, sizeof v);
            o += v.ToString('.');
            break;
          }
          case ftBytes: AppendHex(o, reinterpret_cast<const uint8_t*>(value), static_cast<size_t>(f.Size())); break;
          default: break;
        }
      }
      o += '\n';
      out.MaybeFlush();
    }
  } catch (...) {
    // What was read so far still goes out; the error follows on stderr.
    try {
      out.Finish();
    } catch (...) {
    }
    throw;
  }
  out.Finish();
  return kExitOk;
}

}  // namespace korvane::cli
