// Inside the engine: each module's state per thread, the first thread's made at start,
// another's by its ThreadEngine. Only a pointer is thread-local: MinGW frees thread-local
// storage before it runs thread-local destructors.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace lz::detail {

using ThreadPart = std::shared_ptr<void>;

// Each PerThread registers as the program starts; ThreadEngine makes one part of each.
inline constinit std::vector<std::function<ThreadPart()>> thread_part_openers;

template <typename T>
class PerThread {
 public:
  PerThread() {
    thread_part_openers.push_back([] {
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
