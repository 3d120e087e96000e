// Who listens on a local port: the kernel's socket tables, as fixture files
// and as they are on this machine.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "harness/TemporaryDirectory.h"
#include "platform/linux/process/LoopbackListeners.h"

namespace tavlo {
namespace {

constexpr const char* header =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

std::string row(const std::string& local, const std::string& state, const std::string& uid) {
    return "   0: " + local + " 00000000:0000 " + state + " 00000000:00000000 00:00000000 00000000  " + uid +
           "        0 12345 1 0000000000000000 100 0 0 10 0\n";
}

TEST(LoopbackListeners, OnlyListenersOfThisUserOnTheLoopbackOrAnyAddressCount) {
    // 18131 is 46D3 in the tables' hexadecimal.
    struct Case {
        const char* name;
        std::string tcp;
        std::string tcp6;
        bool ours;
    };
    const Case cases[] = {
        {"OursOnLoopback", row("0100007F:46D3", "0A", "1000"), "", true},
        {"SomeoneElsesOnLoopback", row("0100007F:46D3", "0A", "1001"), "", false},
        {"SomeoneElsesOnEveryAddress", row("00000000:46D3", "0A", "1001"), "", false},
        {"OursOnIPv6Loopback", "", row("00000000000000000000000001000000:46D3", "0A", "1000"), true},
        {"SomeoneElsesBesideOurs", row("0100007F:46D3", "0A", "1000"),
         row("00000000000000000000000000000000:46D3", "0A", "1001"), false},
        {"NothingListensThere", row("0100007F:46D4", "0A", "1000"), "", false},
        {"AConnectionIsNoListener", row("0100007F:46D3", "01", "1000"), "", false},
        {"AnotherInterfaceDoesNotCount", row("0101A8C0:46D3", "0A", "1001") + row("0100007F:46D3", "0A", "1000"), "",
         true},
        {"GarbageIsSkipped", "nonsense\n" + row("0100007F:46D3", "0A", "1000") + "   1: zz\n", "", true},
        {"AnUnreadableOwnerIsNotTrusted", row("0100007F:46D3", "0A", "x"), "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TemporaryDirectory folder;
        std::ofstream(folder.path() / "tcp") << header << c.tcp;
        std::ofstream(folder.path() / "tcp6") << header << c.tcp6;
        EXPECT_EQ(loopbackListenersBelongTo(18131, 1000, {folder.path() / "tcp", folder.path() / "tcp6"}), c.ours);
    }
    EXPECT_FALSE(loopbackListenersBelongTo(18131, 1000, {"/nonexistent/tcp"}));
}

TEST(LoopbackListeners, ASocketThisProcessListensOnIsThisUsers) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(socket, 1), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int port = ntohs(address.sin_port);
    EXPECT_TRUE(loopbackListenersBelongTo(port, ::getuid()));
    EXPECT_FALSE(loopbackListenersBelongTo(port, ::getuid() + 1));
    ::close(socket);
    EXPECT_FALSE(loopbackListenersBelongTo(port, ::getuid()));
}

}  // namespace
}  // namespace tavlo
