// The Secret Service adapter against a real gnome-keyring on a private bus, and
// its behaviour with no bus, with no service on the bus, and with a service
// that never answers.
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <libsecret/secret.h>

#include <cstdlib>

#include "harness/PrivateSessionBus.h"
#include "platform/linux/secrets/LibsecretSecretStore.h"

namespace tavlo::testing {
namespace {

using Status = LibsecretSecretStore::Status;

// Every item this test program stores uses this service, so items can be counted.
constexpr const char* testService = "com.tavlo.test";

SecretIdentity identityFor(const char* account) { return SecretIdentity{testService, account}; }

// Counts the items of the identity straight from the service, past the adapter.
int itemCount(const SecretIdentity& identity) {
    static const SecretSchema schema = {
        "com.tavlo.app.Secret", SECRET_SCHEMA_NONE,
        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    GError* error = nullptr;
    GList* items = secret_password_search_sync(&schema, SECRET_SEARCH_ALL, nullptr, &error, "service",
                                               identity.service.c_str(), "account", identity.account.c_str(),
                                               nullptr);
    if (error) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return -1;
    }
    const int count = static_cast<int>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

class SecretServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = PrivateSessionBus::missingPrograms(true);
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        PrivateSessionBus& bus = PrivateSessionBus::sharedWithSecretService();
        ASSERT_TRUE(bus.running()) << bus.error();
    }

    LibsecretSecretStore store;
};

TEST_F(SecretServiceTest, StoresReadsReplacesAndDeletes) {
    const auto identity = identityFor("round-trip");
    const auto nothing = store.lookup(identity);
    EXPECT_EQ(nothing.status, Status::ok);
    EXPECT_EQ(nothing.secret, std::nullopt);

    EXPECT_EQ(store.store(identity, "sk-first"), Status::ok);
    EXPECT_EQ(store.secret(identity), "sk-first");
    EXPECT_TRUE(store.replaceSecret(identity, "sk-second ünïcode"));
    EXPECT_EQ(store.secret(identity), "sk-second ünïcode");
    EXPECT_EQ(itemCount(identity), 1);  // the second write replaced the first

    EXPECT_TRUE(store.deleteSecret(identity));
    EXPECT_EQ(itemCount(identity), 0);
    EXPECT_EQ(store.lookup(identity).status, Status::ok);
    EXPECT_TRUE(store.deleteSecret(identity));  // deleting nothing is fine
}

TEST_F(SecretServiceTest, AccountsAreSeparateItems) {
    const auto key = identityFor("key");
    const auto token = identityFor("token");
    ASSERT_TRUE(store.replaceSecret(key, "k"));
    ASSERT_TRUE(store.replaceSecret(token, "t"));
    EXPECT_EQ(store.secret(key), "k");
    EXPECT_TRUE(store.deleteSecret(key));
    EXPECT_EQ(store.secret(token), "t");
    EXPECT_EQ(store.secret(SecretIdentity{"com.tavlo.other", "token"}), std::nullopt);
    store.deleteSecret(token);
}

// Each check runs in a child process and gives what went wrong, if anything.
[[noreturn]] void exitWith(const std::string& problems) {
    if (!problems.empty()) std::fprintf(stderr, "%s\n", problems.c_str());
    std::exit(problems.empty() ? 0 : 1);
}

std::string problemsWithoutBus() {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    LibsecretSecretStore store;
    const auto identity = identityFor("absent");
    if (store.lookup(identity).status != Status::unavailable) return "lookup is not unavailable";
    if (store.store(identity, "x") != Status::unavailable) return "store is not unavailable";
    if (store.clear(identity) != Status::unavailable) return "clear is not unavailable";
    return {};
}

std::string problemsWithoutService() {
    PrivateSessionBus bus(false);
    if (!bus.running()) return bus.error();
    bus.useForThisProcess();
    LibsecretSecretStore store;
    const auto identity = identityFor("absent");
    if (store.lookup(identity).status != Status::unavailable) return "lookup is not unavailable";
    if (store.store(identity, "x") != Status::unavailable) return "store is not unavailable";
    return {};
}

// Drops every method call addressed to this connection, like a keyring whose
// unlock prompt nobody answers.
GDBusMessage* swallowCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
    if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
        g_object_unref(message);
        return nullptr;
    }
    return message;
}

std::string problemsWithSilentService() {
    PrivateSessionBus bus(false);
    if (!bus.running()) return bus.error();
    GDBusConnection* silent = g_dbus_connection_new_for_address_sync(
        bus.address().c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!silent) return "cannot connect";
    GVariant* reply = g_dbus_connection_call_sync(
        silent, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.secrets", 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 2000,
        nullptr, nullptr);
    if (!reply) return "cannot own org.freedesktop.secrets";
    g_variant_unref(reply);
    g_dbus_connection_add_filter(silent, swallowCalls, nullptr, nullptr);

    bus.useForThisProcess();
    LibsecretSecretStore store(std::chrono::milliseconds(300));
    const auto identity = identityFor("silent");
    std::string problems;
    if (store.lookup(identity).status != Status::failed) problems += "lookup did not fail; ";
    if (store.store(identity, "x") != Status::failed) problems += "store did not fail; ";
    if (store.secret(identity)) problems += "a secret was read; ";
    g_dbus_connection_close_sync(silent, nullptr, nullptr);
    g_object_unref(silent);
    return problems;
}

// These need a process whose session bus is not the shared one: each runs in a
// fresh child process.
class SecretServiceAbsence : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        if (!PrivateSessionBus::missingPrograms(false).empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    }
};

TEST_F(SecretServiceAbsence, NoBusAtAllIsUnavailable) {
    EXPECT_EXIT(exitWith(problemsWithoutBus()), ::testing::ExitedWithCode(0), "");
}

TEST_F(SecretServiceAbsence, ABusWithoutTheServiceIsUnavailable) {
    EXPECT_EXIT(exitWith(problemsWithoutService()), ::testing::ExitedWithCode(0), "");
}

TEST_F(SecretServiceAbsence, AServiceThatNeverAnswersFailsAfterTheTimeout) {
    EXPECT_EXIT(exitWith(problemsWithSilentService()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tavlo::testing
