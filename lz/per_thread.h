// Inside the engine: the state of each module for each thread that runs the engine. The
// program's first thread uses the state made at start; any other thread opens a
// ThreadEngine (lz/lz_file.h), which makes every module's state anew for it and gives it
// back when it ends. Only a pointer is thread-local, since MinGW frees a thread's
// thread-local storage before it runs the destructors of thread-local objects.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace lz::detail {

// One module's state made for a thread; giving it back ends the thread's use of it.
using ThreadPart = std::shared_ptr<void>;

// Called by each PerThread as the program starts; OpenThreadParts makes a part for each,
// in that order.
void RegisterThreadPart(std::function<ThreadPart()> open);
std::vector<ThreadPart> OpenThreadParts();

template <typename T>
class PerThread {
 public:
  PerThread() {
    RegisterThreadPart([] {
      auto own = std::make_shared<T>();
      own_ = own.get();
      return ThreadPart(own.get(), [own](void*) { own_ = nullptr; });
    });
  }
  PerThread(const PerThread&) = delete;
  PerThread& operator=(const PerThread&) = delete;

  // The calling thread's state.
  T& operator*() { return own_ ? *own_ : first_; }
  T* operator->() { return &**this; }

 private:
  T first_{};
  static inline thread_local T* own_ = nullptr;
};

}  // namespace lz::detail
