// The choice between the Secret Service and the private file.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness/PrivateSessionBus.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/secrets/SecretServiceOrFileStore.h"

namespace tavlo::testing {
namespace {

using Place = SecretServiceOrFileStore::Place;

class SecretChoiceTest : public ::testing::Test {
protected:
    TemporaryDirectory temporary;
    FileSecretStore file{temporary / "secrets", [](const std::string&) {}};
    LibsecretSecretStore keyring;
    SecretServiceOrFileStore secrets{keyring, file};
};

class SecretChoiceWithService : public SecretChoiceTest {
protected:
    void SetUp() override {
        const std::string missing = PrivateSessionBus::missingPrograms(true);
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        PrivateSessionBus& bus = PrivateSessionBus::sharedWithSecretService();
        ASSERT_TRUE(bus.running()) << bus.error();
    }
};

TEST_F(SecretChoiceWithService, SecretsGoToTheKeyringAndNeverToTheFile) {
    const SecretIdentity identity{"com.tavlo.test", "choice"};
    ASSERT_TRUE(secrets.replaceSecret(identity, "sk-kept"));
    EXPECT_EQ(secrets.lastWritePlace(), Place::secretService);
    EXPECT_EQ(keyring.secret(identity), "sk-kept");
    EXPECT_FALSE(std::filesystem::exists(file.path()));
    EXPECT_EQ(secrets.secret(identity), "sk-kept");

    EXPECT_TRUE(secrets.deleteSecret(identity));
    EXPECT_EQ(secrets.secret(identity), std::nullopt);
}

TEST_F(SecretChoiceWithService, ASecretSavedWhileNoServiceRanMovesIntoTheKeyring) {
    const SecretIdentity identity{"com.tavlo.test", "moved"};
    ASSERT_TRUE(file.replaceSecret(identity, "sk-from-file"));

    EXPECT_EQ(secrets.secret(identity), "sk-from-file");
    EXPECT_EQ(keyring.secret(identity), "sk-from-file");
    EXPECT_EQ(file.secret(identity), std::nullopt);
    keyring.deleteSecret(identity);
}

// Run in a fresh child process with no bus at all; gives what went wrong.
std::string fileFallbackProblems() {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    TemporaryDirectory temporary;
    FileSecretStore file(temporary / "secrets", [](const std::string&) {});
    LibsecretSecretStore keyring;
    SecretServiceOrFileStore secrets(keyring, file);
    const SecretIdentity identity{"com.tavlo.test", "file-only"};
    std::string problems;
    if (!secrets.replaceSecret(identity, "sk-in-file")) problems += "not stored; ";
    if (file.secret(identity) != "sk-in-file") problems += "not in the file; ";
    if (secrets.lastWritePlace() != Place::file) problems += "wrong place; ";
    if (secrets.secret(identity) != "sk-in-file") problems += "not read back; ";
    if (!secrets.deleteSecret(identity) || file.secret(identity)) problems += "not deleted; ";
    return problems;
}

[[noreturn]] void exitWith(const std::string& problems) {
    if (!problems.empty()) std::fprintf(stderr, "%s\n", problems.c_str());
    std::exit(problems.empty() ? 0 : 1);
}

TEST(SecretChoiceWithoutService, TheFileIsUsed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitWith(fileFallbackProblems()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tavlo::testing
