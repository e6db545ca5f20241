#include "backup/pack_workers.h"

#include <algorithm>
#include <stdexcept>

#include "backup/pack_file.h"
#include "lz/lz_errors.h"
#include "platform/drives.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "platform/process.h"

namespace backup {
namespace {

constexpr int kMostWorkers = 4;
constexpr const char* kWorkerProgram = "torq32-worker";
constexpr std::uint64_t kLongestText = 1u << 20;
// How often a backup waiting for its workers is called back: a wait shorter than this
// is not worth a repaint of the window.
constexpr int kWaitTickMs = 20;

// What a worker tells about an error, so the backup can raise the same class again.
enum class ErrorKind : std::uint8_t { kNone, kInOut, kEngine, kEngineCompress, kOther };

// Messages are length-prefixed fields over the channel, in host byte order (both ends
// are the same build). A worker first receives the parent's drive table and current
// directory, then one file at a time: number, source, destination; it answers number,
// bytes, error kind, error code, message.
void PutNumber(std::string& out, std::uint64_t value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
void PutText(std::string& out, const std::string& text) {
  PutNumber(out, text.size());
  out += text;
}
bool Send(platform::Channel& channel, const std::string& bytes) {
  return channel.Send(bytes.data(), bytes.size());
}
bool ReceiveNumber(platform::Channel& channel, std::uint64_t& value) {
  return channel.Receive(&value, sizeof value);
}
bool ReceiveText(platform::Channel& channel, std::string& text) {
  std::uint64_t size = 0;
  if (!ReceiveNumber(channel, size) || size > kLongestText) return false;
  text.resize(size);
  return channel.Receive(text.data(), size);
}

std::string Greeting() {
  std::string out;
  const std::vector<platform::DriveMapping>& drives = platform::Drives();
  PutNumber(out, drives.size());
  for (const platform::DriveMapping& drive : drives) {
    PutNumber(out, static_cast<std::uint8_t>(drive.letter));
    PutText(out, drive.host_root);
  }
  PutText(out, platform::GetCurrentDir());
  return out;
}

bool TakeGreeting(platform::Channel& channel) {
  std::uint64_t count = 0;
  if (!ReceiveNumber(channel, count) || count > 26) return false;
  std::vector<platform::DriveMapping> drives(count);
  for (platform::DriveMapping& drive : drives) {
    std::uint64_t letter = 0;
    if (!ReceiveNumber(channel, letter) || !ReceiveText(channel, drive.host_root)) return false;
    drive.letter = static_cast<char>(letter);
  }
  std::string current_dir;
  if (!ReceiveText(channel, current_dir)) return false;
  platform::AdoptDriveTable(std::move(drives));
  return platform::SetCurrentDir(current_dir);
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

std::string WorkerProgram() {
#ifdef VARN_BUILT_WORKER
  return platform::FindHelperProgram(kWorkerProgram, VARN_BUILT_WORKER);
#else
  return platform::FindHelperProgram(kWorkerProgram, "");
#endif
}

}  // namespace

PackWorkers::PackWorkers(int count) {
  if (count < 2) return;
  const std::string program = WorkerProgram();
  if (program.empty()) return;
  const std::string greeting = Greeting();
  workers_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::optional<platform::HelperProcess> process = platform::HelperProcess::Start(program, {});
    if (!process || !Send(process->ToHelper(), greeting)) break;
    workers_.push_back({std::move(*process)});
  }
}

PackWorkers::~PackWorkers() {
  // Every channel closes first, so the workers end side by side; each is then waited for.
  for (Worker& worker : workers_) worker.process.ToHelper().Close();
}

int PackWorkers::Count() const {
  return static_cast<int>(std::count_if(workers_.begin(), workers_.end(), [](const Worker& w) {
    return w.process.ToHelper().IsOpen();
  }));
}

int PackWorkers::Busy() const {
  return static_cast<int>(
      std::count_if(workers_.begin(), workers_.end(), [](const Worker& w) { return w.busy; }));
}

std::vector<int> PackWorkers::ProcessIds() const {
  std::vector<int> ids;
  for (const Worker& worker : workers_) ids.push_back(worker.process.ProcessId());
  return ids;
}

bool PackWorkers::Submit(std::uint64_t number, const std::string& source,
                         const std::string& destination) {
  for (Worker& worker : workers_) {
    platform::Channel& channel = worker.process.ToHelper();
    if (!channel.IsOpen() || worker.busy) continue;
    std::string job;
    PutNumber(job, number);
    PutText(job, source);
    PutText(job, destination);
    if (!Send(channel, job)) {
      channel.Close();  // it has died: the file goes to the next idle one
      continue;
    }
    worker.busy = true;
    worker.number = number;
    return true;
  }
  return false;
}

PackResult PackWorkers::Wait(const std::function<void()>& while_waiting) {
  std::vector<platform::Channel*> waiting;
  std::vector<Worker*> owners;
  for (Worker& worker : workers_) {
    if (worker.busy) {
      waiting.push_back(&worker.process.ToHelper());
      owners.push_back(&worker);
    }
  }
  if (waiting.empty()) throw std::logic_error("PackWorkers::Wait with nothing submitted");
  const auto tick = [&while_waiting] {
    platform::RaiseIfStopRequested();
    if (while_waiting) while_waiting();
  };
  platform::RaiseIfStopRequested();
  Worker& worker = *owners[platform::Channel::WaitForAny(waiting, kWaitTickMs, tick)];
  platform::Channel& channel = worker.process.ToHelper();
  worker.busy = false;

  PackResult result;
  result.number = worker.number;
  std::uint64_t number = 0, bytes = 0, kind = 0, code = 0;
  std::string message;
  if (ReceiveNumber(channel, number) && ReceiveNumber(channel, bytes) &&
      ReceiveNumber(channel, kind) && ReceiveNumber(channel, code) &&
      ReceiveText(channel, message) && number == worker.number) {
    result.bytes = static_cast<std::int64_t>(bytes);
    result.error = RebuiltError(static_cast<ErrorKind>(kind), static_cast<int>(code), message);
    return result;
  }
  channel.Close();
  result.error = std::make_exception_ptr(
      std::runtime_error("the process compressing file " + std::to_string(worker.number) +
                         " of the backup has ended unexpectedly"));
  return result;
}

void PackWorkers::Stop() noexcept {
  for (Worker& worker : workers_) {
    worker.process.Kill();
    worker.busy = false;
  }
}

int DefaultPackWorkers() { return std::clamp(platform::UsableProcessors(), 1, kMostWorkers); }

int RunPackWorker() {
  platform::BindToParent();
  std::optional<platform::Channel> parent = platform::Channel::ToParent();
  if (!parent || !TakeGreeting(*parent)) return 1;
  for (;;) {
    std::uint64_t number = 0;
    std::string source, destination;
    if (!ReceiveNumber(*parent, number) || !ReceiveText(*parent, source) ||
        !ReceiveText(*parent, destination)) {
      return 0;  // the backup has closed its end
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
    }
    std::string reply;
    PutNumber(reply, number);
    PutNumber(reply, static_cast<std::uint64_t>(bytes));
    PutNumber(reply, static_cast<std::uint64_t>(kind));
    PutNumber(reply, static_cast<std::uint64_t>(code));
    PutText(reply, message);
    if (!Send(*parent, reply)) return 1;
  }
}

}  // namespace backup
