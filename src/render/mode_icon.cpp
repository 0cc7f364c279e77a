#include "render/mode_icon.hpp"

namespace vorta {

// The look every new user starts with; for now it renders as the plain look.
mode_icon::mode_icon() : mode_standard("Standard") {}

}  // namespace vorta
