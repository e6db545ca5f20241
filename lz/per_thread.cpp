#include "lz/per_thread.h"

namespace lz::detail {
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

}  // namespace lz::detail
