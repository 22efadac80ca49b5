#include "report/RvoSplay.h"

#include <array>

namespace korvane::report {
namespace {

constexpr int kRoot = 0;
constexpr int kLeaves = 256;
// Child slots run to 512: the initial tree gives node 255 a right child 512 that
// stands for no byte. It moves with the splays like any leaf but is never sent.
constexpr int kSlots = 2 * kLeaves + 1;
constexpr int kNoByte = 2 * kLeaves;

class TSplayTree {
 public:
  TSplayTree() {
    for (int i = 0; i < kLeaves; ++i) {
      left_[i] = static_cast<uint16_t>(2 * i + 1);
      right_[i] = static_cast<uint16_t>(2 * i + 2);
    }
    for (int j = 1; j < kSlots; ++j) up_[j] = static_cast<uint16_t>((j - 1) / 2);
    up_[0] = 0;
  }

  void Splay(uint8_t plain) {
    int a = plain + kLeaves;
    do {
      int c = up_[a];
      if (c != kRoot) {
        int d = up_[c];
        int e = left_[d];
        if (c == e) {
          e = right_[d];
          right_[d] = static_cast<uint16_t>(a);
        } else {
          left_[d] = static_cast<uint16_t>(a);
        }
        if (a == left_[c]) left_[c] = static_cast<uint16_t>(e);
        else right_[c] = static_cast<uint16_t>(e);
        up_[a] = static_cast<uint16_t>(d);
        up_[e] = static_cast<uint16_t>(c);
        a = d;
      } else {
        a = c;
      }
    } while (a != kRoot);
  }

  // Path bits from the leaf up to the root (1 = right child); returns how many.
  int PathUp(uint8_t plain, std::array<bool, 2 * kLeaves>& bits) const {
    int n = 0;
    int a = plain + kLeaves;
    while (a != kRoot) {
      int c = up_[a];
      bits[n++] = right_[c] == a;
      a = c;
    }
    return n;
  }

  int Left(int node) const { return left_[node]; }
  int Right(int node) const { return right_[node]; }

 private:
  std::array<uint16_t, kLeaves> left_{};
  std::array<uint16_t, kLeaves> right_{};
  std::array<uint16_t, kSlots> up_{};
};

}  // namespace

std::string SplayEncode(std::string_view plain) {
  TSplayTree tree;
  std::string out;
  out.reserve(plain.size() / 2 + 16);
  std::array<bool, 2 * kLeaves> bits{};
  unsigned acc = 0;
  int used = 0;
  for (char ch : plain) {
    uint8_t b = static_cast<uint8_t>(ch);
    int n = tree.PathUp(b, bits);
    while (n > 0) {
      if (bits[--n]) acc |= 1u << used;
      if (++used == 8) {
        out.push_back(static_cast<char>(acc));
        acc = 0;
        used = 0;
      }
    }
    tree.Splay(b);
  }
  if (used > 0) out.push_back(static_cast<char>(acc));
  return out;
}

std::optional<std::string> SplayDecode(std::string_view coded, size_t length, size_t cap) {
  // Every byte costs at least one bit.
  if (length > cap || (length + 7) / 8 > coded.size()) return std::nullopt;
  TSplayTree tree;
  std::string out;
  out.reserve(length);
  size_t pos = 0;
  int used = 8;
  unsigned byte = 0;
  while (out.size() < length) {
    int node = kRoot;
    while (node < kLeaves) {
      if (used == 8) {
        if (pos == coded.size()) return std::nullopt;
        byte = static_cast<uint8_t>(coded[pos++]);
        used = 0;
      }
      bool right = (byte >> used++) & 1u;
      node = right ? tree.Right(node) : tree.Left(node);
    }
    if (node == kNoByte) return std::nullopt;
    uint8_t b = static_cast<uint8_t>(node - kLeaves);
    out.push_back(static_cast<char>(b));
    tree.Splay(b);
  }
  return out;
}

}  // namespace korvane::report
