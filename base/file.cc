#include "base/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PlatformFile PlatformOpenRead(const char* path) {
  if (!path) return kNoFile;
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoFile;
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return fd;
}

uint32_t PlatformRead(PlatformFile file, void* destination, uint32_t bytes) {
  auto* out = static_cast<char*>(destination);
  uint32_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::read(int(file), out + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += uint32_t(n);
  }
  return done;
}

bool PlatformSeek(PlatformFile file, uint64_t offset) {
  return ::lseek(int(file), off_t(offset), SEEK_SET) == off_t(offset);
}

uint64_t PlatformTell(PlatformFile file) {
  const off_t at = ::lseek(int(file), 0, SEEK_CUR);
  return at < 0 ? UINT64_MAX : uint64_t(at);
}

uint64_t PlatformFileSize(PlatformFile file) {
  struct stat st;
  if (::fstat(int(file), &st) != 0 || !S_ISREG(st.st_mode)) return UINT64_MAX;
  return uint64_t(st.st_size);
}

void PlatformClose(PlatformFile file) {
  if (file >= 0) ::close(int(file));
}
