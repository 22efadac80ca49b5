#include "export/wizard/ZelEWizStepText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

void TZelEWizStepText::Build(QWidget* page) {
  auto* lay = new QGridLayout(page);
  w_.rbDelimited = new QRadioButton(Text(txDelimited), page);
  w_.rbFixed = new QRadioButton(Text(txFixedWidth), page);
  lay->addWidget(w_.rbDelimited, 0, 0, 1, 3);
  lay->addWidget(w_.rbFixed, 1, 0, 1, 3);
  w_.grpDelimiter = new QGroupBox(Text(txFieldDelimiter), page);
  auto* g = new QGridLayout(w_.grpDelimiter);
  w_.rbDelimNone = new QRadioButton(Text(txNone), w_.grpDelimiter);
  w_.rbDelimTab = new QRadioButton(Text(txDelimTab), w_.grpDelimiter);
  w_.rbDelimSemicolon = new QRadioButton(Text(txDelimSemicolon), w_.grpDelimiter);
  w_.rbDelimComma = new QRadioButton(Text(txDelimComma), w_.grpDelimiter);
  w_.rbDelimSpace = new QRadioButton(Text(txDelimSpace), w_.grpDelimiter);
  w_.rbDelimOther = new QRadioButton(Text(txDelimOther), w_.grpDelimiter);
  w_.edtDelimOther = new QLineEdit(w_.grpDelimiter);
  w_.edtDelimOther->setMaxLength(1);
  w_.edtDelimOther->setFixedWidth(40);
  g->addWidget(w_.rbDelimNone, 0, 0);
  g->addWidget(w_.rbDelimTab, 0, 1);
  g->addWidget(w_.rbDelimSemicolon, 0, 2);
  g->addWidget(w_.rbDelimComma, 1, 0);
  g->addWidget(w_.rbDelimSpace, 1, 1);
  g->addWidget(w_.rbDelimOther, 1, 2);
  g->addWidget(w_.edtDelimOther, 1, 3);
  lay->addWidget(w_.grpDelimiter, 2, 0, 1, 3);
  w_.lblRecordSeparator = new QLabel(Text(txRecordSeparator), page);
  w_.cmbRecordSeparator = new QComboBox(page);
  w_.cmbRecordSeparator->setEditable(true);
  w_.cmbRecordSeparator->addItems({"CRLF", "CR", "LF"});
  w_.lblQualifier = new QLabel(Text(txTextQualifier), page);
  w_.cmbQualifier = new QComboBox(page);
  w_.cmbQualifier->setEditable(true);
  w_.cmbQualifier->addItems({Text(txNone), "\"", "'"});
  lay->addWidget(w_.lblRecordSeparator, 3, 0);
  lay->addWidget(w_.cmbRecordSeparator, 3, 1);
  lay->addWidget(w_.lblQualifier, 4, 0);
  lay->addWidget(w_.cmbQualifier, 4, 1);
  lay->setRowStretch(5, 1);
  lay->setColumnStretch(2, 1);
  QObject::connect(w_.rbFixed, &QRadioButton::toggled, &w_, [this](bool on) {
    if (on && !Filling()) w_.rbDelimSpace->setChecked(true);
    ApplyFormat(SelectedFormat(), false);
  });
  QObject::connect(w_.edtDelimOther, &QLineEdit::textEdited, &w_, [this] { w_.rbDelimOther->setChecked(true); });
}

void TZelEWizStepText::Load(const TZelEWizardDlg& o) {
  (o.Fixed ? w_.rbFixed : w_.rbDelimited)->setChecked(true);
  w_.edtDelimOther->clear();
  switch (o.Separator) {
    case 0: w_.rbDelimNone->setChecked(true); break;
    case '\t': w_.rbDelimTab->setChecked(true); break;
    case ';': w_.rbDelimSemicolon->setChecked(true); break;
    case ',': w_.rbDelimComma->setChecked(true); break;
    case ' ': w_.rbDelimSpace->setChecked(true); break;
    default:
      w_.rbDelimOther->setChecked(true);
      w_.edtDelimOther->setText(CharText(o.Separator));
  }
  if (o.RecordSeparator == "\r\n") w_.cmbRecordSeparator->setCurrentIndex(0);
  else if (o.RecordSeparator == "\r") w_.cmbRecordSeparator->setCurrentIndex(1);
  else if (o.RecordSeparator == "\n") w_.cmbRecordSeparator->setCurrentIndex(2);
  else w_.cmbRecordSeparator->setEditText(Q(o.RecordSeparator));
  if (o.TextQualifier == 0) w_.cmbQualifier->setCurrentIndex(0);
  else if (o.TextQualifier == '"') w_.cmbQualifier->setCurrentIndex(1);
  else if (o.TextQualifier == '\'') w_.cmbQualifier->setCurrentIndex(2);
  else w_.cmbQualifier->setEditText(CharText(o.TextQualifier));
}

void TZelEWizStepText::Store(TZelEWizardDlg& o) {
  o.Fixed = w_.rbFixed->isChecked();
  if (w_.rbDelimNone->isChecked()) o.Separator = 0;
  else if (w_.rbDelimTab->isChecked()) o.Separator = '\t';
  else if (w_.rbDelimSemicolon->isChecked()) o.Separator = ';';
  else if (w_.rbDelimComma->isChecked()) o.Separator = ',';
  else if (w_.rbDelimSpace->isChecked()) o.Separator = ' ';
  else if (w_.rbDelimOther->isChecked()) o.Separator = w_.edtDelimOther->text().isEmpty() ? ' ' : FirstChar(w_.edtDelimOther);
  QString rs = w_.cmbRecordSeparator->currentText();
  o.RecordSeparator = rs == "CRLF" ? "\r\n" : rs == "CR" ? "\r" : rs == "LF" ? "\n" : S(rs);
  QString tq = w_.cmbQualifier->currentText();
  std::string tqs = S(tq);
  o.TextQualifier = (tq.isEmpty() || tq == Q(o.GetLanguageString(txNone))) ? '\0' : tqs[0];
}

void TZelEWizStepText::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.rbDelimited, ua.TextType);
  ShowFor(w_.rbFixed, ua.TextType);
  ShowFor(w_.grpDelimiter, ua.FieldDelimiter);
  ShowFor(w_.cmbQualifier, ua.TextQualifier);
  ShowFor(w_.lblQualifier, ua.TextQualifier);
  ShowFor(w_.cmbRecordSeparator, ua.RecordSeparator);
  ShowFor(w_.lblRecordSeparator, ua.RecordSeparator);
}

void TZelEWizStepText::UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) {
  bool textLike = Can(t, faTextOptions);
  w_.rbDelimited->setEnabled(textLike && ReadWrite(ua.TextType));
  w_.rbFixed->setEnabled(textLike && ReadWrite(ua.TextType));
  w_.grpDelimiter->setEnabled(ReadWrite(ua.FieldDelimiter));
  w_.cmbQualifier->setEnabled(ReadWrite(ua.TextQualifier));
  w_.lblQualifier->setEnabled(ReadWrite(ua.TextQualifier));
  w_.cmbRecordSeparator->setEnabled(ReadWrite(ua.RecordSeparator));
  w_.lblRecordSeparator->setEnabled(ReadWrite(ua.RecordSeparator));
}

bool TZelEWizStepText::Visited(TTableTypeExport t, const TZelEUserAccess& ua) const {
  return Can(t, faTextOptions) &&
         (ReadWrite(ua.TextType) || ReadWrite(ua.FieldDelimiter) || ReadWrite(ua.TextQualifier) || ReadWrite(ua.RecordSeparator));
}

}  // namespace korvane
