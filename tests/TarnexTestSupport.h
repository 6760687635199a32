// Helpers shared by the engine's tests for checking engine errors.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "engine/storage/TarnexExcept.h"

// The native code of the ETarnexException `f` raises; 0 when it raises none.
template <class F> int32_t CodeOf(F&& f) {
  try {
    f();
  } catch (const ETarnexException& e) {
    return e.NativeErrorCode();
  }
  return 0;
}

// The full message of the ETarnexException `f` raises; empty when it raises none.
template <class F> std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const ETarnexException& e) {
    return e.what();
  }
  return "";
}

// Runs `body` and expects an ETarnexException with that code whose message is `text`
// followed by the native error part.
template <class F> void ExpectEngineError(F body, int32_t code, const std::string& text) {
  try {
    body();
    ADD_FAILURE() << "no exception, expected " << code;
  } catch (const ETarnexException& e) {
    EXPECT_EQ(e.NativeErrorCode(), code);
    EXPECT_EQ(std::string(e.what()).substr(0, text.size() + 17), text + " - Native error: ");
  }
}
