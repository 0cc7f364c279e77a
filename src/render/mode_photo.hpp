#pragma once
// The photo look ("Photo"): the plain look with the speaker's photo in front
// of chat lines and arrival and departure notices.
#include "render/mode_standard.hpp"

namespace vorta {

class mode_photo : public mode_standard {
public:
    mode_photo();
};

}  // namespace vorta
