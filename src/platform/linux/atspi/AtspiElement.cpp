#include "platform/linux/atspi/AtspiElement.h"

#include <atspi/atspi.h>

#include <algorithm>

namespace tavlo::atspi {
namespace {

// Larger texts are not read: they would take long to cross the bus, and no
// text field the user dictates into holds that much.
constexpr std::int64_t maximumCharacters = 4 * 1024 * 1024;
constexpr int readAttempts = 3;

// Collects the error of one libatspi call and frees it.
class CallError {
public:
    CallError() = default;
    ~CallError() { clear(); }
    CallError(const CallError&) = delete;
    CallError& operator=(const CallError&) = delete;
    GError** out() {
        clear();
        return &error_;
    }
    bool failed() const { return error_ != nullptr; }

private:
    void clear() {
        if (error_) g_error_free(error_);
        error_ = nullptr;
    }
    GError* error_ = nullptr;
};

// A reference to one of an element's interfaces, given back when done.
template <typename Interface>
class InterfaceRef {
public:
    explicit InterfaceRef(Interface* interface) : interface_(interface) {}
    ~InterfaceRef() {
        if (interface_) g_object_unref(interface_);
    }
    InterfaceRef(const InterfaceRef&) = delete;
    InterfaceRef& operator=(const InterfaceRef&) = delete;
    Interface* get() const { return interface_; }
    explicit operator bool() const { return interface_ != nullptr; }

private:
    Interface* interface_;
};

// An owned C string from libatspi.
std::optional<std::string> takeString(gchar* text) {
    if (!text) return std::nullopt;
    std::string result(text);
    g_free(text);
    return result;
}

// The first selection in the toolkit's counting, or the caret as an empty
// range; absent when neither can be read.
std::optional<std::pair<std::int64_t, std::int64_t>> readSelection(AtspiText* text) {
    CallError error;
    const gint selections = atspi_text_get_n_selections(text, error.out());
    if (error.failed()) return std::nullopt;
    if (selections > 0) {
        AtspiRange* range = atspi_text_get_selection(text, 0, error.out());
        if (error.failed() || !range) {
            if (range) g_free(range);
            return std::nullopt;
        }
        const std::int64_t start = std::min(range->start_offset, range->end_offset);
        const std::int64_t end = std::max(range->start_offset, range->end_offset);
        g_free(range);
        if (start != end) return std::pair{start, end};
    }
    const gint caret = atspi_text_get_caret_offset(text, error.out());
    if (error.failed() || caret < 0) return std::nullopt;
    return std::pair<std::int64_t, std::int64_t>{caret, caret};
}

}  // namespace

AtspiElement::AtspiElement(AtspiAccessible* accessible)
    : accessible_(static_cast<AtspiAccessible*>(g_object_ref(accessible))) {}

AtspiElement::~AtspiElement() { g_object_unref(accessible_); }

std::optional<int> AtspiElement::processIdentifier() const {
    CallError error;
    const guint pid = atspi_accessible_get_process_id(accessible_, error.out());
    if (error.failed() || pid == 0 || pid > static_cast<guint>(INT32_MAX)) return std::nullopt;
    return static_cast<int>(pid);
}

bool AtspiElement::isPasswordField() const {
    CallError error;
    const AtspiRole role = atspi_accessible_get_role(accessible_, error.out());
    // A role that cannot be read is treated as secret too.
    return error.failed() || role == ATSPI_ROLE_PASSWORD_TEXT;
}

std::optional<AtspiElement::TextRead> AtspiElement::readText(bool withSelection) const {
    InterfaceRef text(atspi_accessible_get_text_iface(accessible_));
    if (!text) return std::nullopt;
    CallError error;
    // libatspi reads the character count and the caret as properties, and
    // a property that fails (the application quit or stopped answering)
    // reads as 0 without an error. The text itself is fetched by a method
    // call, whose failure is reported; with the count read before and after,
    // a failure anywhere in between shows.
    for (int attempt = 0; attempt < readAttempts; ++attempt) {
        const gint before = atspi_text_get_character_count(text.get(), error.out());
        if (error.failed() || before < 0 || before > maximumCharacters) return std::nullopt;
        const auto contents = takeString(atspi_text_get_text(text.get(), 0, before, error.out()));
        if (error.failed() || !contents) return std::nullopt;
        std::optional<std::pair<std::int64_t, std::int64_t>> selection;
        if (withSelection) selection = readSelection(text.get());
        const gint after = atspi_text_get_character_count(text.get(), error.out());
        if (error.failed()) return std::nullopt;
        if (after != before) continue;  // changed while we read
        const auto unit = detectOffsetUnit(*contents, before);
        if (!unit) continue;
        // An element whose application has gone reads as empty text without
        // any error; the bus still knows the process of a live one.
        if (!processIdentifier()) return std::nullopt;
        TextRead read{*contents, *unit, std::nullopt};
        if (selection) {
            const auto start = utf16Offset(read.text, selection->first, read.unit);
            const auto end = utf16Offset(read.text, selection->second, read.unit);
            if (start && end) read.selection = TextRange{*start, *end - *start};
        }
        return read;
    }
    return std::nullopt;
}

std::optional<std::string> AtspiElement::value() const {
    if (isPasswordField()) return std::nullopt;
    if (auto read = readText(false)) return std::move(read->text);
    // Elements without text that still show their value as text (a spin
    // button of some toolkits, say).
    InterfaceRef value(atspi_accessible_get_value_iface(accessible_));
    if (!value) return std::nullopt;
    CallError error;
    auto text = takeString(atspi_value_get_text(value.get(), error.out()));
    if (error.failed() || !text || text->empty()) return std::nullopt;
    return text;
}

std::optional<TextRange> AtspiElement::selectedTextRange() const {
    const auto read = readText(true);
    if (!read) return std::nullopt;
    return read->selection;
}

bool AtspiElement::setValue(std::string_view value) {
    if (static_cast<std::int64_t>(value.size()) > maximumCharacters) return false;
    InterfaceRef editable(atspi_accessible_get_editable_text_iface(accessible_));
    if (!editable) return false;
    const std::string contents(value);
    CallError error;
    const gboolean accepted = atspi_editable_text_set_text_contents(editable.get(), contents.c_str(), error.out());
    if (error.failed() || !accepted) return false;
    // Some fields answer yes and then keep their text (read-only, filtered):
    // what counts is what the field holds now.
    const auto now = readText(false);
    return !now || now->text == contents;
}

bool AtspiElement::isEditable() const {
    const InterfaceRef editable(atspi_accessible_get_editable_text_iface(accessible_));
    return static_cast<bool>(editable);
}

bool AtspiElement::setSelectedTextRange(TextRange range) {
    if (range.length < 0) return false;
    const auto read = readText(true);
    if (!read) return false;
    const auto start = offsetFromUtf16(read->text, range.location, read->unit);
    const auto end = offsetFromUtf16(read->text, range.location + range.length, read->unit);
    if (!start || !end) return false;
    if (*start > INT32_MAX || *end > INT32_MAX) return false;
    InterfaceRef text(atspi_accessible_get_text_iface(accessible_));
    if (!text) return false;
    CallError error;
    bool accepted = false;
    if (*start == *end) {
        accepted = atspi_text_set_caret_offset(text.get(), static_cast<gint>(*start), error.out()) && !error.failed();
        // Moving the caret clears the selection in the usual toolkits; make
        // sure of it where it did not.
        const gint selections = atspi_text_get_n_selections(text.get(), error.out());
        if (!error.failed() && selections > 0) atspi_text_remove_selection(text.get(), 0, error.out());
    } else {
        const gint selections = atspi_text_get_n_selections(text.get(), error.out());
        if (error.failed()) return false;
        accepted = (selections > 0 ? atspi_text_set_selection(text.get(), 0, static_cast<gint>(*start),
                                                              static_cast<gint>(*end), error.out())
                                   : atspi_text_add_selection(text.get(), static_cast<gint>(*start),
                                                              static_cast<gint>(*end), error.out())) &&
                   !error.failed();
    }
    if (!accepted) return false;
    const auto now = readText(true);
    return !now || !now->selection || *now->selection == range;
}

}  // namespace tavlo::atspi
