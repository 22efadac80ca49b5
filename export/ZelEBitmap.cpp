#include "export/ZelEBitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace korvane {

namespace {

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The lowest set bit and the largest value of a colour mask.
void MaskShape(uint32_t mask, int& shift, uint32_t& max) {
  shift = 0;
  max = 0;
  if (mask == 0) return;
  while (!((mask >> shift) & 1u)) ++shift;
  max = mask >> shift;
}

uint8_t MaskedComponent(uint32_t v, uint32_t mask) {
  int shift;
  uint32_t max;
  MaskShape(mask, shift, max);
  if (max == 0) return 0;
  return static_cast<uint8_t>(((v & mask) >> shift) * 255u / max);
}

}  // namespace

bool TZelEBitmap::Parse(std::string_view data, std::string& error) {
  if (!ParseHead(data, data.size(), error)) return false;
  dib_ = data.substr(static_cast<size_t>(layout_.HeaderStart));
  bits_ = data.substr(static_cast<size_t>(layout_.BitsStart));
  return true;
}

bool TZelEBitmap::ParseHead(std::string_view head, uint64_t length, std::string& error) {
  *this = TZelEBitmap();
  length = std::max<uint64_t>(length, head.size());
  // Graphic fields keep an 8-byte leader before the file.
  uint64_t leader = 0;
  if (head.size() >= 10 && head.substr(8, 2) == "BM" && head.substr(0, 2) != "BM") {
    head.remove_prefix(8);
    leader = 8;
    length -= 8;
  }
  if (head.size() < 14 + 12 || head.substr(0, 2) != "BM") {
    error = "the data is no bitmap";
    return false;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(head.data());
  const uint32_t offBits = Le32(p + 10);
  const auto* h = p + 14;
  // Bytes of the headers at hand, and of everything after the file header.
  const size_t have = head.size() - 14;
  const uint64_t avail = length - 14;
  headerSize_ = Le32(h);
  int64_t width = 0, height = 0;
  int paletteEntry = 4;
  uint32_t colorsUsed = 0;
  if (headerSize_ == 12) {
    width = Le16(h + 4);
    height = static_cast<int16_t>(Le16(h + 6));
    bitCount_ = static_cast<int>(Le16(h + 10));
    paletteEntry = 3;
  } else if (headerSize_ >= 40 && headerSize_ <= avail && have >= 40) {
    width = static_cast<int32_t>(Le32(h + 4));
    height = static_cast<int32_t>(Le32(h + 8));
    bitCount_ = static_cast<int>(Le16(h + 14));
    compression_ = Le32(h + 16);
    colorsUsed = Le32(h + 32);
    colors_ = static_cast<int>(colorsUsed > 256 ? 257 : colorsUsed);
  } else {
    error = "the bitmap header is damaged";
    return false;
  }
  if (width <= 0 || height == 0 || height == INT32_MIN) {
    error = "the bitmap has no pixels";
    return false;
  }
  topDown_ = height < 0;
  if (height < 0) height = -height;
  const bool rle = compression_ == 1 || compression_ == 2;
  const bool fields = compression_ == 3 || compression_ == 6;
  const bool depthOk = (bitCount_ == 1 || bitCount_ == 4 || bitCount_ == 8 || bitCount_ == 16 || bitCount_ == 24 ||
                        bitCount_ == 32) &&
                       (compression_ == 0 || (compression_ == 1 && bitCount_ == 8) ||
                        (compression_ == 2 && bitCount_ == 4) || (fields && (bitCount_ == 16 || bitCount_ == 32)));
  if (!depthOk) {
    error = "the bitmap's bit depth " + std::to_string(bitCount_) + " with compression " +
            std::to_string(compression_) + " is not one a bitmap can have";
    return false;
  }
  size_t pos = headerSize_;
  if (fields) {
    if (headerSize_ >= 52 && have >= 52) {
      masks_[0] = Le32(h + 40), masks_[1] = Le32(h + 44), masks_[2] = Le32(h + 48);
    } else {
      if (pos + 12 > avail || pos + 12 > have) {
        error = "the bitmap's colour masks are missing";
        return false;
      }
      masks_[0] = Le32(h + pos), masks_[1] = Le32(h + pos + 4), masks_[2] = Le32(h + pos + 8);
      pos += compression_ == 6 ? 16 : 12;
    }
  } else if (bitCount_ == 16) {
    masks_[0] = 0x7C00, masks_[1] = 0x03E0, masks_[2] = 0x001F;
  } else if (bitCount_ == 32) {
    masks_[0] = 0xFF0000, masks_[1] = 0xFF00, masks_[2] = 0xFF;
  }
  // The colour table: the colours a picture of up to 8 bits draws with; the
  // optional table of a deeper one is only passed on.
  uint64_t table = 0;
  if (bitCount_ <= 8) {
    const int maxColors = 1 << bitCount_;
    if (colors_ == 0 || colors_ > maxColors) colors_ = maxColors;
    const size_t bytes = static_cast<size_t>(colors_) * static_cast<size_t>(paletteEntry);
    // A palette cut short keeps the colours there are.
    const size_t got = pos < have ? std::min(bytes, have - pos) : 0;
    const int n = static_cast<int>(got / static_cast<size_t>(paletteEntry));
    for (int i = 0; i < n; ++i) {
      const uint8_t* e = h + pos + static_cast<size_t>(i * paletteEntry);
      palette_[i][0] = e[2], palette_[i][1] = e[1], palette_[i][2] = e[0];
    }
    pos += bytes;
  } else {
    colors_ = 0;
    table = uint64_t{colorsUsed} * 4;
  }
  // The pixels start where the file header says, else right after the palette.
  size_t bitsAt = pos;
  if (offBits >= 14 + pos && offBits - 14 < avail) bitsAt = offBits - 14;
  if (bitsAt >= avail) {
    error = "the bitmap has no pixel data";
    return false;
  }
  const uint64_t bitsHave = avail - bitsAt;
  stride_ = static_cast<size_t>(((width * bitCount_ + 31) / 32) * 4);
  uint64_t bitsLength = 0;
  if (rle) {
    if (width * height > kMaxCompressedPixels) {
      error = "the compressed bitmap claims " + std::to_string(width) + " x " + std::to_string(height) +
              " pixels, more than a picture of this kind is read with";
      return false;
    }
    const uint32_t sizeImage = headerSize_ >= 40 ? Le32(h + 20) : 0;
    bitsLength = sizeImage != 0 ? std::min<uint64_t>(sizeImage, bitsHave) : bitsHave;
  } else {
    // Every row but the last whole, the last at least to its last pixel.
    const uint64_t lastRow = static_cast<uint64_t>((width * bitCount_ + 7) / 8);
    const uint64_t need = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height - 1) + lastRow;
    if (need > bitsHave) {
      error = "the bitmap's header promises " + std::to_string(width) + " x " + std::to_string(height) +
              " pixels, but its data holds only " + std::to_string(bitsHave) + " of the " + std::to_string(need) +
              " bytes they need";
      return false;
    }
    const uint64_t full = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height);
    bitsLength = std::min(full, bitsHave);
    layout_.Padding = full - bitsLength;
  }
  layout_.HeaderStart = leader + 14;
  layout_.HeaderLength = std::min<uint64_t>(pos + table, bitsAt);
  layout_.BitsStart = leader + 14 + bitsAt;
  layout_.BitsLength = bitsLength;
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  return true;
}

void TZelEBitmap::Expand(const uint8_t* src, uint8_t* rgb) const {
  const int w = width_;
  switch (bitCount_) {
    case 1:
    case 4:
    case 8: {
      const int per = 8 / bitCount_;
      const int mask = (1 << bitCount_) - 1;
      for (int x = 0; x < w; ++x) {
        const int byte = src[x / per];
        const int shift = (per - 1 - x % per) * bitCount_;
        const int idx = (byte >> shift) & mask;
        std::memcpy(rgb + 3 * x, palette_[idx], 3);
      }
      break;
    }
    case 16:
      for (int x = 0; x < w; ++x) {
        const uint32_t v = Le16(src + 2 * x);
        rgb[3 * x] = MaskedComponent(v, masks_[0]);
        rgb[3 * x + 1] = MaskedComponent(v, masks_[1]);
        rgb[3 * x + 2] = MaskedComponent(v, masks_[2]);
      }
      break;
    case 24:
      for (int x = 0; x < w; ++x) {
        rgb[3 * x] = src[3 * x + 2];
        rgb[3 * x + 1] = src[3 * x + 1];
        rgb[3 * x + 2] = src[3 * x];
      }
      break;
    case 32:
      for (int x = 0; x < w; ++x) {
        const uint32_t v = Le32(src + 4 * x);
        rgb[3 * x] = MaskedComponent(v, masks_[0]);
        rgb[3 * x + 1] = MaskedComponent(v, masks_[1]);
        rgb[3 * x + 2] = MaskedComponent(v, masks_[2]);
      }
      break;
  }
}

void TZelEBitmap::DecodeRows(const std::function<void(int y, const uint8_t* rgb)>& sink) const {
  if (width_ <= 0) return;
  if (compression_ == 1 || compression_ == 2) {
    DecodeCompressed(sink);
    return;
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(width_) * 3);
  const auto* bits = reinterpret_cast<const uint8_t*>(bits_.data());
  const size_t lastRow = static_cast<size_t>((static_cast<int64_t>(width_) * bitCount_ + 7) / 8);
  std::vector<uint8_t> tail;
  for (int y = 0; y < height_; ++y) {
    const size_t stored = static_cast<size_t>(topDown_ ? y : height_ - 1 - y);
    const size_t at = stored * stride_;
    const uint8_t* src = bits + at;
    // The last row may lack its padding: read it from a padded copy.
    if (at + stride_ > bits_.size()) {
      tail.assign(stride_ + 4, 0);
      std::memcpy(tail.data(), src, std::min(lastRow, bits_.size() - at));
      src = tail.data();
    }
    Expand(src, rgb.data());
    sink(y, rgb.data());
  }
}

void TZelEBitmap::DecodeCompressed(const std::function<void(int y, const uint8_t* rgb)>& sink) const {
  const size_t w = static_cast<size_t>(width_), h = static_cast<size_t>(height_);
  std::vector<uint8_t> index(w * h, 0);
  const auto* p = reinterpret_cast<const uint8_t*>(bits_.data());
  const size_t n = bits_.size();
  const bool four = compression_ == 2;
  size_t x = 0, row = 0, i = 0;  // row counts in stored order
  auto put = [&](uint8_t v) {
    if (x < w && row < h) index[row * w + x] = v;
    ++x;
  };
  while (i + 1 < n && row < h) {
    const uint8_t count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) put(four ? static_cast<uint8_t>(k % 2 ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // skip right and up
      if (i + 1 >= n) break;
      x += p[i];
      row += p[i + 1];
      i += 2;
    } else {  // literal pixels, padded to 16 bits
      const size_t bytes = four ? (value + 1u) / 2u : value;
      for (int k = 0; k < value; ++k) {
        const size_t at = i + (four ? static_cast<size_t>(k / 2) : static_cast<size_t>(k));
        if (at >= n) break;
        put(four ? static_cast<uint8_t>(k % 2 ? p[at] & 0x0F : p[at] >> 4) : p[at]);
      }
      i += bytes + (bytes & 1u);
    }
  }
  std::vector<uint8_t> rgb(w * 3);
  for (size_t y = 0; y < h; ++y) {
    const size_t stored = topDown_ ? y : h - 1 - y;
    const uint8_t* src = index.data() + stored * w;
    for (size_t k = 0; k < w; ++k) std::memcpy(rgb.data() + 3 * k, palette_[src[k]], 3);
    sink(static_cast<int>(y), rgb.data());
  }
}

}  // namespace korvane
