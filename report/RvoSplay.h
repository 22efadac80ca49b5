// Splay-tree prefix code of stored page images.
//
// Every page image is coded on its own, starting from the initial tree: 256 inner
// nodes (node 0 the root) over 256 leaves, leaf 256 + b standing for byte b. A byte is
// sent as the path from the root to its leaf (1 = right child), then the tree is
// semi-splayed at that leaf so that frequent bytes get short codes. Bits are packed
// into bytes from the lowest bit up; the last byte is padded with zero bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::report {

std::string SplayEncode(std::string_view plain);

// Decodes exactly `length` bytes. A code can never pack more than 8 bytes into one
// input byte, so a length above 8 × the input size (or above `cap`) is refused
// without allocating, and so is input that runs out before `length` bytes are
// decoded: both give nothing.
std::optional<std::string> SplayDecode(std::string_view coded, size_t length, size_t cap);

}  // namespace korvane::report
