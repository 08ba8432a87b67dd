// Generator of the bundled demo's music: a small synthesizer that plays a fixed arrangement (drums,
// bass, pads and a lead over Am F C G) at 120 beats per minute and writes it as Ogg Vorbis.
// Everything is computed from the arrangement and a fixed noise seed, so a run reproduces the same
// samples; the show is choreographed to its beats (one beat = 0.5 s, one bar = 2 s).
//
//   tool_musicSynth [output.ogg]        (default: data/music.ogg)
//
// Sections: [instruments] notes and drums rendered into a stereo buffer; [arrangement] which bar
// plays what; [output] a reproducible Ogg stream; [main] mixing, mastering and encoding.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kBpm = 120.0;
constexpr double kBeat = 60.0 / kBpm;
constexpr double kBar = 4 * kBeat;
constexpr int kBars = 68;
constexpr double kTail = 2.0;
constexpr double kPi = 3.14159265358979323846;

// ---- [instruments] ----

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames) : left(frames), right(frames) {}
    size_t Frames() const { return left.size(); }
    void Add(size_t frame, double value, double pan) {
        if (frame >= left.size()) return;
        // Constant-power panning, pan in [-1, 1].
        const double angle = (pan + 1.0) * kPi / 4.0;
        left[frame] += static_cast<float>(value * std::cos(angle));
        right[frame] += static_cast<float>(value * std::sin(angle));
    }
};

// A fixed linear congruential generator: the same noise on every run and every machine.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed) {}
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 23) - 1.0;
    }
};

double MidiToHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

size_t FrameOf(double seconds) {
    return static_cast<size_t>(std::llround(seconds * kRate));
}

// Band-limited step correction for the saw and square oscillators (keeps high notes clean).
double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double Saw(double phase, double dt) {
    return 2.0 * phase - 1.0 - PolyBlep(phase, dt);
}

double Square(double phase, double dt) {
    double value = phase < 0.5 ? 1.0 : -1.0;
    value += PolyBlep(phase, dt);
    value -= PolyBlep(std::fmod(phase + 0.5, 1.0), dt);
    return value;
}

void Kick(Stereo& out, double time, double gain) {
    const size_t start = FrameOf(time);
    const size_t length = FrameOf(0.45);
    double phase = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double frequency = 45.0 + 110.0 * std::exp(-t * 28.0);
        phase += frequency / kRate;
        const double envelope = std::exp(-t * 7.5);
        const double click = i < 64 ? (1.0 - i / 64.0) * 0.4 : 0.0;
        out.Add(start + i, gain * (std::sin(2.0 * kPi * phase) * envelope + click), 0.0);
    }
}

void Snare(Stereo& out, double time, double gain, Noise& noise) {
    const size_t start = FrameOf(time);
    const size_t length = FrameOf(0.3);
    double low = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double white = noise.Next();
        low += 0.35 * (white - low);
        const double body = std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t * 30.0);
        const double rattle = (white - 0.5 * low) * std::exp(-t * 14.0);
        out.Add(start + i, gain * (0.55 * body + 0.6 * rattle), 0.1);
    }
}

void HiHat(Stereo& out, double time, double gain, double decay, Noise& noise) {
    const size_t start = FrameOf(time);
    const size_t length = FrameOf(5.0 / decay);
    double previous = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double white = noise.Next();
        const double high = white - previous;  // first difference: only the hiss remains
        previous = white;
        out.Add(start + i, gain * 0.5 * high * std::exp(-t * decay), -0.3);
    }
}

// Saw through a resonance-free low-pass whose cut-off follows a decaying envelope.
void Bass(Stereo& out, double time, double duration, int note, double gain) {
    const size_t start = FrameOf(time);
    const size_t length = FrameOf(duration + 0.05);
    const double frequency = MidiToHz(note);
    const double dt = frequency / kRate;
    double phase = 0.0, filtered = 0.0, filtered2 = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double raw = 0.7 * Saw(phase, dt) + 0.5 * std::sin(2.0 * kPi * phase);
        phase = std::fmod(phase + dt, 1.0);
        const double cutoff = 180.0 + 1600.0 * std::exp(-t * 14.0);
        const double a = 1.0 - std::exp(-2.0 * kPi * cutoff / kRate);
        filtered += a * (raw - filtered);
        filtered2 += a * (filtered - filtered2);
        const double attack = std::min(1.0, t / 0.004);
        const double release = t > duration ? std::max(0.0, 1.0 - (t - duration) / 0.05) : 1.0;
        out.Add(start + i, gain * filtered2 * attack * release, 0.0);
    }
}

// Three detuned saws per note, slow attack and release, softly filtered; spread across the field.
void Pad(Stereo& out, double time, double duration, int note, double gain, double pan) {
    const double attack = 0.6, release = 1.2;
    const size_t start = FrameOf(time);
    const size_t length = FrameOf(duration + release);
    const double detune[3] = {-0.11, 0.0, 0.13};
    double phases[3] = {0.0, 0.31, 0.67};
    double filtered = 0.0;
    const double a = 1.0 - std::exp(-2.0 * kPi * 1400.0 / kRate);
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double raw = 0.0;
        for (int v = 0; v < 3; ++v) {
            const double dt = MidiToHz(note) * std::pow(2.0, detune[v] / 12.0) / kRate;
            raw += Saw(phases[v], dt);
            phases[v] = std::fmod(phases[v] + dt, 1.0);
        }
        filtered += a * (raw / 3.0 - filtered);
        double envelope = std::min(1.0, t / attack);
        if (t > duration) envelope *= std::max(0.0, 1.0 - (t - duration) / release);
        out.Add(start + i, gain * filtered * envelope, pan);
    }
}

// Square lead with a little vibrato and a plucky decay.
void Lead(Stereo& out, double time, double duration, int note, double gain) {
    const size_t start = FrameOf(time);
    const size_t length = FrameOf(duration + 0.08);
    const double frequency = MidiToHz(note);
    double phase = 0.0, filtered = 0.0;
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double vibrato = 1.0 + 0.004 * std::sin(2.0 * kPi * 5.5 * t) * std::min(1.0, t / 0.3);
        const double dt = frequency * vibrato / kRate;
        const double raw = 0.6 * Square(phase, dt) + 0.4 * Saw(phase, dt);
        phase = std::fmod(phase + dt, 1.0);
        const double cutoff = 900.0 + 3500.0 * std::exp(-t * 6.0);
        filtered += (1.0 - std::exp(-2.0 * kPi * cutoff / kRate)) * (raw - filtered);
        const double attack = std::min(1.0, t / 0.01);
        const double release = t > duration ? std::max(0.0, 1.0 - (t - duration) / 0.08) : 1.0;
        const double sustain = 0.55 + 0.45 * std::exp(-t * 4.0);
        out.Add(start + i, gain * filtered * attack * release * sustain, 0.15);
    }
}

// A ping-pong echo on the lead bus, three-quarters of a beat apart.
void Echo(const Stereo& dry, Stereo& out) {
    const size_t delay = FrameOf(0.75 * kBeat);
    std::vector<float> left(dry.left), right(dry.right);
    for (size_t i = delay; i < dry.Frames(); ++i) {
        left[i] += 0.35f * right[i - delay];
        right[i] += 0.35f * left[i - delay];
    }
    for (size_t i = 0; i < dry.Frames(); ++i) {
        out.left[i] += left[i];
        out.right[i] += right[i];
    }
}

// ---- [arrangement] ----

struct Chord {
    int root;         // bass note
    int notes[3];     // pad voicing
    int arpeggio[4];  // lead figure
};

// Am, F, C, G: one chord per bar.
const Chord kChords[4] = {
    {45, {57, 60, 64}, {69, 72, 76, 72}},
    {41, {57, 60, 65}, {69, 72, 77, 72}},
    {48, {55, 60, 64}, {67, 72, 76, 72}},
    {43, {55, 59, 62}, {67, 71, 74, 71}},
};

// The melody over four bars in eighth notes (0: rest), played in the lead sections.
const int kMelody[32] = {76, 0, 76, 74, 72, 0,  69, 0, 77, 0, 76, 74, 72, 0, 72, 74,
                         76, 0, 79, 0,  76, 74, 72, 0, 74, 0, 71, 72, 74, 0, 0,  0};

struct Section {
    bool kick, hats, snare, bass, pads, melody, arpeggio;
};

Section SectionOf(int bar) {
    if (bar < 2) return {false, false, false, false, true, false, false};  // pads alone
    if (bar < 4) return {true, false, false, false, true, false, false};   // the beat comes in
    if (bar < 12) return {true, true, false, true, true, false, false};    // groove
    if (bar < 20) return {true, true, true, true, true, true, false};      // melody
    if (bar < 24) return {false, false, false, false, true, false, true};  // break
    if (bar < 32) return {true, true, true, true, true, true, true};       // everything
    // The second half, under the 3D scenes.
    if (bar < 36) return {false, false, false, true, true, false, true};   // bass and arpeggio
    if (bar < 44) return {true, true, false, true, true, false, true};     // the beat again
    if (bar < 52) return {true, true, true, true, true, true, false};      // melody
    if (bar < 56) return {true, true, true, true, true, true, true};       // everything
    if (bar < 60) return {false, false, false, false, true, true, false};  // the lead over pads
    if (bar < 64) return {true, true, true, true, true, true, true};       // everything, last time
    return {bar < 66, false, false, false, true, false, false};            // outro
}

// ---- [output] ----

uint32_t OggCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

// The encoder picks a random stream serial number; a fixed one (and the page checksums redone)
// makes the file byte-for-byte reproducible.
bool FixStreamSerial(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);

    size_t at = 0;
    while (at + 27 <= bytes.size()) {
        if (bytes[at] != 'O' || bytes[at + 1] != 'g' || bytes[at + 2] != 'g' || bytes[at + 3] != 'S')
            return false;
        const size_t segments = bytes[at + 26];
        if (at + 27 + segments > bytes.size()) return false;
        size_t size = 27 + segments;
        for (size_t i = 0; i < segments; ++i) size += bytes[at + 27 + i];
        if (at + size > bytes.size()) return false;
        const uint8_t serial[4] = {0x56, 0x54, 0x52, 0x4b};
        std::copy(serial, serial + 4, bytes.begin() + static_cast<long>(at) + 14);
        std::fill(bytes.begin() + static_cast<long>(at) + 22, bytes.begin() + static_cast<long>(at) + 26, 0);
        const uint32_t crc = OggCrc(bytes.data() + at, size);
        for (int i = 0; i < 4; ++i) bytes[at + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
        at += size;
    }
    if (at != bytes.size()) return false;
    file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

// ---- [main] ----

int main(int argc, char** argv) {
    const std::string outputPath = argc > 1 ? argv[1] : "data/music.ogg";
    const size_t frames = FrameOf(kBars * kBar + kTail);
    Stereo drums(frames), tonal(frames), leadBus(frames);
    Noise noise(0x5eed1234u);

    for (int bar = 0; bar < kBars; ++bar) {
        const Section section = SectionOf(bar);
        const Chord& chord = kChords[bar % 4];
        const double barTime = bar * kBar;
        // The outro fades the last four bars down.
        const double fade = bar < kBars - 4 ? 1.0 : 1.0 - (bar - (kBars - 4)) * 0.2;

        for (int beat = 0; beat < 4; ++beat) {
            const double time = barTime + beat * kBeat;
            if (section.kick) Kick(drums, time, 0.9 * fade);
            if (section.snare && (beat == 1 || beat == 3)) Snare(drums, time, 0.5, noise);
            if (section.hats) {
                HiHat(drums, time, 0.12, 60.0, noise);
                HiHat(drums, time + kBeat / 2, 0.22, 35.0, noise);
            }
        }
        if (section.bass) {
            // Eighths on the root with an octave jump on the off-beat of beat 4.
            for (int eighth = 0; eighth < 8; ++eighth) {
                const int note = chord.root + (eighth == 7 ? 12 : 0);
                Bass(tonal, barTime + eighth * kBeat / 2, kBeat / 2 * 0.8, note, 0.4);
            }
        }
        if (section.pads) {
            const double duration = bar == kBars - 1 ? kBar + kTail * 0.5 : kBar;
            for (int v = 0; v < 3; ++v) {
                Pad(tonal, barTime, duration, chord.notes[v], 0.15 * fade, -0.5 + 0.5 * v);
            }
        }
        if (section.melody) {
            for (int eighth = 0; eighth < 8; ++eighth) {
                const int note = kMelody[(bar % 4) * 8 + eighth];
                if (note != 0) Lead(leadBus, barTime + eighth * kBeat / 2, kBeat / 2 * 0.9, note, 0.22);
            }
        }
        if (section.arpeggio) {
            for (int sixteenth = 0; sixteenth < 16; ++sixteenth) {
                const int note = chord.arpeggio[sixteenth % 4] + 12;
                Lead(leadBus, barTime + sixteenth * kBeat / 4, kBeat / 4 * 0.6, note, 0.1);
            }
        }
    }

    // Mix, with the tonal parts ducked under each kick so the beat stays clear, and master with a
    // soft clip.
    Stereo mix(frames);
    Echo(leadBus, mix);
    for (size_t i = 0; i < frames; ++i) {
        const double beatPhase = std::fmod(static_cast<double>(i) / kRate, kBeat) / kBeat;
        const int bar = static_cast<int>(static_cast<double>(i) / kRate / kBar);
        const bool ducking = bar < kBars && SectionOf(bar).kick;
        const double duck = ducking ? 0.55 + 0.45 * std::min(1.0, beatPhase * 4.0) : 1.0;
        const double left = drums.left[i] + duck * (tonal.left[i] + mix.left[i]);
        const double right = drums.right[i] + duck * (tonal.right[i] + mix.right[i]);
        mix.left[i] = static_cast<float>(std::tanh(left * 1.1) * 0.9);
        mix.right[i] = static_cast<float>(std::tanh(right * 1.1) * 0.9);
    }

    std::vector<float> interleaved(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        interleaved[i * 2] = mix.left[i];
        interleaved[i * 2 + 1] = mix.right[i];
    }

    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(outputPath.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "Cannot write '%s': %s\n", outputPath.c_str(), sf_strerror(nullptr));
        return 1;
    }
    double quality = 0.3;
    sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    // The encoder takes modest blocks; one call with the whole piece overruns its analysis buffer.
    sf_count_t written = 0;
    constexpr sf_count_t kBlock = 4096;
    while (written < static_cast<sf_count_t>(frames)) {
        const sf_count_t n = std::min<sf_count_t>(kBlock, static_cast<sf_count_t>(frames) - written);
        const sf_count_t got = sf_writef_float(file, interleaved.data() + written * 2, n);
        written += got;
        if (got != n) break;
    }
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames)) {
        std::fprintf(stderr, "Writing '%s' stopped after %lld of %zu frames\n", outputPath.c_str(),
                     static_cast<long long>(written), frames);
        return 1;
    }
    if (!FixStreamSerial(outputPath)) {
        std::fprintf(stderr, "Could not make the stream serial of '%s' reproducible\n", outputPath.c_str());
        return 1;
    }
    std::printf("Wrote '%s': %zu frames, %.1f s at %d bpm\n", outputPath.c_str(), frames,
                static_cast<double>(frames) / kRate, static_cast<int>(kBpm));
    return 0;
}
