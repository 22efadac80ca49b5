#pragma once
// What an export run needs from the desktop: messages and questions, a progress
// window, the busy cursor, opening a file, mail, the clipboard and the regional
// settings. A component is given one TZelEServices; nothing here is reached
// globally. The command line implements it on standard error
// (platform/services.h), the viewer with Qt windows.

#include <memory>
#include <string>
#include <vector>

#include "engine/sysutils.h"

namespace korvane {

enum class TZelEMessageKind { Information, Warning, Error };

// The progress window of a run. The component decides when it changes (only in
// steps of more than 1 % of the maximum, see TZelEProgress); the window only
// draws what it is told and reports a press of its Cancel button.
class TZelEProgressWindow {
 public:
  virtual ~TZelEProgressWindow() = default;
  // Opens the window. The bar is shown only when minimum or maximum is not 0.
  // Throwing reports that the window cannot be created; the run goes on without it.
  virtual void Show(const std::string& caption, const std::string& status, int position, int minimum,
                    int maximum, const std::string& cancelCaption) = 0;
  // New status line and bar position; the window repaints and lets pending
  // user events run (this is when a Cancel click is seen).
  virtual void Update(const std::string& status, int position) = 0;
  // Closes the window.
  virtual void Hide() = 0;
  // The Cancel button (or closing the window) sets this flag.
  virtual bool CancelRequested() const = 0;
  virtual void SetCancelRequested(bool cancel) = 0;
};

// One mail message with at most one attachment.
struct TZelEMailRecipient {
  enum Kind { To, Cc, Bcc };
  Kind Class = To;
  std::string Address;
};
struct TZelEMailMessage {
  std::string Subject;
  std::string Body;
  std::vector<TZelEMailRecipient> Recipients;
  std::string Attachment;  // path, or empty
  bool ShowDialog = false;  // let the user edit the message before sending
};

class TZelEServices {
 public:
  virtual ~TZelEServices() = default;

  virtual void ShowMessage(TZelEMessageKind kind, const std::string& text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // A new progress window, or nullptr when there is none to show.
  virtual std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() = 0;
  // Hourglass cursor on (true) or back to the default (false).
  virtual void SetBusyCursor(bool busy) = 0;
  // Opens a file or web address with its associated program; false on failure.
  virtual bool ShellOpen(const std::string& target) = 0;
  // Sends one message; 0 on success, else an error code.
  virtual int SendMail(const TZelEMailMessage& message) = 0;
  // The clipboard's plain text: replaced, and read. Both answer false when
  // there is no clipboard to reach (no display, no helper program); an empty
  // clipboard reads as the empty text.
  virtual bool SetClipboardText(const std::string& text) = 0;
  virtual bool ClipboardText(std::string& text) = 0;
  // The user's regional settings: separators, short date format (with "/" and ":"
  // standing for the separators), time formats, currency symbol and format.
  virtual TFormatSettings RegionalSettings() = 0;
  // The character set of "MS-DOS" text: an iconv name.
  virtual std::string OemCodePage() { return "CP437"; }
  // Title written into export settings files ("App=").
  virtual std::string ApplicationTitle() { return "Korvane"; }
  // Folder of the running program (default folder of files and specifications).
  virtual std::string ProgramFolder() { return {}; }

  // The save dialog of export settings: name and file, edited in place. False
  // when the user cancelled (nothing is saved then). Without a window: false.
  virtual bool AskSaveSpecification(std::string& specName, std::string& fileName) {
    (void)specName;
    (void)fileName;
    return false;
  }
  // The open dialog for an export settings file; false when cancelled.
  virtual bool AskOpenSpecification(std::string& fileName) {
    (void)fileName;
    return false;
  }
};

// Services that show nothing and do nothing: no messages, no progress window,
// default regional settings. Components use it until they are given others.
class TZelESilentServices : public TZelEServices {
 public:
  void ShowMessage(TZelEMessageKind, const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() override { return nullptr; }
  void SetBusyCursor(bool) override {}
  bool ShellOpen(const std::string&) override { return false; }
  int SendMail(const TZelEMailMessage&) override { return -1; }
  bool SetClipboardText(const std::string&) override { return false; }
  bool ClipboardText(std::string&) override { return false; }
  TFormatSettings RegionalSettings() override { return TFormatSettings{}; }
};
TZelEServices& SilentServices();

}  // namespace korvane
