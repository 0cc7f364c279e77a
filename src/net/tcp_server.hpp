#pragma once
// A non-blocking listening TCP socket on every local IPv4 address. Each
// readiness accepts the waiting connections, up to a cap, and hands each new,
// still blocking and unregistered descriptor to the observer's on_accept.
//
// When the process runs out of descriptors or memory, the server tells its
// observer once per shortage and pauses until a descriptor is freed or a
// second has passed, so that existing connections keep being served and the
// loop does not spin on a listener that stays readable.
#include <string>

#include "net/server.hpp"

namespace vorta {

class tcp_server : public server {
public:
    // `host` is accepted but not used. Throws c_error with the system's text
    // when the port cannot be opened.
    tcp_server(scheduler* owner, observer* watcher, const std::string& host, const std::string& port);
    ~tcp_server() override;

    void read() override;

    // Most connections taken on one readiness.
    static constexpr int accepts_per_readiness = 64;

private:
    bool starved_ = false;  // inside a descriptor shortage
};

}  // namespace vorta
