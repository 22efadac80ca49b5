#pragma once
// The desktop services of an export run inside the viewer: Qt message boxes,
// the progress window TfrmZelEProcess, the busy cursor, the clipboard and the
// desktop's associated programs. Mail and the regional settings are those of
// the command line's services (xdg-email, the process locale).

#include <QDialog>
#include <memory>
#include <string>

#include "export/ZelEPlatform.h"
#include "platform/services.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace korvane {

// The progress window of an export run: an animation, a status line, a bar
// (shown only when minimum or maximum is not 0) and a Cancel button. Closing
// the window counts as Cancel. 442 x 87 pixels, on top, centred.
class TfrmZelEProcess : public QDialog, public TZelEProgressWindow {
  Q_OBJECT
 public:
  explicit TfrmZelEProcess(QWidget* parent = nullptr);

  void Show(const std::string& caption, const std::string& status, int position, int minimum, int maximum,
            const std::string& cancelCaption) override;
  void Update(const std::string& status, int position) override;
  void Hide() override;
  bool CancelRequested() const override { return cancelled_; }
  void SetCancelRequested(bool cancel) override { cancelled_ = cancel; }

  QLabel* lblStatus() const { return status_; }
  QProgressBar* ProgressBar() const { return bar_; }
  QPushButton* btnCancel() const { return cancel_; }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  class TAnimation;
  TAnimation* animation_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool cancelled_ = false;
};

class TQtServices : public THeadlessServices {
 public:
  // owner: the window the messages and dialogs belong to (may be null).
  explicit TQtServices(QWidget* owner = nullptr);
  ~TQtServices() override;

  void ShowMessage(TZelEMessageKind kind, const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::unique_ptr<TZelEProgressWindow> CreateProgressWindow() override;
  void SetBusyCursor(bool busy) override;
  bool ShellOpen(const std::string& target) override;
  bool SetClipboardText(const std::string& text) override;
  std::string ApplicationTitle() override { return "Korvane"; }
  bool AskSaveSpecification(std::string& specName, std::string& fileName) override;
  bool AskOpenSpecification(std::string& fileName) override;

 private:
  QWidget* owner_;
  int busy_ = 0;
};

}  // namespace korvane
