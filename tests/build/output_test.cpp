// The build's output: lines into a pane of the IDE's output window, made
// when the IDE has none, and the status bar's refusals of values it does
// not know.
#include <gtest/gtest.h>

#include "kv7/build/output.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

using OutputTest = ProjectFixture;

TEST_F(OutputTest, PanesAreMadeWhenMissingAndWrittenAsGiven) {
  EXPECT_EQ(host_.PaneText(GUID_BuildOutputWindowPane), nullptr);
  {
    CKV7OutputWindow build(true, eKV7PaneBuild, true, false);
    ASSERT_EQ(build.OutputString(u"first line\n"), S_OK);
    CKV7OutputWindow again(true, eKV7PaneBuild, true, false);
    ASSERT_EQ(again.OutputString(u"second\n"), S_OK);
    CKV7OutputWindow own(false, eKV7PaneProduct, true, true);
    ASSERT_EQ(own.OutputString(u"x"), S_OK);
    GUID product;
    ASSERT_EQ(CKV7OutputWindow::TypeToGUID(eKV7PaneProduct, &product), S_OK);
    EXPECT_NE(host_.PaneText(product), nullptr);
  }
  // The build pane stays; the one made to be deleted on clean-up went.
  ASSERT_NE(host_.PaneText(GUID_BuildOutputWindowPane), nullptr);
  EXPECT_EQ(*host_.PaneText(GUID_BuildOutputWindowPane), u"first line\nsecond\n");
  GUID product;
  ASSERT_EQ(CKV7OutputWindow::TypeToGUID(eKV7PaneProduct, &product), S_OK);
  EXPECT_EQ(host_.PaneText(product), nullptr);

  CKV7OutputWindow unknown(true, 5, true, false);
  EXPECT_EQ(unknown.OutputString(u"lost"), E_FAIL);
  WString title;
  EXPECT_EQ(CKV7OutputWindow::TypeToTitle(-1, &title), E_FAIL);
  ASSERT_EQ(CKV7OutputWindow::TypeToTitle(eKV7PaneBuild, &title), S_OK);
  EXPECT_FALSE(title.empty());
}

TEST_F(OutputTest, TheStatusBarRefusesValuesItDoesNotKnow) {
  CKV7Statusbar bar;
  EXPECT_EQ(bar.SetText(u"x"), E_FAIL);  // before Initialize
  ASSERT_EQ(bar.Initialize(), S_OK);
  ASSERT_EQ(bar.SetText(u"Deploying"), S_OK);
  EXPECT_EQ(host_.StatusText(), u"Deploying");
  EXPECT_EQ(bar.Animation(TRUE, 7), E_FAIL);
  EXPECT_EQ(bar.Animation(TRUE, 6), S_OK);
  EXPECT_EQ(bar.SetInsMode(2), E_FAIL);
  DWORD cookie = 0;
  ASSERT_EQ(bar.Progress(&cookie, TRUE, u"orders", 3, 7), S_OK);
  EXPECT_EQ(host_.StatusProgress(), (std::pair<ULONG, ULONG>{3, 7}));
  ASSERT_EQ(bar.Progress(&cookie, FALSE, u"", 0, 0), S_OK);
  EXPECT_EQ(host_.StatusProgress(), (std::pair<ULONG, ULONG>{0, 0}));
  { CKV7StatusAni deploying(CKV7StatusAni::kDeployIndex); }
}

}  // namespace
}  // namespace kv7::test
