// TLabelWiz, "Label Wizard / Print Queue": the program's label queue with the commands
// that fill and empty it, save, load and export it, the label layout (opened from and
// saved to ".LBL" files) and the printing of the queue on label sheets, with a preview.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/Labelwiz.h"
#include "ui/CustContext.h"
#include "ui/LetterDocument.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace invarro::ui {

class TLabelWiz : public QDialog {
    Q_OBJECT
  public:
    // customers: the company's customer file when the opener holds it open already (the
    // customer manager); else the window opens it for each command that reads it.
    TLabelWiz(const CustomerWindowContext& context, QWidget* parent = nullptr,
              storage::Fileblock* customers = nullptr);

    // Opens the window modally on the program's queue.
    static void Run(const CustomerWindowContext& context, QWidget* parent = nullptr,
                    storage::Fileblock* customers = nullptr);

    // Tests choose files without the dialog.
    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // ---------------------------------------------------------------- the layout
    // Loads the layout named in "Lastlbl.DAT", as the window does when it opens.
    void loadLastLayout();
    bool openLayout(const QString& file);
    void openLayoutCommand();
    bool saveLayoutAs();
    void chooseFont();
    void chooseBitmap();
    output::LabelLayout layoutFromControls() const;
    // The resolution the layout's measures are in ("Dots per inch"), 300 unless usable.
    int dotsPerInch() const;
    void showLayout(const output::LabelLayout& layout);
    bool printingEnabled() const;

    // ---------------------------------------------------------------- the queue
    void findAndAdd();
    void loadAll();
    // category 0..3: the four aging buttons.
    void loadAging(int category);
    void loadFiltered();
    void deleteRecord();
    void clearAll();
    void saveRecords();
    void loadRecords();
    void exportAddresses();
    void refreshList();
    // Other programs changed fileblocks (storage::FileblockName): when the company's customer
    // file is among them the queue shows its customers as on file now, keeping its order and
    // the highlighted row.
    void changedElsewhere(const std::vector<std::string>& names);

    // ---------------------------------------------------------------- printing
    void printLabels();
    void printPreview();
    void calibrationRuler();
    void printSetup();

    QString statusText() const;
    QTreeWidget* list() const { return list_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void buildWindow();
    QAction* action(const char* name, const QString& text, void (TLabelWiz::*slot)());
    template <class Body>
    void guarded(Body&& body);
    void setStatus(const QString& text);
    void setReady();
    void setPrintingEnabled(bool on);
    // The measures in inches (millimetres where the locale is metric) beside the dots.
    void showMeasures();
    void queueChanged(bool waiting);
    // The customer file for one command, closed at its end unless the opener holds it;
    // fb is null when it cannot be opened (the user has been told).
    struct CustomerFile {
        storage::Fileblock* fb = nullptr;
        bool own = false;
        CustomerFile() = default;
        CustomerFile(storage::Fileblock* f, bool o) : fb(f), own(o) {}
        CustomerFile(const CustomerFile&) = delete;
        CustomerFile& operator=(const CustomerFile&) = delete;
        ~CustomerFile() {
            if (own && fb) storage::CloseFileblock(fb);
        }
    };
    std::unique_ptr<CustomerFile> openCustomers();
    // The queued customers as they are on file, in queue order; numbers no longer on
    // file go to missing. Nothing when the customer file cannot be opened (the user has
    // been told).
    std::optional<std::vector<data::CustomerRecord>> queuedCustomers(
        std::vector<std::string>& missing);
    // Checks the queue and the layout and settles unsaved layout changes; nothing when
    // printing is not to go on.
    std::optional<output::LabelPrintOptions> readyToPrint(const char* title);
    // Appends the customers that pass and are not queued yet; -1 when the file cannot be
    // opened. Those queued already are counted in queuedAlready_.
    int appendFromFile(const std::function<bool(const data::CustomerRecord&)>& test);
    // "n records were added.", and how many were in the queue already.
    void reportAdded(int added);
    int queuedAlready_ = 0;

    CustomerWindowContext ctx_;
    storage::Fileblock* sharedCustomers_ = nullptr;
    output::LabelQueue ownQueue_;
    output::LabelQueue* queue_;
    FileChooser chooser_;
    output::LabelLayout baseline_;  // the layout last opened or saved
    output::Font font_;
    bool printing_ = false;

    QLineEdit* description_ = nullptr;
    QLineEdit* left_ = nullptr;
    QLineEdit* top_ = nullptr;
    QLineEdit* columns_ = nullptr;
    QLineEdit* rows_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QLineEdit* dotsPerInch_ = nullptr;
    std::vector<std::pair<QLineEdit*, QLabel*>> measures_;
    QLabel* fontSample_ = nullptr;
    QCheckBox* useShipping_ = nullptr;
    QCheckBox* returnAddress_ = nullptr;
    QLineEdit* bitmap_ = nullptr;
    QCheckBox* printLine_ = nullptr;
    QLineEdit* lineWidth_ = nullptr;
    QLineEdit* sendTo_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* copies_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* count_ = nullptr;
    std::vector<QPushButton*> agingButtons_;
    QAction* printAct_ = nullptr;
    QAction* previewAct_ = nullptr;
};

}  // namespace invarro::ui
