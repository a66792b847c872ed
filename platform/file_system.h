// The file operations the store needs, with Windows-like error codes.
#pragma once

#include <string>

// Error codes as the messages show them: errno values, where ENOENT (2) is
// file-not-found; a path whose folder is missing is path-not-found (3), which
// Linux also reports as ENOENT.
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;

// 0 when path exists; kFileNotFound when it does not but its folder does;
// kPathNotFound when its folder is missing; otherwise the errno of the query.
int FileAttributesError(const std::string& path);

// Copies from to to, never over an existing file: the copy is written to a
// temporary file in the target folder and linked into place only when
// complete, so a failed copy (disk full) leaves nothing behind. Returns 0 or
// the errno of the failure (EEXIST when to exists).
int CopyFileNoOverwrite(const std::string& from, const std::string& to);

// The folder part of path ("" for a bare file name).
std::string FolderOf(const std::string& path);
