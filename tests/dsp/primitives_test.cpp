#include "dsp/Primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "report_capture.h"

namespace zeb::dsp {
namespace {

using test::ReportCapture;

TEST(IntToFloat, KeepsValuesWithoutScaling) {
    const std::int16_t s16[] = {-32768, -1, 0, 1, 32767};
    float out[5] = {};
    nspsbIntToFloat(s16, out, 5, 16, 0);
    EXPECT_EQ(out[0], -32768.0f);
    EXPECT_EQ(out[4], 32767.0f);

    const std::uint8_t u8[] = {0, 200, 255};
    nspsbIntToFloat(u8, out, 3, 8, kUnsigned);
    EXPECT_EQ(out[1], 200.0f);
    EXPECT_EQ(out[2], 255.0f);

    const std::int8_t s8[] = {-128, 127};
    nspsbIntToFloat(s8, out, 2, 8, 0);
    EXPECT_EQ(out[0], -128.0f);

    const std::uint16_t u16[] = {65535};
    nspsbIntToFloat(u16, out, 1, 16, kUnsigned);
    EXPECT_EQ(out[0], 65535.0f);

    const std::int32_t s32[] = {-100000, 2000000};
    nspsbIntToFloat(s32, out, 2, 32, 0);
    EXPECT_EQ(out[0], -100000.0f);
    EXPECT_EQ(out[1], 2000000.0f);
}

struct RoundCase {
    int mode;
    float in;
    int expected;
};

class FloatToInt16 : public ::testing::TestWithParam<RoundCase> {};

TEST_P(FloatToInt16, RoundsAndSaturates) {
    const auto& c = GetParam();
    std::int16_t out = 1234;
    nspsbFloatToInt(&c.in, &out, 1, 16, c.mode);
    EXPECT_EQ(out, c.expected);
}

constexpr float kInf = std::numeric_limits<float>::infinity();
INSTANTIATE_TEST_SUITE_P(
    Modes, FloatToInt16,
    ::testing::Values(
        RoundCase{kRoundNearest, 2.4f, 2}, RoundCase{kRoundNearest, -2.6f, -3},
        RoundCase{kRoundNearest, 2.5f, 2}, RoundCase{kRoundNearest, 3.5f, 4},
        RoundCase{kRoundTruncate, -2.9f, -2}, RoundCase{kRoundDown, -2.1f, -3},
        RoundCase{kRoundUp, 2.1f, 3},
        // beyond the 16-bit range: saturation, never wrap-around
        RoundCase{kRoundNearest, 32767.6f, 32767}, RoundCase{kRoundNearest, 40000.0f, 32767},
        RoundCase{kRoundNearest, -40000.0f, -32768}, RoundCase{kRoundNearest, kInf, 32767},
        RoundCase{kRoundNearest, -kInf, -32768}, RoundCase{kRoundNearest, std::nanf(""), 0}));

TEST(FloatToInt, OtherWordSizesSaturateToTheirRange) {
    const float in[] = {300.0f, -300.0f, 5e9f, -1.0f};
    std::int8_t s8[2];
    nspsbFloatToInt(in, s8, 2, 8, kRoundNearest);
    EXPECT_EQ(s8[0], 127);
    EXPECT_EQ(s8[1], -128);
    std::int32_t s32[1];
    nspsbFloatToInt(in + 2, s32, 1, 32, kRoundNearest);
    EXPECT_EQ(s32[0], std::numeric_limits<std::int32_t>::max());
    std::uint16_t u16[1];
    nspsbFloatToInt(in + 3, u16, 1, 16, kRoundNearest | kUnsigned);
    EXPECT_EQ(u16[0], 0);
}

TEST(VectorPrimitives, ComputeTheirResults) {
    std::vector<float> a = {1, -2, 3, -4};
    const std::vector<float> b = {0.5f, 2, -1, 4};
    std::vector<float> d(4);
    nspsbCopy(a.data(), d.data(), 4);
    EXPECT_EQ(d, a);
    nspsbAdd2(b.data(), d.data(), 4);
    EXPECT_EQ(d, (std::vector<float>{1.5f, 0, 2, 0}));
    nspsbSub2(b.data(), d.data(), 4);
    EXPECT_EQ(d, a);
    nspsbMpy2(b.data(), d.data(), 4);
    EXPECT_EQ(d, (std::vector<float>{0.5f, -4, -3, -16}));
    nspsbMpy1(-2.0f, d.data(), 4);
    EXPECT_EQ(d, (std::vector<float>{-1, 8, 6, 32}));
    nspsbAbs1(a.data(), 4);
    EXPECT_EQ(a, (std::vector<float>{1, 2, 3, 4}));
    nspsbSet(7.0f, d.data(), 4);
    EXPECT_EQ(d, (std::vector<float>(4, 7.0f)));
    nspsbZero(d.data(), 4);
    EXPECT_EQ(d, (std::vector<float>(4, 0.0f)));

    const std::vector<float> s = {3, -1, 8, 2};
    EXPECT_FLOAT_EQ(nspsMean(s.data(), 4), 3.0f);
    EXPECT_EQ(nspsMax(s.data(), 4), 8.0f);
    EXPECT_EQ(nspsMin(s.data(), 4), -1.0f);

    std::vector<float> t = s;
    nspsbThresh1(t.data(), 4, 2.5f, 0);
    EXPECT_EQ(t, (std::vector<float>{3, 2.5f, 8, 2.5f}));
    t = s;
    nspsbThresh1(t.data(), 4, 2.5f, 1);
    EXPECT_EQ(t, (std::vector<float>{2.5f, -1, 2.5f, 2}));
}

TEST(VectorPrimitives, MagnitudeOfThreeAndFourIsFive) {
    const float re[] = {3.0f, 0.0f}, im[] = {4.0f, -2.0f};
    float mag[2], pow[2];
    nspsbrMag(re, im, mag, 2);
    EXPECT_FLOAT_EQ(mag[0], 5.0f);
    EXPECT_FLOAT_EQ(mag[1], 2.0f);
    nspsbrPowerSpectr(re, im, pow, 2);
    EXPECT_FLOAT_EQ(pow[0], 25.0f);
}

TEST(VectorPrimitives, SqrtSkipsNegativeElementsAndReportsOnceAfterwards) {
    ReportCapture capture;
    const float src[] = {4.0f, -1.0f, 9.0f, -4.0f};
    float dst[] = {0.0f, 42.0f, 0.0f, 42.0f};
    nspsbSqrt2(src, dst, 4);
    EXPECT_EQ(dst[0], 2.0f);
    EXPECT_EQ(dst[1], 42.0f);
    EXPECT_EQ(dst[2], 3.0f);
    ASSERT_EQ(ReportCapture::reports().size(), 1u);
    EXPECT_EQ(ReportCapture::reports()[0].message, "Element of input vector is negative");
}

struct WindowCase {
    const char* name;
    void (*apply)(float*, int);
    int n;
    std::vector<float> expected;
};

class Windows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(Windows, HaveTheirShape) {
    const auto& c = GetParam();
    std::vector<float> v(c.n, 2.0f);
    c.apply(v.data(), c.n);
    for (int i = 0; i < c.n; ++i) EXPECT_NEAR(v[i], 2.0f * c.expected[i], 1e-6) << i;
}

INSTANTIATE_TEST_SUITE_P(
    All, Windows,
    ::testing::Values(WindowCase{"Hamming", nspsWinHamming, 5, {0.08f, 0.54f, 1.0f, 0.54f, 0.08f}},
                      WindowCase{"Hann", nspsWinHann, 5, {0.0f, 0.5f, 1.0f, 0.5f, 0.0f}},
                      WindowCase{"BartlettOdd", nspsWinBartlett, 5, {0, 0.5f, 1, 0.5f, 0}},
                      WindowCase{"BartlettEven", nspsWinBartlett, 4, {0, 2 / 3.0f, 2 / 3.0f, 0}}),
    [](const auto& p) { return std::string(p.param.name); });

// Every check of every primitive: the failing call, the function name and the
// message reported, and that nothing was written.
struct CheckCase {
    const char* function;
    const char* message;
    std::function<void(float*)> call;  // gets a writable vector of 4 values
};

class ArgumentChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ArgumentChecks, ReportTheirMessageAndDoNothing) {
    const auto& c = GetParam();
    ReportCapture capture;
    std::vector<float> v = {1, -2, 3, -4};
    const auto before = v;
    c.call(v.data());
    ASSERT_EQ(ReportCapture::reports().size(), 1u);
    const auto& r = ReportCapture::reports()[0];
    EXPECT_EQ(r.status, kStatusBadArgument);
    EXPECT_EQ(r.function, c.function);
    EXPECT_EQ(r.message, c.message);
    EXPECT_FALSE(r.file.empty());
    EXPECT_EQ(r.file.find('/'), std::string::npos);
    EXPECT_GT(r.line, 0);
    EXPECT_EQ(lastStatus(), kStatusBadArgument);
    EXPECT_EQ(v, before);
}

const float kSrc[4] = {9, 9, 9, 9};
const std::int16_t kInts[4] = {9, 9, 9, 9};
std::int16_t gIntSink[4];

INSTANTIATE_TEST_SUITE_P(
    Table, ArgumentChecks,
    ::testing::Values(
        CheckCase{"nspsbIntToFloat", "len<=0",
                  [](float* v) { nspsbIntToFloat(kInts, v, 0, 16, 0); }},
        CheckCase{"nspsbIntToFloat", "src==0",
                  [](float* v) { nspsbIntToFloat(nullptr, v, 4, 16, 0); }},
        CheckCase{"nspsbIntToFloat", "dst==0",
                  [](float*) { nspsbIntToFloat(kInts, nullptr, 4, 16, 0); }},
        CheckCase{"nspsbIntToFloat", "Invalid size of an integer",
                  [](float* v) { nspsbIntToFloat(kInts, v, 4, 12, 0); }},
        CheckCase{"nspsbIntToFloat", "Invalid conversion flag",
                  [](float* v) { nspsbIntToFloat(kInts, v, 4, 16, 128); }},
        CheckCase{"nspsbFloatToInt", "len<=0",
                  [](float* v) { nspsbFloatToInt(v, gIntSink, -1, 16, 128); }},
        CheckCase{"nspsbFloatToInt", "src==0",
                  [](float*) { nspsbFloatToInt(nullptr, gIntSink, 4, 16, 128); }},
        CheckCase{"nspsbFloatToInt", "dst==0",
                  [](float* v) { nspsbFloatToInt(v, nullptr, 4, 16, 128); }},
        CheckCase{"nspsbFloatToInt", "Invalid size of an integer",
                  [](float* v) { nspsbFloatToInt(v, gIntSink, 4, 64, 128); }},
        CheckCase{"nspsbFloatToInt", "Invalid conversion flag",
                  [](float* v) { nspsbFloatToInt(v, gIntSink, 4, 16, 128 | 256); }},
        CheckCase{"nspsbFloatToInt", "Invalid conversion flag",
                  [](float* v) { nspsbFloatToInt(v, gIntSink, 4, 16, 0); }},
        CheckCase{"nspsbCopy", "n<=0", [](float* v) { nspsbCopy(kSrc, v, 0); }},
        CheckCase{"nspsbCopy", "src==0", [](float* v) { nspsbCopy(nullptr, v, 4); }},
        CheckCase{"nspsbCopy", "dst==0", [](float*) { nspsbCopy(kSrc, nullptr, 4); }},
        CheckCase{"nspsbZero", "n<=0", [](float* v) { nspsbZero(v, 0); }},
        CheckCase{"nspsbZero", "dst==0", [](float*) { nspsbZero(nullptr, 4); }},
        CheckCase{"nspsbSet", "n<=0", [](float* v) { nspsbSet(1, v, -3); }},
        CheckCase{"nspsbSet", "dst==0", [](float*) { nspsbSet(1, nullptr, 4); }},
        CheckCase{"nspsbAdd2", "n<=0", [](float* v) { nspsbAdd2(kSrc, v, 0); }},
        CheckCase{"nspsbAdd2", "src==0", [](float* v) { nspsbAdd2(nullptr, v, 4); }},
        CheckCase{"nspsbAdd2", "dst==0", [](float*) { nspsbAdd2(kSrc, nullptr, 4); }},
        CheckCase{"nspsbSub2", "n<=0", [](float* v) { nspsbSub2(kSrc, v, 0); }},
        CheckCase{"nspsbSub2", "val==0", [](float* v) { nspsbSub2(nullptr, v, 4); }},
        CheckCase{"nspsbSub2", "dst==0", [](float*) { nspsbSub2(kSrc, nullptr, 4); }},
        CheckCase{"nspsbMpy1", "n<=0", [](float* v) { nspsbMpy1(2, v, 0); }},
        CheckCase{"nspsbMpy1", "dst==0", [](float*) { nspsbMpy1(2, nullptr, 4); }},
        CheckCase{"nspsbMpy2", "n<=0", [](float* v) { nspsbMpy2(kSrc, v, 0); }},
        CheckCase{"nspsbMpy2", "src==0", [](float* v) { nspsbMpy2(nullptr, v, 4); }},
        CheckCase{"nspsbMpy2", "dst==0", [](float*) { nspsbMpy2(kSrc, nullptr, 4); }},
        CheckCase{"nspsbAbs1", "len<=0", [](float* v) { nspsbAbs1(v, 0); }},
        CheckCase{"nspsbAbs1", "vec==0", [](float*) { nspsbAbs1(nullptr, 4); }},
        CheckCase{"nspsbSqrt2", "len<=0", [](float* v) { nspsbSqrt2(kSrc, v, 0); }},
        CheckCase{"nspsbSqrt2", "src==0", [](float* v) { nspsbSqrt2(nullptr, v, 4); }},
        CheckCase{"nspsbSqrt2", "dst==0", [](float*) { nspsbSqrt2(kSrc, nullptr, 4); }},
        CheckCase{"nspsbThresh1", "len<=0", [](float* v) { nspsbThresh1(v, 0, 0, 0); }},
        CheckCase{"nspsbThresh1", "vec==0", [](float*) { nspsbThresh1(nullptr, 4, 0, 0); }},
        CheckCase{"nspsMean", "len<=0", [](float* v) { EXPECT_EQ(nspsMean(v, 0), 0.0f); }},
        CheckCase{"nspsMean", "vec==0", [](float*) { EXPECT_EQ(nspsMean(nullptr, 4), 0.0f); }},
        CheckCase{"nspsMax", "len<=0", [](float* v) { nspsMax(v, 0); }},
        CheckCase{"nspsMax", "vec==0", [](float*) { nspsMax(nullptr, 4); }},
        CheckCase{"nspsMin", "len<=0", [](float* v) { nspsMin(v, 0); }},
        CheckCase{"nspsMin", "vec==0", [](float*) { nspsMin(nullptr, 4); }},
        CheckCase{"nspsbrPowerSpectr", "srcReal==0",
                  [](float* v) { nspsbrPowerSpectr(nullptr, kSrc, v, 4); }},
        CheckCase{"nspsbrPowerSpectr", "srcImag==0",
                  [](float* v) { nspsbrPowerSpectr(kSrc, nullptr, v, 4); }},
        CheckCase{"nspsbrPowerSpectr", "spectr==0",
                  [](float*) { nspsbrPowerSpectr(kSrc, kSrc, nullptr, 4); }},
        CheckCase{"nspsbrPowerSpectr", "length<=0",
                  [](float* v) { nspsbrPowerSpectr(kSrc, kSrc, v, 0); }},
        CheckCase{"nspsbrMag", "srcReal==0", [](float* v) { nspsbrMag(nullptr, kSrc, v, 4); }},
        CheckCase{"nspsbrMag", "srcImag==0", [](float* v) { nspsbrMag(kSrc, nullptr, v, 4); }},
        CheckCase{"nspsbrMag", "mag==0", [](float*) { nspsbrMag(kSrc, kSrc, nullptr, 4); }},
        CheckCase{"nspsbrMag", "length<=0", [](float* v) { nspsbrMag(kSrc, kSrc, v, -1); }},
        CheckCase{"nspsWinHamming", "Bad number of items", [](float* v) { nspsWinHamming(v, 2); }},
        CheckCase{"nspsWinHamming", "Null pointer to buffer",
                  [](float*) { nspsWinHamming(nullptr, 4); }},
        CheckCase{"nspsWinHann", "Bad number of items", [](float* v) { nspsWinHann(v, 2); }},
        CheckCase{"nspsWinHann", "Null pointer to buffer", [](float*) { nspsWinHann(nullptr, 4); }},
        CheckCase{"nspsWinBartlett", "Bad number of items",
                  [](float* v) { nspsWinBartlett(v, 0); }},
        CheckCase{"nspsWinBartlett", "Null pointer to buffer",
                  [](float*) { nspsWinBartlett(nullptr, 4); }}));

}  // namespace
}  // namespace zeb::dsp
