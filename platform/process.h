// Helper processes of this program. A helper always starts from a fresh program image
// (posix_spawn, CreateProcessW on Windows), never as a fork that goes on running this
// process's code: a process with threads may do almost nothing in a forked child.
// Parent and helper talk over one message channel, a byte stream in both directions.
//
// The helper finds its end of the channel and its parent through two environment
// variables that Start sets for it alone: VARN_HELPER_PARENT, the parent's process id,
// and (on Windows) VARN_HELPER_CHANNEL, "<read> <write> <event>": the decimal values of
// the handles the helper inherits. On POSIX systems the channel is one socket, the
// helper's descriptor 3. On Windows it is a pair of anonymous pipes, one for each
// direction, and an event that each Send sets: anonymous pipes cannot be waited for,
// so WaitForAny waits for the event and then looks into the pipes (PeekNamedPipe).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// One end of the channel between a parent and a helper. Both ends close on destruction.
// Handles are the system's descriptor or handle values; -1 is none.
class Channel {
 public:
  // One descriptor for both directions (a socket).
  explicit Channel(std::intptr_t descriptor) : read_(descriptor), write_(descriptor) {}
  // One handle to read from, another to write to (two pipes), and the event that tells
  // the other end something was sent.
  Channel(std::intptr_t read_handle, std::intptr_t write_handle, std::intptr_t sent_event)
      : read_(read_handle), write_(write_handle), sent_event_(sent_event) {}
  ~Channel();
  Channel(Channel&& other) noexcept;
  Channel& operator=(Channel&& other) noexcept;

  // Both answer false once the other end has closed or the channel has failed; a
  // partial transfer then counts as none.
  [[nodiscard]] bool Send(const void* data, std::size_t count);
  [[nodiscard]] bool Receive(void* data, std::size_t count);
  void Close();
  bool IsOpen() const { return read_ != -1; }

  // In a helper: its end of the channel to the parent that started it; nullopt when
  // this process was not started as a helper.
  static std::optional<Channel> ToParent();

  // Waits until at least one of the channels has something to read (or its other end
  // has closed) and answers its index. Needs at least one open channel. While nothing
  // has come, while_waiting (if given) is called every tick_ms milliseconds.
  static std::size_t WaitForAny(const std::vector<Channel*>& channels, int tick_ms = 0,
                                const std::function<void()>& while_waiting = nullptr);

 private:
  std::intptr_t read_;
  std::intptr_t write_;            // the same as read_ for a socket
  std::intptr_t sent_event_ = -1;  // Windows only
};

class HelperProcess {
 public:
  // Starts the program (a host path) with the arguments; nullopt when the system
  // refuses. The helper is bound to end with the parent (BindToParent); on Windows it
  // starts in a job object of its own that ends it when the parent's handle closes
  // (JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE), and without a console window.
  static std::optional<HelperProcess> Start(const std::string& program,
                                            const std::vector<std::string>& arguments);
  // Closes the channel, then waits for the helper to end.
  ~HelperProcess();
  // Ends the helper at once, in the middle of what it does, and waits for it.
  void Kill() noexcept;
  HelperProcess(HelperProcess&& other) noexcept;
  HelperProcess& operator=(HelperProcess&&) = delete;

  Channel& ToHelper() { return channel_; }
  const Channel& ToHelper() const { return channel_; }
  int ProcessId() const;

 private:
  HelperProcess(std::intptr_t process, std::intptr_t job, Channel channel)
      : process_(process), job_(job), channel_(std::move(channel)) {}
  std::intptr_t process_;  // the process id; on Windows the process handle
  std::intptr_t job_;      // on Windows the job object holding the helper; else -1
  Channel channel_;
};

// The host path of a helper program that is installed with this one: beside the
// running program (the build tree), else in ../libexec/torq32/ from its folder (an
// installed package), else `fallback` (a path the build knows); empty when none of
// them is an executable file. On Windows `name` gets ".exe", the program's folder comes
// from GetModuleFileNameW, and a fallback that is a path of the build machine
// ("/home/...", a build under Wine) is turned into Wine's name for it.
std::string FindHelperProgram(const std::string& name, const std::string& fallback);

// The helper's side of its start: ends the process when the parent is gone already,
// and makes sure it is ended when the parent ends. A helper ignores the terminal's
// interrupts (they reach the whole process group; on Windows the console's Ctrl-C and
// Ctrl-Break): the parent decides when it stops. Call first in a helper's main.
void BindToParent();

// The processors this process may run on (its affinity), at least 1.
int UsableProcessors();

}  // namespace platform
