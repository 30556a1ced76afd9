#include "per_thread.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace rt::detail {
namespace {

struct Entry {
  unsigned slot;
  void* object;  // null once its slot has gone
  void (*destroy)(void*);
};

// One thread's objects. Their list changes its length only on its own
// thread and under the lock, so that thread reads it without the lock;
// other threads read it, and clear the object of a slot that goes, under
// the lock.
struct ThreadObjects {
  int number = 0;  // 0 while the thread is not attached
  std::vector<Entry> entries;
};

struct Threads {
  Lock lock;
  std::vector<std::unique_ptr<ThreadObjects>> all;  // every thread with objects
};

// Made on the first slot, before any slot is complete, so that it goes after
// the last one at the process's end.
Threads& TheThreads() {
  static Threads threads;
  return threads;
}

std::atomic<unsigned> g_lastSlot{0};
thread_local ThreadObjects* t_objects = nullptr;

// The calling thread's objects, made when it has none; under the lock.
ThreadObjects& Mine(Threads& threads) {
  if (!t_objects) {
    threads.all.push_back(std::make_unique<ThreadObjects>());
    t_objects = threads.all.back().get();
  }
  return *t_objects;
}

}  // namespace

unsigned SlotNew() {
  TheThreads();
  return ++g_lastSlot;
}

void* SlotFind(unsigned slot) {
  if (!t_objects) return nullptr;
  for (const Entry& e : t_objects->entries) {
    if (e.slot == slot) return e.object;
  }
  return nullptr;
}

void SlotAdd(unsigned slot, void* object, void (*destroy)(void*)) {
  Threads& threads = TheThreads();
  LockHold hold(threads.lock);
  ThreadObjects& mine = Mine(threads);
  std::erase_if(mine.entries, [](const Entry& e) { return !e.object; });  // of slots gone
  mine.entries.push_back({slot, object, destroy});
}

void SlotDestroyAll(unsigned slot) {
  std::vector<Entry> gone;
  {
    Threads& threads = TheThreads();
    LockHold hold(threads.lock);
    for (const auto& thread : threads.all) {
      for (Entry& e : thread->entries) {
        if (e.slot != slot || !e.object) continue;
        gone.push_back(e);
        e.object = nullptr;  // the entry's thread may be reading the others' slot numbers
      }
    }
  }
  for (const Entry& e : gone) e.destroy(e.object);
}

void* SlotOfThread(unsigned slot, int number) {
  if (number == 0) return nullptr;
  for (const auto& thread : TheThreads().all) {
    if (thread->number != number) continue;
    for (const Entry& e : thread->entries) {
      if (e.slot == slot) return e.object;
    }
    return nullptr;
  }
  return nullptr;
}

Lock& ThreadsLock() {
  return TheThreads().lock;
}

void ThreadObjectsAttach(int number) {
  Threads& threads = TheThreads();
  LockHold hold(threads.lock);
  Mine(threads).number = number;
}

void ThreadObjectsEnd() {
  if (!t_objects) return;
  std::unique_ptr<ThreadObjects> mine;
  {
    Threads& threads = TheThreads();
    LockHold hold(threads.lock);
    auto it = std::find_if(threads.all.begin(), threads.all.end(),
                           [](const auto& thread) { return thread.get() == t_objects; });
    if (it == threads.all.end()) return;  // they are going already
    mine = std::move(*it);
    threads.all.erase(it);
  }
  // No other thread reaches them now. An object that a destructor still
  // asks for is made and destroyed here too.
  while (!mine->entries.empty()) {
    const Entry e = mine->entries.back();
    mine->entries.pop_back();
    if (e.object) e.destroy(e.object);
  }
  t_objects = nullptr;
}

}  // namespace rt::detail
