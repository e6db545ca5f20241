// Helper processes of this program. A helper always starts from a fresh program image
// (posix_spawn, CreateProcessW on Windows), never as a fork that goes on running this
// process's code: a process with threads may do almost nothing in a forked child.
// Parent and helper talk over one message channel, a byte stream in both directions.
//
// The helper finds its end of the channel and its parent through two environment
// variables that Start sets for it alone: VARN_HELPER_PARENT, the parent's process id,
// and (on Windows) VARN_HELPER_CHANNEL, "<receive> <send> <event>": the decimal values
// of the handles the helper inherits. On POSIX systems the channel is one socket, the
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
class Channel {
 public:
  // A system handle value: a descriptor here, a HANDLE on Windows; kNoHandle for none.
  using Handle = std::intptr_t;
  static constexpr Handle kNoHandle = -1;

  // Over one two-way stream (a socket), both ways through the one handle.
  explicit Channel(Handle stream) : receive_(stream), send_(stream) {}
  // Over two one-way pipes (Windows' anonymous pipes): one read from, one written to,
  // and the event that each Send sets for the other end.
  Channel(Handle receive, Handle send, Handle sent_event)
      : receive_(receive), send_(send), sent_event_(sent_event) {}
  ~Channel();
  Channel(Channel&& other) noexcept;
  Channel& operator=(Channel&& other) noexcept;

  // Both answer false once the other end has closed or the channel has failed; a
  // partial transfer then counts as none.
  [[nodiscard]] bool Send(const void* data, std::size_t count);
  [[nodiscard]] bool Receive(void* data, std::size_t count);
  void Close();
  bool IsOpen() const { return receive_ != kNoHandle; }

  // In a helper: its end of the channel to the parent that started it; nullopt when
  // this process was not started as a helper.
  static std::optional<Channel> ToParent();

  // Waits until at least one of the channels has something to read (or its other end
  // has closed) and answers its index. Needs at least one open channel. While nothing
  // has come, while_waiting (if given) is called every tick_ms milliseconds.
  static std::size_t WaitForAny(const std::vector<Channel*>& channels, int tick_ms = 0,
                                const std::function<void()>& while_waiting = nullptr);

 private:
  Handle receive_;
  Handle send_;                    // the same as receive_ over a two-way stream
  Handle sent_event_ = kNoHandle;  // over two pipes
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
  int ProcessId() const { return process_id_; }

 private:
  // process: the pid here, a process HANDLE on Windows (Channel::kNoHandle once ended);
  // job: on Windows the job object that holds the helper.
  HelperProcess(Channel::Handle process, int process_id, Channel channel,
                Channel::Handle job = Channel::kNoHandle)
      : process_(process), process_id_(process_id), job_(job), channel_(std::move(channel)) {}
  Channel::Handle process_;
  int process_id_;
  Channel::Handle job_;
  Channel channel_;
};

// The host path of a helper program that is installed with this one: beside the
// running program (the build tree), else in ../libexec/torq32/ from its folder (an
// installed package), else `fallback` (a path the build knows); empty when none of
// them is an executable file. On Windows `name` gets ".exe", the program's folder comes
// from GetModuleFileNameW, and a fallback that is a path of the build machine
// ("/home/...", a build run under Wine) is turned into Wine's name for it.
std::string FindHelperProgram(const std::string& name, const std::string& fallback);

// The helper's side of its start: ends the process when the parent is gone already,
// and makes sure it is ended when the parent ends. A helper ignores the terminal's
// interrupts (they reach the whole process group; on Windows the console's Ctrl-C and
// Ctrl-Break): the parent decides when it stops. Call first in a helper's main.
void BindToParent();

// The processors this process may run on (its affinity), at least 1.
int UsableProcessors();

}  // namespace platform
