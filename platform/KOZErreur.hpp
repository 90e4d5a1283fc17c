#pragma once
// The system's own failures. Every layer raises them, so they sit at the
// bottom: a message text in French and nothing else.

#include <stdexcept>
#include <string>

class EKOZException : public std::runtime_error {
public:
    explicit EKOZException(const std::string& message) : std::runtime_error(message) {}
};

// Raised when the user asks a running encryption or decryption to stop.
class EKOZInterruption : public EKOZException {
public:
    using EKOZException::EKOZException;
};
