// Per-thread objects: one object of a PerThread slot for each thread that
// uses it, destroyed when that thread ends.
//
// Why a facility of its own: with this toolchain (MinGW-w64 GCC 12, posix
// threads) a secondary thread's thread-local storage is freed before the C++
// destructors of its thread_local objects run, so a thread_local with a
// destructor would work on freed memory at every thread end. Thread-local
// values therefore stay trivially destructible (numbers, fixed arrays,
// pointers); what has a destructor lives in a PerThread slot. The program
// frame (program.cpp) destroys a thread's objects in its thread end steps,
// after the modules' own end steps, last made first:
// - for a plain Windows thread when Windows reports its end (its
//   thread-local values are still there then);
// - for a std::thread when its rt::ThreadScope ends: by the time Windows
//   reports that thread's end its thread-local values are gone, and with
//   them the way to its objects, which would then never be destroyed.
// A thread that is not attached gets its objects on first use too; they go
// when Windows reports its end (a std::thread: hold a ThreadScope).
#pragma once

#include <memory>

#include "lock.h"

namespace rt {
namespace detail {

unsigned SlotNew();
// The calling thread's object of the slot; null when it has none.
void* SlotFind(unsigned slot);
// Gives the calling thread's object of the slot to the facility, which
// destroys it with `destroy` when the thread ends (or the slot goes).
void SlotAdd(unsigned slot, void* object, void (*destroy)(void*));
// Destroys every thread's object of the slot.
void SlotDestroyAll(unsigned slot);
// Thread `number`'s object of the slot, null when it has none; only while
// ThreadsLock() is held, which keeps every thread's objects from going.
void* SlotOfThread(unsigned slot, int number);
Lock& ThreadsLock();

// For the program frame: the calling thread was attached with that number;
// the calling thread ends, its objects go.
void ThreadObjectsAttach(int number);
void ThreadObjectsEnd();

}  // namespace detail

template <typename T>
class PerThread {
 public:
  PerThread() = default;
  PerThread(const PerThread&) = delete;
  PerThread& operator=(const PerThread&) = delete;
  // Every thread's object goes with the slot: no thread may be using one.
  ~PerThread() { detail::SlotDestroyAll(slot_); }

  // The calling thread's object, made (value-initialised) on its first use.
  T& Get() {
    if (void* object = detail::SlotFind(slot_)) return *static_cast<T*>(object);
    auto made = std::make_unique<T>();
    detail::SlotAdd(slot_, made.get(), &Destroy);
    return *made.release();
  }
  // The calling thread's object, or null when it has not used one.
  T* Find() const { return static_cast<T*>(detail::SlotFind(slot_)); }

  // Calls fn with the object of the thread numbered `number` (see
  // ThreadNumber), or with null when that thread has none or has ended, and
  // gives back fn's result. The thread's objects stay while fn runs; their
  // contents are the business of T (a mutex of its own, for example, when
  // its thread changes them meanwhile).
  template <typename Fn>
  decltype(auto) With(int number, Fn&& fn) const {
    LockHold hold(detail::ThreadsLock());
    return fn(static_cast<T*>(detail::SlotOfThread(slot_, number)));
  }

 private:
  static void Destroy(void* object) { std::unique_ptr<T>(static_cast<T*>(object)).reset(); }

  const unsigned slot_ = detail::SlotNew();
};

}  // namespace rt
