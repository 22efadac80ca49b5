#pragma once
// Output streams of the writers. A file is written under a temporary name beside
// its target and renamed over it only when the run completes, so a failed or
// cancelled run leaves an earlier file of that name as it was. A file opened for
// appending is extended in place under a lock and cut back to its old length on
// failure.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// A file of the run, buffered. Nothing reaches the target before Commit.
//
// How a file is written depends on what the name stands for:
// - "-", /dev/stdout and /dev/fd/1 are standard output, written directly;
// - a device or pipe is written directly, in order: it cannot be replaced by
//   renaming, and what was written to it cannot be taken back;
// - a symbolic link is followed to the file it names, which is written beside
//   it; the link stays a link;
// - a file this user may not write is refused, never replaced;
// - a file with further hard links, owned by someone else, or in a folder this
//   user may not write, is rewritten in place at Commit (its links, owner and
//   permissions stay), from a copy made during the run;
// - any other file is written under a hidden temporary name beside it
//   (".NAME.XXXXXX", locked while the run lives) and renamed over it at Commit.
//   Temporaries of that name left by a run that died are removed first.
class TZelEFileStream : public TZelEOutputStream {
 public:
  enum class TMode { Replace, InPlace, Direct, Append };

  // A new file for path (the missing folders of the path are created). Throws
  // EZelExportError.
  static std::unique_ptr<TZelEFileStream> Create(const std::string& path);
  // The existing file path, extended at its end under an exclusive lock that is
  // held until Commit or Discard. While another program holds the lock the call
  // waits, asking keepWaiting (when given) ten times a second; false gives up
  // with an error.
  static std::unique_ptr<TZelEFileStream> OpenForAppend(const std::string& path,
                                                        const std::function<bool()>& keepWaiting = {});
  ~TZelEFileStream() override;  // discards what was not committed
  using TZelEOutputStream::Write;

  // Whether a file name means standard output ("-", /dev/stdout, /dev/fd/1).
  static bool IsStandardOutputName(const std::string& path);
  // The file a name leads to: symbolic links followed (also dangling ones).
  static std::string ResolveLinks(const std::string& path);

  void Write(const void* data, size_t n) override;
  int64_t Position() const override;
  void Seek(int64_t position) override;
  int64_t Size() const override;
  void Flush() override;

  // The name as given.
  const std::string& Path() const { return path_; }
  // The file that is written (links followed).
  const std::string& Target() const { return target_; }
  TMode Mode() const { return mode_; }
  bool Appending() const { return mode_ == TMode::Append; }
  // The target is a device, pipe or standard output, written directly.
  bool Direct() const { return mode_ == TMode::Direct; }
  // Writes out the buffer, syncs the file to disk and puts it in place.
  void Commit();
  // Commits several files with one flush of each file system to disk instead of
  // one per file (many small parts of a split export). Stops at the first
  // failure, which it throws; the files not committed stay as they are.
  static void CommitAll(const std::vector<TZelEFileStream*>& files);
  // Throws the output away: removes the temporary file, or cuts an appended
  // file back to its old length. Never throws.
  void Discard() noexcept;
  // Whether opening the file for appending took back rows an earlier append,
  // killed before it could, had left.
  bool RepairedAppend() const { return repairedAppend_; }
  // Appending, before anything was written: takes the file's bytes from position
  // on off its end, so that what is written next takes their place (a closing
  // tag written again after new records). Discard puts them back.
  void CutTail(int64_t position);

 private:
  TZelEFileStream() = default;
  void WriteOut(const char* p, size_t n);
  void FlushBuffer();
  void OpenTemporary(const std::string& folder, const std::string& base);
  void CopyIntoTarget();
  void CommitUnsynced(bool syncFolder);

  std::string path_;
  std::string target_;
  std::string tempPath_;
  int fd_ = -1;
  int targetFd_ = -1;  // in place: the file that receives the copy
  TMode mode_ = TMode::Replace;
  bool done_ = false;
  bool synced_ = false;  // the data is on disk already (CommitAll)
  int64_t originalSize_ = 0;
  int64_t filePos_ = 0;  // position of the first buffered byte
  int64_t fileSize_ = 0;
  std::string buffer_;
  std::string cutTail_;  // bytes CutTail took off an appended file
  bool journal_ = false;         // appending with a journal beside the file
  bool repairedAppend_ = false;  // an earlier append killed outright was taken back
  bool dropJournal_ = false;     // replacing a file that may have a journal
};

// Removes the hidden temporaries of target (".NAME.XXXXXX" beside it) that no
// running export holds: files of this user whose lock can be taken. Answers how
// many were removed.
int RemoveStaleTemporaries(const std::string& target);

// An append to target (open as fd, under its lock) that was killed outright
// left a journal: cuts the file back to the length it had and puts back the
// bytes the journal holds, then removes the journal. True when the file was
// put back.
bool RepairInterruptedAppend(const std::string& target, int fd);

}  // namespace korvane
