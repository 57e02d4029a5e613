#pragma once

#include <string>

namespace vips::windows {

// The file layer's text for a system error code ("Disk full", "I/O error 5").
std::string ErrorTextOf(unsigned long error);

}  // namespace vips::windows
