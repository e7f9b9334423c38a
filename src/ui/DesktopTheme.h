// The desktop's light or dark choice. Qt 6.4 gives no colour-scheme hint of its own, so the
// choice is read from the desktop portal (the "color-scheme" setting of the
// "org.freedesktop.appearance" namespace, through org.freedesktop.portal.Settings on the
// session bus) and followed while the program runs: a dark choice gives the Fusion style with
// a dark palette, a light one Fusion's light palette, and "no preference" (or no portal)
// leaves the style and palette the desktop's platform theme gave.
#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QObject>
#include <QPalette>
#include <QString>

class QDBusMessage;
class QDBusPendingCallWatcher;
class QVariant;
class QWidget;

namespace invarro::ui {

// The portal's values: 0 no preference, 1 dark, 2 light.
enum class ColorScheme { NoPreference = 0, Dark = 1, Light = 2 };

// The portal's answer as a scheme: the number inside however many variants wrap it (the
// older Read wraps it twice); anything else, or a number out of range, is no preference.
ColorScheme ColorSchemeOf(const QVariant& value);

// The palette of a dark or a light choice (Fusion's own light palette for Light).
QPalette SchemePalette(ColorScheme scheme);
// Whether a palette is a dark one: its window colour is darker than middle grey.
bool IsDarkPalette(const QPalette& palette);
// The colour to draw text of the wanted colour on the background with: the wanted colour
// when it stands out from the background enough to read, else the same hue lightened (on
// a dark background) or darkened (on a light one), else for a grey the fallback, the
// palette's text colour for that background (light on dark, dark on light).
QColor ReadableOn(const QColor& wanted, const QColor& background, const QColor& fallback);

// Gives a widget's `role` the wanted colour where it reads on its `background` role, as
// ReadableOn does with the colour the widget's parent has for `role` as the fallback, and
// chooses again whenever the widget's palette changes (the desktop turning light or dark
// while the window is open). A later call for the same role replaces the wanted colour.
void KeepReadable(QWidget* widget, QPalette::ColorRole role, QPalette::ColorRole background,
                  const QColor& wanted);

// Applies a choice to the whole program: Dark and Light set the Fusion style and their
// palette; NoPreference puts back the style and palette there were before the first choice.
void ApplyColorScheme(ColorScheme scheme);

// Follows the portal on a bus: asks for the setting once started, and applies every change
// the portal signals. Nothing waits on the bus: a missing or silent portal leaves the
// desktop's look as it is.
class TDesktopTheme : public QObject {
    Q_OBJECT
  public:
    explicit TDesktopTheme(QDBusConnection bus, QObject* parent = nullptr);

    // Asks the portal and listens for changes. With apply false the scheme is only
    // remembered and signalled (for callers that set the look themselves).
    void start(bool apply = true);
    ColorScheme scheme() const { return scheme_; }
    // Whether the portal has answered (with a value or an error).
    bool answered() const { return answered_; }

  signals:
    void schemeChanged(invarro::ui::ColorScheme scheme);

  private slots:
    void settingChanged(const QDBusMessage& message);

  private:
    void ask(const QString& method);
    void answer(QDBusPendingCallWatcher* call, const QString& method);
    void take(ColorScheme scheme);

    QDBusConnection bus_;
    ColorScheme scheme_ = ColorScheme::NoPreference;
    bool apply_ = true;
    bool answered_ = false;
    bool changedSinceAsked_ = false;
};

}  // namespace invarro::ui
