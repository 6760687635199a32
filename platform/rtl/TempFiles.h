// Temporary file names in the system's temporary directory.
#pragma once

#include <string>

// $TMPDIR, or /tmp when it is unset or empty, with a trailing separator.
std::string GetTempDirectory();
// Creates a new empty file named prefix + a unique part (six characters) in the temporary
// directory and returns its full path; the caller deletes it. Raises EInOutError
// ("Cannot create a temporary file in <dir>: <reason>") when no file can be created.
std::string GetTempFileName(const std::string& prefix = "Tarnex");
bool DeleteFile(const std::string& path);  // true when the file was removed
bool FileExists(const std::string& path);  // true for an existing regular file (not a directory)
