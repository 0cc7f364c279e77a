#pragma once
// A chat session for tests: a real `user` on a socket pair, logged in through
// the applet's log-in and challenge lines, so that it has its nickname, its
// client details and its room exactly as the chat gives them.
#include <memory>
#include <string>

namespace vorta {
class user;
class profile;
}  // namespace vorta

namespace test_support {

struct login_details {
    std::string nickname;
    std::string address = "10.0.0.1";  // the external address the server sees
    std::string room;                  // wanted room; the first room when unknown
    std::string user_agent = "Mozilla/4.0";
    std::string referer = "http://www.example.org/chat.html";
};

class chat_session {
public:
    // Logs in; `ok()` tells whether the session reached a room.
    explicit chat_session(const login_details& details);
    ~chat_session();
    chat_session(const chat_session&) = delete;
    chat_session& operator=(const chat_session&) = delete;

    bool ok() const;
    vorta::user& get() const { return *user_; }
    vorta::user* operator->() const { return user_.get(); }
    // Loads a stored profile into the session, as a registered log-in does.
    void load(const vorta::profile& record) const;

private:
    int applet_ = -1;  // the test's end of the applet connection
    std::unique_ptr<vorta::user> user_;
};

}  // namespace test_support
