#pragma once
// The bytes a connection owes its peer, as a queue of pieces: a fragment that
// goes to many recipients is held once and each queue keeps a reference to
// it; small texts of one connection are gathered into buffers of its own,
// taken from and given back to a pool, so that a burst neither copies a
// fragment per recipient nor allocates and frees a buffer per recipient. A
// reader that falls far behind gets its own texts in one growing buffer.
#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorta {

class output_queue {
public:
    using shared_text = std::shared_ptr<const std::string>;

    // The size of a pooled buffer; longer texts get a buffer of their own size.
    static constexpr std::size_t block = 4096;
    // A text up to this size starts a buffer of this size instead: protocol
    // lines between shared fragments would otherwise hold a block each while
    // a slow reader catches up.
    static constexpr std::size_t small_text = 128;

    output_queue() = default;
    ~output_queue() { clear(); }
    output_queue(const output_queue&) = delete;
    output_queue& operator=(const output_queue&) = delete;

    // Queues a copy of `bytes`.
    void append(std::string_view bytes);
    // Queues `text` by reference; it must not change while queued.
    void append(shared_text text);
    // Queues `bytes` by reference, kept valid by `owner`; they must not change
    // while queued.
    void append(std::shared_ptr<const void> owner, std::string_view bytes);

    // Bytes owed, shared or not.
    std::size_t size() const { return owed_; }
    bool empty() const { return owed_ == 0; }
    void clear();

    // Points at most `max` entries of `vector` at the bytes owed, in order;
    // returns how many it filled.
    std::size_t gather(iovec* vector, std::size_t max) const;
    // Drops the first `count` bytes owed (no more than `size()`), once they are
    // written.
    void advance(std::size_t count);
    // One `sendmsg` of as much as is owed, advancing past what it took; the
    // result and errno as `sendmsg` leaves them.
    ssize_t send(int descriptor, int flags);

    // Bytes this queue holds reserved for itself: its list of pieces and the
    // buffers it filled, not the fragments it shares.
    std::size_t capacity() const;

    // Buffers waiting in the pool of the calling thread.
    static std::size_t pooled();
    // Frees the lists of pieces that emptied queues of the calling thread gave
    // back for the next burst; the program does so when it gives memory back.
    static void release_spares();

private:
    struct piece {
        std::shared_ptr<const void> shared;  // null for a buffer of the queue's own
        std::string_view view;               // the shared bytes
        std::string own;
        std::string_view bytes() const { return shared ? view : std::string_view(own); }
    };

    // True when the reader is far behind, judged by the pieces it is owed.
    bool backlog() const;
    // Gives a written piece's buffer back to the pool.
    static void recycle(piece& done);
    void make_room();
    static std::vector<std::vector<piece>>& spare_lists();

    std::vector<piece> pieces_;
    std::size_t head_ = 0;    // first piece not yet written
    std::size_t offset_ = 0;  // bytes of pieces_[head_] already written
    std::size_t owed_ = 0;
};

}  // namespace vorta
