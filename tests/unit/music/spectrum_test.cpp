// The spectrum of generated sines: where the peak lands, how high it reads on each scale, the
// silent channel, mixed channels, and point counts that are too large or invalid.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>

#include "music/spectrum_analyser.h"

using namespace kf::music;

namespace {

// A sine on the left only, interleaved stereo.
std::vector<qint16> leftSine(double hz, double amplitude, int frames) {
    std::vector<qint16> out(size_t(frames) * 2, 0);
    for (int i = 0; i < frames; ++i) {
        out[size_t(2 * i)] = qint16(std::lround(32767 * amplitude * std::sin(2 * M_PI * hz * i / 44100)));
    }
    return out;
}

TEST(Spectrum, PeakBinHeightAndSilentChannel) {
    const double centred = 12 * 44100.0 / 512;  // bin 12 of 512 points
    struct Case {
        double hz, amplitude;
        int points;
        SpectrumScale scale;
        SpectrumChannels channels;
        int peakBin, peakLow, peakHigh, rightPeak;
    } cases[] = {
        {centred, 1.0, 512, SpectrumScale::Linear, SpectrumChannels::Apart, 12, 100, 100, 0},
        {centred, 1.0, 512, SpectrumScale::Decibel, SpectrumChannels::Apart, 12, 100, 100, 0},
        {1000, 1.0, 512, SpectrumScale::Linear, SpectrumChannels::Apart, 12, 80, 95, 0},
        {1000, 0.5, 512, SpectrumScale::Decibel, SpectrumChannels::Apart, 12, 90, 94, 0},
        {centred, 1.0, 512, SpectrumScale::Linear, SpectrumChannels::Mixed, 12, 50, 50, 50},
        {centred, 1.0, 4096, SpectrumScale::Linear, SpectrumChannels::Apart, 12, 100, 100, 0},
        {centred, 1.0, 256, SpectrumScale::Linear, SpectrumChannels::Apart, 6, 100, 100, 0},
    };
    SpectrumAnalyser analyser;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz, " << c.points << " points");
        const std::vector<qint16> frames = leftSine(c.hz, c.amplitude, 512);
        SpectrumBins left{}, right{};
        ASSERT_TRUE(analyser.analyse(frames.data(), 512, c.points, FftWindow::Hann, c.scale, c.channels,
                                     &left, &right));
        const auto peak = std::max_element(left.begin(), left.end());
        EXPECT_EQ(peak - left.begin(), c.peakBin);
        EXPECT_GE(*peak, c.peakLow);
        EXPECT_LE(*peak, c.peakHigh);
        EXPECT_EQ(*std::max_element(right.begin(), right.end()), c.rightPeak);
        // Bins past the transform's half are empty.
        EXPECT_TRUE(std::all_of(left.begin() + std::min(c.points, 512) / 2 + 1, left.end(),
                                [](int v) { return v == 0; }));
    }
    SpectrumBins left{}, right{};
    const std::vector<qint16> frames = leftSine(1000, 1, 512);
    for (int points : {0, 1, 511}) {
        EXPECT_FALSE(analyser.analyse(frames.data(), 512, points, FftWindow::Hann, SpectrumScale::Linear,
                                      SpectrumChannels::Apart, &left, &right));
    }
    EXPECT_FALSE(analyser.analyse(frames.data(), 512, 512, FftWindow(3), SpectrumScale::Linear,
                                  SpectrumChannels::Apart, &left, &right));
}

}  // namespace
