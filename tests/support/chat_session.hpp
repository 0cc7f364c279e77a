#pragma once
// A chat session for tests: a real `user` that the manager made on one end of
// a socket pair, logged in through the applet's log-in and challenge lines, so
// that it has its nickname, its client details and its room exactly as the
// chat gives them. The session ends as a dropped connection does.
#include <string>

namespace vorta {
class user;
class profile;
}  // namespace vorta

namespace test_support {

struct login_details {
    std::string nickname;  // empty: connected, but no log-in line sent
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
    vorta::user* operator->() const { return user_; }
    // Loads a stored profile into the session, as a registered log-in does.
    void load(const vorta::profile& record) const;

private:
    int applet_ = -1;  // the test's end of the applet connection
    vorta::user* user_ = nullptr;  // owned by the manager
};

}  // namespace test_support
