#include "fax/Bmp.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/LittleEndian.h"

namespace zeb::fax {

namespace {

constexpr std::array<std::string_view, kBmpLastErrorCode + 1> kErrorNames{
    "",
    "BMP_NOHDC",
    "BMP_NOFILEREADOPEN",
    "BMP_NOFILEWRITEOPEN",
    "BMP_NOFILEREAD",
    "BMP_NOFILEWRITE",
    "BMP_NOFILESEEK",
    "BMP_NOMEM",
    "BMP_CREATEDIBSECTIONFAIL",
    "BMP_NODIBSECTIONACCESS",
    "BMP_NOCOLORTABLEACCESS",
    "BMP_NODIBMEMORYACCESS",
    "BMP_ZERODIV",
    "BMP_AVIFILEOPEN",
    "BMP_AVIFILEINFO",
    "BMP_AVIGETSTREAM",
    "BMP_AVIREADFORMAT",
    "BMP_AVICREATESTREAM",
    "BMP_ICOPEN",
    "BMP_ICIMAGECOMPRESS",
    "BMP_AVISTREAMSETFORMAT",
    "BMP_AVISTREAMREAD",
    "BMP_AVISTREAMWRITE",
    "BMP_NOCLIPACCESS",
    "BMP_NOTWAIN32",
    "BMP_NOTWAIN32LOAD",
    "BMP_NOTWAIN32ACCESS",
    "BMP_OPENDSM",
    "BMP_USERSELECT",
    "BMP_OPENDS",
    "BMP_USERINTERFACE",
    "BMP_MSGSET",
    "BMP_NOCAPSUPPORT",
    "BMP_NOSTATUS",
    "BMP_NOIMAGELAYOUT",
    "BMP_NOIMAGEINFO",
    "BMP_NOSCANIMAGE",
    "BMP_NORESACCESS",
};

// "VXQC" in the important-colours field marks the scrambled variant.
constexpr std::uint32_t kScrambleMark = 0x43515856;
// Pixel memory the reader allocates at most: a run-length file of a few bytes
// may claim 32768 × 32768 pixels.
constexpr std::uint64_t kMaxPixelBytes = 64ull << 20;

// BMP header fields are 16 or 32 bits; the values are computed as uint32_t.
void put16(std::uint8_t* at, std::uint32_t v) { le::put16(at, static_cast<std::uint16_t>(v)); }
using le::get32;
using le::put32;
std::uint32_t get16(const std::uint8_t* at) { return le::get16(at); }

void appendRow(std::string& out, const std::uint8_t* row, int bytes) {
    out.append(reinterpret_cast<const char*>(row), static_cast<std::size_t>(bytes));
}
void push(std::string& out, int byte) { out.push_back(static_cast<char>(byte & 0xFF)); }

// Run-length codes of one row of palette indices. A run of three or more
// equal pixels becomes an encoded run; stretches without such runs go in
// absolute mode (three pixels or more) or as short encoded runs.
void encodeRleRow(const std::vector<int>& p, bool fourBit, std::string& out) {
    const int w = static_cast<int>(p.size());
    const auto runAt = [&](int i) {
        int r = 1;
        while (i + r < w && r < 255 &&
               p[static_cast<std::size_t>(i + r)] == p[static_cast<std::size_t>(i)])
            ++r;
        return r;
    };
    int i = 0;
    while (i < w) {
        const int run = runAt(i);
        if (run >= 3) {
            push(out, run);
            const int v = p[static_cast<std::size_t>(i)];
            push(out, fourBit ? (v << 4 | v) : v);
            i += run;
            continue;
        }
        int j = i;
        while (j < w && j - i < 255 && runAt(j) < 3) ++j;
        const int len = j - i;
        if (len < 3) {
            for (int k = i; k < j; ++k) {
                push(out, 1);
                const int v = p[static_cast<std::size_t>(k)];
                push(out, fourBit ? v << 4 : v);
            }
        } else {
            push(out, 0);
            push(out, len);
            int bytes = 0;
            if (fourBit) {
                for (int k = i; k < j; k += 2) {
                    const int hi = p[static_cast<std::size_t>(k)];
                    const int lo = k + 1 < j ? p[static_cast<std::size_t>(k + 1)] : 0;
                    push(out, hi << 4 | lo);
                    ++bytes;
                }
            } else {
                for (int k = i; k < j; ++k, ++bytes) push(out, p[static_cast<std::size_t>(k)]);
            }
            if (bytes % 2) push(out, 0);  // absolute runs end on a 16-bit boundary
        }
        i = j;
    }
}

std::string encode(const Bitmap& bm, bool compress, bool scramble) {
    const bool rle = compress && (bm.bitsPerPixel == 4 || bm.bitsPerPixel == 8);
    const int colours = bm.bitsPerPixel <= 8 ? 1 << bm.bitsPerPixel : 0;
    std::string data;
    if (rle) {
        std::vector<int> row(static_cast<std::size_t>(bm.width));
        for (int y = bm.height - 1; y >= 0; --y) {
            for (int x = 0; x < bm.width; ++x) row[static_cast<std::size_t>(x)] = bm.index(x, y);
            encodeRleRow(row, bm.bitsPerPixel == 4, data);
            push(data, 0);
            push(data, y == 0 ? 1 : 0);  // end of line, end of picture after the top row
        }
    } else {
        data.reserve(static_cast<std::size_t>(bm.stride()) * static_cast<std::size_t>(bm.height));
        for (int y = bm.height - 1; y >= 0; --y) appendRow(data, bm.row(y), bm.stride());
    }
    if (scramble) {
        std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(data.data()), data.size());
        unscramble(bytes);  // the key stream is its own inverse
    }
    BmpHeaders h;
    h.dataOffset = static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + 4 * colours);
    h.fileSize = h.dataOffset + static_cast<std::uint32_t>(data.size());
    h.width = bm.width;
    h.height = bm.height;
    h.bitsPerPixel = static_cast<std::uint16_t>(bm.bitsPerPixel);
    h.compression = rle ? (bm.bitsPerPixel == 4 ? 2u : 1u) : 0u;
    h.imageSize = static_cast<std::uint32_t>(data.size());
    h.coloursUsed = static_cast<std::uint32_t>(colours);
    h.coloursImportant = scramble ? kScrambleMark : static_cast<std::uint32_t>(colours);
    std::string out(h.dataOffset, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(out.data());
    putHeaders(h, bytes);
    for (int i = 0; i < colours; ++i) {
        const Rgb c = i < static_cast<int>(bm.palette.size())
                          ? bm.palette[static_cast<std::size_t>(i)]
                          : Rgb{};
        std::uint8_t* e = bytes + kFileHeaderSize + kInfoHeaderSize + 4 * i;
        e[0] = c.b;
        e[1] = c.g;
        e[2] = c.r;
        e[3] = 0;
    }
    out += data;
    return out;
}

Error readError(std::string_view detail) { return bmpError(BmpError::NoFileRead, detail); }

// Decodes run-length data into `bm` (rows top-down in memory, bottom-up in
// the file). Codes that would write beyond the last row, or data that ends
// before the end-of-picture code, are errors; pixels beyond the end of a row
// (an odd run length at the right edge) are dropped.
Result<void> decodeRle(std::span<const std::uint8_t> d, Bitmap& bm) {
    const bool four = bm.bitsPerPixel == 4;
    std::size_t at = 0;
    long x = 0, y = 0;  // y counts rows from the bottom
    const auto put = [&](int value) -> bool {
        if (y >= bm.height) return false;
        if (x < bm.width)
            bm.setIndex(static_cast<int>(x), bm.height - 1 - static_cast<int>(y), value);
        ++x;
        return true;
    };
    while (true) {
        if (at + 2 > d.size()) {
            if (y >= bm.height) return success();  // every row ended, end code missing
            return readError("run-length data ends early");
        }
        const int a = d[at], b = d[at + 1];
        at += 2;
        if (a > 0) {
            for (int k = 0; k < a; ++k) {
                const int v = four ? ((k & 1) ? (b & 15) : (b >> 4)) : b;
                if (!put(v)) return readError("run-length data beyond the last row");
            }
        } else if (b == 0) {
            ++y;
            x = 0;
        } else if (b == 1) {
            return success();
        } else if (b == 2) {
            if (at + 2 > d.size()) return readError("run-length data ends early");
            x += d[at];
            y += d[at + 1];
            at += 2;
            if (y > bm.height) return readError("run-length offset beyond the picture");
        } else {
            const std::size_t bytes = four ? (static_cast<std::size_t>(b) + 1) / 2 : b;
            const std::size_t padded = bytes + (bytes & 1);
            if (at + padded > d.size()) return readError("run-length data ends early");
            for (int k = 0; k < b; ++k) {
                const int byte =
                    d[at + (four ? static_cast<std::size_t>(k / 2) : static_cast<std::size_t>(k))];
                const int v = four ? ((k & 1) ? (byte & 15) : (byte >> 4)) : byte;
                if (!put(v)) return readError("run-length data beyond the last row");
            }
            at += padded;
        }
    }
}

}  // namespace

std::string_view bmpErrorName(int code) {
    if (code < 1 || code > kBmpLastErrorCode) return {};
    return kErrorNames[static_cast<std::size_t>(code)];
}

std::error_code make_error_code(BmpError code) {
    static const ModuleErrorCategory category(
        "BMP", [](int value) { return std::string(bmpErrorName(value)); });
    return {static_cast<int>(code), category};
}

Error bmpError(BmpError code, std::string_view detail, int cause) {
    std::string message(bmpErrorName(static_cast<int>(code)));
    if (!detail.empty()) message += ": " + std::string(detail);
    return Error{code, message, cause};
}

std::vector<Rgb> greyPalette16() {
    std::vector<Rgb> p(16);
    for (int i = 0; i < 16; ++i) {
        const auto v = static_cast<std::uint8_t>(255 - 17 * i);
        p[static_cast<std::size_t>(i)] = {v, v, v};
    }
    return p;
}

int Bitmap::index(int x, int y) const {
    const std::uint8_t* r = row(y);
    switch (bitsPerPixel) {
        case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? (r[x >> 1] & 15) : (r[x >> 1] >> 4);
        case 8: return r[x];
        default: return 0;
    }
}

void Bitmap::setIndex(int x, int y, int value) {
    std::uint8_t* r = row(y);
    switch (bitsPerPixel) {
        case 1: {
            const int bit = 7 - (x & 7);
            r[x >> 3] = static_cast<std::uint8_t>((r[x >> 3] & ~(1 << bit)) | ((value & 1) << bit));
            break;
        }
        case 4:
            r[x >> 1] = (x & 1)
                            ? static_cast<std::uint8_t>((r[x >> 1] & 0xF0) | (value & 15))
                            : static_cast<std::uint8_t>((r[x >> 1] & 0x0F) | ((value & 15) << 4));
            break;
        case 8: r[x] = static_cast<std::uint8_t>(value); break;
        default: break;
    }
}

Rgb Bitmap::colour(int x, int y) const {
    if (bitsPerPixel == 24) {
        const std::uint8_t* p = row(y) + 3 * x;
        return {p[2], p[1], p[0]};
    }
    const auto i = static_cast<std::size_t>(index(x, y));
    return i < palette.size() ? palette[i] : Rgb{};
}

Bitmap makeGreyBitmap(int width, int height) {
    Bitmap bm;
    bm.width = width;
    bm.height = height;
    bm.bitsPerPixel = 4;
    bm.palette = greyPalette16();
    bm.pixels.assign(static_cast<std::size_t>(bm.stride()) * static_cast<std::size_t>(height), 0);
    return bm;
}

void putHeaders(const BmpHeaders& h, std::uint8_t* out) {
    out[0] = 'B';
    out[1] = 'M';
    put32(out + 2, h.fileSize);
    put32(out + 6, 0);
    put32(out + 10, h.dataOffset);
    std::uint8_t* i = out + kFileHeaderSize;
    put32(i + 0, h.headerSize);
    put32(i + 4, static_cast<std::uint32_t>(h.width));
    put32(i + 8, static_cast<std::uint32_t>(h.height));
    put16(i + 12, h.planes);
    put16(i + 14, h.bitsPerPixel);
    put32(i + 16, h.compression);
    put32(i + 20, h.imageSize);
    put32(i + 24, static_cast<std::uint32_t>(h.xPelsPerMeter));
    put32(i + 28, static_cast<std::uint32_t>(h.yPelsPerMeter));
    put32(i + 32, h.coloursUsed);
    put32(i + 36, h.coloursImportant);
}

BmpHeaders getHeaders(const std::uint8_t* in) {
    BmpHeaders h;
    h.fileSize = get32(in + 2);
    h.dataOffset = get32(in + 10);
    const std::uint8_t* i = in + kFileHeaderSize;
    h.headerSize = get32(i);
    h.width = static_cast<std::int32_t>(get32(i + 4));
    h.height = static_cast<std::int32_t>(get32(i + 8));
    h.planes = static_cast<std::uint16_t>(get16(i + 12));
    h.bitsPerPixel = static_cast<std::uint16_t>(get16(i + 14));
    h.compression = get32(i + 16);
    h.imageSize = get32(i + 20);
    h.xPelsPerMeter = static_cast<std::int32_t>(get32(i + 24));
    h.yPelsPerMeter = static_cast<std::int32_t>(get32(i + 28));
    h.coloursUsed = get32(i + 32);
    h.coloursImportant = get32(i + 36);
    return h;
}

std::string encodeBmp(const Bitmap& bitmap, bool compress) {
    return encode(bitmap, compress, false);
}
std::string encodeScrambledBmp(const Bitmap& bitmap) { return encode(bitmap, false, true); }

void unscramble(std::span<std::uint8_t> bytes) {
    std::uint32_t reg = 0x5A3C9E71u;
    for (std::uint8_t& b : bytes) {
        std::uint32_t next = reg >> 1;
        if (((reg >> 16) & 1u) != (reg & 1u)) next |= 1u << 18;
        reg = next;
        b = static_cast<std::uint8_t>(b ^ (reg & 0xFFu));
    }
}

Result<Bitmap> decodeBmp(std::span<const std::uint8_t> file) {
    const std::uint64_t size = file.size();
    if (size < kFileHeaderSize + kInfoHeaderSize) return readError("file too short");
    if (file[0] != 'B' || file[1] != 'M') return readError("not a BMP file");
    BmpHeaders h = getHeaders(file.data());
    if (h.headerSize < kInfoHeaderSize || kFileHeaderSize + std::uint64_t{h.headerSize} > size)
        return readError("bad information header size");
    if (h.width < 1 || h.width > kMaxBmpSide) return readError("bad width");
    const bool topDown = h.height < 0;
    const std::int64_t height = topDown ? -std::int64_t{h.height} : h.height;
    if (height < 1 || height > kMaxBmpSide) return readError("bad height");
    if (h.planes != 1) return readError("bad plane count");
    const int bpp = h.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return readError("unsupported depth");
    const bool rle = h.compression != 0;
    if (rle && !((h.compression == 1 && bpp == 8) || (h.compression == 2 && bpp == 4)))
        return readError("unsupported compression");
    if (rle && topDown) return readError("compressed pictures cannot be top-down");
    const std::uint64_t maxColours = bpp <= 8 ? (1u << bpp) : 256;
    const std::uint64_t colours = h.coloursUsed != 0 ? h.coloursUsed : (bpp <= 8 ? maxColours : 0);
    if (colours > maxColours) return readError("too many colours");
    const std::uint64_t paletteAt = kFileHeaderSize + std::uint64_t{h.headerSize};
    if (paletteAt + 4 * colours > h.dataOffset || h.dataOffset > size)
        return readError("bad pixel data offset");

    Bitmap bm;
    bm.width = h.width;
    bm.height = static_cast<int>(height);
    bm.bitsPerPixel = bpp == 24 ? 24 : bpp;
    const std::uint64_t stride = static_cast<std::uint64_t>(Bitmap::strideOf(bm.width, bpp));
    const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(height);
    if (pixelBytes > kMaxPixelBytes) return readError("picture too large");
    const std::uint64_t available = size - h.dataOffset;
    if (!rle && pixelBytes > available) return readError("pixel data truncated");

    if (bpp <= 8) {
        bm.palette.assign(static_cast<std::size_t>(maxColours), Rgb{});
        for (std::uint64_t i = 0; i < colours; ++i) {
            const std::uint8_t* e = file.data() + paletteAt + 4 * i;
            bm.palette[static_cast<std::size_t>(i)] = {e[2], e[1], e[0]};
        }
    }
    std::vector<std::uint8_t> data(
        file.begin() + static_cast<std::ptrdiff_t>(h.dataOffset),
        file.begin() + static_cast<std::ptrdiff_t>(h.dataOffset + (rle ? available : pixelBytes)));
    if (h.coloursImportant == kScrambleMark) unscramble(data);

    bm.pixels.assign(static_cast<std::size_t>(pixelBytes), 0);
    if (rle) {
        if (auto r = decodeRle(data, bm); !r) return r.error();
    } else {
        for (int y = 0; y < bm.height; ++y) {
            const int fileRow = topDown ? y : bm.height - 1 - y;
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(
                                           stride * static_cast<std::uint64_t>(fileRow)),
                        stride, bm.row(y));
        }
    }
    return bm;
}

Result<Bitmap> readBmpFile(const std::filesystem::path& path) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int cause = errno != 0 ? errno : EIO;
        return bmpError(BmpError::NoFileReadOpen, path.string() + ": " + std::strerror(cause),
                        cause);
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) return bmpError(BmpError::NoFileRead, path.string());
    return decodeBmp(bytes);
}

Result<Bitmap> makeThumbnail(const Bitmap& src) {
    if (src.width <= 0 || src.height <= 0) return bmpError(BmpError::ZeroDiv, "empty picture");
    // Real division: an integer scale would give 165 × 109 for 1810 × 1200.
    const double s = std::max(src.width / 160.0, src.height / 128.0);
    Bitmap th;
    th.width = std::max(1, static_cast<int>(std::floor(src.width / s + 0.5)));
    th.height = std::max(1, static_cast<int>(std::floor(src.height / s + 0.5)));
    th.bitsPerPixel = src.bitsPerPixel;
    th.palette = src.palette;
    th.pixels.assign(static_cast<std::size_t>(th.stride()) * static_cast<std::size_t>(th.height),
                     0);

    const auto span = [&](int i, int limit) {
        int lo = static_cast<int>(std::floor(i * s)),
            hi = static_cast<int>(std::floor((i + 1) * s));
        lo = std::clamp(lo, 0, limit);
        hi = std::clamp(hi, 0, limit);
        if (hi <= lo) {
            lo = std::clamp(static_cast<int>(std::floor((i + 0.5) * s)), 0, limit - 1);
            hi = lo + 1;
        }
        return std::pair{lo, hi};
    };
    for (int ty = 0; ty < th.height; ++ty) {
        const auto [y0, y1] = span(ty, src.height);
        for (int tx = 0; tx < th.width; ++tx) {
            const auto [x0, x1] = span(tx, src.width);
            std::uint64_t r = 0, g = 0, b = 0;
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x) {
                    const Rgb c = src.colour(x, y);
                    r += c.r;
                    g += c.g;
                    b += c.b;
                }
            }
            const double n = static_cast<double>(x1 - x0) * (y1 - y0);
            const double ar = static_cast<double>(r) / n, ag = static_cast<double>(g) / n,
                         ab = static_cast<double>(b) / n;
            if (th.bitsPerPixel == 24) {
                std::uint8_t* p = th.row(ty) + 3 * tx;
                p[0] = static_cast<std::uint8_t>(std::lround(ab));
                p[1] = static_cast<std::uint8_t>(std::lround(ag));
                p[2] = static_cast<std::uint8_t>(std::lround(ar));
                continue;
            }
            int best = 0;
            double bestDistance = 1e30;
            for (std::size_t i = 0; i < th.palette.size(); ++i) {
                const Rgb& c = th.palette[i];
                const double d =
                    (c.r - ar) * (c.r - ar) + (c.g - ag) * (c.g - ag) + (c.b - ab) * (c.b - ab);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = static_cast<int>(i);
                }
            }
            th.setIndex(tx, ty, best);
        }
    }
    return th;
}

}  // namespace zeb::fax
