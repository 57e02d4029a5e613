#pragma once

// The parts of the core that the window's logic uses, included in this one
// place.
#include "core/apply.hpp"
#include "core/error.hpp"
#include "core/file_access.hpp"
#include "core/file_copy.hpp"
#include "core/int_text.hpp"
#include "core/language.hpp"
#include "core/linked_file.hpp"
#include "core/markers.hpp"
#include "core/patch_header.hpp"
#include "core/patch_loader.hpp"
#include "core/patch_table.hpp"
#include "core/path_names.hpp"
