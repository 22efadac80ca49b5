#include "export/ZelEOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::unique_ptr<TZelEFileStream> TZelEFileStream::Create(const std::string& path) {
  if (path.empty()) throw EZelExportError("No file name is given.");
  std::unique_ptr<TZelEFileStream> f(new TZelEFileStream());
  f->path_ = path;
  struct stat target;
  if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    if (S_ISDIR(target.st_mode)) FileError(path, EISDIR);
    // A device or pipe: renaming a file over it would replace it.
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) FileError(path, errno);
    f->fd_ = fd;
    f->direct_ = true;
    f->buffer_.reserve(kBufferSize);
    return f;
  }
  MakeFolders(path, path);
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = folder + "." + base + ".XXXXXX";
  std::vector<char> tmpl(name.begin(), name.end());
  tmpl.push_back('\0');
  int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) FileError(path, errno);
  f->fd_ = fd;
  f->tempPath_ = tmpl.data();
  // The finished file gets the mode of the file it replaces, else the usual one.
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  f->buffer_.reserve(kBufferSize);
  return f;
}

std::unique_ptr<TZelEFileStream> TZelEFileStream::OpenForAppend(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) FileError(path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = errno ? errno : EINVAL;
    ::close(fd);
    FileError(path, err);
  }
  std::unique_ptr<TZelEFileStream> f(new TZelEFileStream());
  f->path_ = path;
  f->fd_ = fd;
  f->appending_ = true;
  f->originalSize_ = st.st_size;
  f->fileSize_ = st.st_size;
  f->filePos_ = st.st_size;
  f->buffer_.reserve(kBufferSize);
  return f;
}

TZelEFileStream::~TZelEFileStream() { Discard(); }

void TZelEFileStream::WriteOut(const char* p, size_t n) {
  int64_t pos = filePos_;
  while (n > 0) {
    ssize_t w = direct_ ? ::write(fd_, p, n) : ::pwrite(fd_, p, n, pos);
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
  // The buffer is emptied first so that a failed write is not repeated.
  std::string pending;
  pending.swap(buffer_);
  buffer_.reserve(kBufferSize);
  WriteOut(pending.data(), pending.size());
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
  if (direct_ && position != filePos_)
    throw EZelExportError("The " + path_ + " file cannot be written out of order");
  // An appended file keeps what was there before.
  if (position < originalSize_ && appending_) position = originalSize_;
  filePos_ = position < 0 ? 0 : position;
}

int64_t TZelEFileStream::Size() const {
  int64_t end = filePos_ + static_cast<int64_t>(buffer_.size());
  return end > fileSize_ ? end : fileSize_;
}

void TZelEFileStream::Flush() {
  if (fd_ >= 0) FlushBuffer();
}

void TZelEFileStream::Commit() {
  if (done_) return;
  FlushBuffer();
  if (direct_) {
    ::close(fd_);
    fd_ = -1;
    done_ = true;
    return;
  }
  if (::fsync(fd_) != 0) throw EZelExportError("Could not write the " + path_ + " file (" + std::strerror(errno) + ")");
  if (::close(fd_) != 0) {
    fd_ = -1;
    throw EZelExportError("Could not write the " + path_ + " file (" + std::strerror(errno) + ")");
  }
  fd_ = -1;
  if (!appending_) {
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
      int err = errno;
      ::unlink(tempPath_.c_str());
      done_ = true;
      FileError(path_, err);
    }
    SyncFolder(path_);
  }
  done_ = true;
}

void TZelEFileStream::Discard() noexcept {
  if (done_) return;
  done_ = true;
  buffer_.clear();
  if (direct_) {
    if (fd_ >= 0) ::close(fd_);
  } else if (appending_) {
    if (fd_ >= 0) {
      if (::ftruncate(fd_, originalSize_) == 0) ::fsync(fd_);
      ::close(fd_);
    }
  } else {
    if (fd_ >= 0) ::close(fd_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  }
  fd_ = -1;
}

}  // namespace korvane
