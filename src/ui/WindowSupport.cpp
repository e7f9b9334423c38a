#include "ui/WindowSupport.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/IniFile.h"
#include "data/OperationError.h"
#include "data/Texts.h"
#include "output/FileNames.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "storage/Browser.h"
#include "ui/IndexBrowserControl.h"
#include "ui/ThemeIcons.h"

namespace invarro::ui {

QFont QFontOf(const data::FontSetting& font) {
    output::Font f;
    f.face = font.name.empty() ? std::string("Arial") : font.name;
    f.size = font.size > 0 ? font.size : 10;
    f.style = font.style;
    return platform::qt::ToQFont(f);
}

QColor QColorOf(int32_t colour) {
    return platform::qt::ToQColor(output::Color::fromValue(uint32_t(colour)));
}

data::FontSetting FontSettingOf(const QFont& font, const QColor& colour) {
    const output::Font f = platform::qt::FromQFont(font, colour);
    return data::FontSetting{f.face, f.size, int32_t(f.color.value()), f.style};
}

void RestoreBounds(QWidget* window, const std::string& folder, std::string_view section,
                   int designedWidth, int designedHeight) {
    const data::IniFile ini(data::IniFilePath(folder));
    data::WindowBounds b = data::ReadWindowBounds(ini, section, designedWidth, designedHeight);
    if (b.width < 100) b.width = designedWidth;
    if (b.height < 60) b.height = designedHeight;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        b = data::FitToWorkArea(b, data::ScreenArea{r.left(), r.top(), r.width(), r.height()});
    }
    window->move(b.left, b.top);
    window->resize(b.width, b.height);
}

void SaveBounds(const QWidget* window, const std::string& folder, std::string_view section) {
    data::IniFile ini(data::IniFilePath(folder));
    const QRect frame = window->frameGeometry();
    data::WriteWindowBounds(
        ini, section,
        data::WindowBounds{frame.left(), frame.top(), window->width(), window->height()});
}

bool HasStoredBounds(const std::string& folder, std::string_view section) {
    const data::IniFile ini(data::IniFilePath(folder));
    return ini.read(section, "Width").has_value() && ini.read(section, "Height").has_value();
}

QRect FirstBounds(QSize wanted, const std::optional<QRect>& parent, const QRect& area) {
    const int width = std::max(1, std::min(wanted.width(), area.width()));
    const int height = std::max(1, std::min(wanted.height(), area.height()));
    const QPoint centre = parent && parent->isValid() ? parent->center() : area.center();
    const int left = std::clamp(centre.x() - width / 2, area.left(), area.right() + 1 - width);
    const int top = std::clamp(centre.y() - height / 2, area.top(), area.bottom() + 1 - height);
    return QRect(left, top, width, height);
}

namespace {

// Sizes and centres its window once, when the window is first shown: by then the list
// holds its header line and the window knows how many records it lists.
class FirstPlacement : public QObject {
  public:
    FirstPlacement(QDialog* window, TIndexBrowser* list, QSize designed, std::function<int()> rows)
        : QObject(window),
          window_(window),
          list_(list),
          designed_(designed),
          rows_(std::move(rows)) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show) {
            window_->removeEventFilter(this);
            place();
            deleteLater();
        }
        return false;
    }

  private:
    void place() {
        const QFontMetrics fm(list_->font());
        const int rowHeight = std::max(1, fm.height() + std::max(0, fm.leading()));
        const int frame = 2 * list_->frameWidth();
        // The header line names the columns; blanks after the last one take no room.
        QString header = list_->Header();
        while (header.endsWith(' '))
            header.chop(1);
        const int listWidth = fm.horizontalAdvance(header) + 2 * fm.averageCharWidth() + frame +
                              list_->verticalScrollBar()->sizeHint().width();
        const int rows = std::clamp(rows_ ? rows_() : 0, 1, storage::kBrowserMaxRows);
        // One line to spare, so that the frame never cuts the last record.
        const int lines =
            rows + 1 + (list_->Header().isEmpty() ? 0 : 1) + (list_->Footer().isEmpty() ? 0 : 1);
        const int listHeight =
            lines * rowHeight + frame + list_->horizontalScrollBar()->sizeHint().height();

        const QSize hint = window_->sizeHint();
        const QSize listHint = list_->sizeHint();
        QMargins margins;
        if (window_->layout()) margins = window_->layout()->contentsMargins();
        const int width = std::max(
            {designed_.width(), hint.width(), listWidth + margins.left() + margins.right()});
        const int height =
            std::max(designed_.height(), hint.height() - listHint.height() + listHeight);

        QWidget* parent = window_->parentWidget() ? window_->parentWidget()->window() : nullptr;
        const QScreen* screen =
            parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, width, height);
        // The title bar and frame come on top of the window's own size; before the window
        // was ever mapped they are not known yet, and a usual allowance stands in.
        QSize decoration = window_->frameGeometry().size() - window_->size();
        if (decoration.width() <= 0 && decoration.height() <= 0) decoration = QSize(8, 32);
        const QRect inner = area.adjusted(0, 0, -std::max(0, decoration.width()),
                                          -std::max(0, decoration.height()));
        const std::optional<QRect> around =
            parent ? std::optional<QRect>(parent->frameGeometry()) : std::nullopt;
        const QRect bounds = FirstBounds(QSize(width, height), around, inner);
        window_->resize(bounds.size());
        window_->move(bounds.topLeft());
    }

    QDialog* window_;
    TIndexBrowser* list_;
    QSize designed_;
    std::function<int()> rows_;
};

}  // namespace

void PlaceManagerWindow(QDialog* window, TIndexBrowser* list, const std::string& folder,
                        std::string_view section, int designedWidth, int designedHeight,
                        std::function<int()> rows) {
    if (HasStoredBounds(folder, section) || !list) {
        RestoreBounds(window, folder, section, designedWidth, designedHeight);
        return;
    }
    window->resize(designedWidth, designedHeight);
    new FirstPlacement(window, list, QSize(designedWidth, designedHeight), std::move(rows));
}

void Guarded(platform::Prompter& prompter, const std::function<void()>& command) {
    try {
        command();
    } catch (const data::OperationError& e) {
        prompter.inform(std::string(data::kAppTitle), e.what(), platform::Icon::Error);
    } catch (const storage::BrowserError& e) {
        prompter.inform(std::string(data::kAppTitle), e.what(), platform::Icon::Error);
    }
}

QPushButton* AddRunButtons(QDialog* window, QBoxLayout* layout, const QString& runCaption,
                           const ButtonNames& names,
                           const std::function<void(const std::string&)>& openHelp,
                           const std::string& topic) {
    auto* row = new QHBoxLayout;
    auto* run = new QPushButton(runCaption, window);
    run->setObjectName(names.action);
    run->setEnabled(false);
    auto* cancel = new QPushButton("&Cancel", window);
    cancel->setObjectName(names.cancel);
    auto* help = new QPushButton("Help", window);
    help->setObjectName(names.help);
    help->setEnabled(bool(openHelp));
    row->addStretch(1);
    row->addWidget(run);
    row->addWidget(cancel);
    row->addWidget(help);
    layout->addLayout(row);
    QObject::connect(cancel, &QPushButton::clicked, window, &QDialog::reject);
    QObject::connect(help, &QPushButton::clicked, window, [openHelp, topic] {
        if (openHelp) openHelp(topic);
    });
    return run;
}

EditorButtons MakeEditorButtons(QDialog* editor, const ButtonNames& names,
                                const QString& helpCaption) {
    EditorButtons b;
    auto* ok = new QPushButton("&Ok", editor);
    ok->setObjectName(names.action);
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", editor);
    cancel->setObjectName(names.cancel);
    cancel->setAutoDefault(false);
    b.help = new QPushButton(helpCaption, editor);
    b.help->setObjectName(names.help);
    b.help->setAutoDefault(false);
    b.help->setEnabled(false);
    b.row = new QHBoxLayout;
    b.row->addStretch(1);
    b.row->addWidget(ok);
    b.row->addWidget(cancel);
    b.row->addWidget(b.help);
    QObject::connect(ok, &QPushButton::clicked, editor, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, editor, &QDialog::reject);
    return b;
}

bool SaveShowingErrors(QWidget* window, platform::Prompter& prompter,
                       const std::function<void()>& save) {
    try {
        save();
    } catch (const std::exception& e) {
        prompter.inform(window->windowTitle().toStdString(), e.what(), platform::Icon::Error);
        return false;
    }
    return true;
}

ManagerStatusBar MakeManagerStatusBar(QWidget* window, int countWidth) {
    ManagerStatusBar s;
    s.bar = new QStatusBar(window);
    s.bar->setSizeGripEnabled(false);
    s.count = new QLabel(window);
    s.count->setObjectName("CountPanel");
    s.count->setMinimumWidth(countWidth);
    s.message = new QLabel(window);
    s.message->setObjectName("MessagePanel");
    s.bar->addWidget(s.count);
    s.bar->addWidget(s.message, 1);
    return s;
}

void SetUpManagerDialog(QDialog* window, const char* objectName) {
    window->setObjectName(objectName);
    window->setModal(true);
    window->setSizeGripEnabled(true);
}

void UseClockOrOwn(const platform::Clock*& clock, std::unique_ptr<platform::Clock>& own) {
    if (clock) return;
    own = std::make_unique<platform::SystemClock>();
    clock = own.get();
}

void ApplyEditorFont(QLabel* label, const data::CompanyRecord& company) {
    const output::Font font = EditorFont(company);
    label->setFont(platform::qt::ToQFont(font));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, platform::qt::ToQColor(font.color));
    label->setPalette(palette);
}

void SetUpManagerList(TIndexBrowser* list, const char* objectName,
                      const data::CompanyRecord& company, platform::Prompter* prompter) {
    list->setObjectName(objectName);
    list->SetPrompter(prompter);
    const output::Font font = ManagerFont(company);
    list->setFont(platform::qt::ToQFont(font));
    QPalette palette = list->palette();
    palette.setColor(QPalette::Text, platform::qt::ToQColor(font.color));
    list->setPalette(palette);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->OnKeyPress = [](TIndexBrowser*, QChar& c) { c = c.toUpper(); };
}

QVBoxLayout* MakeManagerLayout(QDialog* window) {
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(2);
    return layout;
}

QAction* MakeCommand(QObject* owner, const char* name, const QString& text,
                     std::function<void()> run) {
    auto* a = new QAction(text, owner);
    a->setObjectName(name);
    if (run)
        QObject::connect(a, &QAction::triggered, owner, std::move(run));
    else
        a->setEnabled(false);
    return a;
}

QAction* MakeCloseCommand(QDialog* window) {
    auto* a = new QAction("&Close", window);
    a->setObjectName("CloseAct");
    QObject::connect(a, &QAction::triggered, window, &QDialog::reject);
    return a;
}

QMenu* MakeListPopup(QWidget* owner, QWidget* list) {
    auto* popup = new QMenu(owner);
    popup->setObjectName("PopupMenu");
    QObject::connect(list, &QWidget::customContextMenuRequested, popup,
                     [popup, list](const QPoint& p) { popup->popup(list->mapToGlobal(p)); });
    return popup;
}

void AttachManagerList(TIndexBrowser* list, storage::Fileblock* fb, int keyNo, uint8_t* record,
                       size_t size, std::function<std::string()> row, std::string_view header) {
    list->SetOnBuildRow([row = std::move(row)](TIndexBrowser*, storage::RowRecord& r) {
        r.text = row();
        return 0;
    });
    list->Attach(std::make_unique<storage::Browser>(fb, keyNo, record, int32_t(size)));
    list->SetHeader(QString::fromUtf8(header.data(), qsizetype(header.size())));
}

QToolButton* MakeCommandButton(QWidget* parent, const char* name, const QString& text,
                               const QString& hint, QAction* command) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    ShowActionIcon(b, command);
    b->setEnabled(command->isEnabled());
    QObject::connect(command, &QAction::changed, b,
                     [b, command] { b->setEnabled(command->isEnabled()); });
    QObject::connect(b, &QToolButton::clicked, command, &QAction::trigger);
    return b;
}

std::string StoredPictureName(const std::string& folder, const QString& chosen) {
    const QFileInfo file(chosen);
    if (QFileInfo(file.absolutePath()).canonicalFilePath() ==
        QFileInfo(QString::fromStdString(folder)).canonicalFilePath())
        return file.fileName().toStdString();
    return file.absoluteFilePath().toStdString();
}

DialogButtons MakeDialogButtons(QDialog* dialog, const QString& okCaption,
                                std::function<void()> onHelp) {
    DialogButtons b;
    b.box = new QDialogButtonBox(dialog);
    b.ok = b.box->addButton(okCaption, QDialogButtonBox::AcceptRole);
    b.ok->setObjectName(QStringLiteral("OKBtn"));
    b.cancel = b.box->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    b.cancel->setObjectName(QStringLiteral("CancelBtn"));
    b.help = b.box->addButton(QStringLiteral("&Help"), QDialogButtonBox::HelpRole);
    b.help->setObjectName(QStringLiteral("HelpBtn"));
    b.help->setEnabled(bool(onHelp));
    QObject::connect(b.box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    if (onHelp) QObject::connect(b.help, &QPushButton::clicked, dialog, std::move(onHelp));
    return b;
}

namespace {

using data::Company;

output::Font CompanyFont(const data::CompanyRecord& c,
                         data::FieldRef<Company, data::FieldKind::Text> name,
                         data::FieldRef<Company, data::FieldKind::Int32> size,
                         data::FieldRef<Company, data::FieldKind::Int32> color,
                         data::FieldRef<Company, data::FieldKind::Style> style,
                         const char* fallbackFace) {
    output::Font f;
    f.face = std::string(data::TrimText(c.text(name)));
    if (f.face.empty()) f.face = fallbackFace;
    f.size = c.int32(size) > 0 ? c.int32(size) : 10;
    f.color = output::Color::fromValue(uint32_t(c.int32(color)));
    f.style = c.style(style);
    return f;
}

}  // namespace

output::Font ManagerFont(const data::CompanyRecord& c) {
    return CompanyFont(c, Company::MgrFontName, Company::MgrFontSize, Company::MgrFontColor,
                       Company::MgrFontStyle, "Courier New");
}

output::Font EditorFont(const data::CompanyRecord& c) {
    return CompanyFont(c, Company::EditorFontName, Company::EditorFontSize,
                       Company::EditorFontColor, Company::EditorFontStyle, "Arial");
}

bool PrinterReady(platform::Prompter& prompter, const std::string& title,
                  const std::string& document, const std::string& dataFolder) {
    QPrinter& printer = platform::qt::ProgramPrinter();
    if (!platform::qt::PrinterAvailable(printer)) {
        prompter.inform(title,
                        "No printer is available. Install a printer, or choose printing to a "
                        "file in the printer set-up.",
                        platform::Icon::Warning);
        return false;
    }
    if (!document.empty() && !dataFolder.empty() && platform::qt::PrintsToFile(printer)) {
        const std::string folder = output::PdfFolder(dataFolder);
        std::string error;
        if (!data::EnsureFolder(folder, &error)) {
            prompter.inform(title, error, platform::Icon::Error);
            return false;
        }
        platform::qt::ProposePrintFile(printer, folder, document);
    }
    return MayReplacePrintFile(prompter, title);
}

bool MayReplacePrintFile(platform::Prompter& prompter, const std::string& title) {
    const std::string file = platform::qt::PrintFileInTheWay(platform::qt::ProgramPrinter());
    if (file.empty()) return true;
    platform::Message m;
    m.title = title;
    m.text = "The file " + file + " already exists. Do you want to replace it?";
    m.icon = platform::Icon::Question;
    m.buttons = platform::Buttons::YesNo;
    m.defaultButton = platform::Answer::No;
    return prompter.ask(m) == platform::Answer::Yes;
}

std::string SentToPrinterText(const std::string& number, const std::string& printer) {
    return "Document " + number + " sent to " + (printer.empty() ? "the printer" : printer) + ".";
}

void PrintWindowImage(QWidget* window, platform::Prompter& prompter) {
    if (!PrinterReady(prompter, "Print Window")) return;
    QPrinter& printer = platform::qt::ProgramPrinter();
    const QPixmap image = window->grab();
    printer.setDocName(window->windowTitle());
    QPainter painter;
    if (!painter.begin(&printer)) {
        prompter.inform("Print Window", "The window could not be printed.", platform::Icon::Error);
        return;
    }
    // The window's image across the page width, keeping its proportions.
    const QRect page = painter.viewport();
    const QSize size = image.size().scaled(page.width(), page.height(), Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(page.topLeft(), size), image);
    painter.end();
}

}  // namespace invarro::ui
