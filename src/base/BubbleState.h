#pragma once
// The state of the current dictation as the bubble and the status image show it.
#include <string_view>

namespace tavlo {

enum class BubbleState { idle, listening, processing, success, error };

constexpr std::string_view toString(BubbleState state) {
    switch (state) {
    case BubbleState::idle: return "idle";
    case BubbleState::listening: return "listening";
    case BubbleState::processing: return "processing";
    case BubbleState::success: return "success";
    case BubbleState::error: return "error";
    }
    return "idle";
}

}  // namespace tavlo
