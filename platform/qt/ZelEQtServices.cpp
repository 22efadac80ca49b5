#include "platform/qt/ZelEQtServices.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <cstdlib>

#include "platform/qt/ZelESaveSpecDlg.h"
#include "platform/services.h"

namespace korvane {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A row of blocks that light up in turn: the busy animation of the progress window.
class TBusyAnimation : public QWidget {
 public:
  explicit TBusyAnimation(QWidget* parent) : QWidget(parent) {
    timer_.setInterval(120);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      frame_ = (frame_ + 1) % 12;
      update();
    });
  }
  void Start() { timer_.start(); }
  void Stop() { timer_.stop(); }
  void Step() {
    frame_ = (frame_ + 1) % 12;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const int n = 12, w = 18, gap = 6;
    int x0 = (width() - (n * w + (n - 1) * gap)) / 2;
    QColor on = palette().color(QPalette::Highlight);
    QColor off = palette().color(QPalette::Mid);
    for (int k = 0; k < n; ++k) {
      int d = (frame_ - k + n) % n;
      QColor c = d == 0 ? on : (d < 3 ? on.lighter(130 + 30 * d) : off);
      p.fillRect(x0 + k * (w + gap), height() / 2 - 8, w, 16, c);
    }
  }

 private:
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// TfrmZelEProcess

TfrmZelEProcess::TfrmZelEProcess(QWidget* parent) : QDialog(parent) {
  setObjectName("frmZelEProcess");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint);
  setFixedSize(442, 87);
  // Nothing else in the program takes input while a run is in progress.
  setWindowModality(Qt::ApplicationModal);
  auto* bevel = new QFrame(this);
  bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  bevel->setGeometry(0, 0, 442, 87);
  auto* anim = new TBusyAnimation(this);
  anim->setGeometry(8, 4, 427, 45);
  Animate = anim;
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(8, 52, 339, 16);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setGeometry(10, 70, 337, 10);
  ProgressBar->setTextVisible(false);
  btnCancel = new QPushButton(tr("&Cancel"), this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(355, 55, 75, 25);
  connect(btnCancel, &QPushButton::clicked, this, [this] { cancelled_ = true; });
}

TfrmZelEProcess::~TfrmZelEProcess() = default;

std::function<void(TfrmZelEProcess&)>& TfrmZelEProcess::UpdateHook() {
  static std::function<void(TfrmZelEProcess&)> hook;
  return hook;
}

void TfrmZelEProcess::Show(const std::string& caption, const std::string& status, int position, int minimum,
                           int maximum, const std::string& cancelCaption) {
  QApplication::processEvents();
  setWindowTitle(Q(caption));
  lblStatus->setText(Q(status));
  // No caption given: the button keeps its own "&Cancel".
  btnCancel->setText(cancelCaption.empty() ? tr("&Cancel") : Q(cancelCaption));
  ProgressBar->setRange(minimum, std::max(minimum, maximum));
  ProgressBar->setValue(position);
  ProgressBar->setVisible(minimum != 0 || maximum != 0);
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  static_cast<TBusyAnimation*>(Animate)->Start();
  show();
  raise();
  QApplication::processEvents();
}

void TfrmZelEProcess::Update(const std::string& status, int position) {
  lblStatus->setText(Q(status));
  ProgressBar->setValue(std::clamp(position, ProgressBar->minimum(), ProgressBar->maximum()));
  static_cast<TBusyAnimation*>(Animate)->Step();
  repaint();
  if (UpdateHook()) UpdateHook()(*this);
  // Lets a click on Cancel (and repaints) through.
  QApplication::processEvents();
}

void TfrmZelEProcess::Hide() {
  static_cast<TBusyAnimation*>(Animate)->Stop();
  hide();
  QApplication::processEvents();
}

void TfrmZelEProcess::closeEvent(QCloseEvent* e) {
  // Closing the window asks the run to stop; the run closes it.
  cancelled_ = true;
  e->ignore();
}

void TfrmZelEProcess::reject() { cancelled_ = true; }

// ---------------------------------------------------------------------------
// TZelEQtServices

void TZelEQtServices::ShowMessage(TZelEMessageKind kind, const std::string& text) {
  if (MessageHook) {
    MessageHook(kind, text);
    return;
  }
  const QMessageBox::Icon icon = kind == TZelEMessageKind::Information ? QMessageBox::Information
                                 : kind == TZelEMessageKind::Warning   ? QMessageBox::Warning
                                                                       : QMessageBox::Critical;
  PlainMessageBox(parent_, icon, Q(text), QMessageBox::Ok)->exec();
}

std::unique_ptr<QMessageBox> TZelEQtServices::PlainMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                                              const QString& text,
                                                              QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, QGuiApplication::applicationDisplayName(), text, buttons, parent);
  box->setTextFormat(Qt::PlainText);  // the text may quote a table's names and values
  return box;
}

bool TZelEQtServices::AskYesNo(const std::string& text) {
  if (AskHook) return AskHook(text);
  return PlainMessageBox(parent_, QMessageBox::Question, Q(text), QMessageBox::Yes | QMessageBox::No)->exec() ==
         QMessageBox::Yes;
}

std::unique_ptr<TZelEProgressWindow> TZelEQtServices::CreateProgressWindow() {
  if (NoProgressWindow) return nullptr;
  return std::make_unique<TfrmZelEProcess>(parent_);
}

void TZelEQtServices::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++busy_;
  } else if (busy_ > 0) {
    QApplication::restoreOverrideCursor();
    --busy_;
  }
}

bool TZelEQtServices::ShellOpen(const std::string& target) {
  if (ShellOpenHook) return ShellOpenHook(target);
  QString t = Q(target);
  QUrl url = t.contains("://") || t.startsWith("mailto:") ? QUrl(t) : QUrl::fromLocalFile(t);
  return QDesktopServices::openUrl(url);
}

int TZelEQtServices::SendMail(const TZelEMailMessage& message) {
  QStringList args;
  if (!message.Subject.empty()) args << "--subject" << Q(message.Subject);
  if (!message.Body.empty()) args << "--body" << Q(message.Body);
  if (!message.Attachment.empty()) args << "--attach" << Q(message.Attachment);
  for (const TZelEMailRecipient& r : message.Recipients) {
    if (r.Class == TZelEMailRecipient::Cc) args << "--cc";
    if (r.Class == TZelEMailRecipient::Bcc) args << "--bcc";
    args << Q(r.Address);
  }
  return QProcess::startDetached("xdg-email", args) ? 0 : 1;
}

bool TZelEQtServices::SetClipboardText(const std::string& text) {
  QClipboard* cb = QGuiApplication::clipboard();
  if (!cb) return false;
  cb->setText(Q(text));
  return true;
}

bool TZelEQtServices::ClipboardText(std::string& text) {
  QClipboard* cb = QGuiApplication::clipboard();
  if (!cb) return false;
  text = cb->text(QClipboard::Clipboard).toStdString();
  return true;
}

TFormatSettings TZelEQtServices::RegionalSettings() {
  // The user's locale, read as the command line reads it, so that a run of the
  // wizard and a replay of its saved settings by korvane-cli write the same text.
  if (!haveRegional_) {
    regional_ = LocaleFormatSettings();
    haveRegional_ = true;
  }
  return regional_;
}

std::string TZelEQtServices::ApplicationTitle() {
  QString t = QGuiApplication::applicationDisplayName();
  return t.isEmpty() ? "Korvane" : t.toStdString();
}

std::string TZelEQtServices::ProgramFolder() { return UserSpecificationFolder(); }

bool TZelEQtServices::AskSaveSpecification(std::string& specName, std::string& fileName) {
  // A bare ".zele" would be a hidden file: propose the settings' name.
  std::string base = fileName.substr(fileName.find_last_of('/') + 1);
  if (base.empty() || base == ".zele") {
    std::string folder = fileName.substr(0, fileName.size() - base.size());
    if (folder.empty()) folder = UserSpecificationFolder() + "/";
    fileName = folder + SpecificationFileBaseName(specName) + ".zele";
  }
  if (SaveSpecHook) return SaveSpecHook(specName, fileName);
  TfrmZelESaveSpec dlg(parent_);
  dlg.SetValues(Q(specName), Q(fileName));
  if (dlg.exec() != QDialog::Accepted) return false;
  specName = dlg.SpecName().toStdString();
  fileName = dlg.FileName().toStdString();
  if (!fileName.empty()) QDir().mkpath(QFileInfo(Q(fileName)).absolutePath());
  return true;
}

bool TZelEQtServices::AskOpenSpecification(std::string& fileName) {
  if (OpenSpecHook) return OpenSpecHook(fileName);
  QString f = QFileDialog::getOpenFileName(parent_, QString(), Q(UserSpecificationFolder()),
                                           "Export specification (*.zele *.ZELE);;All files (*)");
  if (f.isEmpty()) return false;
  fileName = f.toStdString();
  return true;
}

std::string UserDocumentsFolder() {
  // The answer is kept for the environment it was found in: the file name step
  // asks on every change of a bare file name, and the lookup starts a program.
  static std::string cachedKey, cachedFolder;
  auto env = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(v ? v : "") + '\n';
  };
  std::string key = env("HOME") + env("XDG_CONFIG_HOME");
  if (!cachedFolder.empty() && key == cachedKey && QDir(QString::fromStdString(cachedFolder)).exists())
    return cachedFolder;
  std::string folder;
  QProcess p;
  p.start("xdg-user-dir", {"DOCUMENTS"});
  if (p.waitForFinished(3000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
    QString dir = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    // xdg-user-dir answers the home folder itself when no documents folder is set.
    if (!dir.isEmpty() && QDir(dir).exists()) folder = dir.toStdString();
  }
  if (folder.empty()) {
    QString home = QDir::homePath();
    folder = !home.isEmpty() ? home.toStdString() : QDir::currentPath().toStdString();
  }
  cachedKey = key;
  cachedFolder = folder;
  return folder;
}

std::string UserSpecificationFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  QString base = xdg && *xdg == '/' ? QString::fromLocal8Bit(xdg) : QDir::homePath() + "/.local/share";
  return (base + "/korvane/specifications").toStdString();
}

}  // namespace korvane
