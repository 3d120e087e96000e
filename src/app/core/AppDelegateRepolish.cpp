// Repolish: the text selected in any application, copied out, rewritten in a
// style and put back in place of the selection.
#include <chrono>

#include "app/core/AppDelegate.h"
#include "app/core/CharacterCount.h"
#include "engine/support/TextTrimming.h"
#include "text/TextPipeline.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

constexpr MainQueue::Duration copyToClipboardRead = 220ms;
constexpr MainQueue::Duration clipboardWriteToReplacement = 120ms;

}  // namespace

void AppDelegate::repolishSelection(TransformStyle style) {
    // The rewrite replaces text around the caret.
    lastDeliveredDictation_.reset();
    if (!accessibility || !accessibility->isProcessTrusted()) {
        requestAccessibilityPromptIfNeeded();
        return;
    }
    if (!keyEventPoster || !workspace) {
        logDiagnostic(std::string("repolish style=") + std::string(rawValue(style)) + " skipped: no key delivery");
        return;
    }
    RepolishRequest request{style, workspace->frontmostApplication(), pasteboard->string(), pasteboard->changeCount()};
    // The wait for the clipboard starts once the copy keystroke is out: the
    // poster first waits for the user to let go of the shortcut's modifiers.
    keyEventPoster->postCopy(request.frontmost, [weak = weak_from_this(), request](bool /*sent*/) {
        auto self = weak.lock();
        if (!self) return;
        self->mainQueue->postAfter(copyToClipboardRead, [weak, request] {
            if (auto self = weak.lock()) self->repolishCopiedSelection(request);
        });
    });
}

void AppDelegate::repolishCopiedSelection(const RepolishRequest& request) {
    const std::optional<std::string> copied =
        pasteboard->changeCount() != request.changeCount ? pasteboard->string() : std::nullopt;
    if (!copied || trimWhitespaceAndLineBreaks(*copied).empty()) {
        // Nothing was selected: the copy must not cost the user the clipboard.
        if (request.previousClipboard) {
            pasteboard->clearContents();
            pasteboard->setString(*request.previousClipboard);
        }
        logDiagnostic(std::string("repolish style=") + std::string(rawValue(request.style)) + " nothing selected");
        return;
    }
    // Selected text was typed: a "scratch that" in it is content, not a correction.
    const ProcessedText result =
        TextPipeline::process(*copied, request.style, store.snippets(), TextPipeline::SelfCorrections::keepAsSpoken);
    if (result.cancelled || result.text.empty()) return;

    store.addRecent(result.text, request.frontmost && request.frontmost->localizedName
                                     ? *request.frontmost->localizedName
                                     : std::string("Selected Text"));
    pasteboard->clearContents();
    pasteboard->setString(result.text);
    if (request.frontmost) workspace->activate(*request.frontmost);
    mainQueue->postAfter(clipboardWriteToReplacement, [weak = weak_from_this(), text = result.text,
                                                       target = request.frontmost] {
        if (auto self = weak.lock()) self->replaceSelection(text, target);
    });
}

void AppDelegate::replaceSelection(const std::string& text, const std::optional<RunningApplication>& target) {
    if (const auto snapshot = focusedTextSnapshot(); snapshot && insertText(text, *snapshot)) {
        logDiagnostic("repolish replaced=accessibility chars=" + std::to_string(characterCount(text)));
        return;
    }
    // The field refused the write: let it paste the result from the clipboard.
    keyEventPoster->postPaste(target.value_or(RunningApplication{}), [weak = weak_from_this(), text](bool sent) {
        if (auto self = weak.lock())
            self->logDiagnostic(std::string("repolish replaced=keystroke sent=") + (sent ? "true" : "false") +
                                " chars=" + std::to_string(characterCount(text)));
    });
}

}  // namespace tavlo
