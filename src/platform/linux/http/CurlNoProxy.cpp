#include "platform/linux/http/CurlNoProxy.h"

#include <cstdlib>

namespace tavlo {

std::string curlNoProxyList() {
    std::string list = "127.0.0.1,localhost,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value) {
            list += ",";
            list += value;
            break;
        }
    }
    return list;
}

}  // namespace tavlo
