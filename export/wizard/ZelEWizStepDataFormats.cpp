#include "export/wizard/ZelEWizStepDataFormats.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

void UpdateFormatsEnabled(QGroupBox& formats, const QCheckBox& originalTypes, bool editable) {
  const bool apply = !originalTypes.isChecked();
  formats.setEnabled(editable && apply);
  formats.setToolTip(apply ? QString()
                           : QStringLiteral("These settings apply when \"export the original value types\" "
                                            "is not checked."));
}

void TZelEWizStepDataFormats::Build(QWidget* page) {
  auto* lay = new QVBoxLayout(page);
  w_.grpFormats = new QGroupBox(Text(txDataFormatsGroup), page);
  auto* g = new QGridLayout(w_.grpFormats);
  w_.cmbDateOrder = new QComboBox(w_.grpFormats);
  for (int id = txFirstDateOrder; id <= txLastDateOrder; ++id) w_.cmbDateOrder->addItem(Text(id));
  auto edit = [this](int width) {
    auto* e = new QLineEdit(w_.grpFormats);
    e->setFixedWidth(width);
    return e;
  };
  w_.edtDateSep = edit(40);
  w_.edtTimeSep = edit(40);
  w_.edtDecimal = edit(40);
  w_.edtThousand = edit(40);
  w_.edtCurrency = edit(80);
  w_.edtTrue = edit(100);
  w_.edtFalse = edit(100);
  for (QLineEdit* e : {w_.edtDateSep, w_.edtTimeSep, w_.edtDecimal, w_.edtThousand}) e->setMaxLength(1);
  w_.chkFourDigit = new QCheckBox(Text(txFourDigitYears), w_.grpFormats);
  w_.chkLeadingZeros = new QCheckBox(Text(txLeadingZeros), w_.grpFormats);
  // The labels' mnemonics (Alt + the underlined letter) move to their boxes.
  auto label = [this](const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, w_.grpFormats);
    l->setBuddy(buddy);
    return l;
  };
  g->addWidget(label(Text(txDateOrder), w_.cmbDateOrder), 0, 0);
  g->addWidget(w_.cmbDateOrder, 0, 1);
  g->addWidget(label(Text(txDateDelimiter), w_.edtDateSep), 1, 0);
  g->addWidget(w_.edtDateSep, 1, 1);
  g->addWidget(label(Text(txTimeDelimiter), w_.edtTimeSep), 2, 0);
  g->addWidget(w_.edtTimeSep, 2, 1);
  g->addWidget(w_.chkFourDigit, 3, 0, 1, 2);
  g->addWidget(w_.chkLeadingZeros, 4, 0, 1, 2);
  g->addWidget(label(Text(txDecimalSymbol), w_.edtDecimal), 0, 2);
  g->addWidget(w_.edtDecimal, 0, 3);
  g->addWidget(label(Text(txThousandSeparator), w_.edtThousand), 1, 2);
  g->addWidget(w_.edtThousand, 1, 3);
  g->addWidget(label(Text(txCurrencySymbol), w_.edtCurrency), 2, 2);
  g->addWidget(w_.edtCurrency, 2, 3);
  g->addWidget(label(Text(txLogicalValues), w_.edtTrue), 3, 2);
  auto* logical = new QHBoxLayout;
  logical->addWidget(w_.edtTrue);
  logical->addWidget(w_.edtFalse);
  g->addLayout(logical, 4, 2, 1, 2);
  lay->addWidget(w_.grpFormats);
  lay->addStretch(1);
}

void TZelEWizStepDataFormats::Load(const TZelEWizardDlg& o) {
  const TZelEDataFormats& df = o.DataFormats;
  w_.cmbDateOrder->setCurrentIndex(df.DateOrder);
  w_.edtDateSep->setText(CharText(df.DateSeparator));
  w_.edtTimeSep->setText(CharText(df.TimeSeparator));
  w_.chkFourDigit->setChecked(df.FourDigitYear);
  w_.chkLeadingZeros->setChecked(df.LeadingZerosInDate);
  w_.edtDecimal->setText(CharText(df.DecimalSeparator));
  w_.edtThousand->setText(CharText(df.ThousandSeparator));
  w_.edtCurrency->setText(Q(df.CurrencyString));
  w_.edtTrue->setText(Q(df.BooleanTrue));
  w_.edtFalse->setText(Q(df.BooleanFalse));
}

void TZelEWizStepDataFormats::Store(TZelEWizardDlg& o) {
  TZelEDataFormats& df = o.DataFormats;
  df.DateOrder = static_cast<TZelEDateOrder>(std::max(0, w_.cmbDateOrder->currentIndex()));
  df.DateSeparator = FirstChar(w_.edtDateSep);
  df.TimeSeparator = FirstChar(w_.edtTimeSep);
  df.FourDigitYear = w_.chkFourDigit->isChecked();
  df.LeadingZerosInDate = w_.chkLeadingZeros->isChecked();
  TFormatSettings regional = o.Services().RegionalSettings();
  df.DecimalSeparator = w_.edtDecimal->text().isEmpty() ? regional.DecimalSeparator : FirstChar(w_.edtDecimal);
  df.ThousandSeparator = w_.edtThousand->text().isEmpty() ? regional.ThousandSeparator : FirstChar(w_.edtThousand);
  df.CurrencyString = w_.edtCurrency->text().isEmpty() ? regional.CurrencyString : S(w_.edtCurrency->text());
  df.BooleanTrue = S(w_.edtTrue->text());
  df.BooleanFalse = S(w_.edtFalse->text());
}

void TZelEWizStepDataFormats::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.grpFormats, ua.DataFormats);
}

void TZelEWizStepDataFormats::UpdateEnabled(TTableTypeExport, const TZelEUserAccess& ua) {
  UpdateFormatsEnabled(*w_.grpFormats, *w_.chkOriginalTypes, ReadWrite(ua.DataFormats));
}

bool TZelEWizStepDataFormats::Visited(TTableTypeExport, const TZelEUserAccess& ua) const {
  return ReadWrite(ua.DataFormats);
}

}  // namespace korvane
