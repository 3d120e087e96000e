#pragma once
// The short tones that tell the user, without looking, that listening started,
// stopped or was cancelled. The program synthesises them and plays them
// through the sound server; playing never fails towards the caller.
namespace tavlo {

class FeedbackTones {
public:
    virtual ~FeedbackTones() = default;
    virtual void playStart() = 0;
    virtual void playStop() = 0;
    virtual void playCancel() = 0;
};

}  // namespace tavlo
