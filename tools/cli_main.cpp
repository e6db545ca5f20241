// torq32-cli: the window's start-up and one of its actions on a terminal. The message
// screen as the action leaves it goes to standard output, the gauge to standard error.
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "app/startup.h"
#include "lz/lz_file.h"
#include "platform/drives.h"
#include "tools/cli_commands.h"
#include "tools/terminal_window.h"

namespace {

constexpr char kProgram[] = "torq32-cli";

struct CommandLine {
  std::optional<std::string> home, icq, backup;
  app::TerminalWindow::Answers answers = app::TerminalWindow::Answers::kAsk;
  bool progress = false;
  bool help = false;
  const app::CliCommand* command = nullptr;
};

struct UsageError {
  std::string message;
};

const app::CliCommand* FindCommand(std::string_view name) {
  for (const app::CliCommand& command : app::CliCommands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  bool yes = false, no = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::optional<std::string>* folder = nullptr;
    std::string option = arg.substr(0, arg.find('='));
    if (option == "--home") folder = &line.home;
    if (option == "--icq") folder = &line.icq;
    if (option == "--backup") folder = &line.backup;
    if (folder) {
      if (option.size() < arg.size()) {
        *folder = arg.substr(option.size() + 1);
      } else if (i + 1 < args.size()) {
        *folder = args[++i];
      } else {
        throw UsageError{option + " needs a folder"};
      }
    } else if (arg == "--yes" || arg == "-y") {
      yes = true;
    } else if (arg == "--no") {
      no = true;
    } else if (arg == "--progress") {
      line.progress = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg.starts_with("-")) {
      throw UsageError{"unknown option " + arg};
    } else if (line.command) {
      throw UsageError{"one subcommand at a time: " + arg};
    } else if (!(line.command = FindCommand(arg))) {
      throw UsageError{"unknown subcommand " + arg};
    }
  }
  if (yes && no) throw UsageError{"--yes and --no exclude each other"};
  if (yes) line.answers = app::TerminalWindow::Answers::kYes;
  if (no) line.answers = app::TerminalWindow::Answers::kNo;
  return line;
}

void PrintHelp() {
  std::cout << "Usage: " << kProgram << " [options] [subcommand]\n"
            << "\n"
            << "Varn ICQ Backup on a terminal: runs the window's start-up and one action,\n"
            << "then prints the message screen as the action leaves it. Without a\n"
            << "subcommand it prints the start-up screen.\n"
            << "\n"
            << "Subcommands:\n";
  for (const app::CliCommand& command : app::CliCommands()) {
    std::string name = command.name;
    std::cout << "  " << name << std::string(name.size() < 12 ? 12 - name.size() : 1, ' ')
              << command.summary << "\n";
  }
  std::cout << "\n"
            << "Options:\n"
            << "  --home DIR    home folder holding pref.cfg and back.dat (default: the\n"
            << "                current folder)\n"
            << "  --icq DIR     ICQ folder (default: the saved setting)\n"
            << "  --backup DIR  backup folder (default: the saved setting)\n"
            << "  --yes, -y     answer Yes / OK to every question\n"
            << "  --no          answer No / Cancel to every question\n"
            << "  --progress    show the gauge on standard error even when it is no terminal\n"
            << "  --help, -h    show this help\n"
            << "\n"
            << "Folders are Windows paths (C:\\ICQ) or paths of this system (/home/me/ICQ).\n"
            << "Without --yes or --no, questions are asked when standard input is a\n"
            << "terminal, else answered No / Cancel.\n"
            << "\n"
            << "Exit status: 0 done, 1 error, 2 wrong command line, 3 cancelled.\n";
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
    // Typed into the edit box as it stands: the action reports an empty text and
    // removes one trailing backslash itself.
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

  int status = app::kExitDone;
  std::string failure;
  try {
    if (line.command) status = line.command->run(window);
  } catch (const std::exception& e) {
    status = app::kExitError;
    failure = e.what();
  }
  window.EndProgress();
  window.PrintScreen(std::cout);
  if (!failure.empty()) std::cerr << kProgram << ": " << failure << "\n";
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The compression engine's start-up comes first, as in the window program.
  lz::EngineStartup();

  try {
    CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
      PrintHelp();
      return app::kExitDone;
    }
    return Run(line);
  } catch (const UsageError& e) {
    std::cerr << kProgram << ": " << e.message << "\nTry '" << kProgram << " --help'.\n";
    return app::kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << "\n";
    return app::kExitError;
  }
}
