// TREMain, the "Form Letter Wizard": a small rich-text word processor for letters with
// merge codes. It opens and saves ".RTF" and ".TXT" letters, lists the merge codes, opens
// the label wizard to build the queue, and prints one merged copy of the letter per
// queued customer without touching the letter in the editor.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "ui/CustContext.h"
#include "ui/LetterDocument.h"

class QAction;
class QComboBox;
class QFontComboBox;
class QLabel;
class QTextCharFormat;
class QTextEdit;
class QToolButton;
class QWidget;

namespace invarro::ui {

class TRuler;

class TREMain : public QDialog {
    Q_OBJECT
  public:
    TREMain(const CustomerWindowContext& context, QWidget* parent = nullptr);

    static void Run(const CustomerWindowContext& context, QWidget* parent = nullptr);

    // Tests choose files, answer the print dialog and print without the desktop's dialogs.
    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    void setPrintDialog(std::function<bool()> dialog) { printDialog_ = std::move(dialog); }
    void setLetterSink(output::LetterSink* sink) { sink_ = sink; }
    // Replaces the label wizard behind "Queue".
    void setQueueWindow(std::function<void()> window) { queueWindow_ = std::move(window); }

    // The commands.
    bool newLetter();
    bool openLetter();
    bool openFile(const QString& file);
    bool save();
    bool saveAs();
    bool saveTo(const QString& file);
    void queue();
    void print();
    void printerSetup();
    void chooseFont();
    void overview();

    // Asks "Save changes to %s?" when the letter was changed; false when the user cancels
    // (or the save failed).
    bool queryClose();

    QTextEdit* editor() const { return editor_; }
    QString fileName() const { return fileName_; }
    QComboBox* codeList() const { return codes_; }
    bool modified() const;

    // Close: asks about unsaved changes first.
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    QAction* action(const char* name, const QString& text, std::function<void()> slot);
    void updateCaption();
    void setFileName(const QString& file);
    void applyCharFormat(const QTextCharFormat& format);
    void showCurrentFormat();
    void setAlignment(Qt::Alignment alignment);
    void toggleBullet(bool on);
    void setBusy(bool busy);

    CustomerWindowContext ctx_;
    FileChooser chooser_;
    std::function<bool()> printDialog_;
    std::function<void()> queueWindow_;
    output::LetterSink* sink_ = nullptr;
    QString fileName_;  // kUntitled for a new letter, else the full path
    bool updatingControls_ = false;

    QTextEdit* editor_ = nullptr;
    TRuler* ruler_ = nullptr;
    QWidget* progressPanel_ = nullptr;
    QLabel* progressText_ = nullptr;
    QFontComboBox* fontName_ = nullptr;
    QComboBox* fontSize_ = nullptr;
    QComboBox* codes_ = nullptr;
    QToolButton* bold_ = nullptr;
    QToolButton* italic_ = nullptr;
    QToolButton* underline_ = nullptr;
    QToolButton* alignLeft_ = nullptr;
    QToolButton* alignCenter_ = nullptr;
    QToolButton* alignRight_ = nullptr;
    QToolButton* bullets_ = nullptr;
};

}  // namespace invarro::ui
