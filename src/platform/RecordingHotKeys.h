#pragma once
// The keys that act on a dictation while it listens, registered system-wide
// only for that time: Escape cancels it, Return and keypad Enter stop it. The
// presses reach the controller as hotKeyManagerDidPressEscape and
// hotKeyManagerDidPressReturn, always through the main queue.
namespace tavlo {

class RecordingHotKeys {
public:
    virtual ~RecordingHotKeys() = default;
    // Registers the three keys, replacing any earlier registration of them.
    // A key that cannot be registered is skipped silently: the key monitors
    // cover it.
    virtual void installRecordingHotKeys() = 0;
    virtual void uninstallRecordingHotKeys() = 0;
};

}  // namespace tavlo
