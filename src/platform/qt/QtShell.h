// The desktop shell on Qt: files and addresses open with the desktop's default programs;
// the calculator is the first calculator program found on the search path.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/Shell.h"

namespace invarro::platform::qt {

class QtShell : public Shell {
  public:
    // False when the file does not exist or nothing could open it.
    bool openFile(const std::string& path) override;
    // Web, mail and file addresses; an address without a scheme ("www.example.com") is a
    // web address. Other schemes are refused, so that text from records cannot start
    // arbitrary programs.
    bool openUrl(const std::string& url) override;
    bool startCalculator() override;

    // The calculators looked for, in order of preference.
    static const QStringList& CalculatorPrograms();
    // The full path of the first of them on the search path, or empty.
    static QString FindCalculator();
};

}  // namespace invarro::platform::qt
