#include "platform/linux/audio/PulseSources.h"

namespace tavlo {
namespace {

// The server's strings are shown to people and kept in settings: bounded.
constexpr std::size_t maxTextLength = 512;

std::string boundedText(const char* text) {
    if (!text) return {};
    std::string result(text);
    if (result.size() > maxTextLength) result.resize(maxTextLength);
    return result;
}

PulseSource describe(const pa_source_info& info) {
    PulseSource source;
    source.index = info.index;
    source.name = boundedText(info.name);
    source.description = boundedText(info.description);
    source.sampleRate = info.sample_spec.rate;
    source.channelCount = info.sample_spec.channels;
    source.channelMap = info.channel_map;
    source.isMonitor = info.monitor_of_sink != PA_INVALID_INDEX;
    return source;
}

struct Collected {
    explicit Collected(PulseConnection* c) : connection(c) {}
    PulseConnection* connection;
    std::vector<PulseSource> sources;
    bool includeMonitors = false;
    bool failed = false;
};

void collect(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* collected = static_cast<Collected*>(userdata);
    if (eol < 0) collected->failed = true;
    if (eol != 0 || !info) {
        collected->connection->signal();
        return;
    }
    // A monitor records what an output plays, not a microphone.
    if (!collected->includeMonitors && info->monitor_of_sink != PA_INVALID_INDEX) return;
    // A server cannot list a sensible number of sources beyond this.
    if (collected->sources.size() < 1024) collected->sources.push_back(describe(*info));
}

}  // namespace

std::optional<std::vector<PulseSource>> listCaptureSources(PulseConnection& connection) {
    if (connection.error()) return std::nullopt;
    Collected collected(&connection);
    PulseConnection::Lock lock(connection);
    pa_operation* operation = pa_context_get_source_info_list(connection.context(), collect, &collected);
    if (!connection.waitForOperationLocked(operation) || collected.failed) return std::nullopt;
    return std::move(collected.sources);
}

namespace {

template <typename Query>
std::optional<PulseSource> findOne(PulseConnection& connection, const Query& query) {
    if (connection.error()) return std::nullopt;
    Collected collected(&connection);
    collected.includeMonitors = true;
    PulseConnection::Lock lock(connection);
    pa_operation* operation = query(connection.context(), &collected);
    if (!connection.waitForOperationLocked(operation) || collected.failed || collected.sources.empty())
        return std::nullopt;
    return collected.sources.front();
}

}  // namespace

std::optional<PulseSource> findSource(PulseConnection& connection, const std::string& name) {
    return findOne(connection, [&name](pa_context* context, Collected* collected) {
        return pa_context_get_source_info_by_name(context, name.empty() ? "@DEFAULT_SOURCE@" : name.c_str(),
                                                  collect, collected);
    });
}

std::optional<PulseSource> findSource(PulseConnection& connection, std::uint32_t index) {
    return findOne(connection, [index](pa_context* context, Collected* collected) {
        return pa_context_get_source_info_by_index(context, index, collect, collected);
    });
}

}  // namespace tavlo
