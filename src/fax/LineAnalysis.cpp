#include "fax/LineAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zeb::fax {

int transformLength(int width) {
    int n = 256;
    while (n * 2 <= width && n < 2048) n *= 2;
    return n;
}

std::pair<int, int> findTwoPeaks(std::span<const float> m) {
    const int half = static_cast<int>(m.size());
    if (half <= 6) return {0, 0};
    const auto s = [&](int k) {
        return m[static_cast<std::size_t>(k)] + m[static_cast<std::size_t>(k + 1)];
    };
    float previous = s(2), current = s(4);
    int k = 4;
    float best = 0.0f, second = 0.0f;
    int bestAt = 0, secondAt = 0;
    // The next pair j runs on; k stays the position of `current`. When a
    // local maximum is not above the second best, previous, current and k are
    // kept and only the next pair moves on.
    const int steps = ((half - 7) >> 1) + 1;
    for (int step = 0, j = 6; step < steps; ++step, j += 2) {
        const float next = s(j);
        const bool peak = current >= previous && current >= next;
        if (peak && current > second) {
            if (current > best) {
                second = best;
                secondAt = bestAt;
                best = current;
                bestAt = k;
            } else {
                second = current;
                secondAt = k;
            }
        } else if (peak) {
            continue;
        }
        previous = current;
        current = next;
        k = j;
    }
    return bestAt < secondAt ? std::pair{bestAt, secondAt} : std::pair{secondAt, bestAt};
}

int toneValue(int ioc, int k, int n) {
    return static_cast<int>(std::floor(ioc * std::numbers::pi * k / (n / 2) + 0.5));
}

bool toneMatches(std::pair<int, int> values, int tone) {
    const int lo = tone - tone / 50, hi = tone + tone / 50;
    return (values.first > lo && values.first < hi) || (values.second > lo && values.second < hi);
}

int phasingPosition(std::span<const std::int16_t> line, int pulsePercent, bool blackPulse) {
    const int width = static_cast<int>(line.size());
    if (width == 0) return 0;
    const int expected = pulsePercent * width / 100;
    const int tolerance = width / 100;
    const auto isPulse = [&](int x) {
        return (line[static_cast<std::size_t>(x)] <= kPhasingWhiteLevel) != blackPulse;
    };
    // A pulse that straddles the end of the line (pulse pixels within a pulse
    // width of both ends) is counted from the end of the longest stretch
    // without pulse pixels, so that its two parts count as one pulse and the
    // position wraps around. Edge pixels blurred by the transition do not
    // matter then.
    int from = 0;
    const int reach = std::max(expected, 1);
    bool nearStart = false, nearEnd = false;
    for (int x = 0; x < std::min(reach, width); ++x) {
        nearStart = nearStart || isPulse(x);
        nearEnd = nearEnd || isPulse(width - 1 - x);
    }
    if (nearStart && nearEnd) {
        int run = 0, longest = 0;
        for (int i = 0; i < 2 * width; ++i) {
            if (isPulse(i % width)) {
                run = 0;
            } else if (++run > longest && run <= width) {
                longest = run;
                from = (i + 1) % width;
            }
        }
    }
    int pulse = 0, position = 0;
    bool reached = false;
    for (int i = 0; i < width; ++i) {
        const int x = (from + i) % width;
        if (isPulse(x)) {
            ++pulse;
            if (pulse == expected / 2 && !reached) {
                position = x;
                reached = true;
            }
        }
    }
    if (!(pulse > expected - tolerance && pulse < expected + tolerance)) return 0;
    return position == 0 ? 1 : position;
}

}  // namespace zeb::fax
