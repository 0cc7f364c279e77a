#include "render/mode_photo.hpp"

namespace vorta {

// For now the photo look renders as the plain look.
mode_photo::mode_photo() : mode_standard("Photo") {}

}  // namespace vorta
