// Writing a run of bytes to a file descriptor whole.
#pragma once

#include <string_view>

namespace periodscan {

// Writes every byte, going on after partial writes and interrupted calls.
// False when a write fails (or writes nothing); the caller reports it on its
// own channel.
bool write_all(int fd, std::string_view bytes);

}  // namespace periodscan
