// The names of Windows messages in the alert traces.
#include <gtest/gtest.h>

#include "alerts_support.h"
#include "test_support.h"

namespace {

TEST(MessageNames, TheTableHoldsTheSdkNumbersOfItsRows) {
  ds_BuildWMQ();
  EXPECT_EQ(MessageNameCount(), 183u);
  const struct {
    std::int32_t number;
    const char* name;
  } rows[] = {
      {0, "RV::WM_NULL"},
      {15, "RV::WM_PAINT"},
      {522, "RV::WM_MOUSEWHEEL"},
      {689, "RV::WM_WTSSESSION_CHANGE"},
      {80, "RV::WM_INPUTLANGCHANGEREQ"},  // supplied one character longer
      // Numbers of the 16-bit SDK.
      {23, "RV::WM_SYSTEMERROR"},
      {25, "RV::WM_CTLCOLOR"},
      {68, "RV::WM_COMMNOTIFY"},
      {72, "RV::WM_POWER"},
      // Range markers are rows of their own.
      {264, "RV::WM_KEYLAST"},
      {704, "RV::WM_TABLET_FIRST"},
      {735, "RV::WM_TABLET_LAST"},
      {863, "RV::WM_HANDHELDLAST"},
      {864, "RV::WM_AFXFIRST"},
      {911, "RV::WM_PENWINLAST"},
      {927, "RV::WM_COALESCE_LAST"},
      {794, "RV::WM_THEMECHANGED"},
      {536, "RV::WM_POWERBROADCAST"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MessageNameOf(row.number), row.name) << row.number;
  }
  const auto keyDown = MessageNameOf(256);
  EXPECT_TRUE(keyDown == "RV::WM_KEYDOWN" || keyDown == "RV::WM_KEYFIRST");
  for (std::int32_t missing : {4, 9, 1023, 1024, 928, -1}) {
    EXPECT_FALSE(MessageNameOf(missing)) << missing;
  }
}

TEST(MessageNames, BuildingAgainStartsFromAnEmptyTable) {
  ds_BuildWMQ();
  ds_AddQ("RV::WM_EXTRA", 5000);
  EXPECT_EQ(MessageNameCount(), 184u);
  ds_BuildWMQ();
  EXPECT_EQ(MessageNameCount(), 183u);
  EXPECT_FALSE(MessageNameOf(5000));
  // The build records its rows through ds_AddQ.
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_AddQ");
}

TEST(MessageNames, AddCutsTheNameAndChecksNothing) {
  MessageNamesRelease();
  ClearRovalentError("other");
  SetRovalentError(rverr::kWinAccept);
  ds_AddQ("RV::ABCDEFGHIJKLMNOPQRSTUVWXYZ", 3000);
  ds_AddQ("RV::SECOND", 3000);
  ds_AddQ("RV::LOWER   ", 10);
  EXPECT_EQ(RovalentErrorCode(), 0);
  EXPECT_EQ(rt::Clip(RovalentErrorProc()), "ds_AddQ");
  EXPECT_EQ(MessageNameCount(), 3u);
  EXPECT_EQ(MessageNameOf(3000), "RV::ABCDEFGHIJKLMNOPQRSTU");
  EXPECT_EQ(MessageNameOf(10), "RV::LOWER");
  MessageNamesRelease();
  EXPECT_EQ(MessageNameCount(), 0u);
}

TEST(MessageNames, WithoutTheTraceSwitchWinAlertLeavesTheTableUnbuilt) {
  MessageNamesRelease();
  auto window = rt::WindowLoad("test$windows", "QUIET");
  window->Open(nullptr);
  {
    testsupport::CommandLineScope plain("/debug");
    WinAlert(700);
    EXPECT_EQ(MessageNameCount(), 0u);
  }
  {
    testsupport::CommandLineScope traced("/debugWinAlert");
    WinAlert(701);
    EXPECT_EQ(MessageNameCount(), 183u);
  }
  WinAlert();
  window->Close();
}

}  // namespace
