#pragma once
// The message a failing call raises, for tests that pin failure texts.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/KOZErreur.hpp"

// The message f raises as an EKOZException, or nothing when it returns.
template <class F>
std::optional<std::string> MessageEventuel(F f) {
    try {
        f();
    } catch (const EKOZException& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

// The message f raises, or "" when it raises nothing.
template <class F>
std::string MessageLeve(F f) {
    return MessageEventuel(f).value_or(std::string());
}

// The message f raises; f must fail, and the test fails when it does not.
template <class F>
std::string Echec(F f) {
    const auto m = MessageEventuel(f);
    if (!m) ADD_FAILURE() << "aucune erreur";
    return m.value_or(std::string());
}
