#include "backup/pack_workers.h"

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "backup/pack_file.h"
#include "lz/lz_file.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"

namespace backup {
namespace {

constexpr int kMostWorkers = 4;

// What a worker tells about an error, so the backup can raise the same class again.
enum class ErrorKind : std::uint8_t { kNone, kInOut, kEngine, kEngineCompress, kOther };

// Messages are length-prefixed fields over a stream socket, in host byte order (both
// ends are the same program).
void PutNumber(std::string& out, std::uint64_t value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
void PutText(std::string& out, const std::string& text) {
  PutNumber(out, text.size());
  out += text;
}

bool SendAll(int socket, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReceiveAll(int socket, void* data, std::size_t count) {
  for (std::size_t got = 0; got < count;) {
    const ssize_t n = ::recv(socket, static_cast<char*>(data) + got, count - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}
bool ReceiveNumber(int socket, std::uint64_t& value) {
  return ReceiveAll(socket, &value, sizeof value);
}
bool ReceiveText(int socket, std::string& text) {
  std::uint64_t size = 0;
  if (!ReceiveNumber(socket, size) || size > (1u << 20)) return false;
  text.resize(size);
  return ReceiveAll(socket, text.data(), size);
}

[[noreturn]] void WorkerMain(int socket) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the backup
  // Ctrl-C reaches the whole process group; the backup decides when its workers stop.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_IGN);
  for (;;) {
    std::uint64_t number = 0;
    std::string source, destination;
    if (!ReceiveNumber(socket, number) || !ReceiveText(socket, source) ||
        !ReceiveText(socket, destination)) {
      ::_exit(0);  // the backup has closed its end
    }
    std::int64_t bytes = 0;
    ErrorKind kind = ErrorKind::kNone;
    std::int64_t code = 0;
    std::string message;
    try {
      bytes = CompressForBackup(source, destination);
    } catch (const platform::EInOutError& e) {
      kind = ErrorKind::kInOut;
      code = e.ErrorCode();
      message = e.what();
    } catch (const lz::EQuarnLZCompress& e) {
      kind = ErrorKind::kEngineCompress;
      message = e.what();
    } catch (const lz::EQuarnLZError& e) {
      kind = ErrorKind::kEngine;
      message = e.what();
    } catch (const std::exception& e) {
      kind = ErrorKind::kOther;
      message = e.what();
    } catch (...) {
      kind = ErrorKind::kOther;
      message = "unknown error";
    }
    std::string reply;
    PutNumber(reply, number);
    PutNumber(reply, static_cast<std::uint64_t>(bytes));
    PutNumber(reply, static_cast<std::uint64_t>(kind));
    PutNumber(reply, static_cast<std::uint64_t>(code));
    PutText(reply, message);
    if (!SendAll(socket, reply)) ::_exit(1);
  }
}

std::exception_ptr RebuiltError(ErrorKind kind, int code, const std::string& message) {
  switch (kind) {
    case ErrorKind::kNone:
      return nullptr;
    case ErrorKind::kInOut:
      return std::make_exception_ptr(platform::EInOutError(code, message));
    case ErrorKind::kEngine:
      return std::make_exception_ptr(lz::EQuarnLZError(message));
    case ErrorKind::kEngineCompress:
      return std::make_exception_ptr(lz::EQuarnLZCompress(message));
    case ErrorKind::kOther:
      break;
  }
  return std::make_exception_ptr(std::runtime_error(message));
}

}  // namespace

PackWorkers::PackWorkers(int count) {
  if (count < 2) return;
  for (int i = 0; i < count; ++i) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) break;
    const pid_t pid = ::fork();
    if (pid < 0) {
      ::close(sockets[0]);
      ::close(sockets[1]);
      break;
    }
    if (pid == 0) {
      // The other workers' ends must close here too, or they would never see the end
      // of their input.
      for (const Worker& other : workers_) ::close(other.socket);
      ::close(sockets[0]);
      WorkerMain(sockets[1]);
    }
    ::close(sockets[1]);
    workers_.push_back({pid, sockets[0], false, 0});
  }
}

PackWorkers::~PackWorkers() {
  for (Worker& worker : workers_) {
    if (worker.socket >= 0) ::close(worker.socket);
  }
  for (Worker& worker : workers_) {
    if (worker.pid <= 0) continue;
    while (::waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

int PackWorkers::Count() const {
  return static_cast<int>(std::count_if(workers_.begin(), workers_.end(),
                                        [](const Worker& w) { return w.socket >= 0; }));
}

int PackWorkers::Busy() const {
  return static_cast<int>(
      std::count_if(workers_.begin(), workers_.end(), [](const Worker& w) { return w.busy; }));
}

bool PackWorkers::Submit(std::uint64_t number, const std::string& source,
                         const std::string& destination) {
  for (Worker& worker : workers_) {
    if (worker.socket < 0 || worker.busy) continue;
    std::string job;
    PutNumber(job, number);
    PutText(job, source);
    PutText(job, destination);
    if (!SendAll(worker.socket, job)) {
      ::close(worker.socket);  // it has died: the file goes to the next idle one
      worker.socket = -1;
      continue;
    }
    worker.busy = true;
    worker.number = number;
    return true;
  }
  return false;
}

PackResult PackWorkers::Wait() {
  std::vector<pollfd> waiting;
  std::vector<Worker*> owners;
  for (Worker& worker : workers_) {
    if (worker.busy) {
      waiting.push_back({worker.socket, POLLIN, 0});
      owners.push_back(&worker);
    }
  }
  if (waiting.empty()) throw std::logic_error("PackWorkers::Wait with nothing submitted");
  while (::poll(waiting.data(), waiting.size(), -1) < 0) {
    if (errno != EINTR) throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    platform::RaiseIfStopRequested();
  }
  const auto ready =
      std::find_if(waiting.begin(), waiting.end(), [](const pollfd& p) { return p.revents != 0; });
  Worker& worker = *owners[ready - waiting.begin()];
  worker.busy = false;

  PackResult result;
  result.number = worker.number;
  std::uint64_t number = 0, bytes = 0, kind = 0, code = 0;
  std::string message;
  if (ReceiveNumber(worker.socket, number) && ReceiveNumber(worker.socket, bytes) &&
      ReceiveNumber(worker.socket, kind) && ReceiveNumber(worker.socket, code) &&
      ReceiveText(worker.socket, message) && number == worker.number) {
    result.bytes = static_cast<std::int64_t>(bytes);
    result.error = RebuiltError(static_cast<ErrorKind>(kind), static_cast<int>(code), message);
    return result;
  }
  ::close(worker.socket);
  worker.socket = -1;
  result.error = std::make_exception_ptr(
      std::runtime_error("the process compressing file " + std::to_string(worker.number) +
                         " of the backup has ended unexpectedly"));
  return result;
}

void PackWorkers::Stop() noexcept {
  for (Worker& worker : workers_) {
    if (worker.pid > 0) ::kill(worker.pid, SIGKILL);
  }
  for (Worker& worker : workers_) {
    if (worker.socket >= 0) ::close(worker.socket);
    worker.socket = -1;
    worker.busy = false;
    if (worker.pid <= 0) continue;
    while (::waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    worker.pid = -1;
  }
}

int DefaultPackWorkers() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  return std::clamp(CPU_COUNT(&cpus), 1, kMostWorkers);
}
}  // namespace backup
