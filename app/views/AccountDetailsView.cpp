#include "app/views/AccountDetailsView.h"

#include "app/models/AccountDetailsViewModel.h"
#include "app/views/LinkOpener.h"
#include "app/views/SettingsSymbols.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

namespace Vantorel {

namespace {

AccountDetailsView::FileDialogFactory &defaultFactory()
{
    static AccountDetailsView::FileDialogFactory factory;
    return factory;
}

QString instructionHtml(const QPalette &palette)
{
    const auto plain = [](const QString &text) { return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")); };
    const QString link = palette.color(QPalette::Link).name();
    return plain(QObject::tr("To get started, sign in with your App Store Connect API key. If you don't have one, you "
                             "can obtain one by heading to ")) +
           QStringLiteral("<span style=\"color:%1; text-decoration:underline\">%2</span>")
               .arg(link, plain(QObject::tr("App Store Connect > Users and Access > Keys"))) +
           plain(QObject::tr(". To be able to access apps and reviews, you need ")) + QStringLiteral("<b>") +
           plain(QObject::tr("App Manager")) + QStringLiteral("</b>") +
           plain(QObject::tr(" access. To respond to reviews, you need ")) + QStringLiteral("<b>") +
           plain(QObject::tr("Admin")) + QStringLiteral("</b>") +
           plain(QObject::tr(" access.\n\nThe keys are saved locally on this computer and we use them to make direct "
                             "connections to App Store Connect from the app. We do not have access to your keys for "
                             "privacy and security."));
}

QLineEdit *field(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

// Where a downloaded key file lands: the user's Downloads folder, else home.
QString keyFileFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir())
        return downloads;
    return QDir::homePath();
}

// Shows `value` unless the field already holds it, so typing keeps its cursor.
void showText(QLineEdit *edit, const QString &value)
{
    if (edit->text() != value)
        edit->setText(value);
}

}  // namespace

AccountDetailsView::AccountDetailsView(std::shared_ptr<Fennick::Account> account, QWidget *parent)
    : QWidget(parent), m_model(new AccountDetailsViewModel(std::move(account), this)),
      m_fileDialogFactory(defaultFactory())
{
    setObjectName(QStringLiteral("accountDetails"));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);

    m_instructions = new QLabel(this);
    m_instructions->setObjectName(QStringLiteral("instructions"));
    m_instructions->setTextFormat(Qt::RichText);
    m_instructions->setText(instructionHtml(palette()));
    m_instructions->setWordWrap(true);
    m_instructions->setFont(small);
    m_instructions->setTextInteractionFlags(Qt::NoTextInteraction);
    m_instructions->setCursor(Qt::PointingHandCursor);
    m_instructions->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    m_instructions->setContentsMargins(0, 0, 0, 12);
    m_instructions->installEventFilter(this);

    m_name = field(QStringLiteral("nameField"), this);
    m_issuerId = field(QStringLiteral("issuerIdField"), this);
    m_keyId = field(QStringLiteral("keyIdField"), this);

    m_selectKey = new QPushButton(tr("Select P8 Key…"), this);
    m_selectKey->setObjectName(QStringLiteral("selectKeyButton"));
    m_keyIcon = new QLabel(this);
    m_keyIcon->setObjectName(QStringLiteral("keyIcon"));
    auto *keyRow = new QHBoxLayout;
    keyRow->setContentsMargins(0, 2, 0, 2);
    keyRow->addWidget(m_selectKey, 0, Qt::AlignVCenter);
    keyRow->addWidget(m_keyIcon, 0, Qt::AlignVCenter);
    keyRow->addStretch(1);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    auto *dividerRow = new QVBoxLayout;
    dividerRow->setContentsMargins(0, 8, 0, 8);
    dividerRow->addWidget(divider);

    m_signIn = new QPushButton(this);
    m_signIn->setObjectName(QStringLiteral("signInButton"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("signInProgress"));
    m_progress->setRange(0, 0);  // busy: no known end
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(120);
    m_progress->setMaximumHeight(m_signIn->sizeHint().height() / 2);
    m_progress->setAccessibleName(tr("Signing in"));
    auto *signInRow = new QHBoxLayout;
    signInRow->addWidget(m_signIn);
    signInRow->addWidget(m_progress);
    signInRow->addStretch(1);

    auto *form = new QFormLayout;
    // Inside the layout below, which has no spacing, the form would inherit none: labels would
    // touch their fields and fields each other. Take the style's spacing.
    const auto styleSpacing = [this](QStyle::PixelMetric metric, QSizePolicy::ControlType next, Qt::Orientation along) {
        const int spacing = style()->pixelMetric(metric, nullptr, this);
        return spacing >= 0 ? spacing
                            : style()->combinedLayoutSpacing(QSizePolicy::Label, next, along, nullptr, this);
    };
    form->setHorizontalSpacing(styleSpacing(QStyle::PM_LayoutHorizontalSpacing, QSizePolicy::LineEdit, Qt::Horizontal));
    form->setVerticalSpacing(styleSpacing(QStyle::PM_LayoutVerticalSpacing, QSizePolicy::Label, Qt::Vertical));
    form->addRow(tr("Name:"), m_name);
    form->addRow(tr("Issuer ID:"), m_issuerId);
    form->addRow(tr("Key ID:"), m_keyId);
    form->addRow(QString(), keyRow);
    form->addRow(dividerRow);
    form->addRow(QString(), signInRow);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(m_instructions);
    layout->addLayout(form);
    layout->addStretch(1);

    Fennick::Account *edited = m_model->account().get();
    connect(m_name, &QLineEdit::textEdited, edited, &Fennick::Account::setName);
    connect(m_issuerId, &QLineEdit::textEdited, edited, &Fennick::Account::setIssuerId);
    connect(m_keyId, &QLineEdit::textEdited, edited, &Fennick::Account::setKeyId);
    for (auto changed : {&Fennick::Account::nameChanged, &Fennick::Account::issuerIdChanged,
                         &Fennick::Account::keyIdChanged, &Fennick::Account::keyBlobChanged,
                         &Fennick::Account::isNewChanged}) {
        connect(edited, changed, this, &AccountDetailsView::showAccount);
    }
    connect(m_selectKey, &QPushButton::clicked, this, &AccountDetailsView::chooseKeyFile);
    connect(m_signIn, &QPushButton::clicked, m_model, [this] { m_model->signIn(); });
    connect(m_model, &AccountDetailsViewModel::canSignInChanged, this, &AccountDetailsView::showSigningIn);
    connect(m_model, &AccountDetailsViewModel::isSigningInChanged, this, &AccountDetailsView::showSigningIn);
    connect(m_model, &AccountDetailsViewModel::alertRequested, this, &AccountDetailsView::showAlert);
    connect(m_model, &AccountDetailsViewModel::dismissRequested, this, &AccountDetailsView::dismissRequested);

    showAccount();
    showSigningIn();
}

AccountDetailsView::~AccountDetailsView() = default;

const std::shared_ptr<Fennick::Account> &AccountDetailsView::account() const
{
    return m_model->account();
}

void AccountDetailsView::setFileDialogFactory(FileDialogFactory factory)
{
    m_fileDialogFactory = std::move(factory);
}

void AccountDetailsView::setDefaultFileDialogFactory(FileDialogFactory factory)
{
    defaultFactory() = std::move(factory);
}

void AccountDetailsView::openKeysPage()
{
    openLink(AccountDetailsViewModel::keysPageUrl(), this);
}

bool AccountDetailsView::eventFilter(QObject *watched, QEvent *event)
{
    // A click anywhere on the instructions opens the keys page.
    if (watched == m_instructions && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
        m_instructions->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint())) {
        openKeysPage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AccountDetailsView::chooseKeyFile()
{
    // A new dialog on every press, also after the last one was cancelled.
    QFileDialog *dialog = m_fileDialogFactory ? m_fileDialogFactory(this) : new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("keyFileDialog"));
    dialog->setWindowTitle(tr("Select P8 Key"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setDirectory(keyFileFolder());
    dialog->setNameFilters({tr("P8 keys and plain text (*.p8 *.txt *.text)"), tr("P8 keys (*.p8)"),
                            tr("Plain text (*.txt *.text)")});
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, m_model, &AccountDetailsViewModel::importKeyFile);
    dialog->open();
}

void AccountDetailsView::showAccount()
{
    const Fennick::Account &account = *m_model->account();
    showText(m_name, account.name());
    showText(m_issuerId, account.issuerId());
    showText(m_keyId, account.keyId());
    const bool hasKey = account.keyBlob().has_value();
    const SettingsSymbol symbol = hasKey ? SettingsSymbol::checkmarkCircleFill : SettingsSymbol::arrowBackwardCircleFill;
    const QColor color = hasKey ? palette().color(QPalette::WindowText) : QColor(142, 142, 147);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    m_keyIcon->setPixmap(drawnSettingsSymbol(symbol, color).pixmap(QSize(size, size), devicePixelRatioF()));
    m_keyIcon->setProperty("symbol", settingsSymbolName(symbol));
    m_keyIcon->setAccessibleName(hasKey ? tr("Key file read") : tr("No key file"));
    m_signIn->setText(account.isNew() ? tr("Sign In") : tr("Save"));
}

void AccountDetailsView::showSigningIn()
{
    m_signIn->setEnabled(m_model->canSignIn());
    m_progress->setVisible(m_model->isSigningIn());
}

void AccountDetailsView::showAlert(const QString &description)
{
    auto *alert = new QMessageBox(QMessageBox::Warning, QString(), description, QMessageBox::Ok, this);
    alert->setObjectName(QStringLiteral("signInAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
}

}  // namespace Vantorel
