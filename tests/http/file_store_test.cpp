// The served directory: what a request path leads to, and every way of
// reaching outside the directory, each refused; the cache of its small files.
#include "http/file_store.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "http/file_cache.hpp"

#include "support/temp_dir.hpp"

namespace {

using vorta::file_store;

std::string content_of(const file_store::found& found) {
    std::string content(found.size, '\0');
    if (pread(found.fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) return "?";
    return content;
}

class file_store_test : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir(dir.file("www").c_str(), 0755);
        for (const char* sub : {"www/js", "www/css", "www/room", "www/empty"}) mkdir(dir.file(sub).c_str(), 0755);
        dir.write("www/index.html", "<p>page</p>");
        dir.write("www/js/chat.js", "var x;");
        dir.write("www/css/basic.css", "body{}");
        dir.write("www/room/index.html", "room page");
        dir.write("www/a+b c.txt", "plus and blank");
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
    const file_store store(dir.file("www"));
    const struct {
        const char* path;
        int status;
        const char* content;  // for 200
    } cases[] = {
        {"index.html", 200, "<p>page</p>"},
        {"", 200, "<p>page</p>"},
        {"js/chat.js", 200, "var x;"},
        {"js//chat.js", 200, "var x;"},
        {"js%2Fchat.js", 200, "var x;"},
        {"%6As/chat.js", 200, "var x;"},
        {"a+b%20c.txt", 200, "plus and blank"},
        {"room/", 200, "room page"},
        {"inside.js", 200, "var x;"},
        {"missing.html", 404, ""},
        {"index.html/", 404, ""},
        {"empty/", 404, ""},  // no listing
        {"css/", 404, ""},
        {"room", 301, ""},
        // Escapes, in every spelling.
        {"../secret.txt", 403, ""},
        {"js/../../secret.txt", 403, ""},
        {"%2e%2e/secret.txt", 403, ""},
        {"%2E%2E%2Fsecret.txt", 403, ""},
        {"..%2fsecret.txt", 403, ""},
        {"js/..%2F..%2Fsecret.txt", 403, ""},
        {"./index.html", 403, ""},
        {".hidden", 403, ""},
        {"%2ehidden", 403, ""},
        {"outside.txt", 403, ""},
        {"absolute.txt", 403, ""},
        {"up/secret.txt", 403, ""},
        {"up/www/index.html", 200, "<p>page</p>"},  // leaves and comes back: inside
        {"room/deep.txt", 403, ""},
        {"pipe", 403, ""},
        {"index.html%00.js", 400, ""},
        {"%00", 400, ""},
        {"bad%zzescape", 400, ""},
        {"cut%2", 400, ""},
        {"cut%", 400, ""},
    };
    for (const auto& c : cases) {
        const file_store::found found = store.open(c.path, std::string("/chat/") + c.path);
        EXPECT_EQ(found.status, c.status) << c.path;
        EXPECT_EQ(found.fd >= 0, c.status == 200) << c.path;
        if (c.status == 200 && found.fd >= 0) {
            EXPECT_EQ(content_of(found), c.content) << c.path;
        }
    }
}

TEST_F(file_store_test, a_directory_without_its_slash_is_redirected_to_it) {
    const file_store::found found = file_store(dir.file("www")).open("room", "/chat/room");
    EXPECT_EQ(found.status, 301);
    EXPECT_EQ(found.location, "/chat/room/");
}

TEST_F(file_store_test, an_empty_directory_setting_serves_nothing) {
    EXPECT_EQ(file_store("").open("index.html", "/chat/index.html").status, 404);
    EXPECT_EQ(file_store(dir.file("nowhere")).open("index.html", "/chat/index.html").status, 404);
}

TEST_F(file_store_test, a_served_directory_reached_through_a_link_still_keeps_its_bounds) {
    symlink(dir.file("www").c_str(), dir.file("linked").c_str());
    const file_store store(dir.file("linked"));
    EXPECT_EQ(store.open("js/chat.js", "/chat/js/chat.js").status, 200);
    EXPECT_EQ(store.open("outside.txt", "/chat/outside.txt").status, 403);
}

TEST(file_store_types, content_types_follow_the_extension) {
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"/x/index.html", "text/html; charset=utf-8"},
        {"/x/basic.CSS", "text/css; charset=utf-8"},
        {"/x/chat.js", "text/javascript; charset=utf-8"},
        {"/x/info.svg", "image/svg+xml"},
        {"/x/nophoto.gif", "image/gif"},
        {"/x/photo.jpeg", "image/jpeg"},
        {"/x/README", "application/octet-stream"},
        {"/x.d/README", "application/octet-stream"},
        {"/x/archive.tar.gz", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(file_store::content_type(c.name), c.type) << c.name;
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
    const struct {
        const char* what;
        std::function<void()> change;
        std::string contents;
        bool same_text;  // the very text of the step before
    } steps[] = {
        {"first read", [] {}, "var x;", false},
        {"unchanged", [] {}, "var x;", true},
        {"rewritten at the same size",
         [&] {
             dir.write("www/js/chat.js", "var y;");
             stamp(2000);
         },
         "var y;", false},
        {"grown at the same time",
         [&] {
             dir.write("www/js/chat.js", "var xyz;");
             stamp(2000);
         },
         "var xyz;", false},
        {"replaced by another file",
         [&] {
             dir.write("www/js/next.js", "var n;1");
             std::rename(dir.file("www/js/next.js").c_str(), path.c_str());
             stamp(2000);
         },
         "var n;1", false},
    };
    vorta::file_cache::text previous;
    for (const auto& step : steps) {
        step.change();
        const vorta::file_cache::text now = read();
        ASSERT_NE(now, nullptr) << step.what;
        EXPECT_EQ(*now, step.contents) << step.what;
        EXPECT_EQ(now == previous, step.same_text) << step.what;
        previous = now;
    }
    // A file too large to keep is left to be sent in pieces.
    dir.write("www/js/chat.js", std::string(vorta::file_cache::max_file + 1, 'x'));
    EXPECT_EQ(read(), nullptr);
}

}  // namespace
