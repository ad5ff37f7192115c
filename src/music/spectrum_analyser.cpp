#include "music/spectrum_analyser.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>

namespace kf::music {

namespace {
constexpr double kFullScale = 32768.0;
}

SpectrumAnalyser::~SpectrumAnalyser() {
    kiss_fftr_free(config_);
}

int SpectrumAnalyser::scaled(double amplitude, SpectrumScale scale) {
    double value = 0;
    if (scale == SpectrumScale::Decibel) {
        value = amplitude > 0 ? kSpectrumTop + 20.0 * std::log10(amplitude) : 0.0;
    } else {
        value = kSpectrumTop * amplitude;
    }
    return int(std::lround(std::clamp(value, 0.0, double(kSpectrumTop))));
}

bool SpectrumAnalyser::prepare(int points, FftWindow window) {
    if (points == points_ && window == window_ && config_) {
        return true;
    }
    kiss_fftr_free(config_);
    config_ = kiss_fftr_alloc(points, 0, nullptr, nullptr);
    if (!config_) {
        points_ = 0;
        return false;
    }
    points_ = points;
    window_ = window;
    weights_.assign(size_t(points), 1.0f);
    if (window == FftWindow::Hann) {
        // The periodic Hann window: its transform has no leakage beyond the neighbouring bins.
        for (int n = 0; n < points; ++n) {
            weights_[size_t(n)] = float(0.5 - 0.5 * std::cos(2.0 * M_PI * n / points));
        }
    }
    weightSum_ = 0;
    for (float w : weights_) {
        weightSum_ += w;
    }
    left_.resize(size_t(points));
    right_.resize(size_t(points));
    spectrum_.resize(size_t(points + 2));
    return true;
}

bool SpectrumAnalyser::analyse(const qint16* frames, int available, int points, FftWindow window,
                               SpectrumScale scale, SpectrumChannels channels, SpectrumBins* left,
                               SpectrumBins* right) {
    points = std::min(points, kSpectrumPoints);
    if (points < 2 || points % 2 != 0 || (window != FftWindow::Hann && window != FftWindow::Rectangular) ||
        !prepare(points, window)) {
        return false;
    }
    available = std::clamp(available, 0, points);
    for (int n = 0; n < points; ++n) {
        const float l = n < available ? frames[2 * n] : 0.0f;
        const float r = n < available ? frames[2 * n + 1] : 0.0f;
        if (channels == SpectrumChannels::Mixed) {
            left_[size_t(n)] = right_[size_t(n)] = 0.5f * (l + r) * weights_[size_t(n)];
        } else {
            left_[size_t(n)] = l * weights_[size_t(n)];
            right_[size_t(n)] = r * weights_[size_t(n)];
        }
    }
    transform(left_.data(), scale, left);
    transform(right_.data(), scale, right);
    return true;
}

void SpectrumAnalyser::transform(const float* samples, SpectrumScale scale, SpectrumBins* out) {
    auto* bins = reinterpret_cast<kiss_fft_cpx*>(spectrum_.data());
    kiss_fftr(config_, samples, bins);
    // A sine of amplitude A centred on bin k gives |X_k| = A * sum(w) / 2.
    const double norm = 2.0 / (double(weightSum_) * kFullScale);
    const int used = points_ / 2 + 1;
    for (int k = 0; k < kSpectrumBins; ++k) {
        const double magnitude = k < used ? std::hypot(double(bins[k].r), double(bins[k].i)) : 0.0;
        (*out)[size_t(k)] = k < used ? scaled(magnitude * norm, scale) : 0;
    }
}

}  // namespace kf::music
