#include "export/wizard/ZelEWizStepOrigin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

void TZelEWizStepOrigin::Build(QWidget* page) {
  auto* lay = new QGridLayout(page);
  lay->addWidget(new QLabel(Text(txFileOrigin), page), 0, 0);
  w_.cmbFileOrigin = new QComboBox(page);
  w_.cmbFileOrigin->addItems({"ANSI (Windows)", "ASCII (MS_DOS)"});
  lay->addWidget(w_.cmbFileOrigin, 0, 1);
  w_.chkSelectedRecord = new QCheckBox(Text(txSelectedRecords), page);
  w_.chkAddTitle = new QCheckBox(Text(txIncludeTitles), page);
  w_.chkBlankRow = new QCheckBox(Text(txBlankRowAfterNames), page);
  w_.chkBlankIfZero = new QCheckBox(Text(txBlankIfZero), page);
  w_.chkOriginalTypes = new QCheckBox(Text(txOriginalTypes), page);
  int r = 1;
  for (QCheckBox* c : {w_.chkSelectedRecord, w_.chkAddTitle, w_.chkBlankRow, w_.chkBlankIfZero, w_.chkOriginalTypes})
    lay->addWidget(c, r++, 0, 1, 2);
  w_.chkBlankRow->setContentsMargins(20, 0, 0, 0);
  lay->setRowStretch(r, 1);
  lay->setColumnStretch(2, 1);
  QObject::connect(w_.chkAddTitle, &QCheckBox::toggled, &w_, [this](bool on) {
    w_.chkBlankRow->setEnabled(on && w_.chkAddTitle->isEnabled());
  });
  QObject::connect(w_.chkOriginalTypes, &QCheckBox::toggled, &w_, [this] {
    // Step 5 is built by then: the box changes only once the window is up.
    UpdateFormatsEnabled(*w_.grpFormats, *w_.chkOriginalTypes, Owner().UserAccess.DataFormats == erReadWrite);
  });
}

void TZelEWizStepOrigin::Load(const TZelEWizardDlg& o) {
  w_.cmbFileOrigin->setCurrentIndex(o.CharacterSet == csASCII_MSDOS ? 1 : 0);
  w_.chkSelectedRecord->setChecked(o.SelectedRecord);
  w_.chkAddTitle->setChecked(o.AddTitle);
  w_.chkBlankRow->setChecked(o.Options.Has(soBlankRowAfterCaptions));
  w_.chkBlankIfZero->setChecked(o.BlankIfZero);
  w_.chkOriginalTypes->setChecked(!o.Options.Has(soFieldMask));
}

void TZelEWizStepOrigin::Store(TZelEWizardDlg& o) {
  o.CharacterSet = w_.cmbFileOrigin->currentIndex() == 1 ? csASCII_MSDOS : csANSI_WINDOWS;
  o.SelectedRecord = w_.chkSelectedRecord->isChecked() && w_.chkSelectedRecord->isEnabled();
  o.AddTitle = w_.chkAddTitle->isChecked();
  o.Options.Set(soBlankRowAfterCaptions, w_.chkBlankRow->isChecked());
  o.BlankIfZero = w_.chkBlankIfZero->isChecked();
  o.Options.Set(soFieldMask, !w_.chkOriginalTypes->isChecked());
}

void TZelEWizStepOrigin::UpdateEnabled(TTableTypeExport t, const TZelEUserAccess&) {
  w_.chkSelectedRecord->setEnabled(Owner().Engine() && Owner().Engine()->SupportsSelection());
  w_.chkAddTitle->setEnabled(Can(t, faTitles));
  w_.chkBlankRow->setEnabled(w_.chkAddTitle->isEnabled() && w_.chkAddTitle->isChecked());
  // Every format can write the plain values or the texts of step 5.
  w_.chkOriginalTypes->setEnabled(true);
  // Formats that write UTF-8 whatever the origin says have no choice to offer.
  const bool origin = Can(t, faCharacterSet);
  w_.cmbFileOrigin->setEnabled(origin);
  w_.cmbFileOrigin->setToolTip(origin ? QString()
                                      : QStringLiteral("This format writes its text as UTF-8, whatever the "
                                                       "file origin says."));
}

// Every setting of the data origin is shown to every user and every format.
void TZelEWizStepOrigin::ApplyAccess(const TZelEUserAccess&) {}
bool TZelEWizStepOrigin::Visited(TTableTypeExport, const TZelEUserAccess&) const { return true; }

}  // namespace korvane
