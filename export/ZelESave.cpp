// Saving and loading export settings files on disk, with the dialogs the
// services offer.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "export/ExportDS.h"
#include "export/ZelEOutput.h"

namespace korvane {

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool TZelExportBaseComponent::SaveSpecification(const std::string& specName, const std::string& fileName,
                                                bool showDialog) {
  std::string name = specName;
  std::string file = fileName;
  if (showDialog) {
    if (name.empty()) name = "Export specification";
    if (file.empty()) {
      std::string folder = SpecificationDir.empty() ? Services().ProgramFolder() : SpecificationDir;
      if (!folder.empty() && folder.back() != '/') folder += '/';
      file = folder + ".zele";
    }
    // Cancel in the dialog saves nothing.
    if (!Services().AskSaveSpecification(name, file)) return false;
  }
  if (name.empty() || file.empty()) return false;
  if (OnBeforeSaveSpecification) OnBeforeSaveSpecification(*this, file);
  std::string text;
  SaveSpecificationToStream(text, name);
  auto out = TZelEFileStream::Create(file);
  out->Write(text);
  out->Commit();
  if (OnAfterSaveSpecification) OnAfterSaveSpecification(*this, file);
  return true;
}

bool TZelExportBaseComponent::LoadSpecification(const std::string& fileName) {
  std::string file = fileName;
  if (file.empty() && !Services().AskOpenSpecification(file)) return false;
  if (file.empty() || !IsFile(file)) return false;
  if (OnBeforeLoadSpecification) OnBeforeLoadSpecification(*this, file);
  // A settings file is a page of settings; anything far larger is not one and is
  // not read into memory.
  constexpr off_t kMaxSpecificationSize = 16 << 20;
  struct stat st;
  if (::stat(file.c_str(), &st) == 0 && st.st_size > kMaxSpecificationSize)
    throw EZelExportError("The file \"" + file + "\" is too large to be an export settings file");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EZelExportError("Cannot open file \"" + file + "\"");
  std::stringstream ss;
  ss << in.rdbuf();
  LoadSpecificationFromStream(ss.str());
  if (OnAfterLoadSpecification) OnAfterLoadSpecification(*this, file);
  return true;
}

}  // namespace korvane
