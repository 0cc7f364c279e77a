#include "render/mode_icon.hpp"
namespace vorta { mode_icon::mode_icon() : mode_standard("Standard") {} }
