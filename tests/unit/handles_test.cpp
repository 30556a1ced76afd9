#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <utility>

#include "runtime.h"
#include "test_support.h"

namespace {

SIZE BitmapSize(HGDIOBJ bitmap) {
  BITMAP info{};
  ::GetObjectA(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

HGDIOBJ SelectedBitmap(HDC dc) {
  return ::GetCurrentObject(dc, OBJ_BITMAP);
}

TEST(SelectInDC, SelectsBackWhatTheDcHeldOnceAlsoAfterAMove) {
  rt::WindowDC screen(nullptr);
  rt::UniqueDC dc(::CreateCompatibleDC(screen.get()));
  rt::UniqueGdi bitmap(::CreateCompatibleBitmap(screen.get(), 4, 4));
  const HGDIOBJ original = SelectedBitmap(dc.get());
  {
    rt::SelectInDC selected(dc.get(), bitmap.get());
    EXPECT_EQ(SelectedBitmap(dc.get()), bitmap.get());
    rt::SelectInDC moved(std::move(selected));
    selected.reset();  // the moved-from owner holds nothing to select back
    EXPECT_EQ(SelectedBitmap(dc.get()), bitmap.get());
  }
  EXPECT_EQ(SelectedBitmap(dc.get()), original);
}

TEST(MemoryBitmap, ItsDcHoldsABitmapOfTheSizeAndBothGoWithTheOwner) {
  rt::WindowDC screen(nullptr);
  rt::MemoryBitmap memory;
  EXPECT_FALSE(memory);
  memory.Make(screen.get(), 30, 20);
  ASSERT_TRUE(memory);
  const HDC dc = memory.dc();
  const HGDIOBJ bitmap = SelectedBitmap(dc);
  EXPECT_EQ(::GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
  const SIZE size = BitmapSize(bitmap);
  EXPECT_EQ(size.cx, 30);
  EXPECT_EQ(size.cy, 20);

  rt::MemoryBitmap owner = std::move(memory);
  EXPECT_FALSE(memory);
  EXPECT_EQ(owner.dc(), dc);
  owner.reset();
  EXPECT_EQ(::GetObjectType(dc), 0u);
  EXPECT_EQ(::GetObjectType(bitmap), 0u);
  EXPECT_EQ(owner.width(), 0);
}

TEST(MemoryBitmap, AnEmptySizeStillGivesADcToDrawInto) {
  rt::WindowDC screen(nullptr);
  rt::MemoryBitmap memory;
  memory.Make(screen.get(), 0, 0);
  ASSERT_TRUE(memory);
  EXPECT_EQ(memory.width(), 0);  // the size asked for, so that it is not made again
  const SIZE size = BitmapSize(SelectedBitmap(memory.dc()));
  EXPECT_EQ(size.cx, 1);
  EXPECT_EQ(size.cy, 1);
}

// The paint buffer: one bitmap serves every smaller paint; a larger one
// makes it anew as large as both, and the old one goes.
TEST(MemoryBitmap, GrowKeepsOneBufferForEverySmallerPaint) {
  rt::WindowDC screen(nullptr);
  rt::MemoryBitmap buffer;
  const HDC first = buffer.Grow(screen.get(), 40, 10);
  const HGDIOBJ firstBitmap = SelectedBitmap(first);
  EXPECT_EQ(buffer.Grow(screen.get(), 40, 10), first);
  EXPECT_EQ(buffer.Grow(screen.get(), 12, 3), first);
  EXPECT_EQ(SelectedBitmap(first), firstBitmap);

  const HDC second = buffer.Grow(screen.get(), 10, 25);
  EXPECT_EQ(buffer.width(), 40);
  EXPECT_EQ(buffer.height(), 25);
  const SIZE size = BitmapSize(SelectedBitmap(second));
  EXPECT_EQ(size.cx, 40);
  EXPECT_EQ(size.cy, 25);
  EXPECT_EQ(::GetObjectType(firstBitmap), 0u);
  EXPECT_EQ(buffer.Grow(screen.get(), 40, 25), second);
}

TEST(ComPtr, ReleasesItsOneReferenceAndAMovedOwnerNone) {
  IStream* raw = nullptr;
  ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, &raw), S_OK);
  raw->AddRef();  // the test's own reference, to count what the owners leave
  {
    rt::ComPtr<IStream> owner(raw);
    rt::ComPtr<IStream> moved(std::move(owner));
    EXPECT_FALSE(owner);
    ULARGE_INTEGER size{};
    EXPECT_EQ(moved->Seek({}, STREAM_SEEK_END, &size), S_OK);
  }
  EXPECT_EQ(raw->Release(), 0u);  // the owners gave back exactly one
}

TEST(ComPtr, PutReleasesWhatItHeldBeforeTheCallFillsIt) {
  IStream* first = nullptr;
  ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, &first), S_OK);
  first->AddRef();
  rt::ComPtr<IStream> owner(first);
  ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, owner.put()), S_OK);
  EXPECT_NE(owner.get(), first);
  EXPECT_EQ(first->Release(), 0u);
}

// Run on a thread of its own, whose COM state the test alone sets.
TEST(ComScope, StartsComForTheScopeOnly) {
  testsupport::OnNewThread([] {
    {
      rt::ComScope com;
      EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);  // already on
      ::CoUninitialize();
    }
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);  // off again
    ::CoUninitialize();
  });
}

}  // namespace
