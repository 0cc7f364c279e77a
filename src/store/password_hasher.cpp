#include "store/password_hasher.hpp"

#include <sodium.h>
#include <sys/resource.h>
#include <unistd.h>

#include "net/c_error.hpp"

namespace vorta {

namespace {

// The worker thread's nice value: the lowest priority there is.
constexpr int worker_niceness = 19;

void init_sodium() {
    if (sodium_init() < 0) throw c_error("can't initialise libsodium");
}

}  // namespace

password_hasher::password_hasher(hand_back deliver) : deliver_(std::move(deliver)) {}

password_hasher::~password_hasher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wanted_.notify_all();
    if (worker_.joinable()) worker_.join();
}

std::string password_hasher::hash_now(const std::string& password) {
    init_sodium();
    char encoded[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(encoded, password.data(), password.size(), ops_limit, mem_limit) != 0)
        throw c_error("out of memory while hashing a password");
    return encoded;
}

bool password_hasher::verify_now(const std::string& hash, const std::string& password) {
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    init_sodium();
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void password_hasher::hash(std::string password, std::function<void(std::string)> done) {
    enqueue([this, password = std::move(password), done = std::move(done)]() mutable {
        std::string encoded;
        try {
            encoded = hash_now(password);
        } catch (const c_error&) {
            // Handed back as an empty hash.
        }
        sodium_memzero(password.data(), password.size());
        deliver_([done = std::move(done), encoded = std::move(encoded)] { done(encoded); });
    });
}

void password_hasher::verify(std::string hash, std::string password, std::function<void(bool)> done) {
    enqueue([this, hash = std::move(hash), password = std::move(password), done = std::move(done)]() mutable {
        const bool match = verify_now(hash, password);
        sodium_memzero(password.data(), password.size());
        deliver_([done = std::move(done), match] { done(match); });
    });
}

void password_hasher::enqueue(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        jobs_.push_back(std::move(job));
        if (!worker_.joinable()) worker_ = std::thread(&password_hasher::work, this);
    }
    wanted_.notify_one();
}

void password_hasher::work() {
    // The chat's loop goes first when both want the processor: a log-in may
    // wait a little longer, a line of chat should not.
    setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), worker_niceness);
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wanted_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace vorta
