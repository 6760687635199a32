// Version texts read from a program file: the running executable's embedded block, files
// without a block, partial and malformed blocks.
#include "app/UVersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

using TValues = std::map<QString, QString>;

TValues ValuesOf(const TVersionInfo& v) {
  return {{"CompanyName", v.CompanyName()},         {"FileDescription", v.FileDescription()},
          {"FileVersion", v.FileVersion()},         {"InternalName", v.InternalName()},
          {"LegalCopyright", v.LegalCopyright()},   {"LegalTradeMarks", v.LegalTradeMarks()},
          {"OriginalFilename", v.OriginalFilename()}, {"ProductName", v.ProductName()},
          {"ProductVersion", v.ProductVersion()},   {"Comments", v.Comments()}};
}

// All ten names with empty values, then the given ones.
TValues Expect(std::initializer_list<std::pair<const char*, const char*>> given) {
  TValues v = ValuesOf(TVersionInfo(QString()));
  for (auto& [name, value] : v) value.clear();
  for (const auto& [name, value] : given) v[QString::fromLatin1(name)] = QString::fromUtf8(value);
  return v;
}

QByteArray Block(const QByteArray& lines) {
  return "\n" + TVersionInfo::BlockBeginMarker().toLatin1() + "\n" + lines + TVersionInfo::BlockEndMarker().toLatin1() +
         "\n";
}

TEST(UVersionInfoTest, TheRunningProgramCarriesTheBuildVersion) {
  const TVersionInfo info;
  EXPECT_EQ(info.FileVersion(), QStringLiteral(OSTREL_EXPECTED_FILE_VERSION));
  EXPECT_EQ(info.OriginalFilename(), QStringLiteral("ostrelpeststandard"));
  EXPECT_FALSE(info.ProductName().isEmpty());
}

TEST(UVersionInfoTest, ReadsOnlyWhatTheFilesBlockHolds) {
  struct TCase {
    const char* Name;
    QByteArray Content;  // empty: the file does not exist
    TValues Expected;
  };
  const QByteArray binary("\x7f" "ELF\x02\x01\x01\0\0\0 some code \xff\xfe", 24);
  const std::vector<TCase> cases = {
      {"missing file", QByteArray(), Expect({})},
      {"no block", binary, Expect({})},
      {"begin marker without end", binary + "\n" + TVersionInfo::BlockBeginMarker().toLatin1() + "\nFileVersion=1.2.3.4\n",
       Expect({})},
      {"partial block", binary + Block("FileVersion=2.3.4.5\nComments=caf\xc3\xa9\n") + binary,
       Expect({{"FileVersion", "2.3.4.5"}, {"Comments", "caf\xc3\xa9"}})},
      {"unknown names and stray lines ignored", Block("Colour=red\nno equals sign\nProductName=P = Q\n"),
       Expect({{"ProductName", "P = Q"}})},
      {"empty block", Block(""), Expect({})},
  };
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const QString path = dir.filePath(QStringLiteral("program%1").arg(++n));
    if (!c.Content.isEmpty()) {
      QFile f(path);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(c.Content);
    }
    EXPECT_EQ(ValuesOf(TVersionInfo(path)), c.Expected);
  }
}

}  // namespace
