// The file operations the store needs.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int FileAttributesError(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return 0;
  int err = errno;
  if (err != ENOENT) return err;
  const std::string parent = FolderOf(path);
  const char* folder = parent.empty() ? "." : parent.c_str();
  struct stat folderStat;
  if (::stat(folder, &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
    return kPathNotFound;
  }
  return kFileNotFound;
}

int CopyFileNoOverwrite(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  std::string folder = FolderOf(to);
  std::string pattern = (folder.empty() ? std::string(".") : folder) + "/.horalog-copy-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int out = ::mkstemp(name.data());
  if (out < 0) {
    int err = errno;
    ::close(in);
    return err;
  }
  int err = 0;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    if ((err = WriteAll(out, buffer.data(), static_cast<size_t>(n))) != 0) break;
  }
  if (err == 0 && ::fsync(out) != 0) err = errno;
  if (::close(out) != 0 && err == 0) err = errno;
  ::close(in);
  if (err == 0) {
    ::chmod(name.data(), 0644);  // mkstemp made it 0600
    // link() refuses an existing target, unlike rename().
    if (::link(name.data(), to.c_str()) != 0) err = errno;
  }
  ::unlink(name.data());
  return err;
}
