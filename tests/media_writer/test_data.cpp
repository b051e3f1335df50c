#include "test_data.h"

#include <cmath>
#include <random>

namespace media_writer_test {

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

Bytes Text(std::size_t n, std::uint32_t seed) {
    static const char* words[] = {"orc",   "shield", "banner", "the",    "canyon", "siege", "tower", "of",
                                  "fire",  "drums",  "march",  "troll",  "gate",   "bridge", "and",  "lava",
                                  "wagon", "camera", "track",  "cut\n", "night",  "wall",  "sky",   "box"};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const std::string w = words[rng() % 24];
        b.insert(b.end(), w.begin(), w.end());
        b.push_back(rng() % 9 == 0 ? ',' : ' ');
    }
    b.resize(n);
    return b;
}

Bytes Pcm(std::size_t frames, int bits, int channels, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.01);
    Bytes b;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(i) / 22050.0;
            double v = 0.4 * std::sin(2 * M_PI * (220.0 + 110 * c) * t) + 0.2 * std::sin(2 * M_PI * 1375.0 * t) +
                       noise(rng);
            v = std::fmax(-1.0, std::fmin(1.0, v));
            if (bits == 8) {
                b.push_back(static_cast<std::uint8_t>(std::lround(128 + 120 * v)));
            } else {
                const auto s = static_cast<std::int16_t>(std::lround(30000 * v));
                b.push_back(static_cast<std::uint8_t>(s));
                b.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
            }
        }
    }
    return b;
}

Bytes Wav(std::size_t frames, int bits, int channels, std::uint32_t seed) {
    const Bytes pcm = Pcm(frames, bits, channels, seed);
    Bytes b;
    auto put32 = [&](std::uint32_t v) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    };
    auto put16 = [&](std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const std::uint32_t block = static_cast<std::uint32_t>(channels * bits / 8);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(static_cast<std::uint32_t>(36 + pcm.size()));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(16);
    put16(1);
    put16(static_cast<std::uint32_t>(channels));
    put32(22050);
    put32(22050 * block);
    put16(block);
    put16(static_cast<std::uint32_t>(bits));
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(static_cast<std::uint32_t>(pcm.size()));
    b.insert(b.end(), pcm.begin(), pcm.end());
    return b;
}

Bytes Image(int width, int height, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int n = static_cast<int>(rng() % 5);
            b.push_back(static_cast<std::uint8_t>((x * 255 / width + n) & 0xFF));
            b.push_back(static_cast<std::uint8_t>((y * 255 / height + n) & 0xFF));
            b.push_back(static_cast<std::uint8_t>(((x ^ y) & 0x3F) + 64));
        }
    return b;
}

std::vector<NamedFile> MixedSet() {
    std::vector<NamedFile> files;
    files.push_back({"Data/empty.bin", {}});
    files.push_back({"Data/one.bin", {0x5A}});
    files.push_back({"Data/text.txt", Text(70000, 1)});
    files.push_back({"Data/random.bin", RandomBytes(40000, 2)});
    files.push_back({"Texture/picture.raw", Image(160, 120, 3)});
    for (int bits : {8, 16})
        for (int ch = 1; ch <= 4; ++ch)
            files.push_back({"Sound/pcm" + std::to_string(bits) + "_" + std::to_string(ch) + ".wav",
                             Wav(9000, bits, ch, 10 + ch)});
    // Crosses the window size: matches that reach back almost a whole window, and a wrap.
    Bytes big = RandomBytes(300000, 4);
    Bytes more = Text(300000, 5);
    big.insert(big.end(), more.begin(), more.end());
    big.insert(big.end(), big.begin(), big.begin() + (1048577 - big.size()));
    files.push_back({"Data/big.bin", big});
    // Kind changes inside one file: the coder has to change tables (and modes) midway.
    Bytes mixed = Text(30000, 6);
    const Bytes pcm = Pcm(20000, 16, 2, 7);
    mixed.insert(mixed.end(), pcm.begin(), pcm.end());
    const Bytes tail = Text(20000, 8);
    mixed.insert(mixed.end(), tail.begin(), tail.end());
    files.push_back({"Data/mixed.bin", mixed});
    // Long runs and short periods (overlapping copies).
    Bytes runs(5000, 0);
    for (int i = 0; i < 5000; ++i) runs.push_back(static_cast<std::uint8_t>("ab"[i % 2]));
    for (int i = 0; i < 5000; ++i) runs.push_back(static_cast<std::uint8_t>(i % 7));
    files.push_back({"Meshes/runs.bin", runs});
    // Highly redundant: far more bytes per packed bit than anything else here.
    files.push_back({"Data/zeros.bin", Bytes(600000, 0)});
    return files;
}

}  // namespace media_writer_test
