// A broadcast renders once per look and kind of recipient: what each
// recipient gets from the cache is what rendering for him alone gives.
#include "render/fragment_cache.hpp"

#include "render/mode_icon.hpp"
#include "render/mode_photo.hpp"
#include "support/look_fixture.hpp"

namespace {

using vorta::message;
using vorta::mode_standard;

class fragment_cache_test : public test_support::look_test {};

TEST_F(fragment_cache_test, every_recipient_gets_his_own_fragment) {
    // Carol may ban and has marked alice; bob sees pictures; dora is plain.
    test_support::peer carol("10.0.0.3", test_support::login_details{"carol", "Lobby"});
    carol.load(test_support::profile_of(3, "mod"));
    carol->mark(alice());
    test_support::peer dora("10.0.0.4", test_support::login_details{"dora", "Lobby"});
    const std::vector<vorta::user*> recipients{bob(), carol.session(), dora.session(), alice()};
    const mode_standard* looks[] = {Manager.get_mode("plain"), Manager.get_mode("standard"),
                                    Manager.get_mode("photo")};
    for (auto type : {mode_standard::action_say, mode_standard::action_me, mode_standard::action_say_blind,
                      mode_standard::action_enter, mode_standard::room_hello}) {
        message m(type, alice(), std::string("seht img:www.example.org/bild.png"));
        vorta::fragment_cache cache;
        for (const mode_standard* look : looks) {
            for (vorta::user* recipient : recipients) {
                m.second_user = recipient;
                EXPECT_EQ(*cache.get(*look, m).html, look->get(m)) << look->name << " " << type;
            }
        }
    }
}

}  // namespace
