#include "platform/qt/ui.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <exception>

namespace korvane::qtui {

namespace {
TUiHooks* g_hooks = nullptr;

void Box(QWidget* parent, TMessageKind kind, const QString& text) {
  if (g_hooks && g_hooks->Message) {
    g_hooks->Message(kind, text);
    return;
  }
  QMessageBox::Icon icon = kind == TMessageKind::Information ? QMessageBox::Information
                           : kind == TMessageKind::Warning   ? QMessageBox::Warning
                                                             : QMessageBox::Critical;
  MakeMessageBox(parent, icon, text)->exec();
}
}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, ApplicationTitle(), text, buttons, parent);
  box->setTextFormat(Qt::PlainText);
  return box;
}

void SetUiHooks(TUiHooks* hooks) { g_hooks = hooks; }

QString ApplicationTitle() {
  QString name = QGuiApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("Korvane") : name;
}

void ShowMessage(QWidget* parent, const QString& text) { Box(parent, TMessageKind::Information, text); }
void ShowErrorMessage(QWidget* parent, const QString& text) { Box(parent, TMessageKind::Error, text); }
void ShowException(QWidget* parent, const QString& text) { Box(parent, TMessageKind::Exception, text); }
void ShowWarning(QWidget* parent, const QString& text) { Box(parent, TMessageKind::Warning, text); }

bool AskYesNo(QWidget* parent, const QString& text) {
  if (g_hooks && g_hooks->Question) return g_hooks->Question(text);
  return MakeMessageBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No)->exec() ==
         QMessageBox::Yes;
}

bool InputQuery(QWidget* parent, const QString& caption, const QString& prompt, QString& text) {
  if (g_hooks && g_hooks->Input) {
    std::optional<QString> answer = g_hooks->Input(caption, prompt, text);
    if (!answer) return false;
    text = *answer;
    return true;
  }
  bool ok = false;
  QString answer = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, text, &ok);
  if (ok) text = answer;
  return ok;
}

QString InputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& preset) {
  if (g_hooks && g_hooks->Input) {
    std::optional<QString> answer = g_hooks->Input(caption, prompt, preset);
    return answer ? *answer : preset;
  }
  bool ok = false;
  QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, preset, &ok);
  return ok ? text : preset;
}

QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& filter) {
  if (g_hooks && g_hooks->FileDialog) return g_hooks->FileDialog(TFileDialogKind::Open, caption, filter, {});
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                        const QString& suggested) {
  if (g_hooks && g_hooks->FileDialog)
    return g_hooks->FileDialog(TFileDialogKind::Save, caption, filter, suggested);
  return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void SetClipboardText(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(text, QClipboard::Clipboard);
  // X11 desktops paste the middle-click selection too; offer the same text there.
  if (clipboard->supportsSelection()) clipboard->setText(text, QClipboard::Selection);
}

QString ClipboardText() { return QGuiApplication::clipboard()->text(QClipboard::Clipboard); }

THourglass::THourglass() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
THourglass::~THourglass() { QGuiApplication::restoreOverrideCursor(); }

bool OpenUrl(const QUrl& url) {
  if (g_hooks && g_hooks->OpenUrl) return g_hooks->OpenUrl(url);
  return QDesktopServices::openUrl(url);
}

bool OpenLocalFile(const QString& path) {
  return OpenUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool Guarded(QWidget* parent, const std::function<void()>& f) {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    ShowException(parent, QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(parent, QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace korvane::qtui
