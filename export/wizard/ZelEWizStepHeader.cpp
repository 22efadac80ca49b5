#include "export/wizard/ZelEWizStepHeader.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

using namespace wiz;

void TZelEWizStepHeader::Build(QWidget* page) {
  auto* lay = new QVBoxLayout(page);
  w_.lblHeader = new QLabel(Text(txHeader), page);
  w_.memHeader = new QPlainTextEdit(page);
  w_.lblFooter = new QLabel(Text(txFooter), page);
  w_.memFooter = new QPlainTextEdit(page);
  lay->addWidget(w_.lblHeader);
  lay->addWidget(w_.memHeader);
  lay->addWidget(w_.lblFooter);
  lay->addWidget(w_.memFooter);
}

void TZelEWizStepHeader::Load(const TZelEWizardDlg& o) {
  auto join = [](const std::vector<std::string>& lines) {
    QStringList l;
    for (const std::string& s : lines) l << Q(s);
    return l.join('\n');
  };
  w_.memHeader->setPlainText(join(o.Header));
  w_.memFooter->setPlainText(join(o.Footer));
}

void TZelEWizStepHeader::Store(TZelEWizardDlg& o) {
  auto lines = [](const QPlainTextEdit* m) {
    std::vector<std::string> out;
    QString text = m->toPlainText();
    if (text.isEmpty()) return out;
    for (const QString& l : text.split('\n')) out.push_back(S(l));
    return out;
  };
  o.Header = lines(w_.memHeader);
  o.Footer = lines(w_.memFooter);
}

void TZelEWizStepHeader::ApplyAccess(const TZelEUserAccess& ua) {
  ShowFor(w_.memHeader, ua.Header);
  ShowFor(w_.lblHeader, ua.Header);
  ShowFor(w_.memFooter, ua.Footer);
  ShowFor(w_.lblFooter, ua.Footer);
}

void TZelEWizStepHeader::UpdateEnabled(TTableTypeExport, const TZelEUserAccess& ua) {
  w_.memHeader->setEnabled(ReadWrite(ua.Header));
  w_.lblHeader->setEnabled(ReadWrite(ua.Header));
  w_.memFooter->setEnabled(ReadWrite(ua.Footer));
  w_.lblFooter->setEnabled(ReadWrite(ua.Footer));
}

bool TZelEWizStepHeader::Visited(TTableTypeExport t, const TZelEUserAccess& ua) const {
  return Can(t, faHeaderFooter) && (ReadWrite(ua.Header) || ReadWrite(ua.Footer));
}

}  // namespace korvane
