#include "report/RvoPageStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "report/RvoPageImage.h"
#include "report/RvoSplay.h"

namespace korvane::report {

static_assert(std::endian::native == std::endian::little, "the report file is little-endian");

namespace {

constexpr size_t kCopyBlock = 10240;

std::string SysText(int err) { return std::strerror(err); }

void PutLE32(std::string& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); }
std::string LE32(uint32_t v) {
  std::string s(4, '\0');
  PutLE32(s, 0, v);
  return s;
}
uint32_t GetLE32(std::string_view s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

void WriteAll(int fd, const char* p, size_t n, const std::string& what) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw ERvoStoreError(what + ": " + SysText(w < 0 ? errno : EIO));
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void PWriteAll(int fd, uint64_t pos, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(pos));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw ERvoStoreError("Cannot write the page store's temporary file: " + SysText(w < 0 ? errno : EIO));
    p += w;
    pos += static_cast<uint64_t>(w);
    n -= static_cast<size_t>(w);
  }
}

// Reads exactly n bytes at pos; false at end of file or on an error.
bool PReadAll(int fd, uint64_t pos, char* p, size_t n) {
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, static_cast<off_t>(pos));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    pos += static_cast<uint64_t>(r);
    n -= static_cast<size_t>(r);
  }
  return true;
}

std::string Header(int pages, double when, bool compressed) {
  std::string h(kReportHeaderSize, '\0');
  uint16_t v[2] = {kReportFormatVersion, kReportLibraryVersion};
  std::memcpy(h.data(), v, 4);
  int32_t n = pages;
  std::memcpy(h.data() + 8, &n, 4);
  std::memcpy(h.data() + 16, &when, 8);
  h[25] = compressed ? 1 : 0;
  return h;
}

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

}  // namespace

double RvoNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  double secs = static_cast<double>(t) + static_cast<double>(local.tm_gmtoff);
  return 25569.0 + secs / 86400.0;  // 25569 = days from 1899-12-30 to 1970-01-01
}

// ---- Stream -----------------------------------------------------------------

TRvoStream::TRvoStream(size_t limit) : limit_(limit) {}

TRvoStream::~TRvoStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::string TRvoStream::TempFolder() {
  const char* t = std::getenv("TMPDIR");
  if (t && *t) return t;
  return "/var/tmp";
}

uint64_t TRvoStream::Size() const {
  std::lock_guard g(lock_);
  return size_;
}

bool TRvoStream::OnFile() const {
  std::lock_guard g(lock_);
  return fd_ >= 0;
}

void TRvoStream::Spill(uint64_t needed) {
  if (fd_ >= 0 || needed <= limit_) return;
  std::string path = TempFolder() + "/korvane-pages-XXXXXX";
  int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0)
    throw ERvoStoreError("Cannot create a temporary file in " + TempFolder() + ": " + SysText(errno));
  TFd guard(fd);
  // The name goes at once: the pages are nobody else's business, and the file
  // disappears with the stream however the program ends.
  ::unlink(path.c_str());
  if (::fchmod(fd, 0600) != 0)
    throw ERvoStoreError("Cannot protect the temporary file: " + SysText(errno));
  PWriteAll(fd, 0, mem_.data(), mem_.size());
  fd_ = guard.release();
  std::string().swap(mem_);
}

void TRvoStream::Write(uint64_t pos, std::string_view bytes) {
  std::lock_guard g(lock_);
  if (pos > size_) throw ERvoStoreError("Page store write beyond its end");
  uint64_t end = pos + bytes.size();
  Spill(end);
  if (fd_ >= 0) {
    PWriteAll(fd_, pos, bytes.data(), bytes.size());
  } else {
    if (end > mem_.size()) mem_.resize(end);
    std::memcpy(mem_.data() + pos, bytes.data(), bytes.size());
  }
  if (end > size_) size_ = end;
}

std::string TRvoStream::Read(uint64_t pos, size_t n) const {
  std::lock_guard g(lock_);
  if (pos > size_ || n > size_ - pos) throw ERvoStoreError("Page store read beyond its end");
  std::string out(n, '\0');
  if (fd_ >= 0) {
    if (!PReadAll(fd_, pos, out.data(), n))
      throw ERvoStoreError("Cannot read the page store's temporary file: " + SysText(errno ? errno : EIO));
  } else {
    std::memcpy(out.data(), mem_.data() + pos, n);
  }
  return out;
}

void TRvoStream::CopyTo(int fd) const {
  std::lock_guard g(lock_);
  char block[kCopyBlock];
  for (uint64_t pos = 0; pos < size_;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kCopyBlock, size_ - pos));
    if (fd_ >= 0) {
      if (!PReadAll(fd_, pos, block, n))
        throw ERvoStoreError("Cannot read the page store's temporary file: " + SysText(errno ? errno : EIO));
    } else {
      std::memcpy(block, mem_.data() + pos, n);
    }
    WriteAll(fd, block, n, "Cannot write the report file");
    pos += n;
  }
}

// ---- Page list --------------------------------------------------------------

void TRvoPageList::Begin(bool compressed, size_t limit) {
  std::lock_guard g(lock_);
  stream_ = std::make_unique<TRvoStream>(limit);
  offsets_.clear();
  compressed_ = compressed;
  stream_->Write(0, Header(0, RvoNow(), compressed_));
}

void TRvoPageList::WriteHeader(int pages) {
  stream_->Write(0, Header(pages, RvoNow(), compressed_));
}

void TRvoPageList::AddPage(std::string_view image) {
  std::lock_guard g(lock_);
  if (!stream_) throw ERvoStoreError("No report document has begun");
  uint64_t start = stream_->Size();
  std::string rec;
  rec.reserve(image.size() / (compressed_ ? 2 : 1) + 16);
  rec += LE32(static_cast<uint32_t>(offsets_.size() + 1));
  rec += LE32(0);  // offset of the next record, set below
  if (compressed_) {
    rec += LE32(static_cast<uint32_t>(image.size()));
    rec += SplayEncode(image);
  } else {
    rec.append(image);
  }
  rec += LE32(static_cast<uint32_t>(start));
  uint64_t next = start + rec.size();
  if (next > UINT32_MAX) throw ERvoStoreError("The report is larger than a report file can hold");
  PutLE32(rec, 4, static_cast<uint32_t>(next));
  stream_->Write(start, rec);
  offsets_.push_back(start);
  // The count in the header stays current, so the stream is a whole report file at
  // every moment.
  std::string n = LE32(static_cast<uint32_t>(offsets_.size()));
  stream_->Write(8, n);
}

void TRvoPageList::Finish() {
  std::lock_guard g(lock_);
  if (stream_) WriteHeader(static_cast<int>(offsets_.size()));
}

int TRvoPageList::PageCount() const {
  std::lock_guard g(lock_);
  return static_cast<int>(offsets_.size());
}

bool TRvoPageList::OnFile() const {
  std::lock_guard g(lock_);
  return stream_ && stream_->OnFile();
}

uint64_t TRvoPageList::StreamSize() const {
  std::lock_guard g(lock_);
  return stream_ ? stream_->Size() : 0;
}

std::string TRvoPageList::StreamBytes(uint64_t pos, size_t n) const {
  std::lock_guard g(lock_);
  if (!stream_) return {};
  return stream_->Read(pos, n);
}

std::optional<std::string> TRvoPageList::Page(int n) const {
  std::lock_guard g(lock_);
  if (!stream_ || n < 1 || static_cast<size_t>(n) > offsets_.size()) return std::nullopt;
  uint64_t start = offsets_[n - 1];
  std::string head = stream_->Read(start, 8);
  uint64_t next = GetLE32(head, 4);
  if (GetLE32(head, 0) != static_cast<uint32_t>(n) || next < start + 12)
    throw ERvoStoreError("The page store is damaged at page " + std::to_string(n));
  std::string body = stream_->Read(start + 8, static_cast<size_t>(next - start - 12));
  if (!compressed_) return body;
  if (body.size() < 4) throw ERvoStoreError("The page store is damaged at page " + std::to_string(n));
  auto plain = SplayDecode(std::string_view(body).substr(4), GetLE32(body, 0), kPageImageMaxBytes);
  if (!plain) throw ERvoStoreError("The page store is damaged at page " + std::to_string(n));
  return plain;
}

void TRvoPageList::SaveToFile(const std::string& path) const {
  std::lock_guard g(lock_);
  if (!stream_) throw ERvoStoreError("There are no pages to save");
  std::string dir = ".";
  std::string base = path;
  if (size_t slash = path.rfind('/'); slash != std::string::npos) {
    dir = slash == 0 ? "/" : path.substr(0, slash);
    base = path.substr(slash + 1);
  }
  std::string tmp = (dir == "/" ? "" : dir) + "/." + base + ".XXXXXX";
  int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) throw ERvoStoreError("Cannot save the report to " + path + ": " + SysText(errno));
  TFd guard(fd);
  try {
    // A new file gets the usual mode; a replaced one keeps its own.
    struct stat st{};
    mode_t mode;
    if (::stat(path.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      mode_t mask = ::umask(022);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    stream_->CopyTo(fd);
    if (::fsync(fd) != 0) throw ERvoStoreError("Cannot write the report file: " + SysText(errno));
    if (::close(guard.release()) != 0) throw ERvoStoreError("Cannot write the report file: " + SysText(errno));
    if (::rename(tmp.c_str(), path.c_str()) != 0)
      throw ERvoStoreError("Cannot save the report to " + path + ": " + SysText(errno));
  } catch (const ERvoStoreError& e) {
    ::unlink(tmp.c_str());
    std::string what = e.what();
    if (what.find(path) == std::string::npos) what = "Cannot save the report to " + path + ": " + what;
    throw ERvoStoreError(what);
  }
}

TRvoLoadResult TRvoPageList::LoadFromFile(const std::string& path, size_t limit) {
  TRvoLoadResult res;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    res.Message = "Cannot open " + path + ": " + SysText(errno);
    return res;
  }
  TFd guard(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    res.Message = path + " is not a report file.";
    return res;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  auto readAt = [&](uint64_t pos, size_t n, std::string& out) {
    out.assign(n, '\0');
    return pos <= size && n <= size - pos && PReadAll(fd, pos, out.data(), n);
  };
  if (size < kReportOldHeaderSize) {
    res.Message = path + " is too short to be a report file.";
    return res;
  }
  // An old 124-byte header is told apart by the EMF signature of its first image,
  // which then starts at offset 132; the test needs a file long enough for it.
  size_t headerSize = kReportHeaderSize;
  std::string probe;
  if (size >= 176 && readAt(173, 3, probe) && probe == "EMF") headerSize = kReportOldHeaderSize;
  std::string header;
  if (!readAt(0, headerSize, header)) {
    res.Message = path + " is too short to be a report file.";
    return res;
  }
  int32_t claimed;
  std::memcpy(&claimed, header.data() + 8, 4);
  if (claimed < 0) claimed = 0;
  double when;
  std::memcpy(&when, header.data() + (headerSize == kReportHeaderSize ? 16 : 12), 8);
  if (!std::isfinite(when)) when = 0;
  bool compressed = header[headerSize == kReportHeaderSize ? 25 : 21] != 0;

  auto fresh = std::make_unique<TRvoStream>(limit);
  std::vector<uint64_t> offsets;
  std::string newHeader = Header(0, when, compressed);
  fresh->Write(0, newHeader);

  const std::string emf =
      path + " holds its pages as Windows metafiles (EMF), which this program cannot show; it was not loaded.";
  std::string damage;  // why the walk stopped early
  uint64_t pos = headerSize;
  int page = 1;
  std::string head, body;
  for (; page <= claimed; ++page) {
    if (pos >= size) {
      damage = "the file ends before it";
      break;
    }
    if (!readAt(pos, 8, head)) {
      damage = "its record runs past the end of the file";
      break;
    }
    uint32_t number = GetLE32(head, 0);
    uint64_t next = GetLE32(head, 4);
    if (number != static_cast<uint32_t>(page)) {
      damage = "its record has the page number " + std::to_string(number);
      break;
    }
    if (next < pos + 12 + (compressed ? 4 : 0) || next > size) {
      damage = "its next-record offset points outside the file or backwards";
      break;
    }
    uint64_t stored = next - pos - 12;
    if (stored > kPageImageMaxBytes) {
      damage = "its image is larger than allowed";
      break;
    }
    std::string trail;
    if (!readAt(next - 4, 4, trail) || GetLE32(trail, 0) != pos) {
      damage = "its closing offset does not point back at its start";
      break;
    }
    if (!readAt(pos + 8, static_cast<size_t>(stored), body)) {
      damage = "its image cannot be read";
      break;
    }
    std::string image;
    if (compressed) {
      uint32_t length = GetLE32(body, 0);
      auto plain = SplayDecode(std::string_view(body).substr(4), length, kPageImageMaxBytes);
      if (!plain) {
        damage = "its compressed image is damaged or claims a length it cannot hold";
        break;
      }
      image = std::move(*plain);
    } else {
      image = std::move(body);
    }
    if (image.size() >= 44 && image.compare(40, 4, " EMF") == 0) {
      res.Message = emf;
      return res;
    }
    std::string why;
    if (!CheckPageImage(image, nullptr, &why)) {
      damage = why;
      break;
    }
    // Copy the page as it came, in a fresh record of our own.
    uint64_t start = fresh->Size();
    std::string rec = LE32(static_cast<uint32_t>(page));
    rec += LE32(static_cast<uint32_t>(start + 8 + stored + 4));
    rec.append(compressed ? std::string_view(body) : std::string_view(image));
    rec += LE32(static_cast<uint32_t>(start));
    fresh->Write(start, rec);
    offsets.push_back(start);
    pos = next;
  }
  int kept = static_cast<int>(offsets.size());
  if (!damage.empty()) {
    if (kept == 0) {
      res.Message = "The report file " + path + " is damaged at page 1 (" + damage + "); it was not loaded.";
      return res;
    }
    res.Message = "The report file " + path + " is damaged at page " + std::to_string(page) + " (" + damage +
                  "); pages 1 to " + std::to_string(kept) + " were loaded.";
  } else if (pos != size) {
    res.Message = "The report file " + path + " has data after its last page (" + std::to_string(kept) +
                  "), which was left out.";
  }
  PutLE32(newHeader, 8, static_cast<uint32_t>(kept));
  fresh->Write(0, newHeader);

  std::lock_guard g(lock_);
  stream_ = std::move(fresh);
  offsets_ = std::move(offsets);
  compressed_ = compressed;
  res.Loaded = true;
  res.PagesKept = kept;
  return res;
}

}  // namespace korvane::report
