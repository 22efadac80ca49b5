#pragma once
#include <string>

namespace korvane::test {

// Folder of the real Paradox tables kept outside the repository.
std::string TestData(const std::string& relative = {});
// Path of the korvane-cli binary built with the tests.
std::string CliPath();
// A fresh, empty temporary folder for one test; removed at process exit.
std::string TempDir();
// Whole file as bytes.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace korvane::test
