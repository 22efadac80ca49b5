#include "export/wizard/ZelESpecDlg.h"

#include <QApplication>
#include <QStyledItemDelegate>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace korvane {

namespace {

// Each entry drawn as the logo, then the name 20 pixels from the left edge.
class TSpecItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
    QStyleOptionViewItem o(opt);
    initStyleOption(&o, index);
    o.text.clear();
    o.icon = QIcon();
    QStyle* st = o.widget ? o.widget->style() : QApplication::style();
    st->drawControl(QStyle::CE_ItemViewItem, &o, p, o.widget);
    QIcon logo = st->standardIcon(QStyle::SP_FileDialogDetailedView);
    logo.paint(p, QRect(o.rect.left() + 2, o.rect.top() + (o.rect.height() - 16) / 2, 16, 16));
    p->save();
    p->setPen(o.palette.color((o.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
    p->drawText(o.rect.adjusted(20, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, index.data().toString());
    p->restore();
  }
};

}  // namespace

TfrmZelESpecs::TfrmZelESpecs(std::vector<TZelESpecificationFile> entries, QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)) {
  setObjectName("frmZelESpecs");
  setWindowTitle("Specifications...");
  auto* lay = new QVBoxLayout(this);
  lblPrompt = new QLabel("List of available specifications:", this);
  lay->addWidget(lblPrompt);
  auto* row = new QHBoxLayout;
  lstSpecs = new QListWidget(this);
  lstSpecs->setObjectName("lstSpecs");
  lstSpecs->setItemDelegate(new TSpecItemDelegate(lstSpecs));
  lstSpecs->setMinimumSize(260, 180);
  row->addWidget(lstSpecs, 1);
  auto* buttons = new QVBoxLayout;
  btnLoad = new QPushButton("Load", this);
  btnSave = new QPushButton("Save", this);
  btnDelete = new QPushButton("Delete", this);
  btnClose = new QPushButton("Close", this);
  for (QPushButton* b : {btnLoad, btnSave, btnDelete, btnClose}) buttons->addWidget(b);
  buttons->addStretch(1);
  row->addLayout(buttons);
  lay->addLayout(row);
  connect(btnLoad, &QPushButton::clicked, this, [this] {
    if (!Selected()) return;
    action_ = TZelESpecsAction::Load;
    accept();
  });
  connect(lstSpecs, &QListWidget::itemDoubleClicked, btnLoad, &QPushButton::click);
  connect(btnSave, &QPushButton::clicked, this, [this] {
    action_ = TZelESpecsAction::Save;
    accept();
  });
  connect(btnDelete, &QPushButton::clicked, this, &TfrmZelESpecs::DeleteSelected);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
  AskDelete = [this](const QString& q) {
    QMessageBox box(QMessageBox::Question, windowTitle(), q, QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);  // q quotes a saved name
    return box.exec() == QMessageBox::Yes;
  };
  Refill();
}

void TfrmZelESpecs::Refill() {
  lstSpecs->clear();
  QFontMetrics fm(lstSpecs->font());
  int widest = 0;
  for (const TZelESpecificationFile& e : entries_) {
    QString name = QString::fromStdString(e.SpecName);
    lstSpecs->addItem(name);
    widest = std::max(widest, fm.horizontalAdvance(name + "x") + 20);
  }
  if (widest > 200) lstSpecs->setMinimumWidth(std::min(widest + 8, 600));
  bool any = !entries_.empty();
  btnLoad->setEnabled(any);
  btnDelete->setEnabled(any);
  if (any) lstSpecs->setCurrentRow(0);
}

const TZelESpecificationFile* TfrmZelESpecs::Selected() const {
  int r = lstSpecs->currentRow();
  return r >= 0 && r < static_cast<int>(entries_.size()) ? &entries_[static_cast<size_t>(r)] : nullptr;
}

void TfrmZelESpecs::DeleteSelected() {
  const TZelESpecificationFile* e = Selected();
  if (!e) return;
  QString q = QString("Delete import specification %1?").arg(QString::fromStdString(e->FileName));
  if (!AskDelete || !AskDelete(q)) return;
  QFile::remove(QString::fromStdString(e->FileName));
  entries_.erase(entries_.begin() + lstSpecs->currentRow());
  Refill();
}

}  // namespace korvane
