// Writes the demo clip: 28600 bytes of raw unsigned 8-bit mono audio at
// 22100 Hz, a rising phrase of four clear tones (C, E, G and the C above)
// with a little silence after each, so that every speed-up is easy to
// hear and to see in a spectrogram.
#include <cmath>
#include <cstdio>

#include "Quorvel.h"

constexpr int rate = 22100;
constexpr double pi = 3.14159265358979323846;
constexpr double pitches[] = {523.25, 659.25, 783.99, 1046.50};
constexpr int noteCount = sizeof pitches / sizeof pitches[0];
constexpr int gapLength = 950;  // about 43 ms of silence after each tone
constexpr int toneLength = storeSize / noteCount - gapLength;
constexpr int rampLength = 220; // 10 ms fades keep the tones free of clicks

static unsigned char toneSample(double pitch, int t)
{
    double gain = 1.0;
    if (t < rampLength)
        gain = t / double(rampLength);
    else if (t >= toneLength - rampLength)
        gain = (toneLength - t) / double(rampLength);
    const double value = 100.0 * gain * std::sin(2.0 * pi * pitch * t / rate);
    return static_cast<unsigned char>(128 + std::lround(value));
}

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fprintf(stderr, "Use: %s <outputFile>\n", argv[0]);
        return 1;
    }
    static unsigned char clip[storeSize];
    int at = 0;
    for (double pitch : pitches) {
        for (int t = 0; t < toneLength; ++t)
            clip[at++] = toneSample(pitch, t);
        for (int t = 0; t < gapLength; ++t)
            clip[at++] = 128;
    }
    FILE *out = fopen(argv[1], "wb");
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    const bool written = fwrite(clip, 1, sizeof clip, out) == sizeof clip;
    if (fclose(out) != 0 || !written) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
