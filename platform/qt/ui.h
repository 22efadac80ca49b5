#pragma once
// Qt side of the Linux layer: message boxes, the one-line input box, file
// dialogs, the clipboard, the hourglass cursor and opening documents with the
// desktop's associated program.
//
// Every dialog goes through a replaceable hook so that tests can answer it
// without a modal loop; with no hook installed the real Qt dialog is shown.

#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace korvane::qtui {

enum class TMessageKind {
  Information,  // plain information box with one OK button
  Warning,      // warning box with one OK button
  Error,        // error box with one OK button
  Exception,    // the application's standard error box for an exception
};

enum class TFileDialogKind { Open, Save };

// Test hooks. Each one, when set, replaces the real dialog.
struct TUiHooks {
  std::function<void(TMessageKind kind, const QString& text)> Message;
  // Answers the text entered, or nullopt when cancelled.
  std::function<std::optional<QString>(const QString& caption, const QString& prompt, const QString& preset)>
      Input;
  // Answers a Yes/No question: true for Yes.
  std::function<bool(const QString& text)> Question;
  // Answers the chosen path, or an empty string when cancelled.
  std::function<QString(TFileDialogKind kind, const QString& caption, const QString& filter,
                        const QString& suggested)>
      FileDialog;
  // Answers whether the desktop accepted the request.
  std::function<bool(const QUrl& url)> OpenUrl;
};
// Installs hooks (nullptr removes them). The caller keeps the object alive.
void SetUiHooks(TUiHooks* hooks);

// The title every message box carries: the application's display name.
QString ApplicationTitle();

// The message box every message of the program is shown in: its text is plain text,
// never rich text, since it may quote names and values from a table.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

void ShowMessage(QWidget* parent, const QString& text);
void ShowErrorMessage(QWidget* parent, const QString& text);
void ShowException(QWidget* parent, const QString& text);
void ShowWarning(QWidget* parent, const QString& text);
// A Yes/No question; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// One-line input box. Answers the entered text; when cancelled, the preset.
QString InputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& preset);
// The same, telling a cancel apart: false when cancelled (text unchanged).
bool InputQuery(QWidget* parent, const QString& caption, const QString& prompt, QString& text);

QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& filter);
QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                        const QString& suggested);

// Plain text onto the system clipboard, replacing what was there.
void SetClipboardText(const QString& text);
QString ClipboardText();

// Shows the busy cursor for its lifetime; nests.
class THourglass {
 public:
  THourglass();
  ~THourglass();
  THourglass(const THourglass&) = delete;
  THourglass& operator=(const THourglass&) = delete;
};

// Opens a file or address with the desktop's associated program (xdg-open on
// Linux desktops). Answers false when the desktop refused it.
bool OpenUrl(const QUrl& url);
bool OpenLocalFile(const QString& path);

// Runs f; an exception it raises is shown in the standard error box and the
// program goes on. Answers false when f raised.
bool Guarded(QWidget* parent, const std::function<void()>& f);

}  // namespace korvane::qtui
