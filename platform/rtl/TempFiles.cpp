// Temporary file names over mkstemp.
#include "platform/rtl/TempFiles.h"

#include "platform/rtl/SysUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

std::string GetTempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  if (result.back() != '/') result += '/';
  return result;
}

std::string GetTempFileName(const std::string& prefix) {
  const std::string dir = GetTempDirectory();
  std::string path = dir + prefix + "XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) throw EInOutError("Cannot create a temporary file in " + dir + ": " + std::strerror(errno));
  close(fd);
  return path;
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
