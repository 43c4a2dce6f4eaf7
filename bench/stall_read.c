/* Preloaded into the benchmark's burn: read() of a regular file pauses for
   STALL_MS milliseconds each time another STALL_EVERY_MB megabytes of
   regular files have been read, as a source on a slow or busy disk would.
   Everything else about the read is the C library's. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static atomic_ullong read_bytes;

ssize_t read(int fd, void* buffer, size_t count) {
  static ssize_t (*real_read)(int, void*, size_t);
  if (!real_read) real_read = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return real_read(fd, buffer, count);
  const char* every = getenv("STALL_EVERY_MB");
  const char* pause = getenv("STALL_MS");
  const unsigned long long step = (every ? strtoull(every, 0, 10) : 20) * 1000000ULL;
  const unsigned long long before = atomic_fetch_add(&read_bytes, count);
  if (step > 0 && (before + count) / step != before / step) {
    const long ms = pause ? strtol(pause, 0, 10) : 300;
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&wait, 0);
  }
  return real_read(fd, buffer, count);
}
