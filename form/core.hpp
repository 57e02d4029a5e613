#pragma once

// The parts of the core that the window's logic uses, included in this one
// place.
#include "core/apply/apply.hpp"
#include "core/apply/delta_patch.hpp"
#include "core/apply/in_place_write.hpp"
#include "core/error.hpp"
#include "core/files/backup_policy.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/path_names.hpp"
#include "core/ips/reader.hpp"
#include "core/table/int_text.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "core/table/stretch_loader.hpp"
