#pragma once
// The keys that act on a dictation while it listens, registered system-wide
// only for that time: Escape cancels it, Return and keypad Enter stop it. The
// presses reach the controller as hotKeyManagerDidPressEscape and
// hotKeyManagerDidPressReturn, always through the main queue.
#include <cstdint>

namespace tavlo {

class RecordingHotKeys {
public:
    virtual ~RecordingHotKeys() = default;
    // Registers the three keys, replacing any earlier registration of them.
    // A key that cannot be registered is skipped silently: the key monitors
    // cover it. Each key is registered alone and with every combination of
    // `triggerModifiers`, the modifiers the trigger itself holds while the
    // user keeps it down (Right Ctrl holds Control): Escape pressed with the
    // trigger held is still Escape. Other modifiers the user adds are left to
    // the application (Shift+Escape is not taken).
    virtual void installRecordingHotKeys(std::uint32_t triggerModifiers) = 0;
    virtual void uninstallRecordingHotKeys() = 0;
};

}  // namespace tavlo
