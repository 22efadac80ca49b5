#include "engine/pdxwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>

namespace korvane {

namespace {

// ---------------------------------------------------------------------------------------------
// Small helpers

constexpr int kMemoBlock = 4096;           // memo file block size
constexpr int kSharedEntries = 64;         // entries of a shared memo block
constexpr int kSharedFirstParagraph = 21;  // data of a shared block starts at 0x150
constexpr int kBcdSlot = 17;
constexpr uint32_t kMaxBlocks = 65535;

[[noreturn]] void Fail(const std::string& message) { throw EPdxWriterError(message); }

std::string Errno() { return std::strerror(errno); }

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v) { PutLe16(b.data() + at, v); }
void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) { PutLe32(b.data() + at, v); }

std::string BaseName(const std::string& path) {
  size_t s = path.find_last_of('/');
  return s == std::string::npos ? path : path.substr(s + 1);
}
std::string DirName(const std::string& path) {
  size_t s = path.find_last_of('/');
  if (s == std::string::npos) return ".";
  return s == 0 ? "/" : path.substr(0, s);
}

char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  return true;
}

// Memo path beside a table: the extension replaced by ".mb", upper case when the
// table's extension is upper case.
std::string MemoPathFor(const std::string& path, bool upper) {
  std::string base = path;
  size_t slash = base.find_last_of('/');
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
  return base + (upper ? ".MB" : ".mb");
}
bool UpperExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 >= path.size())
    return false;
  for (size_t i = dot + 1; i < path.size(); ++i)
    if (path[i] >= 'a' && path[i] <= 'z') return false;
  return true;
}

// ---------------------------------------------------------------------------------------------
// An output file under a temporary name beside its target: sequential writes are
// gathered in a buffer, others go straight to their position.

class TOutFile {
 public:
  TOutFile() = default;
  TOutFile(const TOutFile&) = delete;
  TOutFile& operator=(const TOutFile&) = delete;
  ~TOutFile() { Remove(); }

  void Create(const std::string& target) {
    target_ = target;
    std::string tmpl = DirName(target) + "/." + BaseName(target) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back(0);
    fd_ = mkstemp(name.data());
    if (fd_ < 0) Fail("cannot create a file beside \"" + target + "\": " + Errno());
    temp_ = name.data();
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    buf_.reserve(kBufferSize);
  }

  void WriteAt(uint64_t offset, const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (!buf_.empty() && offset != bufStart_ + buf_.size()) Flush();
    if (buf_.empty()) bufStart_ = offset;
    if (n >= kBufferSize) {
      Flush();
      PWrite(offset, p, n);
      return;
    }
    if (buf_.size() + n > kBufferSize) {
      uint64_t start = bufStart_ + buf_.size();
      Flush();
      bufStart_ = start;
    }
    buf_.insert(buf_.end(), p, p + n);
  }

  void WriteZeros(uint64_t offset, size_t n) {
    static const uint8_t kZeros[4096] = {};
    while (n > 0) {
      size_t k = std::min(n, sizeof(kZeros));
      WriteAt(offset, kZeros, k);
      offset += k;
      n -= k;
    }
  }

  void Flush() {
    if (buf_.empty()) return;
    PWrite(bufStart_, buf_.data(), buf_.size());
    buf_.clear();
  }

  // Flushes and closes; the file keeps its temporary name until Commit.
  void Close() {
    Flush();
    if (fd_ >= 0) {
      int rc = ::close(fd_);
      fd_ = -1;
      if (rc != 0) Fail("cannot write \"" + target_ + "\": " + Errno());
    }
  }

  void Commit() {
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
      Fail("cannot rename \"" + temp_ + "\" to \"" + target_ + "\": " + Errno());
    temp_.clear();
  }

  void Remove() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buf_.clear();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }

  const std::string& Target() const { return target_; }

 private:
  static constexpr size_t kBufferSize = 1 << 20;

  void PWrite(uint64_t offset, const uint8_t* p, size_t n) {
    while (n > 0) {
      ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) Fail("cannot write \"" + target_ + "\": " + (w < 0 ? Errno() : std::string("no space")));
      p += w;
      n -= static_cast<size_t>(w);
      offset += static_cast<uint64_t>(w);
    }
  }

  int fd_ = -1;
  std::string target_;
  std::string temp_;
  std::vector<uint8_t> buf_;
  uint64_t bufStart_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Field layout

struct TFieldLayout {
  TPdxWriterField Def;
  uint8_t DescriptorSize = 0;
  int Slot = 0;  // bytes in the record
  int Offset = 0;
};

int FixedSize(uint8_t type) {
  switch (type) {
    case pdxtype::kDate: return 4;
    case pdxtype::kShort: return 2;
    case pdxtype::kLong: return 4;
    case pdxtype::kCurrency: return 8;
    case pdxtype::kNumber: return 8;
    case pdxtype::kLogical: return 1;
    case pdxtype::kTime: return 4;
    case pdxtype::kTimestamp: return 8;
    case pdxtype::kAutoInc: return 4;
    default: return 0;
  }
}

bool KnownType(uint8_t t) {
  return t == pdxtype::kAlpha || FixedSize(t) > 0 || pdxtype::IsBlob(t) || t == pdxtype::kBcd ||
         t == pdxtype::kBytes;
}

// First file version that has the type: BLOB kinds came with 4.x, long integer,
// logical, time, timestamp, auto-increment, BCD and bytes with 5.x.
int FirstVersionOf(uint8_t t) {
  switch (t) {
    case pdxtype::kAlpha:
    case pdxtype::kDate:
    case pdxtype::kShort:
    case pdxtype::kCurrency:
    case pdxtype::kNumber: return 3;
    case pdxtype::kMemo:
    case pdxtype::kBlob:
    case pdxtype::kFmtMemo:
    case pdxtype::kOle:
    case pdxtype::kGraphic: return 5;
    default: return 10;
  }
}

const char* TypeName(uint8_t t) {
  switch (t) {
    case pdxtype::kAlpha: return "alpha";
    case pdxtype::kDate: return "date";
    case pdxtype::kShort: return "short";
    case pdxtype::kLong: return "long";
    case pdxtype::kCurrency: return "currency";
    case pdxtype::kNumber: return "number";
    case pdxtype::kLogical: return "logical";
    case pdxtype::kMemo: return "memo";
    case pdxtype::kBlob: return "BLOB";
    case pdxtype::kFmtMemo: return "formatted memo";
    case pdxtype::kOle: return "OLE";
    case pdxtype::kGraphic: return "graphic";
    case pdxtype::kTime: return "time";
    case pdxtype::kTimestamp: return "timestamp";
    case pdxtype::kAutoInc: return "auto-increment";
    case pdxtype::kBcd: return "BCD";
    case pdxtype::kBytes: return "bytes";
    default: return "unknown";
  }
}

// ---------------------------------------------------------------------------------------------
// Stored forms of values

// Integers: big-endian with the top bit inverted; all zero bytes are null, so the
// smallest value of each width cannot be stored.
void StoreInt(uint8_t* p, int64_t v, int width) {
  uint64_t u = static_cast<uint64_t>(v) ^ (uint64_t{1} << (8 * width - 1));
  for (int i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(u >> (8 * (width - 1 - i)));
}

// Doubles: big-endian; a positive value (sign bit clear) has its top bit inverted,
// a negative one all its bits complemented, so that the stored bytes sort like the values.
void StoreDouble(uint8_t* p, double v) {
  uint64_t u = std::bit_cast<uint64_t>(v);
  if (std::isnan(v)) u = 0x7FF8000000000000ull;  // one quiet NaN: all bits set would read as null
  if (u >> 63)
    u = ~u;
  else
    u ^= uint64_t{1} << 63;
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(u >> (8 * (7 - i)));
}

struct TDecimal {
  bool Negative = false;
  std::string Digits;  // unscaled, possibly with leading zeros
  int Decimals = 0;
};

bool ParseDecimal(const std::string& text, TDecimal& out) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  out = TDecimal();
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) out.Negative = text[i++] == '-';
  bool point = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      out.Digits.push_back(c);
      if (point) ++out.Decimals;
      any = true;
    } else if ((c == '.' || c == ',') && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return any && i == text.size();
}

// ---------------------------------------------------------------------------------------------
// The memo file: a header block, blocks of their own for long data and shared blocks
// (64 entries, data in 16-byte paragraphs) for short data.

class TMemoWriter {
 public:
  void Create(const std::string& path, size_t sharedLimit) {
    sharedLimit_ = std::min<size_t>(sharedLimit, (256 - kSharedFirstParagraph) * 16);
    file_.Create(path);
    file_.WriteZeros(0, kMemoBlock);  // the header block, filled in by Finish
  }

  // Stores data; answers the leader's MbOffset (block offset | entry index, 255 for a block of its own).
  uint32_t Put(const std::string& data) {
    return data.size() <= sharedLimit_ ? PutShared(data) : PutOwn(data);
  }

  void Finish() {
    FlushShared();
    std::vector<uint8_t> h(kMemoBlock, 0);
    // The fixed part every memo file header carries.
    static const uint8_t kFixed[] = {0x00, 0x01, 0x00, 0x01, 0x00, 0x82, 0x73, 0x02, 0x00, 0x29, 0x00,
                                     0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08};
    std::memcpy(h.data(), kFixed, sizeof(kFixed));
    h[0x29] = 0xA1;
    h[0x2A] = 0x02;
    // Free space list: the shared block still open for more data, with its free paragraphs.
    if (lastShared_ != 0 && lastSharedFree_ > 0) {
      uint32_t off = lastShared_ * kMemoBlock;
      h[0x38] = 0x02;
      h[0x39] = static_cast<uint8_t>(off >> 8);
      h[0x3A] = static_cast<uint8_t>(off >> 16);
      h[0x3B] = static_cast<uint8_t>(off >> 24);
      PutLe16(h, 0x3C, static_cast<uint32_t>(lastSharedFree_));
    }
    file_.WriteAt(0, h.data(), h.size());
    file_.Close();
  }

  void Commit() { file_.Commit(); }
  void Remove() { file_.Remove(); }

 private:
  uint32_t AllocBlocks(uint64_t n) {
    if (nextBlock_ + n > (uint64_t{1} << 20)) Fail("memo file \"" + file_.Target() + "\" would exceed 4 GB");
    uint32_t b = static_cast<uint32_t>(nextBlock_);
    nextBlock_ += n;
    return b;
  }

  uint32_t PutOwn(const std::string& data) {
    uint64_t chunks = (9 + data.size() + kMemoBlock - 1) / kMemoBlock;
    if (chunks > 0xFFFF)
      Fail("BLOB of " + std::to_string(data.size()) + " bytes is too large for a memo block");
    uint32_t block = AllocBlocks(chunks);
    uint64_t off = uint64_t{block} * kMemoBlock;
    uint8_t head[9] = {0x02};
    PutLe16(head + 1, static_cast<uint32_t>(chunks));
    PutLe32(head + 3, static_cast<uint32_t>(data.size()));
    PutLe16(head + 7, 1);  // modification number
    file_.WriteAt(off, head, sizeof(head));
    file_.WriteAt(off + 9, data.data(), data.size());
    file_.WriteZeros(off + 9 + data.size(), chunks * kMemoBlock - 9 - data.size());
    return static_cast<uint32_t>(off) | 0xFF;
  }

  uint32_t PutShared(const std::string& data) {
    int paras = static_cast<int>((data.size() + 15) / 16);
    if (shared_.empty() || nextEntry_ < 0 || nextPara_ + paras > 256) {
      FlushShared();
      shared_.assign(kMemoBlock, 0);
      shared_[0] = 0x03;
      PutLe16(shared_, 1, 1);
      sharedBlock_ = AllocBlocks(1);
      nextEntry_ = kSharedEntries - 1;  // entries are taken from the last one down
      nextPara_ = kSharedFirstParagraph;
    }
    int entry = nextEntry_--;
    uint8_t* e = shared_.data() + 12 + 5 * entry;
    e[0] = static_cast<uint8_t>(nextPara_);
    e[1] = static_cast<uint8_t>(paras);
    PutLe16(e + 2, 1);  // modification number
    e[4] = static_cast<uint8_t>(data.size() - static_cast<size_t>(paras - 1) * 16);
    std::memcpy(shared_.data() + nextPara_ * 16, data.data(), data.size());
    nextPara_ += paras;
    lastShared_ = sharedBlock_;
    lastSharedFree_ = 256 - nextPara_;
    return sharedBlock_ * kMemoBlock | static_cast<uint32_t>(entry);
  }

  void FlushShared() {
    if (shared_.empty()) return;
    file_.WriteAt(uint64_t{sharedBlock_} * kMemoBlock, shared_.data(), shared_.size());
    shared_.clear();
  }

  TOutFile file_;
  size_t sharedLimit_ = 0;
  uint64_t nextBlock_ = 1;
  std::vector<uint8_t> shared_;
  uint32_t sharedBlock_ = 0;
  int nextEntry_ = -1;
  int nextPara_ = 0;
  uint32_t lastShared_ = 0;
  int lastSharedFree_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The writer

class TPdxWriter::TImpl {
 public:
  TImpl(const std::string& path, std::vector<TPdxWriterField> fields, TPdxWriterOptions options);
  void Append(const TWriterRow& row);
  void Finish();
  void Abandon();

  std::string path_;
  std::string memoPath_;
  TPdxWriterOptions opt_;
  std::vector<TFieldLayout> fields_;
  int recordLength_ = 0;
  int headerLength_ = 0;
  uint32_t blockSize_ = 0;
  int perBlock_ = 0;
  uint32_t records_ = 0;
  int64_t maxAutoInc_ = 0;
  bool finished_ = false;
  bool failed_ = false;
  TOutFile db_;
  std::unique_ptr<TMemoWriter> memo_;

 private:
  struct TPending {
    uint32_t Pos;
    int Count;
    std::vector<uint8_t> Data;
  };

  uint32_t FileBlockOf(uint32_t pos, uint32_t positions) const;
  void StartPosition();
  void WritePending(const TPending& b, uint32_t positions);
  void FlushReady();
  std::vector<uint8_t> BuildHeader(uint32_t positions, uint32_t firstBlock, uint32_t lastBlock,
                                   uint32_t fileBlocks) const;
  void EncodeField(const TFieldLayout& f, const std::optional<TWriterValue>& v, uint8_t* dest);
  [[noreturn]] void ValueError(const TFieldLayout& f, const std::string& what) const;
  int64_t IntegerOf(const TFieldLayout& f, const TWriterValue& v) const;
  double DoubleOf(const TFieldLayout& f, const TWriterValue& v) const;
  const std::string& BytesOf(const TFieldLayout& f, const TWriterValue& v) const;

  std::deque<TPending> pending_;
  uint32_t positions_ = 0;  // chain positions started so far
};

TPdxWriter::TImpl::TImpl(const std::string& path, std::vector<TPdxWriterField> fields,
                         TPdxWriterOptions options)
    : path_(path), opt_(std::move(options)) {
  const int v = opt_.FileVersion;
  if (v < 3 || v > 12) Fail("file version " + std::to_string(v) + " is not one of 3 to 12");
  const int bs = opt_.BlockSizeKB;
  if (bs != 1 && bs != 2 && bs != 4 && bs != 8 && bs != 16 && bs != 32)
    Fail("block size " + std::to_string(bs) + " KB is not one of 1, 2, 4, 8, 16, 32");
  blockSize_ = static_cast<uint32_t>(bs) * 1024;
  if (fields.empty()) Fail("a table needs at least one field");
  if (fields.size() > 255) Fail("a table holds at most 255 fields");

  int offset = 0;
  bool hasBlob = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    TFieldLayout f;
    f.Def = fields[i];
    const std::string& name = f.Def.Name;
    const uint8_t t = f.Def.Type;
    const std::string where = "field " + std::to_string(i + 1) + " \"" + name + "\": ";
    if (name.empty()) Fail(where + "a field needs a name");
    if (name.find('\0') != std::string::npos) Fail(where + "a field name cannot hold a zero byte");
    for (size_t j = 0; j < i && opt_.StrictTypes; ++j)
      if (SameNoCase(fields[j].Name, name)) Fail(where + "the name is used twice");
    int size = f.Def.Size;
    if (!KnownType(t)) {
      if (opt_.StrictTypes) Fail(where + "unknown type code " + std::to_string(t));
      if (size < 1 || size > 255) Fail(where + "size must be 1 to 255");
      f.DescriptorSize = static_cast<uint8_t>(size);
      f.Slot = size;
    } else {
      if (opt_.StrictTypes && v < FirstVersionOf(t))
        Fail(where + "a " + std::string(TypeName(t)) + " field needs file version " +
             (FirstVersionOf(t) == 5 ? "4.x" : "5.x") + " or later");
      if (t == pdxtype::kAlpha || t == pdxtype::kBytes) {
        if (size < 1 || size > 255) Fail(where + "size must be 1 to 255");
        f.DescriptorSize = static_cast<uint8_t>(size);
        f.Slot = size;
      } else if (pdxtype::IsBlob(t)) {
        if (size == 0) size = 10;
        if (size < 10 || size > 250) Fail(where + "a BLOB field's slot size must be 10 to 250");
        f.DescriptorSize = static_cast<uint8_t>(size);
        f.Slot = size;
        hasBlob = true;
      } else if (t == pdxtype::kBcd) {
        if (size < 0 || size > 32) Fail(where + "BCD decimals must be 0 to 32");
        f.DescriptorSize = static_cast<uint8_t>(size);
        f.Slot = kBcdSlot;
      } else {
        int fixed = FixedSize(t);
        if (size != 0 && size != fixed)
          Fail(where + "a " + std::string(TypeName(t)) + " field has size " + std::to_string(fixed));
        f.DescriptorSize = static_cast<uint8_t>(fixed);
        f.Slot = fixed;
      }
    }
    f.Def.Size = f.DescriptorSize;
    f.Offset = offset;
    offset += f.Slot;
    fields_.push_back(std::move(f));
  }
  recordLength_ = offset;
  if (static_cast<uint32_t>(recordLength_) + 6 > blockSize_)
    Fail("records of " + std::to_string(recordLength_) + " bytes do not fit a block of " +
         std::to_string(bs) + " KB");
  if (recordLength_ > 0xFFFF) Fail("records are longer than 65535 bytes");
  perBlock_ = static_cast<int>((blockSize_ - 6) / static_cast<uint32_t>(recordLength_));
  if (opt_.RecordsPerBlock < 0) Fail("records per block cannot be negative");
  if (opt_.RecordsPerBlock > 0) perBlock_ = std::min(perBlock_, opt_.RecordsPerBlock);
  if (opt_.EmptyChainBlocks < 0 || opt_.FreeBlocks < 0) Fail("block counts cannot be negative");
  if (opt_.ChainOrder == TPdxChainOrder::Explicit) {
    if (opt_.ChainBlocks.size() > kMaxBlocks) Fail("the chain lists more than 65535 blocks");
    std::vector<uint8_t> seen(kMaxBlocks + 1, 0);
    for (uint16_t b : opt_.ChainBlocks) {
      if (b == 0) Fail("chain block numbers start at 1");
      if (seen[b]++) Fail("block " + std::to_string(b) + " is listed twice in the chain");
    }
  }
  if (opt_.HeaderTableName.empty()) opt_.HeaderTableName = BaseName(path_);

  headerLength_ = static_cast<int>(BuildHeader(0, 0, 0, 0).size());

  db_.Create(path_);
  db_.WriteZeros(0, static_cast<size_t>(headerLength_));
  if (hasBlob) {
    memoPath_ = MemoPathFor(path_, UpperExtension(path_));
    memo_ = std::make_unique<TMemoWriter>();
    memo_->Create(memoPath_, opt_.SharedBlobLimit);
  }
}

uint32_t TPdxWriter::TImpl::FileBlockOf(uint32_t pos, uint32_t positions) const {
  switch (opt_.ChainOrder) {
    case TPdxChainOrder::FileOrder: return pos + 1;
    case TPdxChainOrder::SwappedPairs:
      if (pos % 2 == 1) return pos;
      return pos + 1 < positions ? pos + 2 : pos + 1;
    case TPdxChainOrder::Explicit: return opt_.ChainBlocks[pos];
  }
  return pos + 1;
}

void TPdxWriter::TImpl::StartPosition() {
  const uint32_t pos = positions_;
  if (opt_.ChainOrder == TPdxChainOrder::Explicit) {
    if (pos >= opt_.ChainBlocks.size())
      Fail("record " + std::to_string(records_ + 1) + " does not fit the " +
           std::to_string(opt_.ChainBlocks.size()) + " blocks of the chain");
  } else if (pos + 2 > kMaxBlocks) {
    Fail("the table needs more than 65535 blocks of " + std::to_string(opt_.BlockSizeKB) +
         " KB; use a larger block size");
  }
  ++positions_;
  pending_.push_back(TPending{pos, 0, std::vector<uint8_t>(blockSize_, 0)});
  FlushReady();
}

// A block is written once the chain is known two positions beyond it: its own file
// block and the one after it may depend on whether those positions exist.
void TPdxWriter::TImpl::FlushReady() {
  while (!pending_.empty() && pending_.front().Pos + 3 <= positions_) {
    WritePending(pending_.front(), positions_);
    pending_.pop_front();
  }
}

void TPdxWriter::TImpl::WritePending(const TPending& b, uint32_t positions) {
  const uint32_t block = FileBlockOf(b.Pos, positions);
  const uint32_t next = b.Pos + 1 < positions ? FileBlockOf(b.Pos + 1, positions) : 0;
  const uint32_t prev = b.Pos > 0 ? FileBlockOf(b.Pos - 1, positions) : 0;
  uint8_t head[6];
  PutLe16(head, next);
  PutLe16(head + 2, prev);
  PutLe16(head + 4, static_cast<uint32_t>((b.Count - 1) * recordLength_) & 0xFFFF);
  const uint64_t off = static_cast<uint64_t>(headerLength_) + uint64_t{block - 1} * blockSize_;
  db_.WriteAt(off, head, 6);
  db_.WriteAt(off + 6, b.Data.data() + 6, blockSize_ - 6);
}

void TPdxWriter::TImpl::Append(const TWriterRow& row) {
  if (finished_) Fail("the table is already finished");
  if (failed_) Fail("the table was abandoned after an error");
  if (row.size() != fields_.size())
    Fail("record " + std::to_string(records_ + 1) + " has " + std::to_string(row.size()) + " values for " +
         std::to_string(fields_.size()) + " fields");
  if (records_ == std::numeric_limits<uint32_t>::max()) Fail("too many records");
  // Encode into a scratch record first so that a bad value leaves nothing behind.
  uint8_t stack[4096];
  std::vector<uint8_t> heap;
  uint8_t* rec = stack;
  if (recordLength_ > static_cast<int>(sizeof(stack))) {
    heap.resize(static_cast<size_t>(recordLength_));
    rec = heap.data();
  }
  std::memset(rec, 0, static_cast<size_t>(recordLength_));
  for (size_t i = 0; i < fields_.size(); ++i) EncodeField(fields_[i], row[i], rec + fields_[i].Offset);
  if (pending_.empty() || pending_.back().Count >= perBlock_) StartPosition();
  TPending& b = pending_.back();
  std::memcpy(b.Data.data() + 6 + static_cast<size_t>(b.Count) * recordLength_, rec,
              static_cast<size_t>(recordLength_));
  ++b.Count;
  ++records_;
}

[[noreturn]] void TPdxWriter::TImpl::ValueError(const TFieldLayout& f, const std::string& what) const {
  Fail("record " + std::to_string(records_ + 1) + ", field \"" + f.Def.Name + "\": " + what);
}

int64_t TPdxWriter::TImpl::IntegerOf(const TFieldLayout& f, const TWriterValue& v) const {
  if (v.Kind() != TWriterValue::kInteger)
    ValueError(f, std::string("a ") + TypeName(f.Def.Type) + " field takes an integer");
  return v.Integer();
}

double TPdxWriter::TImpl::DoubleOf(const TFieldLayout& f, const TWriterValue& v) const {
  if (v.Kind() == TWriterValue::kFloat) return v.Float();
  if (v.Kind() == TWriterValue::kInteger) return static_cast<double>(v.Integer());
  ValueError(f, std::string("a ") + TypeName(f.Def.Type) + " field takes a number");
}

const std::string& TPdxWriter::TImpl::BytesOf(const TFieldLayout& f, const TWriterValue& v) const {
  if (v.Kind() != TWriterValue::kBytes)
    ValueError(f, std::string("a ") + TypeName(f.Def.Type) + " field takes bytes");
  return v.Bytes();
}

void TPdxWriter::TImpl::EncodeField(const TFieldLayout& f, const std::optional<TWriterValue>& value,
                                    uint8_t* p) {
  const uint8_t t = f.Def.Type;
  if (!value) {
    // Null: all zero bytes. Version 7.x tables keep the decimals in the first byte of a null BCD.
    if (t == pdxtype::kBcd && opt_.FileVersion >= 12) p[0] = f.DescriptorSize;
    return;
  }
  const TWriterValue& v = *value;
  auto checkRange = [&](int64_t x, int64_t lo, int64_t hi) {
    if (x < lo || x > hi)
      ValueError(f, std::to_string(x) + " is outside " + std::to_string(lo) + " .. " + std::to_string(hi) +
                        " (the smallest value of the width is the null marker)");
  };
  switch (t) {
    case pdxtype::kAlpha: {
      const std::string& s = BytesOf(f, v);
      if (s.size() > static_cast<size_t>(f.Slot))
        ValueError(f, std::to_string(s.size()) + " characters do not fit " + std::to_string(f.Slot));
      if (s.find('\0') != std::string::npos) ValueError(f, "alpha text cannot hold a zero byte");
      std::memcpy(p, s.data(), s.size());
      return;
    }
    case pdxtype::kShort: {
      int64_t x = IntegerOf(f, v);
      checkRange(x, -32767, 32767);
      StoreInt(p, x, 2);
      return;
    }
    case pdxtype::kLong:
    case pdxtype::kAutoInc:
    case pdxtype::kDate: {
      int64_t x = IntegerOf(f, v);
      checkRange(x, -2147483647, 2147483647);
      StoreInt(p, x, 4);
      if (t == pdxtype::kAutoInc) maxAutoInc_ = std::max(maxAutoInc_, x);
      return;
    }
    case pdxtype::kTime: {
      int64_t x = IntegerOf(f, v);
      if (opt_.StrictTypes)
        checkRange(x, 0, 86399999);
      else
        checkRange(x, -2147483647, 2147483647);
      StoreInt(p, x, 4);
      return;
    }
    case pdxtype::kNumber:
    case pdxtype::kCurrency: StoreDouble(p, DoubleOf(f, v)); return;
    case pdxtype::kTimestamp: {
      double x = DoubleOf(f, v);
      if (!std::isfinite(x)) ValueError(f, "a timestamp must be finite");
      StoreDouble(p, x);
      return;
    }
    case pdxtype::kLogical:
      if (v.Kind() != TWriterValue::kBoolean) ValueError(f, "a logical field takes a boolean");
      p[0] = v.Boolean() ? 0x81 : 0x80;
      return;
    case pdxtype::kBytes: {
      const std::string& s = BytesOf(f, v);
      if (s.size() > static_cast<size_t>(f.Slot))
        ValueError(f, std::to_string(s.size()) + " bytes do not fit " + std::to_string(f.Slot));
      std::memcpy(p, s.data(), s.size());
      return;
    }
    case pdxtype::kBcd: {
      TDecimal d;
      switch (v.Kind()) {
        case TWriterValue::kBcd: {
          const TBcdValue& b = v.Bcd();
          d.Negative = b.Negative;
          d.Decimals = b.Decimals;
          size_t n = strnlen(b.Digits, sizeof(b.Digits));
          d.Digits.assign(b.Digits, n);
          if (d.Digits.empty() || d.Digits.find_first_not_of("0123456789") != std::string::npos ||
              b.Decimals < 0 || b.Decimals > 32)
            ValueError(f, "malformed BCD value");
          break;
        }
        case TWriterValue::kBytes:
          if (!ParseDecimal(v.Bytes(), d)) ValueError(f, "\"" + v.Bytes() + "\" is not a decimal number");
          break;
        case TWriterValue::kInteger: {
          int64_t x = v.Integer();
          d.Negative = x < 0;
          uint64_t u = x < 0 ? uint64_t{0} - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
          d.Digits = std::to_string(u);
          break;
        }
        case TWriterValue::kFloat: {
          double x = v.Float();
          if (!std::isfinite(x)) ValueError(f, "a BCD value must be finite");
          char buf[400];
          std::snprintf(buf, sizeof(buf), "%.*f", static_cast<int>(f.DescriptorSize), x);
          if (!ParseDecimal(buf, d)) ValueError(f, "cannot convert the number to BCD");
          break;
        }
        default: ValueError(f, "a BCD field takes a decimal value");
      }
      const int dec = f.DescriptorSize;
      if (d.Decimals < dec) {
        d.Digits.append(static_cast<size_t>(dec - d.Decimals), '0');
      } else if (d.Decimals > dec) {
        size_t drop = static_cast<size_t>(d.Decimals - dec);
        if (d.Digits.find_first_not_of('0', d.Digits.size() - drop) != std::string::npos)
          ValueError(f, "the value has more than " + std::to_string(dec) + " decimals");
        d.Digits.resize(d.Digits.size() - drop);
      }
      size_t lead = d.Digits.find_first_not_of('0');
      d.Digits = lead == std::string::npos ? std::string() : d.Digits.substr(lead);
      if (d.Digits.size() > 32) ValueError(f, "the value has more than 32 digits");
      if (d.Digits.empty()) d.Negative = false;
      uint8_t nib[32] = {};
      for (size_t k = 0; k < d.Digits.size(); ++k)
        nib[32 - d.Digits.size() + k] = static_cast<uint8_t>(d.Digits[k] - '0');
      p[0] = static_cast<uint8_t>((d.Negative ? 0x40 : 0xC0) | dec);
      for (int k = 0; k < 16; ++k) {
        uint8_t byte = static_cast<uint8_t>(nib[2 * k] << 4 | nib[2 * k + 1]);
        p[1 + k] = d.Negative ? static_cast<uint8_t>(~byte) : byte;
      }
      return;
    }
    default: break;
  }
  if (pdxtype::IsBlob(t)) {
    const std::string& s = BytesOf(f, v);
    const size_t inlineCap = static_cast<size_t>(f.Slot - 10);
    uint8_t* leader = p + f.Slot - 10;
    if (s.empty()) return;
    if (s.size() > 0x7FFFFFFF) ValueError(f, "BLOB data of 2 GB or more");
    if (s.size() <= inlineCap) {
      std::memcpy(p, s.data(), s.size());
      PutLe32(leader + 4, static_cast<uint32_t>(s.size()));
      return;
    }
    // In the memo file; the record keeps a copy of the data's start (of a graphic: of
    // the image after its 8-byte leader).
    size_t from = (t == pdxtype::kGraphic && s.size() > 8) ? 8 : 0;
    size_t n = std::min(inlineCap, s.size() - from);
    std::memcpy(p, s.data() + from, n);
    uint32_t mbOffset = memo_->Put(s);
    PutLe32(leader, mbOffset);
    PutLe32(leader + 4, static_cast<uint32_t>(s.size()));
    PutLe16(leader + 8, 1);
    return;
  }
  // A field of a type code the writer does not know (test tables): raw bytes.
  const std::string& s = BytesOf(f, v);
  if (s.size() > static_cast<size_t>(f.Slot)) ValueError(f, "too many bytes for the field");
  std::memcpy(p, s.data(), s.size());
}

std::vector<uint8_t> TPdxWriter::TImpl::BuildHeader(uint32_t positions, uint32_t firstBlock,
                                                    uint32_t lastBlock, uint32_t fileBlocks) const {
  const int v = opt_.FileVersion;
  const size_t n = fields_.size();
  const size_t base = v < 5 ? 88 : 120;
  const size_t nameArea = v < 12 ? 79 : 261;
  std::vector<uint8_t> h(base + 2 * n + 4 + 4 * n + nameArea, 0);

  // In-memory addresses the writing program left in the file; kept plausible.
  const uint32_t fieldInfoPtr = v < 4 ? 0x10060040u : 0x6BDF4220u;
  const uint32_t namePtr = fieldInfoPtr + 0x400;

  PutLe16(h, 0x00, static_cast<uint32_t>(recordLength_));
  // 0x02: header length, below
  h[0x04] = 2;  // a table without primary index
  h[0x05] = static_cast<uint8_t>(opt_.BlockSizeKB);
  PutLe32(h, 0x06, records_);
  PutLe16(h, 0x0A, positions);
  PutLe16(h, 0x0C, fileBlocks);
  PutLe16(h, 0x0E, firstBlock);
  PutLe16(h, 0x10, lastBlock);
  PutLe16(h, 0x12, v < 4 ? 8 : 3);
  PutLe16(h, 0x21, static_cast<uint32_t>(n));
  if (v >= 5) PutLe32(h, 0x25, 0xFF00FF00u);
  h[0x29] = opt_.Language.SortOrder;
  h[0x2D] = 1;  // change counters
  h[0x2E] = 1;
  PutLe32(h, 0x30, fieldInfoPtr + static_cast<uint32_t>(2 * n));
  PutLe32(h, 0x34, fieldInfoPtr);
  h[0x39] = static_cast<uint8_t>(v);
  PutLe16(h, 0x3A, fileBlocks);
  h[0x3E] = 0x1F;
  h[0x3F] = 0x0F;
  if (v >= 4) {
    uint32_t autoInc =
        opt_.AutoIncValue ? *opt_.AutoIncValue : static_cast<uint32_t>(std::max<int64_t>(0, maxAutoInc_));
    PutLe32(h, 0x49, autoInc);
  }
  if (v >= 5) {
    h[0x56] = 0x20;
    h[0x58] = static_cast<uint8_t>(v);
    h[0x59] = 1;
    h[0x5A] = static_cast<uint8_t>(v);
    h[0x5B] = 1;
    uint32_t stamp = opt_.UpdateTime ? opt_.UpdateTime : static_cast<uint32_t>(std::time(nullptr));
    PutLe32(h, 0x60, stamp);
    PutLe16(h, 0x64, static_cast<uint32_t>(n + 1));  // next field id
    PutLe16(h, 0x6A, opt_.Language.CodePage);
    h[0x6C] = 1;
    h[0x6D] = 1;
    PutLe16(h, 0x70, 1);
  }

  // Field descriptors, then the address of the table name and of every field name.
  size_t q = base;
  for (const TFieldLayout& f : fields_) {
    h[q++] = f.Def.Type;
    h[q++] = f.DescriptorSize;
  }
  PutLe32(h, q, namePtr);
  q += 4;
  uint32_t nameOffset = static_cast<uint32_t>(nameArea);
  for (const TFieldLayout& f : fields_) {
    PutLe32(h, q, namePtr + nameOffset);
    q += 4;
    nameOffset += static_cast<uint32_t>(f.Def.Name.size() + 1);
  }
  std::string tableName = opt_.HeaderTableName.substr(0, nameArea - 1);
  std::memcpy(h.data() + q, tableName.data(), tableName.size());
  for (const TFieldLayout& f : fields_) {
    h.insert(h.end(), f.Def.Name.begin(), f.Def.Name.end());
    h.push_back(0);
  }
  const size_t namesEnd = h.size();
  const size_t sortNameLen = opt_.Language.SortOrderName.size() + 1;
  size_t used = namesEnd;
  if (v >= 5) {
    // Field numbers, then the sort-order name.
    for (size_t i = 0; i < n; ++i) {
      h.push_back(static_cast<uint8_t>(i + 1));
      h.push_back(static_cast<uint8_t>((i + 1) >> 8));
    }
    const size_t sortAt = h.size();
    h.insert(h.end(), opt_.Language.SortOrderName.begin(), opt_.Language.SortOrderName.end());
    h.push_back(0);
    used = h.size();
    PutLe16(h, 0x51, static_cast<uint32_t>(used));
    PutLe16(h, 0x66, static_cast<uint32_t>(namesEnd - 88));
    PutLe16(h, 0x6E, static_cast<uint32_t>(sortAt - 88));
  } else if (v == 4) {
    // 3.5 tables count the sort-order name in the header but do not store it.
    PutLe16(h, 0x51, static_cast<uint32_t>(namesEnd + sortNameLen));
  }
  // Paradox 3.0 headers end with the field names; later ones fill 2 KB units.
  size_t length = v < 4 ? used : (used + 2047) / 2048 * 2048;
  if (length > 0xFFFF) Fail("the field definitions do not fit a header of 64 KB");
  h.resize(length, 0);
  PutLe16(h, 0x02, static_cast<uint32_t>(length));
  return h;
}

void TPdxWriter::TImpl::Finish() {
  if (finished_) return;
  if (failed_) Fail("the table was abandoned after an error");
  try {
    // Every chain position is known now.
    uint32_t positions = positions_;
    if (opt_.ChainOrder == TPdxChainOrder::Explicit) {
      while (positions_ < opt_.ChainBlocks.size()) {
        ++positions_;
        pending_.push_back(TPending{positions_ - 1, 0, std::vector<uint8_t>(blockSize_, 0)});
      }
      positions = positions_;
    } else {
      for (int i = 0; i < opt_.EmptyChainBlocks; ++i) {
        if (positions_ + 2 > kMaxBlocks) Fail("the table needs more than 65535 blocks");
        ++positions_;
        pending_.push_back(TPending{positions_ - 1, 0, std::vector<uint8_t>(blockSize_, 0)});
      }
      positions = positions_;
    }
    for (const TPending& b : pending_) WritePending(b, positions);
    pending_.clear();
    uint32_t chainMax = 0;
    for (uint32_t p = 0; p < positions; ++p) chainMax = std::max(chainMax, FileBlockOf(p, positions));
    uint64_t fileBlocks = uint64_t{chainMax} + static_cast<uint64_t>(opt_.FreeBlocks);
    if (fileBlocks > kMaxBlocks) Fail("the table needs more than 65535 blocks");
    // Free blocks: the holes of an explicit chain and those asked for after the data.
    std::vector<uint8_t> inChain(fileBlocks + 1, 0);
    for (uint32_t p = 0; p < positions; ++p) inChain[FileBlockOf(p, positions)] = 1;
    std::vector<uint8_t> freeBlock(blockSize_, 0);
    PutLe16(freeBlock.data() + 4, static_cast<uint32_t>(-recordLength_) & 0xFFFF);
    for (uint64_t b = 1; b <= fileBlocks; ++b) {
      if (inChain[b]) continue;
      db_.WriteAt(static_cast<uint64_t>(headerLength_) + (b - 1) * blockSize_, freeBlock.data(),
                  freeBlock.size());
    }
    const uint32_t first = positions ? FileBlockOf(0, positions) : 0;
    const uint32_t last = positions ? FileBlockOf(positions - 1, positions) : 0;
    std::vector<uint8_t> header = BuildHeader(positions, first, last, static_cast<uint32_t>(fileBlocks));
    db_.WriteAt(0, header.data(), header.size());
    db_.Close();
    if (memo_) memo_->Finish();
    if (memo_) memo_->Commit();
    db_.Commit();
    // A memo file left from an earlier table of the same name would be taken for this one's.
    std::string lower = MemoPathFor(path_, false);
    std::string upper = MemoPathFor(path_, true);
    if (lower != memoPath_) ::unlink(lower.c_str());
    if (upper != memoPath_) ::unlink(upper.c_str());
    finished_ = true;
  } catch (...) {
    Abandon();
    throw;
  }
}

void TPdxWriter::TImpl::Abandon() {
  failed_ = true;
  pending_.clear();
  db_.Remove();
  if (memo_) memo_->Remove();
}

TPdxWriter::TPdxWriter(const std::string& path, std::vector<TPdxWriterField> fields,
                       TPdxWriterOptions options)
    : impl_(std::make_unique<TImpl>(path, std::move(fields), std::move(options))) {}

TPdxWriter::~TPdxWriter() {
  if (impl_ && !impl_->finished_) impl_->Abandon();
}

void TPdxWriter::Append(const TWriterRow& row) { impl_->Append(row); }
void TPdxWriter::Finish() { impl_->Finish(); }
void TPdxWriter::Abandon() { impl_->Abandon(); }
void TPdxWriter::SetAutoIncValue(uint32_t value) { impl_->opt_.AutoIncValue = value; }
uint32_t TPdxWriter::RecordCount() const { return impl_->records_; }
int TPdxWriter::RecordLength() const { return impl_->recordLength_; }
int TPdxWriter::HeaderLength() const { return impl_->headerLength_; }
const std::string& TPdxWriter::MemoPath() const { return impl_->memoPath_; }

void TPdxWriter::Write(const std::string& path, const std::vector<TPdxWriterField>& fields,
                       const std::vector<TWriterRow>& rows, const TPdxWriterOptions& options) {
  TPdxWriter w(path, fields, options);
  for (const TWriterRow& r : rows) w.Append(r);
  w.Finish();
}

// ---------------------------------------------------------------------------------------------
// Language drivers

TPdxLanguageDriver TPdxLanguageDriver::Ascii() { return {0x00, 437, "ascii"}; }
TPdxLanguageDriver TPdxLanguageDriver::AnsiIntl() { return {0x62, 1252, "ANSIINTL"}; }
TPdxLanguageDriver TPdxLanguageDriver::WinUs() { return {0x4C, 1252, "DBWINUS0"}; }
TPdxLanguageDriver TPdxLanguageDriver::WinWestEurope() { return {0x40, 1252, "DBWINWE0"}; }
TPdxLanguageDriver TPdxLanguageDriver::Intl850() { return {0x54, 850, "intl850"}; }
TPdxLanguageDriver TPdxLanguageDriver::Cyrillic866() { return {0xC0, 866, "cyrr"}; }

std::optional<TPdxLanguageDriver> TPdxLanguageDriver::ByName(const std::string& name) {
  for (const TPdxLanguageDriver& d :
       {Ascii(), AnsiIntl(), WinUs(), WinWestEurope(), Intl850(), Cyrillic866()})
    if (SameNoCase(d.SortOrderName, name)) return d;
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Dates and decimals

int32_t PdxDayNumber(int year, int month, int day) {
  // Days from civil (proleptic Gregorian), shifted so that 0001-01-01 is day 1.
  int64_t y = year - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days1970 = era * 146097 + doe - 719468;
  return static_cast<int32_t>(days1970 + 719163);
}

int32_t PdxTimeOfDay(int hour, int minute, int second, int msec) {
  return ((hour * 60 + minute) * 60 + second) * 1000 + msec;
}

double PdxTimestamp(int year, int month, int day, int hour, int minute, int second, int msec) {
  return static_cast<double>(PdxDayNumber(year, month, day)) * 86400000.0 +
         PdxTimeOfDay(hour, minute, second, msec);
}

TBcdValue PdxBcdFromString(const std::string& text) {
  TDecimal d;
  if (!ParseDecimal(text, d)) Fail("\"" + text + "\" is not a decimal number");
  if (d.Decimals > 32) Fail("\"" + text + "\" has more than 32 decimals");
  size_t lead = d.Digits.find_first_not_of('0');
  std::string digits = lead == std::string::npos ? "0" : d.Digits.substr(lead);
  if (digits.size() > 32) Fail("\"" + text + "\" has more than 32 digits");
  TBcdValue b;
  b.Negative = d.Negative && digits != "0";
  b.Decimals = d.Decimals;
  std::memcpy(b.Digits, digits.data(), digits.size());
  b.Digits[digits.size()] = 0;
  return b;
}

}  // namespace korvane
