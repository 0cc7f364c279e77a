#pragma once
// A fresh directory under /tmp for one test, removed with everything in it
// when the object goes.
#include <string>

namespace test_support {

class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return path_; }
    // Writes `content` to `name` inside the directory; returns the full path.
    std::string write(const std::string& name, const std::string& content) const;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace test_support
