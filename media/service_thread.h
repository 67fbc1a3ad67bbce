// Background service threads: one reader thread and one audio thread per
// process, each serving a list of clients (one ServiceNode per open file and
// kind) in order of need.
#pragma once
#include <atomic>
#include <cstdint>

struct PlatformMutex;
struct PlatformEvent;
struct PlatformThread;

struct ServiceNode {
  ServiceNode* next;
  PlatformMutex* mutex;  // held around every service call and by the owner's playback calls
  ServiceNode* chain;    // used during a pass
  uint32_t need_value;
  uint32_t (*need)(ServiceNode* node, uint32_t pass);
  void (*service)(ServiceNode* node, uint32_t pass);
  void* client;                 // what the need and service operations work on
  uint32_t last_serviced_pass;  // written by the service operation
};

enum ServiceState : uint32_t {
  SERVICE_CREATED = 0,
  SERVICE_RUNNING = 1,
  SERVICE_PAUSED = 2,
  SERVICE_STOPPING = 3,
  SERVICE_PAUSING = 4,
};

struct ServiceThread {
  std::atomic<uint32_t> state;
  uint32_t interval;  // ms
  PlatformEvent* wake;
  PlatformThread* thread;
  PlatformMutex* thread_mutex;  // held by the thread during a pass
  ServiceNode* head;
  uint32_t pass;
  uint32_t count;
};

// Creates a thread serving every 1000 / |rate| ms (a negative rate lowers
// its priority); null when it cannot be created.
ServiceThread* ServiceThreadCreate(int rate);
void ServiceThreadStart(ServiceThread* thread);
// Links the node at the head of the list. The node's mutex must exist.
void ServiceThreadJoin(ServiceThread* thread, ServiceNode* node);
// Unlinks the node; when no client is left the thread is destroyed and
// *thread cleared.
void ServiceThreadLeave(ServiceThread** thread, ServiceNode* node);
// Pauses both threads (either may be null) between passes, and resumes them.
void ServiceThreadPauseBoth(ServiceThread* a, ServiceThread* b);
void ServiceThreadResumeBoth(ServiceThread* a, ServiceThread* b);

// One pass over the clients (the thread body runs it every interval). For
// tests and for callers that service on their own thread.
void ServiceThreadRunPass(ServiceThread* thread);

// The process-wide threads: kind 0 reader (rate 80, normal priority), kind 1
// audio (rate -13, below normal).
enum ServiceKind { SERVICE_READER = 0, SERVICE_AUDIO = 1 };
ServiceThread** ProcessServiceThread(ServiceKind kind);
// Joins the process-wide thread of that kind, creating and starting it on
// first use. False when the thread cannot be created.
bool ServiceJoinProcessThread(ServiceKind kind, ServiceNode* node);
