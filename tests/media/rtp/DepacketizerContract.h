#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "media/rtp/Depacketizer.h"

namespace vexa::rtp::test {

using Bytes = std::vector<uint8_t>;

// One unit of a sample stream as a sender packetises it.
struct ContractUnit {
  std::vector<Bytes> payloads;  // at least three; the last one carries the marker
  Bytes expected;               // what comes out when every packet arrives
};

// A payload format on one road, as the shared checks see it. The checks send its five sample
// units in order: unit 0 only settles the depacketiser (a road may drop it), units 1 and 3 may
// be ones the format cannot restart from after loss, units 2 and 4 must be ones it can.
struct ContractFormat {
  std::string name;  // letters and digits: it names the test
  Road road = Road::Udp;
  uint8_t payloadType = 0;
  std::function<std::unique_ptr<Depacketizer>()> make;
  std::vector<ContractUnit> units;
};

// Names the format in test failure messages.
inline void PrintTo(const ContractFormat& format, std::ostream* out) {
  *out << format.name;
}

}  // namespace vexa::rtp::test
