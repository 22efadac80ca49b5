#pragma once
// Desktop services without a window, for the command line: messages and a
// progress bar on standard error, Ctrl-C, SIGTERM and SIGHUP as the Cancel
// button, xdg-open and xdg-email, the clipboard through wl-copy/xclip/xsel when
// one is installed, and the regional settings of the process locale (LANG, LC_*).

#include <memory>
#include <string>

#include "export/ZelEPlatform.h"

namespace korvane {

// Regional settings of a locale ("" = the one the environment names, without
// changing the process's own locale): separators, short date format with "/" and
// ":" standing for the separators, time formats, AM/PM, month and day names,
// currency symbol, its position and decimals. The short date format always has
// a four-digit year (%y is read as %Y); C and POSIX, which have no regional
// format, give ISO 8601 dates and times (yyyy-mm-dd, hh:nn:ss).
TFormatSettings LocaleFormatSettings(const std::string& localeName = "");

// Turns a strftime date or time format ("%d.%m.%Y") into the pattern letters
// of FormatDateTime ("dd/mm/yyyy"), where the given separators become "/" and ":".
std::string StrftimeToPattern(const std::string& fmt, char dateSeparator, char timeSeparator);

// The SIGTERM or SIGHUP that cancelled the last run of a headless progress
// window, or 0 (none, or Ctrl-C).
int TerminationSignal();

class THeadlessServices : public TZelEServices {
 public:
  // quiet: no progress bar and no information messages (errors still show).
  explicit THeadlessServices(bool quiet = false, std::string programName = "korvane-cli");

  void ShowMessage(TZelEMessageKind kind, const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() override;
  void SetBusyCursor(bool) override {}
  bool ShellOpen(const std::string& target) override;
  int SendMail(const TZelEMailMessage& message) override;
  bool SetClipboardText(const std::string& text) override;
  bool ClipboardText(std::string& text) override;
  TFormatSettings RegionalSettings() override;
  std::string ProgramFolder() override;

  bool Quiet() const { return quiet_; }
  // Messages shown so far (the command line decides its exit status by the run).
  int ErrorCount() const { return errors_; }

 private:
  bool quiet_;
  std::string programName_;
  int errors_ = 0;
  bool haveRegional_ = false;
  TFormatSettings regional_;
};

}  // namespace korvane
