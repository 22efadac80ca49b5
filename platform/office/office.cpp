// The office suite behind the Excel, Word and office-document writers: a
// headless soffice of our own, with a private profile, reached through the UNO
// plugin (loaded with dlopen only when such a format runs, so that every other
// format works without LibreOffice).

#include "platform/office/office.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

extern char** environ;

namespace korvane::office {

namespace {

TSuiteFactory& Factory() {
  static TSuiteFactory f;
  return f;
}

// The plugin's entry: connects to the soffice of pid listening on pipe, within
// timeoutMs; nullptr with a message in error when it cannot.
using TConnect = TSuite* (*)(const char* pipe, int pid, int timeoutMs, char* error, size_t errorSize);

std::string Dir(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string ProgramDir() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return Dir(std::string(buf, static_cast<size_t>(n)));
}

bool IsFile(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The program on PATH (or as given with a slash), "" when there is none.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t at = 0;
  while (at <= all.size()) {
    size_t end = all.find(':', at);
    if (end == std::string::npos) end = all.size();
    std::string dir = all.substr(at, end - at);
    if (dir.empty()) dir = ".";
    const std::string p = dir + "/" + name;
    if (IsFile(p) && ::access(p.c_str(), X_OK) == 0) return p;
    at = end + 1;
  }
  return {};
}

// The plugin file: $KORVANE_OFFICE_PLUGIN, the one this build made, or one beside the program.
const std::string& PluginPath() {
  static std::string path;
  static std::once_flag once;
  std::call_once(once, [] {
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("KORVANE_OFFICE_PLUGIN"); env && *env) candidates.emplace_back(env);
#ifdef KORVANE_OFFICE_PLUGIN_PATH
    candidates.emplace_back(KORVANE_OFFICE_PLUGIN_PATH);
#endif
    candidates.push_back(ProgramDir() + "/libkorvane_office_uno.so");
    candidates.push_back(ProgramDir() + "/../lib/korvane/libkorvane_office_uno.so");
    for (const std::string& c : candidates)
      if (IsFile(c)) {
        path = c;
        return;
      }
  });
  return path;
}

struct TPlugin {
  void* Handle = nullptr;
  TConnect Connect = nullptr;
  std::string Error;
};

// Loaded on first use only: the other formats never load LibreOffice's libraries.
const TPlugin& Plugin() {
  static TPlugin plugin;
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string& c = PluginPath();
    if (c.empty()) {
      plugin.Error = "this build has no office plugin (it needs the LibreOffice SDK, package libreoffice-dev)";
      return;
    }
    plugin.Handle = ::dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin.Handle) {
      const char* e = ::dlerror();
      plugin.Error = e ? e : "cannot load " + c;
      return;
    }
    plugin.Connect = reinterpret_cast<TConnect>(::dlsym(plugin.Handle, "korvane_office_connect"));
    if (!plugin.Connect) plugin.Error = c + " is no office plugin of this program";
  });
  return plugin;
}

// "7.4" of "LibreOffice 7.4.7.2 40(Build:2)".
std::string InstalledVersion(const std::string& soffice) {
  static std::string version;
  static std::once_flag once;
  std::call_once(once, [&] {
    const std::string cmd = "'" + soffice + "' --version 2>/dev/null";
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
      char buf[512];
      std::string out;
      while (std::fgets(buf, sizeof buf, p)) out += buf;
      ::pclose(p);
      const size_t sp = out.find(' ');
      if (sp != std::string::npos) {
        const size_t d1 = out.find('.', sp);
        const size_t d2 = d1 == std::string::npos ? d1 : out.find_first_of(". ", d1 + 1);
        if (d2 != std::string::npos) version = out.substr(sp + 1, d2 - sp - 1);
      }
    }
  });
  return version;
}

void RemoveTree(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

// A running soffice of ours and the suite the plugin made over its pipe. Ends
// the process when destroyed: asks the suite to terminate, waits 10 s, then
// kills it.
class TProcessSuite : public TSuite {
 public:
  TProcessSuite(pid_t pid, std::string profile, TSuite* inner) : pid_(pid), profile_(std::move(profile)), inner_(inner) {}
  ~TProcessSuite() override {
    delete inner_;  // closes the connection after asking the desktop to terminate
    Reap();
    RemoveTree(profile_);
  }
  std::unique_ptr<TWorkbook> NewWorkbook() override { return inner_->NewWorkbook(); }
  std::unique_ptr<TWorkbook> OpenWorkbook(const std::string& p) override { return inner_->OpenWorkbook(p); }
  std::unique_ptr<TDocument> NewDocument() override { return inner_->NewDocument(); }
  std::unique_ptr<TDocument> OpenDocument(const std::string& p) override { return inner_->OpenDocument(p); }
  std::vector<std::string> TextExportFilters() override { return inner_->TextExportFilters(); }

  // Waits up to 10 s for the process to end, then kills it.
  static void EndProcess(pid_t pid) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= until) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

 private:
  void Reap() {
    if (pid_ > 0) EndProcess(pid_);
    pid_ = -1;
  }
  pid_t pid_;
  std::string profile_;
  TSuite* inner_;
};

}  // namespace

void SetOfficeFactory(TSuiteFactory factory) { Factory() = std::move(factory); }

std::string FileUrl(const std::string& path) {
  std::string abs = path;
  if (abs.empty() || abs[0] != '/') {
    char buf[4096];
    std::string cwd = ::getcwd(buf, sizeof buf) ? buf : "/";
    abs = cwd + (cwd.size() > 1 ? "/" : "") + path;
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : abs) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

std::vector<std::string> SofficeArguments(const TProcessOptions& o) {
  return {o.Program,
          "--headless",
          "--invisible",
          "--norestore",
          "--nologo",
          "--nodefault",
          "--nolockcheck",
          "-env:UserInstallation=" + FileUrl(o.Profile),
          "--accept=pipe,name=" + o.PipeName + ";urp;"};
}

void PrepareProfile(const std::string& profile, const std::string& version) {
  const std::string user = profile + "/user";
  ::mkdir(profile.c_str(), 0700);
  ::mkdir(user.c_str(), 0700);
  std::ofstream f(user + "/registrymodifications.xcu", std::ios::binary | std::ios::trunc);
  f << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
       "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  if (!version.empty())
    f << "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
         "oor:op=\"fuse\"><value>"
      << version << "</value></prop></item>\n";
  f << "<item oor:path=\"/org.openoffice.Setup/Office\"><prop oor:name=\"FirstStartWizardCompleted\" "
       "oor:op=\"fuse\"><value>true</value></prop></item>\n"
       "</oor:items>\n";
  if (!f) throw std::runtime_error("cannot write the office profile in " + profile);
}

std::string OfficeUnavailable(TApp app) {
  if (Factory()) return {};
  const char* package = app == TApp::Calc ? "libreoffice-calc-nogui" : "libreoffice-writer-nogui";
  static std::string soffice = FindProgram("soffice");
  if (soffice.empty()) return std::string("LibreOffice is not installed (package ") + package + ")";
  // The application's own library tells whether that part of the suite is there.
  const char* lib = app == TApp::Calc ? "/usr/lib/libreoffice/program/libsclo.so"
                                      : "/usr/lib/libreoffice/program/libswlo.so";
  if (!IsFile(lib) && IsFile("/usr/lib/libreoffice/program/soffice.bin"))
    return std::string("LibreOffice ") + (app == TApp::Calc ? "Calc" : "Writer") + " is not installed (package " +
           package + ")";
  if (PluginPath().empty())
    return "this build has no office plugin (it needs the LibreOffice SDK, package libreoffice-dev)";
  return {};
}

std::unique_ptr<TSuite> StartOffice(TApp app) {
  if (Factory()) return Factory()(app);
  const std::string missing = OfficeUnavailable(app);
  if (!missing.empty()) throw std::runtime_error(missing);
  if (!Plugin().Connect) throw std::runtime_error(Plugin().Error);
  const std::string soffice = FindProgram("soffice");
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-office-XXXXXX";
  if (!::mkdtemp(folder.data())) throw std::runtime_error("cannot make a folder for the office profile");
  TProcessOptions o;
  o.Program = soffice;
  o.Profile = folder + "/profile";
  o.PipeName = "korvane-" + std::to_string(::getpid()) + "-" + folder.substr(folder.size() - 6);
  o.Version = InstalledVersion(soffice);
  try {
    PrepareProfile(o.Profile, o.Version);
  } catch (...) {
    RemoveTree(folder);
    throw;
  }
  std::vector<std::string> args = SofficeArguments(o);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group: a Ctrl-C at the terminal reaches our run, which ends
  // the suite itself.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, soffice.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    RemoveTree(folder);
    throw std::runtime_error("cannot start " + soffice + ": " + std::strerror(rc));
  }
  char error[1024] = "";
  TSuite* inner = Plugin().Connect(o.PipeName.c_str(), static_cast<int>(pid), 60000, error, sizeof error);
  if (!inner) {
    ::kill(pid, SIGTERM);
    TProcessSuite::EndProcess(pid);
    RemoveTree(folder);
    throw std::runtime_error(std::string("cannot reach LibreOffice: ") + error);
  }
  return std::make_unique<TProcessSuite>(pid, folder, inner);
}

}  // namespace korvane::office
