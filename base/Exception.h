// The one error type that a handler lets travel to the widget layer's event edge: the settings
// store raises it for a refused write, and the edge shows its text to the user (see Guarded in
// Component.h). Anything else that reaches the edge is swallowed there.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& Message() const { return message_; }
    const char* what() const noexcept override { return "atrac3ds: user-visible error"; }

private:
    std::wstring message_;
};
