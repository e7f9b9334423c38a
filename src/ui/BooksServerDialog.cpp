#include "ui/BooksServerDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace invarro::ui {

namespace {

constexpr const char* kTitle = "Books on a Server";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

TBooksServerDialog::TBooksServerDialog(BooksServerContext context, QWidget* parent)
    : QDialog(parent), c_(std::move(context)) {
    setObjectName("BooksServerDialog");
    setWindowTitle(tr(kTitle));
    auto* layout = new QVBoxLayout(this);
    where_ = new QLabel(this);
    where_->setObjectName("WhereTheBooksAre");
    where_->setWordWrap(true);
    where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where_);

    auto* form = new QFormLayout;
    connection_ = new QLineEdit(this);
    connection_->setObjectName("Connection");
    connection_->setPlaceholderText("host=db.example.com dbname=books user=anna");
    connection_->setToolTip(
        tr("A PostgreSQL connection string, URI or service=NAME, without the password: the "
           "password is taken from the desktop keyring or from ~/.pgpass."));
    rootCertificate_ = new QLineEdit(this);
    rootCertificate_->setObjectName("RootCertificate");
    rootCertificate_->setPlaceholderText(tr("needed for a server not on this machine"));
    form->addRow(tr("&Connection:"), connection_);
    form->addRow(tr("Root &certificate file:"), rootCertificate_);
    layout->addLayout(form);

    auto* note = new QLabel(
        tr("The database must be empty: the books of this folder move into it, are compared "
           "record by record, and the folder then works on the server. The files they came "
           "from are kept in the folder \"Books before the server\". Another person's folder "
           "joins the books with: invarro-cli --data FOLDER server connect CONNECTION"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* buttons = new QDialogButtonBox(this);
    test_ = buttons->addButton(tr("&Test the Connection"), QDialogButtonBox::ActionRole);
    test_->setObjectName("TestButton");
    move_ = buttons->addButton(tr("&Move the Books There..."), QDialogButtonBox::ActionRole);
    move_->setObjectName("MoveButton");
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(test_, &QPushButton::clicked, this, &TBooksServerDialog::testPressed);
    connect(move_, &QPushButton::clicked, this, &TBooksServerDialog::movePressed);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(560);
    refresh();
}

QString TBooksServerDialog::whereText() const {
    return where_->text();
}

void TBooksServerDialog::refresh() {
    QStringList lines;
    for (const std::string& line : c_.port->where())
        lines << Q(line);
    where_->setText(lines.join('\n'));
    const bool files = !c_.port->onServer();
    connection_->setEnabled(files);
    rootCertificate_->setEnabled(files);
    test_->setEnabled(files);
    move_->setEnabled(files);
}

void TBooksServerDialog::testPressed() {
    const std::string why = c_.port->test(connection_->text().trimmed().toStdString(),
                                          rootCertificate_->text().trimmed().toStdString());
    if (why.empty())
        c_.prompter->inform(kTitle,
                            "The server answers, and the database is empty: the books "
                            "can move there.");
    else
        c_.prompter->inform(kTitle, why, platform::Icon::Warning);
}

void TBooksServerDialog::movePressed() {
    const std::string connection = connection_->text().trimmed().toStdString();
    if (connection.empty()) {
        c_.prompter->inform(kTitle, "Enter the server's connection first.",
                            platform::Icon::Warning);
        return;
    }
    if (!c_.prompter->yesNo(kTitle,
                            "Move the books of this folder to the server? Every window of the "
                            "company is closed while they move.",
                            platform::Answer::No, platform::Icon::Question))
        return;
    std::string why;
    if (c_.closeCompanyFiles && !c_.closeCompanyFiles(&why)) {
        c_.prompter->inform(kTitle, "The company's files could not be closed: " + why,
                            platform::Icon::Error);
        return;
    }
    std::string done;
    why = c_.port->moveThere(connection, rootCertificate_->text().trimmed().toStdString(), &done);
    if (c_.reopenCompany) c_.reopenCompany();
    if (!why.empty())
        c_.prompter->inform(kTitle, why, platform::Icon::Error);
    else
        c_.prompter->inform(kTitle, done);
    refresh();
}

}  // namespace invarro::ui
