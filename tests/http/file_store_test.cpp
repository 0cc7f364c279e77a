// The served directory: what a request path leads to, and every way of
// reaching outside the directory, each refused; the cache of its small files.
#include "http/file_store.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <tuple>
#include <string>

#include "http/file_cache.hpp"
#include "support/temp_dir.hpp"

namespace {

using vorta::file_store;

std::string content_of(const file_store::found& found) {
    std::string content(found.size, '\0');
    const ssize_t got = pread(found.fd, content.data(), content.size(), 0);
    return got == static_cast<ssize_t>(content.size()) ? content : "?";
    return content;
}

class file_store_test : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"www", "www/js", "www/css", "www/room", "www/empty"})
            mkdir(dir.file(sub).c_str(), 0755);
        dir.write("www/index.html", "<p>page</p>");
        dir.write("www/js/chat.js", "var x;");
        dir.write("www/css/basic.css", "body{}");
        dir.write("www/room/index.html", "room page");
        dir.write("www/a+b c.txt", "plus and blank");
        dir.write("www/tab\tin.txt", "tab");
        dir.write("www/.hidden", "hidden");
        dir.write("secret.txt", "outside");
        symlink("js/chat.js", dir.file("www/inside.js").c_str());
        symlink("../secret.txt", dir.file("www/outside.txt").c_str());
        symlink(dir.file("secret.txt").c_str(), dir.file("www/absolute.txt").c_str());
        symlink("..", dir.file("www/up").c_str());
        symlink("../../secret.txt", dir.file("www/room/deep.txt").c_str());
        mkfifo(dir.file("www/pipe").c_str(), 0644);
    }
    test_support::temp_dir dir;
};

TEST_F(file_store_test, paths_and_what_they_lead_to) {
    const std::string page = "<p>page</p>", js = "var x;";
    // Path, status, and the content or the new location.
    const std::tuple<const char*, int, std::string> cases[] = {
        {"index.html", 200, page}, {"", 200, page}, {"js/chat.js", 200, js},
        {"js//chat.js", 200, js}, {"js%2Fchat.js", 200, js}, {"%6As/chat.js", 200, js},
        {"a+b%20c.txt", 200, "plus and blank"}, {"tab%09in.txt", 200, "tab"},
        {"room/", 200, "room page"}, {"inside.js", 200, js}, {"missing.html", 404, ""},
        {"index.html/", 404, ""}, {"empty/", 404, ""}, {"css/", 404, ""},  // no listing
        {"room", 301, "/chat/room/"},
        // Escapes, in every spelling.
        {"../secret.txt", 403, ""}, {"js/../../secret.txt", 403, ""},
        {"%2e%2e/secret.txt", 403, ""}, {"%2E%2E%2Fsecret.txt", 403, ""},
        {"..%2fsecret.txt", 403, ""}, {"js/..%2F..%2Fsecret.txt", 403, ""},
        {"./index.html", 403, ""}, {".hidden", 403, ""}, {"%2ehidden", 403, ""},
        {"outside.txt", 403, ""}, {"absolute.txt", 403, ""}, {"up/secret.txt", 403, ""},
        {"room/deep.txt", 403, ""}, {"pipe", 403, ""},
        {"up/www/index.html", 200, page},  // leaves and comes back: inside
        {"index.html%00.js", 400, ""}, {"%00", 400, ""}, {"bad%zzescape", 400, ""},
        {"cut%2", 400, ""}, {"cut%", 400, ""},
    };
    // The same through a link to the served directory.
    symlink(dir.file("www").c_str(), dir.file("linked").c_str());
    for (const char* root : {"www", "linked"}) {
        const file_store store(dir.file(root));
        for (const auto& [path, status, content] : cases) {
            SCOPED_TRACE(std::string(root) + ": " + path);
            const file_store::found found = store.open(path, std::string("/chat/") + path);
            EXPECT_EQ(found.status, status);
            EXPECT_EQ(found.fd >= 0, status == 200);
            const std::string& location = found.location;
            EXPECT_EQ(status == 200 ? content_of(found) : status == 301 ? location : "", content);
        }
    }
    // An empty or missing directory serves nothing.
    EXPECT_EQ(file_store("").open("index.html", "/chat/index.html").status, 404);
    EXPECT_EQ(file_store(dir.file("nowhere")).open("index.html", "/chat/index.html").status, 404);
}

TEST(file_store_types, content_types_follow_the_extension) {
    const std::string text = "; charset=utf-8", other = "application/octet-stream";
    const std::pair<const char*, std::string> cases[] = {
        {"/x/index.html", "text/html" + text}, {"/x/basic.CSS", "text/css" + text},
        {"/x/chat.js", "text/javascript" + text}, {"/x/info.svg", "image/svg+xml"},
        {"/x/nophoto.gif", "image/gif"}, {"/x/photo.jpeg", "image/jpeg"}, {"/x/README", other},
        {"/x.d/README", other}, {"/x/archive.tar.gz", other},
    };
    for (const auto& [name, type] : cases) EXPECT_EQ(file_store::content_type(name), type) << name;
}

// A cached file is read again as soon as anything tells its new version from
// the old one; the modification time is set outright, since the clock that
// stamps files is too coarse to tell two quick writes apart.
TEST_F(file_store_test, the_cache_keeps_a_file_until_it_changes) {
    vorta::file_cache cache;
    const file_store store(dir.file("www"));
    const std::string path = dir.file("www/js/chat.js");
    const auto read = [&] { return cache.contents(store.open("js/chat.js", "/chat/js/chat.js")); };
    const auto stamp = [&](long seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    stamp(1000);
    // Each step but the first two writes the file (the last one as another
    // file put in its place), sets its time and reads; only the unchanged
    // one gets the very text of the step before.
    const std::tuple<const char*, std::string, long> steps[] = {
        {"first read", "", 1000}, {"unchanged", "", 1000},
        {"rewritten at the same size", "var y;", 2000},
        {"grown at the same time", "var xyz;", 2000},
        {"replaced by another file", "var n;1", 2000}};
    vorta::file_cache::text previous;
    std::string contents = "var x;";
    for (const auto& [what, change, seconds] : steps) {
        SCOPED_TRACE(what);
        if (!change.empty()) {
            contents = change;
            dir.write(change == "var n;1" ? "www/js/next.js" : "www/js/chat.js", change);
            std::rename(dir.file("www/js/next.js").c_str(), path.c_str());
        }
        stamp(seconds);
        const vorta::file_cache::text now = read();
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(*now, contents);
        EXPECT_EQ(now == previous, previous && change.empty());
        previous = now;
    }
    // A file too large to keep is left to be sent in pieces.
    dir.write("www/js/chat.js", std::string(vorta::file_cache::max_file + 1, 'x'));
    EXPECT_EQ(read(), nullptr);
}

}  // namespace
