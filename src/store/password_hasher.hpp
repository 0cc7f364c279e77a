#pragma once
// Salted Argon2id password hashes, made and checked on one worker thread so
// that the event loop never waits for them. The worker sees a password and a
// hash, never a session: each result goes back through the hand-back function
// (the scheduler's `post`) and its callback runs on the loop.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vorta {

class password_hasher {
public:
    using hand_back = std::function<void(std::function<void()>)>;

    // Argon2id work per hash: two passes over 19 MiB, the least that is
    // accepted as safe for stored passwords.
    static constexpr unsigned long long ops_limit = 2;
    static constexpr std::size_t mem_limit = std::size_t{19} << 20;

    explicit password_hasher(hand_back deliver);
    password_hasher(const password_hasher&) = delete;
    password_hasher& operator=(const password_hasher&) = delete;
    // Finishes the job under way, drops the rest and joins the worker.
    ~password_hasher();

    // `done` gets the encoded hash, or an empty text when hashing failed.
    void hash(std::string password, std::function<void(std::string)> done);
    // `done` gets true when `password` matches the encoded `hash`.
    void verify(std::string hash, std::string password, std::function<void(bool)> done);

    // The same on the calling thread. hash_now throws c_error on failure.
    static std::string hash_now(const std::string& password);
    static bool verify_now(const std::string& hash, const std::string& password);

private:
    void enqueue(std::function<void()> job);
    void work();

    hand_back deliver_;
    std::mutex mutex_;
    std::condition_variable wanted_;
    std::deque<std::function<void()>> jobs_;  // guarded by mutex_
    bool stopping_ = false;                   // guarded by mutex_
    // Started with the first job, after the process has detached.
    std::thread worker_;
};

}  // namespace vorta
