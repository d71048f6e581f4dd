// alarm-sounds FOLDER: writes the station's two looping alarm sounds, alarm1.wav and alarm2.wav.
// Made at build time so the sounds are plain, reviewable code instead of binary files.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int sampleRate = 22050;
constexpr double pi = 3.14159265358979323846;

void putLittleEndian(std::vector<unsigned char>& out, uint32_t value, int bytes) {
    for (int index = 0; index < bytes; ++index)
        out.push_back(static_cast<unsigned char>(value >> (8 * index)));
}

bool writeWave(const std::string& path, const std::vector<int16_t>& samples) {
    std::vector<unsigned char> file;
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    putLittleEndian(file, 36 + dataBytes, 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittleEndian(file, 16, 4); // format chunk size
    putLittleEndian(file, 1, 2);  // PCM
    putLittleEndian(file, 1, 2);  // mono
    putLittleEndian(file, sampleRate, 4);
    putLittleEndian(file, sampleRate * 2, 4); // bytes per second
    putLittleEndian(file, 2, 2);              // bytes per frame
    putLittleEndian(file, 16, 2);             // bits per sample
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    putLittleEndian(file, dataBytes, 4);
    for (int16_t sample : samples)
        putLittleEndian(file, uint16_t(sample), 2);

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

// A siren rising and falling once a second; the phase is carried so the loop has no click.
std::vector<int16_t> siren() {
    std::vector<int16_t> samples;
    double phase = 0.0;
    for (int index = 0; index < sampleRate; ++index) {
        const double position = double(index) / sampleRate;
        const double frequency = 950.0 + 350.0 * std::sin(2 * pi * position);
        phase += 2 * pi * frequency / sampleRate;
        samples.push_back(int16_t(12000 * std::sin(phase)));
    }
    return samples;
}

// Two short beeps and a pause, softened at the edges.
std::vector<int16_t> beeps() {
    std::vector<int16_t> samples(std::size_t(sampleRate * 0.9), 0);
    const int beepLength = int(sampleRate * 0.15);
    const int rampLength = sampleRate / 200;
    for (int beep = 0; beep < 2; ++beep) {
        const int start = beep * int(sampleRate * 0.25);
        for (int index = 0; index < beepLength; ++index) {
            const double ramp =
                std::min({1.0, double(index) / rampLength, double(beepLength - index) / rampLength});
            samples[std::size_t(start + index)] =
                int16_t(14000 * ramp * std::sin(2 * pi * 1800.0 * index / sampleRate));
        }
    }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: alarm-sounds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    if (!writeWave(folder + "/alarm1.wav", siren()) || !writeWave(folder + "/alarm2.wav", beeps())) {
        std::fprintf(stderr, "alarm-sounds: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
