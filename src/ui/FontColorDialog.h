// The font dialog with a colour: face, size and style from the font dialog, and a colour
// chosen beside it, as the program's font settings keep them together.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QFontDialog;
class QLabel;
class QPushButton;

namespace invarro::ui {

class TFontColorDialog : public QDialog {
    Q_OBJECT
  public:
    TFontColorDialog(const QString& title, const QFont& font, const QColor& color,
                     QWidget* parent = nullptr, bool fixedPitchOnly = false);

    // The font as chosen; the font given when the user left face, size and style alone.
    QFont selectedFont() const;
    QColor selectedColor() const { return color_; }
    void setSelectedFont(const QFont& font);
    void setSelectedColor(const QColor& color);

    // Shows the dialog; on OK stores the choice in font and color and returns true.
    static bool GetFontAndColor(QFont& font, QColor& color, QWidget* parent, const QString& title,
                                bool fixedPitchOnly = false);

  private:
    void chooseColor();
    void updateSample();
    void showFont(const QFont& font);

    QFontDialog* fonts_;
    QPushButton* colorButton_;
    QLabel* sample_;
    QColor color_;
    QFont given_;  // the font as the caller named it ("Courier New")
    QFont shown_;  // the font as the dialog lists it ("Liberation Mono")
};

}  // namespace invarro::ui
