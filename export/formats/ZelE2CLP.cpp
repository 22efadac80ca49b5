#include "export/formats/ZelE2CLP.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace korvane {

namespace {

const char kNoClipboard[] =
    "The clipboard cannot be reached: there is no display, or none of wl-copy, xclip and xsel is installed.";

}  // namespace

TZelExportToClipboard::TZelExportToClipboard() {
  Separator = '\t';
  SetTableType(teClipboard);
}

void TZelExportToClipboard::BeginExecute() {
  buffer_.clear();
  clipboard_.clear();
  began_ = ended_ = false;
  // The clipboard holds Unicode text: no conversion to a character set.
  savedCharacterSet_ = CharacterSet;
  CharacterSet = csANSI_WINDOWS;
  TZelExportToText::BeginExecute();
}

void TZelExportToClipboard::EndExecute() {
  TZelExportToText::EndExecute();
  CharacterSet = savedCharacterSet_;
}

void TZelExportToClipboard::CreateFileStream(const std::string&) {
  // No file: the output is the text in memory (and a caller's stream, if any).
}

void TZelExportToClipboard::CreateFile(const std::string& fileName, int fileNumber) {
  // Split output goes on in the same text.
  if (fileNumber > 0) return;
  TZelExportToText::CreateFile(fileName, fileNumber);
}

void TZelExportToClipboard::WriteFileBegin() {
  TZelExportToText::WriteFileBegin();
  buffer_.clear();
  began_ = true;
  ended_ = false;
}

void TZelExportToClipboard::WriteString(std::string_view text) {
  TZelExportToText::WriteString(text);
  buffer_.append(text);
}

void TZelExportToClipboard::WriteFooter() {
  // The footer lines as the header lines; no end-of-file byte.
  TZelExportToCellFile::WriteFooter();
}

void TZelExportToClipboard::CloseFile() {
  if (began_ && !ended_ && !Stream()) {
    // Without an output stream the base writes no table end and no footer.
    ended_ = true;
    EndTable();
    WriteFooter();
    return;
  }
  ended_ = true;
  TZelExportToText::CloseFile();
}

void TZelExportToClipboard::FinishOutput(bool keep) {
  TZelExportToText::FinishOutput(keep);
  // Only a completed run replaces the clipboard.
  if (!keep || !began_) return;
  // The text is held once: the run's text becomes the clipboard's (after the
  // clipboard's own text when merging); a million records make some 200 MB.
  clipboard_.clear();
  if (Options.Has(soMergeData)) {
    if (!Services().ClipboardText(clipboard_)) throw EZelExportError(kNoClipboard);
    clipboard_ += buffer_;
  } else {
    clipboard_ = std::move(buffer_);
  }
  buffer_.clear();
  buffer_.shrink_to_fit();
  if (!Services().SetClipboardText(clipboard_)) throw EZelExportError(kNoClipboard);
}

std::string TZelExportToClipboard::WriteTemporaryText(const std::string& text) const {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-clipboard-XXXXXX.txt";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  int fd = ::mkstemps(path.data(), 4);
  if (fd < 0) throw EZelExportError("Cannot create a temporary file for the clipboard text: " + std::string(std::strerror(errno)));
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = errno;
      ::close(fd);
      ::unlink(path.data());
      throw EZelExportError("Cannot write the clipboard text to a temporary file: " + std::string(std::strerror(err)));
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  ::close(fd);
  return path.data();
}

void TZelExportToClipboard::DoActionAfterExport() {
  switch (ActionAfterExport) {
    case aeOpenView: {
      // The text in a file of its own, opened by the program for text files.
      const std::string path = WriteTemporaryText(clipboard_);
      if (!Services().ShellOpen(path) && Options.Has(soShowMessage))
        Services().ShowMessage(TZelEMessageKind::Error, "Could not open " + path);
      break;
    }
    case aeEMail:
      if (clipboard_.size() <= kZelEClipboardMailBodyLimit) SendMail({}, clipboard_);
      else SendMail(WriteTemporaryText(clipboard_), {});
      break;
    case aeNone:
    default:
      break;
  }
}

}  // namespace korvane
