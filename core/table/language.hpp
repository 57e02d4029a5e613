#pragma once

namespace vips {

// The interface language; it decides which marker texts the rules write.
enum class Language { English, Russian };

}  // namespace vips
