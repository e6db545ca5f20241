// Helper processes on Windows: CreateProcessW of the helper program, a pair of anonymous
// pipes and an event as the channel, a job object that ends the helper with the parent.
#include "platform/process.h"

#include <algorithm>
#include <bit>
#include <cwctype>
#include <memory>
#include <sstream>
#include <utility>

#include "platform/win32/win32_internal.h"

namespace platform {
namespace {

constexpr wchar_t kParentVariable[] = L"VARN_HELPER_PARENT";
constexpr wchar_t kChannelVariable[] = L"VARN_HELPER_CHANNEL";
constexpr wchar_t kProgramSuffix[] = L".exe";
// A channel whose event has not come is looked into this often all the same: a helper
// that has died sets no event, only its pipe breaks.
constexpr DWORD kRecheckMs = 20;
// WriteFile and ReadFile take a DWORD count.
constexpr std::size_t kLargestTransfer = 1u << 30;

using Handle = Channel::Handle;
constexpr Handle kNoHandle = Channel::kNoHandle;

HANDLE AsHandle(Handle value) { return reinterpret_cast<HANDLE>(value); }
Handle AsValue(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

void CloseValue(Handle& value) {
  if (value != kNoHandle && value != 0) ::CloseHandle(AsHandle(value));
  value = kNoHandle;
}

// A handle closed when it goes.
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// One argument of a command line as the C runtime's parser reads it back: quoted when it
// holds a space, a tab or a quote, with the backslashes before a quote doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// "NAME=" at the start of a variable, the name's letter case ignored as Windows does.
bool IsVariable(const wchar_t* variable, const wchar_t* name) {
  const std::size_t length = std::wcslen(name);
  return ::_wcsnicmp(variable, name, length) == 0 && variable[length] == L'=';
}

// This process's environment with the helper's two variables set: a block of
// NUL-terminated texts ending in an empty one.
std::wstring HelperEnvironment(const std::wstring& channel) {
  std::wstring block;
  block += std::wstring(kParentVariable) + L"=" + std::to_wstring(::GetCurrentProcessId());
  block += L'\0';
  block += std::wstring(kChannelVariable) + L"=" + channel;
  block += L'\0';
  if (wchar_t* strings = ::GetEnvironmentStringsW()) {
    for (const wchar_t* variable = strings; *variable != L'\0';
         variable += std::wcslen(variable) + 1) {
      if (!IsVariable(variable, kParentVariable) && !IsVariable(variable, kChannelVariable)) {
        block += variable;
        block += L'\0';
      }
    }
    ::FreeEnvironmentStringsW(strings);
  }
  block += L'\0';
  return block;
}

std::optional<std::wstring> VariableValue(const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (;;) {
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), value.size());
    if (length == 0) return std::nullopt;
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The running program's own file.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), path.size());
    if (length == 0) return L"";
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Wine's Windows name for a path of the machine it runs on; nullopt on Windows itself.
std::optional<std::wstring> WineNameOfHostPath(const std::string& host_path) {
  using DosFileName = WCHAR*(CDECL*)(const char*);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return std::nullopt;
  // Through a function type without parameters, which any function pointer may become.
  const auto convert = reinterpret_cast<DosFileName>(
      reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "wine_get_dos_file_name")));
  if (convert == nullptr) return std::nullopt;
  WCHAR* name = convert(host_path.c_str());
  if (name == nullptr) return std::nullopt;
  std::wstring result(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

BOOL WINAPI IgnoreInterrupt(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

}  // namespace

Channel::~Channel() { Close(); }

Channel::Channel(Channel&& other) noexcept
    : receive_(std::exchange(other.receive_, kNoHandle)),
      send_(std::exchange(other.send_, kNoHandle)),
      sent_event_(std::exchange(other.sent_event_, kNoHandle)) {}

Channel& Channel::operator=(Channel&& other) noexcept {
  if (this != &other) {
    Close();
    receive_ = std::exchange(other.receive_, kNoHandle);
    send_ = std::exchange(other.send_, kNoHandle);
    sent_event_ = std::exchange(other.sent_event_, kNoHandle);
  }
  return *this;
}

void Channel::Close() {
  if (send_ != receive_) CloseValue(send_);
  CloseValue(receive_);
  CloseValue(sent_event_);
  send_ = kNoHandle;
}

bool Channel::Send(const void* data, std::size_t count) {
  const char* bytes = static_cast<const char*>(data);
  for (std::size_t sent = 0; sent < count;) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min(count - sent, kLargestTransfer));
    if (!::WriteFile(AsHandle(send_), bytes + sent, chunk, &n, nullptr) || n == 0) return false;
    sent += n;
  }
  if (sent_event_ != kNoHandle) ::SetEvent(AsHandle(sent_event_));
  return true;
}

bool Channel::Receive(void* data, std::size_t count) {
  char* bytes = static_cast<char*>(data);
  for (std::size_t got = 0; got < count;) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min(count - got, kLargestTransfer));
    // A broken pipe (the other end closed) fails the read.
    if (!::ReadFile(AsHandle(receive_), bytes + got, chunk, &n, nullptr) || n == 0) return false;
    got += n;
  }
  return true;
}

std::optional<Channel> Channel::ToParent() {
  if (!VariableValue(kParentVariable)) return std::nullopt;
  const std::optional<std::wstring> text = VariableValue(kChannelVariable);
  if (!text) return std::nullopt;
  std::wistringstream values(*text);
  Handle receive = kNoHandle, send = kNoHandle, event = kNoHandle;
  if (!(values >> receive >> send >> event)) return std::nullopt;
  for (const Handle value : {receive, send}) {
    if (::GetFileType(AsHandle(value)) != FILE_TYPE_PIPE) return std::nullopt;
  }
  // Helpers this one might start do not inherit them.
  for (const Handle value : {receive, send, event}) {
    ::SetHandleInformation(AsHandle(value), HANDLE_FLAG_INHERIT, 0);
  }
  return Channel(receive, send, event);
}

std::size_t Channel::WaitForAny(const std::vector<Channel*>& channels, int tick_ms,
                                const std::function<void()>& while_waiting) {
  std::vector<HANDLE> events;
  for (const Channel* channel : channels) {
    if (channel->sent_event_ != kNoHandle) events.push_back(AsHandle(channel->sent_event_));
  }
  const DWORD tick = static_cast<DWORD>(std::max(tick_ms, 1));
  ULONGLONG next_tick = ::GetTickCount64() + tick;
  for (;;) {
    for (std::size_t i = 0; i < channels.size(); ++i) {
      DWORD available = 0;
      if (!::PeekNamedPipe(AsHandle(channels[i]->receive_), nullptr, 0, nullptr, &available,
                           nullptr) ||
          available > 0) {
        return i;  // data, or a closed other end
      }
    }
    const ULONGLONG now = ::GetTickCount64();
    if (while_waiting && now >= next_tick) {
      while_waiting();
      next_tick = ::GetTickCount64() + tick;
      continue;
    }
    DWORD wait = kRecheckMs;
    if (while_waiting) wait = std::min<DWORD>(wait, static_cast<DWORD>(next_tick - now));
    if (events.empty()) {
      ::Sleep(wait);
    } else {
      // The events are auto-reset: one that is set from an earlier message only costs
      // one more look into the pipes.
      ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, wait);
    }
  }
}

std::optional<HelperProcess> HelperProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments) {
  // The helper's ends are made inheritable, the parent's are not.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE raw[4] = {};
  if (!::CreatePipe(&raw[0], &raw[1], &inheritable, 0)) return std::nullopt;
  OwnedHandle helper_reads(raw[0]), parent_writes(raw[1]);
  if (!::CreatePipe(&raw[2], &raw[3], &inheritable, 0)) return std::nullopt;
  OwnedHandle parent_reads(raw[2]), helper_writes(raw[3]);
  OwnedHandle parent_event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HANDLE helper_event_raw = nullptr;
  if (!parent_event ||
      !::DuplicateHandle(::GetCurrentProcess(), parent_event.get(), ::GetCurrentProcess(),
                         &helper_event_raw, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return std::nullopt;
  }
  OwnedHandle helper_event(helper_event_raw);
  for (HANDLE parent_end : {parent_writes.get(), parent_reads.get()}) {
    if (!::SetHandleInformation(parent_end, HANDLE_FLAG_INHERIT, 0)) return std::nullopt;
  }

  // Only the helper's three handles are inherited, whatever else is inheritable.
  HANDLE inherited[] = {helper_reads.get(), helper_writes.get(), helper_event.get()};
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_bytes(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_bytes.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &list_size)) return std::nullopt;
  const std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, decltype(&::DeleteProcThreadAttributeList)>
      list_owner(list, &::DeleteProcThreadAttributeList);
  if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   sizeof inherited, nullptr, nullptr)) {
    return std::nullopt;
  }

  // The job ends the helper when its last handle closes: ours, when this process ends
  // in any way. The helper starts suspended, so it runs no instruction outside the job.
  OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job || !::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                         sizeof limits)) {
    return std::nullopt;
  }

  const std::wstring program_name = detail::WideFromAnsi(program);
  std::wstring command_line = QuotedArgument(program_name);
  for (const std::string& argument : arguments) {
    command_line += L" " + QuotedArgument(detail::WideFromAnsi(argument));
  }
  std::wstring environment = HelperEnvironment(std::to_wstring(AsValue(helper_reads.get())) + L" " +
                                               std::to_wstring(AsValue(helper_writes.get())) +
                                               L" " + std::to_wstring(AsValue(helper_event.get())));

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.lpAttributeList = list;
  PROCESS_INFORMATION started{};
  // No console window of its own: the window program has none to share.
  const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT |
                      EXTENDED_STARTUPINFO_PRESENT;
  if (!::CreateProcessW(program_name.c_str(), command_line.data(), nullptr, nullptr, TRUE, flags,
                        environment.data(), nullptr, &startup.StartupInfo, &started)) {
    return std::nullopt;
  }
  OwnedHandle process(started.hProcess), thread(started.hThread);
  if (!::AssignProcessToJobObject(job.get(), process.get())) {
    // Unbound, it could outlive this process.
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), INFINITE);
    return std::nullopt;
  }
  ::ResumeThread(thread.get());
  Channel channel(AsValue(parent_reads.release()), AsValue(parent_writes.release()),
                  AsValue(parent_event.release()));
  return HelperProcess(AsValue(process.release()), static_cast<int>(started.dwProcessId),
                       std::move(channel), AsValue(job.release()));
}

HelperProcess::HelperProcess(HelperProcess&& other) noexcept
    : process_(std::exchange(other.process_, kNoHandle)),
      process_id_(other.process_id_),
      job_(std::exchange(other.job_, kNoHandle)),
      channel_(std::move(other.channel_)) {}

HelperProcess::~HelperProcess() {
  channel_.Close();
  if (process_ != kNoHandle) ::WaitForSingleObject(AsHandle(process_), INFINITE);
  CloseValue(process_);
  CloseValue(job_);
}

void HelperProcess::Kill() noexcept {
  if (process_ != kNoHandle) ::TerminateProcess(AsHandle(process_), 1);
  channel_.Close();
  if (process_ != kNoHandle) ::WaitForSingleObject(AsHandle(process_), INFINITE);
  CloseValue(process_);
  CloseValue(job_);
}

std::string FindHelperProgram(const std::string& name, const std::string& fallback) {
  std::vector<std::wstring> candidates;
  const std::wstring self = ModulePath();
  const std::size_t slash = self.find_last_of(L"\\/");
  if (slash != std::wstring::npos) {
    candidates.push_back(self.substr(0, slash + 1) + detail::WideFromAnsi(name) + kProgramSuffix);
  }
  if (!fallback.empty() && fallback.front() == '/') {
    if (std::optional<std::wstring> wine_name = WineNameOfHostPath(fallback)) {
      candidates.push_back(*wine_name);
    }
  } else if (!fallback.empty()) {
    candidates.push_back(detail::WideFromAnsi(fallback));
  }
  for (const std::wstring& candidate : candidates) {
    if (IsFile(candidate)) return detail::AnsiFromWide(candidate);
  }
  return "";
}

void BindToParent() {
  ::SetConsoleCtrlHandler(IgnoreInterrupt, TRUE);
  // The job ends this process with the parent; a parent that is gone already (or a
  // start by someone else) ends it here.
  const std::optional<std::wstring> parent_text = VariableValue(kParentVariable);
  const DWORD parent_id = parent_text ? std::wcstoul(parent_text->c_str(), nullptr, 10) : 0;
  OwnedHandle parent(parent_id == 0 ? nullptr : ::OpenProcess(SYNCHRONIZE, FALSE, parent_id));
  if (!parent || ::WaitForSingleObject(parent.get(), 0) != WAIT_TIMEOUT) ::ExitProcess(1);
}

int UsableProcessors() {
  DWORD_PTR process_mask = 0, system_mask = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask)) return 1;
  return std::max(std::popcount(static_cast<std::uintptr_t>(process_mask)), 1);
}

}  // namespace platform
