// The engine's exception: message text with the native error code appended.
#include "engine/storage/TarnexExcept.h"

namespace {

const char* const NativeErrorSeparator = " - Native error: ";

// Format(format, args), or the format itself flagged as unusable when the arguments do not fit.
std::string FormatOrFlag(const std::string& format, const std::vector<TVarRec>& args) {
  try {
    return Format(format, args);
  } catch (const std::exception&) {
    return format + " Arguments are invalid!";
  }
}

std::string FmtMessage(int32_t nativeCode, const std::string& format, const std::vector<TVarRec>& args) {
  return FormatOrFlag(format, args) + NativeErrorSeparator + Format("%5d", {nativeCode});
}

}  // namespace

ETarnexException::ETarnexException(int32_t nativeCode, const std::string& message)
    : Exception(message + NativeErrorSeparator + Format("%.5d", {nativeCode})),
      NativeErrorCode_(nativeCode) {}

ETarnexException::ETarnexException(int32_t nativeCode, const std::string& format,
                                   std::initializer_list<TVarRec> args)
    : ETarnexException(nativeCode, format, std::vector<TVarRec>(args)) {}

ETarnexException::ETarnexException(int32_t nativeCode, const std::string& format,
                                   const std::vector<TVarRec>& args)
    : Exception(FmtMessage(nativeCode, format, args)), NativeErrorCode_(nativeCode) {}
