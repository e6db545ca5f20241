// torq32-cli: the window's start-up and one action on a terminal.
#include <getopt.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/reports.h"
#include "app/settings.h"
#include "app/startup.h"
#include "backup/backup.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/list_backup.h"
#include "backup/restore.h"
#include "backup/verify.h"
#include "lz/lz_file.h"
#include "platform/drives.h"
#include "platform/interrupt.h"
#include "search/auto_search.h"
#include "tools/terminal_window.h"

namespace {

constexpr char kProgram[] = "torq32-cli";
constexpr int kExitDone = 0;          // a success report, or a plain one such as About
constexpr int kExitError = 1;         // an error report, or a raised error
constexpr int kExitUsage = 2;         // a command line torq32-cli cannot follow
constexpr int kExitCancelled = 3;     // the user (or the safe answer) cancelled
constexpr int kExitSignalBase = 128;  // the shell's status for a program ended by a signal

int Status(bool succeeded) { return succeeded ? kExitDone : kExitError; }

// BackupOutcome and RestoreOutcome.
template <typename Outcome>
int Status(Outcome outcome) {
  return outcome == Outcome::kSucceeded   ? kExitDone
         : outcome == Outcome::kCancelled ? kExitCancelled
                                          : kExitError;
}

template <auto action>
int Act(app::WindowSeam& window) {
  return Status(action(window));
}

template <auto report>
int Show(app::WindowSeam& window) {
  report(window);
  return kExitDone;
}

// The subcommands, in the order --help lists them: one action of the window each.
struct CliCommand {
  const char* name;
  const char* summary;  // one line for --help
  int (*run)(app::WindowSeam& window);
};
constexpr CliCommand kCommands[] = {
    {"about", "show the About text", &Show<app::AboutClick>},
    {"readme", "show the Read Me text", &Show<app::Label4Click>},
    {"backup", "back up the ICQ data files (--yes overwrites an earlier backup)",
     &Act<backup::BackupClick>},
    {"uins", "list the UINs a backup holds (Check UIN)", &Act<backup::CheckUINClick>},
    {"date", "show the date of a backup (Check Date)", &Act<backup::CheckDateClick>},
    {"search", "find the ICQ folder, from the saved setting on (AutoSearch)",
     &Act<search::Label2Click>},
    {"restore", "put a backup back into the ICQ folder (Restore)",
     [](app::WindowSeam& window) { return Status(backup::RestoreClick(window)); }},
    {"list", "list the files a backup holds, with their sizes, dates and methods",
     &Act<backup::ListBackupClick>},
    {"verify", "check a backup without restoring anything", &Act<backup::VerifyClick>},
};

struct CommandLine {
  std::optional<std::string> home, icq, backup;
  std::optional<std::string> only;  // restore: the pattern of the entries to restore
  app::TerminalWindow::Answers answers = app::TerminalWindow::Answers::kAsk;
  bool progress = false;
  bool help = false;
  bool version = false;
  const CliCommand* command = nullptr;
};

struct UsageError {
  std::string message;
};

// Options may stand before and after the subcommand; folder texts are kept as typed.
CommandLine ParseCommandLine(int argc, char* argv[]) {
  enum : int { kNo = 256, kProgress, kHome, kIcq, kBackup, kOnly };
  static const option kOptions[] = {{"home", required_argument, nullptr, kHome},
                                    {"icq", required_argument, nullptr, kIcq},
                                    {"backup", required_argument, nullptr, kBackup},
                                    {"only", required_argument, nullptr, kOnly},
                                    {"yes", no_argument, nullptr, 'y'},
                                    {"no", no_argument, nullptr, kNo},
                                    {"progress", no_argument, nullptr, kProgress},
                                    {"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {nullptr, 0, nullptr, 0}};
  CommandLine line;
  // The options that take a text, in the order of their codes from kHome.
  std::optional<std::string>* const texts[] = {&line.home, &line.icq, &line.backup, &line.only};
  bool yes = false, no = false;
  const std::pair<int, bool*> flags[] = {{'y', &yes},
                                         {kNo, &no},
                                         {kProgress, &line.progress},
                                         {'h', &line.help},
                                         {'V', &line.version}};
  opterr = 0;  // torq32-cli words its own complaints
  for (int c; (c = ::getopt_long(argc, argv, ":yhV", kOptions, nullptr)) != -1;) {
    const std::string typed = argv[optind - 1];
    if (c >= kHome && c <= kOnly) {
      *texts[c - kHome] = optarg;
      continue;
    }
    const auto flag = std::ranges::find(flags, c, &std::pair<int, bool*>::first);
    if (flag != std::end(flags)) {
      *flag->second = true;
    } else if (c == ':') {
      throw UsageError{typed.substr(0, typed.find('=')) +
                       (optopt == kOnly ? " needs a pattern" : " needs a folder")};
    } else {
      throw UsageError{"unknown option " + (typed.starts_with("--") || optopt == 0
                                                ? typed.substr(0, typed.find('='))
                                                : std::string("-") + static_cast<char>(optopt))};
    }
  }
  for (int i = optind; i < argc; ++i) {
    if (line.command) throw UsageError{std::string("one subcommand at a time: ") + argv[i]};
    const auto found = std::ranges::find(kCommands, std::string_view(argv[i]), &CliCommand::name);
    if (found == std::end(kCommands)) {
      throw UsageError{std::string("unknown subcommand ") + argv[i]};
    }
    line.command = &*found;
  }
  if (yes && no) throw UsageError{"--yes and --no exclude each other"};
  if (line.only && !(line.command && std::string_view(line.command->name) == "restore")) {
    throw UsageError{"--only goes with restore"};
  }
  if (yes) line.answers = app::TerminalWindow::Answers::kYes;
  if (no) line.answers = app::TerminalWindow::Answers::kNo;
  return line;
}

void PrintHelp() {
  std::cout << "Usage: " << kProgram << R"( [options] [subcommand]

Varn ICQ Backup on a terminal: runs the window's start-up and one action,
then prints the message screen as the action leaves it. Without a
subcommand it prints the start-up screen.

Subcommands:
)";
  for (const CliCommand& command : kCommands) {
    std::string name = command.name;
    std::cout << "  " << name << std::string(name.size() < 12 ? 12 - name.size() : 1, ' ')
              << command.summary << "\n";
  }
  std::cout << R"(
Options:
  --home DIR    home folder holding pref.cfg and back.dat (default: the
                current folder)
  --icq DIR     ICQ folder (default: the saved setting)
  --backup DIR  backup folder (default: the saved setting)
  --yes, -y     answer Yes / OK to every question
  --no          answer No / Cancel to every question
  --progress    show the gauge on standard error even when it is no terminal
  --only PATTERN  restore: only the entries whose path matches PATTERN
                  (* and ? wildcards, letter case ignored; a PATTERN
                  without \ or / is matched against the file name)
  --help, -h    show this help
  --version, -V show the version
  --            ends the options

Folders are Windows paths (C:\ICQ) or paths of this system (/home/me/ICQ).
Without --yes or --no, questions are asked when standard input is a
terminal, else answered No / Cancel.

Exit status: 0 done, 1 error, 2 wrong command line, 3 cancelled,
128 + the signal after an interrupt (130 for Ctrl-C).
)";
}

std::string FolderArgument(const std::string& option, const std::string& text,
                           const std::string& host_cwd) {
  std::optional<std::string> path = app::WindowsPathArgument(text, host_cwd);
  if (!path) throw UsageError{option + " " + text + ": on no drive"};
  return *path;
}

int Run(const CommandLine& line) {
  std::error_code error;
  const std::string host_cwd = std::filesystem::current_path(error).string();

  if (line.home) {
    std::string home = FolderArgument("--home", *line.home, host_cwd);
    if (!platform::SetCurrentDir(home)) throw UsageError{"--home " + *line.home + ": no folder"};
  } else if (const std::optional<std::string> refusal = app::StartFolderRefusal()) {
    throw UsageError{*refusal};
  }

  using Progress = app::TerminalWindow::Progress;
  const bool interactive = isatty(STDIN_FILENO) != 0;
  Progress progress = isatty(STDERR_FILENO) ? Progress::kRedraw
                      : line.progress       ? Progress::kLines
                                            : Progress::kNone;
  app::TerminalWindow window(line.answers, interactive ? &std::cin : nullptr, &std::cerr, progress,
                             &std::cerr);

  // Start-up errors (pref.cfg, back.dat) end the program before any action.
  app::FormCreate(window);

  if (line.icq) {
    std::string icq = FolderArgument("--icq", *line.icq, host_cwd);
    if (!app::PathIsFolder(icq)) throw UsageError{"--icq " + *line.icq + ": no folder"};
    window.MoveICQFolder(icq);
  }
  if (line.backup && (line.backup->empty() || line.backup->back() == '\\')) {
    // Typed as it stands: the action reports an empty text, drops a trailing backslash.
    window.SetBackupFolderText(*line.backup);
  } else if (line.backup) {
    // The edit box may name a folder that the backup is still to create.
    std::string backup = FolderArgument("--backup", *line.backup, host_cwd);
    if (app::PathIsFolder(backup)) {
      window.MoveBackupFolder(backup);
    } else {
      window.SetBackupFolderText(backup);
    }
  }

  int status = kExitDone;
  std::string failure;
  try {
    if (line.only) {
      status = Status(backup::RestoreClick(window, *line.only));
    } else if (line.command) {
      status = line.command->run(window);
    }
  } catch (const std::exception& e) {
    status = kExitError;
    failure = e.what();
  }
  window.EndProgress();
  window.PrintScreen(std::cout);
  if (platform::StopRequested()) {
    // The action has removed what it was writing; the screen shows where it stopped.
    std::cerr << kProgram << ": interrupted\n";
    return kExitSignalBase + (platform::StopSignal() != 0 ? platform::StopSignal() : SIGINT);
  }
  if (!failure.empty()) std::cerr << kProgram << ": " << failure << "\n";
  return status;
}

// What could not be written to standard output (a full disk, a closed pipe) is a failure.
int Flushed(int status) {
  std::cout.flush();
  if (std::cout.fail()) {
    std::cerr << kProgram << ": standard output: " << std::strerror(errno) << "\n";
    return status == kExitDone ? kExitError : status;
  }
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  lz::EngineStartup();
  platform::CatchInterrupts();

  try {
    CommandLine line = ParseCommandLine(argc, argv);
    if (line.help) {
      PrintHelp();
    } else if (line.version) {
      std::cout << kProgram << " (Varn ICQ Backup) " << VARN_VERSION << "\n";
    } else {
      return Flushed(Run(line));
    }
    return Flushed(kExitDone);
  } catch (const UsageError& e) {
    std::cerr << kProgram << ": " << e.message << "\nTry '" << kProgram << " --help'.\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return kExitError;
  }
}
