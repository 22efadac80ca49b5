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

}  // namespace korvane::cli

namespace korvane {
class TPdx;
}

namespace korvane::cli {

// An encrypted table cannot be read: raises the error that says so.
void RefuseEncrypted(const TPdx& table);
// One warning line on stderr per problem that keeps the table from being read whole
// (memo file, file cut short).
void WarnReadProblems(const TPdx& table);
// Rethrows the exception being handled; a broken block chain gets the hint to --salvage.
[[noreturn]] void RethrowWithSalvageHint(const TPdx& table);
// After a salvage read: the values read as empty and the memos cut, on stderr.
// Answers whether anything of the table was lost (the chain was broken, values or
// memo text could not be read).
bool ReportSalvage(const TPdx& table);
// --encoding auto: the code page the table's text looks like when it clearly beats the
// header's (said on stderr), else 0 (the header's).
int AutoCodePage(const TPdx& table);

// The whole command line (main calls it; test builds with formats of their own too).
int CliMain(int argc, char** argv);

// Each command gets the arguments after its name.
int CmdInfo(const std::vector<std::string>& args);
int CmdDump(const std::vector<std::string>& args);
int CmdGenerate(const std::vector<std::string>& args);
int CmdExport(const std::vector<std::string>& args);
int CmdPrint(const std::vector<std::string>& args);

}  // namespace korvane::cli
