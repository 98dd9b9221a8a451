// The web control shows a real page: a local page loads on the offscreen platform and the
// control reports the address it navigated to, with non-ASCII text encoded for the request.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "ui/form.h"
#include "ui/web_control.h"

namespace {

using namespace tavio_ui;

TEST(WebControlTest, LoadsALocalPageAndEncodesTheAddress) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile page(dir.filePath("rings.html"));
  ASSERT_TRUE(page.open(QIODevice::WriteOnly));
  page.write("<html><body><h1>rings</h1></body></html>");
  page.close();

  Form form;
  const CRect formRect(0, 0, 320, 240);
  form.SetPos(&formRect);
  WebControl web;
  const CRect webRect(0, 0, 320, 240);
  web.SetPos(&webRect);
  form.AddControl(&web);
  int loads = 0;
  bool ok = false;
  web.SetLoadFinishedHandler([&](bool success) {
    ++loads;
    ok = success;
  });
  form.Create(0);
  form.SetVisible(true);

  const QString query = "?key=夜曲 live&version=2009";
  web.Navigate((QUrl::fromLocalFile(page.fileName()).toString() + query).toStdWString());
  EXPECT_TRUE(QTest::qWaitFor([&] { return loads > 0; }, 60000));
  EXPECT_TRUE(ok);
  const std::wstring url = web.GetUrl();
  EXPECT_NE(url.find(L"key=%E5%A4%9C%E6%9B%B2%20live"), std::wstring::npos)
      << QString::fromStdWString(url).toStdString();
}

}  // namespace
