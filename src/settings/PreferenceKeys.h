#pragma once
// The keys under which the settings live in the preference store. They are the
// stored form shared with every earlier version, so they never change.
#include <string_view>

namespace tavlo::PreferenceKey {

inline constexpr std::string_view dictionaryWords = "dictionaryWords";
inline constexpr std::string_view snippets = "voiceSnippets";
inline constexpr std::string_view recent = "recentDictations";
inline constexpr std::string_view transformStyle = "transformStyle";
inline constexpr std::string_view bubbleFrame = "bubbleFrame";
inline constexpr std::string_view bubbleVisible = "bubbleVisible";
inline constexpr std::string_view autoPaste = "autoPaste";
inline constexpr std::string_view shortcuts = "shortcuts";
inline constexpr std::string_view holdTrigger = "holdTrigger";
inline constexpr std::string_view pressTrigger = "pressTrigger";
inline constexpr std::string_view speechModel = "speechModel";
inline constexpr std::string_view speechLanguage = "speechLanguage";
inline constexpr std::string_view openAICloudMode = "openAICloudMode";
inline constexpr std::string_view microphoneUniqueID = "microphoneUniqueID";
inline constexpr std::string_view cleanupEnabled = "cleanupEnabled";
inline constexpr std::string_view storageMode = "storageMode";
inline constexpr std::string_view updateCheckFrequency = "updateCheckFrequency";
inline constexpr std::string_view lastAutomaticUpdateCheckAt = "lastAutomaticUpdateCheckAt";
inline constexpr std::string_view lastPromptedUpdateIdentifier = "lastPromptedUpdateIdentifier";
inline constexpr std::string_view whisperModel = "whisperModel";
inline constexpr std::string_view whisperModelBaseURL = "whisperModelBaseURL";
inline constexpr std::string_view welcomeShown = "welcomeShown";
inline constexpr std::string_view noTrayNoticeShown = "noTrayNoticeShown";

}  // namespace tavlo::PreferenceKey
