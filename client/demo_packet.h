// The demo packet: one made-up packet of six processes on sixteen processors, shared by all demo
// sessions of the process and counted, so that an edit through one demo session shows in all.
#pragma once

#include <cstddef>

namespace tesmar::client {

inline constexpr unsigned kDemoProcessorCount = 16;
inline constexpr unsigned kDemoProcessCount = 6;

// The shared packet, made fresh when no demo session held it; null when memory is short.
std::byte* AcquireDemoPacket();
// Drops one hold; the last one frees the packet.
void ReleaseDemoPacket();
// Bytes of the demo packet.
std::size_t DemoPacketSize();

}  // namespace tesmar::client
