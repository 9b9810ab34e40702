#include "t_common/store.h"

namespace common {

// Function-local statics: constructed once even when first called from several
// threads together, constructed again on the next call when construction threw,
// and destroyed at unload in reverse order of creation.

SerializeManager& SinglePersistentInstance() {
  static SerializeManager store;
  return store;
}

SerializeManager& PersistentInstance(const std::wstring& name) {
  static SerializeManager store(name);
  return store;
}

}  // namespace common
