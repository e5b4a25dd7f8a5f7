#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "base/errno_to_win32.h"
#include "base/thread_object.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/threading.h"

namespace tesmar::platform {
namespace {

struct ThreadStart {
  std::shared_ptr<ThreadObject> thread;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void* RunThread(void* argument) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
  start->thread->Started(static_cast<DWORD>(gettid()));
  DWORD exitCode = start->routine(start->parameter);
  start->thread->Ended(exitCode);
  return nullptr;
}

}  // namespace
}  // namespace tesmar::platform

using tesmar::platform::HandleTable;
using tesmar::platform::ThreadObject;

/***********************************************************************
 *           CreateThread
 *
 * The thread id is the Linux thread id. No creation flags are offered (CREATE_SUSPENDED would
 * need ResumeThread): any flag fails with ERROR_INVALID_PARAMETER. The thread runs detached; its
 * handle is signalled when the routine returns.
 */
extern "C" HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize,
                               LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD creationFlags,
                               LPDWORD threadId) noexcept {
  if (!start || creationFlags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return tesmar::platform::ValueResult<HANDLE>(nullptr, [&]() -> HANDLE {
    auto thread = std::make_shared<ThreadObject>();
    auto startInfo = std::make_unique<tesmar::platform::ThreadStart>(
        tesmar::platform::ThreadStart{thread, start, parameter});

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
      long pageSize = sysconf(_SC_PAGESIZE);
      SIZE_T rounded = (stackSize + pageSize - 1) / pageSize * pageSize;
      pthread_attr_setstacksize(&attributes, std::max<SIZE_T>(rounded, PTHREAD_STACK_MIN));
    }
    pthread_t id;
    int error = pthread_create(&id, &attributes, tesmar::platform::RunThread, startInfo.get());
    pthread_attr_destroy(&attributes);
    if (error != 0) {
      // pthread_create's EAGAIN means no resources for another thread, which Windows calls
      // no memory.
      SetLastError(tesmar::platform::Win32ErrorFromErrno(error == EAGAIN ? ENOMEM : error));
      return nullptr;
    }
    startInfo.release();  // the thread owns it now

    HANDLE handle = HandleTable::Instance().Insert(thread);
    DWORD tid = thread->WaitForThreadId();
    if (threadId) *threadId = tid;
    return handle;
  });
}
