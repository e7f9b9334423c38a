#include "ui/DesktopTheme.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace invarro::ui {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

// What the program looked like before the first choice, to go back to on "no preference".
struct Original {
    QString style;
    QPalette palette;
};
std::optional<Original>& Before() {
    static std::optional<Original> before;
    return before;
}

// A colour's relative luminance (0 black .. 1 white), as contrast ratios are measured.
double Luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(45, 45, 48), base(32, 32, 34), text(232, 232, 232);
    const QColor disabled(130, 130, 130), highlight(61, 130, 214);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(52, 52, 56));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 62));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    p.setColor(QPalette::Light, QColor(80, 80, 84));
    p.setColor(QPalette::Midlight, QColor(66, 66, 70));
    p.setColor(QPalette::Mid, QColor(40, 40, 42));
    p.setColor(QPalette::Dark, QColor(24, 24, 26));
    p.setColor(QPalette::Shadow, QColor(10, 10, 10));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(110, 170, 240));
    p.setColor(QPalette::LinkVisited, QColor(170, 140, 230));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 84));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabled);
    return p;
}

}  // namespace

ColorScheme ColorSchemeOf(const QVariant& value) {
    QVariant v = value;
    // Read answers a variant inside a variant; ReadOne and SettingChanged one variant.
    for (int depth = 0; depth < 4; ++depth) {
        if (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>()) {
            v = v.value<QDBusVariant>().variant();
        } else if (v.userType() == qMetaTypeId<QDBusArgument>()) {
            const auto arg = v.value<QDBusArgument>();
            if (arg.currentType() != QDBusArgument::VariantType) break;
            v = qdbus_cast<QDBusVariant>(arg).variant();
        } else {
            break;
        }
    }
    switch (v.userType()) {
        case QMetaType::UInt:
        case QMetaType::Int:
        case QMetaType::UChar:
        case QMetaType::UShort:
        case QMetaType::Short:
        case QMetaType::ULongLong:
        case QMetaType::LongLong:
            break;
        default:
            return ColorScheme::NoPreference;
    }
    const qlonglong n = v.toLongLong();
    if (n == 1) return ColorScheme::Dark;
    if (n == 2) return ColorScheme::Light;
    return ColorScheme::NoPreference;
}

QPalette SchemePalette(ColorScheme scheme) {
    if (scheme == ColorScheme::Dark) return DarkPalette();
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion ? fusion->standardPalette() : QPalette();
}

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor ReadableOn(const QColor& wanted, const QColor& background, const QColor& fallback) {
    // 3:1 is the least contrast large text stays readable at.
    if (Contrast(wanted, background) >= 3.0) return wanted;
    // A colour with a hue keeps it, lightened on a dark background or darkened on a light
    // one (a dark blue caption turns light blue); greys give way to the fallback.
    if (wanted.hsvSaturationF() > 0.25) {
        const bool dark = background.lightness() < 128;
        const QColor shifted =
            QColor::fromHslF(wanted.hslHueF(), wanted.hslSaturationF(), dark ? 0.75f : 0.3f);
        if (Contrast(shifted, background) >= 3.0) return shifted;
    }
    if (Contrast(fallback, background) >= 3.0) return fallback;
    return background.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

namespace {

// The colours a widget wants, chosen again on each change of its palette.
class ReadableColours : public QObject {
  public:
    struct Wanted {
        QPalette::ColorRole background;
        QColor colour;
    };

    explicit ReadableColours(QWidget* widget) : QObject(widget), widget_(widget) {
        setObjectName(QStringLiteral("ReadableColours"));
        widget->installEventFilter(this);
    }
    void want(QPalette::ColorRole role, QPalette::ColorRole background, const QColor& colour) {
        wanted_.insert(role, Wanted{background, colour});
        apply();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The widget's palette is already the new one when it is told of the change;
        // setting the same colours again sends no further change.
        if (watched == widget_ && event->type() == QEvent::PaletteChange) apply();
        return false;
    }

  private:
    void apply() {
        const QWidget* parent = widget_->parentWidget();
        const QPalette inherited = parent ? parent->palette() : QApplication::palette(widget_);
        const QPalette current = widget_->palette();
        // A palette of the wanted roles alone: a copy of the widget's would hold every
        // colour of the theme there is now, and keep them when the theme changes.
        QPalette own;
        bool same = widget_->testAttribute(Qt::WA_SetPalette);
        for (auto it = wanted_.cbegin(); it != wanted_.cend(); ++it) {
            const auto role = QPalette::ColorRole(it.key());
            const QColor colour =
                ReadableOn(it->colour, current.color(it->background), inherited.color(role));
            own.setColor(role, colour);
            same = same && current.color(role) == colour;
        }
        if (!same) widget_->setPalette(own);
    }

    QWidget* widget_;
    QHash<int, Wanted> wanted_;
};

}  // namespace

void KeepReadable(QWidget* widget, QPalette::ColorRole role, QPalette::ColorRole background,
                  const QColor& wanted) {
    auto* colours = widget->findChild<ReadableColours*>(QStringLiteral("ReadableColours"),
                                                        Qt::FindDirectChildrenOnly);
    if (!colours) colours = new ReadableColours(widget);
    colours->want(role, background, wanted);
}

void ApplyColorScheme(ColorScheme scheme) {
    if (!qApp) return;
    auto& before = Before();
    if (scheme == ColorScheme::NoPreference) {
        if (!before) return;
        if (QStyle* style = QStyleFactory::create(before->style)) QApplication::setStyle(style);
        QApplication::setPalette(before->palette);
        before.reset();
        return;
    }
    if (!before) before = Original{QApplication::style()->name(), QApplication::palette()};
    if (QApplication::style()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(SchemePalette(scheme));
}

TDesktopTheme::TDesktopTheme(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void TDesktopTheme::start(bool apply) {
    apply_ = apply;
    if (!bus_.isConnected()) {
        answered_ = true;
        return;
    }
    bus_.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                 SLOT(settingChanged(QDBusMessage)));
    ask(QStringLiteral("ReadOne"));
}

void TDesktopTheme::ask(const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call << kNamespace << kKey;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 3000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* w) { answer(w, method); });
}

void TDesktopTheme::answer(QDBusPendingCallWatcher* call, const QString& method) {
    call->deleteLater();
    const QDBusMessage reply = call->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Portals before version 2 have Read only.
        if (method == QLatin1String("ReadOne") &&
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
            ask(QStringLiteral("Read"));
            return;
        }
        answered_ = true;
        return;
    }
    answered_ = true;
    // A change signalled meanwhile is newer than this answer.
    if (changedSinceAsked_ || reply.arguments().isEmpty()) return;
    take(ColorSchemeOf(reply.arguments().constFirst()));
}

void TDesktopTheme::settingChanged(const QDBusMessage& message) {
    // The whole message is taken rather than typed arguments, so that the signal reaches
    // the program whatever the types Qt has registered so far.
    const QVariantList args = message.arguments();
    if (args.size() != 3 || args[0].toString() != kNamespace || args[1].toString() != kKey) return;
    changedSinceAsked_ = true;
    take(ColorSchemeOf(args[2]));
}

void TDesktopTheme::take(ColorScheme scheme) {
    if (scheme == scheme_) return;
    scheme_ = scheme;
    if (apply_) ApplyColorScheme(scheme);
    emit schemeChanged(scheme);
}

}  // namespace invarro::ui
