#include "form/error_box_text.hpp"

namespace vips::form {

std::string ErrorBoxText(std::string_view text) {
  std::string shown(text);
  // Any byte of a multi-byte UTF-8 sequence is above 0x7F, so comparing the
  // last byte unsigned compares the last character's code.
  if (!shown.empty() && static_cast<unsigned char>(shown.back()) > '.') shown += '.';
  return shown;
}

}  // namespace vips::form
