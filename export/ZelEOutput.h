#pragma once
// Output streams of the writers. A file is written under a temporary name beside
// its target and renamed over it only when the run completes, so a failed or
// cancelled run leaves an earlier file of that name as it was. A file opened for
// appending is extended in place and cut back to its old length on failure.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace korvane {

class TZelEOutputStream {
 public:
  virtual ~TZelEOutputStream() = default;
  virtual void Write(const void* data, size_t n) = 0;
  void Write(std::string_view s) { Write(s.data(), s.size()); }
  // Byte position from the start of the stream (of the file, for appended files).
  virtual int64_t Position() const = 0;
  // Moves the write position (formats that patch a header after the data).
  virtual void Seek(int64_t position) = 0;
  virtual int64_t Size() const = 0;
  // Hands buffered bytes on (to the operating system, for files).
  virtual void Flush() {}
};

// A stream in memory, for callers that want the export as bytes.
class TZelEStringStream : public TZelEOutputStream {
 public:
  using TZelEOutputStream::Write;
  void Write(const void* data, size_t n) override;
  int64_t Position() const override { return static_cast<int64_t>(pos_); }
  void Seek(int64_t position) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  const std::string& Data() const { return data_; }
  std::string& Data() { return data_; }

 private:
  std::string data_;
  size_t pos_ = 0;
};

// A file of the run, buffered. Nothing reaches the target name before Commit.
// A target that exists and is not a regular file (a device such as /dev/null, a
// pipe) is written directly and in order: it cannot be replaced by renaming, and
// what was written to it cannot be taken back.
class TZelEFileStream : public TZelEOutputStream {
 public:
  // A new file for path: written as a temporary file in the same folder (the
  // missing folders of the path are created). Throws EZelExportError.
  static std::unique_ptr<TZelEFileStream> Create(const std::string& path);
  // The existing file path, extended at its end.
  static std::unique_ptr<TZelEFileStream> OpenForAppend(const std::string& path);
  ~TZelEFileStream() override;  // discards what was not committed
  using TZelEOutputStream::Write;

  void Write(const void* data, size_t n) override;
  int64_t Position() const override;
  void Seek(int64_t position) override;
  int64_t Size() const override;
  void Flush() override;

  const std::string& Path() const { return path_; }
  bool Appending() const { return appending_; }
  // The target is a device or pipe written directly.
  bool Direct() const { return direct_; }
  // Writes out the buffer, syncs the file to disk and puts it in place.
  void Commit();
  // Throws the output away: removes the temporary file, or cuts an appended
  // file back to its old length. Never throws.
  void Discard() noexcept;

 private:
  TZelEFileStream() = default;
  void WriteOut(const char* p, size_t n);
  void FlushBuffer();

  std::string path_;
  std::string tempPath_;
  int fd_ = -1;
  bool appending_ = false;
  bool direct_ = false;
  bool done_ = false;
  int64_t originalSize_ = 0;
  int64_t filePos_ = 0;  // position of the first buffered byte
  int64_t fileSize_ = 0;
  std::string buffer_;
};

}  // namespace korvane
