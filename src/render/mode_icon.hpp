#pragma once
// The look every new user starts with ("Standard"): the plain look with small
// clickable icons beside nicknames and room names that issue chat commands.
#include "render/mode_standard.hpp"

namespace vorta {

class mode_icon : public mode_standard {
public:
    mode_icon();
};

}  // namespace vorta
