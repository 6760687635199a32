// The colour button: hover colour and its restore, painting in its colours, the pushed and
// disabled looks, the focus rectangle, modal results.
#include "app/ColorButton.h"

#include <QEnterEvent>
#include <QImage>
#include <QTest>
#include <QTimer>

#include "app/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const QColor Back(0xE4, 0xE6, 0xAE);
const QColor Hover(0xFC, 0xFF, 0xD2);
const QColor Fore(0x00, 0x00, 0xFF);

void Enter(TColorButton& b) {
  QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&b, &e);
}

void Leave(TColorButton& b) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(&b, &e);
}

bool HasPixel(const QImage& image, const std::function<bool(QColor)>& test) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(image.pixelColor(x, y))) return true;
  return false;
}

bool NearlyFore(QColor c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; }

QImage Paint(TColorButton& b) { return b.grab().toImage().convertToFormat(QImage::Format_RGB32); }

TEST(ColorButtonTest, DefaultsAreTheSystemButtonColours) {
  TColorButton b(QStringLiteral("x"));
  EXPECT_EQ(b.BackColor(), b.palette().color(QPalette::Button));
  EXPECT_EQ(b.ForeColor(), b.palette().color(QPalette::ButtonText));
  EXPECT_EQ(b.HoverColor(), b.palette().color(QPalette::Button));
}

TEST(ColorButtonTest, HoverShowsHoverColourAndLeavingRestoresTheColourItFound) {
  struct TCase {
    const char* Name;
    std::function<void(TColorButton&)> WhileInside;
    QColor AfterLeave;
  };
  const std::vector<TCase> cases = {
      {"unchanged", [](TColorButton&) {}, Back},
      {"program changes the background meanwhile", [](TColorButton& b) { b.SetBackColor(QColor(Qt::red)); }, Back},
      {"program changes the hover colour meanwhile", [](TColorButton& b) { b.SetHoverColor(QColor(Qt::green)); }, Back},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TColorButton b(QStringLiteral("&Quit "));
    b.SetBackColor(Back);
    b.SetHoverColor(Hover);
    Enter(b);
    EXPECT_EQ(b.BackColor(), Hover);
    c.WhileInside(b);
    Leave(b);
    EXPECT_EQ(b.BackColor(), c.AfterLeave);
  }
}

TEST(ColorButtonTest, LeavingWithoutEnteringChangesNothing) {
  TColorButton b(QStringLiteral("x"));
  b.SetBackColor(Back);
  b.SetHoverColor(Hover);
  Leave(b);
  EXPECT_EQ(b.BackColor(), Back);
}

TEST(ColorButtonTest, PaintsFrameBackgroundAndCaption) {
  struct TCase {
    const char* Name;
    bool Enabled;
    bool Pushed;
    QPoint Inside;          // a point of the background
    bool CaptionInForeColor;
  };
  const std::vector<TCase> cases = {
      {"normal", true, false, QPoint(3, 3), true},
      {"pushed", true, true, QPoint(2, 2), true},
      {"disabled", false, false, QPoint(3, 3), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TColorButton b(QStringLiteral("MMMM"));
    b.resize(120, 34);
    b.SetBackColor(Back);
    b.SetForeColor(Fore);
    b.setEnabled(c.Enabled);
    b.setDown(c.Pushed);
    const QImage image = Paint(b);
    EXPECT_EQ(image.pixelColor(c.Inside).rgb(), Back.rgb());
    EXPECT_EQ(HasPixel(image, NearlyFore), c.CaptionInForeColor);
    const QColor corner = image.pixelColor(0, 0);
    // Pressed: a one-pixel frame in the shadow colour; otherwise the raised push-button frame.
    EXPECT_EQ(corner.rgb() == b.palette().color(QPalette::Dark).rgb(), c.Pushed);
    if (!c.Enabled) {
      const QRgb shadow = b.palette().color(QPalette::Dark).rgb();
      EXPECT_TRUE(HasPixel(image.copy(4, 4, 112, 26), [&](QColor p) { return p.rgb() == shadow; }));
    }
  }
}

TEST(ColorButtonTest, PushedCaptionMovesOnePixelRightAndDown) {
  TColorButton b(QStringLiteral("MMMM"));
  b.resize(100, 30);
  b.SetBackColor(Back);
  b.SetForeColor(Fore);
  const auto firstFore = [](const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (NearlyFore(image.pixelColor(x, y))) return QPoint(x, y);
    return QPoint(-1, -1);
  };
  const QPoint up = firstFore(Paint(b));
  b.setDown(true);
  const QPoint down = firstFore(Paint(b));
  ASSERT_NE(up, QPoint(-1, -1));
  EXPECT_EQ(down, up + QPoint(1, 1));
}

TEST(ColorButtonTest, FocusRectangleOnlyWhenDefaultAndFocused) {
  struct TCase {
    bool Default;
    bool Focused;
    bool FocusRect;
  };
  const std::vector<TCase> cases = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "default " << c.Default << " focused " << c.Focused);
    TForm window;
    window.resize(200, 100);
    auto* other = new TColorButton(QStringLiteral("other"), &window);
    other->setGeometry(130, 10, 60, 30);
    auto* b = new TColorButton(QString(), &window);
    b->setGeometry(10, 10, 100, 40);
    b->SetBackColor(Back);
    b->SetDefault(c.Default);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    (c.Focused ? b : other)->setFocus();
    ASSERT_EQ(b->hasFocus(), c.Focused);
    const QImage image = Paint(*b);
    const QRgb frame = b->palette().color(QPalette::WindowText).rgb();
    // The focus rectangle runs 4 pixels inside the button, along its left side.
    const QImage column = image.copy(4, 8, 1, 24);
    EXPECT_EQ(HasPixel(column, [&](QColor p) { return p.rgb() == frame; }), c.FocusRect);
    // A default or focused button has a one-pixel frame in the window-frame colour.
    EXPECT_EQ(image.pixelColor(0, 20).rgb() == frame, c.Default || c.Focused);
  }
}

TEST(ColorButtonTest, DisabledButtonCannotBePressed) {
  TColorButton b(QStringLiteral("x"));
  b.resize(80, 30);
  int clicks = 0;
  QObject::connect(&b, &QPushButton::clicked, [&] { ++clicks; });
  b.setEnabled(false);
  QTest::mouseClick(&b, Qt::LeftButton);
  EXPECT_EQ(clicks, 0);
  b.setEnabled(true);
  QTest::mouseClick(&b, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST(ColorButtonTest, ModalResultClosesItsModalWindow) {
  struct TCase {
    TModalResult Result;
    bool Cancel;  // pressed through the Escape key
  };
  const std::vector<TCase> cases = {{TModalResult::OK, false}, {TModalResult::No, true}};
  for (const TCase& c : cases) {
    TForm window;
    auto* b = new TColorButton(QStringLiteral("button"), &window);
    b->SetModalResult(c.Result);
    b->SetCancel(c.Cancel);
    EXPECT_EQ(b->Cancel(), c.Cancel);
    QTimer::singleShot(0, &window, [&] {
      if (c.Cancel && QTest::qWaitForWindowActive(&window)) QTest::keyClick(&window, Qt::Key_Escape);
      else b->click();
    });
    QTimer::singleShot(3000, &window, [&] { window.close(); });  // never reached when the button works
    EXPECT_EQ(window.ShowModal(), c.Result);
  }
}

}  // namespace
