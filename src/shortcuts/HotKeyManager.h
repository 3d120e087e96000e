#pragma once
// The program's global shortcuts in two groups: the permanent ones (the press
// trigger when it is an ordinary key, the mouse trigger F13 and the four
// style rewrites) and the recording keys (Escape, Return, keypad Enter) that
// exist only while a dictation listens. A press reaches the delegate later on
// the main queue, never inside the desktop's event dispatch. Runs on the main
// thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/HotKeyService.h"
#include "platform/MainQueue.h"
#include "platform/RecordingHotKeys.h"
#include "base/Records.h"
#include "shortcuts/HotKeyManagerDelegate.h"

namespace tavlo {

class HotKeyManager : public RecordingHotKeys, public std::enable_shared_from_this<HotKeyManager> {
public:
    // "SRVL", the first character in the top byte.
    static constexpr std::uint32_t signature = (std::uint32_t{'S'} << 24) | (std::uint32_t{'R'} << 16) |
                                               (std::uint32_t{'V'} << 8) | std::uint32_t{'L'};

    // Ids of the registrations.
    enum Id : std::uint32_t {
        pressTriggerId = 1,
        mouseTriggerId = 2,
        professionalId = 3,
        casualId = 4,
        listId = 5,
        cleanId = 6,
        escapeId = 7,
        returnId = 8,
        keypadEnterId = 9,
    };

    static constexpr std::uint32_t mouseTriggerKeyCode = 105;  // F13
    static constexpr std::uint32_t escapeKeyCode = 53;
    static constexpr std::uint32_t returnKeyCode = 36;
    static constexpr std::uint32_t keypadEnterKeyCode = 76;

    static std::shared_ptr<HotKeyManager> create(std::shared_ptr<HotKeyService> service,
                                                 std::shared_ptr<MainQueue> mainQueue);

    std::weak_ptr<HotKeyManagerDelegate> delegate;

    // (Re)registers the permanent group; one message per failure is kept.
    void install(const ShortcutSettings& shortcuts, const TriggerShortcut& pressTrigger);
    void uninstallHotKeys();
    void installRecordingHotKeys(std::uint32_t triggerModifiers) override;
    void uninstallRecordingHotKeys() override;

    const std::vector<std::string>& registrationFailures() const { return registrationFailures_; }

private:
    HotKeyManager(std::shared_ptr<HotKeyService> service, std::shared_ptr<MainQueue> mainQueue);

    void ensurePressHandler();
    void registerPermanent(const KeyShortcut& shortcut, Id id, const char* label);
    void handlePress(std::uint32_t id);

    std::shared_ptr<HotKeyService> service_;
    std::shared_ptr<MainQueue> mainQueue_;
    bool handlerInstalled_ = false;
    std::vector<HotKeyRegistration> hotKeyRefs_;
    std::vector<HotKeyRegistration> recordingHotKeyRefs_;
    std::vector<std::string> registrationFailures_;
};

}  // namespace tavlo
