#include "export/wizard/ZelEWizStepPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

namespace {

QPixmap PagePicture(int orientation) {
  QPixmap px(64, 64);
  px.fill(Qt::transparent);
  QPainter p(&px);
  QRect r = orientation == 2 ? QRect(4, 14, 56, 40) : QRect(12, 4, 40, 56);
  p.fillRect(r, Qt::white);
  p.setPen(Qt::black);
  p.drawRect(r);
  for (int y = r.top() + 6; y < r.bottom() - 4; y += 6) p.drawLine(r.left() + 5, y, r.right() - 5, y);
  if (orientation == 0) p.drawText(r, Qt::AlignCenter, "?");
  return px;
}

}  // namespace

void TZelEWizStepPage::Build(QWidget* page) {
  auto* lay = new QGridLayout(page);
  w_.grpOrientation = new QGroupBox(Text(txOrientation), page);
  auto* go = new QGridLayout(w_.grpOrientation);
  w_.rbOrientDefault = new QRadioButton(Text(txOrientDefault), w_.grpOrientation);
  w_.rbPortrait = new QRadioButton(Text(txPortrait), w_.grpOrientation);
  w_.rbLandscape = new QRadioButton(Text(txLandscape), w_.grpOrientation);
  w_.imgOrientation = new QLabel(w_.grpOrientation);
  go->addWidget(w_.rbOrientDefault, 0, 0);
  go->addWidget(w_.rbPortrait, 1, 0);
  go->addWidget(w_.rbLandscape, 2, 0);
  go->addWidget(w_.imgOrientation, 0, 1, 3, 1);
  w_.grpMargins = new QGroupBox(Text(txMargins), page);
  auto* gm = new QGridLayout(w_.grpMargins);
  w_.edtLeft = new QLineEdit(w_.grpMargins);
  w_.edtTop = new QLineEdit(w_.grpMargins);
  w_.edtRight = new QLineEdit(w_.grpMargins);
  w_.edtBottom = new QLineEdit(w_.grpMargins);
  gm->addWidget(new QLabel(Text(txMarginLeft), w_.grpMargins), 0, 0);
  gm->addWidget(w_.edtLeft, 0, 1);
  gm->addWidget(new QLabel(Text(txMarginTop), w_.grpMargins), 1, 0);
  gm->addWidget(w_.edtTop, 1, 1);
  gm->addWidget(new QLabel(Text(txMarginRight), w_.grpMargins), 2, 0);
  gm->addWidget(w_.edtRight, 2, 1);
  gm->addWidget(new QLabel(Text(txMarginBottom), w_.grpMargins), 3, 0);
  gm->addWidget(w_.edtBottom, 3, 1);
  w_.chkAutofit = new QCheckBox(Text(txAutofit), page);
  lay->addWidget(w_.grpOrientation, 0, 0);
  lay->addWidget(w_.grpMargins, 0, 1);
  lay->addWidget(w_.chkAutofit, 1, 0, 1, 2);
  lay->setRowStretch(2, 1);
  auto pic = [this] {
    w_.imgOrientation->setPixmap(PagePicture(w_.rbLandscape->isChecked() ? 2 : w_.rbPortrait->isChecked() ? 1 : 0));
  };
  for (QRadioButton* b : {w_.rbOrientDefault, w_.rbPortrait, w_.rbLandscape}) QObject::connect(b, &QRadioButton::toggled, &w_, pic);
}

void TZelEWizStepPage::Load(const TZelEWizardDlg& o) {
  const TZelEPageSetup& ps = o.PageSetup;
  (ps.Orientation == emPortrait ? w_.rbPortrait : ps.Orientation == emLandscape ? w_.rbLandscape : w_.rbOrientDefault)
      ->setChecked(true);
  w_.imgOrientation->setPixmap(PagePicture(ps.Orientation));
  TFormatSettings fs;
  w_.edtLeft->setText(Q(FloatToStr(ps.LeftMargin, fs)));
  w_.edtTop->setText(Q(FloatToStr(ps.TopMargin, fs)));
  w_.edtRight->setText(Q(FloatToStr(ps.RightMargin, fs)));
  w_.edtBottom->setText(Q(FloatToStr(ps.BottomMargin, fs)));
  w_.chkAutofit->setChecked(o.AutoFitColumns);
}

void TZelEWizStepPage::Store(TZelEWizardDlg& o) {
  TZelEPageSetup& ps = o.PageSetup;
  ps.Orientation = w_.rbPortrait->isChecked() ? emPortrait : w_.rbLandscape->isChecked() ? emLandscape : emDefault;
  auto margin = [](const QLineEdit* e, float& v) {
    std::string s = S(e->text());
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    if (!s.empty() && end && *end == '\0') v = static_cast<float>(d);
  };
  margin(w_.edtLeft, ps.LeftMargin);
  margin(w_.edtTop, ps.TopMargin);
  margin(w_.edtRight, ps.RightMargin);
  margin(w_.edtBottom, ps.BottomMargin);
  o.AutoFitColumns = w_.chkAutofit->isChecked();
}

void TZelEWizStepPage::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.grpOrientation, ua.PageOrientation);
  ShowFor(w_.grpMargins, ua.PageMargins);
}

void TZelEWizStepPage::UpdateEnabled(TTableTypeExport t, const TZelEUserAccess& ua) {
  w_.grpOrientation->setEnabled(ReadWrite(ua.PageOrientation));
  w_.grpMargins->setEnabled(ReadWrite(ua.PageMargins));
  w_.chkAutofit->setEnabled(Can(t, faAutoFit));
}

bool TZelEWizStepPage::Visited(TTableTypeExport t, const TZelEUserAccess& ua) const {
  return Can(t, faPageSetup) && (ReadWrite(ua.PageOrientation) || ReadWrite(ua.PageMargins) || Can(t, faAutoFit));
}

}  // namespace korvane
