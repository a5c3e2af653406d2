#include "dsp/Primitives.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "dsp/Status.h"

namespace zeb::dsp {

namespace {

// Reports a failed check of `function` and returns true when `failed`.
bool fails(bool failed, const char* function, const char* message,
           SourcePosition where = SourcePosition::current()) {
    if (failed) reportError(kStatusBadArgument, function, message, where);
    return failed;
}

// The usual three checks of a two-vector primitive, in the order the callers expect.
bool badSrcDst(const char* fn, const char* lenText, int n, const void* src, const char* srcText,
               const void* dst) {
    return fails(n <= 0, fn, lenText) || fails(src == nullptr, fn, srcText) ||
           fails(dst == nullptr, fn, "dst==0");
}

bool badVec(const char* fn, int n, const void* vec) {
    return fails(n <= 0, fn, "len<=0") || fails(vec == nullptr, fn, "vec==0");
}

template <typename T>
void toFloat(const void* src, float* dst, int n) {
    const T* s = static_cast<const T*>(src);
    for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(s[i]);
}

double roundBy(double v, int mode) {
    switch (mode) {
        case kRoundTruncate: return std::trunc(v);
        case kRoundDown: return std::floor(v);
        case kRoundUp: return std::ceil(v);
        default: return std::nearbyint(v);
    }
}

template <typename T>
void toInt(const float* src, void* dst, int n, int mode) {
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
    T* d = static_cast<T*>(dst);
    for (int i = 0; i < n; ++i) {
        const double v = roundBy(static_cast<double>(src[i]), mode);
        if (std::isnan(v))
            d[i] = 0;
        else if (v <= lo)
            d[i] = std::numeric_limits<T>::min();
        else if (v >= hi)
            d[i] = std::numeric_limits<T>::max();
        else
            d[i] = static_cast<T>(v);
    }
}

bool isOneRoundingMode(int mode) {
    return mode == kRoundNearest || mode == kRoundTruncate || mode == kRoundDown ||
           mode == kRoundUp;
}

template <typename Weight>
void applyWindow(const char* fn, float* vec, int n, Weight weight) {
    if (fails(n < 3, fn, "Bad number of items") ||
        fails(vec == nullptr, fn, "Null pointer to buffer")) {
        return;
    }
    const double step = 2.0 * std::numbers::pi / (n - 1);
    for (int i = 0; i < n; ++i) vec[i] *= static_cast<float>(weight(step * i));
}

}  // namespace

void nspsbIntToFloat(const void* src, float* dst, int n, int wordSize, int flags) {
    constexpr const char* fn = "nspsbIntToFloat";
    if (badSrcDst(fn, "len<=0", n, src, "src==0", dst) ||
        fails(wordSize != 8 && wordSize != 16 && wordSize != 32, fn,
              "Invalid size of an integer") ||
        fails(flags != 0 && flags != kUnsigned, fn, "Invalid conversion flag")) {
        return;
    }
    const bool isUnsigned = flags == kUnsigned;
    switch (wordSize) {
        case 8:
            isUnsigned ? toFloat<std::uint8_t>(src, dst, n) : toFloat<std::int8_t>(src, dst, n);
            break;
        case 16:
            isUnsigned ? toFloat<std::uint16_t>(src, dst, n) : toFloat<std::int16_t>(src, dst, n);
            break;
        default:
            isUnsigned ? toFloat<std::uint32_t>(src, dst, n) : toFloat<std::int32_t>(src, dst, n);
            break;
    }
}

void nspsbFloatToInt(const float* src, void* dst, int n, int wordSize, int flags) {
    constexpr const char* fn = "nspsbFloatToInt";
    const int mode = flags & ~kUnsigned;
    if (badSrcDst(fn, "len<=0", n, src, "src==0", dst) ||
        fails(wordSize != 8 && wordSize != 16 && wordSize != 32, fn,
              "Invalid size of an integer") ||
        fails(!isOneRoundingMode(mode), fn, "Invalid conversion flag")) {
        return;
    }
    const bool isUnsigned = (flags & kUnsigned) != 0;
    switch (wordSize) {
        case 8:
            isUnsigned ? toInt<std::uint8_t>(src, dst, n, mode)
                       : toInt<std::int8_t>(src, dst, n, mode);
            break;
        case 16:
            isUnsigned ? toInt<std::uint16_t>(src, dst, n, mode)
                       : toInt<std::int16_t>(src, dst, n, mode);
            break;
        default:
            isUnsigned ? toInt<std::uint32_t>(src, dst, n, mode)
                       : toInt<std::int32_t>(src, dst, n, mode);
            break;
    }
}

void nspsbCopy(const float* src, float* dst, int n) {
    if (badSrcDst("nspsbCopy", "n<=0", n, src, "src==0", dst)) return;
    for (int i = 0; i < n; ++i) dst[i] = src[i];
}

void nspsbZero(float* dst, int n) {
    if (fails(n <= 0, "nspsbZero", "n<=0") || fails(dst == nullptr, "nspsbZero", "dst==0")) return;
    for (int i = 0; i < n; ++i) dst[i] = 0.0f;
}

void nspsbSet(float value, float* dst, int n) {
    if (fails(n <= 0, "nspsbSet", "n<=0") || fails(dst == nullptr, "nspsbSet", "dst==0")) return;
    for (int i = 0; i < n; ++i) dst[i] = value;
}

void nspsbAdd2(const float* src, float* dst, int n) {
    if (badSrcDst("nspsbAdd2", "n<=0", n, src, "src==0", dst)) return;
    for (int i = 0; i < n; ++i) dst[i] += src[i];
}

void nspsbSub2(const float* src, float* dst, int n) {
    if (badSrcDst("nspsbSub2", "n<=0", n, src, "val==0", dst)) return;
    for (int i = 0; i < n; ++i) dst[i] -= src[i];
}

void nspsbMpy1(float value, float* dst, int n) {
    if (fails(n <= 0, "nspsbMpy1", "n<=0") || fails(dst == nullptr, "nspsbMpy1", "dst==0")) return;
    for (int i = 0; i < n; ++i) dst[i] *= value;
}

void nspsbMpy2(const float* src, float* dst, int n) {
    if (badSrcDst("nspsbMpy2", "n<=0", n, src, "src==0", dst)) return;
    for (int i = 0; i < n; ++i) dst[i] *= src[i];
}

void nspsbAbs1(float* vec, int n) {
    if (badVec("nspsbAbs1", n, vec)) return;
    for (int i = 0; i < n; ++i) vec[i] = std::fabs(vec[i]);
}

void nspsbSqrt2(const float* src, float* dst, int n) {
    constexpr const char* fn = "nspsbSqrt2";
    if (badSrcDst(fn, "len<=0", n, src, "src==0", dst)) return;
    bool negative = false;
    for (int i = 0; i < n; ++i) {
        if (src[i] < 0.0f)
            negative = true;
        else
            dst[i] = std::sqrt(src[i]);
    }
    fails(negative, fn, "Element of input vector is negative");
}

void nspsbThresh1(float* vec, int n, float threshold, int relation) {
    if (badVec("nspsbThresh1", n, vec)) return;
    if (relation == 0) {
        for (int i = 0; i < n; ++i) vec[i] = vec[i] < threshold ? threshold : vec[i];
    } else {
        for (int i = 0; i < n; ++i) vec[i] = vec[i] > threshold ? threshold : vec[i];
    }
}

float nspsMean(const float* vec, int n) {
    if (badVec("nspsMean", n, vec)) return 0.0f;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += vec[i];
    return static_cast<float>(sum / n);
}

float nspsMax(const float* vec, int n) {
    if (badVec("nspsMax", n, vec)) return 0.0f;
    float m = vec[0];
    for (int i = 1; i < n; ++i) m = vec[i] > m ? vec[i] : m;
    return m;
}

float nspsMin(const float* vec, int n) {
    if (badVec("nspsMin", n, vec)) return 0.0f;
    float m = vec[0];
    for (int i = 1; i < n; ++i) m = vec[i] < m ? vec[i] : m;
    return m;
}

namespace {
bool badSpectrum(const char* fn, const float* re, const float* im, const float* out,
                 const char* outText, int n) {
    return fails(re == nullptr, fn, "srcReal==0") || fails(im == nullptr, fn, "srcImag==0") ||
           fails(out == nullptr, fn, outText) || fails(n <= 0, fn, "length<=0");
}
}  // namespace

void nspsbrPowerSpectr(const float* re, const float* im, float* spectrum, int n) {
    if (badSpectrum("nspsbrPowerSpectr", re, im, spectrum, "spectr==0", n)) return;
    for (int i = 0; i < n; ++i) spectrum[i] = re[i] * re[i] + im[i] * im[i];
}

void nspsbrMag(const float* re, const float* im, float* magnitude, int n) {
    if (badSpectrum("nspsbrMag", re, im, magnitude, "mag==0", n)) return;
    nspsbrPowerSpectr(re, im, magnitude, n);
    nspsbSqrt2(magnitude, magnitude, n);
}

void nspsWinHamming(float* vec, int n) {
    applyWindow("nspsWinHamming", vec, n, [](double a) { return 0.54 - 0.46 * std::cos(a); });
}

void nspsWinHann(float* vec, int n) {
    applyWindow("nspsWinHann", vec, n, [](double a) { return 0.5 - 0.5 * std::cos(a); });
}

void nspsWinBartlett(float* vec, int n) {
    if (fails(n < 3, "nspsWinBartlett", "Bad number of items") ||
        fails(vec == nullptr, "nspsWinBartlett", "Null pointer to buffer")) {
        return;
    }
    const int half = (n + 1) / 2;
    for (int i = 0; i < n; ++i) {
        const int k = i < half ? i : n - 1 - i;
        vec[i] *= static_cast<float>(2.0 * k / (n - 1));
    }
}

}  // namespace zeb::dsp
