// A broadcast renders once per look and kind of recipient: what each
// recipient gets from the cache is what rendering for him alone gives.
#include "render/fragment_cache.hpp"

#include "support/look_fixture.hpp"

namespace {

using fragment_cache_test = test_support::look_test;

TEST_F(fragment_cache_test, every_recipient_gets_his_own_fragment) {
    // Carol may ban and has marked alice; bob sees pictures; dora is plain.
    test_support::peer carol("10.0.0.3", test_support::login_details{"carol", "Lobby"});
    carol.load(test_support::profile_of(3, "mod"));
    carol->mark(alice());
    test_support::peer dora("10.0.0.4", test_support::login_details{"dora", "Lobby"});
    for (auto type : {t::action_say, t::action_me, t::action_say_blind, t::action_enter, t::room_hello}) {
        vorta::message m(type, alice(), std::string("seht img:www.example.org/bild.png"));
        vorta::fragment_cache cache;
        for (const char* look : {"plain", "standard", "photo"}) {
            for (vorta::user* recipient : {bob(), carol.session(), dora.session(), alice()}) {
                m.second_user = recipient;
                EXPECT_EQ(*cache.get(*Manager.get_mode(look), m).html, Manager.get_mode(look)->get(m))
                    << look << " " << type;
            }
        }
    }
}

}  // namespace
