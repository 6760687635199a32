// Format: the Delphi directive rules over a list of TVarRec arguments.
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <string_view>

namespace {

class TFormatter {
public:
  TFormatter(const std::string& format, const std::vector<TVarRec>& args, const TFormatSettings& settings)
      : Format_(format), Args_(args), Settings_(settings) {}

  std::string Run() {
    std::string out;
    size_t i = 0;
    while (i < Format_.size()) {
      const char c = Format_[i++];
      if (c != '%') { out += c; continue; }
      if (i < Format_.size() && Format_[i] == '%') { out += '%'; ++i; continue; }
      out += Directive(i);
    }
    return out;
  }

private:
  [[noreturn]] void Fail() const {
    throw EConvertError("Format '" + Format_ + "' invalid or incompatible with argument");
  }

  const TVarRec& NextArg() {
    if (ArgIndex_ >= Args_.size()) Fail();
    return Args_[ArgIndex_++];
  }

  // A number, a '*' (taken from the arguments) or nothing (-1).
  int ReadNumber(size_t& i) {
    if (i < Format_.size() && Format_[i] == '*') {
      ++i;
      const TVarRec& a = NextArg();
      if (a.Kind != TVarRec::TKind::Integer && a.Kind != TVarRec::TKind::Int64) Fail();
      return static_cast<int>(a.IntValue);
    }
    if (i >= Format_.size() || Format_[i] < '0' || Format_[i] > '9') return -1;
    int64_t v = 0;
    while (i < Format_.size() && Format_[i] >= '0' && Format_[i] <= '9') {
      v = v * 10 + (Format_[i++] - '0');
      if (v > 0x7FFFFFF) Fail();
    }
    return static_cast<int>(v);
  }

  std::string Directive(size_t& i) {
    bool leftAlign = false;
    int width = ReadNumber(i);
    if (i < Format_.size() && Format_[i] == ':') {
      ++i;
      if (width < 0) Fail();
      ArgIndex_ = static_cast<size_t>(width);
      width = -1;
    }
    if (width < 0) {
      if (i < Format_.size() && Format_[i] == '-') { leftAlign = true; ++i; }
      width = ReadNumber(i);
    }
    if (width < 0) width = 0;
    int precision = -1;
    if (i < Format_.size() && Format_[i] == '.') {
      ++i;
      precision = ReadNumber(i);
      if (precision < 0) precision = 0;
    }
    if (i >= Format_.size()) Fail();
    char type = Format_[i++];
    if (type >= 'a' && type <= 'z') type = static_cast<char>(type - 'a' + 'A');
    std::string text = Convert(type, precision);
    if (static_cast<int>(text.size()) < width) {
      const size_t pad = static_cast<size_t>(width) - text.size();
      if (leftAlign) text.append(pad, ' ');
      else text.insert(0, pad, ' ');
    }
    return text;
  }

  std::string Convert(char type, int precision) {
    if (std::string_view("DUXSPEFGNM").find(type) == std::string_view::npos) Fail();
    const TVarRec& a = NextArg();
    const bool integer = a.Kind == TVarRec::TKind::Integer || a.Kind == TVarRec::TKind::Int64;
    switch (type) {
      case 'D': {
        if (!integer) Fail();
        const uint64_t magnitude = a.IntValue < 0 ? 0 - static_cast<uint64_t>(a.IntValue) : static_cast<uint64_t>(a.IntValue);
        return (a.IntValue < 0 ? "-" : "") + ZeroPad(std::to_string(magnitude), precision);
      }
      case 'U':
        if (!integer) Fail();
        return ZeroPad(std::to_string(Unsigned(a)), precision);
      case 'X':
        if (!integer) Fail();
        return ZeroPad(IntToHex(static_cast<int64_t>(Unsigned(a)), 1), precision);
      case 'S': {
        std::string s;
        if (a.Kind == TVarRec::TKind::String || a.Kind == TVarRec::TKind::WideString) s = a.StrValue;
        else if (a.Kind == TVarRec::TKind::Char) s = std::string(1, static_cast<char>(a.IntValue));
        else Fail();
        if (precision >= 0 && static_cast<size_t>(precision) < s.size()) s.resize(static_cast<size_t>(precision));
        return s;
      }
      case 'P':
        if (a.Kind != TVarRec::TKind::Pointer) Fail();
        return IntToHex(static_cast<int64_t>(reinterpret_cast<uintptr_t>(a.PtrValue)), 8);
      default:
        break;
    }
    if (a.Kind != TVarRec::TKind::Extended) Fail();
    switch (type) {
      case 'E':
        return FloatToStrF(a.FloatValue, TFloatFormat::ffExponent, precision < 0 ? 15 : precision, 3, Settings_);
      case 'G':
        return FloatToStrF(a.FloatValue, TFloatFormat::ffGeneral, precision < 0 ? 15 : precision, 0, Settings_);
      case 'F':
        return FloatToStrF(a.FloatValue, TFloatFormat::ffFixed, 18, precision < 0 ? 2 : precision, Settings_);
      case 'N':
        return FloatToStrF(a.FloatValue, TFloatFormat::ffNumber, 18, precision < 0 ? 2 : precision, Settings_);
      default:
        return FloatToStrF(a.FloatValue, TFloatFormat::ffCurrency, 18,
                           precision < 0 ? Settings_.CurrencyDecimals : precision, Settings_);
    }
  }

  // An Integer argument reads as 32-bit unsigned, an Int64 one as 64-bit unsigned.
  static uint64_t Unsigned(const TVarRec& a) {
    if (a.Kind == TVarRec::TKind::Integer) return static_cast<uint32_t>(static_cast<int32_t>(a.IntValue));
    return static_cast<uint64_t>(a.IntValue);
  }

  static std::string ZeroPad(std::string digits, int precision) {
    if (precision > 0 && static_cast<size_t>(precision) > digits.size())
      digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
    return digits;
  }

  const std::string& Format_;          // the format text, not owned
  const std::vector<TVarRec>& Args_;   // the arguments, not owned
  const TFormatSettings& Settings_;    // separators and currency of the float directives, not owned
  size_t ArgIndex_ = 0;                // the next argument a directive takes
};

}  // namespace

std::string Format(const std::string& format, const std::vector<TVarRec>& args, const TFormatSettings& settings) {
  return TFormatter(format, args, settings).Run();
}

std::string Format(const std::string& format, const std::vector<TVarRec>& args) {
  return Format(format, args, FormatSettings());
}

std::string Format(const std::string& format, std::initializer_list<TVarRec> args) {
  return Format(format, std::vector<TVarRec>(args), FormatSettings());
}
