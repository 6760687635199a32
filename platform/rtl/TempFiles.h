// Temporary file names in the system's temporary directory.
#pragma once

#include <string>

std::string GetTempDirectory();  // with a trailing separator
// Creates a new empty file named prefix + unique part in the temporary directory and returns
// its full path; raises EInOutError when no file can be created.
std::string GetTempFileName(const std::string& prefix = "Tarnex");
bool DeleteFile(const std::string& path);
bool FileExists(const std::string& path);
