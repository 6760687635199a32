#include "engine/storage/TarnexExcept.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ExceptCase {
  const char* label;
  int32_t code;
  std::string format;
  bool useFmt;
  std::vector<TVarRec> args;
  std::string expected;
};

TEST(TarnexExceptTest, MessagesEndInTheNativeCode) {
  const std::vector<ExceptCase> cases = {
      {"plain, zero-padded to five", 1, "Error - cannot create cursor", false, {},
       "Error - cannot create cursor - Native error: 00001"},
      {"plain, five digits", 30001, "Invalid pointer", false, {}, "Invalid pointer - Native error: 30001"},
      {"plain, percent kept as written", 7, "100% sure", false, {}, "100% sure - Native error: 00007"},
      {"fmt, blank-padded to five", 2011, "Table '%s' not found", true, {"pests"},
       "Table 'pests' not found - Native error:  2011"},
      {"fmt, two arguments", 30050, "%s at %d", true, {"x", 3}, "x at 3 - Native error: 30050"},
      {"fmt, one-digit code", 5, "no args", true, {}, "no args - Native error:     5"},
      {"fmt, missing argument", 2011, "Table '%s' not found", true, {},
       "Table '%s' not found Arguments are invalid! - Native error:  2011"},
      {"fmt, argument of the wrong kind", 30289, "Unknown DataType: '%d'", true, {"abc"},
       "Unknown DataType: '%d' Arguments are invalid! - Native error: 30289"},
      {"fmt, second argument missing", 11344, "\"%s\", format = %d", true, {"QUJ"},
       "\"%s\", format = %d Arguments are invalid! - Native error: 11344"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ETarnexException e = c.useFmt ? ETarnexException(c.code, c.format, c.args)
                                  : ETarnexException(c.code, c.format);
    EXPECT_EQ(c.expected, e.Message());
    EXPECT_STREQ(c.expected.c_str(), e.what());
    EXPECT_EQ(c.code, e.NativeErrorCode());
  }
}

TEST(TarnexExceptTest, FactoriesAndInitializerListsMatchTheConstructors) {
  EXPECT_EQ(ETarnexException(1, "a").Message(), ETarnexException::Create(1, "a").Message());
  EXPECT_EQ("v=7 - Native error:    12", ETarnexException::CreateFmt(12, "v=%d", {7}).Message());
  EXPECT_EQ("v=%d Arguments are invalid! - Native error:    12",
            ETarnexException::CreateFmt(12, "v=%d", {}).Message());
}

TEST(TarnexExceptTest, CaughtAsTheRunTimeBaseException) {
  try {
    throw ETarnexException(30286, "Cannot alocate 0 bytes");
  } catch (const Exception& e) {
    EXPECT_EQ("Cannot alocate 0 bytes - Native error: 30286", e.Message());
    const auto* te = dynamic_cast<const ETarnexException*>(&e);
    ASSERT_NE(nullptr, te);
    EXPECT_EQ(30286, te->NativeErrorCode());
  }
}

}  // namespace
