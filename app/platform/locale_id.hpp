#pragma once

#include <string_view>

namespace vips::app {

// The calling thread's Windows locale identifier (1033 English (US), 1049
// Russian (Russia), ...), read once at start to choose the interface language.
// Off Windows it is derived from the POSIX locale environment.
[[nodiscard]] int ThreadLocaleId();

// Maps a POSIX locale name ("ru_RU.UTF-8", "en_GB@euro", "de") to the Windows
// locale identifier of the same language and country. The encoding and the
// modifier are ignored; a bare language maps to its main country. "C",
// "POSIX", empty and unknown names give 1033.
[[nodiscard]] int LocaleIdFromName(std::string_view posixLocale);

}  // namespace vips::app
