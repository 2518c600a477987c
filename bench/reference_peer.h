// The simulator's own floor: a minimal YMODEM peer that answers the paced
// simulator as fast as a program can (send a block, wait for the one ACK
// byte; send a request, read 1029 bytes), with nothing else in its loop.
// Its throughput is the most any loader can reach against the simulator on
// this machine, so the loader's figures can be read against it.
#pragma once

#include <cstddef>
#include <string>

#include "case_support.h"
#include "figures.h"

namespace bench {

enum class PeerRole { upload, download };

struct PeerCase {
    std::string name;
    PeerRole role;
    std::size_t payload = 0;
    int baud = 0;
};

// `phase` is the data blocks alone: first block (or request) out to the last
// ACK (or block) in. No CPU or memory figures: the peer runs inside the bench.
Figures run_reference_peer(const Tools& tools, const std::string& work, const PeerCase& c);

} // namespace bench
