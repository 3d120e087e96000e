#pragma once
// The clipboard through the data-control protocol of wlroots and KDE
// compositors, made for clipboard managers: it sets and reads the seat's
// selection without the keyboard focus, which this program almost never has.
// While our text is on the clipboard this adapter answers every client that
// asks for it (the compositor passes each one a pipe); the text leaves the
// clipboard when another client sets one, or when this program ends.
// Reading asks the owner for its text and waits a bounded time. Main thread only.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/linux/wayland/WaylandConnection.h"

struct zwlr_data_control_device_v1;
struct zwlr_data_control_source_v1;
struct zwlr_data_control_offer_v1;

namespace tavlo::wayland {

class DataControlClipboard final : public Pasteboard {
public:
    // How long a read or an answer may take, and the most a read accepts.
    static constexpr std::chrono::milliseconds transferTimeout{1000};
    static constexpr std::size_t maxReadBytes = 16u << 20;

    // Null when the compositor does not offer the protocol or has no seat.
    static std::shared_ptr<DataControlClipboard> create(std::shared_ptr<WaylandConnection> connection);
    ~DataControlClipboard() override;
    DataControlClipboard(const DataControlClipboard&) = delete;
    DataControlClipboard& operator=(const DataControlClipboard&) = delete;

    void clearContents() override;
    void setString(std::string_view text) override;
    std::optional<std::string> string() const override;
    std::int64_t changeCount() const override { return changes_; }

private:
    explicit DataControlClipboard(std::shared_ptr<WaylandConnection> connection);
    // Makes `source` (null: nothing) the selection, holding `text`.
    void select(zwlr_data_control_source_v1* source, std::string_view text);
    void dropSource();
    // Lets an offer go, with its types.
    void forgetOffer(zwlr_data_control_offer_v1*& offer);

    static void dataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void finished(void* data, zwlr_data_control_device_v1*);
    static void primarySelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void offered(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType);
    static void send(void* data, zwlr_data_control_source_v1* source, const char* mimeType, int fd);
    static void cancelled(void* data, zwlr_data_control_source_v1* source);

    std::shared_ptr<WaylandConnection> connection_;
    zwlr_data_control_device_v1* device_ = nullptr;
    // Offers announced but not yet the selection, with their types.
    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> offers_;
    zwlr_data_control_offer_v1* selection_ = nullptr;
    zwlr_data_control_offer_v1* primary_ = nullptr;
    // Our own text while it is the selection.
    zwlr_data_control_source_v1* source_ = nullptr;
    std::string owned_;
    std::int64_t changes_ = 0;
    // Selection events still to come back for our own changes, which were
    // counted when they were made.
    int ownChangesPending_ = 0;
};

}  // namespace tavlo::wayland
