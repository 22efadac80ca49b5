#include "export/wizard/ZelEWizStepSQL.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

void TZelEWizStepSQL::Build(QWidget* page) {
  auto* lay = new QVBoxLayout(page);
  w_.grpSQL = new QGroupBox(page);
  auto* g = new QGridLayout(w_.grpSQL);
  w_.chkCreateTable = new QCheckBox("include CREATE TABLE statement", w_.grpSQL);
  w_.chkMultiRow = new QCheckBox("generate MULTIROW inserts", w_.grpSQL);
  w_.cmbDialect = new QComboBox(w_.grpSQL);
  w_.cmbDialect->addItems({"Generic SQL", "SQLite", "PostgreSQL"});
  w_.cmbCharCase = new QComboBox(w_.grpSQL);
  w_.cmbCharCase->addItems({"Normal", "UpperCase", "LowerCase", "Proper"});
  w_.edtCommit = new QLineEdit(w_.grpSQL);
  w_.cmbSQLQuote = new QComboBox(w_.grpSQL);
  w_.cmbSQLQuote->setEditable(true);
  // The quote of column and table names.
  w_.cmbSQLQuote->addItems({"\"", "`"});
  w_.cmbSQLTerm = new QComboBox(w_.grpSQL);
  w_.cmbSQLTerm->setEditable(true);
  w_.cmbSQLTerm->addItem(";");
  w_.edtBatch = new QLineEdit(w_.grpSQL);
  w_.edtBatch->setValidator(new QIntValidator(0, 2147483647, w_.edtBatch));
  w_.edtBatch->setAlignment(Qt::AlignRight);
  g->addWidget(w_.chkCreateTable, 0, 0, 1, 2);
  g->addWidget(w_.chkMultiRow, 1, 0, 1, 2);
  g->addWidget(new QLabel("Database:", w_.grpSQL), 2, 0);
  g->addWidget(w_.cmbDialect, 2, 1);
  g->addWidget(new QLabel("Charset for field names:", w_.grpSQL), 3, 0);
  g->addWidget(w_.cmbCharCase, 3, 1);
  g->addWidget(new QLabel("Commit:", w_.grpSQL), 4, 0);
  g->addWidget(w_.edtCommit, 4, 1);
  g->addWidget(new QLabel("Quote:", w_.grpSQL), 5, 0);
  g->addWidget(w_.cmbSQLQuote, 5, 1);
  g->addWidget(new QLabel("SQL Term:", w_.grpSQL), 6, 0);
  g->addWidget(w_.cmbSQLTerm, 6, 1);
  g->addWidget(new QLabel("include COMMIT statement every (n) records:", w_.grpSQL), 7, 0);
  g->addWidget(w_.edtBatch, 7, 1);
  lay->addWidget(w_.grpSQL);
  lay->addStretch(1);
}

void TZelEWizStepSQL::Load(const TZelEWizardDlg&) {
  // The component's format settings are reached for reading through the component itself.
  const TZelESQLOptions& sql = Owner().SQLOptions();
  w_.chkCreateTable->setChecked(sql.AddCreateTable);
  w_.chkMultiRow->setChecked(sql.MultiRowInsert);
  w_.cmbDialect->setCurrentIndex(sql.Dialect);
  w_.cmbCharCase->setCurrentIndex(sql.FieldNameCharCase);
  w_.edtCommit->setText(Q(sql.CommitTerm));
  w_.cmbSQLQuote->setEditText(CharText(sql.SQLQuote));
  w_.cmbSQLTerm->setEditText(Q(sql.SQLTerm));
  w_.edtBatch->setText(QString::number(sql.BatchRecCount));
}

void TZelEWizStepSQL::Store(TZelEWizardDlg& o) {
  TZelESQLOptions& sql = o.SQLOptions();
  sql.AddCreateTable = w_.chkCreateTable->isChecked();
  sql.MultiRowInsert = w_.chkMultiRow->isChecked();
  sql.Dialect = static_cast<TZelESQLDialect>(std::max(0, w_.cmbDialect->currentIndex()));
  sql.FieldNameCharCase = static_cast<TZelEFieldCharCase>(std::max(0, w_.cmbCharCase->currentIndex()));
  sql.CommitTerm = S(w_.edtCommit->text());
  std::string q = S(w_.cmbSQLQuote->currentText());
  sql.SQLQuote = q.empty() ? '\0' : q[0];
  sql.SQLTerm = S(w_.cmbSQLTerm->currentText());
  bool ok = false;
  int batch = w_.edtBatch->text().toInt(&ok);
  if (ok) sql.BatchRecCount = batch;
}

void TZelEWizStepSQL::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.grpSQL, ua.SQLOptions);
}

void TZelEWizStepSQL::UpdateEnabled(TTableTypeExport, const TZelEUserAccess& ua) {
  w_.grpSQL->setEnabled(ReadWrite(ua.SQLOptions));
}

bool TZelEWizStepSQL::Visited(TTableTypeExport t, const TZelEUserAccess& ua) const {
  return Can(t, faSQLOptions) && ReadWrite(ua.SQLOptions);
}

}  // namespace korvane
