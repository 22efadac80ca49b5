#include "platform/qt/services.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <cmath>

#include "platform/qt/ui.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

// Pages flying from one folder to another; one step on every update of the
// window, so it moves exactly as fast as the run does.
class TfrmZelEProcess::TAnimation : public QWidget {
 public:
  using QWidget::QWidget;
  void Step() {
    phase_ = (phase_ + 1) % 12;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor folder(0xE0, 0xA0, 0x30);
    auto drawFolder = [&](int x) {
      p.setPen(QPen(folder.darker(130), 1));
      p.setBrush(folder);
      p.drawRect(QRectF(x, 14, 34, 24));
      p.drawRect(QRectF(x, 10, 14, 5));
    };
    drawFolder(40);
    drawFolder(width() - 74);
    qreal from = 60, to = width() - 70;
    qreal x = from + (to - from) * phase_ / 11.0;
    qreal y = 18 - 12 * std::sin(3.14159 * phase_ / 11.0);
    p.setPen(QPen(QColor(0x41, 0x66, 0x85), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(x, y, 14, 17));
  }

 private:
  int phase_ = 0;
};

TfrmZelEProcess::TfrmZelEProcess(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmZelEProcess"));
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setModal(false);
  setFixedSize(442, 87);
  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setGeometry(0, 0, 442, 87);
  animation_ = new TAnimation(this);
  animation_->setGeometry(8, 4, 427, 45);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblStatus"));
  status_->setGeometry(8, 56, 339, 14);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("ProgressBar"));
  bar_->setGeometry(10, 70, 337, 10);
  bar_->setTextVisible(false);
  cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  cancel_->setObjectName(QStringLiteral("btnCancel"));
  cancel_->setGeometry(355, 55, 75, 25);
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
}

void TfrmZelEProcess::Show(const std::string& caption, const std::string& status, int position, int minimum,
                           int maximum, const std::string& cancelCaption) {
  setWindowTitle(Q(caption));
  status_->setText(Q(status));
  cancel_->setText(cancelCaption.empty() ? QStringLiteral("&Cancel") : Q(cancelCaption));
  bar_->setRange(minimum, std::max(minimum, maximum));
  bar_->setValue(position);
  bar_->setVisible(minimum != 0 || maximum != 0);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  show();
  raise();
  QCoreApplication::processEvents();
}

void TfrmZelEProcess::Update(const std::string& status, int position) {
  status_->setText(Q(status));
  bar_->setValue(position);
  animation_->Step();
  repaint();
  // The one place a click on Cancel is seen during a run.
  QCoreApplication::processEvents();
}

void TfrmZelEProcess::Hide() {
  hide();
  QCoreApplication::processEvents();
}

void TfrmZelEProcess::closeEvent(QCloseEvent* e) {
  cancelled_ = true;
  e->ignore();
}

void TfrmZelEProcess::reject() { cancelled_ = true; }

// ---------------------------------------------------------------------------------------------

TQtServices::TQtServices(QWidget* owner) : THeadlessServices(true, "korvane"), owner_(owner) {}

TQtServices::~TQtServices() {
  while (busy_ > 0) SetBusyCursor(false);
}

void TQtServices::ShowMessage(TZelEMessageKind kind, const std::string& text) {
  switch (kind) {
    case TZelEMessageKind::Information: qtui::ShowMessage(owner_, Q(text)); break;
    case TZelEMessageKind::Warning: qtui::ShowWarning(owner_, Q(text)); break;
    case TZelEMessageKind::Error: qtui::ShowErrorMessage(owner_, Q(text)); break;
  }
}

bool TQtServices::AskYesNo(const std::string& text) { return qtui::AskYesNo(owner_, Q(text)); }

std::unique_ptr<TZelEProgressWindow> TQtServices::CreateProgressWindow() {
  return std::make_unique<TfrmZelEProcess>(owner_);
}

void TQtServices::SetBusyCursor(bool busy) {
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ++busy_;
  } else if (busy_ > 0) {
    QGuiApplication::restoreOverrideCursor();
    --busy_;
  }
}

bool TQtServices::ShellOpen(const std::string& target) {
  QString t = Q(target);
  // An address with a scheme ("https://", "mailto:", "file://") as it is; anything else is a file.
  QUrl url(t);
  bool isAddress = url.isValid() && url.scheme().size() > 1 && !t.startsWith(QLatin1Char('/'));
  return isAddress ? qtui::OpenUrl(url) : qtui::OpenLocalFile(t);
}

bool TQtServices::SetClipboardText(const std::string& text) {
  qtui::SetClipboardText(Q(text));
  return true;
}

bool TQtServices::AskSaveSpecification(std::string& specName, std::string& fileName) {
  QString name = Q(specName);
  if (!qtui::InputQuery(owner_, QStringLiteral("Save export specification"), QStringLiteral("Name"), name))
    return false;
  QString file = qtui::GetSaveFileName(owner_, QStringLiteral("Save export specification"),
                                       QStringLiteral("Export specifications (*.zele)"), Q(fileName));
  if (file.isEmpty()) return false;
  specName = name.toStdString();
  fileName = QFile::encodeName(file).toStdString();
  return true;
}

bool TQtServices::AskOpenSpecification(std::string& fileName) {
  QString file = qtui::GetOpenFileName(owner_, QStringLiteral("Open export specification"),
                                       QStringLiteral("Export specifications (*.zele)"));
  if (file.isEmpty()) return false;
  fileName = QFile::encodeName(file).toStdString();
  return true;
}

}  // namespace korvane
