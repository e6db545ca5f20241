#include "lz/per_thread.h"

#include "lz/lz_file.h"

namespace lz {
namespace detail {
namespace {

std::vector<std::function<ThreadPart()>>& Openers() {
  static std::vector<std::function<ThreadPart()>> openers;
  return openers;
}

}  // namespace

void RegisterThreadPart(std::function<ThreadPart()> open) { Openers().push_back(std::move(open)); }

std::vector<ThreadPart> OpenThreadParts() {
  std::vector<ThreadPart> parts;
  for (const std::function<ThreadPart()>& open : Openers()) parts.push_back(open());
  return parts;
}

}  // namespace detail

ThreadEngine::ThreadEngine() : parts_(detail::OpenThreadParts()) { EngineStartup(); }

ThreadEngine::~ThreadEngine() {
  // The last opened first: a module's state may have registered with an earlier one's.
  while (!parts_.empty()) parts_.pop_back();
}

}  // namespace lz
