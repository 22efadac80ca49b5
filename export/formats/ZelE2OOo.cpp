#include "export/formats/ZelE2OOo.h"

#include <algorithm>

#include "export/ZelEMonitor.h"

namespace korvane {

TZelExportToOpenOffice::TZelExportToOpenOffice() {
  FileName = "ZelExport.ODT";
  SetTableType(teOpenOffice);
}

void TZelExportToOpenOffice::GetDefaultExt(std::string& ext) const {
  ext = FilterExtension(FilterName);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void TZelExportToOpenOffice::Assign(const TZelECustomBaseComponent& source) {
  TZelEOfficeTextWriter::Assign(source);
  if (auto* o = dynamic_cast<const TZelExportToOpenOffice*>(&source); o && o != this) {
    FilterName = o->FilterName;
    UseCurrentInstance = o->UseCurrentInstance;
  } else if (auto* m = dynamic_cast<const TZelExportMonitor*>(&source)) {
    // The filter chosen in the wizard reaches the writer through the monitor.
    FilterName = m->FilterName;
  }
}

void TZelExportToOpenOffice::ListFilterNames(std::vector<std::string>& names) {
  names = {"AportisDoc Palm DB", "BMP - MS Windows", "CGM - Computer Graphics Metafile", "DIF",
           "DXF - AutoCAD Interchange", "DocBook File", "EMF - MS Windows Metafile", "EPS - Encapsulated PostScript",
           "Flat XML File", "GIF - Graphics Interchange", "HTML", "HTML (StarCalc)", "HTML (StarWriter)",
           "JPG - JPEG", "Lotus", "MS Excel 4.0", "MS Excel 5.0/95", "MS Excel 95", "MS Excel 97",
           "MS PowerPoint 97", "MS WinWord 6.0", "MS Word 95", "MS Word 97", "MathML XML (Math)", "MathType 3.x",
           "Microsoft Word 2003 XML", "PBM - Portable Bitmap", "PCT - Mac Pict", "PCX - Zsoft Paintbrush",
           "PGM - Portable Graymap", "PNG - Portable Network Graphic", "PPM - Portable Pixelmap",
           "PSD - Adobe Photoshop", "RAS - Sun Rasterfile", "Rich Text Format", "Rich Text Format (StarCalc)",
           "SGF - StarOffice Writer SGF", "SGV - StarDraw 2.0", "SVM - StarView Metafile", "SYLK", "StarCalc 1.0",
           "StarCalc 3.0", "StarCalc 4.0", "StarCalc 5.0", "StarDraw 3.0", "StarDraw 3.0 (StarImpress)",
           "StarDraw 5.0", "StarDraw 5.0 (StarImpress)", "StarImpress 4.0", "StarImpress 5.0",
           "StarImpress 5.0 (packed)", "StarMath 2.0", "StarMath 3.0", "StarMath 4.0", "StarMath 5.0",
           "StarOffice XML (Calc)", "StarOffice XML (Chart)", "StarOffice XML (Draw)", "StarOffice XML (Impress)",
           "StarOffice XML (Math)", "StarOffice XML (Writer)", "StarWriter 1.0", "StarWriter 2.0", "StarWriter 3.0",
           "StarWriter 4.0", "StarWriter 5.0", "StarWriter DOS", "TGA - Truevision TARGA", "TIF - Tag Image File",
           "Text", "Text (StarWriter/Web)", "Text (encoded)", "Text - txt - csv (StarCalc)", "WMF - MS Windows Metafile",
           "XBM - X-Consortium", "XHTML File", "XPM", "bmp_Export", "calc_HTML_WebQuery", "calc_pdf_Export", "dBase",
           "emf_Export", "eps_Export", "gif_Export", "impress_StarOffice_XML_Draw", "impress_flash_Export",
           "impress_gif_Export", "impress_html_Export", "impress_pdf_Export", "impress_svg_Export", "jpg_Export",
           "math_pdf_Export", "writer_StarOffice_XML_Writer_Template", "writer_pdf_Export", "writer_web_HTML_help",
           "writer_web_StarOffice_XML_Writer", "writer_web_pdf_Export", "xpm_Export"};
}

const std::vector<std::string>& TZelExportToOpenOffice::TextDocumentFilters() {
  static const std::vector<std::string> names = {"MS Word 97",        "writer8",          "MS Word 2007 XML",
                                                 "Rich Text Format",  "HTML (StarWriter)", "DocBook File",
                                                 "Text",              "Text (encoded)",    "writer_pdf_Export"};
  return names;
}

std::string TZelExportToOpenOffice::FilterExtension(const std::string& filter) {
  static const std::pair<const char*, const char*> kExt[] = {
      {"MS Word 97", ".doc"},         {"writer8", ".odt"},        {"MS Word 2007 XML", ".docx"},
      {"Rich Text Format", ".rtf"},   {"HTML (StarWriter)", ".html"}, {"DocBook File", ".xml"},
      {"Text", ".txt"},               {"Text (encoded)", ".txt"}, {"writer_pdf_Export", ".pdf"}};
  for (const auto& [f, e] : kExt)
    if (filter == f) return e;
  return ".odt";
}

void TZelExportToOpenOffice::StoreFilter(const std::string&, std::string& filter, std::string& extension) {
  filter = FilterName.empty() ? std::string("MS Word 97") : FilterName;
  extension = FilterExtension(filter);
}

void TZelExportToOpenOffice::CheckFilter(office::TSuite& suite, const std::string& filter) {
  const std::vector<std::string> usable = suite.TextExportFilters();
  if (std::find(usable.begin(), usable.end(), filter) != usable.end()) return;
  std::string list;
  for (const std::string& f : TextDocumentFilters()) {
    if (std::find(usable.begin(), usable.end(), f) == usable.end()) continue;
    list += list.empty() ? "\"" : ", \"";
    list += f + "\"";
  }
  throw EZelExportError("The filter \"" + filter + "\" cannot store a text document; choose one of " + list + ".");
}

}  // namespace korvane
