#include "foundation/executable_path_override.h"

#include <mutex>

namespace common {
namespace {

struct Override {
  std::mutex mutex;
  bool active = false;
  std::wstring path;
};

Override& TheOverride() {
  static Override instance;
  return instance;
}

}  // namespace

ScopedExecutablePathOverride::ScopedExecutablePathOverride(const std::wstring& path) {
  Override& current = TheOverride();
  std::lock_guard<std::mutex> lock(current.mutex);
  had_previous_ = current.active;
  previous_ = current.path;
  current.active = true;
  current.path = path;
}

ScopedExecutablePathOverride::~ScopedExecutablePathOverride() {
  Override& current = TheOverride();
  std::lock_guard<std::mutex> lock(current.mutex);
  current.active = had_previous_;
  current.path = previous_;
}

bool GetExecutablePathOverride(std::wstring* path) {
  Override& current = TheOverride();
  std::lock_guard<std::mutex> lock(current.mutex);
  if (current.active) *path = current.path;
  return current.active;
}

}  // namespace common
