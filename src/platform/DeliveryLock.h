#pragma once
// Deliveries into other applications take turns across processes (the
// desktop program, `tavlo paste`, `tavlo dictate --paste`): the clipboard
// and the keyboard focus are shared by all of them, and one delivery's text
// put on the clipboard between another's copy and its paste keystroke would
// be pasted in its place.
namespace tavlo {

class DeliveryLock {
public:
    virtual ~DeliveryLock() = default;
    // Takes the turn without waiting: false while another process has it.
    // Where no lock can be kept (no private folder), true: delivering
    // unserialised beats not delivering at all.
    virtual bool tryAcquire() = 0;
    // Gives the turn back; nothing when it is not held.
    virtual void release() = 0;
};

}  // namespace tavlo
