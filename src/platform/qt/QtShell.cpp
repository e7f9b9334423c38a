#include "platform/qt/QtShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace invarro::platform::qt {

bool QtShell::openFile(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}

bool QtShell::openUrl(const std::string& url) {
    const QString text = QString::fromStdString(url).trimmed();
    if (text.isEmpty()) return false;
    const QUrl u = QUrl::fromUserInput(text);
    if (!u.isValid()) return false;
    // Web and mail addresses only: local files go through openFile.
    static const QStringList allowed{"http", "https", "mailto"};
    if (!allowed.contains(u.scheme(), Qt::CaseInsensitive)) return false;
    return QDesktopServices::openUrl(u);
}

const QStringList& QtShell::CalculatorPrograms() {
    static const QStringList programs = [] {
        QStringList names;
        for (std::string_view name : kCalculatorPrograms)
            names << QString::fromUtf8(name.data(), qsizetype(name.size()));
        return names;
    }();
    return programs;
}

QString QtShell::FindCalculator() {
    for (const QString& name : CalculatorPrograms()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return {};
}

bool QtShell::startCalculator() {
    const QString path = FindCalculator();
    if (path.isEmpty()) return false;
    return QProcess::startDetached(path, {});
}

}  // namespace invarro::platform::qt
