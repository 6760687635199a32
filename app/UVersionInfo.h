// TVersionInfo: the version texts of the program file (company, description, file version and
// so on), read once when the object is created. The build embeds them in the executable as a
// block of "Name=value" lines between two marker lines; a file without the block gives empty texts.
#pragma once

#include <QString>

class TVersionInfo {
public:
  // Reads the running program's own file (Application's ExeName, else the executable).
  TVersionInfo();
  // Reads the file `fileName` (a path in the file system's encoding).
  explicit TVersionInfo(const QString& fileName);

  const QString& CompanyName() const { return CompanyName_; }
  const QString& FileDescription() const { return FileDescription_; }
  const QString& FileVersion() const { return FileVersion_; }
  const QString& InternalName() const { return InternalName_; }
  const QString& LegalCopyright() const { return LegalCopyright_; }
  const QString& LegalTradeMarks() const { return LegalTradeMarks_; }
  const QString& OriginalFilename() const { return OriginalFilename_; }
  const QString& ProductName() const { return ProductName_; }
  const QString& ProductVersion() const { return ProductVersion_; }
  const QString& Comments() const { return Comments_; }

  // The first and last line of the embedded block (the block's own copy is the only place in
  // a program file where these texts occur whole).
  static QString BlockBeginMarker();
  static QString BlockEndMarker();

private:
  void Read(const QString& fileName);

  // Each value is empty when the file has no block or the block lacks the name.
  QString CompanyName_, FileDescription_, FileVersion_, InternalName_, LegalCopyright_;
  QString LegalTradeMarks_, OriginalFilename_, ProductName_, ProductVersion_, Comments_;
};
