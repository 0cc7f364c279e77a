// Hashes are salted Argon2id with the agreed work, made and checked on the
// worker, and every answer reaches its caller only through the hand-back.
#include "store/password_hasher.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(password_hasher, hashes_are_salted_argon2id_and_answers_come_back_through_the_hand_back) {
    // The loop's side of the hand-back: posted work waits until `run` takes it.
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::function<void()>> posted;
    vorta::password_hasher hasher([&](std::function<void()> work) {
        std::lock_guard lock(mutex);
        posted.push_back(std::move(work));
        arrived.notify_all();
    });
    // Waits for `count` posts and runs them on this thread.
    const auto run = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        const auto ready = [&] { return posted.size() >= count; };
        if (!arrived.wait_for(lock, std::chrono::seconds(20), ready)) return false;
        for (auto& work : std::exchange(posted, {})) work();
        return true;
    };
    std::vector<std::string> hashes;
    const auto caller = std::this_thread::get_id();
    bool on_caller = true;
    for (int i = 0; i < 2; ++i)
        hasher.hash("geheim123", [&](std::string hash) {
            on_caller = on_caller && std::this_thread::get_id() == caller;
            hashes.push_back(hash);
        });
    ASSERT_TRUE(run(2));
    ASSERT_EQ(hashes.size(), 2u);
    EXPECT_TRUE(on_caller);
    EXPECT_EQ(hashes[0].rfind("$argon2id$v=19$m=19456,t=2,p=1$", 0), 0u) << hashes[0];
    EXPECT_NE(hashes[0], hashes[1]);  // each with its own salt

    std::vector<bool> answers;
    const std::pair<std::string, const char*> checks[] = {
        {hashes[0], "geheim123"}, {hashes[1], "geheim124"}, {hashes[1], "geheim123"}, {"", ""},
        {"no hash", "no hash"}};
    for (const auto& [hash, typed] : checks)
        hasher.verify(hash, typed, [&](bool match) { answers.push_back(match); });
    ASSERT_TRUE(run(5));
    EXPECT_EQ(answers, (std::vector<bool>{true, false, true, false, false}));
}

}  // namespace
