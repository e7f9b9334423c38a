// The desktop's light or dark choice: the portal's answers read in each form they come in,
// and the program following a portal of its own on a private session bus (a dbus-daemon
// started for the test), through a first answer and a change signalled while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QStyle>
#include <functional>
#include <optional>

#include "data/Company.h"
#include "output/TopTen.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "ui/AgingChart.h"
#include "ui/DesktopTheme.h"
#include "ui/IndexBrowserControl.h"
#include "ui/RptSelect.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {
namespace {

using testing::QtApp;

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(ColorSchemeTest, ReadsTheNumberHoweverItIsWrapped) {
    QtApp();
    EXPECT_EQ(ColorSchemeOf(QVariant(1u)), ColorScheme::Dark);
    EXPECT_EQ(ColorSchemeOf(QVariant(2u)), ColorScheme::Light);
    EXPECT_EQ(ColorSchemeOf(QVariant(0u)), ColorScheme::NoPreference);
    EXPECT_EQ(ColorSchemeOf(QVariant(int(1))), ColorScheme::Dark);
    // ReadOne wraps the value once, the older Read twice.
    EXPECT_EQ(ColorSchemeOf(QVariant::fromValue(QDBusVariant(2u))), ColorScheme::Light);
    EXPECT_EQ(
        ColorSchemeOf(QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1u))))),
        ColorScheme::Dark);
    // Values the portal does not define, or of another type, are no preference.
    EXPECT_EQ(ColorSchemeOf(QVariant(3u)), ColorScheme::NoPreference);
    EXPECT_EQ(ColorSchemeOf(QVariant(-1)), ColorScheme::NoPreference);
    EXPECT_EQ(ColorSchemeOf(QVariant(QStringLiteral("1"))), ColorScheme::NoPreference);
    EXPECT_EQ(ColorSchemeOf(QVariant(1.0)), ColorScheme::NoPreference);
    EXPECT_EQ(ColorSchemeOf(QVariant()), ColorScheme::NoPreference);
}

TEST(ColorSchemeTest, PalettesAndReadableColours) {
    QtApp();
    EXPECT_TRUE(IsDarkPalette(SchemePalette(ColorScheme::Dark)));
    EXPECT_FALSE(IsDarkPalette(SchemePalette(ColorScheme::Light)));
    const QPalette dark = SchemePalette(ColorScheme::Dark);
    EXPECT_GT(dark.color(QPalette::Text).lightness(), 180);
    EXPECT_LT(dark.color(QPalette::Base).lightness(), 80);

    const QColor black(Qt::black), white(Qt::white), darkGrey(40, 40, 40);
    // A colour that reads on the background stays; one that does not gives way.
    EXPECT_EQ(ReadableOn(QColor(255, 0, 0), darkGrey, white), QColor(255, 0, 0));
    EXPECT_EQ(ReadableOn(QColor(0, 0, 160), white, black), QColor(0, 0, 160));
    EXPECT_EQ(ReadableOn(black, darkGrey, white), white);
    EXPECT_EQ(ReadableOn(QColor(250, 250, 240), white, black), black);
    // A colour with a hue keeps it: dark blue on dark grey turns light blue.
    const QColor blue = ReadableOn(QColor(0, 0, 200), darkGrey, white);
    EXPECT_NE(blue, white);
    EXPECT_NEAR(blue.hslHue(), QColor(0, 0, 200).hslHue(), 2);
    EXPECT_GT(blue.lightness(), 150);
    const QColor yellow = ReadableOn(QColor(255, 255, 0), white, black);
    EXPECT_NEAR(yellow.hslHue(), 60, 2);
    EXPECT_LT(yellow.lightness(), 100);
    // A fallback that does not read either: plain black or white by the background.
    EXPECT_EQ(ReadableOn(black, darkGrey, QColor(50, 50, 50)), white);
    EXPECT_EQ(ReadableOn(white, white, QColor(240, 240, 240)), black);
}

// The Top 10 chart of a report, shown, and what its plot looks like: the plot's background
// (its top right corner, above every bar), the middle of each bar, and the lightest and
// darkest pixel of the scale's labels left of the plot.
class ChartLook {
  public:
    ChartLook() {
        const int64_t amounts[] = {94205, 79041, 31000, 12050};
        const char* names[] = {"2026/12/05", "2026/12/02", "2026/11/28", "2026/11/20"};
        for (size_t i = 0; i < 4; ++i)
            top_.feed(names[i], data::Money::FromCents(amounts[i]));
        chart_.emplace(top_, QStringLiteral("Invoice Register"),
                       QStringList{"Harbor Light", "Date", "Selected records"}, prompter_,
                       std::function<void()>(), nullptr);
        chart_->resize(640, 480);
        chart_->show();
        QApplication::processEvents();
    }
    TTopTenChart& chart() { return *chart_; }

    QImage plot() const { return chart_->Chart->grab().toImage(); }
    QColor background() const {
        const QImage image = plot();
        return image.pixelColor(image.width() - 3, 2);
    }
    // The middle of the bar of slot i (0..3).
    QColor bar(int i) const {
        const QImage image = plot();
        const int band = chart_->Chart->fontMetrics().height() + 4;
        const int width = image.width() - kScale, height = image.height() - band;
        const output::ChartBar b = output::TopTenBars(top_, width, height)[size_t(i)];
        return image.pixelColor(kScale + b.x + b.width / 2, b.y + b.height / 2);
    }
    // The lightness of the scale's labels that differs most from the background.
    int scaleInk() const {
        const QImage image = plot();
        const int ground = background().lightness();
        int ink = ground;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < kScale - 4; ++x) {
                const int l = image.pixelColor(x, y).lightness();
                if (std::abs(l - ground) > std::abs(ink - ground)) ink = l;
            }
        return ink;
    }

  private:
    static constexpr int kScale = 70;  // the scale's labels left of the plot
    output::TopTen top_;
    testing::ScriptedPrompter prompter_;
    std::optional<TTopTenChart> chart_;
};

int Apart(const QColor& a, const QColor& b) {
    return std::abs(a.lightness() - b.lightness());
}

// Under a dark theme the chart's plot is dark, not a white square: bars, scale and axis in
// colours that read on it, in black-and-white and in colour, and light again after.
TEST(TopTenChartLookTest, ThePlotFollowsTheProgramsLightOrDarkLook) {
    QtApp();
    const QColor lightWindow = QApplication::palette().color(QPalette::Window);
    {
        ApplyColorScheme(ColorScheme::Dark);
        ChartLook look;
        EXPECT_LT(look.background().lightness(), 80) << "a white plot under a dark theme";
        for (int i = 0; i < 4; ++i)
            EXPECT_GT(Apart(look.bar(i), look.background()), 100) << "bar " << i;
        EXPECT_GT(look.scaleInk(), 170) << "light labels of the scale";
        for (QLabel* l : look.chart().legend)
            EXPECT_GT(Apart(l->palette().color(QPalette::WindowText),
                            look.chart().palette().color(QPalette::Window)),
                      100)
                << l->text().toStdString();
        // In colour the bars keep their hue: the first (navy) turns light blue.
        look.chart().ColorCB->setChecked(true);
        QApplication::processEvents();
        const QColor navy = look.bar(0);
        EXPECT_GT(Apart(navy, look.background()), 80);
        EXPECT_NEAR(navy.hslHue(), 240, 4);
        EXPECT_EQ(look.bar(1).hslHue(), 0) << "red stays red";
        ApplyColorScheme(ColorScheme::NoPreference);
    }
    ASSERT_EQ(QApplication::palette().color(QPalette::Window), lightWindow);
    ApplyColorScheme(ColorScheme::Light);
    ChartLook look;
    EXPECT_GT(look.background().lightness(), 220);
    EXPECT_LT(look.bar(0).lightness(), 30) << "black bars on white";
    EXPECT_LT(look.scaleInk(), 60);
    ApplyColorScheme(ColorScheme::NoPreference);
}

// A private session bus for one test, ended with it.
class PrivateBus {
  public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) return;
        process_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address")});
        if (!process_.waitForStarted(5000)) return;
        while (address_.isEmpty() && process_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        process_.kill();
        process_.waitForFinished(5000);
    }
    bool ok() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

  private:
    QProcess process_;
    QString address_;
    QStringList names_;
};

// The desktop portal's settings, answering the appearance's colour scheme with `scheme`.
// An older portal knows Read only.
class FakePortal : public QDBusVirtualObject {
  public:
    uint scheme = 1;
    bool readOneKnown = true;
    int asked = 0;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.interface() != QLatin1String("org.freedesktop.portal.Settings")) return false;
        ++asked;
        const QString method = message.member();
        const QVariantList args = message.arguments();
        const bool known = args.size() == 2 &&
                           args[0].toString() == QLatin1String("org.freedesktop.appearance") &&
                           args[1].toString() == QLatin1String("color-scheme");
        if (method == QLatin1String("ReadOne") && readOneKnown && known) {
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(scheme))));
        } else if (method == QLatin1String("Read") && known) {
            const QDBusVariant inner(scheme);
            bus.send(
                message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(inner)))));
        } else if (!known &&
                   (method == QLatin1String("Read") || method == QLatin1String("ReadOne"))) {
            bus.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.portal.Error.NotFound"), "no such setting"));
        } else {
            bus.send(message.createErrorReply(QDBusError::UnknownMethod, "unknown method"));
        }
        return true;
    }

    static void signal(QDBusConnection& bus, const QString& ns, const QString& key, uint value) {
        QDBusMessage s = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
        s << ns << key << QVariant::fromValue(QDBusVariant(value));
        bus.send(s);
    }
};

class DesktopThemeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QtApp();  // before the bus: its objects belong to the application's thread
        before_ = QApplication::palette();
        bus_.emplace();
        if (!bus_->ok()) GTEST_SKIP() << "dbus-daemon cannot be started here";
    }
    void TearDown() override {
        ApplyColorScheme(ColorScheme::NoPreference);
        EXPECT_EQ(QApplication::palette().color(QPalette::Window), before_.color(QPalette::Window))
            << "no preference puts back the palette there was";
    }

    // The portal on its own connection, registered as the desktop's.
    QDBusConnection servePortal() {
        QDBusConnection portalBus = bus_->connect(QStringLiteral("portal"));
        EXPECT_TRUE(portalBus.registerVirtualObject(
            QStringLiteral("/org/freedesktop/portal/desktop"), &portal_));
        EXPECT_TRUE(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        return portalBus;
    }

    std::optional<PrivateBus> bus_;
    FakePortal portal_;
    QPalette before_;
};

// The colour of the chart's frame inside, left of the first bar, and of its amounts.
QColor FrameInside(TAgingChart& chart) {
    QWidget* plot = chart.findChild<QWidget*>(QStringLiteral("AgingPlot"));
    const QImage image = plot->grab().toImage();
    return image.pixelColor(20, 20);
}

TEST_F(DesktopThemeTest, FollowsTheDesktopFromDarkToLight) {
    QDBusConnection portalBus = servePortal();
    TAgingChart chart;
    chart.setAging({"Current:", "31-60:", "61-90:", "Over 90:"},
                   {data::Money::FromCents(10000), data::Money::FromCents(5000), data::Money(),
                    data::Money::FromCents(2500)});
    chart.resize(600, 260);
    chart.show();

    TDesktopTheme theme(bus_->connect(QStringLiteral("program")));
    theme.start();
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Dark; }));
    QApplication::processEvents();
    EXPECT_TRUE(IsDarkPalette(QApplication::palette()));
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
    EXPECT_TRUE(IsDarkPalette(chart.palette()));
    EXPECT_GT(chart.labelColour().lightness(), 180) << "light amounts on a dark frame";
    EXPECT_LT(FrameInside(chart).lightness(), 80);

    // The user turns the desktop light while the program runs.
    FakePortal::signal(portalBus, "org.freedesktop.appearance", "color-scheme", 2);
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Light; }));
    QApplication::processEvents();
    EXPECT_FALSE(IsDarkPalette(QApplication::palette()));
    EXPECT_LT(chart.labelColour().lightness(), 80) << "dark amounts on a light frame";
    EXPECT_GT(FrameInside(chart).lightness(), 200);

    // Other settings changing leave the look alone; a value out of range is no preference.
    FakePortal::signal(portalBus, "org.freedesktop.appearance", "accent-color", 1);
    FakePortal::signal(portalBus, "org.gnome.desktop.interface", "color-scheme", 1);
    FakePortal::signal(portalBus, "org.freedesktop.appearance", "color-scheme", 9);
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::NoPreference; }));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), before_.color(QPalette::Window));
}

// Windows already open when the desktop turns dark or light follow it: the Top 10 chart's
// plot and legend, a manager list in the company's black list font and a caption in its
// black editor font, each chosen colour kept where it reads and given up where it does not.
TEST_F(DesktopThemeTest, OpenWindowsFollowTheDesktopTurningDarkAndLight) {
    portal_.scheme = 2;
    QDBusConnection portalBus = servePortal();
    ChartLook look;
    data::CompanyRecord company;
    company.setText(data::Company::MgrFontName, "DejaVu Serif");
    QWidget manager;
    auto* list = new TIndexBrowser(&manager);
    SetUpManagerList(list, "CustList", company, nullptr);
    auto* caption = new QLabel(QStringLiteral("Harbor Light"), &manager);
    ApplyEditorFont(caption, company);
    manager.show();

    TDesktopTheme theme(bus_->connect(QStringLiteral("program")));
    theme.start();
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Light; }));
    QApplication::processEvents();
    EXPECT_GT(look.background().lightness(), 220);
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(Qt::black)) << "the chosen colour";
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(Qt::black));

    auto lookIsDark = [&] {
        EXPECT_LT(look.background().lightness(), 80);
        EXPECT_GT(Apart(look.bar(0), look.background()), 100);
        EXPECT_GT(look.scaleInk(), 170);
        for (QLabel* l : look.chart().legend)
            EXPECT_GT(l->palette().color(QPalette::WindowText).lightness(), 150);
        EXPECT_LT(list->palette().color(QPalette::Base).lightness(), 80);
        EXPECT_GT(list->palette().color(QPalette::Text).lightness(), 180);
        EXPECT_GT(caption->palette().color(QPalette::WindowText).lightness(), 180);
    };
    FakePortal::signal(portalBus, "org.freedesktop.appearance", "color-scheme", 1);
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Dark; }));
    QApplication::processEvents();
    lookIsDark();

    // Back to light: the black of the company's fonts is taken again, on light lists.
    FakePortal::signal(portalBus, "org.freedesktop.appearance", "color-scheme", 2);
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Light; }));
    QApplication::processEvents();
    EXPECT_GT(look.background().lightness(), 220);
    EXPECT_LT(look.bar(0).lightness(), 30);
    EXPECT_GT(list->palette().color(QPalette::Base).lightness(), 200);
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(Qt::black));
    for (QLabel* l : look.chart().legend)
        EXPECT_LT(l->palette().color(QPalette::WindowText).lightness(), 60);

    // And dark once more: nothing was fixed by the first switch.
    FakePortal::signal(portalBus, "org.freedesktop.appearance", "color-scheme", 1);
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Dark; }));
    QApplication::processEvents();
    lookIsDark();
}

TEST_F(DesktopThemeTest, AnOlderPortalIsReadThroughRead) {
    portal_.readOneKnown = false;
    QDBusConnection portalBus = servePortal();
    TDesktopTheme theme(bus_->connect(QStringLiteral("program")));
    std::vector<ColorScheme> seen;
    QObject::connect(&theme, &TDesktopTheme::schemeChanged,
                     [&](ColorScheme s) { seen.push_back(s); });
    theme.start();
    ASSERT_TRUE(WaitFor([&] { return theme.answered(); }));
    EXPECT_EQ(theme.scheme(), ColorScheme::Dark);
    EXPECT_EQ(portal_.asked, 2) << "ReadOne refused, then Read";
    EXPECT_EQ(seen, std::vector<ColorScheme>{ColorScheme::Dark});
    EXPECT_TRUE(IsDarkPalette(QApplication::palette()));
}

TEST_F(DesktopThemeTest, NoPortalLeavesTheLookAsItIs) {
    // Nobody owns the portal's name on this bus.
    TDesktopTheme theme(bus_->connect(QStringLiteral("program")));
    QElapsedTimer t;
    t.start();
    theme.start();
    EXPECT_LT(t.elapsed(), 500) << "starting never waits on the bus";
    ASSERT_TRUE(WaitFor([&] { return theme.answered(); }));
    EXPECT_EQ(theme.scheme(), ColorScheme::NoPreference);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), before_.color(QPalette::Window));

    // Nor does a bus that is not there.
    TDesktopTheme offline(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                        QStringLiteral("offline")));
    offline.start();
    EXPECT_TRUE(offline.answered());
    EXPECT_EQ(offline.scheme(), ColorScheme::NoPreference);
    QDBusConnection::disconnectFromBus(QStringLiteral("offline"));
}

TEST_F(DesktopThemeTest, OnlyTheProgramsChoiceIsKeptWhenAskedNotToApply) {
    servePortal();
    TDesktopTheme theme(bus_->connect(QStringLiteral("program")));
    theme.start(false);
    ASSERT_TRUE(WaitFor([&] { return theme.scheme() == ColorScheme::Dark; }));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), before_.color(QPalette::Window));
}

}  // namespace
}  // namespace invarro::ui
