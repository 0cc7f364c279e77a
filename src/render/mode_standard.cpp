// TEMPORARY STUB (not committed)
#include "render/mode_standard.hpp"
#include "render/message.hpp"
#include "chat/user.hpp"
#include "chat/room.hpp"
#include "util/c_util.hpp"
namespace vorta {
mode_standard::mode_standard(std::string n) : name(std::move(n)) {}
std::string mode_standard::get(const message& m) const {
  using fn = void (mode_standard::*)(std::string&, const message&) const;
#define E(n) &mode_standard::get_##n,
  static const fn table[] = {VORTA_MESSAGE_TYPES(E)};
#undef E
  std::string r; if (m.type >= 0 && m.type < types_end) (this->*table[m.type])(r, m); return r; }
std::string mode_standard::anchors(const message& m) const { return m.text; }
#define D(n) void mode_standard::get_##n(std::string& r, const message& m) const { r = "<" #n ">"; if (m.first_user) r += m.first_user->get_nickname(); r += "|" + m.text; if (m.room) r += "|" + m.room->get_name(); r += "</" #n ">"; }
VORTA_MESSAGE_TYPES(D)
}
