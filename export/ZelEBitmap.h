#pragma once
// Windows bitmaps (BMP) as graphic fields store them: an 8-byte leader, then
// the bitmap file. Reads every bit depth (1, 4, 8, 16, 24, 32), run-length
// compressed 4- and 8-bit pictures, bit-field masks, bottom-up and top-down
// row order. The header is checked against the bytes there are before anything
// is allocated, so a damaged or hostile BLOB can never ask for more memory
// than its own size allows.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

class TZelEBitmap {
 public:
  // A run-length compressed picture may hold at most this many pixels, 4096 x
  // 4096 (runs and skips let a few bytes describe any number of them, and it is
  // decoded whole, one byte a pixel).
  static constexpr int64_t kMaxCompressedPixels = int64_t{1} << 24;

  // Reads the header of a bitmap, with or without the 8-byte leader. False with
  // the reason in error when the bytes are no bitmap this reader draws or hold
  // fewer pixels than the header promises.
  bool Parse(std::string_view data, std::string& error);
  // The same from the first bytes of a bitmap that is read in pieces: head
  // holds at least its first kHeadBytes bytes (all of them when it is shorter),
  // length is the length of the whole. Dib() and DecodeRows need Parse.
  bool ParseHead(std::string_view head, uint64_t length, std::string& error);
  // Enough for the leader, the file and info headers, masks and 256 colours.
  static constexpr size_t kHeadBytes = 8 + 14 + 124 + 16 + 256 * 4;

  // Where the device-independent bitmap lies in the data given to Parse or
  // ParseHead (offsets from its start, a leader counted): the info header
  // with its masks and colour table, then the pixel bits. Padding zero bytes
  // complete the last row when the data ends without its padding.
  struct TDibLayout {
    uint64_t HeaderStart = 0, HeaderLength = 0;
    uint64_t BitsStart = 0, BitsLength = 0;
    uint64_t Padding = 0;
  };
  const TDibLayout& DibLayout() const { return layout_; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitCount() const { return bitCount_; }
  bool TopDown() const { return topDown_; }
  uint32_t Compression() const { return compression_; }

  // The device-independent bitmap: info header, colour table and pixel bits
  // (the bitmap file without its 14-byte file header). Points into the data
  // given to Parse.
  std::string_view Dib() const { return dib_; }

  // Hands the pixels over row by row, top row first, as red-green-blue bytes
  // (3 x Width). Pixels a compressed picture leaves out are black.
  void DecodeRows(const std::function<void(int y, const uint8_t* rgb)>& sink) const;

 private:
  void DecodeCompressed(const std::function<void(int y, const uint8_t* rgb)>& sink) const;
  void Expand(const uint8_t* src, uint8_t* rgb) const;  // one stored row

  std::string_view dib_, bits_;
  TDibLayout layout_;
  int width_ = 0, height_ = 0, bitCount_ = 0;
  bool topDown_ = false;
  uint32_t compression_ = 0;
  uint32_t headerSize_ = 0;
  uint32_t masks_[3] = {0, 0, 0};
  uint8_t palette_[256][3] = {};
  int colors_ = 0;
  size_t stride_ = 0;
};

}  // namespace korvane
