#include "platform/linux/process/LoopbackListeners.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/linux/files/AtomicFile.h"

namespace tavlo {
namespace {

// A busy machine has some thousands of sockets; more than this is not a
// socket table.
constexpr std::size_t maximumTableSize = 16 * 1024 * 1024;
constexpr const char* listening = "0A";

// Addresses as the tables write them (hexadecimal, in the kernel's byte
// order): 127.0.0.1, 0.0.0.0, ::1, ::, and 127.0.0.1 mapped into IPv6.
bool isLoopbackOrAny(const std::string& address) {
    return address == "0100007F" || address == "00000000" || address == "00000000000000000000000001000000" ||
           address == "00000000000000000000000000000000" || address == "0000000000000000FFFF00000100007F";
}

}  // namespace

bool loopbackListenersBelongTo(int port, uid_t uid, const std::vector<std::filesystem::path>& tables) {
    bool found = false;
    for (const auto& table : tables) {
        const FileRead read = readWholeFile(table);
        if (read.status != FileRead::Status::ok || read.contents.size() > maximumTableSize) continue;
        std::istringstream lines(read.contents);
        std::string line;
        std::getline(lines, line);  // the column names
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, owner;
            if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> owner)) continue;
            const auto colon = local.rfind(':');
            if (colon == std::string::npos || state != listening) continue;
            char* end = nullptr;
            const long localPort = std::strtol(local.c_str() + colon + 1, &end, 16);
            if (*end != '\0' || localPort != port || !isLoopbackOrAny(local.substr(0, colon))) continue;
            const unsigned long ownerId = std::strtoul(owner.c_str(), &end, 10);
            if (*end != '\0' || owner.empty()) return false;
            if (ownerId != static_cast<unsigned long>(uid)) return false;
            found = true;
        }
    }
    return found;
}

}  // namespace tavlo
