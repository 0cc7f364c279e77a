#include "net/output_queue.hpp"

#include <sys/socket.h>

#include <iterator>

namespace vorta {

namespace {

// Enough blocks for the texts of a burst to a few dozen connections;
// beyond that, buffers written are freed.
constexpr std::size_t max_pooled = 64;
// Pieces owed beyond which a reader counts as far behind: a reader that keeps
// up owes the lines of one pass, about ten.
constexpr std::size_t backlog_pieces = 16;
// Pieces one `sendmsg` takes at most.
constexpr std::size_t max_gather = 64;
// The list of pieces an emptied queue keeps, so that an idle connection does
// not hold the list of its busiest moment.
constexpr std::size_t kept_pieces = 4;
// Spare lists are kept up to this size and number: the lists of readers far
// behind would otherwise grow every list they are handed on to.
constexpr std::size_t spare_pieces = 64;
constexpr std::size_t max_spares = 8192;

std::vector<std::string>& pool() {
    thread_local std::vector<std::string> buffers;
    return buffers;
}

std::string take_buffer() {
    std::vector<std::string>& buffers = pool();
    if (buffers.empty()) {
        std::string fresh;
        fresh.reserve(output_queue::block);
        return fresh;
    }
    std::string buffer = std::move(buffers.back());
    buffers.pop_back();
    return buffer;
}

}  // namespace

// Lists of pieces that emptied queues gave back: a burst to a crowded room
// fills thousands of queues at once, and each would otherwise allocate its
// list anew and free it again in every pass.
std::vector<std::vector<output_queue::piece>>& output_queue::spare_lists() {
    thread_local std::vector<std::vector<piece>> lists;
    return lists;
}

void output_queue::append(std::string_view bytes) {
    if (bytes.empty()) return;
    owed_ += bytes.size();
    if (!pieces_.empty() && !pieces_.back().shared) {
        std::string& last = pieces_.back().own;
        if (last.capacity() - last.size() >= bytes.size() || backlog()) {
            last.append(bytes);
            return;
        }
    }
    make_room();
    piece next;
    if (bytes.size() <= small_text) {
        next.own.reserve(small_text);
    } else if (bytes.size() <= block) {
        next.own = take_buffer();
    }
    next.own.append(bytes);
    pieces_.push_back(std::move(next));
}

// By reference however far behind the reader is: a copy would cost every
// recipient of a crowded room the fragment's bytes, a reference a piece.
void output_queue::append(shared_text text) {
    if (text == nullptr) return;
    const std::string_view bytes = *text;
    append(std::move(text), bytes);
}

void output_queue::append(std::shared_ptr<const void> owner, std::string_view bytes) {
    if (owner == nullptr || bytes.empty()) return;
    owed_ += bytes.size();
    make_room();
    pieces_.push_back(piece{std::move(owner), bytes, std::string()});
}

// A reader this far behind gets its own texts appended to one growing buffer
// instead of a small buffer each, which would scatter the heap.
bool output_queue::backlog() const { return pieces_.size() - head_ >= backlog_pieces; }

void output_queue::recycle(piece& done) {
    done.shared.reset();
    std::vector<std::string>& buffers = pool();
    if (done.own.capacity() == block && buffers.size() < max_pooled) {
        done.own.clear();
        buffers.push_back(std::move(done.own));
    }
    std::string().swap(done.own);
}

// A list that outgrew its first few pieces takes a spare one that did too.
void output_queue::make_room() {
    if (pieces_.size() < pieces_.capacity() || pieces_.capacity() > kept_pieces) return;
    std::vector<std::vector<piece>>& lists = spare_lists();
    if (lists.empty()) return;
    std::vector<piece> larger = std::move(lists.back());
    lists.pop_back();
    std::move(pieces_.begin(), pieces_.end(), std::back_inserter(larger));
    pieces_.swap(larger);
}

void output_queue::clear() {
    for (std::size_t i = head_; i < pieces_.size(); ++i) recycle(pieces_[i]);
    pieces_.clear();
    if (pieces_.capacity() > kept_pieces) {
        std::vector<std::vector<piece>>& lists = spare_lists();
        if (pieces_.capacity() <= spare_pieces && lists.size() < max_spares) lists.push_back(std::move(pieces_));
        pieces_ = std::vector<piece>();
    }
    head_ = 0;
    offset_ = 0;
    owed_ = 0;
}

std::size_t output_queue::gather(iovec* vector, std::size_t max) const {
    std::size_t filled = 0;
    for (std::size_t i = head_; i < pieces_.size() && filled < max; ++i, ++filled) {
        std::string_view bytes = pieces_[i].bytes();
        if (i == head_) bytes.remove_prefix(offset_);
        vector[filled].iov_base = const_cast<char*>(bytes.data());
        vector[filled].iov_len = bytes.size();
    }
    return filled;
}

void output_queue::advance(std::size_t count) {
    if (count >= owed_) {
        clear();
        return;
    }
    owed_ -= count;
    while (count > 0) {
        const std::size_t rest = pieces_[head_].bytes().size() - offset_;
        if (count < rest) {
            offset_ += count;
            break;
        }
        count -= rest;
        recycle(pieces_[head_]);
        ++head_;
        offset_ = 0;
    }
    // Written pieces are dropped from the front once they are the larger part.
    if (head_ > kept_pieces && 2 * head_ > pieces_.size()) {
        pieces_.erase(pieces_.begin(), pieces_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

ssize_t output_queue::send(int descriptor, int flags) {
    iovec vector[max_gather];
    msghdr message{};
    message.msg_iov = vector;
    message.msg_iovlen = gather(vector, max_gather);
    const ssize_t count = ::sendmsg(descriptor, &message, flags);
    if (count > 0) advance(static_cast<std::size_t>(count));
    return count;
}

std::size_t output_queue::capacity() const {
    std::size_t bytes = pieces_.capacity() * sizeof(piece);
    for (std::size_t i = head_; i < pieces_.size(); ++i) bytes += pieces_[i].own.capacity();
    return bytes;
}

std::size_t output_queue::pooled() { return pool().size(); }

void output_queue::release_spares() { std::vector<std::vector<piece>>().swap(spare_lists()); }

}  // namespace vorta
