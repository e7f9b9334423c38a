#include "ui/WindowSupport.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QToolBar>
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
#include "ui/DesktopTheme.h"
#include "ui/IndexBrowserControl.h"
#include "ui/ThemeIcons.h"
#include "ui/WindowChecks.h"

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

QRect ClientArea(const QWidget* window) {
    const QWidget* parent = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QScreen* screen = parent && parent->screen() ? parent->screen()
                            : window->screen()         ? window->screen()
                                                       : QGuiApplication::primaryScreen();
    if (!screen) return QRect(0, 0, window->width(), window->height());
    // Room for a usual title bar at least: before a window is mapped the desktop may report
    // no frame, or only its borders.
    const QSize decoration = window->frameGeometry().size() - window->size();
    return screen->availableGeometry().adjusted(0, 0, -std::max(8, decoration.width()),
                                                -std::max(40, decoration.height()));
}

void RestoreBounds(QWidget* window, const std::string& folder, std::string_view section,
                   int designedWidth, int designedHeight) {
    const data::IniFile ini(data::IniFilePath(folder));
    data::WindowBounds b = data::ReadWindowBounds(ini, section, designedWidth, designedHeight);
    if (b.width < 100) b.width = designedWidth;
    if (b.height < 60) b.height = designedHeight;
    if (QGuiApplication::primaryScreen()) {
        // The stored size is the window's own; its title bar and frame come on top.
        const QRect r = ClientArea(window);
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
        const int rowHeight = list_->RowHeight();
        const int frame = 2 * list_->frameWidth();
        const int listWidth =
            list_->ContentWidth() + frame + list_->verticalScrollBar()->sizeHint().width();
        const int rows = std::clamp(rows_ ? rows_() : 0, 1, storage::kBrowserMaxRows);
        // One line to spare, so that the frame never cuts the last record.
        const int lines = rows + 2 + (list_->Footer().isEmpty() ? 0 : 1);
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
        const QRect inner = ClientArea(window_);
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
    KeepReadable(label, QPalette::WindowText, QPalette::Window, platform::qt::ToQColor(font.color));
}

bool ChoseListFont(const data::CompanyRecord& company) {
    const output::Font font = ManagerFont(company);
    // A new company holds Courier New, 10 points, black, plain.
    return !(font.face == "Courier New" && font.size == 10 && font.style == 0 &&
             font.color.value() == 0);
}

QFont ListFont(const data::CompanyRecord& company) {
    if (ChoseListFont(company)) return platform::qt::ToQFont(ManagerFont(company));
    return QApplication::font();
}

void SetUpManagerList(TIndexBrowser* list, const char* objectName,
                      const data::CompanyRecord& company, platform::Prompter* prompter) {
    list->setObjectName(objectName);
    list->SetPrompter(prompter);
    list->setFont(ListFont(company));
    if (ChoseListFont(company)) {
        // The chosen colour unless it cannot be read on the list's background (black under
        // a dark theme).
        KeepReadable(list, QPalette::Text, QPalette::Base,
                     platform::qt::ToQColor(ManagerFont(company).color));
    }
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
                       size_t size, std::function<std::string()> row, std::string_view header,
                       std::vector<data::ListColumn> columns) {
    list->SetOnBuildRow([row = std::move(row)](TIndexBrowser*, storage::RowRecord& r) {
        r.text = row();
        return 0;
    });
    list->Attach(std::make_unique<storage::Browser>(fb, keyNo, record, int32_t(size)));
    list->SetHeader(QString::fromUtf8(header.data(), qsizetype(header.size())));
    list->SetColumns(std::move(columns));
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

namespace {

bool IsField(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w);
}

// The fields of a layout item in order, looking into nested layouts and plain containers.
void FieldsIn(QLayoutItem* item, std::vector<QWidget*>& out) {
    if (!item) return;
    if (QWidget* w = item->widget()) {
        if (IsField(w)) {
            out.push_back(w);
        } else if (w->layout() && !qobject_cast<QLabel*>(w) &&
                   w->metaObject() == &QWidget::staticMetaObject) {
            FieldsIn(w->layout(), out);
        }
        return;
    }
    if (QLayout* l = item->layout()) {
        for (int i = 0; i < l->count(); ++i)
            FieldsIn(l->itemAt(i), out);
    }
}

// The layout (searched from top down) that holds w directly, and w's index in it.
QLayout* HolderOf(QLayout* layout, const QWidget* w, int& index) {
    if (!layout) return nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w) {
            index = i;
            return layout;
        }
        if (QLayout* inner = HolderOf(item->layout(), w, index)) return inner;
    }
    return nullptr;
}

// The item beside the caption at index of its layout.
QLayoutItem* ItemBeside(QLayout* holder, int index) {
    if (auto* grid = qobject_cast<QGridLayout*>(holder)) {
        int row = 0, col = 0, rowSpan = 0, colSpan = 0;
        grid->getItemPosition(index, &row, &col, &rowSpan, &colSpan);
        for (int c = col + colSpan; c < grid->columnCount(); ++c)
            if (QLayoutItem* item = grid->itemAtPosition(row, c)) return item;
        return nullptr;
    }
    if (auto* form = qobject_cast<QFormLayout*>(holder)) {
        int row = 0;
        QFormLayout::ItemRole role = QFormLayout::LabelRole;
        form->getItemPosition(index, &row, &role);
        return role == QFormLayout::LabelRole ? form->itemAt(row, QFormLayout::FieldRole) : nullptr;
    }
    if (qobject_cast<QBoxLayout*>(holder)) {
        // Spacing and stretch between a caption and its field count for nothing.
        for (int i = index + 1; i < holder->count(); ++i) {
            QLayoutItem* item = holder->itemAt(i);
            if (item->widget() || item->layout()) return item;
        }
    }
    return nullptr;
}

class FieldLabeller : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && !w->property("invarroLabelled").toBool()) {
                w->setProperty("invarroLabelled", true);
                LabelFields(w);
                if (auto* dialog = qobject_cast<QDialog*>(w)) FitDialogToScreen(dialog);
            }
        }
        return false;
    }
};

}  // namespace

void LabelFields(QWidget* window) {
    // A tool bar's overflow button, there when the window is too narrow for every tool,
    // is Qt's own and has neither a caption nor a hint.
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        if (QAbstractButton* more = ToolBarOverflowButton(bar);
            more && more->accessibleName().isEmpty()) {
            more->setAccessibleName(QStringLiteral("More commands"));
            more->setToolTip(QStringLiteral("The commands there is no room for"));
        }
    }
    // A button captioned with signs only ("...", ">>") is named by its hint.
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        const QString text = b->text();
        if (!b->accessibleName().isEmpty() || b->toolTip().isEmpty() ||
            std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            continue;
        b->setAccessibleName(b->toolTip());
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->buddy()) continue;
        QString caption = label->text().trimmed();
        if (!caption.endsWith(QLatin1Char(':')) || !label->parentWidget()) continue;
        int index = -1;
        QLayout* holder = HolderOf(label->parentWidget()->layout(), label, index);
        if (!holder) continue;
        std::vector<QWidget*> fields;
        FieldsIn(ItemBeside(holder, index), fields);
        if (fields.empty()) continue;
        // A caption with an Alt letter of its own but no buddy is left without one, so that
        // no letter starts to clash with the window's others; its field is named instead.
        const bool mnemonic = caption.contains(QLatin1Char('&'));
        caption.chop(1);
        caption.remove(QLatin1Char('&'));
        if (fields.front()->accessibleName().isEmpty()) {
            if (mnemonic)
                fields.front()->setAccessibleName(caption);
            else
                label->setBuddy(fields.front());
        }
        for (size_t i = 1; i < fields.size(); ++i)
            if (fields[i]->accessibleName().isEmpty())
                fields[i]->setAccessibleName(caption + QStringLiteral(" %1").arg(i + 1));
    }
    // The text part of an editable box says what the box is.
    for (QComboBox* box : window->findChildren<QComboBox*>()) {
        QLineEdit* text = box->lineEdit();
        if (!text || !text->accessibleName().isEmpty()) continue;
        QString name = box->accessibleName();
        for (QLabel* label : window->findChildren<QLabel*>())
            if (name.isEmpty() && label->buddy() == box) name = label->text();
        name.remove(QLatin1Char('&'));
        if (name.endsWith(QLatin1Char(':'))) name.chop(1);
        if (!name.isEmpty()) text->setAccessibleName(name);
    }
}

void FitDialogToScreen(QDialog* dialog) {
    const QRect area = ClientArea(dialog);
    if (area.isEmpty()) return;
    auto* top = qobject_cast<QBoxLayout*>(dialog->layout());
    const QSize least = dialog->minimumSizeHint();
    // The manager windows size themselves around their list (PlaceManagerWindow).
    const bool manager = !dialog->findChildren<TIndexBrowser*>().isEmpty();
    if (top && top->count() > 1 && !manager &&
        (least.height() > area.height() || least.width() > area.width())) {
        // Everything above the last row goes into a scrolled page.
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("ScrolledPage"));
        auto* inner = new QVBoxLayout;
        inner->setContentsMargins(0, 0, 0, 0);
        while (top->count() > 1) {
            const int stretch = top->stretch(0);
            QLayoutItem* item = top->takeAt(0);
            if (QLayout* l = item->layout()) l->setParent(nullptr);
            inner->addItem(item);
            inner->setStretch(inner->count() - 1, stretch);
        }
        page->setLayout(inner);
        auto* scroll = new QScrollArea(dialog);
        scroll->setObjectName(QStringLiteral("ScrolledArea"));
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setFocusPolicy(Qt::NoFocus);  // Tab goes from field to field as before
        scroll->setWidget(page);
        top->insertWidget(0, scroll, 1);
        dialog->setMinimumSize(0, 0);
        // As wide as the page wants where the screen has the room, so that its fields keep
        // their widths and only what cannot fit scrolls; as tall as the room allows.
        const QMargins margins = top->contentsMargins();
        const int bar = dialog->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
        const QSize frame(bar + 2 * scroll->frameWidth() + margins.left() + margins.right(),
                          bar + 2 * scroll->frameWidth() + margins.top() + margins.bottom() +
                              top->spacing() + top->itemAt(1)->sizeHint().height());
        const QSize wanted = page->sizeHint() + frame;
        dialog->resize(std::max(dialog->width(), wanted.width()),
                       std::max(dialog->height(), wanted.height()));
    }
    dialog->resize(dialog->size().expandedTo(dialog->minimumSizeHint()).boundedTo(area.size()));
    const QPoint at(std::clamp(dialog->x(), area.left(), area.right() + 1 - dialog->width()),
                    std::clamp(dialog->y(), area.top(), area.bottom() + 1 - dialog->height()));
    dialog->move(at);
}

void LabelFieldsOfEveryWindow() {
    static FieldLabeller* labeller = nullptr;
    if (labeller || !qApp) return;
    labeller = new FieldLabeller(qApp);
    qApp->installEventFilter(labeller);
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
