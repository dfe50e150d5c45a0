#include "Pitch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

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

void put(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s += char((v >> (8 * i)) & 0xff);
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

bool readWav16(const std::filesystem::path& path, std::vector<int16_t>& samples, int& rate)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t at) { return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    int channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        std::string id = bytes.substr(at, 4);
        size_t size = u32(at + 4);
        size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            channels = int(u16(body + 2));
            rate = int(u32(body + 4));
            bits = int(u16(body + 14));
        } else if (id == "data") {
            if (bits != 16 || channels < 1)
                return false;
            size = std::min(size, bytes.size() - body);
            samples.clear();
            for (size_t i = body; i + 2 * size_t(channels) <= body + size; i += 2 * size_t(channels))
                samples.push_back(int16_t(u16(i)));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

void writeToneWav(const std::filesystem::path& path, double hz, double seconds, int rate)
{
    const double pi = 3.14159265358979;
    size_t pad = size_t(0.2 * rate);
    size_t voiced = size_t(seconds * rate);
    std::vector<int16_t> s(pad, 0);
    for (size_t i = 0; i < voiced; ++i) {
        double t = double(i) / rate;
        double v = 0;
        for (int h = 1; h <= 8; ++h)
            v += std::sin(2 * pi * hz * h * t) / h;
        // Four syllables a second, fading in and out.
        double envelope = 0.55 - 0.45 * std::cos(2 * pi * 4 * t);
        double edge = std::min(1.0, std::min(t, seconds - t) / 0.05);
        s.push_back(int16_t(std::lround(9000 * v * envelope * edge)));
    }
    s.insert(s.end(), pad, 0);
    std::string out = "RIFF";
    put(out, uint32_t(36 + 2 * s.size()), 4);
    out += "WAVEfmt ";
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, 1, 2);
    put(out, uint32_t(rate), 4);
    put(out, uint32_t(rate * 2), 4);
    put(out, 2, 2);
    put(out, 16, 2);
    out += "data";
    put(out, uint32_t(2 * s.size()), 4);
    for (int16_t v : s)
        put(out, uint32_t(uint16_t(v)), 2);
    std::ofstream(path, std::ios::binary).write(out.data(), std::streamsize(out.size()));
}

} // namespace testutil
