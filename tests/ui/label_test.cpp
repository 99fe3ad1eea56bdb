// The label widget: how it is configured, what a click does, flashing, colours and painting.
#include "ui/label.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>
#include <QUrl>
#include <cstdlib>

#include "ui/shell_open.h"

namespace {

constexpr COLORREF kBlue = 0xFF0000;
const QString kProductsPage = QStringLiteral("https://www.example.com/products");

// Pixels of `image` inside `area` whose colour is within `tolerance` per channel of `color`
// (edges of glyphs are blended with the background).
int CountPixelsNear(const QImage& image, const QRect& area, const QColor& color, int tolerance = 40) {
  int count = 0;
  const QRect bounded = area.intersected(image.rect());
  for (int y = bounded.top(); y <= bounded.bottom(); ++y) {
    for (int x = bounded.left(); x <= bounded.right(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (std::abs(pixel.red() - color.red()) <= tolerance && std::abs(pixel.green() - color.green()) <= tolerance &&
          std::abs(pixel.blue() - color.blue()) <= tolerance) {
        ++count;
      }
    }
  }
  return count;
}

// A dialog-like parent with a known font and colours, holding one label attached as the
// window attaches its labels.
class LabelTest : public testing::Test {
 protected:
  // Known desktop colours for every test; the application's own come back afterwards.
  void SetUp() override {
    QPalette palette = m_applicationPalette;
    palette.setColor(QPalette::Button, QColor(0xF4, 0xF4, 0xF4));  // not the label's: see below
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Window, QColor(0xD4, 0xD0, 0xC8));
    SetApplicationPalette(palette);
    m_parent.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    m_parent.resize(300, 120);
    m_label = new CLabel(&m_parent);
    m_label->setGeometry(10, 10, 250, 40);
    m_label->setProperty("controlId", 1043);
    m_label->setText(QStringLiteral("Hide for now"));
    m_label->Attach();
    ui::SetShellOpenerForTesting([this](const QUrl& url) {
      m_opened.append(url);
      return true;
    });
  }
  void TearDown() override {
    ui::SetShellOpenerForTesting({});
    SetApplicationPalette(m_applicationPalette);
  }

  // Widgets learn of a new application palette through posted events.
  static void SetApplicationPalette(const QPalette& palette) {
    QApplication::setPalette(palette);
    QCoreApplication::sendPostedEvents();
  }

  void ShowAndClick() {
    m_parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_parent));
    QTest::mouseClick(m_label, Qt::LeftButton);
  }

  QImage Grab() const { return m_label->grab().toImage(); }

  void Tick() {
    QTimerEvent tick(1);
    QCoreApplication::sendEvent(m_label, &tick);
  }

  const QPalette m_applicationPalette = QApplication::palette();
  QWidget m_parent;
  CLabel* m_label = nullptr;
  QList<QUrl> m_opened;
};

TEST_F(LabelTest, MakerLinkIsBoldBlueWithHandCursorAndOpensTheProductsPage) {
  m_label->SetText(QStringLiteral("Vantreck Software GmbH - click for other products"));
  m_label->SetLink(true, false)
      .SetLinkCursor(QCursor(Qt::PointingHandCursor))
      .SetLinkUrl(kProductsPage)
      .SetFontBold(true)
      .SetTextColor(kBlue);
  EXPECT_TRUE(m_label->LogFont().bold());
  EXPECT_EQ(m_label->TextColor(), kBlue);
  EXPECT_EQ(m_label->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(m_label->StaticStyle() & ui::SS_NOTIFY);

  QSignalSpy clicked(m_label, &CLabel::labelClicked);
  ShowAndClick();
  EXPECT_EQ(m_opened, QList<QUrl>{QUrl(kProductsPage)});
  EXPECT_TRUE(clicked.isEmpty());
}

TEST_F(LabelTest, HideLinkIsUnderlinedBlueAndOnlyNotifies) {
  m_label->SetLink(true, true).SetFontUnderline(true).SetLinkCursor(QCursor(Qt::PointingHandCursor)).SetTextColor(kBlue);
  m_label->SetLinkUrl(kProductsPage);  // even with an address, a notifying link opens nothing
  EXPECT_TRUE(m_label->LogFont().underline());
  EXPECT_FALSE(m_label->LogFont().bold());
  EXPECT_EQ(m_label->cursor().shape(), Qt::PointingHandCursor);

  QSignalSpy clicked(m_label, &CLabel::labelClicked);
  ShowAndClick();
  ASSERT_EQ(clicked.size(), 1);
  EXPECT_EQ(clicked.at(0).at(0).toInt(), 1043);
  EXPECT_TRUE(m_opened.isEmpty());
}

TEST_F(LabelTest, PromotionTitleIsNinePointBoldInTheDialogFace) {
  m_label->SetFontSize(9).SetFontBold(true);
  const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
  EXPECT_EQ(m_label->LogFont().pixelSize(), qRound(9 * dpi / 72.0));
  if (qFuzzyCompare(dpi, 96.0)) {
    EXPECT_EQ(m_label->LogFont().pixelSize(), 12);
  }
  EXPECT_TRUE(m_label->LogFont().bold());
  EXPECT_EQ(m_label->LogFont().family(), m_parent.font().family());
  EXPECT_EQ(m_label->TextColor(), 0x000000u);
}

TEST_F(LabelTest, FontIsCapturedOnceAtAttach) {
  m_parent.setFont(QFont(QStringLiteral("DejaVu Serif"), 20));
  EXPECT_EQ(m_label->LogFont().family(), QStringLiteral("DejaVu Sans"));
  EXPECT_EQ(m_label->LogFont().pointSize(), 10);
}

TEST_F(LabelTest, FontSettersEditOneAttributeEach) {
  m_label->SetFontName(QStringLiteral("DejaVu Sans Mono")).SetFontItalic(true).SetRotationAngle(45, false);
  m_label->SetFontBold(true).SetFontBold(false);
  const QFont& font = m_label->LogFont();
  EXPECT_EQ(font.family(), QStringLiteral("DejaVu Sans Mono"));
  EXPECT_TRUE(font.italic());
  EXPECT_FALSE(font.bold());
  EXPECT_FALSE(font.underline());
  EXPECT_EQ(font.pointSize(), 10);
  EXPECT_EQ(m_label->Escapement(), 450);

  QFont replacement(QStringLiteral("DejaVu Serif"), 14);
  m_label->SetLogFont(replacement);
  EXPECT_EQ(m_label->LogFont(), replacement);
  EXPECT_EQ(m_label->Escapement(), 450);
}

TEST_F(LabelTest, LinkCursorShowsOnlyOnClickableLabels) {
  m_label->SetLinkCursor(QCursor(Qt::PointingHandCursor));
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_SetCursor)) << "no SS_NOTIFY yet";
  m_label->SetMailLink(true, false);
  EXPECT_EQ(m_label->cursor().shape(), Qt::PointingHandCursor);
  m_label->SetLinkCursor(std::nullopt);
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_SetCursor));
  m_label->SetLinkCursor(QCursor(Qt::PointingHandCursor)).SetMailLink(false, false);
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_SetCursor));
}

// ---- clicks ---------------------------------------------------------------------------------

enum class Link { None, Web, WebOff, Mail };

struct ClickCase {
  const char* name;
  Link link;
  bool notifyParent;
  const char* url;
  const char* text;
  int expectedSignals;
  const char* expectedOpen;  // empty: nothing opened
  bool reachesParent;
};

class LabelClickTest : public LabelTest, public testing::WithParamInterface<ClickCase> {};

class PressCounter : public QObject {
 public:
  explicit PressCounter(int& presses) : m_presses(presses) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress) ++m_presses;
    return false;
  }

 private:
  int& m_presses;
};

TEST_P(LabelClickTest, ClickDoesWhatTheLinkModeSays) {
  const ClickCase& c = GetParam();
  m_label->SetText(QString::fromUtf8(c.text));
  m_label->SetLinkUrl(QString::fromUtf8(c.url));
  switch (c.link) {
    case Link::None: break;
    case Link::Web: m_label->SetLink(true, c.notifyParent); break;
    case Link::WebOff: m_label->SetLink(true, c.notifyParent).SetLink(false, c.notifyParent); break;
    case Link::Mail: m_label->SetMailLink(true, c.notifyParent); break;
  }
  int parentPresses = 0;
  PressCounter counter(parentPresses);
  m_parent.installEventFilter(&counter);
  QSignalSpy clicked(m_label, &CLabel::labelClicked);

  ShowAndClick();

  EXPECT_EQ(clicked.size(), c.expectedSignals);
  const QString expectedOpen = QString::fromUtf8(c.expectedOpen);
  EXPECT_EQ(m_opened, expectedOpen.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(expectedOpen)});
  EXPECT_EQ(parentPresses > 0, c.reachesParent);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LabelClickTest,
    testing::Values(
        ClickCase{"NotifyOnlyEvenWithUrl", Link::Web, true, "https://example.com/", "Hide for now", 1, "", false},
        ClickCase{"WebLinkOpensItsAddress", Link::Web, false, "https://example.com/a", "text", 0,
                  "https://example.com/a", false},
        ClickCase{"WebLinkWithoutAddressOpensText", Link::Web, false, "", "https://example.com/b", 0,
                  "https://example.com/b", false},
        ClickCase{"MailLinkOpensMailtoText", Link::Mail, false, "https://example.com/", "sales@example.com", 0,
                  "mailto:sales@example.com", false},
        // Without SS_NOTIFY the label gets no click at all: the parent does.
        ClickCase{"LinkRemovedSendsNothing", Link::WebOff, true, "https://example.com/", "text", 0, "", true},
        ClickCase{"PlainLabelSendsNothing", Link::None, true, "https://example.com/", "text", 0, "", true}),
    [](const testing::TestParamInfo<ClickCase>& testCase) { return testCase.param.name; });

TEST_F(LabelTest, RightButtonDoesNothing) {
  m_label->SetLink(true, true);
  QSignalSpy clicked(m_label, &CLabel::labelClicked);
  m_parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_parent));
  QTest::mouseClick(m_label, Qt::RightButton);
  EXPECT_TRUE(clicked.isEmpty());
}

// ---- flashing -------------------------------------------------------------------------------

TEST_F(LabelTest, FlashingTextShowsOnOddTicksAndHidesOnEven) {
  m_label->SetTextColor(kBlue);
  const QColor blue(0, 0, 255);
  ASSERT_GT(CountPixelsNear(Grab(), m_label->rect(), blue), 0);

  m_label->SetFlashText(true);
  EXPECT_EQ(m_label->FlashMode(), 1);
  EXPECT_EQ(m_label->FlashState(), 0);
  EXPECT_TRUE(m_label->IsFlashTimerActive());
  EXPECT_EQ(CountPixelsNear(Grab(), m_label->rect(), blue), 0) << "a paint before the first tick shows the hidden phase";

  Tick();
  EXPECT_EQ(m_label->FlashState(), 1);
  EXPECT_GT(CountPixelsNear(Grab(), m_label->rect(), blue), 0);

  Tick();
  EXPECT_EQ(m_label->FlashState(), 0);
  const QImage hidden = Grab();
  EXPECT_EQ(CountPixelsNear(hidden, m_label->rect(), blue), 0);
  // Hidden means the plain background, not text in some other colour.
  EXPECT_EQ(CountPixelsNear(hidden, m_label->rect(), QColor(0xD4, 0xD0, 0xC8), 0), 250 * 40);

  m_label->SetFlashText(false);
  EXPECT_EQ(m_label->FlashMode(), 0);
  EXPECT_FALSE(m_label->IsFlashTimerActive());
  EXPECT_GT(CountPixelsNear(Grab(), m_label->rect(), blue), 0);
}

TEST_F(LabelTest, StoppingBackgroundFlashLeavesTextFlashModeAndPhase) {
  m_label->SetFlashText(true);
  Tick();
  m_label->SetFlashBackground(false);
  EXPECT_FALSE(m_label->IsFlashTimerActive());
  EXPECT_EQ(m_label->FlashMode(), 1);
  EXPECT_EQ(m_label->FlashState(), 1);
}

TEST_F(LabelTest, FlashingBackgroundTicksWithoutVisibleChange) {
  m_label->SetFlashBackground(true);
  EXPECT_TRUE(m_label->IsFlashTimerActive());
  EXPECT_EQ(m_label->FlashMode(), 2);
  const QImage before = Grab();
  Tick();
  EXPECT_EQ(m_label->FlashState(), 1);
  EXPECT_EQ(Grab(), before);
}

// ---- colours and painting -------------------------------------------------------------------

enum class PaletteRoute { Parent, Application };

class LabelPaletteTest : public LabelTest, public testing::WithParamInterface<PaletteRoute> {};

TEST_P(LabelPaletteTest, PaletteChangeKeepsTheChosenTextColour) {
  QPalette changed = m_parent.palette();
  changed.setColor(QPalette::Window, QColor(0x20, 0x60, 0xA0));
  changed.setColor(QPalette::WindowText, QColor(0xFF, 0x00, 0x00));
  if (GetParam() == PaletteRoute::Parent) {
    m_parent.setPalette(changed);
  } else {
    SetApplicationPalette(changed);
  }
  const QImage image = Grab();

  EXPECT_EQ(m_label->TextColor(), 0x000000u);
  EXPECT_EQ(image.pixelColor(245, 35), QColor(0x20, 0x60, 0xA0));
  EXPECT_GT(CountPixelsNear(image, m_label->rect(), Qt::black), 0);
  EXPECT_EQ(CountPixelsNear(image, m_label->rect(), Qt::red), 0);
}

INSTANTIATE_TEST_SUITE_P(Routes, LabelPaletteTest, testing::Values(PaletteRoute::Parent, PaletteRoute::Application));

// The default background is what lies under the label, so it never shows as a box of
// another colour on a group box or a coloured parent.
TEST_F(LabelTest, PaintsTextOnWhatLiesUnderIt) {
  m_parent.setAutoFillBackground(true);
  QPalette palette = m_parent.palette();
  palette.setColor(QPalette::Window, QColor(0x80, 0x00, 0x80));
  m_parent.setPalette(palette);
  m_label->SetTextColor(kBlue).SetFontBold(true);
  const QImage image = m_parent.grab().toImage();
  EXPECT_EQ(image.pixelColor(10 + 245, 10 + 35), QColor(0x80, 0x00, 0x80));
  EXPECT_EQ(image.pixelColor(10, 10), QColor(0x80, 0x00, 0x80));
  // Left-aligned from the top: the text lies in the upper left part only.
  EXPECT_GT(CountPixelsNear(image, QRect(10, 10, 150, 25), QColor(0, 0, 255), 0), 0);
  EXPECT_EQ(CountPixelsNear(image, QRect(160, 10, 100, 40), QColor(0, 0, 255)), 0);
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(LabelTest, SolidBackgroundColourReplacesTheFace) {
  m_label->SetBkColor(0x00FF00);
  EXPECT_EQ(Grab().pixelColor(245, 35), QColor(0, 255, 0));
  m_label->SetBkColor(0x000000, 0xFFFFFF, 1).SetBkColor(0x0000FF, 0, 0);
  EXPECT_EQ(Grab().pixelColor(245, 35), QColor(255, 0, 0));
}

TEST_F(LabelTest, GradientFillsEveryRowWithItsBands) {
  m_label->SetText(QString());
  m_label->SetBkColor(0x000000, 0xFFFFFF, 1);
  const QImage image = Grab();
  for (int y : {0, 20, 39}) {
    EXPECT_EQ(image.pixelColor(0, y), QColor(0, 0, 0)) << y;
    EXPECT_EQ(image.pixelColor(3, y), QColor(2, 2, 2)) << y;
    EXPECT_EQ(image.pixelColor(4, y), QColor(5, 5, 5)) << y;
    EXPECT_EQ(image.pixelColor(249, y), QColor(0xFC, 0xFC, 0xFC)) << y;
  }
}

TEST_F(LabelTest, CentreImageCentresOneLineBothWays) {
  m_label->SetText(QStringLiteral("ab"));
  m_label->SetStaticStyle(ui::SS_CENTERIMAGE);
  m_label->SetTextColor(kBlue);
  const QImage image = Grab();
  const QColor blue(0, 0, 255);
  EXPECT_GT(CountPixelsNear(image, QRect(100, 8, 50, 24), blue), 0);
  EXPECT_EQ(CountPixelsNear(image, QRect(0, 0, 100, 40), blue), 0);
  EXPECT_EQ(CountPixelsNear(image, QRect(0, 0, 250, 6), blue), 0);
}

TEST_F(LabelTest, ThreeDimensionalPassDrawsTheHighlight) {
  m_label->SetText3D(true, 1).Set3DHighlightColor(0x00FFFF);  // yellow
  EXPECT_GT(CountPixelsNear(Grab(), m_label->rect(), QColor(255, 255, 0)), 0);
  m_label->SetText3D(false);
  EXPECT_EQ(CountPixelsNear(Grab(), m_label->rect(), QColor(255, 255, 0)), 0);
}

TEST_F(LabelTest, RotatedTextStartsAtTheCentreAndRunsUp) {
  m_label->setGeometry(10, 10, 120, 120);
  m_label->SetTextColor(kBlue).SetRotationAngle(90, true);
  EXPECT_EQ(m_label->Escapement(), 900);
  const QImage image = Grab();
  const QColor blue(0, 0, 255);
  EXPECT_GT(CountPixelsNear(image, QRect(0, 0, 61, 61), blue), 0);
  EXPECT_EQ(CountPixelsNear(image, QRect(62, 0, 58, 120), blue), 0) << "right of the centre";
  EXPECT_EQ(CountPixelsNear(image, QRect(0, 62, 120, 58), blue), 0) << "below the centre";
}

TEST_F(LabelTest, TransparentLabelShowsItsParent) {
  m_parent.setAutoFillBackground(true);
  QPalette palette = m_parent.palette();
  palette.setColor(QPalette::Window, QColor(0x80, 0x00, 0x80));
  m_parent.setPalette(palette);
  m_label->SetTransparent(true);
  EXPECT_FALSE(m_label->testAttribute(Qt::WA_OpaquePaintEvent));
  const QImage parentImage = m_parent.grab().toImage();
  EXPECT_EQ(parentImage.pixelColor(10 + 245, 10 + 35), QColor(0x80, 0x00, 0x80));

  // Transparency hides a background of the label's own; without one the parent shows anyway.
  m_label->SetBkColor(0x00FF00);
  EXPECT_EQ(m_parent.grab().toImage().pixelColor(10 + 245, 10 + 35), QColor(0x80, 0x00, 0x80));
  m_label->SetTransparent(false);
  EXPECT_TRUE(m_label->testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_EQ(m_parent.grab().toImage().pixelColor(10 + 245, 10 + 35), QColor(0, 255, 0));
}

TEST_F(LabelTest, SetTextRepaintsTheNewText) {
  m_label->SetTextColor(kBlue).SetText(QString());
  EXPECT_EQ(CountPixelsNear(Grab(), m_label->rect(), QColor(0, 0, 255)), 0);
  m_label->SetText(QStringLiteral("Now"));
  EXPECT_EQ(m_label->text(), QStringLiteral("Now"));
  EXPECT_GT(CountPixelsNear(Grab(), m_label->rect(), QColor(0, 0, 255)), 0);
}

struct FrameCase {
  const char* name;
  bool sunken;
  bool border;
  int frameStyle;
};

class LabelFrameTest : public LabelTest, public testing::WithParamInterface<FrameCase> {};

TEST_P(LabelFrameTest, EdgesBecomeFrames) {
  const FrameCase& c = GetParam();
  m_label->SetSunken(true).SetBorder(true).SetSunken(c.sunken).SetBorder(c.border);
  EXPECT_EQ(m_label->frameStyle(), c.frameStyle);
  EXPECT_EQ((m_label->StaticStyle() & ui::WS_BORDER) != 0, c.border);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, LabelFrameTest,
    testing::Values(FrameCase{"None", false, false, QFrame::NoFrame},
                    FrameCase{"Sunken", true, false, QFrame::StyledPanel | QFrame::Sunken},
                    FrameCase{"Border", false, true, QFrame::Box | QFrame::Plain},
                    FrameCase{"Both", true, true, QFrame::StyledPanel | QFrame::Sunken}),
    [](const testing::TestParamInfo<FrameCase>& testCase) { return testCase.param.name; });

}  // namespace
