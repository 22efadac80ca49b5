// korvane-cli dump: every record of a table as UTF-8 text, one line per record.
//
// The form is canonical so that dumps can be compared byte for byte: a line of field
// names, then one line per record in record order, cells separated by TAB, every line
// ended by LF. In names and text "\" is written "\\", TAB "\t", LF "\n", CR "\r", any
// other control byte and every byte the code page cannot decode "\xhh". A null value
// (and an empty text) is an empty cell.
//
// A table that cannot be read whole says so on stderr: an encrypted table is refused,
// a missing memo file and a file cut short give one warning each before the records
// (the readable records are still dumped), and a damaged BLOB leaves its cell empty,
// is named on stderr and makes the exit status 1.
//
// --encoding auto reads the text in the code page its text looks like when that
// clearly beats the header's (said on stderr), else in the header's.
//
// A table whose block chain is broken fails at the damage, with a hint to --salvage,
// which dumps every record that can be found (see TPdx::SetSalvage) and says on stderr
// how many were recovered, how many blocks could not be read, and how many values
// read as empty; the exit status is then 1.

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

// A BLOB's data straight into the output, piece by piece, in the dump's text form.
class TBlobCell {
 public:
  TBlobCell(TOutput& out, TFieldType kind, const TTextDecoder& decoder) : out_(out), kind_(kind), decoder_(decoder) {}
  void operator()(const char* p, size_t n) {
    std::string& o = out_.Buf();
    if (kind_ == ftMemo) {
      AppendEscapedText(o, std::string_view(p, n));
    } else if (kind_ == ftFmtMemo) {
      // Decoded with the bytes a piece ends in carried to the next piece.
      pending_.append(p, n);
      size_t cut = pending_.size();
      while (cut > 0 && static_cast<uint8_t>(pending_[cut - 1]) >= 0x40) --cut;
      if (cut == 0 && pending_.size() >= (1u << 20)) cut = pending_.size();
      Decode(cut);
    } else {
      AppendHex(o, reinterpret_cast<const uint8_t*>(p), n);
    }
    out_.MaybeFlush();
  }
  void Finish() { Decode(pending_.size()); }

 private:
  void Decode(size_t n) {
    if (n == 0) return;
    scratch_.clear();
    decoder_.DecodeAppend(pending_.substr(0, n), DecodeMode::Escape, scratch_);
    pending_.erase(0, n);
    AppendEscapedText(out_.Buf(), scratch_);
  }
  TOutput& out_;
  TFieldType kind_;
  const TTextDecoder& decoder_;
  std::string pending_;
  std::string scratch_;
};

}  // namespace

int CmdDump(const std::vector<std::string>& args) {
  std::string path;
  std::string encoding;
  bool salvage = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--salvage") {
      salvage = true;
    } else if (a == "--encoding") {
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
  const bool autoEncoding = encoding == "auto";
  if (!encoding.empty() && !autoEncoding) {
    try {
      overrideCp = ParseCodePage(encoding);
    } catch (const std::exception& e) {
      throw UsageError{std::string("dump: ") + e.what()};
    }
  }

  TPdx table;
  table.SetTableName(path);
  table.SetSalvage(salvage);
  table.Open();
  RefuseEncrypted(table);
  WarnReadProblems(table);
  if (autoEncoding) overrideCp = AutoCodePage(table);
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
  int64_t damaged = 0;
  try {
    for (table.First(); !table.Eof(); table.Next()) {
      for (int i = 0; i < n; ++i) {
        if (i) o += '\t';
        const TField& f = *fields[static_cast<size_t>(i)];
        const TFieldType kind = f.DataType();
        if (IsBlobType(kind)) {
          // A damaged BLOB leaves its cell empty (whatever of it went out already
          // stays: the line is ended as usual) and is reported; the record goes on.
          const size_t cellStart = o.size();
          TBlobCell cell(out, kind, *decoder);
          try {
            table.ReadBlob(f, [&](const char* p, size_t len) { cell(p, len); });
            cell.Finish();
          } catch (const EBlobError& e) {
            if (o.size() >= cellStart) o.resize(cellStart);
            std::fprintf(stderr, "korvane-cli: %s\n", e.what());
            ++damaged;
          }
          continue;
        }
        if (!f.GetData(value)) continue;
        AppendValueText(o, f, value);
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
    RethrowWithSalvageHint(table);
  }
  out.Finish();
  if (ReportSalvage(table)) return kExitError;
  if (damaged > 0) {
    std::fprintf(stderr, "korvane-cli: %lld values could not be read (damaged BLOB)\n",
                 static_cast<long long>(damaged));
    return kExitError;
  }
  return kExitOk;
}

}  // namespace korvane::cli
