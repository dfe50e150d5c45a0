#include "Pitch.h"

#include <algorithm>
#include <cmath>

namespace testutil {

namespace {

double framePitch(const std::vector<double>& x, size_t start, int width, int minLag, int maxLag, double rate)
{
    std::vector<double> cmnd(size_t(maxLag) + 2, 1.0);
    double running = 0;
    for (int tau = 1; tau <= maxLag + 1; ++tau) {
        double d = 0;
        for (int j = 0; j < width; ++j) {
            double diff = x[start + j] - x[start + j + tau];
            d += diff * diff;
        }
        running += d;
        cmnd[tau] = running > 0 ? d * tau / running : 1.0;
    }
    for (int tau = minLag; tau <= maxLag; ++tau) {
        if (cmnd[tau] < 0.15) {
            while (tau + 1 <= maxLag && cmnd[tau + 1] < cmnd[tau])
                ++tau;
            double a = cmnd[tau - 1], b = cmnd[tau], c = cmnd[tau + 1];
            double curve = a - 2 * b + c;
            double offset = curve > 0 ? 0.5 * (a - c) / curve : 0;
            return rate / (tau + offset);
        }
    }
    return 0;
}

} // namespace

double medianPitchHz(const std::vector<int16_t>& samples, int rate)
{
    // Summed blocks down to about 8 kHz.
    int step = std::max(1, int(std::lround(rate / 8000.0)));
    double arate = double(rate) / step;
    std::vector<double> x;
    for (size_t i = 0; i + size_t(step) <= samples.size(); i += size_t(step)) {
        double sum = 0;
        for (int k = 0; k < step; ++k)
            sum += samples[i + size_t(k)];
        x.push_back(sum);
    }
    int width = int(arate * 0.03);
    int minLag = std::max(2, int(arate / 500));
    int maxLag = int(arate / 55);
    size_t span = size_t(width + maxLag + 1);
    size_t hop = size_t(arate * 0.01);
    std::vector<std::pair<size_t, double>> frames;
    for (size_t s = 0; s + span <= x.size(); s += hop) {
        double e = 0;
        for (int j = 0; j < width; ++j)
            e += x[s + size_t(j)] * x[s + size_t(j)];
        frames.emplace_back(s, e);
    }
    if (frames.empty())
        return 0;
    std::vector<double> energies;
    for (const auto& f : frames)
        energies.push_back(f.second);
    std::sort(energies.begin(), energies.end());
    double threshold = 0.03 * energies[std::min(energies.size() - 1, size_t(double(energies.size()) * 0.95))];
    std::vector<double> pitches;
    for (const auto& [start, energy] : frames) {
        if (energy > threshold && threshold > 0) {
            double p = framePitch(x, start, width, minLag, maxLag, arate);
            if (p > 0)
                pitches.push_back(p);
        }
    }
    if (pitches.empty())
        return 0;
    std::sort(pitches.begin(), pitches.end());
    return pitches[pitches.size() / 2];
}

} // namespace testutil
