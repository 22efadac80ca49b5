// TPdx: reads a Paradox data file (.db) and its memo file (.mb) as a read-only dataset.
//
// Layout as the files store it (multi-byte values little-endian unless said otherwise):
//   header (88 bytes, 120 from file version 5), field descriptors (type, size), a skipped
//   pointer area, the table name area (79 bytes, 261 from version 12), the field names,
//   the field numbers and the sort-order name; then data blocks of BlockSizeKB * 1024 bytes
//   from HeaderLength on, each with a 6-byte header (next, previous, last record offset)
//   followed by its records. Field values are stored big-endian with the sign bit flipped.

#include "engine/pdx.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "engine/language.h"

namespace korvane {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

std::string Format1(const char* pattern, const std::string& a) {
  std::string out;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += a;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Bytes a field of a fixed-width type takes in the record; 0 for types whose size
// comes from the descriptor.
int FixedWidth(int code) {
  switch (code) {
    case 2: case 4: case 20: case 22: return 4;
    case 3: return 2;
    case 5: case 6: case 21: return 8;
    case 9: return 1;
    case 23: return 17;
    default: return 0;
  }
}

// The value of a fixed-width numeric field: big-endian bytes with the sign bit flipped.
// Integers (2 and 4 bytes) are two's complement, so flipping the top bit back is exact.
// Doubles (8 bytes) of negative values are stored with every bit complemented, so that
// the bytes sort like the numbers: a clear top bit means "complement all".
bool DecodeFixed(const uint8_t* p, int width, uint64_t& out) {
  uint64_t v;
  switch (width) {
    case 2: {
      uint16_t x;
      std::memcpy(&x, p, 2);
      if (x == 0) return false;
      v = __builtin_bswap16(x);
      break;
    }
    case 4: {
      uint32_t x;
      std::memcpy(&x, p, 4);
      if (x == 0) return false;
      v = __builtin_bswap32(x);
      break;
    }
    default: {
      uint64_t x;
      std::memcpy(&x, p, 8);
      if (x == 0) return false;
      v = __builtin_bswap64(x);
      break;
    }
  }
  const uint64_t top = uint64_t{1} << (width * 8 - 1);
  if (width == 8 && !(v & top)) {
    v = ~v;
  } else {
    v ^= top;
  }
  out = v;
  return true;
}


// BCD: byte 0 holds the sign (0x80 set for positive), a flag 0x40 that every stored
// value has, and the decimals in its low 6 bits; bytes 1..16 hold 32 digits, one per
// nibble, the last `decimals` of them after the decimal point, complemented for a
// negative value. A first byte without 0x80 and 0x40 is null.
bool DecodeBcd(const uint8_t* p, int decimals, TBcdValue& out) {
  if ((p[0] & 0xC0) == 0) return false;
  const bool negative = (p[0] & 0x80) == 0;
  uint8_t nib[32];
  int firstInvalid = 32;
  for (int i = 0; i < 16; ++i) {
    uint8_t b = negative ? static_cast<uint8_t>(~p[1 + i]) : p[1 + i];
    nib[2 * i] = b >> 4;
    nib[2 * i + 1] = b & 0x0F;
  }
  for (int i = 0; i < 32; ++i) {
    if (nib[i] > 9) {
      firstInvalid = i;
      break;
    }
  }
  if (firstInvalid < 32) {
    // Writers that convert through a double store about 18 significant digits and leave
    // the rest of the digit area as it was in memory (nibbles above 9 show it). Such a
    // value is rounded to the 15 significant digits a double carries.
    for (int i = firstInvalid; i < 32; ++i) nib[i] = 0;
    int s = 0;
    while (s < 32 && nib[s] == 0) ++s;
    const int keep = s + 15;
    if (keep < 32) {
      bool up = nib[keep] >= 5;
      for (int i = keep; i < 32; ++i) nib[i] = 0;
      for (int i = keep - 1; up && i >= 0; --i) {
        if (nib[i] == 9) {
          nib[i] = 0;
        } else {
          ++nib[i];
          up = false;
        }
      }
      if (up) {  // all nines rounded past the 32 digits: keep the largest value
        for (int i = 0; i < 32; ++i) nib[i] = 9;
      }
    }
  }
  out = TBcdValue();
  out.Decimals = std::clamp(decimals, 0, 32);
  int n = 0;
  int i = 0;
  while (i < 31 && nib[i] == 0) ++i;
  for (; i < 32; ++i) out.Digits[n++] = static_cast<char>('0' + nib[i]);
  out.Digits[n] = 0;
  out.Negative = negative && !(n == 1 && out.Digits[0] == '0');
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Header accessors

uint16_t TPdxHeader::RecordLength() const { return Le16(Raw + 0); }
uint16_t TPdxHeader::HeaderLength() const { return Le16(Raw + 2); }
uint8_t TPdxHeader::FileType() const { return Raw[4]; }
uint8_t TPdxHeader::BlockSizeKB() const { return Raw[5]; }
uint32_t TPdxHeader::NumRecords() const { return Le32(Raw + 6); }
uint16_t TPdxHeader::FileBlocks() const { return Le16(Raw + 12); }
uint16_t TPdxHeader::FirstBlock() const { return Le16(Raw + 14); }
uint16_t TPdxHeader::NumFields() const { return Le16(Raw + 33); }
uint32_t TPdxHeader::EncryptionOld() const { return Le32(Raw + 37); }
uint8_t TPdxHeader::SortOrder() const { return Raw[41]; }
uint8_t TPdxHeader::FileVersion() const { return Raw[57]; }
uint32_t TPdxHeader::EncryptionNew() const { return FileVersion() >= 5 ? Le32(Raw + 92) : 0; }
uint16_t TPdxHeader::DosCodePage() const { return FileVersion() >= 5 ? Le16(Raw + 106) : 0; }
uint32_t TPdxHeader::AutoIncValue() const { return Le32(Raw + 73); }
uint16_t TPdxHeader::PrimaryKeyFields() const { return Le16(Raw + 35); }

// ---------------------------------------------------------------------------------------------
// Type codes

TFieldType MapFieldType(int code) {
  switch (code) {
    case 1: return ftString;
    case 2: return ftDate;
    case 3: return ftSmallint;
    case 4: return ftInteger;
    case 5: return ftCurrency;
    case 6: return ftFloat;
    case 9: return ftBoolean;
    case 12: return ftMemo;
    case 13: return ftBlob;
    case 14: return ftFmtMemo;
    case 15: return ftParadoxOle;
    case 16: return ftGraphic;
    case 20: return ftTime;
    case 21: return ftDateTime;
    case 22: return ftAutoInc;
    case 23: return ftBCD;
    case 24: return ftBytes;
    default: return ftUnknown;
  }
}

const char* ParadoxTypeName(int code) {
  switch (code) {
    case 1: return "Alpha";
    case 2: return "Date";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Money";
    case 6: return "Number";
    case 9: return "Logical";
    case 12: return "Memo";
    case 13: return "Binary";
    case 14: return "Formatted Memo";
    case 15: return "OLE";
    case 16: return "Graphic";
    case 20: return "Time";
    case 21: return "Timestamp";
    case 22: return "Autoincrement";
    case 23: return "BCD";
    case 24: return "Bytes";
    default: return "Unknown";
  }
}

// ---------------------------------------------------------------------------------------------
// Files

TPdx::TFile::~TFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t TPdx::TFile::ReadAt(uint64_t offset, void* dest, size_t n) const {
  if (offset >= size_) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, static_cast<char*>(dest) + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      throw EReadError("Stream read error");
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

namespace {

// Opens a regular file read-only; answers -1 with errno set otherwise. A FIFO or
// device is refused without blocking on it.
int OpenRegularFile(const std::string& path, uint64_t& size) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

std::string ExpandedPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and properties

TPdx::TPdx(std::string name) : TDataSet(std::move(name)) {}

TPdx::~TPdx() {
  try {
    if (Active()) Close();
  } catch (...) {
  }
}

void TPdx::SetTableName(const std::string& path) {
  if (path == tableName_) return;
  if (Active()) Close();
  tableName_ = path;
}

std::string TPdx::Language() const { return LanguageName(languageIndex_); }

void TPdx::SetLanguage(const std::string& name) {
  if (!cursorOpen_) {
    languageIndex_ = 0;
    return;
  }
  int index = LanguageIndexByName(name);
  if (index >= 1) languageIndex_ = index;
}

int TPdx::RecordSize() const { return cursorOpen_ ? header_.RecordLength() : 0; }

std::string TPdx::EncodeText(const std::string& text, const TField& field) {
  if (OnEncode) return OnEncode(*this, field, text);
  if (languageIndex_ >= 1) return RecodeText(languageIndex_, codepage_, text);
  return text;
}

void TPdx::NotADataFile() const {
  throw EParadoxError(Format1("\"%s\" - is not .DB data file", EscapeControlBytes(tableName_)));
}

void TPdx::BlockError(unsigned block) const {
  chainFault_ = true;
  throw EChainError("Block " + std::to_string(block) + " read error");
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TPdx::InternalOpen() {
  if (tableName_.empty()) throw EParadoxError("TableName is not set");
  uint64_t size = 0;
  int fd = OpenRegularFile(tableName_, size);
  if (fd < 0) {
    const int error = errno;
    std::string m = "Cannot open file \"" + ExpandedPath(tableName_) + "\". " + std::strerror(error);
    throw EParadoxError("Unable to open database \"" + tableName_ + "\" - " + m);
  }
  dataFile_ = std::make_unique<TFile>(fd, size);
  dataFileSize_ = size;

  header_ = TPdxHeader();
  if (dataFile_->ReadAt(0, header_.Raw, 88) < 88) NotADataFile();
  if (header_.FileType() != 0 && header_.FileType() != 2) NotADataFile();
  if (header_.FileVersion() >= 5) {
    if (dataFile_->ReadAt(88, header_.Raw + 88, 32) < 32) NotADataFile();
    encrypted_ = header_.EncryptionNew() != 0;
  } else {
    encrypted_ = header_.EncryptionOld() != 0;
  }
  // A header that cannot describe any record layout.
  blockSize_ = static_cast<uint32_t>(header_.BlockSizeKB()) * 1024;
  if (header_.RecordLength() == 0 || blockSize_ == 0 || header_.NumFields() == 0) NotADataFile();
  if (header_.RecordLength() + 6u > blockSize_) NotADataFile();
  blockCapacity_ = static_cast<int>((blockSize_ - 6) / header_.RecordLength());

  InternalInitFieldDefs();
  OpenMemoFile();
  ResetChain();
  readableRecords_ = encrypted_ ? 0 : header_.NumRecords();
  if (salvage_ && !encrypted_)
    SalvageChain();
  else
    CheckLength();
  cursorOpen_ = true;
  currentRecNo_ = 0;
}

void TPdx::CheckLength() {
  // A file cut short: the records whose bytes all lie in the file, in chain order up to
  // the first that does not, are the ones that can be read.
  const uint64_t expected = static_cast<uint64_t>(header_.FileBlocks()) * blockSize_ + header_.HeaderLength();
  if (encrypted_ || dataFileSize_ >= expected || header_.NumRecords() == 0) return;
  try {
    MapChainTo(header_.NumRecords());
  } catch (const Exception&) {
    // The chain ends in the missing part: what was mapped before it counts.
  }
  uint32_t readable = 0;
  for (const ChainEntry& c : chain_) {
    const uint64_t first = BlockStart(c.Block) + 6;
    const uint64_t rl = header_.RecordLength();
    const uint64_t fit = first >= dataFileSize_ ? 0 : (dataFileSize_ - first) / rl;
    if (fit < c.Count) {
      readable += static_cast<uint32_t>(fit);
      break;
    }
    readable += c.Count;
  }
  readableRecords_ = std::min(readable, header_.NumRecords());
  ResetChain();
}

std::vector<std::string> TPdx::MemoProblemFields() const {
  std::vector<std::string> names;
  if (memoProblem_.empty()) return names;
  for (const TFieldDef& d : FieldDefs()) {
    if (IsBlobType(d.DataType)) names.push_back(d.Name);
  }
  return names;
}

std::vector<std::string> TPdx::ReadProblems() const {
  std::vector<std::string> out;
  if (!cursorOpen_) return out;
  if (encrypted_) out.push_back("the table is encrypted: its records cannot be read");
  if (!memoProblem_.empty()) {
    std::string fields;
    for (const std::string& n : MemoProblemFields()) fields += (fields.empty() ? "'" : ", '") + EscapeControlBytes(n) + "'";
    out.push_back(memoProblem_ + ": the values of " + fields + " kept there cannot be read");
  }
  if (salvage_report_.Damaged) out.push_back(SalvageSummary() + " (" + salvage_report_.Damage + ")");
  if (Truncated()) {
    out.push_back("the file is shorter than its header says: " + std::to_string(readableRecords_) + " of " +
                  std::to_string(header_.NumRecords()) + " records can be read");
  }
  return out;
}

void TPdx::OpenMemoFile() {
  namespace fs = std::filesystem;
  memoFile_.reset();
  memoFileName_.clear();
  memoFileSize_ = 0;
  memoWindow_.clear();
  memoWindow_.shrink_to_fit();
  memoWindowStart_ = 0;
  memoWindowBytes_ = 0;
  fs::path dbPath(tableName_);
  std::string ext = dbPath.extension().string();
  // ".mb" in the case pattern of the data file's extension first, then both plain cases.
  std::string patterned = ".mb";
  if (ext.size() == 3) {
    patterned[1] = std::isupper(static_cast<unsigned char>(ext[1])) ? 'M' : 'm';
    patterned[2] = std::isupper(static_cast<unsigned char>(ext[2])) ? 'B' : 'b';
  }
  std::vector<std::string> candidates;
  for (const std::string& e : {patterned, std::string(".mb"), std::string(".MB")}) {
    fs::path p = dbPath;
    p.replace_extension(e);
    if (std::find(candidates.begin(), candidates.end(), p.string()) == candidates.end()) {
      candidates.push_back(p.string());
    }
  }
  memoProblem_.clear();
  // Only a regular file is opened: a FIFO would block, a device (a link to /dev/zero)
  // would hand out endless bytes. The first name that exists but cannot serve is the
  // problem reported when no other one does.
  std::string problem;
  auto tryOpen = [&](const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR && problem.empty())
        problem = "the memo file \"" + EscapeControlBytes(path) + "\" cannot be opened: " + std::strerror(errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      if (problem.empty()) problem = "the memo file \"" + EscapeControlBytes(path) + "\" is not a regular file";
      return false;
    }
    uint64_t size = 0;
    int fd = OpenRegularFile(path, size);
    if (fd < 0) {
      if (problem.empty()) {
        problem = "the memo file \"" + EscapeControlBytes(path) + "\" " +
                  (errno == EISDIR || errno == EINVAL ? std::string("is not a regular file")
                                                      : std::string("cannot be opened: ") + std::strerror(errno));
      }
      return false;
    }
    memoFile_ = std::make_unique<TFile>(fd, size);
    memoFileSize_ = size;
    memoFileName_ = path;
    return true;
  };
  for (const std::string& c : candidates) {
    if (tryOpen(c)) return;
  }
  // Any other spelling of the extension in the same folder ("x.Mb"), looked for only
  // when the table has BLOB fields.
  if (std::none_of(fieldInfo_.begin(), fieldInfo_.end(),
                   [](const TPdxFieldInfo& f) { return IsBlobType(MapFieldType(f.Type)); })) {
    return;
  }
  std::error_code ec;
  fs::path dir = dbPath.parent_path();
  std::string stem = dbPath.stem().string();
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    fs::path name = it->path().filename();
    std::string e = name.extension().string();
    if (name.stem().string() == stem && e.size() == 3 && e[0] == '.' && (e[1] | 0x20) == 'm' &&
        (e[2] | 0x20) == 'b') {
      fs::path p = dbPath;
      p.replace_extension(e);
      if (tryOpen(p.string())) return;
    }
  }
  memoProblem_ = problem.empty() ? "the memo file \"" + EscapeControlBytes(candidates.front()) + "\" was not found"
                                 : problem;
}

void TPdx::InternalInitFieldDefs() {
  ReadFieldDescriptors();
  languageIndex_ = FindLanguage(header_.FileVersion(), header_.SortOrder(), header_.DosCodePage(), sortOrderName_);
}

void TPdx::ReadFieldDescriptors() {
  auto& defs = MutableFieldDefs();
  defs.clear();
  fieldInfo_.clear();
  sortOrderName_.clear();
  headerTableName_.clear();

  const uint64_t base = header_.FileVersion() < 5 ? 88 : 120;
  const uint64_t n = header_.NumFields();
  const uint64_t nameArea = header_.FileVersion() < 12 ? 79 : 261;
  const uint64_t tableNamePos = base + 6 * n + 4;
  const uint64_t namesPos = tableNamePos + nameArea;
  if (base + 2 * n > dataFileSize_ || namesPos > dataFileSize_) NotADataFile();

  // Everything up to the end of the sort-order name, as far as the file goes: the names
  // are at most 255 bytes each in any table that can be opened at all.
  const uint64_t want = std::min<uint64_t>(dataFileSize_, namesPos + n * 258 + 2 * n + 258);
  std::vector<uint8_t> head(static_cast<size_t>(want));
  size_t got = dataFile_->ReadAt(0, head.data(), head.size());
  head.resize(got);

  // The names lie in the header: none runs on into the data blocks.
  const size_t headerEnd = std::min<size_t>(head.size(), header_.HeaderLength());
  const std::string table = EscapeControlBytes(tableName_);
  size_t pos = static_cast<size_t>(tableNamePos);
  auto readName = [&](size_t& p, bool* ended = nullptr) {
    size_t start = std::min(p, headerEnd);
    size_t e = start;
    while (e < headerEnd && head[e] != 0) ++e;
    if (ended) *ended = e < headerEnd;
    std::string s(reinterpret_cast<const char*>(head.data()) + start, e - start);
    p = e + 1;
    return s;
  };
  {
    size_t p = pos;
    size_t limit = std::min(head.size(), static_cast<size_t>(tableNamePos + nameArea));
    size_t e = p;
    while (e < limit && head[e] != 0) ++e;
    headerTableName_.assign(reinterpret_cast<const char*>(head.data()) + std::min(p, limit), e - std::min(p, limit));
  }

  fieldInfo_.resize(n);
  int offset = 0;
  for (size_t i = 0; i < n; ++i) {
    TPdxFieldInfo& fi = fieldInfo_[i];
    fi.Type = head[base + 2 * i];
    fi.Size = head[base + 2 * i + 1];
    fi.Offset = offset;
    fi.SlotSize = fi.Type == 23 ? 17 : fi.Size;
    offset += fi.SlotSize;
  }

  pos = static_cast<size_t>(namesPos);
  for (size_t i = 0; i < n; ++i) {
    TPdxFieldInfo& fi = fieldInfo_[i];
    TFieldDef d;
    bool ended = false;
    d.Name = readName(pos, &ended);
    if (!ended) {
      throw EParadoxError("\"" + table + "\" - damaged header: the name of field " + std::to_string(i + 1) +
                          " does not end inside the header");
    }
    d.DataType = MapFieldType(fi.Type);
    d.FieldNo = static_cast<int>(i) + 1;
    d.Required = false;
    const std::string name = EscapeControlBytes(d.Name);
    if (d.DataType == ftUnknown) {
      throw EParadoxError("\"" + table + "\" - Field '" + name + "' is of an unknown type (code " +
                          std::to_string(fi.Type) + ")");
    }
    // Sizes the record layout cannot hold.
    const int fixed = FixedWidth(fi.Type);
    bool badSize = false;
    switch (d.DataType) {
      case ftString:
      case ftBytes: badSize = fi.Size == 0; break;
      case ftMemo:
      case ftBlob:
      case ftFmtMemo:
      case ftParadoxOle:
      case ftGraphic: badSize = fi.Size < 10; break;
      case ftBCD: badSize = fi.Size > 32; break;
      default: badSize = fi.Size != fixed; break;
    }
    if (badSize) {
      throw EParadoxError("\"" + table + "\" - field '" + name + "' has an invalid size " + std::to_string(fi.Size));
    }
    if (fi.Offset + fi.SlotSize > header_.RecordLength()) {
      throw EParadoxError("\"" + table + "\" - field '" + name + "' does not fit in the record");
    }
    switch (d.DataType) {
      case ftString:
      case ftBytes:
      case ftMemo:
      case ftBlob:
      case ftFmtMemo:
      case ftParadoxOle:
      case ftGraphic: d.Size = fi.Size; break;
      case ftBCD:
        d.Size = fi.Size;
        d.Precision = 32;
        break;
      default: d.Size = 0; break;
    }
    defs.push_back(std::move(d));
  }
  // The field numbers follow the names (encrypted tables keep them too), then the
  // sort-order name.
  pos += 2 * n;
  sortOrderName_ = readName(pos);
}

void TPdx::InternalClose() {
  DestroyFields();
  cursorOpen_ = false;
  memoFile_.reset();
  dataFile_.reset();
  memoFileName_.clear();
  memoProblem_.clear();
  readableRecords_ = 0;
  unreadValues_ = 0;
  salvage_report_ = TSalvageReport();
  undecodedValues_ = 0;
  cutMemos_ = 0;
  chainFault_ = false;
  lastBlobCut_ = false;
  checkedRecords_.clear();
  checkedRecords_.shrink_to_fit();
  memoWindow_.clear();
  memoWindowStart_ = 0;
  memoWindowBytes_ = 0;
  dataFileSize_ = 0;
  memoFileSize_ = 0;
  languageIndex_ = 0;
  encrypted_ = false;
  sortOrderName_.clear();
  headerTableName_.clear();
  fieldInfo_.clear();
  MutableFieldDefs().clear();
  ResetChain();
  currentRecNo_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Blocks and records

void TPdx::ResetChain() {
  chain_.clear();
  chainRecords_ = 0;
  chainNext_ = header_.FirstBlock();
  visited_.assign(cursorOpen_ || dataFile_ ? static_cast<size_t>(header_.FileBlocks()) + 1 : 0, 0);
  chainHint_ = 0;
  window_.clear();
  window_.shrink_to_fit();
  windowStart_ = 0;
  windowBytes_ = 0;
}

const uint8_t* TPdx::WindowAt(uint64_t offset, size_t n) {
  if (offset < windowStart_ || offset - windowStart_ + n > windowBytes_) return nullptr;
  return window_.data() + (offset - windowStart_);
}

void TPdx::FillWindow(uint64_t offset) {
  // Whole blocks, at least 256 KB, on a grid of windows from block 1: a chain that runs
  // back and forth between neighbouring blocks stays inside one window.
  constexpr size_t kWindow = 256 * 1024;
  const size_t blocks = std::max<size_t>(1, kWindow / blockSize_);
  const size_t size = blocks * blockSize_;
  const uint64_t first = header_.HeaderLength();
  uint64_t start = offset;
  if (offset >= first) start = first + (offset - first) / size * size;
  window_.resize(size);
  windowBytes_ = 0;
  windowStart_ = start;
  windowBytes_ = dataFile_->ReadAt(start, window_.data(), size);
}

void TPdx::FillBlockWindow(uint64_t blockStart) {
  window_.resize(std::max<size_t>(window_.size(), blockSize_));
  windowBytes_ = 0;
  windowStart_ = blockStart;
  windowBytes_ = dataFile_->ReadAt(blockStart, window_.data(), blockSize_);
}

uint64_t TPdx::BlockStart(uint16_t block) const {
  return static_cast<uint64_t>(block - 1) * blockSize_ + header_.HeaderLength();
}

int TPdx::BlockRecordCount(uint16_t lastRecordOffset) const {
  // A block emptied by deletions stores -RecordLength; other offsets are counted as
  // stored, but never beyond what the block can hold.
  if (!encrypted_ && static_cast<int16_t>(lastRecordOffset) < 0) return 0;
  int count = lastRecordOffset / header_.RecordLength() + 1;
  return std::min(count, blockCapacity_);
}

void TPdx::MapChainTo(uint32_t recNo) {
  while (chainRecords_ < recNo) {
    const uint16_t b = chainNext_;
    if (b == 0 || b > header_.FileBlocks() || visited_[b]) BlockError(b);
    const uint64_t start = BlockStart(b);
    if (start >= dataFileSize_) BlockError(b);
    uint8_t buf[6];
    const uint8_t* h = WindowAt(start, 6);
    if (!h) {
      // Small blocks are walked through the window; for big ones only the header is read.
      if (blockSize_ <= 8192) {
        FillWindow(start);
        h = WindowAt(start, 6);
      } else if (dataFile_->ReadAt(start, buf, 6) == 6) {
        h = buf;
      }
      if (!h) throw EReadError("Stream read error");
    }
    visited_[b] = 1;
    const int count = BlockRecordCount(Le16(h + 4));
    if (count > 0) {
      chain_.push_back(ChainEntry{b, chainRecords_, static_cast<uint32_t>(count)});
      chainRecords_ += static_cast<uint32_t>(count);
    }
    chainNext_ = Le16(h);
  }
}

void TPdx::ReadRecord(uint32_t recNo, uint8_t* dest) {
  MapChainTo(recNo);
  const uint32_t r = recNo - 1;  // 0-based
  size_t e = chainHint_ < chain_.size() ? chainHint_ : 0;
  auto holds = [&](size_t i) { return r >= chain_[i].FirstRecNo && r - chain_[i].FirstRecNo < chain_[i].Count; };
  if (!holds(e)) {
    if (e + 1 < chain_.size() && holds(e + 1)) {
      ++e;
    } else {
      auto it = std::upper_bound(chain_.begin(), chain_.end(), r,
                                 [](uint32_t v, const ChainEntry& c) { return v < c.FirstRecNo; });
      e = static_cast<size_t>(it - chain_.begin()) - 1;
    }
  }
  chainHint_ = e;
  const ChainEntry& c = chain_[e];
  const size_t rl = header_.RecordLength();
  const size_t inBlock = 6 + static_cast<size_t>(r - c.FirstRecNo) * rl;
  const uint64_t at = BlockStart(c.Block) + inBlock;
  const uint8_t* src = WindowAt(at, rl);
  if (!src) {
    // A read that goes on from the window (a scan) reads a whole window ahead; a jump
    // elsewhere (random access) reads only the block it needs.
    const uint64_t blockAt = BlockStart(c.Block);
    const bool goesOn = windowBytes_ != 0 && blockAt >= windowStart_ && blockAt - windowStart_ <= 2 * windowBytes_;
    if (goesOn)
      FillWindow(blockAt);
    else
      FillBlockWindow(blockAt);
    src = WindowAt(at, rl);
    if (!src) BlockError(c.Block);  // the file ends inside the record
  }
  std::memcpy(dest, src, rl);
  if (salvage_) CountUndecoded(recNo, dest);
}

// ---------------------------------------------------------------------------------------------
// Salvage

std::string TPdx::SalvageSummary() const {
  const TSalvageReport& r = salvage_report_;
  if (!r.Damaged) return {};
  return "Damaged table: " + std::to_string(r.Recovered) + " records recovered, " +
         std::to_string(r.UnreadableBlocks) + " blocks unreadable; the order after record " +
         std::to_string(r.ChainRecords) + " may differ from the original";
}

void TPdx::SalvageChain() {
  salvage_report_ = TSalvageReport();
  const uint32_t rl = header_.RecordLength();
  const uint64_t first = header_.HeaderLength();
  // Blocks whose header lies in the file, and the highest number any block may have.
  const uint64_t inFile =
      dataFileSize_ >= first + 6 ? (dataFileSize_ - first - 6) / blockSize_ + 1 : 0;
  const uint64_t highest = std::min<uint64_t>(0xFFFF, std::max<uint64_t>(inFile, header_.FileBlocks()));
  // Only the block headers are read (the records are read when they are asked for).
  auto blockHeader = [&](uint64_t b, uint8_t out[6]) {
    return dataFile_->ReadAt(first + (b - 1) * blockSize_, out, 6) == 6;
  };
  // Records of block b whose bytes all lie in the file (a block cut by the end keeps
  // the records before the cut).
  auto fitting = [&](uint64_t b, uint32_t count) {
    const uint64_t start = first + (b - 1) * blockSize_ + 6;
    const uint64_t fit = start >= dataFileSize_ ? 0 : (dataFileSize_ - start) / rl;
    return static_cast<uint32_t>(std::min<uint64_t>(fit, count));
  };
  // A plausible header: a last-record offset on a record boundary within the block
  // (or the mark of a block emptied by deletions), links inside the file.
  // Along the chain the next link is checked when it is followed.
  auto plausible = [&](const uint8_t h[6], int& count, bool inChain) {
    const uint16_t next = Le16(h);
    const uint16_t prev = Le16(h + 2);
    const uint16_t last = Le16(h + 4);
    // (A link to the block itself is no sign of damage to its records: blocks that
    // changed places keep the links of their old places.)
    if ((!inChain && next > highest) || prev > highest) return false;
    if (static_cast<int16_t>(last) < 0) {
      count = 0;
      return true;
    }
    if (last % rl != 0 || last / rl + 1 > static_cast<uint32_t>(blockCapacity_)) return false;
    count = static_cast<int>(last / rl + 1);
    return true;
  };

  std::vector<uint8_t> used(static_cast<size_t>(highest) + 1, 0);
  std::vector<ChainEntry> entries;
  uint32_t total = 0;
  std::string damage;
  uint16_t b = header_.FirstBlock();
  uint16_t prev = 0;
  const uint32_t want = header_.NumRecords();
  while (total < want) {
    if (b == 0) {
      damage = "the chain ends after " + std::to_string(total) + " of " + std::to_string(want) + " records";
      break;
    }
    if (b > header_.FileBlocks() || b > inFile) {
      damage = (prev ? "block " + std::to_string(prev) + " links to block " : "the first block is block ") +
               std::to_string(b) + ", past the end of the " + (b > header_.FileBlocks() ? "table" : "file");
      break;
    }
    if (used[b]) {
      damage = "block " + std::to_string(prev) + " links back to block " + std::to_string(b) + " (a loop)";
      break;
    }
    uint8_t h[6];
    int count = 0;
    if (!blockHeader(b, h) || !plausible(h, count, true) || Le16(h + 2) != prev) {
      damage = "block " + std::to_string(b) + " cannot be read";
      break;
    }
    used[b] = 1;
    const uint32_t n = fitting(b, static_cast<uint32_t>(count));
    if (n > 0) {
      entries.push_back(ChainEntry{b, total, n});
      total += n;
    }
    if (n < static_cast<uint32_t>(count)) {
      damage = "the file ends inside block " + std::to_string(b);
      break;
    }
    prev = b;
    b = Le16(h);
  }
  chain_ = entries;
  chainRecords_ = total;
  if (damage.empty()) {
    // The chain is whole: the records are read as they always are.
    readableRecords_ = std::min(total, want);
    ResetChain();
    return;
  }
  TSalvageReport& r = salvage_report_;
  r.Damaged = true;
  r.Damage = damage;
  r.ChainRecords = total;
  // Every other block of the file, in file order.
  for (uint64_t k = 1; k <= highest; ++k) {
    if (used[k]) continue;
    uint8_t h[6];
    int count = 0;
    const bool all0 = k <= inFile && blockHeader(k, h) && std::all_of(h, h + 6, [](uint8_t x) { return x == 0; });
    if (k > inFile || all0 || !blockHeader(k, h) || !plausible(h, count, false)) {
      ++r.UnreadableBlocks;
      continue;
    }
    const uint32_t n = fitting(k, static_cast<uint32_t>(count));
    if (n > 0 && total + static_cast<uint64_t>(n) < static_cast<uint64_t>(INT_MAX - 1)) {
      entries.push_back(ChainEntry{static_cast<uint16_t>(k), total, n});
      total += n;
    }
    if (n < static_cast<uint32_t>(count)) ++r.UnreadableBlocks;  // cut by the end of the file
  }
  r.Recovered = total;
  ResetChain();
  chain_ = std::move(entries);
  chainRecords_ = total;
  chainNext_ = 0;
  readableRecords_ = total;
}

bool TPdx::ValueDecodes(const TPdxFieldInfo& fi, const uint8_t* p) const {
  constexpr int64_t kLastDay = 3652059;  // 31 December 9999 (and, negated, year -9999)
  uint64_t v = 0;
  switch (fi.Type) {
    case 2: {
      if (!DecodeFixed(p, 4, v)) return true;
      // Tables hold days before year 1 too (writers store them): only days no
      // calendar year of four digits holds are damage.
      const int32_t day = static_cast<int32_t>(static_cast<uint32_t>(v));
      return day >= -kLastDay && day <= kLastDay;
    }
    case 20: {
      if (!DecodeFixed(p, 4, v)) return true;
      const int32_t ms = static_cast<int32_t>(static_cast<uint32_t>(v));
      return ms >= 0 && ms < 86400000;
    }
    case 21: {
      if (!DecodeFixed(p, 8, v)) return true;
      double d;
      std::memcpy(&d, &v, 8);
      return std::isfinite(d) && d >= -static_cast<double>(kLastDay) * 86400000.0 &&
             d < static_cast<double>(kLastDay + 1) * 86400000.0;
    }
    case 23: {
      if ((p[0] & 0xC0) == 0) return true;
      const bool negative = (p[0] & 0x80) == 0;
      int firstNonZero = 32;
      for (int i = 0; i < 32; ++i) {
        uint8_t b = negative ? static_cast<uint8_t>(~p[1 + i / 2]) : p[1 + i / 2];
        const int nib = i % 2 ? b & 0x0F : b >> 4;
        if (nib > 9) {
          // Digits past the 15 a double carries may be what a writer left in memory;
          // an invalid digit before them is damage.
          return firstNonZero < i && i - firstNonZero >= 15;
        }
        if (nib != 0 && firstNonZero == 32) firstNonZero = i;
      }
      return true;
    }
    default: return true;
  }
}

void TPdx::CountUndecoded(uint32_t recNo, const uint8_t* record) {
  if (checkedRecords_.size() <= recNo / 8) checkedRecords_.resize(std::max<size_t>(readableRecords_ / 8 + 1, recNo / 8 + 1), 0);
  uint8_t& bits = checkedRecords_[recNo / 8];
  const uint8_t bit = static_cast<uint8_t>(1u << (recNo % 8));
  if (bits & bit) return;
  bits |= bit;
  for (const TPdxFieldInfo& fi : fieldInfo_) {
    if (!ValueDecodes(fi, record + fi.Offset)) ++undecodedValues_;
  }
}

// ---------------------------------------------------------------------------------------------
// Cursor primitives

int TPdx::GetRecordCount() const {
  if (!cursorOpen_) return 0;
  return static_cast<int>(std::min<uint32_t>(readableRecords_, INT_MAX - 1));
}

size_t TPdx::RecordBufferSize() const { return static_cast<size_t>(header_.RecordLength()) + 5; }

int TPdx::GetRecNoFromBuffer(const uint8_t* buffer) const {
  int32_t n;
  std::memcpy(&n, buffer, 4);
  return n;
}

void TPdx::SetRecNoPrimitive(int recNo) {
  if (recNo >= 1 && recNo <= GetRecordCount()) currentRecNo_ = recNo;
}

TBookmarkFlag TPdx::GetBookmarkFlag(const uint8_t* buffer) const { return static_cast<TBookmarkFlag>(buffer[4]); }

void TPdx::SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) const { buffer[4] = flag; }

void TPdx::InternalFirst() { currentRecNo_ = 0; }

void TPdx::InternalLast() { currentRecNo_ = GetRecordCount() + 1; }

void TPdx::InternalSetToRecord(const uint8_t* buffer) { currentRecNo_ = GetRecNoFromBuffer(buffer); }

TGetResult TPdx::GetRecord(uint8_t* buffer, TGetMode mode, bool check) {
  TGetResult result = grOK;
  const int count = GetRecordCount();
  switch (mode) {
    case gmCurrent:
      if (currentRecNo_ < 1 || currentRecNo_ > count) result = grError;
      break;
    case gmNext:
      if (currentRecNo_ < count) {
        ++currentRecNo_;
      } else {
        result = grEOF;
      }
      break;
    case gmPrior:
      if (currentRecNo_ > 1) {
        --currentRecNo_;
      } else {
        result = grBOF;
      }
      break;
  }
  if (result == grOK) {
    std::memcpy(buffer, &currentRecNo_, 4);
    buffer[4] = bfCurrent;
    ReadRecord(static_cast<uint32_t>(currentRecNo_), buffer + 5);
  } else {
    std::memset(buffer + 5, 0, header_.RecordLength());
    buffer[4] = bfEOF;
    if (result == grError && check) throw EDatabaseError("Error in GetRecord()");
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Field values

bool TPdx::GetFieldData(const TField& field, const uint8_t* activeBuffer, void* dest) const {
  const int index = field.Index();
  if (!activeBuffer || index < 0 || static_cast<size_t>(index) >= fieldInfo_.size()) return false;
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(index)];
  const uint8_t* p = activeBuffer + 5 + fi.Offset;
  if (salvage_ && !ValueDecodes(fi, p)) return false;
  uint64_t v = 0;
  switch (fi.Type) {
    case 1: {  // alpha: text up to the first zero byte
      if (!dest) return true;
      const void* zero = std::memchr(p, 0, fi.Size);
      size_t len = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : fi.Size;
      std::string text = const_cast<TPdx*>(this)->EncodeText(std::string(reinterpret_cast<const char*>(p), len),
                                                             field);
      size_t n = std::min(std::strlen(text.c_str()), kAlphaBufferSize - 1);
      std::memcpy(dest, text.data(), n);
      static_cast<char*>(dest)[n] = 0;
      return true;
    }
    case 3:  // short
      if (!DecodeFixed(p, 2, v)) return false;
      if (dest) {
        int16_t s = static_cast<int16_t>(static_cast<uint16_t>(v));
        std::memcpy(dest, &s, 2);
      }
      return true;
    case 2:   // date: day number
    case 4:   // long
    case 20:  // time: milliseconds
    case 22:  // auto-increment
      if (!DecodeFixed(p, 4, v)) return false;
      if (dest) {
        int32_t s = static_cast<int32_t>(static_cast<uint32_t>(v));
        std::memcpy(dest, &s, 4);
      }
      return true;
    case 5:   // currency
    case 6:   // number
    case 21:  // timestamp: day number * 86400000 + milliseconds
      if (!DecodeFixed(p, 8, v)) return false;
      if (dest) {
        double d;
        std::memcpy(&d, &v, 8);
        std::memcpy(dest, &d, 8);
      }
      return true;
    case 9: {  // logical: 0x80 false, 0x81 true (the sign-bit rule on one byte), 0 null
      if (p[0] == 0) return false;
      if (dest) {
        int16_t b = (p[0] ^ 0x80) != 0 ? -1 : 0;
        std::memcpy(dest, &b, 2);
      }
      return true;
    }
    case 23: {
      TBcdValue bcd;
      if (!DecodeBcd(p, fi.Size, bcd)) return false;
      if (dest) std::memcpy(dest, &bcd, sizeof bcd);
      return true;
    }
    case 24: {  // bytes: as stored; null when all zero
      if (std::all_of(p, p + fi.Size, [](uint8_t b) { return b == 0; })) return false;
      if (dest) std::memcpy(dest, p, fi.Size);
      return true;
    }
    default:
      return false;
  }
}

size_t TPdx::ReadMemo(uint64_t offset, void* dest, size_t n) {
  constexpr size_t kWindow = 64 * 1024;
  if (n > kWindow / 4) return memoFile_->ReadAt(offset, dest, n);
  if (offset < memoWindowStart_ || offset - memoWindowStart_ + n > memoWindowBytes_) {
    memoWindow_.resize(kWindow);
    memoWindowBytes_ = 0;
    memoWindowStart_ = offset / 4096 * 4096;
    memoWindowBytes_ = memoFile_->ReadAt(memoWindowStart_, memoWindow_.data(), kWindow);
    if (offset - memoWindowStart_ >= memoWindowBytes_) return 0;
  }
  const size_t have = std::min(n, memoWindowBytes_ - static_cast<size_t>(offset - memoWindowStart_));
  std::memcpy(dest, memoWindow_.data() + (offset - memoWindowStart_), have);
  return have;
}

void TPdx::DamagedBlob(const TField& field, const uint8_t* activeBuffer, const std::string& why) const {
  throw EBlobError("record " + std::to_string(GetRecNoFromBuffer(activeBuffer)) + ", field '" +
                   EscapeControlBytes(field.FieldName()) + "': damaged BLOB: " + why);
}

bool TPdx::LocateBlob(const TField& field, const uint8_t* activeBuffer, TBlobPlace& place) {
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(field.Index())];
  const uint8_t* slot = activeBuffer + 5 + fi.Offset;
  const uint8_t* leader = slot + fi.Size - 10;
  const uint32_t mbOffset = Le32(leader);
  const uint32_t length = Le32(leader + 4);
  if (length == 0) return false;
  // No BLOB of a table is 2 GB or longer, whatever kind: the length is damaged.
  if (length > static_cast<uint32_t>(INT32_MAX)) {
    DamagedBlob(field, activeBuffer, "its leader gives a length of " + std::to_string(length) + " bytes");
  }
  if (length <= static_cast<uint32_t>(fi.Size - 10)) {
    place = TBlobPlace{true, 0, length};
    return true;
  }
  if (!memoFile_) {
    ++unreadValues_;
    return false;
  }
  const uint32_t index = mbOffset & 0xFF;
  const uint64_t block = mbOffset & ~uint32_t{0xFF};
  const std::string at = "the memo block at offset " + std::to_string(block);
  // The block's own header bounds what it can hold: type 2 is a block of its own with
  // its count of 4 KB blocks, type 3 a shared 4 KB block whose entry gives the data's
  // paragraph and its count of 16-byte paragraphs.
  uint8_t head[3];
  if (block == 0 || block >= memoFileSize_ || ReadMemo(block, head, 3) < 3) {
    DamagedBlob(field, activeBuffer, at + " lies outside the memo file");
  }
  uint64_t start;
  uint64_t capacity;
  if (index == 255) {
    if (head[0] != 2) {
      DamagedBlob(field, activeBuffer, at + " is of type " + std::to_string(head[0]) + ", not a BLOB block");
    }
    const uint64_t blocks = Le16(head + 1);
    start = block + 9;
    capacity = blocks * 4096 > 9 ? blocks * 4096 - 9 : 0;
  } else {
    if (head[0] != 3) {
      DamagedBlob(field, activeBuffer, at + " is of type " + std::to_string(head[0]) + ", not a shared block");
    }
    uint8_t entry[5];
    if (ReadMemo(block + 12 + 5 * index, entry, 5) < 5) {
      DamagedBlob(field, activeBuffer, at + " lies outside the memo file");
    }
    const uint64_t offset = 16 * static_cast<uint64_t>(entry[0]);
    start = block + offset;
    capacity = std::min<uint64_t>(16 * static_cast<uint64_t>(entry[1]), offset < 4096 ? 4096 - offset : 0);
  }
  if (length > capacity) {
    DamagedBlob(field, activeBuffer, "its leader gives a length of " + std::to_string(length) + " bytes, " + at +
                                         " holds at most " + std::to_string(capacity));
  }
  place = TBlobPlace{false, start, length};
  return true;
}

void TPdx::ReadBlobChunks(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink) {
  lastBlobCut_ = false;
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(field.Index())];
  const TFieldType kind = MapFieldType(fi.Type);
  const bool memoText = kind == ftMemo || kind == ftFmtMemo;
  TBlobPlace place;
  if (salvage_ && memoText) {
    // The first bytes of a memo kept in the memo file lie in the record slot too: when
    // the memo file is missing or its data damaged, they are what is left.
    const uint32_t length = Le32(activeBuffer + 5 + fi.Offset + fi.Size - 6);
    const uint32_t inSlot = static_cast<uint32_t>(fi.Size - 10);
    auto cut = [&] {
      lastBlobCut_ = true;
      ++cutMemos_;
      sink(reinterpret_cast<const char*>(activeBuffer + 5 + fi.Offset), inSlot);
    };
    if (length > inSlot && length <= static_cast<uint32_t>(INT32_MAX) && !memoFile_) {
      cut();
      return;
    }
    try {
      if (!LocateBlob(field, activeBuffer, place)) return;
    } catch (const EBlobError&) {
      if (length > inSlot) {
        cut();
        return;
      }
      throw;
    }
    if (!place.InRecord && place.Length > (place.Start < memoFileSize_ ? memoFileSize_ - place.Start : 0)) {
      lastBlobCut_ = true;
      ++cutMemos_;
    }
  } else if (!LocateBlob(field, activeBuffer, place)) {
    return;
  }
  if (place.InRecord) {
    sink(reinterpret_cast<const char*>(activeBuffer + 5 + fi.Offset), static_cast<size_t>(place.Length));
    return;
  }
  const bool memo = kind == ftMemo;
  // Never more than the memo file holds from there on: memo text cut short keeps what
  // is there, other data cut short is a read error.
  const uint64_t available = place.Start < memoFileSize_ ? memoFileSize_ - place.Start : 0;
  uint64_t n = place.Length;
  if (n > available) {
    if (!memo) throw EReadError("Stream read error");
    n = available;
  }
  constexpr size_t kBlobChunk = 256 * 1024;
  std::vector<char> buf(static_cast<size_t>(std::min<uint64_t>(n, kBlobChunk)));
  for (uint64_t done = 0; done < n;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(n - done, kBlobChunk));
    const size_t got = ReadMemo(place.Start + done, buf.data(), want);
    if (got) sink(buf.data(), got);
    done += got;
    if (got < want) {
      if (!memo) throw EReadError("Stream read error");
      break;
    }
  }
}

std::unique_ptr<TMemoryStream> TPdx::InternalCreateBlobStream(const TField& field, const uint8_t* activeBuffer,
                                                              TBlobStreamMode mode) {
  auto stream = std::make_unique<TMemoryStream>();
  if (mode != bmRead || !activeBuffer) return stream;
  const int index = field.Index();
  if (index < 0 || static_cast<size_t>(index) >= fieldInfo_.size()) return stream;
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(index)];
  const TFieldType kind = MapFieldType(fi.Type);
  // In an encrypted table the leaders are encrypted too: the data cannot be located.
  if (!IsBlobType(kind) || encrypted_) return stream;
  std::string data;
  ReadBlobChunks(field, activeBuffer, [&](const char* p, size_t n) { data.append(p, n); });
  if (kind == ftMemo && encodingMemo_ && !data.empty()) data = EncodeText(data, field);
  stream->Data() = std::move(data);
  stream->SetPosition(0);
  return stream;
}

int64_t TPdx::InternalBlobSize(const TField& field, const uint8_t* activeBuffer) {
  if (!activeBuffer) return 0;
  const int index = field.Index();
  if (index < 0 || static_cast<size_t>(index) >= fieldInfo_.size()) return 0;
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(index)];
  if (!IsBlobType(MapFieldType(fi.Type)) || encrypted_) return 0;
  const uint32_t length = Le32(activeBuffer + 5 + fi.Offset + fi.Size - 6);
  // Data kept in the memo file is read from there only; without the file there is none
  // (salvage gives the memo text the record slot keeps).
  if (length > static_cast<uint32_t>(fi.Size - 10) && !memoFile_) {
    const TFieldType kind = MapFieldType(fi.Type);
    return salvage_ && (kind == ftMemo || kind == ftFmtMemo) ? fi.Size - 10 : 0;
  }
  return length;
}

void TPdx::InternalReadBlob(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink) {
  if (!activeBuffer) return;
  const int index = field.Index();
  if (index < 0 || static_cast<size_t>(index) >= fieldInfo_.size()) return;
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(index)];
  const TFieldType kind = MapFieldType(fi.Type);
  if (!IsBlobType(kind) || encrypted_) return;
  if (kind != ftMemo || !encodingMemo_) {
    ReadBlobChunks(field, activeBuffer, sink);
    return;
  }
  ReadBlobRecoded(field, activeBuffer, sink);
}

void TPdx::ReadBlobText(const TField& field, const TBlobSink& sink) {
  if (IsEmpty() || &field.DataSet() != this) return;
  const int index = field.Index();
  if (index < 0 || static_cast<size_t>(index) >= fieldInfo_.size()) return;
  const TFieldType kind = MapFieldType(fieldInfo_[static_cast<size_t>(index)].Type);
  if (!(kind == ftFmtMemo || (kind == ftMemo && encodingMemo_))) {
    InternalReadBlob(field, ActiveBuffer(), sink);
    return;
  }
  if (encrypted_) return;
  ReadBlobRecoded(field, ActiveBuffer(), sink);
}

void TPdx::ReadBlobRecoded(const TField& field, const uint8_t* activeBuffer, const TBlobSink& sink) {
  if (!activeBuffer) return;
  // Memo text is recoded piece by piece. A piece ends after a byte below 0x40, which is
  // neither the lead nor the trail byte of any double-byte code page, so no character
  // is cut in two (a piece without such a byte is cut where it ends).
  std::string pending;
  auto flush = [&](size_t upTo) {
    if (upTo == 0) return;
    std::string text = EncodeText(pending.substr(0, upTo), field);
    pending.erase(0, upTo);
    if (!text.empty()) sink(text.data(), text.size());
  };
  ReadBlobChunks(field, activeBuffer, [&](const char* p, size_t n) {
    pending.append(p, n);
    size_t cut = pending.size();
    while (cut > 0 && static_cast<uint8_t>(pending[cut - 1]) >= 0x40) --cut;
    flush(cut == 0 && pending.size() >= 1024 * 1024 ? pending.size() : cut);
  });
  flush(pending.size());
}

// ---------------------------------------------------------------------------------------------
// Stored bytes

std::string TPdx::RawAlpha(const TField& field) const {
  const uint8_t* buffer = ActiveBuffer();
  const int index = field.Index();
  if (IsEmpty() || &field.DataSet() != this || !buffer || index < 0 ||
      static_cast<size_t>(index) >= fieldInfo_.size())
    return {};
  const TPdxFieldInfo& fi = fieldInfo_[static_cast<size_t>(index)];
  if (fi.Type != 1) return {};
  const uint8_t* p = buffer + 5 + fi.Offset;
  const void* zero = std::memchr(p, 0, fi.Size);
  const size_t len = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : fi.Size;
  return std::string(reinterpret_cast<const char*>(p), len);
}

void TPdx::ReadBlobRaw(const TField& field, const TBlobSink& sink) {
  if (IsEmpty() || &field.DataSet() != this || encrypted_) return;
  const int index = field.Index();
  if (index < 0 || static_cast<size_t>(index) >= fieldInfo_.size()) return;
  if (!IsBlobType(MapFieldType(fieldInfo_[static_cast<size_t>(index)].Type))) return;
  ReadBlobChunks(field, ActiveBuffer(), sink);
}

}  // namespace korvane
