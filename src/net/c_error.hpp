#pragma once
// The one exception type of the server: a readable message that travels up to
// whoever can report it (the entry point, the configuration reload).
#include <exception>
#include <string>

namespace vorta {

class c_error : public std::exception {
public:
    explicit c_error(const std::string& message) : message_(message) {}
    ~c_error() override = default;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A c_error whose text is the system's description of errno.
c_error system_error();

}  // namespace vorta
