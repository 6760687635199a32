// Reading the embedded version block from a program file.
#include "app/UVersionInfo.h"

#include "platform/ui/Forms.h"

#include <QCoreApplication>
#include <QFile>

#include <string>
#include <string_view>

namespace {

// The markers are kept reversed, so that the reader's own copy is not taken for the block.
std::string Unreverse(std::string_view reversed) { return std::string(reversed.rbegin(), reversed.rend()); }

const std::string& BeginMarker() {
  static const std::string marker = Unreverse("\n##NIGEB-OFNI-NOISREV-LERTSO##\n");
  return marker;
}

const std::string& EndMarker() {
  static const std::string marker = Unreverse("\n##DNE-OFNI-NOISREV-LERTSO##\n");
  return marker;
}

QString RunningProgramFile() {
  if (Application != nullptr && !Application->ExeName().isEmpty()) return Application->ExeName();
  return QCoreApplication::applicationFilePath();
}

}  // namespace

TVersionInfo::TVersionInfo() { Read(RunningProgramFile()); }

TVersionInfo::TVersionInfo(const QString& fileName) { Read(fileName); }

QString TVersionInfo::BlockBeginMarker() { return QString::fromLatin1(BeginMarker()).trimmed(); }

QString TVersionInfo::BlockEndMarker() { return QString::fromLatin1(EndMarker()).trimmed(); }

void TVersionInfo::Read(const QString& fileName) {
  QFile file(fileName);
  if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() <= 0) return;
  const uchar* mapped = file.map(0, file.size());
  if (mapped == nullptr) return;
  const std::string_view bytes(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(file.size()));
  const std::size_t begin = bytes.find(BeginMarker());
  if (begin == std::string_view::npos) return;
  const std::size_t first = begin + BeginMarker().size();
  // The end marker's leading line break ends the last value line.
  const std::size_t end = bytes.find(EndMarker(), first - 1);
  if (end == std::string_view::npos) return;
  std::string_view block = bytes.substr(first, end + 1 > first ? end + 1 - first : 0);

  struct TEntry {
    const char* Name;
    QString TVersionInfo::*Value;
  };
  static const TEntry Entries[] = {
      {"CompanyName", &TVersionInfo::CompanyName_},       {"FileDescription", &TVersionInfo::FileDescription_},
      {"FileVersion", &TVersionInfo::FileVersion_},       {"InternalName", &TVersionInfo::InternalName_},
      {"LegalCopyright", &TVersionInfo::LegalCopyright_}, {"LegalTradeMarks", &TVersionInfo::LegalTradeMarks_},
      {"OriginalFilename", &TVersionInfo::OriginalFilename_}, {"ProductName", &TVersionInfo::ProductName_},
      {"ProductVersion", &TVersionInfo::ProductVersion_}, {"Comments", &TVersionInfo::Comments_},
  };
  while (!block.empty()) {
    const std::size_t eol = block.find('\n');
    const std::string_view line = block.substr(0, eol);
    block = eol == std::string_view::npos ? std::string_view() : block.substr(eol + 1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, eq);
    for (const TEntry& e : Entries) {
      if (name == e.Name) {
        const std::string_view value = line.substr(eq + 1);
        this->*e.Value = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
      }
    }
  }
}
