#pragma once
// One step of a portal conversation: the portal answers a method call later,
// with a Response signal on a request object whose path the caller chooses
// through a token. The answer is listened for before asking, so a quick one
// is not missed. Runs on the main thread, through GLib's main context.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace tavlo::portal {

inline constexpr const char* portalName = "org.freedesktop.portal.Desktop";
inline constexpr const char* portalPath = "/org/freedesktop/portal/desktop";

// The Response's code (0 granted, 1 cancelled by the user, 2 refused) and
// its results; results stay valid for the call only.
using PortalAnswer = std::function<void(std::uint32_t response, GVariant* results)>;
// The call itself failed (no portal, no such interface): why.
using PortalFailure = std::function<void(const std::string& problem)>;

// A token no other request of this process has used.
std::string newRequestToken();

// Calls `interface`.`method` with `parameters` (a floating GVariant whose
// options carry `token` as their handle_token). Exactly one of `answer` or
// `failure` runs, unless the returned handle is dropped first, which stops
// listening.
class PortalRequest;
std::shared_ptr<PortalRequest> requestOnPortal(GDBusConnection* bus, const char* interface, const char* method,
                                               GVariant* parameters, const std::string& token, PortalAnswer answer,
                                               PortalFailure failure);

// Whether the portal offers `interface` (asks for its version).
bool portalOffers(GDBusConnection* bus, const char* interface);

}  // namespace tavlo::portal
