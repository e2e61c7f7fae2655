#pragma once

#include <cstdint>
#include <string>

namespace msbench {

// Stream packets as the phone writes them (see StreamPacketAssembler).
std::string VideoPacket(uint32_t frame_kind, size_t payload_bytes);
std::string AudioPacket(size_t payload_bytes);
std::string TokenPacket(const std::string& token);

}  // namespace msbench
