// gen_icon: draws the program's icon from a text description of shapes and writes a .ico with
// the image at 256, 48, 32 and 16 pixels, each in 8 bits per pixel (palette and mask) and in 32
// bits per pixel (BGRA with alpha; the 256 px one as PNG, the others as DIB).
//
//   gen_icon <source> <out.ico>
//   gen_icon preview <source> <size> <out.png>    one rendering, for looking at it
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kCanvas = 256.0;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied), 0..1
};

struct Shape {
  enum class Kind { kRoundRect, kCircle, kPolygon } kind;
  std::vector<double> numbers;  // roundrect x0 y0 x1 y1 radius; circle cx cy r; polygon x y ...
  Rgba top;
  Rgba bottom;  // the fill runs vertically from top to bottom over the shape's bounds
  double minY = 0, maxY = 0;
};

std::optional<Rgba> ParseColour(const std::string& text) {
  if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return std::nullopt;
  std::array<double, 4> c{0, 0, 0, 1};
  for (std::size_t i = 0; i * 2 + 1 < text.size(); ++i) {
    const std::string hex = text.substr(1 + i * 2, 2);
    if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
    c[i] = std::stoi(hex, nullptr, 16) / 255.0;
  }
  return Rgba{c[0], c[1], c[2], c[3]};
}

bool ParseSource(const std::string& source, std::vector<Shape>& shapes, std::string& error) {
  std::istringstream lines(source);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const auto fail = [&](const std::string& what) {
      error = "line " + std::to_string(number) + ": " + what;
      return false;
    };
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind[0] == '#') continue;
    Shape shape{};
    std::vector<std::string> colours;
    std::string word;
    while (words >> word) {
      if (word[0] == '#') {
        colours.push_back(word);
        continue;
      }
      try {
        std::size_t used = 0;
        shape.numbers.push_back(std::stod(word, &used));
        if (used != word.size()) return fail("not a number: " + word);
      } catch (const std::exception&) {
        return fail("not a number: " + word);
      }
    }
    std::size_t count;
    if (kind == "roundrect") {
      shape.kind = Shape::Kind::kRoundRect, count = 5;
    } else if (kind == "circle") {
      shape.kind = Shape::Kind::kCircle, count = 3;
    } else if (kind == "polygon") {
      shape.kind = Shape::Kind::kPolygon, count = shape.numbers.size();
      if (count < 6 || count % 2 != 0) return fail("a polygon needs three or more points");
    } else {
      return fail("unknown shape " + kind);
    }
    if (shape.numbers.size() != count)
      return fail(kind + " takes " + std::to_string(count) + " numbers");
    if (colours.empty() || colours.size() > 2) return fail("one or two colours");
    const auto top = ParseColour(colours[0]);
    const auto bottom = ParseColour(colours.back());
    if (!top || !bottom) return fail("bad colour");
    shape.top = *top;
    shape.bottom = *bottom;
    const auto& n = shape.numbers;
    if (shape.kind == Shape::Kind::kRoundRect) {
      shape.minY = n[1], shape.maxY = n[3];
    } else if (shape.kind == Shape::Kind::kCircle) {
      shape.minY = n[1] - n[2], shape.maxY = n[1] + n[2];
    } else {
      shape.minY = shape.maxY = n[1];
      for (std::size_t i = 1; i < n.size(); i += 2) {
        shape.minY = std::min(shape.minY, n[i]), shape.maxY = std::max(shape.maxY, n[i]);
      }
    }
    shapes.push_back(std::move(shape));
  }
  if (shapes.empty()) {
    error = "no shapes";
    return false;
  }
  return true;
}

bool Inside(const Shape& s, double x, double y) {
  const auto& n = s.numbers;
  switch (s.kind) {
    case Shape::Kind::kRoundRect: {
      if (x < n[0] || x > n[2] || y < n[1] || y > n[3]) return false;
      const double r = n[4];
      const double cx = std::clamp(x, n[0] + r, n[2] - r);
      const double cy = std::clamp(y, n[1] + r, n[3] - r);
      return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    }
    case Shape::Kind::kCircle:
      return (x - n[0]) * (x - n[0]) + (y - n[1]) * (y - n[1]) <= n[2] * n[2];
    case Shape::Kind::kPolygon: {
      bool in = false;
      const std::size_t points = n.size() / 2;
      for (std::size_t i = 0, j = points - 1; i < points; j = i++) {
        const double xi = n[i * 2], yi = n[i * 2 + 1], xj = n[j * 2], yj = n[j * 2 + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
      }
      return in;
    }
  }
  return false;
}

// A rendering: straight BGRA rows, top row first.
struct Image {
  int size = 0;
  std::vector<std::uint8_t> bgra;
};

Image Render(const std::vector<Shape>& shapes, int size) {
  const int samples = size >= 128 ? 4 : 8;  // per axis, per pixel
  const double scale = kCanvas / size;
  Image image{size, std::vector<std::uint8_t>(static_cast<std::size_t>(size * size) * 4)};
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      // Premultiplied sum over the samples.
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          const double x = (px + (sx + 0.5) / samples) * scale;
          const double y = (py + (sy + 0.5) / samples) * scale;
          double cr = 0, cg = 0, cb = 0, ca = 0;
          for (const Shape& s : shapes) {
            if (!Inside(s, x, y)) continue;
            const double t =
                s.maxY > s.minY ? std::clamp((y - s.minY) / (s.maxY - s.minY), 0.0, 1.0) : 0.0;
            const double sa = s.top.a + (s.bottom.a - s.top.a) * t;
            const double sr = (s.top.r + (s.bottom.r - s.top.r) * t) * sa;
            const double sg = (s.top.g + (s.bottom.g - s.top.g) * t) * sa;
            const double sb = (s.top.b + (s.bottom.b - s.top.b) * t) * sa;
            cr = sr + cr * (1 - sa), cg = sg + cg * (1 - sa), cb = sb + cb * (1 - sa);
            ca = sa + ca * (1 - sa);
          }
          r += cr, g += cg, b += cb, a += ca;
        }
      }
      const double n = samples * samples;
      a /= n;
      const auto byte = [](double v) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
      };
      std::uint8_t* out = &image.bgra[static_cast<std::size_t>(py * size + px) * 4];
      if (a > 0) {
        out[0] = byte(b / n / a), out[1] = byte(g / n / a), out[2] = byte(r / n / a);
      }
      out[3] = byte(a);
    }
  }
  return image;
}

// --- PNG ---------------------------------------------------------------------------------------

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put32BE(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void Put16LE(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v)), out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32LE(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16LE(out, v & 0xFFFF), Put16LE(out, v >> 16);
}

// A zlib stream of deflate blocks with fixed Huffman codes and greedy LZ77 matching.
class Deflater {
 public:
  std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& data) {
    out_ = {0x78, 0x01};
    PutBits(1, 1);  // final block
    PutBits(1, 2);  // fixed Huffman codes
    constexpr std::size_t kWindow = 32768, kMinMatch = 3, kMaxMatch = 258, kChain = 64;
    std::vector<std::int64_t> head(1 << 15, -1), previous(data.size(), -1);
    const auto hash = [&](std::size_t i) {
      return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & 0x7FFF;
    };
    std::size_t i = 0;
    while (i < data.size()) {
      std::size_t bestLength = 0, bestDistance = 0;
      if (i + kMinMatch <= data.size()) {
        const auto h = static_cast<std::size_t>(hash(i));
        std::int64_t candidate = head[h];
        for (std::size_t chain = 0; candidate >= 0 && chain < kChain; ++chain) {
          const auto c = static_cast<std::size_t>(candidate);
          if (i - c > kWindow) break;
          std::size_t length = 0;
          while (length < kMaxMatch && i + length < data.size() &&
                 data[c + length] == data[i + length]) {
            ++length;
          }
          if (length > bestLength) bestLength = length, bestDistance = i - c;
          candidate = previous[c];
        }
      }
      const std::size_t advance = bestLength >= kMinMatch ? bestLength : 1;
      if (bestLength >= kMinMatch) {
        PutLength(bestLength);
        PutDistance(bestDistance);
      } else {
        PutLiteral(data[i]);
      }
      for (std::size_t k = 0; k < advance; ++k, ++i) {
        if (i + kMinMatch <= data.size()) {
          const auto h = static_cast<std::size_t>(hash(i));
          previous[i] = head[h];
          head[h] = static_cast<std::int64_t>(i);
        }
      }
    }
    PutCode(0, 7);  // end of block (symbol 256)
    if (bitCount_ > 0) out_.push_back(static_cast<std::uint8_t>(bitBuffer_));
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) a = (a + byte) % 65521, b = (b + a) % 65521;
    Put32BE(out_, b << 16 | a);
    return out_;
  }

 private:
  void PutBits(std::uint32_t value, int count) {
    for (int k = 0; k < count; ++k) {
      bitBuffer_ |= ((value >> k) & 1u) << bitCount_;
      if (++bitCount_ == 8)
        out_.push_back(static_cast<std::uint8_t>(bitBuffer_)), bitBuffer_ = 0, bitCount_ = 0;
    }
  }
  // Huffman codes go out most significant bit first.
  void PutCode(std::uint32_t code, int length) {
    for (int k = length - 1; k >= 0; --k) PutBits((code >> k) & 1u, 1);
  }
  void PutSymbol(std::uint32_t symbol) {
    if (symbol < 144)
      PutCode(0x30 + symbol, 8);
    else if (symbol < 256)
      PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
      PutCode(symbol - 256, 7);
    else
      PutCode(0xC0 + symbol - 280, 8);
  }
  void PutLiteral(std::uint8_t byte) { PutSymbol(byte); }
  void PutLength(std::size_t length) {
    static constexpr std::array<std::uint16_t, 29> kBase{
        3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::array<std::uint8_t, 29> kExtra{
        0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::size_t code = 28;
    while (kBase[code] > length) --code;
    PutSymbol(static_cast<std::uint32_t>(257 + code));
    PutBits(static_cast<std::uint32_t>(length - kBase[code]), kExtra[code]);
  }
  void PutDistance(std::size_t distance) {
    std::uint32_t code = 0;
    std::uint32_t base = 1;
    int extra = 0;
    // Distance codes: 0-3 single values, then pairs of codes per doubling.
    for (code = 0; code < 30; ++code) {
      extra = code < 4 ? 0 : static_cast<int>(code / 2 - 1);
      base = code < 4 ? code + 1 : (2u + (code & 1u)) << extra | 1u;
      if (distance < base + (1u << extra)) break;
    }
    PutCode(code, 5);
    PutBits(static_cast<std::uint32_t>(distance - base), extra);
  }

  std::vector<std::uint8_t> out_;
  std::uint32_t bitBuffer_ = 0;
  int bitCount_ = 0;
};

void PutChunk(std::vector<std::uint8_t>& png, const char* type,
              const std::vector<std::uint8_t>& data) {
  Put32BE(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  Put32BE(png, Crc32(&png[start], png.size() - start));
}

std::vector<std::uint8_t> EncodePng(const Image& image) {
  std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  Put32BE(header, static_cast<std::uint32_t>(image.size));
  Put32BE(header, static_cast<std::uint32_t>(image.size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, no interlace
  PutChunk(png, "IHDR", header);
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < image.size; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < image.size; ++x) {
      const std::uint8_t* p = &image.bgra[static_cast<std::size_t>(y * image.size + x) * 4];
      raw.insert(raw.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  PutChunk(png, "IDAT", Deflater().Compress(raw));
  PutChunk(png, "IEND", {});
  return png;
}

// --- DIB images ---------------------------------------------------------------------------------

// Median cut of the opaque pixels' colours into at most 256 entries.
std::vector<std::array<std::uint8_t, 3>> MakePalette(const Image& image) {
  using Colour = std::array<std::uint8_t, 3>;
  std::vector<Colour> pixels;
  for (std::size_t i = 0; i < image.bgra.size(); i += 4) {
    if (image.bgra[i + 3] >= 128)
      pixels.push_back({image.bgra[i], image.bgra[i + 1], image.bgra[i + 2]});
  }
  std::vector<std::pair<std::size_t, std::size_t>> boxes{{0, pixels.size()}};
  while (boxes.size() < 256) {
    // Split the box with the widest channel range.
    std::size_t best = boxes.size(), bestChannel = 0;
    int bestRange = 0;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
      for (std::size_t ch = 0; ch < 3; ++ch) {
        int lo = 255, hi = 0;
        for (std::size_t i = boxes[b].first; i < boxes[b].second; ++i) {
          lo = std::min<int>(lo, pixels[i][ch]), hi = std::max<int>(hi, pixels[i][ch]);
        }
        if (hi - lo > bestRange) bestRange = hi - lo, best = b, bestChannel = ch;
      }
    }
    if (best == boxes.size()) break;
    auto [first, last] = boxes[best];
    const auto begin = pixels.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = pixels.begin() + static_cast<std::ptrdiff_t>(last);
    std::sort(begin, end,
              [&](const Colour& a, const Colour& c) { return a[bestChannel] < c[bestChannel]; });
    const std::size_t middle = first + (last - first) / 2;
    boxes[best] = {first, middle};
    boxes.push_back({middle, last});
  }
  std::vector<Colour> palette;
  for (const auto& [first, last] : boxes) {
    if (first == last) continue;
    std::array<std::size_t, 3> sum{};
    for (std::size_t i = first; i < last; ++i) {
      for (std::size_t ch = 0; ch < 3; ++ch) sum[ch] += pixels[i][ch];
    }
    const std::size_t n = last - first;
    palette.push_back({static_cast<std::uint8_t>(sum[0] / n), static_cast<std::uint8_t>(sum[1] / n),
                       static_cast<std::uint8_t>(sum[2] / n)});
  }
  if (palette.empty()) palette.push_back({0, 0, 0});
  return palette;
}

// An icon image as a DIB: header, palette (8 bpp), colour rows and mask rows, bottom-up.
std::vector<std::uint8_t> EncodeDib(const Image& image, int bitsPerPixel) {
  const auto size = static_cast<std::uint32_t>(image.size);
  const std::uint32_t colourRow = (size * static_cast<std::uint32_t>(bitsPerPixel) / 8 + 3) & ~3u;
  const std::uint32_t maskRow = ((size + 7) / 8 + 3) & ~3u;
  std::vector<std::uint8_t> dib;
  Put32LE(dib, 40);
  Put32LE(dib, size);
  Put32LE(dib, size * 2);  // colour and mask
  Put16LE(dib, 1);
  Put16LE(dib, static_cast<std::uint32_t>(bitsPerPixel));
  Put32LE(dib, 0);  // BI_RGB
  Put32LE(dib, (colourRow + maskRow) * size);
  Put32LE(dib, 0), Put32LE(dib, 0);
  Put32LE(dib, bitsPerPixel == 8 ? 256 : 0), Put32LE(dib, 0);
  std::vector<std::array<std::uint8_t, 3>> palette;
  if (bitsPerPixel == 8) {
    palette = MakePalette(image);
    for (std::size_t i = 0; i < 256; ++i) {
      const auto c = i < palette.size() ? palette[i] : std::array<std::uint8_t, 3>{0, 0, 0};
      dib.insert(dib.end(), {c[0], c[1], c[2], 0});
    }
  }
  const auto pixel = [&](std::uint32_t x, std::uint32_t y) {
    return &image.bgra[(static_cast<std::size_t>(y) * size + x) * 4];
  };
  for (std::uint32_t row = 0; row < size; ++row) {
    const std::uint32_t y = size - 1 - row;
    const std::size_t start = dib.size();
    for (std::uint32_t x = 0; x < size; ++x) {
      const std::uint8_t* p = pixel(x, y);
      if (bitsPerPixel == 32) {
        dib.insert(dib.end(), {p[0], p[1], p[2], p[3]});
        continue;
      }
      std::size_t nearest = 0;
      int nearestDistance = 1 << 30;
      if (p[3] >= 128) {
        for (std::size_t i = 0; i < palette.size(); ++i) {
          const int d0 = p[0] - palette[i][0], d1 = p[1] - palette[i][1], d2 = p[2] - palette[i][2];
          const int d = d0 * d0 + d1 * d1 + d2 * d2;
          if (d < nearestDistance) nearestDistance = d, nearest = i;
        }
      }
      dib.push_back(static_cast<std::uint8_t>(nearest));
    }
    dib.resize(start + colourRow, 0);
  }
  for (std::uint32_t row = 0; row < size; ++row) {
    const std::uint32_t y = size - 1 - row;
    std::vector<std::uint8_t> bits(maskRow, 0);
    for (std::uint32_t x = 0; x < size; ++x) {
      // Transparent where the colour image does not cover (1 = screen shows through).
      if (pixel(x, y)[3] < 128) bits[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
    dib.insert(dib.end(), bits.begin(), bits.end());
  }
  return dib;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  return static_cast<bool>(out);
}

std::vector<std::uint8_t> EncodeIco(const std::vector<Shape>& shapes) {
  struct Entry {
    int size;
    int bits;
    std::vector<std::uint8_t> data;
  };
  std::vector<Entry> entries;
  for (int size : {256, 48, 32, 16}) {
    const Image image = Render(shapes, size);
    entries.push_back({size, 32, size == 256 ? EncodePng(image) : EncodeDib(image, 32)});
    entries.push_back({size, 8, EncodeDib(image, 8)});
  }
  std::vector<std::uint8_t> ico;
  Put16LE(ico, 0), Put16LE(ico, 1), Put16LE(ico, static_cast<std::uint32_t>(entries.size()));
  auto offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const Entry& e : entries) {
    ico.push_back(static_cast<std::uint8_t>(e.size & 0xFF));  // 0 means 256
    ico.push_back(static_cast<std::uint8_t>(e.size & 0xFF));
    ico.push_back(0);  // colour count: 0 for 256 colours or more
    ico.push_back(0);
    Put16LE(ico, 1);
    Put16LE(ico, static_cast<std::uint32_t>(e.bits));
    Put32LE(ico, static_cast<std::uint32_t>(e.data.size()));
    Put32LE(ico, offset);
    offset += static_cast<std::uint32_t>(e.data.size());
  }
  for (const Entry& e : entries) ico.insert(ico.end(), e.data.begin(), e.data.end());
  return ico;
}

int Usage() {
  std::cerr << "usage: gen_icon <source> <out.ico>\n"
               "       gen_icon preview <source> <size> <out.png>\n";
  return 2;
}

bool Load(const std::string& path, std::vector<Shape>& shapes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "gen_icon: cannot read " << path << "\n";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string error;
  if (!ParseSource(text.str(), shapes, error)) {
    std::cerr << path << ": " << error << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Shape> shapes;
  if (argc == 5 && std::string(argv[1]) == "preview") {
    const int size = std::atoi(argv[3]);
    if (size < 1 || size > 1024) return Usage();
    if (!Load(argv[2], shapes)) return 1;
    return WriteFile(argv[4], EncodePng(Render(shapes, size))) ? 0 : 1;
  }
  if (argc != 3) return Usage();
  if (!Load(argv[1], shapes)) return 1;
  if (!WriteFile(argv[2], EncodeIco(shapes))) {
    std::cerr << "gen_icon: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
