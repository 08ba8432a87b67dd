// The random numbers of the cube effects: the runtime-style linear congruential generator, read
// modulo 65535 (not 65536) into [0, 1). Every build restarts it from its seed, so the same inputs
// give the same formation on every run.
#pragma once

#include <cstdint>

namespace Effects {

class CubeRandom {
public:
    explicit CubeRandom(uint32_t seed = 0) : m_state(seed) {}

    /// Advances the state and returns the next number in [0, 1).
    float Next() {
        m_state = m_state * 1103515245u + 12345u;
        return static_cast<float>(static_cast<double>(m_state % 65535u) / 65535.0);
    }

private:
    uint32_t m_state;
};

}  // namespace Effects
