#include "export/wizard/ZelEWizStep.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>

#include "export/wizard/frmZelEWizard.h"

namespace korvane {

TZelEWizardDlg& TZelEWizardStep::Owner() const { return w_.Owner(); }
QString TZelEWizardStep::Text(int id) const { return wiz::Q(w_.Owner().GetLanguageString(id)); }
bool TZelEWizardStep::Filling() const { return w_.filling_; }
void TZelEWizardStep::SetFilling(bool on) { w_.filling_ = on; }
TTableTypeExport TZelEWizardStep::SelectedFormat() const { return w_.SelectedFormat(); }
void TZelEWizardStep::ApplyFormat(TTableTypeExport t, bool changeExtension) { w_.ApplyFormat(t, changeExtension); }

namespace wiz {

void ShowFor(QWidget* w, TZelERestriction r) { w->setVisible(r != erDisabled); }

char FirstChar(const QLineEdit* e) {
  std::string s = S(e->text());
  return s.empty() ? '\0' : s[0];
}

QString CharText(char c) { return c ? QString(QChar(static_cast<uchar>(c))) : QString(); }

QFont ToQFont(const TFontSpec& f) {
  QFont q(Q(f.Name));
  q.setPointSize(std::max(1, f.Size));
  q.setBold(f.Bold);
  q.setItalic(f.Italic);
  q.setUnderline(f.Underline);
  q.setStrikeOut(f.StrikeOut);
  return q;
}

}  // namespace wiz

const std::vector<TColor>& WizardSwatchColors() {
  static const std::vector<TColor> colors = [] {
    std::vector<TColor> v = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
                             0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (TColor c = 0xFF000000; c <= 0xFF000018; ++c) v.push_back(c);
    v.push_back(0xA6CAF0);
    v.push_back(0xC0DCC0);
    v.push_back(0xFFFBF0);
    return v;
  }();
  return colors;
}

int WizardSwatchIndex(TColor c) {
  const auto& v = WizardSwatchColors();
  for (size_t k = 0; k < v.size(); ++k)
    if (v[k] == c) return static_cast<int>(k);
  return 0;
}

QColor ToQColor(TColor c) {
  if ((c & 0xFF000000u) == 0xFF000000u) {
    QPalette pal = QApplication::palette();
    static const QPalette::ColorRole kRoles[25] = {
        QPalette::Button,     QPalette::Window,          QPalette::Highlight, QPalette::Mid,
        QPalette::Window,     QPalette::Base,            QPalette::Shadow,    QPalette::Text,
        QPalette::WindowText, QPalette::HighlightedText, QPalette::Button,    QPalette::Button,
        QPalette::Mid,        QPalette::Highlight,       QPalette::HighlightedText, QPalette::Button,
        QPalette::Dark,       QPalette::PlaceholderText, QPalette::ButtonText, QPalette::WindowText,
        QPalette::Light,      QPalette::Shadow,          QPalette::Midlight,  QPalette::ToolTipText,
        QPalette::ToolTipBase};
    unsigned n = c & 0xFFu;
    return n < 25 ? pal.color(kRoles[n]) : pal.color(QPalette::Window);
  }
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

}  // namespace korvane
