// The list viewer: a text list (the customer list and the like) in a read-only rich-text
// view in the company's manager font, with "Print", "Font/Color", "Save to File" and
// "Close". The lines come through the work file "TXTTEMP.TXT" in the data folder, which
// the viewer deletes once it has read it.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Prompter.h"

class QPushButton;
class QTextEdit;

namespace invarro::ui {

class TListViewer : public QDialog {
    Q_OBJECT
  public:
    // title is the window title and the print job's title; proposedFileName is offered by
    // "Save to File" (for example "Customer.RTF").
    TListViewer(platform::Prompter& prompter, const QString& title,
                std::filesystem::path dataFolder, const QFont& font, const QColor& color,
                const QString& proposedFileName, QWidget* parent = nullptr);

    // Reads the work file into the view and deletes it. When it cannot be read, tells
    // the user and returns false.
    bool loadWorkFile();
    void setLines(std::vector<std::string> lines);
    const std::vector<std::string>& lines() const { return lines_; }

    QFont viewFont() const { return font_; }
    QColor viewColor() const { return color_; }
    void setViewFont(const QFont& font, const QColor& color);

    // The buttons' commands.
    void printList();
    void chooseFont();
    void saveToFile();

    // Loads the work file and, when that worked, shows the viewer modally.
    static void ShowWorkFile(platform::Prompter& prompter, const QString& title,
                             const std::filesystem::path& dataFolder, const QFont& font,
                             const QColor& color, const QString& proposedFileName,
                             QWidget* parent = nullptr);

  private:
    void applyFormat();

    platform::Prompter& prompter_;
    std::filesystem::path dataFolder_;
    QString proposedFileName_;
    QFont font_;
    QColor color_;
    std::vector<std::string> lines_;
    QTextEdit* view_;
};

}  // namespace invarro::ui
