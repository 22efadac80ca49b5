#include "platform/qt/ZelESaveSpecDlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

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

}  // namespace korvane
