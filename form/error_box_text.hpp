#pragma once

#include <string>
#include <string_view>

namespace vips::form {

// The text an error box shows for an error's text: a full stop is appended
// unless the text is empty or its last character is a full stop or has a
// lower code ('!', ')', a space...). A multi-byte UTF-8 ending (Cyrillic)
// has a higher code and gets the full stop.
[[nodiscard]] std::string ErrorBoxText(std::string_view text);

}  // namespace vips::form
