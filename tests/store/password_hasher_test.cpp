// Hashes are salted Argon2id with the agreed work, made and checked on the
// worker, and every answer reaches its caller only through the hand-back.
#include "store/password_hasher.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vorta {
namespace {

// The loop's side of the hand-back: posted work waits here until run.
class mailbox {
public:
    password_hasher::hand_back deliver() {
        return [this](std::function<void()> work) {
            std::lock_guard<std::mutex> lock(mutex_);
            posted_.push_back(std::move(work));
            arrived_.notify_all();
        };
    }
    // Waits for `count` posts and runs them on the calling thread.
    bool run(std::size_t count) {
        std::vector<std::function<void()>> work;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!arrived_.wait_for(lock, std::chrono::seconds(20), [&] { return posted_.size() >= count; }))
                return false;
            work.swap(posted_);
        }
        for (auto& item : work) item();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::function<void()>> posted_;
};

TEST(password_hasher, hashes_are_salted_argon2id_and_answers_come_back_through_the_hand_back) {
    mailbox loop;
    password_hasher hasher(loop.deliver());
    std::vector<std::string> hashes;
    const auto caller = std::this_thread::get_id();
    bool on_caller = true;
    for (int i = 0; i < 2; ++i)
        hasher.hash("geheim123", [&](std::string hash) {
            on_caller = on_caller && std::this_thread::get_id() == caller;
            hashes.push_back(hash);
        });
    ASSERT_TRUE(loop.run(2));
    ASSERT_EQ(hashes.size(), 2u);
    EXPECT_TRUE(on_caller);
    EXPECT_EQ(hashes[0].rfind("$argon2id$v=19$m=19456,t=2,p=1$", 0), 0u) << hashes[0];
    EXPECT_NE(hashes[0], hashes[1]);  // each with its own salt

    std::vector<bool> answers;
    for (const auto& [hash, typed] : {std::pair{hashes[0], "geheim123"}, std::pair{hashes[1], "geheim124"},
                                      std::pair{hashes[1], "geheim123"}, std::pair{std::string(), ""},
                                      std::pair{std::string("no hash"), "no hash"}})
        hasher.verify(hash, typed, [&](bool match) { answers.push_back(match); });
    ASSERT_TRUE(loop.run(5));
    EXPECT_EQ(answers, (std::vector<bool>{true, false, true, false, false}));
}

}  // namespace
}  // namespace vorta
