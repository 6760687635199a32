// The engine's one exception class: every refusal and failure of the engine carries a native
// error code and a message that ends in " - Native error: " and that code.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/rtl/SysUtils.h"

class ETarnexException : public Exception {
public:
  // Create: message + " - Native error: " + Format("%.5d", code)  ("00001").
  ETarnexException(int32_t nativeCode, const std::string& message);
  // CreateFmt: Format(format, args) + " - Native error: " + Format("%5d", code)  (" 2011").
  // When the format does not fit the arguments, the text is format + " Arguments are invalid!".
  ETarnexException(int32_t nativeCode, const std::string& format, std::initializer_list<TVarRec> args);
  ETarnexException(int32_t nativeCode, const std::string& format, const std::vector<TVarRec>& args);

  static ETarnexException Create(int32_t nativeCode, const std::string& message) {
    return ETarnexException(nativeCode, message);
  }
  static ETarnexException CreateFmt(int32_t nativeCode, const std::string& format,
                                    std::initializer_list<TVarRec> args) {
    return ETarnexException(nativeCode, format, args);
  }

  int32_t NativeErrorCode() const { return NativeErrorCode_; }

private:
  int32_t NativeErrorCode_;  // the code identifying the place that raised the error
};
