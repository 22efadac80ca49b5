#pragma once
// The desktop services of an export run in the viewer: Qt message boxes and
// questions, the progress window TfrmZelEProcess, the busy cursor, opening files,
// mail through xdg-email, the clipboard, the regional settings of the system
// locale and the dialogs of saved export settings.
//
// Every question and dialog has a replaceable hook so that tests can answer it
// without a modal loop; with no hook the real window is shown.

#include <QDialog>
#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>

#include "export/ZelEPlatform.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace korvane {

// The progress window of a run: a busy animation, a status line, a bar and a
// Cancel button. It is application-modal while shown, so that the rest of the
// program takes no input while the run lets window events through.
class TfrmZelEProcess : public QDialog, public TZelEProgressWindow {
  Q_OBJECT
 public:
  explicit TfrmZelEProcess(QWidget* parent = nullptr);
  ~TfrmZelEProcess() override;

  void Show(const std::string& caption, const std::string& status, int position, int minimum, int maximum,
            const std::string& cancelCaption) override;
  void Update(const std::string& status, int position) override;
  void Hide() override;
  bool CancelRequested() const override { return cancelled_; }
  void SetCancelRequested(bool cancel) override { cancelled_ = cancel; }

  QLabel* lblStatus = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QPushButton* btnCancel = nullptr;
  QWidget* Animate = nullptr;

  // Called after every visible change (tests press Cancel from here).
  static std::function<void(TfrmZelEProcess&)>& UpdateHook();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  bool cancelled_ = false;
};

class TZelEQtServices : public TZelEServices {
 public:
  explicit TZelEQtServices(QWidget* parent = nullptr) : parent_(parent) {}

  void SetParent(QWidget* parent) { parent_ = parent; }
  QWidget* Parent() const { return parent_; }

  void ShowMessage(TZelEMessageKind kind, const std::string& text) override;
  // The box every message of the export suite is shown in: plain text, never rich text.
  static std::unique_ptr<QMessageBox> PlainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                                      QMessageBox::StandardButtons buttons);
  bool AskYesNo(const std::string& text) override;
  std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() override;
  void SetBusyCursor(bool busy) override;
  bool ShellOpen(const std::string& target) override;
  int SendMail(const TZelEMailMessage& message) override;
  bool SetClipboardText(const std::string& text) override;
  bool ClipboardText(std::string& text) override;
  TFormatSettings RegionalSettings() override;
  std::string ApplicationTitle() override;
  std::string ProgramFolder() override;
  bool AskSaveSpecification(std::string& specName, std::string& fileName) override;
  bool AskOpenSpecification(std::string& fileName) override;

  // Hooks replacing the real windows.
  std::function<void(TZelEMessageKind, const std::string&)> MessageHook;
  std::function<bool(const std::string&)> AskHook;
  std::function<bool(std::string& specName, std::string& fileName)> SaveSpecHook;
  std::function<bool(std::string& fileName)> OpenSpecHook;
  std::function<bool(const std::string&)> ShellOpenHook;
  // Without a progress window (tests of runs that need none).
  bool NoProgressWindow = false;

 private:
  QWidget* parent_;
  int busy_ = 0;
  TFormatSettings regional_;
  bool haveRegional_ = false;
};

// The folder of the user's documents (xdg-user-dir DOCUMENTS), else the home
// folder, else the current folder.
std::string UserDocumentsFolder();
// The folder of saved export specifications: $XDG_DATA_HOME/korvane/specifications
// (~/.local/share/korvane/specifications by default).
std::string UserSpecificationFolder();

}  // namespace korvane
