// Per-thread objects (per_thread.h): a thread_local with a destructor is not
// safe with this toolchain, so a thread's objects are destroyed by the
// runtime's thread end steps. These tests show that they are, on the thread
// that ends, for each kind of thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "runtime.h"
#include "test_support.h"

namespace {

struct Ends {
  std::atomic<int> count{0};
  std::atomic<DWORD> thread{0};  // the thread that destroyed the last one
};
Ends g_ends;

struct Tracked {
  Tracked() = default;
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;
  ~Tracked() {
    g_ends.thread = ::GetCurrentThreadId();
    ++g_ends.count;
  }
  int value = 0;
};

class PerThread : public testing::Test {
 protected:
  PerThread() { g_ends.count = 0; }
  rt::PerThread<Tracked> slot_;
};

TEST_F(PerThread, EachThreadHasItsOwnObjectWhichOthersReachByItsNumber) {
  slot_.Get().value = 1;
  const int main = rt::ThreadNumber();
  int other = 0;
  testsupport::OnNewThread([&] {
    other = rt::ThreadNumber();
    EXPECT_EQ(slot_.Find(), nullptr);
    EXPECT_EQ(slot_.Get().value, 0);
    slot_.Get().value = 2;
    EXPECT_EQ(slot_.With(main, [](Tracked* t) { return t ? t->value : -1; }), 1);
  });
  EXPECT_EQ(g_ends.count, 1);  // the other thread's
  EXPECT_EQ(slot_.With(other, [](Tracked* t) { return t; }), nullptr);
  EXPECT_EQ(slot_.Get().value, 1);
  EXPECT_EQ(slot_.With(0, [](Tracked* t) { return t; }), nullptr);  // no thread has number 0
}

TEST_F(PerThread, ObjectsGoWithTheirSlot) {
  {
    rt::PerThread<Tracked> slot;
    slot.Get();
  }
  EXPECT_EQ(g_ends.count, 1);
  EXPECT_EQ(g_ends.thread, ::GetCurrentThreadId());
}

struct PlainThread {
  rt::PerThread<Tracked>* slot;
  bool attach;
  DWORD id = 0;
};

DWORD WINAPI PlainThreadBody(void* context) {
  auto* plain = static_cast<PlainThread*>(context);
  plain->id = ::GetCurrentThreadId();
  if (plain->attach) rt::ThreadAttachCurrent();
  plain->slot->Get().value = 3;
  return 0;
}

// A thread of CreateThread has its thread-local values when Windows reports
// its end, attached or not.
TEST_F(PerThread, APlainWindowsThreadsObjectIsDestroyedOnItWhenItEnds) {
  for (const bool attach : {true, false}) {
    SCOPED_TRACE(attach ? "attached" : "not attached");
    g_ends.count = 0;
    PlainThread plain{&slot_, attach};
    rt::UniqueHandle thread(::CreateThread(nullptr, 0, PlainThreadBody, &plain, 0, nullptr));
    ASSERT_TRUE(thread);
    ::WaitForSingleObject(thread.get(), INFINITE);
    EXPECT_EQ(g_ends.count, 1);
    EXPECT_EQ(g_ends.thread, plain.id);
  }
}

// A std::thread has lost its thread-local values by the time Windows reports
// its end: its ThreadScope ends its steps before.
TEST_F(PerThread, AStdThreadsObjectIsDestroyedOnItWhenItsThreadScopeEnds) {
  std::thread([this] {
    {
      rt::ThreadScope attached;
      slot_.Get().value = 4;
    }
    EXPECT_EQ(g_ends.count, 1);
    EXPECT_EQ(g_ends.thread, ::GetCurrentThreadId());
  }).join();
}

}  // namespace
