#include <cstdlib>

#include "app/platform/locale_id.hpp"

namespace vips::app {

int ThreadLocaleId() {
  // The variables that decide the language of messages, strongest first.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleIdFromName(value);
  }
  return LocaleIdFromName("");
}

}  // namespace vips::app
