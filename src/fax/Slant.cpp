#include "fax/Slant.h"

#include <algorithm>
#include <cmath>

namespace zeb::fax {

namespace {

// Robust spread: 1.4826 × the median absolute deviation from `centre`, over
// the first n values of `values` (reordered); `work` holds n values.
double madSigma(std::vector<double>& values, int n, double centre, std::vector<double>& work) {
    for (int i = 0; i < n; ++i)
        work[static_cast<std::size_t>(i)] = std::fabs(values[static_cast<std::size_t>(i)] - centre);
    const auto mid = work.begin() + n / 2;
    std::nth_element(work.begin(), mid, work.begin() + n);
    return 1.4826 * *mid;
}

double medianOf(std::vector<double>& values, int n) {
    const auto mid = values.begin() + n / 2;
    std::nth_element(values.begin(), mid, values.begin() + n);
    return *mid;
}

double wrap(double x, double width) {
    x = std::fmod(x, width);
    return x < 0.0 ? x + width : x;
}

}  // namespace

std::optional<PhasingPulse> findPhasingPulse(std::span<const std::int16_t> line, int pulsePercent,
                                             bool blackPulse) {
    const int width = static_cast<int>(line.size());
    const double expected = pulsePercent * width / 100.0;
    const int w = std::max(static_cast<int>(std::lround(expected)), 1);
    if (width < 4 || w >= width / 2) return std::nullopt;
    // How much each pixel looks like the pulse, 0 … 1.
    const auto v = [&](int x) {
        const int g =
            std::clamp<int>(line[static_cast<std::size_t>(((x % width) + width) % width)], 0, 15);
        return (blackPulse ? g : 15 - g) / 15.0;
    };
    double total = 0.0, sum = 0.0;
    for (int x = 0; x < width; ++x) total += v(x);
    for (int x = 0; x < w; ++x) sum += v(x);
    double best = sum;
    int at = 0;
    for (int s = 1; s < width; ++s) {
        sum += v(s + w - 1) - v(s - 1);
        if (sum > best) {
            best = sum;
            at = s;
        }
    }
    const double inside = best / w, background = (total - best) / (width - w);
    if (inside - background < 0.35) return std::nullopt;
    const auto windowAt = [&](int from) {
        double s = 0.0;
        for (int i = 0; i < w; ++i) s += v(from + i);
        return s / w - background;
    };
    const int step = (3 * w) / 4;
    const double contrast = inside - background;
    PhasingPulse pulse;
    pulse.clear = inside >= 0.6 && background <= 0.3 && windowAt(at - step) <= 0.45 * contrast &&
                  windowAt(at + step) <= 0.45 * contrast;
    double moment = 0.0, mass = 0.0;
    for (int i = -w / 2; i < w + w / 2; ++i) {
        const double weight = v(at + i) - background;
        moment += i * weight;
        mass += weight;
    }
    if (mass <= 0.0) return std::nullopt;
    pulse.edge = wrap(at + moment / mass - expected / 2.0, width);
    return pulse;
}

void SlantEstimator::reset(int width) {
    width_ = width;
    const auto lines = static_cast<std::size_t>(kLag + 1);
    phasingLine_.assign(kMaxPhasingLines, 0.0);
    phasingEdge_.assign(kMaxPhasingLines, 0.0);
    phasingSamples_.assign(kMaxPhasingLines, 0.0);
    lines_.assign(lines * static_cast<std::size_t>(width), 0.0f);
    lineSamples_.assign(lines, 0.0);
    lineEnergy_.assign(lines, 0.0);
    const int maxLag = static_cast<int>(std::ceil(kLag * width * kMaxError)) + 2;
    correlation_.assign(static_cast<std::size_t>(2 * maxLag + 1), 0.0);
    window_.assign(kWindow, 0.0);
    scratch_.assign(std::max<std::size_t>(kWindow, kMaxPhasingLines), 0.0);
    residual_.assign(std::max<std::size_t>(kWindow, kMaxPhasingLines), 0.0);
    clear();
}

void SlantEstimator::clear() {
    clearPhasing();
    prior_.reset();
    clearLines();
    windowCount_ = windowHead_ = 0;
}

void SlantEstimator::clearPhasing() { phasingCount_ = 0; }

void SlantEstimator::addPhasingEdge(long line, double edge, double lineSamples) {
    if (phasingCount_ >= kMaxPhasingLines || width_ <= 0) return;
    // Unwrapped against the previous position: a pulse drifting across the
    // end of the line goes on counting instead of jumping by a width.
    if (phasingCount_ > 0) {
        const double last = phasingEdge_[static_cast<std::size_t>(phasingCount_ - 1)];
        edge += width_ * std::round((last - edge) / width_);
    }
    const auto i = static_cast<std::size_t>(phasingCount_++);
    phasingLine_[i] = static_cast<double>(line);
    phasingEdge_[i] = edge;
    phasingSamples_[i] = lineSamples;
}

void SlantEstimator::shiftPhasing(double pixels) {
    for (int i = 0; i < phasingCount_; ++i) phasingEdge_[static_cast<std::size_t>(i)] -= pixels;
}

std::optional<SlantEstimator::LineFit> SlantEstimator::phasingFit() const {
    if (phasingCount_ < kMinPhasingLines) return std::nullopt;
    // Least squares, then again without the positions more than three robust
    // deviations off the first line.
    const auto fit = [&](double limit, double a0, double b0) -> std::optional<LineFit> {
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, samples = 0;
        const auto used = [&](std::size_t k) {
            return std::fabs(phasingEdge_[k] - (a0 + b0 * phasingLine_[k])) <= limit;
        };
        for (int i = 0; i < phasingCount_; ++i) {
            const auto k = static_cast<std::size_t>(i);
            if (!used(k)) continue;
            const double x = phasingLine_[k], y = phasingEdge_[k];
            n += 1;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
            samples += phasingSamples_[k];
        }
        const double det = n * sxx - sx * sx;
        if (n < kMinPhasingLines || det <= 0.0) return std::nullopt;
        LineFit f;
        f.slope = (n * sxy - sx * sy) / det;
        f.intercept = (sy - f.slope * sx) / n;
        f.meanSamples = samples / n;
        double rss = 0;
        for (int i = 0; i < phasingCount_; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const double r = phasingEdge_[k] - (f.intercept + f.slope * phasingLine_[k]);
            if (used(k)) rss += r * r;
        }
        // Some scatter always: a handful of clean positions may fit a line
        // by chance.
        const double sigma = std::max(std::sqrt(rss / std::max(n - 2, 1.0)), 0.05);
        f.slopeError = sigma * std::sqrt(n / det);
        return f;
    };
    // The first line through the median line and position, with the
    // median of the pairwise slopes of neighbours, so that a stray position
    // cannot pull it.
    for (int i = 0; i + 1 < phasingCount_; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const double dx = phasingLine_[k + 1] - phasingLine_[k];
        scratch_[k] = dx > 0 ? (phasingEdge_[k + 1] - phasingEdge_[k]) / dx : 0.0;
    }
    const double slope0 = medianOf(scratch_, phasingCount_ - 1);
    for (int i = 0; i < phasingCount_; ++i) {
        const auto k = static_cast<std::size_t>(i);
        scratch_[k] = phasingEdge_[k] - slope0 * phasingLine_[k];
    }
    const double intercept0 = medianOf(scratch_, phasingCount_);
    for (int i = 0; i < phasingCount_; ++i) {
        const auto k = static_cast<std::size_t>(i);
        residual_[k] = phasingEdge_[k] - (intercept0 + slope0 * phasingLine_[k]);
    }
    const double sigma = madSigma(residual_, phasingCount_, 0.0, scratch_);
    return fit(std::max(3.0 * sigma, 1.5), intercept0, slope0);
}

std::optional<SlantEstimate> SlantEstimator::phasingEstimate() const {
    const auto f = phasingFit();
    if (!f) return std::nullopt;
    SlantEstimate e;
    e.lineSamples = f->meanSamples * (1.0 + f->slope / width_);
    e.standardError = f->meanSamples * f->slopeError / width_;
    if (std::fabs(e.lineSamples / f->meanSamples - 1.0) > 2.0 * kMaxError) return std::nullopt;
    return e;
}

std::optional<double> SlantEstimator::phasingEdgeAt(long line) const {
    const auto f = phasingFit();
    if (!f) return std::nullopt;
    return wrap(f->intercept + f->slope * static_cast<double>(line), width_);
}

void SlantEstimator::takePhasingPrior() { prior_ = phasingEstimate(); }

void SlantEstimator::clearLines() { lineCount_ = lineHead_ = 0; }

bool SlantEstimator::addPictureLine(std::span<const std::int16_t> line, double lineSamples) {
    if (width_ <= 0 || static_cast<int>(line.size()) != width_) return false;
    const int slots = kLag + 1;
    const auto w = static_cast<std::size_t>(width_);
    float* current = lines_.data() + static_cast<std::size_t>(lineHead_) * w;
    // A smoothed derivative: edges make a sharp correlation peak where a
    // smooth grey wedge alone would give a flat one, and a few pixels on
    // either side keep the noise down.
    const auto grey = [&](int x) {
        return static_cast<float>(line[static_cast<std::size_t>((x + width_) % width_)]);
    };
    double energy = 0.0;
    for (int x = 0; x < width_; ++x) {
        float d = 0.0f;
        for (int i = 1; i <= kEdgeReach; ++i) d += grey(x + i) - grey(x - i);
        current[x] = d;
        energy += static_cast<double>(d) * d;
    }
    lineSamples_[static_cast<std::size_t>(lineHead_)] = lineSamples;
    lineEnergy_[static_cast<std::size_t>(lineHead_)] = energy;
    const int head = lineHead_;
    lineHead_ = (lineHead_ + 1) % slots;
    lineCount_ = std::min(lineCount_ + 1, slots);
    if (lineCount_ < slots) return false;

    // The oldest line in the ring is kLag lines before this one.
    const int oldSlot = lineHead_;
    const double oldEnergy = lineEnergy_[static_cast<std::size_t>(oldSlot)];
    // Flat lines (blank paper) say nothing about the drift.
    if (energy < kMinEnergy * width_ || oldEnergy < kMinEnergy * width_) return false;
    const float* old = lines_.data() + static_cast<std::size_t>(oldSlot) * w;
    const int maxLag = (static_cast<int>(correlation_.size()) - 1) / 2;
    const double norm = std::sqrt(energy * oldEnergy);
    int bestLag = 0;
    double best = -2.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        // Circular: what drifts past the end of one line comes back at the
        // start of the next.
        const int shift = ((lag % width_) + width_) % width_;
        double c = 0.0;
        const std::size_t split = w - static_cast<std::size_t>(shift);
        for (std::size_t x = 0; x < split; ++x) c += old[x] * current[x + shift];
        for (std::size_t x = split; x < w; ++x) c += old[x] * current[x - split];
        c /= norm;
        correlation_[static_cast<std::size_t>(lag + maxLag)] = c;
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    if (best < kMinCorrelation || bestLag <= -maxLag || bestLag >= maxLag) return false;
    const double cm = correlation_[static_cast<std::size_t>(bestLag + maxLag - 1)];
    const double cp = correlation_[static_cast<std::size_t>(bestLag + maxLag + 1)];
    const double curvature = cm - 2.0 * best + cp;
    if (curvature >= -1e-6) return false;
    const double offset = bestLag + 0.5 * (cm - cp) / curvature;

    // The drift happened over the kLag newest lines, each at its own length.
    double samples = 0.0;
    for (int i = 0; i < kLag; ++i)
        samples += lineSamples_[static_cast<std::size_t>((head - i + slots) % slots)];
    samples /= kLag;
    window_[static_cast<std::size_t>(windowHead_)] =
        samples * (1.0 + offset / kLag / static_cast<double>(width_));
    windowHead_ = (windowHead_ + 1) % kWindow;
    windowCount_ = std::min(windowCount_ + 1, kWindow);
    return true;
}

std::optional<SlantEstimate> SlantEstimator::pictureEstimate() const {
    if (windowCount_ < kMinPictureEstimates) return std::nullopt;
    std::copy_n(window_.begin(), windowCount_, scratch_.begin());
    const double median = medianOf(scratch_, windowCount_);
    std::copy_n(window_.begin(), windowCount_, scratch_.begin());
    const double sigma = madSigma(scratch_, windowCount_, median, residual_);
    SlantEstimate e;
    e.lineSamples = median;
    // The median's standard error, and never below 2 ppm: the content may
    // lean a little by itself.
    e.standardError = std::max(1.2533 * sigma / std::sqrt(windowCount_), median * 2.0e-6);
    return e;
}

std::optional<SlantEstimate> SlantEstimator::estimate() const {
    const auto picture = pictureEstimate();
    if (!prior_) return picture;
    if (!picture) return prior_;
    const double wp = 1.0 / (prior_->standardError * prior_->standardError + 1e-30);
    const double wc = 1.0 / (picture->standardError * picture->standardError + 1e-30);
    SlantEstimate e;
    e.lineSamples = (prior_->lineSamples * wp + picture->lineSamples * wc) / (wp + wc);
    e.standardError = 1.0 / std::sqrt(wp + wc);
    return e;
}

}  // namespace zeb::fax
