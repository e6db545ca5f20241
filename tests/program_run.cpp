#include "tests/program_run.h"

#ifdef _WIN32
#include <windows.h>

#include <fstream>
#include <iterator>
#include <map>

#include "tests/scratch_folder.h"

namespace {

std::string ReadCapture(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One argument as the C runtime's command-line parser reads it back: in quotes, with
// the backslashes before a quote (and before the closing one) doubled.
std::string Quoted(const std::string& arg) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// This process's variables with the given ones set, as CreateProcess takes them: sorted
// (names without case), each "NAME=value\0", a second "\0" at the end.
std::string EnvironmentBlock(const Environment& changes) {
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
      return ::_stricmp(a.c_str(), b.c_str()) < 0;
    }
  };
  std::map<std::string, std::string, NoCase> variables;
  char* const block = ::GetEnvironmentStringsA();
  for (const char* entry = block; *entry != '\0';
       entry += std::char_traits<char>::length(entry) + 1) {
    const std::string text = entry;
    const std::size_t equals = text.find('=', 1);  // "=C:=C:\dir" entries begin with "="
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  ::FreeEnvironmentStringsA(block);
  for (const auto& [name, value] : changes) variables[name] = value;
  std::string result;
  for (const auto& [name, value] : variables) result += name + "=" + value + '\0';
  return result + '\0';
}

std::string WithLinuxLineEnds(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') result += text[i];
  }
  return result;
}

HANDLE InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(path.wstring().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd, const Environment& environment) {
  const std::filesystem::path capture = MakeScratchFolder("varn-run-");
  const std::filesystem::path out_path = capture / "out", err_path = capture / "err";
  ProgramRun run;
  std::string command_line = Quoted(program);
  for (const std::string& arg : args) command_line += " " + Quoted(arg);
  std::string variables = EnvironmentBlock(environment);
  const HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  const HANDLE out = InheritableFile(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE err = InheritableFile(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION child{};
  const std::string folder = cwd.string();
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
      ::CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                       variables.data(), folder.c_str(), &startup, &child)) {
    DWORD code = 0;
    if (::WaitForSingleObject(child.hProcess, INFINITE) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(child.hProcess, &code)) {
      run.status = static_cast<int>(code);
    }
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
  }
  for (HANDLE handle : {in, out, err}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
  run.out = WithLinuxLineEnds(ReadCapture(out_path));
  run.err = WithLinuxLineEnds(ReadCapture(err_path));
  std::error_code ignored;
  std::filesystem::remove_all(capture, ignored);
  return run;
}

#else

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd, const Environment& environment) {
  return RunningProgram(program, args, cwd, environment).Wait();
}

#endif
