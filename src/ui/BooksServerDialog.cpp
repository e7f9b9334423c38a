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

    moveNote_ = new QLabel(this);
    moveNote_->setObjectName("MoveNote");
    moveNote_->setWordWrap(true);
    layout->addWidget(moveNote_);

    auto* join = new QFormLayout;
    newFolder_ = new QLineEdit(this);
    newFolder_->setObjectName("NewFolder");
    newFolder_->setPlaceholderText(tr("/home/anna/Invarro office"));
    newFolder_->setToolTip(
        tr("A new or empty folder that is to work in the books on the server named above, "
           "for one more person or program on this machine."));
    join->addRow(tr("Connect a new &folder:"), newFolder_);
    layout->addLayout(join);
    auto* joinNote = new QLabel(
        tr("With a folder given, the test asks whether the server holds books a folder can "
           "join. The company in use there is the first company of the books; start the "
           "program with that folder to work in them."),
        this);
    joinNote->setWordWrap(true);
    layout->addWidget(joinNote);

    auto* buttons = new QDialogButtonBox(this);
    test_ = buttons->addButton(tr("&Test the Connection"), QDialogButtonBox::ActionRole);
    test_->setObjectName("TestButton");
    move_ = buttons->addButton(tr("&Move the Books There..."), QDialogButtonBox::ActionRole);
    move_->setObjectName("MoveButton");
    connect_ = buttons->addButton(tr("Co&nnect the Folder"), QDialogButtonBox::ActionRole);
    connect_->setObjectName("ConnectButton");
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(test_, &QPushButton::clicked, this, &TBooksServerDialog::testPressed);
    connect(move_, &QPushButton::clicked, this, &TBooksServerDialog::movePressed);
    connect(connect_, &QPushButton::clicked, this, &TBooksServerDialog::connectPressed);
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
    move_->setEnabled(files);
    // Moving is what a folder in files can do; a server's folder is told what it can do.
    moveNote_->setText(
        files ? tr("To move the books of this folder there, the database must be empty: the "
                   "books move into it, are compared record by record, and the folder then "
                   "works on the server. The files they came from are kept in the folder "
                   "\"Books before the server\".")
              : tr("The books of this folder are on the server above. To let one more person "
                   "or program on this machine work in them, give a new folder below."));
    // On a server, a folder joins the same books unless another server is typed in.
    if (!files && connection_->text().trimmed().isEmpty()) {
        std::string connection, root;
        c_.port->ownSetting(&connection, &root);
        connection_->setText(Q(connection));
        rootCertificate_->setText(Q(root));
    }
}

void TBooksServerDialog::testPressed() {
    const std::string connection = connection_->text().trimmed().toStdString();
    const std::string root = rootCertificate_->text().trimmed().toStdString();
    if (connection.empty()) {
        c_.prompter->inform(kTitle, "Enter the server's connection first.",
                            platform::Icon::Warning);
        return;
    }
    const bool joining = !newFolder_->text().trimmed().isEmpty() || c_.port->onServer();
    const std::string why =
        joining ? c_.port->testJoin(connection, root) : c_.port->test(connection, root);
    if (!why.empty())
        c_.prompter->inform(kTitle, why, platform::Icon::Warning);
    else if (joining)
        c_.prompter->inform(kTitle,
                            "The server answers, and the database holds books: a new folder "
                            "can work in them.");
    else
        c_.prompter->inform(kTitle,
                            "The server answers, and the database is empty: the books "
                            "can move there.");
}

void TBooksServerDialog::connectPressed() {
    const std::string folder = newFolder_->text().trimmed().toStdString();
    const std::string connection = connection_->text().trimmed().toStdString();
    if (folder.empty()) {
        c_.prompter->inform(kTitle,
                            "Enter the new or empty folder that is to work in the books on "
                            "the server.",
                            platform::Icon::Warning);
        newFolder_->setFocus();
        return;
    }
    if (connection.empty()) {
        c_.prompter->inform(kTitle, "Enter the server's connection first.",
                            platform::Icon::Warning);
        connection_->setFocus();
        return;
    }
    std::string done;
    const std::string why = c_.port->connectFolder(
        folder, connection, rootCertificate_->text().trimmed().toStdString(), &done);
    if (!why.empty()) {
        c_.prompter->inform(kTitle, why, platform::Icon::Error);
        return;
    }
    c_.prompter->inform(kTitle, done);
    newFolder_->clear();
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
