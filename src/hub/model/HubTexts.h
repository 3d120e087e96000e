#pragma once
// The hub's fixed texts: titles, labels, placeholders and buttons that do not
// depend on any state. Texts that do are produced by the section models.
#include <string_view>

namespace tavlo::HubText {

// Window and sidebar.
inline constexpr std::string_view windowTitle = "Tavlo";
inline constexpr std::string_view brandName = "Tavlo";
inline constexpr std::string_view tagline = "voice in, text out";

// Home.
inline constexpr std::string_view homeHeader = "Tavlo";
inline constexpr std::string_view triggersLabel = "Triggers";
inline constexpr std::string_view speechLabel = "Speech";
inline constexpr std::string_view cloudLabel = "Cloud";
inline constexpr std::string_view whisperLabel = "Whisper";
inline constexpr std::string_view microphoneLabel = "Microphone";
inline constexpr std::string_view cleanupLabel = "Cleanup";
inline constexpr std::string_view historyLabel = "History";
inline constexpr std::string_view loginLabel = "Start at login";
inline constexpr std::string_view updatesLabel = "Updates";
inline constexpr std::string_view checkNowButton = "Check now";
inline constexpr std::string_view automaticChecksNote = "Automatic checks";
inline constexpr std::string_view revertButton = "Revert";
inline constexpr std::string_view appliesImmediatelyCaption = "Applies immediately";

// History.
inline constexpr std::string_view historySearchPlaceholder = "Search history";
inline constexpr std::string_view pasteSelectedButton = "Paste selected";
inline constexpr std::string_view copySelectedButton = "Copy selected";
inline constexpr std::string_view deleteSelectedButton = "Delete selected";
inline constexpr std::string_view clearHistoryButton = "Clear history";
inline constexpr std::string_view noDictationsYet = "No dictations yet.";

// Dictionary.
inline constexpr std::string_view dictionaryFieldPlaceholder = "Add name, acronym, product, or technical term";
inline constexpr std::string_view addButton = "Add";
inline constexpr std::string_view saveEditsButton = "Save edits";
inline constexpr std::string_view deleteButton = "Delete";
inline constexpr std::string_view clearButton = "Clear";
inline constexpr std::string_view dictionaryNote =
    "Dictionary terms are sent into the on-device recogniser as recognition hints when the next recording "
    "starts. They improve odds, but they are not hard replacements.";
inline constexpr std::string_view noDictionaryTermsYet = "No dictionary terms yet.";

// Snippets.
inline constexpr std::string_view snippetPhrasePlaceholder = "Spoken phrase";
inline constexpr std::string_view snippetExpansionPlaceholder = "Expansion";
inline constexpr std::string_view resetButton = "Reset";

// Transcribe.
inline constexpr std::string_view dropTitle = "Drop audio or video here";
inline constexpr std::string_view dropDetail = "MP3, WAV, M4A, MP4, MOV and other local media files";
inline constexpr std::string_view chooseFileButton = "Choose file";
inline constexpr std::string_view copyTranscriptButton = "Copy transcript";
inline constexpr std::string_view showTranscriptFileButton = "Show .txt";
inline constexpr std::string_view chooserTitle = "Choose an audio or video file";
inline constexpr std::string_view chooserPrompt = "Transcribe";
inline constexpr std::string_view cancelTranscriptionButton = "Cancel";
inline constexpr std::string_view initialTranscribeStatus =
    "Drop an audio or video file here, or choose one from your computer.";
inline constexpr std::string_view workingTranscript = "Working. The transcript will appear here when it is ready.";
inline constexpr std::string_view noFileTranscribedYet = "No file transcribed yet.";

// Shortcuts.
inline constexpr std::string_view allShortcutsRegistered = "All shortcuts registered";

}  // namespace tavlo::HubText
