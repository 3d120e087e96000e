#pragma once
// Reading the capture sources of the sound server.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/audio/PulseConnection.h"

namespace tavlo {

struct PulseSource {
    std::uint32_t index = 0;
    std::string name;         // stable across restarts of the server
    std::string description;  // the label people know the device by
    double sampleRate = 0;
    std::uint32_t channelCount = 0;
    pa_channel_map channelMap{};
    bool isMonitor = false;  // records what an output plays
};

// Every source that records from a device, in the server's order; monitors of
// outputs are left out. Absent when the list cannot be read.
std::optional<std::vector<PulseSource>> listCaptureSources(PulseConnection& connection);

// One source by its name, or the default source when `name` is empty. Absent
// when there is no such source or it cannot be read.
std::optional<PulseSource> findSource(PulseConnection& connection, const std::string& name);
std::optional<PulseSource> findSource(PulseConnection& connection, std::uint32_t index);

}  // namespace tavlo
