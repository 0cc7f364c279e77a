#pragma once
// The floor of the fan-out figures: the least a chat server must do, an epoll
// relay that writes every line it receives, padded to a fixed size, to every
// member of the sender's room, with one write per recipient and line.
#include <cstddef>

namespace vorta_bench {

// Serves `listener` until SIGTERM. A client announces itself with "LGN" and
// a room number and is answered "LGN"; every other line goes to the room,
// padded with blanks to `line_size` bytes, line feed included.
void floor_relay(int listener, std::size_t line_size);

}  // namespace vorta_bench
