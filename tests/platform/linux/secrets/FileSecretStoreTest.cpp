// The private secrets file used when no Secret Service answers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "harness/TemporaryDirectory.h"
#include "platform/linux/secrets/FileSecretStore.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

class FileSecretStoreTest : public ::testing::Test {
protected:
    FileSecretStore open() {
        return FileSecretStore(folder, [this](const std::string& line) { reports.push_back(line); });
    }

    TemporaryDirectory temporary;
    fs::path folder = temporary / "data/tavlo/secrets";
    fs::path file = folder / "secrets.json";
    const SecretIdentity key{"com.tavlo.app", "openai-api-key"};
    const SecretIdentity token{"com.tavlo.app", "service-access-token"};
    std::vector<std::string> reports;
};

TEST_F(FileSecretStoreTest, StoresReplacesAndDeletesOneItemPerIdentity) {
    auto store = open();
    EXPECT_EQ(store.secret(key), std::nullopt);
    EXPECT_TRUE(store.deleteSecret(key));  // nothing to delete is fine
    EXPECT_FALSE(fs::exists(folder));      // and creates nothing

    EXPECT_TRUE(store.replaceSecret(key, "sk-one"));
    EXPECT_TRUE(store.replaceSecret(token, "tok"));
    EXPECT_TRUE(store.replaceSecret(key, "sk-two"));
    EXPECT_EQ(open().secret(key), "sk-two");
    EXPECT_EQ(open().secret(token), "tok");
    std::ifstream in(file);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(text.find("sk-one"), std::string::npos);

    EXPECT_TRUE(store.deleteSecret(key));
    EXPECT_EQ(store.secret(key), std::nullopt);
    EXPECT_EQ(store.secret(token), "tok");
    EXPECT_TRUE(store.deleteSecret(token));
    EXPECT_FALSE(fs::exists(file));  // no file left holding nothing
}

TEST_F(FileSecretStoreTest, ReadableByTheUserAlone) {
    auto store = open();
    ASSERT_TRUE(store.replaceSecret(key, "sk-one"));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    // Permissions widened by hand are narrowed again at the next use.
    ::chmod(folder.c_str(), 0755);
    ::chmod(file.c_str(), 0644);
    EXPECT_EQ(store.secret(key), "sk-one");
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(FileSecretStoreTest, ASymbolicLinkInPlaceOfTheFileIsRefused) {
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    const auto elsewhere = temporary / "elsewhere.json";
    std::ofstream(elsewhere) << R"({"items":[{"service":"com.tavlo.app","account":"openai-api-key","secret":"planted"}]})";
    fs::create_symlink(elsewhere, file);

    auto store = open();
    EXPECT_EQ(store.secret(key), std::nullopt);
    EXPECT_FALSE(store.replaceSecret(key, "sk-new"));
    std::ifstream in(elsewhere);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}).find("sk-new"), std::string::npos);
}

TEST_F(FileSecretStoreTest, ADamagedFileIsKeptAsideAndReadsAsEmpty) {
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    std::ofstream(file) << R"({"items":[{"service":"com.tavlo.app","account":)";
    ::chmod(file.c_str(), 0600);

    auto store = open();
    EXPECT_EQ(store.secret(key), std::nullopt);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("kept as"), std::string::npos) << reports[0];
    EXPECT_TRUE(store.replaceSecret(key, "sk-new"));
    EXPECT_EQ(store.secret(key), "sk-new");
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        kept += entry.path().filename().string().starts_with("secrets.json.damaged-");
    EXPECT_EQ(kept, 1);
}

}  // namespace
}  // namespace tavlo::testing
