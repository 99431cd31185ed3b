#pragma once

#include <string>
#include <string_view>

namespace kip {

// Replaces the contents of the file at path with content, the way an export should:
// - a regular file (or a new one) is replaced atomically through a temporary file beside it, keeping the
//   old file's mode and, where the process may set it, its owner; a failed write leaves the old file;
// - a symbolic link is followed to its final target, which is written (created when the link dangles), so
//   the link stays a link; as the kernel does, a link in a sticky folder every user may write is followed
//   only when it belongs to this process's user or to the folder's owner, and refused otherwise;
// - a file with other hard links, or in a folder this process may not write, is rewritten in place;
// - anything else (a folder, a FIFO, a device, a socket) is refused and left alone.
// Returns why nothing was written, in words for the user; empty when the file holds content.
[[nodiscard]] std::string replaceFile(const std::string& path, std::string_view content);

}  // namespace kip
