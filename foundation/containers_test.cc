#include <gtest/gtest.h>

#include <string>

#include "foundation/array_str.h"
#include "foundation/pointer_list.h"
#include "foundation/pointer_stack.h"
#include "tests/support/log_capture.h"

namespace wdx {
namespace {

// --- CArrayStr: set-up ---------------------------------------------------------------------

TEST(ArrayStrInitialize, WideElementsHoldOneCharacterLessThanTheirLength) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(100, 256));
  EXPECT_EQ(oArray.GetSize(), 100);
  EXPECT_EQ(oArray.GetElementWidth(), 256);
  ASSERT_TRUE(oArray.SetAt(99, std::string(300, 'w').c_str()));
  EXPECT_EQ(std::string(oArray.GetAt(99)), std::string(255, 'w'));
}

TEST(ArrayStrInitialize, NarrowElementsGetRoomForTheNul) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(10, 30));
  EXPECT_EQ(oArray.GetElementWidth(), 31);
  ASSERT_TRUE(oArray.SetAt(0, std::string(40, 'n').c_str()));
  EXPECT_EQ(std::string(oArray.GetAt(0)).size(), 30u);

  ASSERT_TRUE(oArray.Initialize(10, 31));
  EXPECT_EQ(oArray.GetElementWidth(), 31);
  ASSERT_TRUE(oArray.SetAt(0, std::string(40, 'n').c_str()));
  EXPECT_EQ(std::string(oArray.GetAt(0)).size(), 30u);
}

TEST(ArrayStrInitialize, BadSizesAreRefusedWithTheirTexts) {
  test::CLogCapture oLog;
  CArrayStr oArray;
  EXPECT_FALSE(oArray.Initialize(10, 0));
  EXPECT_TRUE(oLog.HasError("Problem: CArrayStr::Initialize recieved iStrLen <= 0."));
  EXPECT_FALSE(oArray.Initialize(-1, 10));
  EXPECT_TRUE(oLog.HasError("Problem: CArrayStr::Initialize recieved iSize <= 0."));
  EXPECT_EQ(oLog.CountErrors("CArrayStr::Initialize() failed."), 2);
  EXPECT_FALSE(oArray.IsInitialized());
}

TEST(ArrayStrInitialize, HugeTableIsOutOfRamNotACrash) {
  test::CLogCapture oLog;
  CArrayStr oArray;
  EXPECT_FALSE(oArray.Initialize(2'000'000'000, 2000));
  EXPECT_TRUE(oLog.HasError("CArrayStr::Initialize is out of RAM."));
  EXPECT_EQ(oArray.GetAt(0), nullptr);
}

TEST(ArrayStrInitialize, UninitialisedTableRefusesWork) {
  test::CLogCapture oLog;
  CArrayStr oArray;
  EXPECT_EQ(oArray.GetAt(0), nullptr);
  EXPECT_FALSE(oArray.SetAt(0, "x"));
  EXPECT_FALSE(oArray.SetNext("x"));
  EXPECT_TRUE(oLog.HasError("CArrayStr::IsLive() Object is not initialized."));
}

TEST(ArrayStrInitialize, ReInitialiseDiscardsTheContent) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(3, 8));
  ASSERT_TRUE(oArray.SetAt(2, "old"));
  ASSERT_TRUE(oArray.Initialize(5, 8));
  EXPECT_EQ(oArray.GetUsedCount(), 0);
  EXPECT_STREQ(oArray.GetAt(2), "");
}

// --- CArrayStr: filling ----------------------------------------------------------------------

TEST(ArrayStrFill, SetNextFillsInOrderAndCountsUsedElements) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(3, 10));
  EXPECT_TRUE(oArray.SetFirst("one"));
  EXPECT_TRUE(oArray.SetNext("two"));
  EXPECT_EQ(oArray.GetUsedCount(), 2);
  EXPECT_STREQ(oArray.GetAt(1), "two");
  EXPECT_EQ(oArray.GetCurrentIndex(), 1);
}

TEST(ArrayStrFill, SetNextOnAFullTableReportsOverflow) {
  test::CLogCapture oLog;
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(2, 10));
  ASSERT_TRUE(oArray.SetNext("a"));
  ASSERT_TRUE(oArray.SetNext("b"));
  EXPECT_FALSE(oArray.SetNext("c"));
  EXPECT_TRUE(oLog.HasError("CArrayStr::SetNext() overflow."));
  EXPECT_TRUE(oLog.HasError("CArrayStr::SetNext() failed."));
  EXPECT_STREQ(oArray.GetAt(1), "b");
  // Start over before the first element.
  ASSERT_TRUE(oArray.RePosition(-1));
  EXPECT_TRUE(oArray.SetNext("again"));
  EXPECT_STREQ(oArray.GetAt(0), "again");
}

TEST(ArrayStrFill, SetFirstRestartsAtElementZero) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(2, 10));
  ASSERT_TRUE(oArray.SetNext("a"));
  ASSERT_TRUE(oArray.SetNext("b"));
  EXPECT_TRUE(oArray.SetFirst("z"));
  EXPECT_STREQ(oArray.GetAt(0), "z");
  EXPECT_EQ(oArray.GetUsedCount(), 2);
}

TEST(ArrayStrFill, RePositionChecksItsRange) {
  test::CLogCapture oLog;
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(4, 10));
  EXPECT_FALSE(oArray.RePosition(-2));
  EXPECT_TRUE(oLog.HasError("CArrayStr::RePosition() has NEGATIVE iNdx."));
  EXPECT_FALSE(oArray.RePosition(4));
  EXPECT_TRUE(oLog.HasError("CArrayStr::RePosition() has overflow iNdx."));
  ASSERT_TRUE(oArray.RePosition(1));
  ASSERT_TRUE(oArray.SetNext("third"));
  EXPECT_STREQ(oArray.GetAt(2), "third");
}

TEST(ArrayStrFill, OutOfRangeAccessFailsAndClearsTheCurrentIndex) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(2, 10));
  ASSERT_NE(oArray.GetAt(1), nullptr);
  EXPECT_EQ(oArray.GetAt(2), nullptr);
  EXPECT_EQ(oArray.GetCurrentIndex(), -1);
  EXPECT_EQ(oArray.GetAt(-1), nullptr);
  EXPECT_FALSE(oArray.SetAt(5, "x"));
  EXPECT_EQ(oArray.GetUsedCount(), 0);
}

TEST(ArrayStrFill, ClearEmptiesEveryElement) {
  CArrayStr oArray;
  ASSERT_TRUE(oArray.Initialize(2, 10));
  ASSERT_TRUE(oArray.SetAt(1, "x"));
  oArray.Clear();
  EXPECT_STREQ(oArray.GetAt(1), "");
  EXPECT_EQ(oArray.GetUsedCount(), 0);
  EXPECT_TRUE(oArray.SetNext("first"));
  EXPECT_STREQ(oArray.GetAt(0), "first");
}

// --- CPointerList ------------------------------------------------------------------------------

int g_aiValues[6] = {0, 1, 2, 3, 4, 5};
void* Value(int i) {
  return &g_aiValues[i];
}

std::string Walk(CPointerList& oList) {
  std::string sOrder;
  for (void* p = oList.GetFirst(); p != nullptr; p = oList.GetNext()) {
    sOrder += static_cast<char>('0' + *static_cast<int*>(p));
  }
  return sOrder;
}

TEST(PointerList, CountStartsAtMinusOneAndFollowsAppends) {
  CPointerList oList;
  EXPECT_EQ(oList.GetCount(), -1);
  EXPECT_FALSE(oList.RemoveAll());
  ASSERT_TRUE(oList.AppendLink(Value(1)));
  ASSERT_TRUE(oList.AppendLink(Value(2)));
  EXPECT_EQ(oList.GetCount(), 2);
  EXPECT_EQ(oList.GetCurrent(), Value(2));
  EXPECT_EQ(Walk(oList), "12");
}

TEST(PointerList, WalkingOffTheEndSetsEndOfWalkAndInsertThenAppends) {
  CPointerList oList;
  oList.AppendLink(Value(1));
  oList.AppendLink(Value(2));
  EXPECT_EQ(oList.GetFirst(), Value(1));
  EXPECT_FALSE(oList.IsEndOfWalk());
  EXPECT_EQ(oList.GetNext(), Value(2));
  EXPECT_EQ(oList.GetNext(), nullptr);
  EXPECT_TRUE(oList.IsEndOfWalk());
  EXPECT_EQ(oList.GetNext(), nullptr);
  ASSERT_TRUE(oList.InsertLink(Value(3)));
  EXPECT_EQ(Walk(oList), "123");
  EXPECT_EQ(oList.GetCount(), 3);
}

TEST(PointerList, InsertGoesBeforeTheCursor) {
  CPointerList oList;
  oList.AppendLink(Value(1));
  oList.AppendLink(Value(2));
  oList.AppendLink(Value(3));
  oList.GetFirst();
  oList.GetNext();  // cursor on 2
  ASSERT_TRUE(oList.InsertLink(Value(4)));
  EXPECT_EQ(oList.GetCurrent(), Value(4));
  oList.GetFirst();
  ASSERT_TRUE(oList.InsertLink(Value(5)));  // before the head
  EXPECT_EQ(oList.GetHeadLink()->m_pValue, Value(5));
  EXPECT_EQ(Walk(oList), "51423");
  EXPECT_EQ(oList.GetTailLink()->m_pValue, Value(3));
}

TEST(PointerList, InsertIntoAnEmptyListAppends) {
  CPointerList oList;
  ASSERT_TRUE(oList.InsertLink(Value(1)));
  EXPECT_EQ(oList.GetCount(), 1);
  EXPECT_EQ(Walk(oList), "1");
}

TEST(PointerList, RemovingTheCursorMovesItBackOrForward) {
  CPointerList oList;
  for (int i = 1; i <= 3; ++i) oList.AppendLink(Value(i));
  oList.GetFirst();
  oList.GetNext();  // cursor on 2
  ASSERT_TRUE(oList.RemoveLink(oList.GetCursorLink()));
  EXPECT_EQ(oList.GetCurrent(), Value(1));
  ASSERT_TRUE(oList.RemoveLink(oList.GetCursorLink()));  // the head: no previous link
  EXPECT_EQ(oList.GetCurrent(), Value(3));
  EXPECT_EQ(oList.GetHeadLink(), oList.GetTailLink());
  EXPECT_EQ(oList.GetCount(), 1);
  EXPECT_EQ(Walk(oList), "3");
}

TEST(PointerList, RemoveTailAndRemoveAll) {
  CPointerList oList;
  EXPECT_FALSE(oList.RemoveTail());
  for (int i = 1; i <= 3; ++i) oList.AppendLink(Value(i));
  ASSERT_TRUE(oList.RemoveTail());
  EXPECT_EQ(oList.GetTailLink()->m_pValue, Value(2));
  EXPECT_EQ(Walk(oList), "12");
  ASSERT_TRUE(oList.AppendLink(Value(4)));
  EXPECT_EQ(Walk(oList), "124");
  EXPECT_TRUE(oList.RemoveAll());
  EXPECT_EQ(oList.GetCount(), 0);
  EXPECT_TRUE(oList.IsListEmpty());
  EXPECT_EQ(oList.GetFirst(), nullptr);
  EXPECT_TRUE(oList.IsEndOfWalk());
  EXPECT_FALSE(oList.RemoveAll());
}

TEST(PointerList, ForeignLinkIsRefused) {
  test::CLogCapture oLog;
  CPointerList oList;
  CPointerList oOther;
  oList.AppendLink(Value(1));
  oOther.AppendLink(Value(2));
  EXPECT_FALSE(oList.RemoveLink(oOther.GetHeadLink()));
  EXPECT_FALSE(oList.RemoveLink(nullptr));
  EXPECT_TRUE(oLog.HasError("CPointerList::RemoveLink was given a link that is not in the list."));
  EXPECT_EQ(oList.GetCount(), 1);
  EXPECT_EQ(oOther.GetCount(), 1);
}

TEST(PointerList, LongListIsFreedWithoutRecursion) {
  CPointerList oList;
  for (int i = 0; i < 200000; ++i) ASSERT_TRUE(oList.AppendLink(Value(i % 6)));
  EXPECT_EQ(oList.GetCount(), 200000);
  // The destructor frees the chain.
}

// --- CPointerStack -----------------------------------------------------------------------------

TEST(PointerStack, CapacityTwoRefusesTheThirdPush) {
  test::CLogCapture oLog;
  CPointerStack oStack;
  ASSERT_TRUE(oStack.Initialize(2));
  EXPECT_TRUE(oStack.Push(Value(1)));
  EXPECT_TRUE(oStack.Push(Value(2)));
  EXPECT_FALSE(oStack.Push(Value(3)));
  EXPECT_TRUE(oLog.HasError("CPointerStack::Push() cannot. Stack limit reached."));
  EXPECT_EQ(oStack.GetCount(), 2);
}

TEST(PointerStack, PopReturnsLastInFirstOut) {
  CPointerStack oStack;
  oStack.Push(Value(1));
  oStack.Push(Value(2));
  EXPECT_EQ(oStack.Pop(), Value(2));
  EXPECT_EQ(oStack.GetLast(), Value(2));
  EXPECT_EQ(oStack.Pop(), Value(1));
  EXPECT_EQ(oStack.Pop(), nullptr);
  EXPECT_EQ(oStack.GetCount(), 0);
}

TEST(PointerStack, FirstUseInitialisesWithTheDefaultSize) {
  CPointerStack oStack;
  EXPECT_EQ(oStack.GetCount(), 0);
  EXPECT_TRUE(oStack.IsInitialized());
  EXPECT_EQ(oStack.GetCapacity(), ZUV_DEFAULT_STACK_SIZE);
}

TEST(PointerStack, ZeroSizeIsRefused) {
  test::CLogCapture oLog;
  CPointerStack oStack;
  EXPECT_FALSE(oStack.Initialize(0));
  EXPECT_TRUE(oLog.HasError("CPointerStack::Initialize() got zero SIZE passed in."));
  EXPECT_FALSE(oStack.IsInitialized());
  EXPECT_EQ(oStack.GetFirst(), nullptr);
}

TEST(PointerStack, HugeSizeIsOutOfRam) {
  test::CLogCapture oLog;
  CPointerStack oStack;
  EXPECT_FALSE(oStack.Initialize(2'000'000'000));
  EXPECT_TRUE(oLog.HasError("CPointerStack::Initialize() is out of RAM memory."));
}

TEST(PointerStack, GetPointerChecksItsRange) {
  test::CLogCapture oLog;
  CPointerStack oStack;
  EXPECT_EQ(oStack.GetPointer(0), nullptr);
  EXPECT_TRUE(oLog.HasError("CPointerStack::GetPointer has empty stack."));
  oStack.Push(Value(1));
  oStack.Push(Value(2));
  EXPECT_EQ(oStack.GetPointer(0), Value(1));
  EXPECT_EQ(oStack.GetPointer(1), Value(2));
  EXPECT_EQ(oStack.GetPointer(2), nullptr);
  EXPECT_EQ(oStack.GetPointer(-1), nullptr);
  EXPECT_EQ(oLog.CountErrors("CPointerStack::GetPointer got an out-of-range request."), 2);
}

TEST(PointerStack, WalkGoesFromTheBottomUp) {
  CPointerStack oStack;
  EXPECT_EQ(oStack.GetFirst(), nullptr);
  for (int i = 1; i <= 3; ++i) oStack.Push(Value(i));
  EXPECT_EQ(oStack.GetFirst(), Value(1));
  EXPECT_EQ(oStack.GetNext(), Value(2));
  EXPECT_EQ(oStack.GetWalkIndex(), 1);
  EXPECT_EQ(oStack.GetNext(), Value(3));
  EXPECT_EQ(oStack.GetNext(), nullptr);
  EXPECT_EQ(oStack.GetNext(), nullptr);
}

TEST(PointerStack, ReInitialiseEmptiesTheStack) {
  CPointerStack oStack;
  oStack.Push(Value(1));
  ASSERT_TRUE(oStack.Initialize(1));
  EXPECT_EQ(oStack.GetCount(), 0);
  EXPECT_TRUE(oStack.Push(Value(2)));
  EXPECT_FALSE(oStack.Push(Value(3)));
}

}  // namespace
}  // namespace wdx
