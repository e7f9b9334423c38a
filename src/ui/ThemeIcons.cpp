#include "ui/ThemeIcons.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QToolButton>

// The program's resources live in a static library: they are registered by hand, since
// nothing else pulls their object file into the program.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace invarro::ui {

namespace {

// clang-format off
constexpr CommandIconName kCommandIcons[] = {
    // Record commands of the managers and editors.
    {"New", "document-new"},
    {"Edit", "document-edit"},
    {"Delete", "edit-delete"},
    {"Find", "edit-find"},
    {"Print", "document-print"},
    {"View", "document-print-preview"},
    {"List", "view-list-text"},
    {"Copy", "edit-copy"},
    {"Export", "document-export"},
    {"Import", "document-import"},
    {"Save", "document-save"},
    {"Open", "folder-open"},
    {"Refresh", "view-refresh"},
    {"Filter", "view-filter"},
    {"Send to PDF", "application-pdf"},
    {"Printer Setup", "printer"},
    {"Help", "help-contents"},
    {"Close", "window-close"},
    // The main window's commands, by their menu captions.
    {"Company Manager", "preferences-system"},
    {"Customer Manager", "x-office-address-book"},
    {"Product Manager", "package-x-generic"},
    {"Invoice Manager", "x-office-document"},
    {"Edit Payment Terms", "document-properties"},
    {"Exit", "application-exit"},
    {"Payment Wizard", "wallet-open"},
    {"Report Wizard", "x-office-spreadsheet"},
    {"Repeat Billing Wizard", "media-playlist-repeat"},
    {"Form Letter Wizard", "mail-message-new"},
    {"Send E-Mail Message", "mail-send"},
    {"Aging Chart", "office-chart-bar"},
    {"Calculator", "accessories-calculator"},
    {"View Calendar", "x-office-calendar"},
    {"Password Setup", "dialog-password"},
    {"Delete Paid Invoices", "edit-delete"},
    {"Backup Data Files", "document-save-all"},
    {"Rebuild Data Files", "run-build"},
    {"Books on a Server", "network-server"},
    {"Topics", "help-contents"},
    {"Frequent Asked Questions", "help-hint"},
    {"Our Web Site", "go-home"},
    {"About", "help-about"},
    {"View PDF Files", "application-pdf"},
};
// clang-format on

void AddSearchPath(QStringList& paths, const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (!paths.contains(clean) && QDir(clean).exists()) paths.append(clean);
}

}  // namespace

std::span<const CommandIconName> CommandIconNames() {
    return kCommandIcons;
}

void SetUpIconTheme() {
    QStringList paths = QIcon::themeSearchPaths();
    // The program's own prefix first (an installation outside /usr), then the XDG folders.
    AddSearchPath(paths, QCoreApplication::applicationDirPath() + "/../share/icons");
    AddSearchPath(paths, QDir::homePath() + "/.icons");
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        AddSearchPath(paths, data + "/icons");
    AddSearchPath(paths, "/usr/local/share/icons");
    AddSearchPath(paths, "/usr/share/icons");
    QIcon::setThemeSearchPaths(paths);
    QIcon::setFallbackThemeName(kFallbackIconTheme);
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName("hicolor");
}

QIcon CommandIcon(std::string_view command, const QIcon& fallback) {
    for (const CommandIconName& entry : kCommandIcons)
        if (entry.command == command) return QIcon::fromTheme(entry.iconName, fallback);
    return fallback;
}

void SetCommandIcon(QAction* action, std::string_view command) {
    action->setIcon(CommandIcon(command));
}

void SetCommandIcons(std::initializer_list<std::pair<QAction*, std::string_view>> actions) {
    for (const auto& [action, command] : actions)
        SetCommandIcon(action, command);
}

void SetCommandIcon(QToolButton* button, std::string_view command) {
    const QIcon icon = CommandIcon(command);
    if (icon.isNull()) return;
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

void ShowActionIcon(QToolButton* button, const QAction* action) {
    if (action->icon().isNull()) return;
    button->setIcon(action->icon());
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

QIcon ApplicationIcon() {
    static const bool registered = (InitIconResources(), true);
    (void)registered;
    return QIcon::fromTheme(kApplicationId, QIcon(QStringLiteral(":/invarro/invarro.svg")));
}

}  // namespace invarro::ui
