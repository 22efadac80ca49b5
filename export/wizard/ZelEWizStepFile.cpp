#include "export/wizard/ZelEWizStepFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <filesystem>

#include "export/formats/ZelE2ADO.h"
#include "export/wizard/ZelEConnDlg.h"
#include "export/wizard/frmZelEWizard.h"
#include "platform/odbc/odbc.h"

namespace korvane {

using namespace wiz;

namespace {

// A name that already has the extension in another case keeps it: on Linux
// "data.txt" and "data.TXT" are two files, and the user chose the first.
std::string ReplaceExtension(const std::string& name, const std::string& ext) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  bool hasExt = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) && dot > 0 &&
                (slash == std::string::npos || dot > slash + 1);
  std::string base = hasExt ? name.substr(0, dot) : name;
  if (hasExt && !ext.empty() && QString::fromStdString(name.substr(dot)).compare(QString::fromStdString(ext),
                                                                              Qt::CaseInsensitive) == 0)
    return name;
  return base + ext;
}

}  // namespace

void TZelEWizStepFile::Build(QWidget* page) {
  auto* lay = new QGridLayout(page);
  w_.lblFileName = new QLabel(Text(txExportToFile), page);
  w_.edtFileName = new QLineEdit(page);
  w_.edtFileName->setObjectName("edtFileName");
  w_.btnBrowse = new QPushButton("...", page);
  w_.btnBrowse->setFixedWidth(30);
  w_.lblFileError = new QLabel(page);
  w_.lblFileError->setStyleSheet("color: #c00000");
  w_.chkRowsPerFile = new QCheckBox(Text(txRecordsPerFile), page);
  w_.edtRowsPerFile = new QLineEdit(page);
  w_.edtRowsPerFile->setValidator(new QIntValidator(0, 2147483647, w_.edtRowsPerFile));
  w_.edtRowsPerFile->setFixedWidth(80);
  w_.chkMerge = new QCheckBox(Text(txMergeFile), page);
  w_.lblTableName = new QLabel(Text(txTableName), page);
  w_.cmbTableName = new QComboBox(page);
  w_.cmbTableName->setEditable(true);
  w_.lblSheet = new QLabel(Text(txSheetName), page);
  w_.edtSheet = new QLineEdit(page);
  w_.lblFilter = new QLabel(Text(txFilterName), page);
  w_.cmbFilter = new QComboBox(page);
  w_.cmbFilter->setEditable(true);
  w_.lblAccess = new QLabel("Access version:", page);
  w_.cmbAccess = new QComboBox(page);
  w_.cmbAccess->addItems({"-", "97", "2000"});
  w_.grpAction = new QGroupBox(Text(txActionAfter), page);
  auto* ga = new QVBoxLayout(w_.grpAction);
  w_.rbActionNone = new QRadioButton(Text(txActionNone), w_.grpAction);
  w_.rbActionOpen = new QRadioButton(Text(txActionOpen), w_.grpAction);
  w_.rbActionMail = new QRadioButton(Text(txActionMail), w_.grpAction);
  ga->addWidget(w_.rbActionNone);
  ga->addWidget(w_.rbActionOpen);
  ga->addWidget(w_.rbActionMail);
  lay->addWidget(w_.lblFileName, 0, 0, 1, 3);
  lay->addWidget(w_.edtFileName, 1, 0, 1, 2);
  lay->addWidget(w_.btnBrowse, 1, 2);
  lay->addWidget(w_.lblFileError, 2, 0, 1, 3);
  lay->addWidget(w_.chkRowsPerFile, 3, 0);
  lay->addWidget(w_.edtRowsPerFile, 3, 1, Qt::AlignLeft);
  lay->addWidget(w_.chkMerge, 4, 0, 1, 3);
  lay->addWidget(w_.lblTableName, 5, 0);
  lay->addWidget(w_.cmbTableName, 5, 1, 1, 2);
  lay->addWidget(w_.lblSheet, 6, 0);
  lay->addWidget(w_.edtSheet, 6, 1, 1, 2);
  lay->addWidget(w_.lblFilter, 7, 0);
  lay->addWidget(w_.cmbFilter, 7, 1, 1, 2);
  lay->addWidget(w_.lblAccess, 8, 0);
  lay->addWidget(w_.cmbAccess, 8, 1, 1, 2);
  lay->addWidget(w_.grpAction, 9, 0, 1, 3);
  lay->setRowStretch(10, 1);
  lay->setColumnStretch(1, 1);
  QObject::connect(w_.edtFileName, &QLineEdit::textChanged, &w_, [this] { OnFileNameChanged(); });
  QObject::connect(w_.chkRowsPerFile, &QCheckBox::toggled, w_.edtRowsPerFile, &QLineEdit::setEnabled);
  QObject::connect(w_.btnBrowse, &QPushButton::clicked, &w_, [this] {
    TTableTypeExport t = SelectedFormat();
    if (Can(t, faConnection)) {
      // The connection dialog, and the tables of the database chosen for the table name.
      const std::string before = S(w_.edtFileName->text());
      const std::string chosen = EditConnectionString(&w_, before);
      if (chosen == before) return;
      w_.edtFileName->setText(Q(chosen));
      std::vector<std::string> tables;
      ListADOTables(tables, chosen, false);
      const QString keep = w_.cmbTableName->currentText();
      w_.cmbTableName->clear();
      for (const std::string& n : tables) w_.cmbTableName->addItem(Q(n));
      w_.cmbTableName->setEditText(keep);
      return;
    }
    QString ext = Q(TableTypeExtension(t));
    QString filter = QString("%1 (*%2);;All files (*)").arg(Q(ExportFormat(t).Caption()), ext.toLower());
    QString start = w_.edtFileName->text();
    if (!start.contains('/')) start = Q(Owner().DefaultFolder()) + "/" + start;
    QString f = QFileDialog::getSaveFileName(&w_, Q(Owner().GetLanguageString(txExportTo)), start, filter);
    if (f.isEmpty()) return;
    if (QFileInfo(f).suffix().isEmpty() && !ext.isEmpty()) f += ext;
    w_.edtFileName->setText(f);
  });
}

void TZelEWizStepFile::Load(const TZelEWizardDlg& o) {
  w_.edtFileName->setText(Q(o.FileName));
  lastFileName_ = w_.edtFileName->text();
  w_.cmbTableName->clear();
  w_.cmbTableName->setEditText(Q(o.TableName.empty() ? o.DefaultTableName() : o.TableName));
  (o.ActionAfterExport == aeOpenView ? w_.rbActionOpen : o.ActionAfterExport == aeEMail ? w_.rbActionMail : w_.rbActionNone)
      ->setChecked(true);
  w_.chkRowsPerFile->setChecked(o.RowsPerFile > 0);
  w_.edtRowsPerFile->setText(o.RowsPerFile > 0 ? QString::number(o.RowsPerFile) : QString());
  w_.edtRowsPerFile->setEnabled(o.RowsPerFile > 0);
  w_.chkMerge->setChecked(o.Options.Has(soMergeData));
  w_.edtSheet->setText(Q(o.KeyGenerator));
  w_.cmbFilter->setCurrentText(Q(o.FilterName));
  w_.cmbAccess->setCurrentIndex(std::clamp(o.AccessVersion, 0, 2));
}

void TZelEWizStepFile::Store(TZelEWizardDlg& o) {
  o.FileName = S(w_.edtFileName->text());
  bool ok = false;
  std::string tn = S(w_.cmbTableName->currentText());
  o.TableName = tn == o.DefaultTableName() && o.TableName.empty() ? std::string() : tn;
  o.ActionAfterExport = w_.rbActionOpen->isChecked() ? aeOpenView : w_.rbActionMail->isChecked() ? aeEMail : aeNone;
  int rows = w_.edtRowsPerFile->text().toInt(&ok);
  o.RowsPerFile = w_.chkRowsPerFile->isChecked() && ok ? rows : 0;
  o.Options.Set(soMergeData, w_.chkMerge->isEnabled() && w_.chkMerge->isChecked());
  if (w_.edtSheet->isVisible() || !w_.edtSheet->text().isEmpty()) o.KeyGenerator = S(w_.edtSheet->text());
  o.FilterName = w_.cmbFilter->currentText().isEmpty() ? "MS Word 97" : S(w_.cmbFilter->currentText());
  o.AccessVersion = std::max(0, w_.cmbAccess->currentIndex());
}

void TZelEWizStepFile::ApplyAccess(const TZelEUserAccess& ua) {
  for (QWidget* w : std::initializer_list<QWidget*>{w_.edtFileName, w_.btnBrowse, w_.lblFileName})
    ShowFor(w, ua.SourceFileName);
  ShowFor(w_.grpAction, ua.ActionAfter);
}

void TZelEWizStepFile::UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) {
  bool tableName = Can(t, faTableName);
  w_.lblTableName->setVisible(tableName);
  w_.cmbTableName->setVisible(tableName);
  w_.lblAccess->setVisible(Can(t, faAccessVersion) && ua.AccessVersion != erDisabled);
  w_.cmbAccess->setVisible(Can(t, faAccessVersion) && ua.AccessVersion != erDisabled);
  w_.cmbAccess->setEnabled(ReadWrite(ua.AccessVersion));
  w_.lblFilter->setVisible(Can(t, faFilterName));
  w_.cmbFilter->setVisible(Can(t, faFilterName));
  if (Can(t, faFilterName) && w_.cmbFilter->count() == 0) {
    w_.cmbFilter->addItems({"MS Word 97", "writer8", "Rich Text Format", "writer_pdf_Export", "HTML (StarWriter)"});
    w_.cmbFilter->setCurrentText(Q(Owner().FilterName));
  }
  bool sheet = Can(t, faSheetName) && ua.KeyGenerator != erDisabled;
  w_.lblSheet->setVisible(sheet);
  w_.edtSheet->setVisible(sheet);
  w_.edtSheet->setEnabled(ReadWrite(ua.KeyGenerator));
  bool fileEdit = !Can(t, faNoFile) && ReadWrite(ua.SourceFileName);
  w_.edtFileName->setEnabled(fileEdit);
  w_.btnBrowse->setEnabled(fileEdit);
  w_.grpAction->setEnabled(ReadWrite(ua.ActionAfter));
  UpdateMergeBox();
}

// The last step: every run needs its target.
bool TZelEWizStepFile::Visited(TTableTypeExport, const TZelEUserAccess&) const { return true; }

void TZelEWizStepFile::Shown(TTableTypeExport t) {
  bool show = !Can(t, faNoFile);
  w_.chkRowsPerFile->setVisible(show);
  w_.edtRowsPerFile->setVisible(show);
}

void TZelEWizStepFile::ChangeExtension(TTableTypeExport t) {
  std::string name = S(w_.edtFileName->text());
  // A connection string holds "KEY=VALUE" attributes; a file name (mostly) not.
  bool connection = name.find('=') != std::string::npos;
  if (Can(t, faConnection)) {
    // A file name becomes the SQLite database of that name.
    if (!connection && !name.empty() && name.find(';') == std::string::npos) name = odbc::ConnectionStringFor(name);
  } else {
    if (connection) {
      // Keep only the data source of a connection string.
      std::string source = odbc::ConnectionAttribute(name, "Data Source");
      if (source.empty()) source = odbc::ConnectionAttribute(name, "Database");
      if (source.size() >= 2 && source.front() == '"' && source.back() == '"') source = source.substr(1, source.size() - 2);
      name = source;
    }
    if (!name.empty()) name = ReplaceExtension(name, TableTypeExtension(t));
  }
  if (name != S(w_.edtFileName->text())) w_.edtFileName->setText(Q(name));
}

void TZelEWizStepFile::UpdateMergeBox() {
  TTableTypeExport t = SelectedFormat();
  // A target without a file appends to what it holds; a file is appended to when it exists.
  bool enable = Can(t, faMerge) && Can(t, faNoFile);
  if (Can(t, faMerge) && !Can(t, faNoFile)) {
    std::string f = Owner().ResolvedFileName(S(w_.edtFileName->text()));
    std::error_code ec;
    enable = !f.empty() && std::filesystem::is_regular_file(f, ec);
  }
  w_.chkMerge->setEnabled(enable);
}

QString TZelEWizStepFile::FileNameError() const {
  if (Can(SelectedFormat(), faConnection)) return {};
  std::string name = S(w_.edtFileName->text());
  for (unsigned char c : name) {
    if (c < 32 || c == '"' || c == '\'' || c == '*' || c == ';' || c == '<' || c == '>' || c == '?' || c == '|')
      return Q(ZelEFormat("File name %s is not valid.", {name}));
  }
  return {};
}

void TZelEWizStepFile::OnFileNameChanged() {
  w_.lblFileError->setText(FileNameError());
  if (w_.edtFileName->text() != lastFileName_) {
    lastFileName_ = w_.edtFileName->text();
    QString keep = w_.cmbTableName->currentText();
    w_.cmbTableName->clear();
    w_.cmbTableName->setEditText(keep);
  }
  UpdateMergeBox();
}

}  // namespace korvane
