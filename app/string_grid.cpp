// SCAFFOLD
#include "app/string_grid.hpp"
