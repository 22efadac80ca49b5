#pragma once
#include <string>
#include <vector>

namespace korvane::cli {

// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitError = 1;  // the engine or a writer reported a failure
constexpr int kExitUsage = 2;  // bad arguments

// Thrown by a command for a bad argument; main prints it with the usage text.
struct UsageError {
  std::string message;
};

// Each command gets the arguments after its name.
int CmdInfo(const std::vector<std::string>& args);
int CmdDump(const std::vector<std::string>& args);
int CmdGenerate(const std::vector<std::string>& args);
int CmdExport(const std::vector<std::string>& args);
int CmdPrint(const std::vector<std::string>& args);

}  // namespace korvane::cli
