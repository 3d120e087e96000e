#pragma once
// Whether the program starts by itself when the user logs in. Off until the
// user turns it on.
namespace tavlo {

class LoginStartup {
public:
    virtual ~LoginStartup() = default;
    virtual bool isEnabled() const = 0;
    // False when the change could not be made (the setting is then as before).
    virtual bool setEnabled(bool enabled) = 0;
};

}  // namespace tavlo
