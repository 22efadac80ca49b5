#include "export/wizard/ZelEWizStepLayout.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "export/wizard/ZelEWizPreview.h"

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

void TZelEWizStepLayout::Build(QWidget* page) {
  auto* lay = new QGridLayout(page);
  w_.rbColorsFonts = new QRadioButton(Text(txColorsFonts), page);
  w_.rbDataOnly = new QRadioButton(Text(txDataOnly), page);
  w_.grpLayout = new QGroupBox(Text(txLayoutGroup), page);
  auto* gl = new QVBoxLayout(w_.grpLayout);
  w_.rbColumnar = new QRadioButton(Text(txColumnar), w_.grpLayout);
  w_.rbReversed = new QRadioButton(Text(txReversedColumnar), w_.grpLayout);
  w_.rbTabular = new QRadioButton(Text(txTabularForm), w_.grpLayout);
  gl->addWidget(w_.rbColumnar);
  gl->addWidget(w_.rbReversed);
  gl->addWidget(w_.rbTabular);
  w_.lblStyle = new QLabel(Text(txColorStyle), page);
  w_.cmbStyle = new QComboBox(page);
  for (int s = 0; s < kZelEStyleCount; ++s) w_.cmbStyle->addItem(StyleName(static_cast<TZelEStyle>(s)));
  w_.Preview = new TZelELayoutPreview(page);
  w_.Preview->setObjectName("Preview");
  lay->addWidget(w_.rbColorsFonts, 0, 0);
  lay->addWidget(w_.rbDataOnly, 1, 0);
  lay->addWidget(w_.grpLayout, 2, 0);
  lay->addWidget(w_.lblStyle, 3, 0);
  lay->addWidget(w_.cmbStyle, 4, 0);
  lay->addWidget(new QLabel(Text(txPreview), page), 0, 1);
  lay->addWidget(w_.Preview, 1, 1, 5, 1);
  lay->setRowStretch(5, 1);
  for (QRadioButton* b : {w_.rbColumnar, w_.rbReversed, w_.rbTabular})
    QObject::connect(b, &QRadioButton::toggled, &w_, [this] { UpdatePreview(); });
  QObject::connect(w_.rbColorsFonts, &QRadioButton::toggled, &w_, [this](bool on) {
    w_.cmbStyle->setEnabled(on && Owner().UserAccess.ColorStyle == erReadWrite);
    UpdatePreview();
  });
  QObject::connect(w_.cmbStyle, &QComboBox::currentIndexChanged, &w_, [this] { UpdatePreview(); });
}

void TZelEWizStepLayout::Load(const TZelEWizardDlg& o) {
  (o.Options.Has(soColorsFonts) ? w_.rbColorsFonts : w_.rbDataOnly)->setChecked(true);
  (o.Layout == elReversedColumnar ? w_.rbReversed : o.Layout == elTabularForm ? w_.rbTabular : w_.rbColumnar)
      ->setChecked(true);
  w_.cmbStyle->setCurrentIndex(o.ExportStyle.Style());
}

void TZelEWizStepLayout::Store(TZelEWizardDlg& o) {
  o.Options.Set(soColorsFonts, w_.rbColorsFonts->isChecked());
  o.Layout = w_.rbReversed->isChecked() ? elReversedColumnar : w_.rbTabular->isChecked() ? elTabularForm : elColumnar;
  o.ExportStyle.SetStyle(static_cast<TZelEStyle>(std::max(0, w_.cmbStyle->currentIndex())));
}

void TZelEWizStepLayout::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.grpLayout, ua.Layout);
  ShowFor(w_.Preview, ua.Layout);
}

void TZelEWizStepLayout::UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) {
  bool noStyle = !Can(t, faColorStyle);
  w_.rbColorsFonts->setVisible(!noStyle);
  w_.rbDataOnly->setVisible(!noStyle);
  w_.lblStyle->setVisible(!noStyle && ua.ColorStyle != erDisabled);
  w_.cmbStyle->setVisible(!noStyle && ua.ColorStyle != erDisabled);
  if (noStyle) w_.rbDataOnly->setChecked(true);
  w_.cmbStyle->setEnabled(w_.rbColorsFonts->isChecked() && ReadWrite(ua.ColorStyle));
  w_.grpLayout->setEnabled(ReadWrite(ua.Layout));
  w_.Preview->setEnabled(ReadWrite(ua.Layout));
  w_.rbReversed->setEnabled(Can(t, faReversed));
  if (!w_.rbReversed->isEnabled() && w_.rbReversed->isChecked()) w_.rbColumnar->setChecked(true);
  UpdatePreview();
}

bool TZelEWizStepLayout::Visited(TTableTypeExport t, const TZelEUserAccess& ua) const {
  return Can(t, faLayouts) && (ReadWrite(ua.Layout) || ReadWrite(ua.ColorStyle));
}

void TZelEWizStepLayout::UpdatePreview() {
  if (!w_.Preview) return;
  TZelExportStyle style;
  style.SetStyle(static_cast<TZelEStyle>(std::max(0, w_.cmbStyle->currentIndex())));
  bool colors = w_.rbColorsFonts->isChecked() && w_.rbColorsFonts->isVisible();
  w_.Preview->SetLayout(w_.rbReversed->isChecked() ? elReversedColumnar : w_.rbTabular->isChecked() ? elTabularForm
                                                                                          : elColumnar,
                     colors ? ToQColor(style.OddColor) : QColor(Qt::white),
                     colors ? ToQColor(style.EvenColor) : QColor(Qt::white));
}

}  // namespace korvane
