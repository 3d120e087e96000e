#pragma once
// The clipboard on X11 is a conversation, not a store: whoever owns the
// CLIPBOARD selection hands its text to each client that asks, and the text
// is gone when the owner exits. This adapter owns the selection while our
// text is on it and answers every request (UTF-8, Latin-1, the target list;
// large texts in increments), until another client takes it over.
//
// Reading asks the current owner and waits a bounded time for its answer,
// serving our own connection meanwhile. The change count follows every
// change of owner, ours or another client's, through XFixes.
//
// Terminals in the xterm tradition paste the PRIMARY selection instead, so
// the same text can be offered there too.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/Pasteboard.h"
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::x11 {

class X11Pasteboard final : public Pasteboard, public std::enable_shared_from_this<X11Pasteboard> {
public:
    // How long a read waits for the owner to answer (each step of a large
    // transfer gets the same again), and the most it accepts.
    static constexpr std::chrono::milliseconds readTimeout{1000};
    static constexpr std::size_t maxReadBytes = 16u << 20;

    static std::shared_ptr<X11Pasteboard> create(std::shared_ptr<X11Connection> connection);
    ~X11Pasteboard() override;

    void clearContents() override;
    void setString(std::string_view text) override;
    std::optional<std::string> string() const override;
    std::int64_t changeCount() const override;

    // Offers `text` on the PRIMARY selection as well, for terminals that
    // paste only that one (Shift+Insert in xterm).
    void setPrimaryString(std::string_view text);

private:
    struct Owned {
        std::string text;
        Time since = CurrentTime;
    };
    // A large answer going out piece by piece, keyed by the requestor's
    // window and property.
    struct Transfer {
        std::string data;
        std::size_t sent = 0;
        Atom type = None;
        std::chrono::steady_clock::time_point lastProgress;
    };

    explicit X11Pasteboard(std::shared_ptr<X11Connection> connection);
    bool own(Atom selection, std::string_view text);
    void handleEvent(XEvent& event);
    void answer(const XSelectionRequestEvent& request);
    bool convert(const Owned& owned, Atom target, Atom property, Window requestor);
    bool send(Window requestor, Atom property, Atom type, std::string data);
    void continueTransfer(Window requestor, Atom property);
    void finishTransfer(std::map<std::pair<Window, Atom>, Transfer>::iterator transfer);
    void dropStaleTransfers();
    std::optional<std::string> requestText(Atom target) const;

    std::shared_ptr<X11Connection> connection_;
    X11Connection::ListenerId listener_ = 0;
    Window window_ = None;
    int xfixesEventBase_ = -1;
    std::map<Atom, Owned> owned_;  // by selection
    std::map<std::pair<Window, Atom>, Transfer> transfers_;
    std::int64_t changeCount_ = 0;
    Time lastClear_ = CurrentTime;  // when we last emptied the clipboard
    std::size_t chunkSize_ = 0;

    // The read in progress (string() waits for it).
    struct Reading {
        bool answered = false;
        Atom property = None;  // None when the owner refused
        bool newValue = false;  // the next piece of a large text is there
    };
    mutable std::optional<Reading> reading_;
};

}  // namespace tavlo::x11
