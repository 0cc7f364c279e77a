#include "render/mode_photo.hpp"
namespace vorta { mode_photo::mode_photo() : mode_standard("Photo") {} }
