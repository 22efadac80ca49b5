#include "viewer/DataControls.h"

#include "engine/pdx.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QImageReader>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <exception>

namespace korvane {

namespace {
std::function<std::string(const std::string&)>& NameDecoder() {
  static std::function<std::string(const std::string&)> decoder;
  return decoder;
}
}  // namespace

QString ValueText(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString NameText(const std::string& raw) {
  auto& decoder = NameDecoder();
  if (decoder) return ValueText(decoder(raw));
  return ValueText(raw);
}

QString TableNotice(const TPdx& table) {
  if (!table.Active()) return {};
  QStringList parts;
  for (const std::string& p : table.ReadProblems()) {
    QString text = NameText(p);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    parts << text;
  }
  return parts.join(QStringLiteral(". "));
}

void SetNameDecoder(std::function<std::string(const std::string&)> decoder) {
  NameDecoder() = std::move(decoder);
}

QString NormalizeLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

// ---------------------------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* ds) {
  if (ds == dataSource_) return;
  if (dataSource_) dataSource_->RemoveObserver(this);
  dataSource_ = ds;
  if (dataSource_) dataSource_->AddObserver(this);
  if (onEvent_) onEvent_(TDataEvent::ActiveChanged);
}

TField* TDataLink::Field(const std::string& name) const {
  if (name.empty() || !Active()) return nullptr;
  return DataSet()->FindField(name);
}

void TDataLink::DataSetEvent(TDataSet&, TDataEvent e) {
  if (onEvent_) onEvent_(e);
}

// ---------------------------------------------------------------------------------------------
// TDBNavigator

TDBNavigator::TDBNavigator(QWidget* parent)
    : QWidget(parent), link_([this](TDataEvent) { UpdateButtons(); }) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  static const char* const kNames[4] = {"First", "Prior", "Next", "Last"};
  static const char* const kHints[4] = {"First record", "Prior record", "Next record", "Last record"};
  const QStyle::StandardPixmap kIcons[4] = {QStyle::SP_MediaSkipBackward, QStyle::SP_MediaSeekBackward,
                                            QStyle::SP_MediaSeekForward, QStyle::SP_MediaSkipForward};
  for (int i = 0; i < 4; ++i) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(kNames[i]));
    b->setIcon(style()->standardIcon(kIcons[i]));
    b->setToolTip(QString::fromLatin1(kHints[i]));
    b->setAutoRaise(false);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(b, &QToolButton::clicked, this, [this, i] { Click(i); });
    layout->addWidget(b);
    buttons_[i] = b;
  }
  UpdateButtons();
}

void TDBNavigator::SetDataSource(TDataSource* ds) { link_.SetDataSource(ds); }

void TDBNavigator::UpdateButtons() {
  TDataSet* ds = link_.DataSet();
  bool active = ds && ds->Active() && !ds->IsEmpty();
  bool atFirst = !active || ds->Bof() || ds->RecNo() <= 1;
  bool atLast = !active || ds->Eof() || ds->RecNo() >= ds->RecordCount();
  buttons_[0]->setEnabled(!atFirst);
  buttons_[1]->setEnabled(!atFirst);
  buttons_[2]->setEnabled(!atLast);
  buttons_[3]->setEnabled(!atLast);
}

void TDBNavigator::Click(int i) {
  TDataSet* ds = link_.DataSet();
  if (!ds || !ds->Active()) return;
  switch (i) {
    case 0: ds->First(); break;
    case 1: ds->Prior(); break;
    case 2: ds->Next(); break;
    default: ds->Last(); break;
  }
  UpdateButtons();
}

// ---------------------------------------------------------------------------------------------
// TDBMemo

TDBMemo::TDBMemo(QWidget* parent)
    : QPlainTextEdit(parent), link_([this](TDataEvent) {
        stale_ = true;
        if (isVisible()) Reload();
      }) {
  setReadOnly(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
}

void TDBMemo::SetDataSource(TDataSource* ds) { link_.SetDataSource(ds); }

void TDBMemo::SetDataField(const std::string& name) {
  dataField_ = name;
  Reload();
}

void TDBMemo::Reload() {
  stale_ = false;
  QString text;
  try {
    if (TField* f = link_.Field(dataField_)) {
      if (link_.DataSet()->IsEmpty()) {
        // nothing to show
      } else if (f->DataType() == ftBlob || f->DataType() == ftGraphic || f->DataType() == ftParadoxOle) {
        // Binary data is no text: say what is there instead of showing its bytes.
        std::string blob = f->BlobData();
        if (!blob.empty())
          text = QStringLiteral("(%1, %2 bytes)")
                     .arg(QString::fromLatin1(FieldTypeName(f->DataType())))
                     .arg(blob.size());
      } else {
        text = NormalizeLineBreaks(ValueText(f->AsString()));
      }
    }
  } catch (const std::exception&) {
    // A value that cannot be read shows as empty; the grid and the copy commands report it.
    text.clear();
  }
  if (text != toPlainText()) setPlainText(text);
}

void TDBMemo::showEvent(QShowEvent* e) {
  QPlainTextEdit::showEvent(e);
  if (stale_) Reload();
}

// ---------------------------------------------------------------------------------------------
// TDBEdit

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent), link_([this](TDataEvent) { Reload(); }) {
  setReadOnly(true);
}

void TDBEdit::SetDataSource(TDataSource* ds) { link_.SetDataSource(ds); }

void TDBEdit::SetDataField(const std::string& name) {
  dataField_ = name;
  Reload();
}

void TDBEdit::Reload() {
  QString text;
  try {
    if (TField* f = link_.Field(dataField_)) {
      if (!link_.DataSet()->IsEmpty()) text = ValueText(f->DisplayText());
    }
  } catch (const std::exception&) {
    text.clear();
  }
  text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (text != this->text()) {
    setText(text);
    setCursorPosition(0);
  }
}

// ---------------------------------------------------------------------------------------------
// TDBImage

namespace {
bool ReadableImage(const char* data, size_t size) {
  if (size < 4) return false;
  QByteArray bytes = QByteArray::fromRawData(data, static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  return reader.canRead();
}
}  // namespace

std::string ImageBytesOfBlob(const std::string& blob) {
  // Graphic fields store 8 bytes before the picture: a 4-byte tag and the
  // picture's length as a little-endian 32-bit number.
  if (blob.size() > 8) {
    const auto* b = reinterpret_cast<const unsigned char*>(blob.data());
    uint32_t length = uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
    if (length > 0 && length <= blob.size() - 8 && ReadableImage(blob.data() + 8, length))
      return blob.substr(8, length);
  }
  if (ReadableImage(blob.data(), blob.size())) return blob;
  return {};
}

TDBImage::TDBImage(QWidget* parent)
    : QWidget(parent), link_([this](TDataEvent) {
        stale_ = true;
        if (isVisible()) Reload();
      }) {
  setMinimumSize(16, 16);
  setAutoFillBackground(true);
}

void TDBImage::SetDataSource(TDataSource* ds) { link_.SetDataSource(ds); }

void TDBImage::SetDataField(const std::string& name) {
  dataField_ = name;
  Reload();
}

std::string TDBImage::BlobData() const {
  try {
    TField* f = link_.Field(dataField_);
    if (!f || !f->IsBlob() || link_.DataSet()->IsEmpty()) return {};
    return f->BlobData();
  } catch (const std::exception&) {
    return {};
  }
}

void TDBImage::Reload() {
  stale_ = false;
  bytes_ = ImageBytesOfBlob(BlobData());
  image_ = QImage();
  if (!bytes_.empty())
    image_.loadFromData(reinterpret_cast<const uchar*>(bytes_.data()), static_cast<int>(bytes_.size()));
  update();
}

void TDBImage::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (stale_) Reload();
}

void TDBImage::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  QPainter p(this);
  QSize size = image_.size();
  if (size.width() > width() || size.height() > height()) size.scale(this->size(), Qt::KeepAspectRatio);
  QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(target, image_);
}

void TDropDownComboBox::showPopup() {
  emit aboutToShowPopup();
  QComboBox::showPopup();
}

}  // namespace korvane
