#include "export/wizard/ZelESpecDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QStyledItemDelegate>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace korvane {

std::string SpecificationFileBaseName(const std::string& specName) {
  std::string out;
  for (unsigned char c : specName) {
    if (c < 32 || c == '/' || c == '\\' || c == '"' || c == '\'' || c == '*' || c == ';' || c == '<' ||
        c == '>' || c == '?' || c == '|' || c == ':')
      out += '_';
    else
      out += static_cast<char>(c);
  }
  size_t b = out.find_first_not_of(" .");
  size_t e = out.find_last_not_of(' ');
  out = b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
  return out.empty() ? "Export specification" : out;
}

// ---------------------------------------------------------------------------
// TfrmZelESaveSpec

TfrmZelESaveSpec::TfrmZelESaveSpec(QWidget* parent) : QDialog(parent) {
  setObjectName("frmZelESaveSpec");
  setWindowTitle("Export specification");
  auto* grid = new QGridLayout(this);
  lblSpecName = new QLabel("Export specification", this);
  edtSpecName = new QLineEdit(this);
  edtSpecName->setObjectName("edtSpecName");
  lblFileName = new QLabel("Export to a File:", this);
  edtFileName = new QLineEdit(this);
  edtFileName->setObjectName("edtFileName");
  edtFileName->setMinimumWidth(360);
  btnBrowse = new QToolButton(this);
  btnBrowse->setText("...");
  grid->addWidget(lblSpecName, 0, 0, 1, 2);
  grid->addWidget(edtSpecName, 1, 0, 1, 2);
  grid->addWidget(lblFileName, 2, 0, 1, 2);
  grid->addWidget(edtFileName, 3, 0);
  grid->addWidget(btnBrowse, 3, 1);
  auto* box = new QDialogButtonBox(this);
  btnOK = box->addButton("&OK", QDialogButtonBox::AcceptRole);
  btnCancel = box->addButton("&Cancel", QDialogButtonBox::RejectRole);
  btnOK->setDefault(true);
  grid->addWidget(box, 4, 0, 1, 2);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(btnBrowse, &QToolButton::clicked, this, [this] {
    QString f = QFileDialog::getSaveFileName(this, windowTitle(), edtFileName->text(),
                                             "Export specification (*.zele *.ZELE);;All files (*)");
    if (f.isEmpty()) return;
    if (QFileInfo(f).suffix().isEmpty()) f += ".zele";
    edtFileName->setText(f);
    fileChosen_ = true;
  });
  connect(edtSpecName, &QLineEdit::textEdited, this, &TfrmZelESaveSpec::NameEdited);
  connect(edtFileName, &QLineEdit::textEdited, this, [this] { fileChosen_ = true; });
  AskReplace = [this](const QString& q) {
    return QMessageBox::question(this, windowTitle(), q, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };
}

void TfrmZelESaveSpec::SetValues(const QString& specName, const QString& fileName) {
  initialName_ = specName.isEmpty() ? QString("Export specification") : specName;
  initialFile_ = fileName;
  fileChosen_ = false;
  edtSpecName->setText(initialName_);
  edtFileName->setText(fileName);
}

void TfrmZelESaveSpec::NameEdited(const QString& name) {
  if (fileChosen_) return;
  if (name == initialName_) {
    edtFileName->setText(initialFile_);
    return;
  }
  // Settings saved under a new name go to a file of their own.
  QString folder = initialFile_.left(initialFile_.lastIndexOf('/') + 1);
  edtFileName->setText(folder + QString::fromStdString(SpecificationFileBaseName(name.toStdString())) + ".zele");
}

void TfrmZelESaveSpec::accept() {
  const QString file = FileName();
  if (!file.isEmpty() && QFileInfo::exists(file)) {
    QString q = QString("File %1 already exists. Do you want to replace it?").arg(file);
    if (!AskReplace || !AskReplace(q)) return;
  }
  QDialog::accept();
}

QString TfrmZelESaveSpec::SpecName() const { return edtSpecName->text(); }
QString TfrmZelESaveSpec::FileName() const { return edtFileName->text(); }

// ---------------------------------------------------------------------------
// TfrmZelESpecs

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
