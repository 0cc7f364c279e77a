#include "security/security.hpp"

namespace vorta {

bool security::room_log(room* /*r*/, const std::string& text) const { return !text.empty(); }
bool security::user_log(user* /*u*/, const std::string& text) const { return !text.empty(); }
bool security::site_log(user* /*u*/, const std::string& text) const { return !text.empty(); }
bool security::user_access(user* /*u*/) const { return true; }
bool security::site_access(user* /*u*/) const { return true; }
bool security::site_script(user* /*u*/) const { return true; }
bool security::censor_exit(const std::string& /*text*/, user* /*u*/) const { return false; }

}  // namespace vorta
