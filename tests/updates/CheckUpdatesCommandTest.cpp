// `tavlo check-updates` on the real executable against local manifest hosts:
// what it prints, where, and its exit status for each kind of result.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "harness/RunProgram.h"
#include "updates/ManifestHost.h"

namespace tavlo::testing {
namespace {

class CheckUpdatesCommand : public ::testing::Test {
protected:
    ProgramResult checkUpdates(const std::string& urls) {
        return runTavlo({"check-updates"}, "", {{"TAVLO_UPDATE_MANIFEST_URLS", urls}});
    }

    ManifestHost first;
    ManifestHost second;
};

TEST_F(CheckUpdatesCommand, ANewerReleaseIsAnnouncedWithItsNotesAndDownloadPage) {
    first.answer(500, "");
    second.answer(200, manifestDocument("999.1", "7", "Faster start.\nFewer clicks.", "https://tavlo.app/download/999.1"));
    const auto result = checkUpdates(first.url() + " " + second.url());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "Update available\n"
              "Tavlo 999.1 is ready.\n"
              "\n"
              "Faster start.\nFewer clicks.\n"
              "Download: https://tavlo.app/download/999.1\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(CheckUpdatesCommand, AnAnswerThatCannotBePrintedIsAFailure) {
    first.answer(200, manifestDocument("999.1", "7", "Notes.", "https://tavlo.app/download/999.1"));
    const auto result =
        runTavlo({"check-updates"}, "", {{"TAVLO_UPDATE_MANIFEST_URLS", first.url()}}, "/dev/full");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: could not write the output (No space left on device)\n");
}

TEST_F(CheckUpdatesCommand, TheSameReleaseSaysUpToDateWithTheRunningVersion) {
    // The same version with build 0, which no build beats.
    first.answer(200, manifestDocument(TAVLO_VERSION ".0", "0"));
    const auto result = checkUpdates(first.url() + " " + second.url());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "You're up to date\nTavlo " TAVLO_VERSION " is the latest version.\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(second.received().empty());
}

TEST_F(CheckUpdatesCommand, AFailedCheckExplainsItselfOnStandardErrorWithStatusOne) {
    first.answer(200, "<html>Welcome</html>");
    second.answer(404, "Not Found");
    const auto result = checkUpdates(first.url() + " " + second.url());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Could not check for updates\nUpdate server returned HTTP 404.\n");
}

TEST_F(CheckUpdatesCommand, ANewerReleaseCannotSendControlCharactersToTheTerminal) {
    first.answer(200, manifestDocument("999.1\x1B]0;title\x07", "7", "Clear\x1B[2J screen\r\nnext line\xC2\x9B"));
    const auto result = checkUpdates(first.url());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "Update available\n"
              "Tavlo 999.1\uFFFD]0;title\uFFFD is ready.\n"
              "\n"
              "Clear\uFFFD[2J screen\nnext line\uFFFD\n"
              "Download: https://tavlo.app/download\n");
}

TEST_F(CheckUpdatesCommand, ExtraArgumentsAreRefused) {
    const auto result = runTavlo({"check-updates", "now"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("usage: tavlo check-updates"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace tavlo::testing
