#include "platform/services.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string_view>
#include <vector>

extern char** environ;

namespace korvane {

namespace {

// Runs a program found on PATH with the given arguments and waits for it;
// optionally feeds `input` to its standard input. Answers its exit status, or
// -1 when it could not be started.
// With `output` its standard output is collected there. Its standard error is
// ours, /dev/null (a clipboard helper stays behind to serve the selection and
// must not hold our standard error open), or collected with the output.
enum class TErrors { Inherit, Null, ToOutput };
// Receives a program's standard output piece by piece; answering false stops
// reading (the program's further writes fail).
using TOutputSink = std::function<bool(std::string_view)>;

int RunProgramTo(const std::vector<std::string>& argv, const std::string* input, const TOutputSink* output,
                 TErrors errors) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  int pipefd[2] = {-1, -1};
  if (input) {
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
      posix_spawn_file_actions_destroy(&fa);
      return -1;
    }
    posix_spawn_file_actions_adddup2(&fa, pipefd[0], 0);
  }
  int outfd[2] = {-1, -1};
  if (output) {
    if (::pipe2(outfd, O_CLOEXEC) != 0) {
      if (input) {
        ::close(pipefd[0]);
        ::close(pipefd[1]);
      }
      posix_spawn_file_actions_destroy(&fa);
      return -1;
    }
    posix_spawn_file_actions_adddup2(&fa, outfd[1], 1);
  } else {
    // Helpers must not write into our standard output.
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  }
  if (errors == TErrors::Null) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (errors == TErrors::ToOutput && output) posix_spawn_file_actions_adddup2(&fa, outfd[1], 2);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (input) ::close(pipefd[0]);
  if (output) ::close(outfd[1]);
  if (rc != 0) {
    if (input) ::close(pipefd[1]);
    if (output) ::close(outfd[0]);
    return -1;
  }
  if (input) {
    // A helper that exits early must not kill us with SIGPIPE.
    struct sigaction ign = {}, old = {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ign, &old);
    const char* p = input->data();
    size_t left = input->size();
    while (left > 0) {
      ssize_t w = ::write(pipefd[1], p, left);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      p += w;
      left -= static_cast<size_t>(w);
    }
    ::close(pipefd[1]);
    sigaction(SIGPIPE, &old, nullptr);
  }
  if (output) {
    char buf[65536];
    while (true) {
      ssize_t n = ::read(outfd[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (!(*output)(std::string_view(buf, static_cast<size_t>(n)))) break;
    }
    ::close(outfd[0]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgram(const std::vector<std::string>& argv, const std::string* input = nullptr,
               std::string* output = nullptr, TErrors errors = TErrors::Inherit) {
  if (!output) return RunProgramTo(argv, input, nullptr, errors);
  output->clear();
  const TOutputSink collect = [output](std::string_view piece) {
    output->append(piece);
    return true;
  };
  return RunProgramTo(argv, input, &collect, errors);
}

// Whether a program's standard output is `text`, compared as it comes (a clipboard
// helper's output may be hundreds of megabytes): reading stops at the first
// difference.
bool ProgramPrints(const std::vector<std::string>& argv, const std::string& text) {
  size_t at = 0;
  bool same = true;
  const TOutputSink compare = [&](std::string_view piece) {
    same = piece.size() <= text.size() - at && text.compare(at, piece.size(), piece) == 0;
    at += piece.size();
    return same;
  };
  return RunProgramTo(argv, nullptr, &compare, TErrors::Null) == 0 && same && at == text.size();
}

// Ctrl-C during a run is the Cancel button; a second one ends the program.
// SIGTERM and SIGHUP (a stopped service, a closed terminal) cancel the run the
// same way, so that its output is cleaned up; the command line then ends by that
// signal (TerminationSignal).
volatile sig_atomic_t g_cancel = 0;
volatile sig_atomic_t g_termination = 0;
constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnInterrupt(int sig) {
  if (g_cancel) {
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  g_cancel = 1;
  if (sig != SIGINT) g_termination = sig;
}

class TStderrProgress : public TZelEProgressWindow {
 public:
  explicit TStderrProgress(bool draw) : draw_(draw && ::isatty(2)) {}
  ~TStderrProgress() override { Restore(); }

  void Show(const std::string& caption, const std::string& status, int position, int minimum, int maximum,
            const std::string&) override {
    g_cancel = 0;
    g_termination = 0;
    // No SA_RESTART: a wait (for a lock, say) returns and sees the request.
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < std::size(kCancelSignals); ++i)
      installed_[i] = sigaction(kCancelSignals[i], &sa, &old_[i]) == 0;
    // A reader of standard output or error that went away makes writes fail
    // (the run ends and cleans up) instead of killing the program mid-run.
    struct sigaction ign = {};
    ign.sa_handler = SIG_IGN;
    sigemptyset(&ign.sa_mask);
    pipeIgnored_ = sigaction(SIGPIPE, &ign, &oldPipe_) == 0;
    caption_ = caption;
    minimum_ = minimum;
    maximum_ = maximum;
    Draw(status, position);
  }
  void Update(const std::string& status, int position) override { Draw(status, position); }
  void Hide() override {
    if (draw_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
    Restore();
  }
  bool CancelRequested() const override { return g_cancel != 0; }
  void SetCancelRequested(bool c) override { g_cancel = c ? 1 : 0; }

 private:
  void Draw(const std::string& status, int position) {
    if (!draw_) return;
    const int width = 30;
    int filled = 0;
    if (maximum_ > minimum_) {
      long long span = static_cast<long long>(maximum_) - minimum_;
      filled = static_cast<int>((static_cast<long long>(position) - minimum_) * width / span);
      filled = filled < 0 ? 0 : filled > width ? width : filled;
    }
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    std::fprintf(stderr, "\r\033[K%s [%s] %s", caption_.c_str(), bar.c_str(), status.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }
  void Restore() {
    for (size_t i = 0; i < std::size(kCancelSignals); ++i) {
      if (installed_[i]) sigaction(kCancelSignals[i], &old_[i], nullptr);
      installed_[i] = false;
    }
    if (pipeIgnored_) sigaction(SIGPIPE, &oldPipe_, nullptr);
    pipeIgnored_ = false;
  }

  bool draw_;
  bool drawn_ = false;
  bool installed_[std::size(kCancelSignals)] = {};
  struct sigaction old_[std::size(kCancelSignals)] = {};
  bool pipeIgnored_ = false;
  struct sigaction oldPipe_ = {};
  std::string caption_;
  int minimum_ = 0;
  int maximum_ = 0;
};

// The separator a strftime format puts between its fields: the first
// character that is neither a conversion nor a letter.
char FirstSeparator(const std::string& fmt) {
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%') {
      ++i;
      while (i < fmt.size() && (fmt[i] == 'E' || fmt[i] == 'O' || fmt[i] == '-' || fmt[i] == '_' || fmt[i] == '0'))
        ++i;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(fmt[i]);
    if (c < 0x80 && !std::isalpha(c) && c != ' ') return fmt[i];
  }
  return 0;
}

std::string Langinfo(locale_t loc, nl_item item) {
  const char* s = loc ? nl_langinfo_l(item, loc) : nl_langinfo(item);
  return s ? s : "";
}

// A one-byte separator from a locale string (a multi-byte space becomes a space).
char SeparatorChar(const std::string& s, char fallback) {
  if (s.empty()) return fallback;
  if (s.size() == 1) return s[0];
  return ' ';
}

// The locale the environment names for a category, as setlocale(cat, "") reads it.
std::string EnvironmentLocaleName(int category) {
  auto env = [](const char* name) -> std::string {
    const char* v = std::getenv(name);
    return v && *v ? v : "";
  };
  std::string n = env("LC_ALL");
  if (n.empty()) n = env(category == LC_TIME ? "LC_TIME" : "LC_NUMERIC");
  if (n.empty()) n = env("LANG");
  return n.empty() ? "C" : n;
}

// C and POSIX (also C.UTF-8 and the like) carry no regional date format.
bool IsPlainCLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0 || name.rfind("POSIX.", 0) == 0;
}

// A date format never cuts the year to two digits: %y is read as %Y.
std::string FourDigitYears(std::string fmt) {
  for (size_t i = 0; i + 1 < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    size_t j = i + 1;
    while (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O' || fmt[j] == '-' || fmt[j] == '_' || fmt[j] == '0'))
      ++j;
    if (j < fmt.size() && fmt[j] == 'y') fmt[j] = 'Y';
    else if (j < fmt.size() && fmt[j] == 'D') fmt.replace(i, j - i + 1, "%m/%d/%Y");
    i = j;
  }
  return fmt;
}

}  // namespace

std::string StrftimeToPattern(const std::string& fmt, char dateSeparator, char timeSeparator) {
  std::string out;
  std::string literal;
  auto flushLiteral = [&] {
    if (literal.empty()) return;
    out += '"';
    out += literal;
    out += '"';
    literal.clear();
  };
  auto put = [&](const char* p) {
    flushLiteral();
    out += p;
  };
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%') {
      if (c == dateSeparator && dateSeparator != 0) {
        flushLiteral();
        out += '/';
      } else if (c == timeSeparator && timeSeparator != 0) {
        flushLiteral();
        out += ':';
      } else if (c == '"') {
        flushLiteral();
        out += "'\"'";
      } else {
        literal += c;
      }
      continue;
    }
    if (++i >= fmt.size()) break;
    while (i < fmt.size() && (fmt[i] == 'E' || fmt[i] == 'O' || fmt[i] == '-' || fmt[i] == '_' || fmt[i] == '0'))
      ++i;
    if (i >= fmt.size()) break;
    switch (fmt[i]) {
      case 'd': put("dd"); break;
      case 'e': put("d"); break;
      case 'm': put("mm"); break;
      case 'y': put("yy"); break;
      case 'Y': case 'G': put("yyyy"); break;
      case 'b': case 'h': put("mmm"); break;
      case 'B': put("mmmm"); break;
      case 'a': put("ddd"); break;
      case 'A': put("dddd"); break;
      case 'H': case 'I': put("hh"); break;
      case 'k': case 'l': put("h"); break;
      case 'M': put("nn"); break;
      case 'S': put("ss"); break;
      case 'p': case 'P': put("ampm"); break;
      case 'D': put("mm/dd/yy"); break;
      case 'F': put("yyyy-mm-dd"); break;
      case 'T': put("hh:nn:ss"); break;
      case 'R': put("hh:nn"); break;
      case 'r': put("hh:nn:ss ampm"); break;
      case 'n': case 't': literal += ' '; break;
      case '%': literal += '%'; break;
      default: break;
    }
  }
  flushLiteral();
  return out;
}

TFormatSettings LocaleFormatSettings(const std::string& localeName) {
  TFormatSettings fs;
  locale_t loc = newlocale(LC_ALL_MASK, localeName.c_str(), static_cast<locale_t>(0));
  bool plainC = IsPlainCLocale(localeName.empty() ? EnvironmentLocaleName(LC_TIME) : localeName);
  if (!loc) {
    loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    plainC = true;
  }
  if (!loc) return fs;

  fs.DecimalSeparator = SeparatorChar(Langinfo(loc, RADIXCHAR), '.');
  fs.ThousandSeparator = SeparatorChar(Langinfo(loc, THOUSEP), ',');
  if (fs.ThousandSeparator == fs.DecimalSeparator) fs.ThousandSeparator = fs.DecimalSeparator == ',' ? '.' : ',';

  std::string dfmt = FourDigitYears(Langinfo(loc, D_FMT));
  std::string tfmt = Langinfo(loc, T_FMT);
  std::string ampmFmt = Langinfo(loc, T_FMT_AMPM);
  if (plainC) {
    // The C locale has no regional format of its own: ISO 8601.
    dfmt = "%Y-%m-%d";
    tfmt = "%H:%M:%S";
  }
  std::string am = Langinfo(loc, AM_STR), pm = Langinfo(loc, PM_STR);
  char dsep = FirstSeparator(dfmt);
  char tsep = FirstSeparator(tfmt);
  fs.DateSeparator = dsep ? dsep : '/';
  fs.TimeSeparator = tsep ? tsep : ':';
  if (!dfmt.empty()) fs.ShortDateFormat = StrftimeToPattern(dfmt, dsep, tsep);
  // A clock with AM/PM when the locale's time format uses it.
  bool twelve = tfmt.find("%I") != std::string::npos || tfmt.find("%r") != std::string::npos ||
                tfmt.find("%p") != std::string::npos;
  if (!tfmt.empty()) {
    fs.LongTimeFormat = StrftimeToPattern(twelve && !ampmFmt.empty() ? ampmFmt : tfmt, dsep, tsep);
    std::string shortFmt = fs.LongTimeFormat;
    size_t s = shortFmt.find(":ss");
    if (s != std::string::npos) shortFmt.erase(s, 3);
    fs.ShortTimeFormat = shortFmt;
  }
  if (!am.empty()) fs.TimeAMString = am;
  if (!pm.empty()) fs.TimePMString = pm;
  static const nl_item kMon[12] = {MON_1, MON_2, MON_3, MON_4, MON_5, MON_6, MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  static const nl_item kAbMon[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                     ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static const nl_item kDay[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  static const nl_item kAbDay[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  for (int i = 0; i < 12; ++i) {
    std::string l = Langinfo(loc, kMon[i]), s = Langinfo(loc, kAbMon[i]);
    if (!l.empty()) fs.LongMonthNames[i] = l;
    if (!s.empty()) fs.ShortMonthNames[i] = s;
  }
  for (int i = 0; i < 7; ++i) {
    std::string l = Langinfo(loc, kDay[i]), s = Langinfo(loc, kAbDay[i]);
    if (!l.empty()) fs.LongDayNames[i] = l;
    if (!s.empty()) fs.ShortDayNames[i] = s;
  }

  // Currency: symbol, position and decimals (localeconv of this locale, read on
  // this thread only).
  locale_t previous = uselocale(loc);
  const lconv* lc = localeconv();
  if (lc) {
    std::string sym = lc->currency_symbol ? lc->currency_symbol : "";
    if (!sym.empty()) fs.CurrencyString = sym;
    bool before = lc->p_cs_precedes != 0 && lc->p_cs_precedes != CHAR_MAX;
    bool space = lc->p_sep_by_space == 1 || lc->p_sep_by_space == 2;
    if (lc->p_cs_precedes != CHAR_MAX) fs.CurrencyFormat = before ? (space ? 2 : 0) : (space ? 3 : 1);
    if (lc->frac_digits != CHAR_MAX) fs.CurrencyDecimals = lc->frac_digits;
    if (lc->n_cs_precedes != CHAR_MAX && lc->n_sign_posn != CHAR_MAX) {
      bool nb = lc->n_cs_precedes != 0;
      bool nspace = lc->n_sep_by_space == 1 || lc->n_sep_by_space == 2;
      switch (lc->n_sign_posn) {
        case 0: fs.NegCurrFormat = nb ? (nspace ? 14 : 0) : (nspace ? 15 : 4); break;
        case 1: fs.NegCurrFormat = nb ? (nspace ? 9 : 1) : (nspace ? 8 : 5); break;
        case 2: fs.NegCurrFormat = nb ? (nspace ? 11 : 3) : (nspace ? 10 : 7); break;
        case 3: fs.NegCurrFormat = nb ? (nspace ? 9 : 1) : (nspace ? 13 : 6); break;
        case 4: fs.NegCurrFormat = nb ? (nspace ? 12 : 2) : (nspace ? 10 : 7); break;
        default: break;
      }
    }
  }
  uselocale(previous);
  freelocale(loc);
  return fs;
}

THeadlessServices::THeadlessServices(bool quiet, std::string programName)
    : quiet_(quiet), programName_(std::move(programName)) {}

void THeadlessServices::ShowMessage(TZelEMessageKind kind, const std::string& text) {
  if (kind == TZelEMessageKind::Error) ++errors_;
  if (quiet_ && kind == TZelEMessageKind::Information) return;
  std::fprintf(stderr, "%s: %s\n", programName_.c_str(), text.c_str());
}

bool THeadlessServices::AskYesNo(const std::string& text) {
  // Nobody answers questions here: the safe answer is No.
  if (!quiet_) std::fprintf(stderr, "%s: %s (answered no)\n", programName_.c_str(), text.c_str());
  return false;
}

int TerminationSignal() { return g_termination; }

std::unique_ptr<TZelEProgressWindow> THeadlessServices::CreateProgressWindow() {
  return std::make_unique<TStderrProgress>(!quiet_);
}

bool THeadlessServices::ShellOpen(const std::string& target) { return RunProgram({"xdg-open", target}) == 0; }

int THeadlessServices::SendMail(const TZelEMailMessage& m) {
  std::vector<std::string> argv{"xdg-email"};
  if (!m.Subject.empty()) argv.insert(argv.end(), {"--subject", m.Subject});
  if (!m.Body.empty()) argv.insert(argv.end(), {"--body", m.Body});
  if (!m.Attachment.empty()) argv.insert(argv.end(), {"--attach", m.Attachment});
  std::vector<std::string> to;
  for (const TZelEMailRecipient& r : m.Recipients) {
    if (r.Class == TZelEMailRecipient::Cc) argv.insert(argv.end(), {"--cc", r.Address});
    else if (r.Class == TZelEMailRecipient::Bcc) argv.insert(argv.end(), {"--bcc", r.Address});
    else to.push_back(r.Address);
  }
  argv.insert(argv.end(), to.begin(), to.end());
  int rc = RunProgram(argv);
  return rc;
}

bool THeadlessServices::SetClipboardText(const std::string& text) {
  // The helper stays behind to hand the text to whoever pastes it.
  if (std::getenv("WAYLAND_DISPLAY") && RunProgram({"wl-copy"}, &text, nullptr, TErrors::Null) == 0) return true;
  if (std::getenv("DISPLAY")) {
    // The X helpers go to the background before they own the clipboard: wait
    // (a little) until the clipboard holds the text, so that a paste right
    // after the command gets it.
    auto settled = [&](const std::vector<std::string>& read) {
      for (int i = 0; i < 40 && !text.empty(); ++i) {
        if (ProgramPrints(read, text)) break;
        ::usleep(25000);
      }
      return true;
    };
    if (RunProgram({"xclip", "-selection", "clipboard"}, &text, nullptr, TErrors::Null) == 0)
      return settled({"xclip", "-o", "-selection", "clipboard"});
    if (RunProgram({"xsel", "--clipboard", "--input"}, &text, nullptr, TErrors::Null) == 0)
      return settled({"xsel", "--clipboard", "--output"});
  }
  return false;
}

bool THeadlessServices::ClipboardText(std::string& text) {
  // A helper that fails tells on its standard error whether the clipboard was
  // empty (the clipboard is there: the empty text) or out of reach (the next
  // helper is tried).
  auto read = [&](const std::vector<std::string>& argv) {
    if (RunProgram(argv, nullptr, &text, TErrors::Null) == 0) return true;
    std::string why;
    int rc = RunProgram(argv, nullptr, &why, TErrors::ToOutput);
    text.clear();
    if (rc <= 0) return rc == 0;
    for (char& c : why) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return why.find("display") == std::string::npos && why.find("connect") == std::string::npos &&
           why.find("wayland") == std::string::npos;
  };
  if (std::getenv("WAYLAND_DISPLAY") && read({"wl-paste", "--no-newline"})) return true;
  if (std::getenv("DISPLAY")) {
    if (read({"xclip", "-o", "-selection", "clipboard"})) return true;
    if (read({"xsel", "--clipboard", "--output"})) return true;
  }
  text.clear();
  return false;
}

TFormatSettings THeadlessServices::RegionalSettings() {
  if (!haveRegional_) {
    regional_ = LocaleFormatSettings();
    haveRegional_ = true;
  }
  return regional_;
}

std::string THeadlessServices::ProgramFolder() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string p(buf, static_cast<size_t>(n));
  size_t slash = p.find_last_of('/');
  return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

}  // namespace korvane
