#include "viewer/frRecordView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/qt/ui.h"
#include "viewer/DataControls.h"
#include "viewer/Icons.h"

namespace korvane {

namespace {
const QColor kBoxColour(0xD7, 0xD7, 0xD7);
constexpr int kEditHeight = 18;  // one row pitch: the boxes of consecutive rows touch
}  // namespace

TfrmRecordView::TfrmRecordView(TDataSet& table, TDataSource& source, const TGridColumns& columns,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), table_(table), source_(source), columns_(columns) {
  setObjectName(QStringLiteral("frmRecordView"));
  setWindowTitle(QStringLiteral("Record View"));
  QFont f(QStringLiteral("Tahoma"));
  f.setPixelSize(11);
  setFont(f);
  resize(797, 497);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(0);

  pageControl1_ = new QTabWidget(this);
  pageControl1_->setObjectName(QStringLiteral("PageControl1"));
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet1"));
  auto* pv = new QVBoxLayout(page);
  pv->setContentsMargins(0, 0, 0, 0);
  pv->setSpacing(0);

  auto* header = new QWidget(page);
  header->setObjectName(QStringLiteral("Panel2"));
  header->setFixedHeight(41);
  navigator_ = new TDBNavigator(header);
  navigator_->setObjectName(QStringLiteral("DBNavigator1"));
  navigator_->setGeometry(16, 4, 248, 32);
  navigator_->SetDataSource(&source_);
  auto* print = new QToolButton(header);
  print->setObjectName(QStringLiteral("BitBtn1"));
  print->setIcon(ToolIcon(TToolIcon::Print));
  print->setIconSize(QSize(24, 24));
  print->setToolTip(QStringLiteral("Print"));
  print->setGeometry(273, 4, 48, 32);
  connect(print, &QToolButton::clicked, this, [this] { qtui::Guarded(this, [&] { PrintClick(); }); });
  auto* close = new QToolButton(header);
  close->setObjectName(QStringLiteral("BitBtn2"));
  close->setIcon(ToolIcon(TToolIcon::Cancel));
  close->setIconSize(QSize(24, 24));
  close->setToolTip(QStringLiteral("Close"));
  close->setGeometry(321, 4, 48, 32);
  connect(close, &QToolButton::clicked, this, &QWidget::hide);
  pv->addWidget(header);

  scrollArea_ = new QScrollArea(page);
  scrollArea_->setObjectName(QStringLiteral("ScrollArea1"));
  scrollArea_->setFrameShape(QFrame::NoFrame);
  scrollArea_->setWidgetResizable(false);
  content_ = new QWidget;
  content_->setObjectName(QStringLiteral("ScrollBox1"));
  content_->setAutoFillBackground(true);
  QPalette cp = content_->palette();
  cp.setColor(QPalette::Window, kBoxColour);
  content_->setPalette(cp);
  content_->resize(700, 100);
  scrollArea_->setWidget(content_);
  QPalette sp = scrollArea_->palette();
  sp.setColor(QPalette::Window, kBoxColour);
  scrollArea_->setPalette(sp);
  scrollArea_->setAutoFillBackground(true);
  pv->addWidget(scrollArea_, 1);
  pageControl1_->addTab(page, QStringLiteral("All Fields"));
  v->addWidget(pageControl1_, 1);

  auto* bottom = new QWidget(this);
  bottom->setObjectName(QStringLiteral("Panel1"));
  bottom->setFixedHeight(41);
  bottom->setAutoFillBackground(true);
  QPalette bp = bottom->palette();
  bp.setColor(QPalette::Window, QColor(0xE4, 0xEA, 0xF0));
  bottom->setPalette(bp);
  auto* bh = new QHBoxLayout(bottom);
  bh->setContentsMargins(8, 4, 12, 4);
  bh->addStretch(1);
  auto* label = new QLabel(QStringLiteral("Korvane Paradox table viewer"), bottom);
  label->setObjectName(QStringLiteral("Label1"));
  QFont lf(QStringLiteral("Verdana"));
  lf.setPixelSize(12);
  lf.setBold(true);
  lf.setUnderline(true);
  label->setFont(lf);
  QPalette lp = label->palette();
  lp.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
  label->setPalette(lp);
  bh->addWidget(label, 0, Qt::AlignRight | Qt::AlignBottom);
  v->addWidget(bottom);
}

int TfrmRecordView::RowCount() const {
  int n = 0;
  for (QObject* o : content_->children())
    if (o->objectName().startsWith(QStringLiteral("tbl"))) ++n;
  return n;
}

void TfrmRecordView::BuildRows() {
  if (!table_.Active()) return;

  // Rows of the previous run, last first.
  const QObjectList children = content_->children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (qobject_cast<QLineEdit*>(*it) || qobject_cast<TDBMemo*>(*it)) delete *it;
  }

  const TGridColumns& cols = columns_;
  int extra = 0;
  int right = 0;
  int bottom = 0;
  for (int n = 0; n < cols.Count(); ++n) {
    const TGridColumn& col = cols[n];
    int top = 45 + 18 * n + extra;

    auto* name = new QLineEdit(content_);
    name->setObjectName(QStringLiteral("lbl%1").arg(n));
    name->setFrame(false);
    QPalette np = name->palette();
    np.setColor(QPalette::Base, kBoxColour);
    name->setPalette(np);
    name->setText(NameText(col.FieldName));
    name->setGeometry(12, top, 110, kEditHeight);
    name->show();

    TField* field = cols.FieldOf(n);
    QWidget* value = nullptr;
    if (field && field->IsBlob()) {
      auto* memo = new TDBMemo(content_);
      memo->setFrameShape(QFrame::Box);
      memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      int w = col.Width;
      if (w >= width()) w = width() - 300;
      w = std::max(w, 300);
      memo->setGeometry(120, top, w, 95);
      memo->SetDataSource(&source_);
      memo->SetDataField(col.Title.Caption);
      extra += 76;
      value = memo;
    } else {
      auto* edit = new TDBEdit(content_);
      edit->setFrame(false);
      int w = col.Width;
      if (w >= width()) w = width() - 300;
      edit->setGeometry(120, top, w, kEditHeight);
      edit->SetDataSource(&source_);
      edit->SetDataField(col.Title.Caption);
      value = edit;
    }
    value->setObjectName(QStringLiteral("tbl%1").arg(n));
    value->show();
    right = std::max(right, value->geometry().right());
    bottom = std::max(bottom, value->geometry().bottom());
  }
  content_->resize(std::max(right + 12, scrollArea_->viewport()->width()),
                   std::max(bottom + 12, scrollArea_->viewport()->height()));

  if (!shownBefore_) {
    shownBefore_ = true;
    if (QWidget* owner = parentWidget()) move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
  activateWindow();
  content_->update();
  scrollArea_->update();
}

void TfrmRecordView::PrintClick() {
  QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) {
    qtui::ShowErrorMessage(this, QStringLiteral("No printer is installed."));
    return;
  }
  QPixmap picture = grab();
  QPrinter printer(info, QPrinter::HighResolution);
  QPainter p;
  if (!p.begin(&printer)) {
    qtui::ShowErrorMessage(this, QStringLiteral("The printer could not be started."));
    return;
  }
  // Enlarged by the printer's resolution over the screen's, so it keeps its size on paper.
  qreal scale = static_cast<qreal>(printer.resolution()) / std::max(1, logicalDpiX());
  p.scale(scale, scale);
  p.drawPixmap(0, 0, picture);
  p.end();
}

}  // namespace korvane
