#include <windows.h>

#include "app/platform/locale_id.hpp"

namespace vips::app {

int ThreadLocaleId() {
  return static_cast<int>(GetThreadLocale());
}

}  // namespace vips::app
