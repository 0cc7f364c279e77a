#include "net/c_error.hpp"

#include <cerrno>
#include <cstring>

namespace vorta {

c_error system_error() { return c_error(std::strerror(errno)); }

}  // namespace vorta
