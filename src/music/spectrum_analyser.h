#pragma once
// Amplitude spectra of the two channels of 16-bit stereo samples: a Hann (or rectangular)
// window, a real FFT (kissfft), and each bin's amplitude scaled to 0..kSpectrumTop, linearly or
// in decibels, so that a full-scale sine centred on a bin reads the top of the range.
#include <QtGlobal>
#include <vector>

#include "music/player.h"

struct kiss_fftr_state;

namespace kf::music {

class SpectrumAnalyser {
public:
    SpectrumAnalyser() = default;
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser&) = delete;
    SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

    // `frames` holds `available` interleaved stereo frames starting at the window's first
    // sample; frames past `available` count as silence. `points` above kSpectrumPoints is taken as
    // kSpectrumPoints; an odd or smaller-than-2 count, or an unknown window, gives false.
    bool analyse(const qint16* frames, int available, int points, FftWindow window, SpectrumScale scale,
                 SpectrumChannels channels, SpectrumBins* left, SpectrumBins* right);

    // One amplitude relative to full scale (1.0 = a full-scale sine) on the 0..kSpectrumTop scale:
    // linear, or 1 per decibel with 0 at -100 dB and below.
    static int scaled(double amplitude, SpectrumScale scale);

private:
    bool prepare(int points, FftWindow window);
    void transform(const float* samples, SpectrumScale scale, SpectrumBins* out);

    kiss_fftr_state* config_ = nullptr;
    int points_ = 0;
    FftWindow window_ = FftWindow::Hann;
    std::vector<float> weights_;
    float weightSum_ = 0;
    std::vector<float> left_, right_;
    std::vector<float> spectrum_;  // kissfft's complex output, as pairs
};

}  // namespace kf::music
