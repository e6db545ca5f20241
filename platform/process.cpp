#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/internal.h"

extern char** environ;

namespace platform {
namespace {

// The helper finds its end of the channel here, and the parent's process id in this
// variable, so that it can tell whether it has outlived the parent before it was bound.
constexpr int kHelperChannel = 3;
constexpr const char* kParentVariable = "VARN_HELPER_PARENT";

}  // namespace

namespace {

int Descriptor(Channel::Handle handle) { return static_cast<int>(handle); }

}  // namespace

Channel::~Channel() { Close(); }

Channel::Channel(Channel&& other) noexcept : receive_(other.receive_), send_(other.send_) {
  other.receive_ = kNoHandle;
  other.send_ = kNoHandle;
}

Channel& Channel::operator=(Channel&& other) noexcept {
  if (this != &other) {
    Close();
    receive_ = std::exchange(other.receive_, kNoHandle);
    send_ = std::exchange(other.send_, kNoHandle);
  }
  return *this;
}

void Channel::Close() {
  if (send_ != kNoHandle && send_ != receive_) ::close(Descriptor(send_));
  if (receive_ != kNoHandle) ::close(Descriptor(receive_));
  receive_ = kNoHandle;
  send_ = kNoHandle;
}

bool Channel::Send(const void* data, std::size_t count) {
  const char* bytes = static_cast<const char*>(data);
  for (std::size_t sent = 0; sent < count;) {
    const ssize_t n = ::send(Descriptor(send_), bytes + sent, count - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool Channel::Receive(void* data, std::size_t count) {
  char* bytes = static_cast<char*>(data);
  for (std::size_t got = 0; got < count;) {
    const ssize_t n = ::recv(Descriptor(receive_), bytes + got, count - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<Channel> Channel::ToParent() {
  const char* parent = std::getenv(kParentVariable);
  if (parent == nullptr || ::fcntl(kHelperChannel, F_GETFD) < 0) return std::nullopt;
  ::fcntl(kHelperChannel, F_SETFD, FD_CLOEXEC);
  return Channel(kHelperChannel);
}

std::size_t Channel::WaitForAny(const std::vector<Channel*>& channels, int tick_ms,
                                const std::function<void()>& while_waiting) {
  std::vector<pollfd> waiting;
  for (const Channel* channel : channels)
    waiting.push_back({Descriptor(channel->receive_), POLLIN, 0});
  const int timeout = while_waiting ? tick_ms : -1;
  for (;;) {
    const int ready = ::poll(waiting.data(), waiting.size(), timeout);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      while_waiting();
      continue;
    }
    if (ready < 0) throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      if (waiting[i].revents != 0) return i;
    }
  }
}

std::optional<HelperProcess> HelperProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments) {
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return std::nullopt;
  Channel parent_end(sockets[0]);
  const Channel helper_end(sockets[1]);  // this process's copy closes on return

  // The helper's end becomes its descriptor 3: dup2 clears close-on-exec there, and
  // every other descriptor this program opens is close-on-exec.
  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  ::posix_spawn_file_actions_adddup2(&actions, sockets[1], kHelperChannel);

  std::vector<std::string> environment = {std::string(kParentVariable) + "=" +
                                          std::to_string(::getpid())};
  const std::size_t name_length = std::strlen(kParentVariable);
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, kParentVariable, name_length) != 0) {
      environment.emplace_back(*variable);
    }
  }
  std::vector<std::string> argument_texts = {program};
  argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> env_pointers, arg_pointers;
  for (std::string& variable : environment) env_pointers.push_back(variable.data());
  for (std::string& argument : argument_texts) arg_pointers.push_back(argument.data());
  env_pointers.push_back(nullptr);
  arg_pointers.push_back(nullptr);

  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, arg_pointers.data(),
                                   env_pointers.data());
  ::posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return std::nullopt;
  return HelperProcess(pid, static_cast<int>(pid), std::move(parent_end));
}

HelperProcess::HelperProcess(HelperProcess&& other) noexcept
    : process_(std::exchange(other.process_, Channel::kNoHandle)),
      process_id_(other.process_id_),
      job_(std::exchange(other.job_, Channel::kNoHandle)),
      channel_(std::move(other.channel_)) {}

HelperProcess::~HelperProcess() {
  channel_.Close();
  const pid_t pid = static_cast<pid_t>(process_);
  if (pid <= 0) return;
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void HelperProcess::Kill() noexcept {
  const pid_t pid = static_cast<pid_t>(process_);
  if (pid > 0) ::kill(pid, SIGKILL);
  channel_.Close();
  if (pid > 0) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  process_ = Channel::kNoHandle;
}

std::string FindHelperProgram(const std::string& name, const std::string& fallback) {
  std::vector<std::string> candidates;
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof self) {
    const std::string program(self, static_cast<std::size_t>(n));
    const std::string folder = detail::HostParent(program);
    candidates = {folder + "/" + name, folder + "/../libexec/torq32/" + name};
  }
  if (!fallback.empty()) candidates.push_back(fallback);
  for (const std::string& candidate : candidates) {
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

void BindToParent() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_IGN);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // A parent that ended before the line above leaves this process to another one.
  const char* parent = std::getenv(kParentVariable);
  if (parent == nullptr || std::to_string(::getppid()) != parent) ::_exit(1);
}

int UsableProcessors() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  return std::max(CPU_COUNT(&cpus), 1);
}

}  // namespace platform
