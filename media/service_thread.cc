#include "media/service_thread.h"

#include <new>

#include "base/thread.h"

namespace {

constexpr int kMaxWaited = 16;

void ThreadBody(void* argument) {
  auto* t = static_cast<ServiceThread*>(argument);
  for (;;) {
    if (PlatformEventWait(t->wake, t->interval)) return;
    PlatformMutexLock(t->thread_mutex);
    const uint32_t state = t->state;
    if (state == SERVICE_STOPPING) {
      PlatformMutexUnlock(t->thread_mutex);
      return;
    }
    if (state == SERVICE_RUNNING && t->head) ServiceThreadRunPass(t);
    PlatformMutexUnlock(t->thread_mutex);
  }
}

void Destroy(ServiceThread* t) {
  const uint32_t was = t->state;
  t->state = SERVICE_STOPPING;
  PlatformEventSignal(t->wake);
  PlatformThreadSetPriority(t->thread, PRIORITY_TIME_CRITICAL);
  if (was == SERVICE_PAUSED) PlatformMutexUnlock(t->thread_mutex);
  PlatformThreadJoin(t->thread);  // starts it first if it never ran
  PlatformEventDestroy(t->wake);
  PlatformMutexDestroy(t->thread_mutex);
  PlatformTimerResolutionEnd();
  delete t;
}

ServiceThread* g_threads[2] = {nullptr, nullptr};

}  // namespace

ServiceThread* ServiceThreadCreate(int rate) {
  if (rate == 0) return nullptr;
  auto* t = new (std::nothrow) ServiceThread;
  if (!t) return nullptr;
  t->state = SERVICE_CREATED;
  t->interval = 1000u / uint32_t(rate < 0 ? -rate : rate);
  t->head = nullptr;
  t->pass = 1;
  t->count = 0;
  t->wake = PlatformEventCreate();
  t->thread_mutex = PlatformMutexCreate();
  t->thread = nullptr;
  if (t->wake && t->thread_mutex)
    t->thread = PlatformThreadCreate(ThreadBody, t, 32 * 1024, rate < 0 ? PRIORITY_BELOW_NORMAL : PRIORITY_NORMAL);
  if (!t->thread) {
    if (t->wake) PlatformEventDestroy(t->wake);
    if (t->thread_mutex) PlatformMutexDestroy(t->thread_mutex);
    delete t;
    return nullptr;
  }
  PlatformTimerResolutionBegin();
  return t;
}

void ServiceThreadStart(ServiceThread* t) {
  const uint32_t was = t->state;
  t->state = SERVICE_RUNNING;
  if (was == SERVICE_CREATED)
    PlatformThreadStart(t->thread);
  else if (was == SERVICE_PAUSED)
    PlatformMutexUnlock(t->thread_mutex);
}

void ServiceThreadJoin(ServiceThread* t, ServiceNode* node) {
  // Linking under the thread mutex keeps the list stable during a pass.
  const uint32_t was = t->state;
  if (was == SERVICE_RUNNING) t->state = SERVICE_PAUSING;  // cut a long pass short
  if (was != SERVICE_PAUSED) PlatformMutexLock(t->thread_mutex);
  node->next = t->head;
  t->head = node;
  t->count += 1;
  if (was == SERVICE_RUNNING) t->state = SERVICE_RUNNING;
  if (was != SERVICE_PAUSED) PlatformMutexUnlock(t->thread_mutex);
}

void ServiceThreadLeave(ServiceThread** slot, ServiceNode* node) {
  ServiceThread* t = *slot;
  if (!t) return;
  const uint32_t was = t->state;
  if (was == SERVICE_RUNNING) t->state = SERVICE_PAUSING;
  if (was != SERVICE_PAUSED) PlatformMutexLock(t->thread_mutex);
  for (ServiceNode** link = &t->head; *link; link = &(*link)->next) {
    if (*link == node) {
      *link = node->next;
      t->count -= 1;
      break;
    }
  }
  node->next = nullptr;
  const bool empty = t->head == nullptr;
  if (was == SERVICE_RUNNING) t->state = SERVICE_RUNNING;
  if (was != SERVICE_PAUSED) PlatformMutexUnlock(t->thread_mutex);
  if (empty) {
    Destroy(t);
    *slot = nullptr;
  }
}

void ServiceThreadPauseBoth(ServiceThread* a, ServiceThread* b) {
  for (ServiceThread* t : {a, b})
    if (t && t->state == SERVICE_RUNNING) t->state = SERVICE_PAUSING;
  for (ServiceThread* t : {a, b})
    if (t && t->state == SERVICE_PAUSING) {
      PlatformMutexLock(t->thread_mutex);
      t->state = SERVICE_PAUSED;
    }
}

void ServiceThreadResumeBoth(ServiceThread* a, ServiceThread* b) {
  for (ServiceThread* t : {a, b})
    if (t && t->state == SERVICE_PAUSED) {
      t->state = SERVICE_RUNNING;
      PlatformMutexUnlock(t->thread_mutex);
    }
}

void ServiceThreadRunPass(ServiceThread* t) {
  t->pass += 1;
  const uint32_t pass = t->pass;
  while (t->state == SERVICE_RUNNING) {
    // Chain the clients that need service, most urgent first; a client whose
    // need equals an already chained one's goes before it.
    ServiceNode* chain = nullptr;
    for (ServiceNode* n = t->head; n; n = n->next) {
      if (t->state != SERVICE_RUNNING) return;
      n->need_value = n->need(n, pass);
      if (!n->need_value) continue;
      ServiceNode** link = &chain;
      while (*link && (*link)->need_value > n->need_value) link = &(*link)->chain;
      n->chain = *link;
      *link = n;
    }
    if (!chain) return;
    PlatformMutex* waited[kMaxWaited];
    ServiceNode* owners[kMaxWaited];
    int count = 0;
    for (ServiceNode* n = chain; n && count < kMaxWaited; n = n->chain) {
      waited[count] = n->mutex;
      owners[count++] = n;
    }
    const int got = PlatformMutexWaitAny(waited, count, 1);
    if (got >= 0) {
      owners[got]->service(owners[got], pass);
      PlatformMutexUnlock(waited[got]);
    }
  }
}

ServiceThread** ProcessServiceThread(ServiceKind kind) { return &g_threads[kind]; }

bool ServiceJoinProcessThread(ServiceKind kind, ServiceNode* node) {
  ServiceThread** slot = &g_threads[kind];
  if (!*slot) {
    *slot = ServiceThreadCreate(kind == SERVICE_READER ? 80 : -13);
    if (!*slot) return false;
    ServiceThreadJoin(*slot, node);
    ServiceThreadStart(*slot);
    return true;
  }
  ServiceThreadJoin(*slot, node);
  return true;
}
