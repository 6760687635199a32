// The help window: caption, size, its five read-only pages in order, the CSV layout page,
// the close button.
#include "app/ColorButton.h"
#include "app/helpf.h"

#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HelpTest, CaptionSizeAndPagesInOrder) {
  Thelp window;
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Dovorur Pest Standard Help"));
  EXPECT_EQ(window.size(), QSize(823, 566));
  const std::vector<QString> titles = {"About Dovorur Dedi Dazadiravo", "Adding/Deleteing Records",
                                       "Reports and Graphs", "Export/Importing", "About OSTREL Software"};
  ASSERT_EQ(window.PageControl1->count(), static_cast<int>(titles.size()));
  for (int i = 0; i < window.PageControl1->count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(window.PageControl1->tabText(i), titles[static_cast<std::size_t>(i)]);
    auto* page = qobject_cast<QTextBrowser*>(window.PageControl1->widget(i));
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->isReadOnly());
    EXPECT_GT(page->toPlainText().size(), 200);
  }
  EXPECT_EQ(window.closebut->text(), QStringLiteral("&Close"));
}

TEST(HelpTest, TheCsvPageShowsTheHeaderAndAWorkedExample) {
  Thelp window;
  const QString text = window.Pages[3]->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("trapnum,area,location,inspected,common,latin,count,lifestage,ecotype,notes")));
  EXPECT_TRUE(text.contains(QStringLiteral(
      "19,\"North wall, near pump\",Middle Room (BE-7),4/4/2002,Psocid,Lepinotus inquilinus,1,Adult,Indicator,Trap damaged")));
}

TEST(HelpTest, CloseButtonEndsTheModalShowing) {
  Thelp window;
  bool shownModally = false;
  QTimer::singleShot(0, &window, [&] {
    shownModally = window.isVisible() && window.Modal();
    window.closebut->click();
  });
  bool stuck = false;
  QTimer::singleShot(3000, &window, [&] {
    stuck = true;
    window.hide();
  });
  window.ShowModal();
  EXPECT_TRUE(shownModally);
  EXPECT_FALSE(stuck);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
