// The page store: the pages of a report as one byte stream, a 128-byte header and a
// record per page, exactly the bytes of a saved report file (docs/REPORT-FILE.md).
// The stream lives in memory until it passes its limit, then moves to an unnamed
// temporary file (mkstemp in $TMPDIR, else /var/tmp; mode 0600, unlinked at once).
//
// A report file from disk is untrusted: loading walks it once, checks every record
// and every page image, and keeps the pages before the first damage.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::report {

inline constexpr size_t kRvoStreamLimit = 100000;
inline constexpr size_t kReportHeaderSize = 128;
inline constexpr size_t kReportOldHeaderSize = 124;
inline constexpr uint16_t kReportFormatVersion = 3;
inline constexpr uint16_t kReportLibraryVersion = 309;

// Failures of the stream and of saving (file errors carry the system's text).
class ERvoStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A byte stream in memory that moves to a temporary file past its limit.
class TRvoStream {
 public:
  explicit TRvoStream(size_t limit = kRvoStreamLimit);
  ~TRvoStream();
  TRvoStream(const TRvoStream&) = delete;
  TRvoStream& operator=(const TRvoStream&) = delete;

  uint64_t Size() const;
  bool OnFile() const;
  // Writes at `pos` (at most the current size); throws ERvoStoreError.
  void Write(uint64_t pos, std::string_view bytes);
  // Reads exactly n bytes at pos; throws ERvoStoreError when they are not there.
  std::string Read(uint64_t pos, size_t n) const;
  // Copies the whole stream to an open file descriptor in blocks of 10240 bytes.
  void CopyTo(int fd) const;

  // Folder of temporary files: $TMPDIR when set, else /var/tmp.
  static std::string TempFolder();

 private:
  void Spill(uint64_t needed);
  mutable std::mutex lock_;
  size_t limit_;
  std::string mem_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

struct TRvoLoadResult {
  bool Loaded = false;     // the store now holds the file's pages (maybe fewer than it claims)
  int PagesKept = 0;
  std::string Message;     // empty when the whole file is sound
};

// The page list: the header, the page records and an index of their offsets.
class TRvoPageList {
 public:
  TRvoPageList() = default;

  // A new, empty document in memory (the previous stream and its file go).
  void Begin(bool compressed, size_t limit = kRvoStreamLimit);
  // Appends a page image (compressed when the document is).
  void AddPage(std::string_view image);
  // Writes the header again with the final page count and the time of writing.
  void Finish();

  int PageCount() const;
  bool Compressed() const { return compressed_; }
  bool OnFile() const;
  // The image of page n (1-based); none when n is out of range.
  std::optional<std::string> Page(int n) const;
  // Raw stream bytes (tests, the saved file).
  uint64_t StreamSize() const;
  std::string StreamBytes(uint64_t pos, size_t n) const;

  // Writes the report file: a temporary file beside it, then renamed over it, so
  // that saving onto the file the pages were loaded from keeps it whole. Throws
  // ERvoStoreError naming the file and the system's reason.
  void SaveToFile(const std::string& path) const;

  // Replaces the pages with those of a report file. A file with EMF page images, or
  // one damaged before its first page, is refused and the store keeps its pages.
  TRvoLoadResult LoadFromFile(const std::string& path, size_t limit = kRvoStreamLimit);

 private:
  void WriteHeader(int pages);
  mutable std::mutex lock_;
  std::unique_ptr<TRvoStream> stream_;
  std::vector<uint64_t> offsets_;  // start of each page record
  bool compressed_ = false;
};

// Days since 30 December 1899 of the local time now, the fraction the time of day.
double RvoNow();

}  // namespace korvane::report
