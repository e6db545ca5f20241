// Helper processes of this program. A helper always starts from a fresh program image
// (posix_spawn here, CreateProcess on Windows), never as a fork that goes on running
// this process's code: a process with threads may do almost nothing in a forked child.
// Parent and helper talk over one message channel, a byte stream in both directions.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One end of the channel between a parent and a helper. Both ends close on destruction.
class Channel {
 public:
  explicit Channel(int descriptor) : descriptor_(descriptor) {}
  ~Channel();
  Channel(Channel&& other) noexcept;
  Channel& operator=(Channel&& other) noexcept;

  // Both answer false once the other end has closed or the channel has failed; a
  // partial transfer then counts as none.
  [[nodiscard]] bool Send(const void* data, std::size_t count);
  [[nodiscard]] bool Receive(void* data, std::size_t count);
  void Close();
  bool IsOpen() const { return descriptor_ >= 0; }

  // In a helper: its end of the channel to the parent that started it; nullopt when
  // this process was not started as a helper.
  static std::optional<Channel> ToParent();

  // Waits until at least one of the channels has something to read (or its other end
  // has closed) and answers its index. Needs at least one open channel. While nothing
  // has come, while_waiting (if given) is called every tick_ms milliseconds.
  static std::size_t WaitForAny(const std::vector<Channel*>& channels, int tick_ms = 0,
                                const std::function<void()>& while_waiting = nullptr);

 private:
  int descriptor_;
};

class HelperProcess {
 public:
  // Starts the program (a host path) with the arguments; nullopt when the system
  // refuses. The helper is bound to end with the parent (BindToParent).
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
  int ProcessId() const { return pid_; }

 private:
  HelperProcess(int pid, int descriptor) : pid_(pid), channel_(descriptor) {}
  int pid_;
  Channel channel_;
};

// The host path of a helper program that is installed with this one: beside the
// running program (the build tree), else in ../libexec/torq32/ from its folder (an
// installed package), else `fallback` (a path the build knows); empty when none of
// them is an executable file.
std::string FindHelperProgram(const std::string& name, const std::string& fallback);

// The helper's side of its start: ends the process when the parent is gone already,
// and makes sure it is ended when the parent ends. A helper ignores the terminal's
// interrupts (they reach the whole process group): the parent decides when it stops.
// Call first in a helper's main.
void BindToParent();

}  // namespace platform
