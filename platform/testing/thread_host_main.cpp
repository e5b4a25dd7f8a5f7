// tesmar_thread_host N: a child process for real-kernel tests.
//
// Starts N - 1 threads beside its main thread (64 KiB stacks, so 20,000 fit), prints one line
// "ready <pid> <tid of thread 0> <tid of thread 1> ..." to stdout (thread 0 is the main thread,
// the others in creation order), and then blocks until its standard input reaches end of file or
// it gets SIGTERM, and exits 0. The threads only sleep.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
std::atomic<unsigned> started{0};
std::vector<long> threadIds;

void* Sleeper(void* slot) {
  threadIds[reinterpret_cast<uintptr_t>(slot)] = syscall(SYS_gettid);
  started.fetch_add(1);
  for (;;) pause();
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1;
  if (count < 1) count = 1;
  threadIds.assign(static_cast<size_t>(count), 0);
  threadIds[0] = syscall(SYS_gettid);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 64 * 1024);
  for (long k = 1; k < count; ++k) {
    pthread_t thread;
    if (pthread_create(&thread, &attributes, Sleeper, reinterpret_cast<void*>(k)) != 0) {
      std::fprintf(stderr, "tesmar_thread_host: cannot start thread %ld\n", k);
      // Without running the destructors: threads already started may still be writing their
      // ids into threadIds.
      std::fflush(stderr);
      _exit(1);
    }
    pthread_detach(thread);
  }
  while (started.load() < static_cast<unsigned>(count - 1)) usleep(1000);
  std::printf("ready %d", getpid());
  for (long id : threadIds) std::printf(" %ld", id);
  std::printf("\n");
  std::fflush(stdout);
  char byte;
  while (read(STDIN_FILENO, &byte, 1) > 0) {
  }
  return 0;
}
