#include "support/paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace korvane::test {

namespace fs = std::filesystem;

std::string TestData(const std::string& relative) {
  std::string base = KORVANE_TESTDATA;
  return relative.empty() ? base : base + "/" + relative;
}

std::string CliPath() { return KORVANE_CLI; }

namespace {
struct TempRoot {
  fs::path root;
  int counter = 0;
  TempRoot() {
    std::string tmpl = (fs::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root = tmpl;
  }
  ~TempRoot() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};
TempRoot& Root() {
  static TempRoot r;
  return r;
}
}  // namespace

std::string TempDir() {
  auto& r = Root();
  fs::path p = r.root / std::to_string(++r.counter);
  fs::create_directories(p);
  return p.string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace korvane::test
