#include "export/ZelEOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "export/ZelETypes.h"

namespace korvane {

namespace {

constexpr size_t kBufferSize = 1 << 20;

[[noreturn]] void FileError(const std::string& path, int err) {
  throw EZelExportError(ZelEFormat("Could not create the %s file.", {path}) + " (" + std::strerror(err) + ")");
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates the missing folders of a path (like mkdir -p of its folder).
void MakeFolders(const std::string& path, const std::string& target) {
  std::string folder = FolderOf(path);
  if (folder == "." || folder == "/") return;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return;
  MakeFolders(folder, target);
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) FileError(target, errno);
}

void SyncFolder(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

void TZelEStringStream::Write(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  if (pos_ == data_.size()) {
    data_.append(p, n);
  } else {
    if (pos_ + n > data_.size()) data_.resize(pos_ + n);
    std::memcpy(&data_[pos_], p, n);
  }
  pos_ += n;
}

void TZelEStringStream::Seek(int64_t position) {
  if (position < 0) position = 0;
  pos_ = static_cast<size_t>(position);
  if (pos_ > data_.size()) data_.resize(pos_);
}

bool TZelEFileStream::IsStandardOutputName(const std::string& path) {
  return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

std::string TZelEFileStream::ResolveLinks(const std::string& path) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
    if (n < 0) FileError(path, errno);
    if (static_cast<size_t>(n) >= buf.size()) FileError(path, ENAMETOOLONG);
    std::string link(buf.data(), static_cast<size_t>(n));
    if (link.empty()) FileError(path, ENOENT);
    if (link[0] != '/') {
      size_t slash = p.find_last_of('/');
      if (slash != std::string::npos) link = p.substr(0, slash + 1) + link;
    }
    p = link;
  }
  FileError(path, ELOOP);
}

namespace {

// Whether a name is a temporary of base: "." base "." and six letters or digits.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
  const std::string prefix = "." + base + ".";
  if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPrefix(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

namespace {

// The names in a folder that look like temporaries, from one reading of the
// folder that serves the files created there in the next few seconds (the
// parts of a split export would read a folder of thousands of names each).
class TTemporaryNames {
 public:
  std::vector<std::string> Of(const std::string& folder, const std::string& base) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    if (folder != folder_ || now - readAt_ > std::chrono::seconds(5)) {
      names_.clear();
      folder_ = folder;
      readAt_ = now;
      if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
          std::string n = e->d_name;
          if (n.size() > 8 && n[0] == '.' && n[n.size() - 7] == '.') names_.push_back(n);
        }
        ::closedir(dir);
      }
    }
    std::vector<std::string> out;
    for (const std::string& n : names_)
      if (IsTemporaryOf(n, base)) out.push_back(n);
    return out;
  }
  void Forget(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    names_.erase(std::remove(names_.begin(), names_.end(), name), names_.end());
  }

 private:
  std::mutex mutex_;
  std::string folder_;
  std::chrono::steady_clock::time_point readAt_;
  std::vector<std::string> names_;
};

TTemporaryNames& TemporaryNames() {
  static TTemporaryNames names;
  return names;
}

}  // namespace

namespace {

// An appending run keeps a journal beside its file (".NAME.korvane-append"):
// the file's identity, the length it had and the bytes a document end taken off
// it held. The journal is on disk before the first byte is appended and removed
// once the file is whole again, appended or cut back. A run killed outright
// leaves it behind; the next export to that file puts the file back as the
// journal says before it does anything else.
constexpr char kJournalMagic[] = "KORVANE-APPEND 1";
constexpr size_t kJournalTailLimit = 64 * 1024 * 1024;

std::string JournalPathOf(const std::string& target) {
  return FolderPrefix(target) + "." + BaseOf(target) + ".korvane-append";
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Writes the journal of an append to fd's file; false when it could not be
// written (a folder this user cannot write: the append goes on without one).
bool WriteJournal(const std::string& target, int fd, int64_t length, const std::string& tail) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  const std::string path = JournalPathOf(target);
  const std::string tempPath = path + ".new";
  int jfd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (jfd < 0) return false;
  std::string head = std::string(kJournalMagic) + " " + std::to_string(st.st_dev) + " " +
                     std::to_string(st.st_ino) + " " + std::to_string(length) + " " +
                     std::to_string(tail.size()) + "\n";
  const bool ok = WriteAll(jfd, head.data(), head.size()) && WriteAll(jfd, tail.data(), tail.size()) &&
                  ::fsync(jfd) == 0;
  ::close(jfd);
  if (!ok || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    ::unlink(tempPath.c_str());
    return false;
  }
  SyncFolder(path);
  return true;
}

void RemoveJournal(const std::string& target) { ::unlink(JournalPathOf(target).c_str()); }

}  // namespace

bool RepairInterruptedAppend(const std::string& target, int fd) {
  const std::string path = JournalPathOf(target);
  struct stat js;
  if (::lstat(path.c_str(), &js) != 0) return false;
  if (!S_ISREG(js.st_mode) || js.st_uid != ::geteuid()) return false;
  int jfd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (jfd < 0) return false;
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t r = ::read(jfd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    data.append(buf, static_cast<size_t>(r));
    if (data.size() > kJournalTailLimit + 256) break;
  }
  ::close(jfd);
  // A journal that does not read as one, or belongs to another file, is dropped.
  bool repaired = false;
  unsigned long long dev = 0, ino = 0;
  long long length = -1;
  unsigned long long tailSize = 0;
  const size_t eol = data.find('\n');
  struct stat st;
  if (eol != std::string::npos && data.compare(0, sizeof kJournalMagic - 1, kJournalMagic) == 0 &&
      std::sscanf(data.c_str() + sizeof kJournalMagic - 1, " %llu %llu %lld %llu", &dev, &ino, &length,
                  &tailSize) == 4 &&
      tailSize == data.size() - eol - 1 && ::fstat(fd, &st) == 0 && st.st_dev == dev && st.st_ino == ino &&
      length >= 0 && st.st_size >= length) {
    if (::ftruncate(fd, length) == 0 && WriteAll(fd, data.data() + eol + 1, tailSize) && ::fsync(fd) == 0)
      repaired = true;
    else
      return false;  // kept for another try
  }
  ::unlink(path.c_str());
  return repaired;
}

int RemoveStaleTemporaries(const std::string& target) {
  const std::string base = BaseOf(target);
  const std::string prefix = FolderPrefix(target);
  if (base.empty()) return 0;
  int removed = 0;
  for (const std::string& name : TemporaryNames().Of(prefix, base)) {
    std::string path = prefix + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    // A running export holds the lock of its temporary until it ends.
    struct stat held;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &st) == 0 &&
        held.st_dev == st.st_dev && held.st_ino == st.st_ino && ::unlink(path.c_str()) == 0) {
      ++removed;
      TemporaryNames().Forget(name);
    }
    ::close(fd);
  }
  return removed;
}

void TZelEFileStream::OpenTemporary(const std::string& folder, const std::string& base) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = folder + "." + base + ".XXXXXX";
    std::vector<char> tmpl(name.begin(), name.end());
    tmpl.push_back('\0');
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) FileError(path_, errno);
    // Locked for the life of the run, so that another run does not take it for
    // the leftover of one that died. A run cleaning up may have taken the
    // brand-new file for a leftover before the lock: then it is gone, try again.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat mine, named;
    if (::fstat(fd, &mine) == 0 && ::lstat(tmpl.data(), &named) == 0 && mine.st_dev == named.st_dev &&
        mine.st_ino == named.st_ino) {
      fd_ = fd;
      tempPath_ = tmpl.data();
      return;
    }
    ::close(fd);
  }
  FileError(path_, EEXIST);
}

std::unique_ptr<TZelEFileStream> TZelEFileStream::Create(const std::string& path) {
  if (path.empty()) throw EZelExportError("No file name is given.");
  std::unique_ptr<TZelEFileStream> f(new TZelEFileStream());
  f->path_ = path;
  f->buffer_.reserve(kBufferSize);
  if (IsStandardOutputName(path)) {
    int fd = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) throw EZelExportError("Could not write to standard output (" + std::string(std::strerror(errno)) + ")");
    f->target_ = path;
    f->fd_ = fd;
    f->mode_ = TMode::Direct;
    return f;
  }
  const std::string target = ResolveLinks(path);
  f->target_ = target;
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) FileError(path, EISDIR);
    // A device or pipe: renaming a file over it would replace it.
    int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) FileError(path, errno);
    f->fd_ = fd;
    f->mode_ = TMode::Direct;
    return f;
  }
  const std::string base = BaseOf(target);
  const std::string folder = FolderPrefix(target);
  if (exists) {
    // What the user could not write into is not replaced either.
    if (::access(target.c_str(), W_OK) != 0) {
      int err = errno;
      throw EZelExportError("The " + path + " file cannot be written by this user (" + std::strerror(err) +
                            "); it is left as it is.");
    }
    const bool folderWritable = ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
    if (!folderWritable || st.st_nlink > 1 || st.st_uid != ::geteuid()) {
      // Rewritten in place at Commit; it is opened now so that a file that cannot
      // be opened fails the run before it starts.
      int tfd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
      if (tfd < 0) FileError(path, errno);
      f->targetFd_ = tfd;
      f->mode_ = TMode::InPlace;
      if (folderWritable) {
        RemoveStaleTemporaries(target);
        f->OpenTemporary(folder, base);
      } else {
        // The copy lives where temporary files go, without a name.
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpDir = tmp && *tmp ? tmp : "/tmp";
        int fd = ::open(tmpDir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
          std::string name = tmpDir + "/.korvane-export.XXXXXX";
          std::vector<char> tmpl(name.begin(), name.end());
          tmpl.push_back('\0');
          fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
          if (fd < 0) FileError(path, errno);
          ::unlink(tmpl.data());
        }
        f->fd_ = fd;
      }
      return f;
    }
  }
  MakeFolders(target, path);
  RemoveStaleTemporaries(target);
  f->OpenTemporary(folder, base);
  f->dropJournal_ = exists;
  // The finished file gets the mode of the file it replaces, else the usual one.
  mode_t mode;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(f->fd_, mode);
  return f;
}

std::unique_ptr<TZelEFileStream> TZelEFileStream::OpenForAppend(const std::string& path,
                                                                const std::function<bool()>& keepWaiting) {
  const std::string target = ResolveLinks(path);
  int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) FileError(path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = errno ? errno : EINVAL;
    ::close(fd);
    FileError(path, err);
  }
  // One appending run at a time: another one waits here until the first ends,
  // asking keepWaiting ten times a second.
  while (::flock(fd, keepWaiting ? LOCK_EX | LOCK_NB : LOCK_EX) != 0) {
    int err = errno;
    if (err == EINTR || err == EWOULDBLOCK) {
      if (!keepWaiting) continue;
      if (keepWaiting()) {
        ::usleep(100 * 1000);
        continue;
      }
      ::close(fd);
      throw EZelExportError("Gave up waiting for another program that is appending to the " + path + " file");
    }
    ::close(fd);
    FileError(path, err);
  }
  // An earlier append that was killed is taken back first; the length counts
  // only once the lock is held.
  const bool repaired = RepairInterruptedAppend(target, fd);
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    FileError(path, err);
  }
  std::unique_ptr<TZelEFileStream> f(new TZelEFileStream());
  f->repairedAppend_ = repaired;
  f->journal_ = WriteJournal(target, fd, st.st_size, std::string());
  f->path_ = path;
  f->target_ = target;
  f->fd_ = fd;
  f->mode_ = TMode::Append;
  f->originalSize_ = st.st_size;
  f->fileSize_ = st.st_size;
  f->filePos_ = st.st_size;
  f->buffer_.reserve(kBufferSize);
  return f;
}

TZelEFileStream::~TZelEFileStream() { Discard(); }

void TZelEFileStream::CutTail(int64_t position) {
  if (mode_ != TMode::Append || fd_ < 0 || done_)
    throw EZelExportError("The " + path_ + " file is not being appended to");
  if (position < 0 || position > originalSize_ || Position() != originalSize_)
    throw EZelExportError("The " + path_ + " file cannot be written out of order");
  if (position == originalSize_) return;
  std::string tail(static_cast<size_t>(originalSize_ - position), '\0');
  int rfd = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
  if (rfd < 0) FileError(path_, errno);
  size_t got = 0;
  while (got < tail.size()) {
    ssize_t r = ::pread(rfd, tail.data() + got, tail.size() - got, position + static_cast<int64_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      int err = r < 0 ? errno : EIO;
      ::close(rfd);
      FileError(path_, err);
    }
    got += static_cast<size_t>(r);
  }
  ::close(rfd);
  // The journal learns of the bytes before they leave the file.
  if (journal_ && !WriteJournal(target_, fd_, position, tail))
    throw EZelExportError("Could not write the journal of the " + path_ + " file");
  if (::ftruncate(fd_, position) != 0) FileError(path_, errno);
  cutTail_ = std::move(tail);
  originalSize_ = position;
  filePos_ = fileSize_ = position;
}

void TZelEFileStream::WriteOut(const char* p, size_t n) {
  int64_t pos = filePos_;
  const bool sequential = mode_ == TMode::Direct || mode_ == TMode::Append;
  while (n > 0) {
    ssize_t w = sequential ? ::write(fd_, p, n) : ::pwrite(fd_, p, n, pos);
    if (w < 0) {
      if (errno == EINTR) continue;
      throw EZelExportError("Could not write the " + path_ + " file (" + std::strerror(errno) + ")");
    }
    p += w;
    n -= static_cast<size_t>(w);
    pos += w;
  }
  filePos_ = pos;
  if (pos > fileSize_) fileSize_ = pos;
}

void TZelEFileStream::FlushBuffer() {
  if (buffer_.empty()) return;
  // The buffer is emptied whatever happens, so that a failed write is not
  // repeated; it keeps its memory for the next bytes.
  struct TEmptied {
    std::string& buffer;
    ~TEmptied() { buffer.clear(); }
  } emptied{buffer_};
  WriteOut(buffer_.data(), buffer_.size());
}

void TZelEFileStream::Write(const void* data, size_t n) {
  if (fd_ < 0) throw EZelExportError("The " + path_ + " file is closed");
  if (buffer_.size() + n > kBufferSize) {
    FlushBuffer();
    if (n >= kBufferSize) {
      WriteOut(static_cast<const char*>(data), n);
      return;
    }
  }
  buffer_.append(static_cast<const char*>(data), n);
}

int64_t TZelEFileStream::Position() const { return filePos_ + static_cast<int64_t>(buffer_.size()); }

void TZelEFileStream::Seek(int64_t position) {
  FlushBuffer();
  if ((mode_ == TMode::Direct || mode_ == TMode::Append) && position != filePos_)
    throw EZelExportError("The " + path_ + " file cannot be written out of order");
  filePos_ = position < 0 ? 0 : position;
}

int64_t TZelEFileStream::Size() const {
  int64_t end = filePos_ + static_cast<int64_t>(buffer_.size());
  return end > fileSize_ ? end : fileSize_;
}

void TZelEFileStream::Flush() {
  if (fd_ >= 0) FlushBuffer();
}

void TZelEFileStream::CopyIntoTarget() {
  auto fail = [&](int err) {
    throw EZelExportError("Could not write the " + path_ + " file (" + std::strerror(err) +
                          "); it may be incomplete");
  };
  // Readers that take the lock see the old or the new content.
  while (::flock(targetFd_, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::vector<char> buf(kBufferSize);
  int64_t pos = 0;
  while (pos < fileSize_) {
    ssize_t r = ::pread(fd_, buf.data(), buf.size(), pos);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) fail(r < 0 ? errno : EIO);
    for (ssize_t done = 0; done < r;) {
      ssize_t w = ::pwrite(targetFd_, buf.data() + done, static_cast<size_t>(r - done), pos + done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) fail(w < 0 ? errno : EIO);
      done += w;
    }
    pos += r;
  }
  if (::ftruncate(targetFd_, fileSize_) != 0 || ::fsync(targetFd_) != 0) fail(errno);
}

void TZelEFileStream::Commit() { CommitUnsynced(true); }

void TZelEFileStream::CommitAll(const std::vector<TZelEFileStream*>& files) {
  std::vector<TZelEFileStream*> open;
  for (TZelEFileStream* f : files) {
    if (f->done_) continue;
    f->FlushBuffer();
    if (f->mode_ == TMode::Replace || f->mode_ == TMode::Append) open.push_back(f);
  }
  if (open.size() > 1) {
    // One flush per file system, instead of one per file.
    std::vector<dev_t> flushed;
    for (TZelEFileStream* f : open) {
      struct stat st;
      if (::fstat(f->fd_, &st) != 0) continue;
      bool seen = false;
      for (dev_t d : flushed) seen = seen || d == st.st_dev;
      if (!seen) {
        if (::syncfs(f->fd_) != 0)
          throw EZelExportError("Could not write the " + f->path_ + " file (" + std::strerror(errno) + ")");
        flushed.push_back(st.st_dev);
      }
    }
    for (TZelEFileStream* f : open) f->synced_ = true;
  }
  std::vector<std::string> folders;
  for (TZelEFileStream* f : files) {
    if (f->done_) continue;
    const bool renamed = f->mode_ == TMode::Replace;
    f->CommitUnsynced(false);
    if (!renamed) continue;
    std::string folder = FolderOf(f->target_);
    bool seen = false;
    for (const std::string& d : folders) seen = seen || d == folder;
    if (!seen) folders.push_back(folder);
  }
  for (const std::string& folder : folders) SyncFolder(folder + "/x");
}

void TZelEFileStream::CommitUnsynced(bool syncFolder) {
  if (done_) return;
  FlushBuffer();
  auto writeError = [&](int err) {
    return EZelExportError("Could not write the " + path_ + " file (" + std::strerror(err) + ")");
  };
  switch (mode_) {
    case TMode::Direct:
      ::close(fd_);
      fd_ = -1;
      done_ = true;
      return;
    case TMode::Append:
      if (!synced_ && ::fsync(fd_) != 0) throw writeError(errno);
      if (journal_) RemoveJournal(target_);
      ::close(fd_);  // also releases the lock
      fd_ = -1;
      done_ = true;
      return;
    case TMode::InPlace:
      CopyIntoTarget();
      ::close(targetFd_);
      targetFd_ = -1;
      if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
      ::close(fd_);
      fd_ = -1;
      done_ = true;
      return;
    case TMode::Replace:
      break;
  }
  if (!synced_ && ::fsync(fd_) != 0) throw writeError(errno);
  // The temporary stays locked until it has its final name.
  if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    int err = errno;
    ::unlink(tempPath_.c_str());
    ::close(fd_);
    fd_ = -1;
    done_ = true;
    FileError(path_, err);
  }
  ::close(fd_);
  fd_ = -1;
  // A journal of an earlier append speaks of a file that is gone now.
  if (dropJournal_) RemoveJournal(target_);
  if (syncFolder) SyncFolder(target_);
  done_ = true;
}

void TZelEFileStream::Discard() noexcept {
  if (done_) return;
  done_ = true;
  buffer_.clear();
  if (mode_ == TMode::Append && fd_ >= 0) {
    if (::ftruncate(fd_, originalSize_) == 0) {
      // The descriptor appends: the bytes taken off go back to the end.
      for (size_t done = 0; done < cutTail_.size();) {
        ssize_t w = ::write(fd_, cutTail_.data() + done, cutTail_.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += static_cast<size_t>(w);
      }
      // Only a file that is whole again loses its journal.
      if (::fsync(fd_) == 0 && journal_) RemoveJournal(target_);
    }
  }
  // The temporary is removed while its lock is still held.
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  if (fd_ >= 0) ::close(fd_);
  if (targetFd_ >= 0) ::close(targetFd_);
  fd_ = -1;
  targetFd_ = -1;
}

}  // namespace korvane
